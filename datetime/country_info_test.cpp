// The country-info record from the registry key, and the fall-back to the locale.
#include "datetime/country_info.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace chronel {
namespace {

using platform::RegistryHive;

class CountryInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/chronel_registry_XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        m_registry = std::make_unique<platform::CRegistry>(m_folder + "/registry.reg");
        std::memset(&m_info, 0x5A, sizeof m_info);
    }
    void TearDown() override {
        m_registry.reset();
        std::filesystem::remove_all(m_folder);
    }
    void Set(const char* name, const std::string& value) {
        ASSERT_EQ(m_registry->SetString(RegistryHive::CurrentUser, INTERNATIONAL_KEY, name, value),
                  0);
    }
    void CreateKey() {
        ASSERT_EQ(m_registry->CreateKey(RegistryHive::CurrentUser, INTERNATIONAL_KEY), 0);
    }
    bool Read(uint32_t codePage = 1252) {
        return ReadRegistrySettings(*m_registry, codePage, &m_info);
    }

    std::string m_folder;
    std::unique_ptr<platform::CRegistry> m_registry;
    tccDTCtxtCountryInfoStruct m_info;
};

tccDTCtxtCountryInfoStruct Defaults() {
    tccDTCtxtCountryInfoStruct info;
    FillBuiltInDefaults(&info);
    return info;
}

TEST_F(CountryInfoTest, BuiltInDefaults) {
    const tccDTCtxtCountryInfoStruct d = Defaults();
    const unsigned char expected[39] = {0, 0x60, 0, 0xE0, ',', '.', '/', ':', ',', 'a',
                                        0, 0,    0, 0,    0,   0,   0,   0,   0,   'p'};
    EXPECT_EQ(std::memcmp(&d, expected, sizeof expected), 0);
}

TEST_F(CountryInfoTest, MissingKeyLeavesRecordAndFallsBackToTheLocale) {
    const tccDTCtxtCountryInfoStruct before = m_info;
    EXPECT_FALSE(Read());
    EXPECT_EQ(std::memcmp(&m_info, &before, sizeof m_info), 0);
    // Another key existing does not count.
    ASSERT_EQ(m_registry->SetString(RegistryHive::LocalMachine, INTERNATIONAL_KEY, "iTime", "1"),
              0);
    EXPECT_FALSE(Read());
    // The test process runs in the C locale, which gives exactly the built-in defaults.
    ASSERT_STREQ(setlocale(LC_ALL, nullptr), "C");
    ReadCountryInfo(*m_registry, 1252, &m_info);
    const tccDTCtxtCountryInfoStruct d = Defaults();
    EXPECT_EQ(std::memcmp(&m_info, &d, sizeof m_info), 0);
}

TEST_F(CountryInfoTest, EmptyKeyGivesTheRegistryDefaults) {
    CreateKey();
    ASSERT_TRUE(Read());
    tccDTCtxtCountryInfoStruct expected = Defaults();
    std::strcpy(expected.pmStringCopy, "p");  // copied from pmString, unlike the built-ins
    EXPECT_EQ(std::memcmp(&m_info, &expected, sizeof m_info), 0);
}

TEST_F(CountryInfoTest, ReadsEveryValue) {
    Set("sShortDate", "dd.MM.yyyy");
    Set("iDate", "2");  // not read: the pattern decides
    Set("sDate", "-");
    Set("iTime", "1");
    Set("iTLZero", "0");
    Set("sThousand", ". and more");
    Set("sDecimal", ",");
    Set("sTime", ".");
    Set("sList", ";");
    Set("s1159", "vorm.");
    Set("s2359", "nachm.");
    ASSERT_TRUE(Read());
    EXPECT_EQ(m_info.dateOrder, 1);
    EXPECT_EQ(m_info.dateFlags, 0xE0);
    EXPECT_EQ(m_info.dateSep, '.');
    EXPECT_EQ(m_info.timeFlags, 0x02);
    EXPECT_EQ(m_info.timeFieldFlags, 0x60);
    EXPECT_EQ(m_info.thousandSep, '.');
    EXPECT_EQ(m_info.decimalSep, ',');
    EXPECT_EQ(m_info.timeSep, '.');
    EXPECT_EQ(m_info.listSep, ';');
    EXPECT_STREQ(m_info.amString, "vorm.");
    EXPECT_STREQ(m_info.pmString, "nachm.");
    EXPECT_STREQ(m_info.pmStringCopy, "nachm.");
}

TEST_F(CountryInfoTest, RejectedPatternLetsIDateAndSDateDecide) {
    Set("sShortDate", "yyy/MM/dd");
    Set("iDate", "1");
    Set("sDate", "-");
    ASSERT_TRUE(Read());
    EXPECT_EQ(m_info.dateOrder, 1);
    EXPECT_EQ(m_info.dateFlags, 0x60);
    EXPECT_EQ(m_info.dateSep, '-');

    Set("sShortDate", "M/d-yy");  // two different separators
    Set("iDate", "2 (year first)");
    ASSERT_TRUE(Read());
    EXPECT_EQ(m_info.dateOrder, 2);
    EXPECT_EQ(m_info.dateSep, '-');

    // Neither present: order 0 and "/".
    ASSERT_EQ(m_registry->DeleteValue(RegistryHive::CurrentUser, INTERNATIONAL_KEY, "iDate"), 0);
    ASSERT_EQ(m_registry->DeleteValue(RegistryHive::CurrentUser, INTERNATIONAL_KEY, "sDate"), 0);
    ASSERT_TRUE(Read());
    EXPECT_EQ(m_info.dateOrder, 0);
    EXPECT_EQ(m_info.dateSep, '/');
}

TEST_F(CountryInfoTest, ValuesThatDoNotFitOrAreNotTextCountAsMissing) {
    // 19 bytes fit the 20-byte value buffer with the NUL, 20 do not.
    Set("sShortDate", "yyyy-MM-dd" + std::string(10, ' '));
    Set("sDate", std::string(19, '.'));
    Set("sTime", std::string(20, '.'));
    Set("s1159", std::string(20, 'x'));
    Set("s2359", "0123456789abcdefghi");
    ASSERT_EQ(m_registry->SetDword(RegistryHive::CurrentUser, INTERNATIONAL_KEY, "iTime", 1), 0);
    Set("sList", "");  // empty: no separator at all would cut every list short
    ASSERT_TRUE(Read());
    EXPECT_EQ(m_info.dateOrder, 0);  // the pattern was too long: iDate (missing) decides
    EXPECT_EQ(m_info.dateSep, '.');
    EXPECT_EQ(m_info.timeSep, ':');
    EXPECT_EQ(m_info.timeFlags, 0);
    EXPECT_EQ(m_info.listSep, ',');
    EXPECT_STREQ(m_info.amString, "a");
    EXPECT_STREQ(m_info.pmString, "012345678");  // cut to fit with its NUL
    EXPECT_STREQ(m_info.pmStringCopy, "012345678");
    EXPECT_EQ(m_info.pmString[9], '\0');

    Set("sShortDate", "yyyy-MM-dd" + std::string(9, ' '));
    ASSERT_TRUE(Read());
    EXPECT_EQ(m_info.dateOrder, 2);
    EXPECT_EQ(m_info.dateSep, '-');
}

TEST_F(CountryInfoTest, MarksAreCutWithoutSplittingADoubleByteCharacter) {
    // Eight ASCII bytes and one double-byte character: the 9-byte cut would split it.
    Set("s1159", std::string("abcdefgh") + "\x8C\xDF");
    Set("s2359", std::string("abcdefg") + "\x8C\xDF");  // exactly 9 bytes
    Set("sTime", "\x81\x46");                           // a lead byte: refused
    ASSERT_TRUE(Read(932));
    EXPECT_STREQ(m_info.amString, "abcdefgh");
    EXPECT_STREQ(m_info.pmString, "abcdefg\x8C\xDF");
    EXPECT_EQ(m_info.timeSep, ':');
    // On a single-byte page the same bytes are nine characters.
    ASSERT_TRUE(Read(1252));
    EXPECT_STREQ(m_info.amString, "abcdefgh\x8C");
    EXPECT_EQ(m_info.timeSep, '\x81');
}

}  // namespace
}  // namespace chronel

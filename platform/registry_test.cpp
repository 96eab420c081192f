// The registry stand-in: typed values, names ignoring case, keys, and the shared file.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/file_util.h"

namespace platform {
namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/platform_registry_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_file = m_dir + "/sub/registry.reg";
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string m_dir;
    std::string m_file;
};

constexpr RegistryHive HKCU = RegistryHive::CurrentUser;
constexpr RegistryHive HKLM = RegistryHive::LocalMachine;

TEST_F(RegistryTest, ValuesRoundTripThroughTheFile) {
    CRegistry reg(m_file);
    EXPECT_FALSE(reg.GetString(HKCU, "Control Panel\\International", "sCountry"));
    ASSERT_EQ(reg.SetString(HKCU, "Control Panel\\International", "sCountry", "Deutschland"), 0);
    ASSERT_EQ(reg.SetDword(HKCU, "Control Panel\\International", "iDate", 1), 0);
    ASSERT_EQ(reg.SetString(HKLM, "Software\\X", "", "a \"quoted\"\\ text\nline two"), 0);
    ASSERT_EQ(reg.SetDword(HKLM, "Software\\X", "Big", 0xFFFFFFFFu), 0);
    uint32_t mode = 0;
    ASSERT_EQ(FileMode(m_file, &mode), 0);
    EXPECT_EQ(mode, 0600u);

    CRegistry other(m_file);
    EXPECT_EQ(other.GetString(HKCU, "control panel\\INTERNATIONAL", "SCOUNTRY").value_or(""),
              "Deutschland");
    EXPECT_EQ(other.GetDword(HKCU, "Control Panel\\International", "iDate").value_or(9), 1u);
    EXPECT_EQ(other.GetString(HKLM, "Software\\X", "").value_or(""),
              "a \"quoted\"\\ text\nline two");
    EXPECT_EQ(other.GetDword(HKLM, "Software\\X", "big").value_or(0), 0xFFFFFFFFu);
    // Wrong type or wrong hive answers nothing.
    EXPECT_FALSE(other.GetDword(HKCU, "Control Panel\\International", "sCountry"));
    EXPECT_FALSE(other.GetString(HKLM, "Control Panel\\International", "sCountry"));
    // Replacing keeps the first spelling and a single entry.
    ASSERT_EQ(other.SetDword(HKCU, "Control Panel\\International", "IDATE", 2), 0);
    EXPECT_EQ(other.ValueNames(HKCU, "Control Panel\\International"),
              (std::vector<std::string>{"sCountry", "iDate"}));
    // The first instance sees the change made through the second.
    EXPECT_EQ(reg.GetDword(HKCU, "Control Panel\\International", "iDate").value_or(0), 2u);
}

TEST_F(RegistryTest, KeysSubKeysAndDeletion) {
    CRegistry reg(m_file);
    ASSERT_EQ(reg.SetString(HKCU, "Software\\Vendor\\App\\Mail", "Profile", "p"), 0);
    ASSERT_EQ(reg.CreateKey(HKCU, "Software\\Vendor\\Other"), 0);
    EXPECT_TRUE(reg.KeyExists(HKCU, "software\\vendor"));
    EXPECT_TRUE(reg.KeyExists(HKCU, "Software\\Vendor\\Other"));
    EXPECT_FALSE(reg.KeyExists(HKLM, "Software\\Vendor"));
    EXPECT_EQ(reg.SubKeys(HKCU, "Software\\Vendor"), (std::vector<std::string>{"App", "Other"}));
    EXPECT_EQ(reg.DeleteValue(HKCU, "Software\\Vendor\\App\\Mail", "profile"), 0);
    EXPECT_EQ(reg.DeleteValue(HKCU, "Software\\Vendor\\App\\Mail", "profile"), REG_NOT_FOUND);
    EXPECT_EQ(reg.DeleteKey(HKCU, "SOFTWARE\\Vendor\\App"), 0);
    EXPECT_FALSE(reg.KeyExists(HKCU, "Software\\Vendor\\App\\Mail"));
    EXPECT_EQ(reg.SubKeys(HKCU, "Software\\Vendor"), (std::vector<std::string>{"Other"}));
    EXPECT_EQ(reg.DeleteKey(HKCU, "Software\\Nothing"), REG_NOT_FOUND);
    EXPECT_EQ(reg.SetString(HKCU, "Bad\n[HKEY_LOCAL_MACHINE\\X]", "a", "b"), EINVAL);
    EXPECT_FALSE(reg.KeyExists(HKLM, "X"));
}

TEST_F(RegistryTest, HandEditedFileIsReadAndBadLinesIgnored) {
    ASSERT_EQ(CreateDirectories(m_dir + "/sub"), 0);
    ASSERT_EQ(WriteFileAtomic(m_file,
                              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Lotus]\r\n"
                              "\"Path\"=\"C:\\\\notes\"\r\n\"Bad\"=dword:xyz\r\n"
                              "\"Num\"=dword:0000002a\r\ngarbage\r\n[HKEY_OTHER\\X]\r\n"
                              "\"Lost\"=\"1\"\r\n"),
              0);
    CRegistry reg(m_file);
    EXPECT_EQ(reg.GetString(HKCU, "Software\\Lotus", "Path").value_or(""), "C:\\notes");
    EXPECT_EQ(reg.GetDword(HKCU, "Software\\Lotus", "Num").value_or(0), 42u);
    EXPECT_FALSE(reg.GetDword(HKCU, "Software\\Lotus", "Bad"));
    EXPECT_EQ(reg.ValueNames(HKCU, "Software\\Lotus").size(), 2u);
}

}  // namespace
}  // namespace platform

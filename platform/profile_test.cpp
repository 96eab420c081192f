// Profile-string semantics: names ignoring case, defaults, truncation, lists, changes that keep
// the rest of the file, and safe rewriting.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/file_util.h"
#include "platform/paths.h"

namespace platform {
namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/platform_profile_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        setenv("TETHER_PLATFORM_HOME", (m_dir + "/home").c_str(), 1);
        m_file = m_dir + "/Sync.ini";
    }
    void TearDown() override {
        unsetenv("TETHER_PLATFORM_HOME");
        std::filesystem::remove_all(m_dir);
    }
    void Write(const std::string& text) { ASSERT_EQ(WriteFileAtomic(m_file, text), 0); }
    std::string Read() {
        std::string text;
        EXPECT_EQ(ReadWholeFile(m_file, &text), 0);
        return text;
    }
    std::string Get(const char* section, const char* key, const char* def = "",
                    uint32_t size = 256) {
        std::string buf(size, 'X');
        uint32_t n = GetPrivateProfileString(section, key, def, buf.data(), size, m_file);
        EXPECT_EQ(buf[n], '\0');
        return buf.substr(0, n);
    }
    std::string m_dir;
    std::string m_file;
};

TEST_F(ProfileTest, LookupIgnoresCaseTrimsAndUnquotes) {
    Write(
        "; settings\n[Mail]\n  Interface = mapi  \nUser=\"  padded  \"\nq='x'\n"
        "[Other]\nInterface=vim\n[mail]\nInterface=second\n");
    // The lower-case name finds the file "Sync.ini".
    std::string lower = m_dir + "/sync.ini";
    char buf[64];
    EXPECT_EQ(GetPrivateProfileString("MAIL", "interface", "", buf, sizeof buf, lower), 4u);
    EXPECT_STREQ(buf, "mapi");
    EXPECT_EQ(Get("Mail", "User"), "  padded  ");
    EXPECT_EQ(Get("Mail", "q"), "x");
    EXPECT_EQ(Get("other", "INTERFACE"), "vim");
    EXPECT_EQ(Get("Mail", "missing", "dflt  "), "dflt");  // trailing blanks of the default
    EXPECT_EQ(Get("Mail", "missing", nullptr), "");
    EXPECT_EQ(Get("Nope", "Interface", "d"), "d");
    std::string absent = m_dir + "/absent.ini";
    EXPECT_EQ(GetPrivateProfileString("a", "b", "def", buf, sizeof buf, absent), 3u);
    EXPECT_EQ(GetPrivateProfileString("a", "b", "def", nullptr, 10, absent), 0u);
    EXPECT_EQ(GetPrivateProfileString("a", "b", "def", buf, 0, absent), 0u);
}

TEST_F(ProfileTest, TruncationOfValuesAndLists) {
    Write("[Mail]\nKey=abcdef\nSecond=x\n[Two]\n");
    EXPECT_EQ(Get("Mail", "Key", "", 4), "abc");  // size-1 bytes and a NUL
    EXPECT_EQ(Get("Mail", "Key", "", 1), "");
    EXPECT_EQ(Get("Mail", "Key", "", 7), "abcdef");

    char buf[32];
    uint32_t n = GetPrivateProfileString(nullptr, nullptr, "", buf, sizeof buf, m_file);
    EXPECT_EQ(n, 9u);
    EXPECT_EQ(std::string(buf, n + 1), std::string("Mail\0Two\0\0", 10));
    n = GetPrivateProfileString("mail", nullptr, "", buf, sizeof buf, m_file);
    EXPECT_EQ(std::string(buf, n + 1), std::string("Key\0Second\0\0", 12));
    // A list that does not fit: size-2 bytes followed by two NULs.
    n = GetPrivateProfileString("Mail", nullptr, "", buf, 6, m_file);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::string(buf, 6), std::string("Key\0\0\0", 6));
    n = GetPrivateProfileString("Two", nullptr, "", buf, sizeof buf, m_file);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(buf[0], '\0');
}

TEST_F(ProfileTest, NumbersAndDefaults) {
    Write("[Mail]\nSize=4000\nNeg=-5\nText=abc\nMixed=12ab\n");
    EXPECT_EQ(GetPrivateProfileInt("mail", "size", 7, m_file), 4000u);
    EXPECT_EQ(GetPrivateProfileInt("Mail", "Neg", 7, m_file), static_cast<uint32_t>(-5));
    EXPECT_EQ(GetPrivateProfileInt("Mail", "Text", 7, m_file), 0u);
    EXPECT_EQ(GetPrivateProfileInt("Mail", "Mixed", 7, m_file), 12u);
    EXPECT_EQ(GetPrivateProfileInt("Mail", "Missing", 7, m_file), 7u);
}

TEST_F(ProfileTest, WritingKeepsCommentsAndCreatesSectionsAndKeys) {
    Write("; top comment\r\n[Mail]\r\nInterface=mapi\r\n; inside\r\n\r\n[Other]\r\nA=1\r\n");
    ASSERT_TRUE(WritePrivateProfileString("MAIL", "interface", "vim", m_file));
    ASSERT_TRUE(WritePrivateProfileString("Mail", "Profile", "MS Exchange", m_file));
    ASSERT_TRUE(WritePrivateProfileString("New", "Key", "v", m_file));
    EXPECT_EQ(Read(),
              "; top comment\r\n[Mail]\r\nInterface=vim\r\nProfile=MS Exchange\r\n; inside\r\n"
              "\r\n[Other]\r\nA=1\r\n[New]\r\nKey=v\r\n");
    // Deleting a key, then a section with everything in it.
    ASSERT_TRUE(WritePrivateProfileString("mail", "PROFILE", nullptr, m_file));
    ASSERT_TRUE(WritePrivateProfileString("Other", nullptr, nullptr, m_file));
    EXPECT_EQ(Read(),
              "; top comment\r\n[Mail]\r\nInterface=vim\r\n; inside\r\n\r\n[New]\r\nKey=v\r\n");
    // Deleting what is not there changes nothing; a line break in a value is refused.
    ASSERT_TRUE(WritePrivateProfileString("Gone", "x", nullptr, m_file));
    EXPECT_FALSE(WritePrivateProfileString("Mail", "x", "a\nInjected=1", m_file));
    EXPECT_FALSE(WritePrivateProfileString(nullptr, "x", "y", m_file));
    EXPECT_EQ(Get("Mail", "Injected", "none"), "none");
}

TEST_F(ProfileTest, NewFilesArePrivateAndExistingFilesKeepTheirMode) {
    std::string fresh = m_dir + "/fresh.ini";
    ASSERT_TRUE(WritePrivateProfileString("Mail", "Password", "secret", fresh));
    uint32_t mode = 0;
    ASSERT_EQ(FileMode(fresh, &mode), 0);
    EXPECT_EQ(mode, 0600u);
    std::string text;
    ASSERT_EQ(ReadWholeFile(fresh, &text), 0);
    EXPECT_EQ(text, "[Mail]\nPassword=secret\n");

    ASSERT_EQ(WriteFileAtomic(m_file, "[A]\n", 0640), 0);
    ASSERT_TRUE(WritePrivateProfileString("A", "k", "v", m_file));
    ASSERT_EQ(FileMode(m_file, &mode), 0);
    EXPECT_EQ(mode, 0640u);
    // Deleting from a missing file does not create it.
    std::string none = m_dir + "/none.ini";
    ASSERT_TRUE(WritePrivateProfileString("A", "k", nullptr, none));
    EXPECT_FALSE(FileExists(none));
}

TEST_F(ProfileTest, FailedRewriteLeavesTheOldFile) {
    Write("[Mail]\nInterface=mapi\n");
    FailNextAtomicWriteForTesting(EIO);
    EXPECT_FALSE(WritePrivateProfileString("Mail", "Interface", "vim", m_file));
    EXPECT_EQ(Read(), "[Mail]\nInterface=mapi\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(ProfileTest, BareNamesLiveInTheWindowsDirectory) {
    ASSERT_FALSE(DirectoryExists(WindowsDirectory()));
    ASSERT_TRUE(WriteProfileString("intl", "sCountry", "Germany"));
    EXPECT_TRUE(FileExists(WindowsDirectory() + "/WIN.INI"));
    char buf[32];
    EXPECT_EQ(GetPrivateProfileString("Intl", "SCOUNTRY", "", buf, sizeof buf, "win.ini"), 7u);
    EXPECT_STREQ(buf, "Germany");
    EXPECT_EQ(GetProfileString("intl", "sCountry", "", buf, sizeof buf), 7u);
}

TEST_F(ProfileTest, InMemoryProfileRoundTripsUnchangedText) {
    const std::string text = "junk line\n[S]\n; c\nk = v\n  [T]  \nno equals\n=empty\n";
    CProfile p;
    p.Parse(text);
    EXPECT_EQ(p.Serialize(), text);
    EXPECT_EQ(p.SectionNames(), (std::vector<std::string>{"S", "T"}));
    EXPECT_EQ(p.KeyNames("t"), (std::vector<std::string>{""}));
    EXPECT_EQ(p.GetValue("s", "K").value_or("?"), "v");
    // Mixed line ends are kept line by line; new lines follow the first line's end.
    const std::string mixed = "a\n[S]\r\nk=v\r\r\n[T]\n";
    p.Parse(mixed);
    EXPECT_EQ(p.Serialize(), mixed);
    EXPECT_EQ(p.GetValue("S", "k").value_or("?"), "v\r");
    p.SetValue("T", "n", "1");
    EXPECT_EQ(p.Serialize(), mixed + "n=1\n");
}

}  // namespace
}  // namespace platform

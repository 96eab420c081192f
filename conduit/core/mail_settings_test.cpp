// The "Mail" settings: where they are found, the once-per-user warning, writing back.
#include "conduit/core/mail_settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "conduit/core/fake_host_test_util.h"
#include "conduit/core/password.h"
#include "platform/file_util.h"

namespace torrim {
namespace {

class MailSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/conduit_settings_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_user = pattern;
        m_conduit = m_user + "/Mail";
        ASSERT_EQ(platform::CreateDirectories(m_conduit), 0);
    }
    void TearDown() override {
        (void)platform::RemoveFile(m_user + "/Sync.ini");
        rmdir(m_conduit.c_str());
        rmdir(m_user.c_str());
    }
    void CreateSettingsFile() {
        ASSERT_EQ(platform::WriteFileAtomic(m_user + "/Sync.ini", "[Mail]\n"), 0);
    }
    void Set(const char* key, const std::string& value) { m_host.m_settings[{7, key}] = value; }

    CFakeHost m_host;
    MailSettings m_settings;
    std::string m_user;
    std::string m_conduit;
};

TEST_F(MailSettingsTest, SettingsFileIsInTheParentOfTheConduitFolder) {
    EXPECT_EQ(SettingsFileOf("/data/alice/Mail"), "/data/alice/sync.ini");
    EXPECT_EQ(SettingsFileOf("/data/alice/Mail/"), "/data/alice/sync.ini");
    EXPECT_EQ(SettingsFileOf("/data/alice/SYNC.INI"), "/data/alice/SYNC.INI");
    CreateSettingsFile();
    Set("System", "Client");
    ASSERT_EQ(ReadMailSettings(m_host, m_settings, m_conduit + "/"), 0);
    EXPECT_EQ(m_host.m_lastUserFolder, m_user + "/");
}

TEST_F(MailSettingsTest, ReadsEveryFieldAndDecodesThePassword) {
    CreateSettingsFile();
    Set("System", "Client");
    Set("Interface", "VIM32");
    Set("UserAccount", "ann");
    Set("Profile", "P");
    Set("PostOffice", "/po");
    Set("Gateway", "gw");
    Set("Password", EncodePassword("s3cret"));
    Set("Ignored", std::string(400, 'x'));
    ASSERT_EQ(ReadMailSettings(m_host, m_settings, m_conduit), 0);
    EXPECT_EQ(m_settings.Interface(), "VIM32");
    EXPECT_EQ(m_settings.UserAccount(), "ann");
    EXPECT_EQ(m_settings.PostOffice(), "/po");
    EXPECT_EQ(m_settings.Gateway(), "gw");
    EXPECT_EQ(m_settings.Password(), "s3cret");
    EXPECT_TRUE(m_host.m_log.empty());
    Set("Profile", std::string(300, 'p'));
    ASSERT_EQ(ReadMailSettings(m_host, m_settings, m_conduit), 0);
    EXPECT_EQ(m_settings.Profile(), std::string(255, 'p'));
}

TEST_F(MailSettingsTest, NotConfiguredWarnsOnceThenStaysSilent) {
    CreateSettingsFile();
    const std::vector<CFakeHost::LogLine> warning = {{"-- Mail", 22},
                                                     {m_host.LoadString(6101), 22}};
    EXPECT_EQ(ReadMailSettings(m_host, m_settings, m_conduit), -1);
    EXPECT_EQ(m_host.m_log, warning);
    EXPECT_EQ((m_host.m_settings[{7, "WarnedUnconfigured"}]), "1");
    EXPECT_EQ(ReadMailSettings(m_host, m_settings, m_conduit), 0);
    EXPECT_EQ(m_host.m_log.size(), 2u);
}

TEST_F(MailSettingsTest, MissingSettingsFileWarnsEveryTimeWithoutReading) {
    Set("System", "Client");  // never read: the file is missing
    Set("WarnedUnconfigured", "1");
    EXPECT_EQ(ReadMailSettings(m_host, m_settings, m_conduit), -1);
    EXPECT_EQ(ReadMailSettings(m_host, m_settings, m_conduit), -1);
    EXPECT_EQ(m_host.m_log.size(), 4u);
    EXPECT_TRUE(m_settings.System().empty());
}

TEST_F(MailSettingsTest, FailuresNeverLeaveAnEarlierUsersSettings) {
    CreateSettingsFile();
    Set("System", "Client");
    Set("Password", EncodePassword("alice"));
    ASSERT_EQ(ReadMailSettings(m_host, m_settings, m_conduit), 0);
    ASSERT_EQ(m_settings.Password(), "alice");
    m_host.m_userLookupResult = 16641;
    bool userNotFound = false;
    EXPECT_EQ(ReadMailSettings(m_host, m_settings, m_conduit, &userNotFound), 16641);
    EXPECT_TRUE(userNotFound);
    EXPECT_TRUE(m_settings.Password().empty());
    EXPECT_TRUE(m_settings.System().empty());
    // The problem is logged under the heading, which comes once.
    EXPECT_EQ(ReadMailSettings(m_host, m_settings, m_conduit), 16641);
    EXPECT_EQ(m_host.m_log,
              (std::vector<CFakeHost::LogLine>{
                  {"-- Mail", -1},
                  {"   - Could not find the desktop user of this TetherSync operation.", 22},
                  {"   - Could not find the desktop user of this TetherSync operation.", 22}}));
    m_host.m_log.clear();
    // A failing flag write is the answer of the warning.
    m_host.m_userLookupResult = 0;
    m_host.m_settings.clear();
    m_host.m_writeResult = 16645;
    EXPECT_EQ(ReadMailSettings(m_host, m_settings, m_conduit, &userNotFound), 16645);
    EXPECT_FALSE(userNotFound);
}

TEST_F(MailSettingsTest, WriteOrderNotApplicableAndPassword) {
    m_settings.SetSystem("Lotus");
    m_settings.SetInterface("VIM32");
    m_settings.SetProfile("Not Applicable");
    m_settings.SetUserAccount("Not Applicable");  // only the three fields are emptied
    m_settings.SetPostOffice("Not Applicable");
    m_settings.SetGateway("gw");
    m_settings.SetPassword("0123456789012345678901234567890123456789");
    ASSERT_EQ(WriteMailSettings(m_host, m_settings, m_conduit), 0);
    const std::vector<std::pair<int32_t, std::string>> order = {
        {-1, "System"},     {-1, "Interface"}, {-1, "Profile"}, {-1, "UserAccount"},
        {-1, "PostOffice"}, {-1, "Gateway"},   {-1, "Password"}};
    EXPECT_EQ(m_host.m_writes, order);
    EXPECT_EQ((m_host.m_settings[{7, "Profile"}]), "");
    EXPECT_EQ((m_host.m_settings[{7, "UserAccount"}]), "Not Applicable");
    EXPECT_EQ(m_settings.PostOffice(), "");
    CreateSettingsFile();
    MailSettings back;
    ASSERT_EQ(ReadMailSettings(m_host, back, m_conduit), 0);
    EXPECT_EQ(back.Password(), "01234567890123456789012345678901");
    m_host.m_failWriteKey = "Gateway";
    EXPECT_EQ(WriteMailSettings(m_host, m_settings, m_conduit), -1);
}

}  // namespace
}  // namespace torrim

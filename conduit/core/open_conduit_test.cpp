// The entry points: argument checks, the version rule, the do-nothing action, and the
// choice of back-end.
#include "conduit/core/open_conduit.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "conduit/core/fake_host_test_util.h"
#include "platform/file_util.h"

namespace torrim {
namespace {

std::vector<std::string> g_progress;
void RecordProgress(const char* text) {
    g_progress.push_back(text);
}

class OpenConduitTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_progress.clear();
        ResetVersionAskedForTesting();
        char pattern[] = "/tmp/conduit_open_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_user = pattern;
        // Keep the mail client libraries away from the real user's profiles.
        setenv("TETHER_PLATFORM_HOME", m_user.c_str(), 1);
        setenv("TETHER_MAPI_PROFILES", (m_user + "/no-profiles.ini").c_str(), 1);
        ASSERT_EQ(platform::CreateDirectories(m_user + "/Mail"), 0);
        ASSERT_EQ(platform::WriteFileAtomic(m_user + "/Sync.ini", "[Mail]\n"), 0);
        std::memset(&m_props, 0, sizeof(m_props));
        std::strcpy(m_props.conduitFolder, (m_user + "/Mail").c_str());
    }
    void TearDown() override {
        (void)platform::RemoveFile(m_user + "/Sync.ini");
        rmdir((m_user + "/Mail").c_str());
        rmdir(m_user.c_str());
        EXPECT_EQ(m_host.m_languageOpen, 0);  // every open scope was released
    }
    int32_t Open() { return ConduitOpen(m_host, m_settings, &RecordProgress, &m_props); }

    CFakeHost m_host;
    MailSettings m_settings;
    SyncProperties m_props;
    std::string m_user;
};

TEST_F(OpenConduitTest, GetConduitInfoChecksArgumentsInOrder) {
    uint32_t request[20] = {1, 80};
    char out[80];
    uint32_t size = sizeof(out);
    EXPECT_EQ(ConduitGetInfo(m_host, 9, nullptr, nullptr, nullptr), 4209);
    EXPECT_EQ(ConduitGetInfo(m_host, 9, nullptr, out, nullptr), 4215);
    EXPECT_EQ(ConduitGetInfo(m_host, 0, nullptr, out, &size), 4212);
    request[1] = 79;
    EXPECT_EQ(ConduitGetInfo(m_host, 0, request, out, &size), 4213);
    request[1] = 80;
    request[0] = 2;
    EXPECT_EQ(ConduitGetInfo(m_host, 0, request, out, &size), 4213);
    request[0] = 1;
    EXPECT_EQ(ConduitGetInfo(m_host, 0, request, out, &size), 0);
    EXPECT_STREQ(out, "Mail");
    uint32_t value = 0;
    size = 3;
    EXPECT_EQ(ConduitGetInfo(m_host, 1, nullptr, &value, &size), 4211);
    size = 4;
    EXPECT_EQ(ConduitGetInfo(m_host, 1, nullptr, &value, &size), 0);
    EXPECT_EQ(value, 1536u);
    EXPECT_EQ(ConduitGetInfo(m_host, 2, nullptr, &value, &size), 0);
    EXPECT_EQ(value, 6u);
    EXPECT_EQ(ConduitGetInfo(m_host, 3, nullptr, &value, &size), 4208);
    m_host.m_strings.erase(5001);
    size = sizeof(out);
    EXPECT_EQ(ConduitGetInfo(m_host, 0, request, out, &size), 4214);
}

TEST_F(OpenConduitTest, GetConduitNameCopiesBoundedAndTerminated) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(ConduitGetName(m_host, buffer, 3), 0);
    EXPECT_STREQ(buffer, "Ma");
    EXPECT_EQ(ConduitGetName(m_host, buffer, 0x10000), 0);  // low 16 bits 0: the largest size
    EXPECT_STREQ(buffer, "Mail");
    EXPECT_EQ(ConduitGetName(m_host, buffer, 0x10003), 0);
    EXPECT_STREQ(buffer, "Ma");
    EXPECT_EQ(ConduitGetName(m_host, nullptr, 8), -1);
    m_host.m_strings.erase(5001);
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(ConduitGetName(m_host, buffer, sizeof(buffer)), -1);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(m_host.m_languageOpenedTotal, 5);
    EXPECT_EQ(ConduitGetVersion(), 257);
}

TEST_F(OpenConduitTest, ZeroSizeNameBufferIsLeftUntouched) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(ConduitGetName(m_host, buffer, 0), 0);
    EXPECT_EQ(std::string(buffer, sizeof(buffer)), "xxxxxxxx");
    uint32_t request[20] = {1, 80};
    uint32_t size = 0;
    EXPECT_EQ(ConduitGetInfo(m_host, 0, request, buffer, &size), 0);
    EXPECT_EQ(std::string(buffer, sizeof(buffer)), "xxxxxxxx");
    size = 0x20000;  // low 16 bits 0 but a real size: the largest copy
    EXPECT_EQ(ConduitGetInfo(m_host, 0, request, buffer, &size), 0);
    EXPECT_STREQ(buffer, "Mail");
}

TEST_F(OpenConduitTest, OpenBeforeVersionIsRefusedSilently) {
    m_props.syncAction = 6;
    EXPECT_EQ(Open(), -1);
    EXPECT_EQ(ConduitOpen(m_host, m_settings, nullptr, &m_props), -1);
    EXPECT_TRUE(m_host.m_log.empty());
    EXPECT_TRUE(m_host.m_calls.empty());
    (void)ConduitGetVersion();
    EXPECT_EQ(ConduitOpen(m_host, m_settings, nullptr, &m_props), -1);
    EXPECT_EQ(Open(), 0);
}

TEST_F(OpenConduitTest, DoNothingWritesOneLine) {
    (void)ConduitGetVersion();
    m_props.syncAction = 6;
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(m_host.m_log,
              (std::vector<CFakeHost::LogLine>{{"Mail - sync configured to Do Nothing", -1}}));
    EXPECT_TRUE(m_host.m_calls.empty());
}

TEST_F(OpenConduitTest, UnconfiguredUserEndsWithZero) {
    (void)ConduitGetVersion();
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(m_host.m_log.size(), 2u);
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(m_host.m_log.size(), 2u);
    EXPECT_TRUE(g_progress.empty());
}

TEST_F(OpenConduitTest, UnknownUserIsLoggedAndEndsWithTheErrorLine) {
    (void)ConduitGetVersion();
    m_host.m_settings[{7, "System"}] = "Client";
    m_host.m_settings[{7, "Interface"}] = "MAPI32";
    m_host.m_userLookupResult = 16641;
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(m_host.m_log,
              (std::vector<CFakeHost::LogLine>{
                  {"-- Mail", -1},
                  {"   - Could not find the desktop user of this TetherSync operation.", 22},
                  {"Mail", 21}}));
    EXPECT_EQ(m_host.Count("RegisterConduit"), 0);  // no session without settings
}

TEST_F(OpenConduitTest, InterfaceChoosesBackEndIgnoringCase) {
    EXPECT_EQ(BackEndOf(m_host, "MAPI32"), BackEndKind::Mapi32);
    EXPECT_EQ(BackEndOf(m_host, "Mapi"), BackEndKind::Mapi16);
    EXPECT_EQ(BackEndOf(m_host, "VIM32"), BackEndKind::Vim);
    EXPECT_EQ(BackEndOf(m_host, "NotesVim32"), BackEndKind::Vim);
    EXPECT_EQ(BackEndOf(m_host, "smtp"), BackEndKind::None);
    EXPECT_EQ(BackEndOf(m_host, ""), BackEndKind::None);
}

TEST_F(OpenConduitTest, UnknownInterfaceRunsNothingAndKnownOnesStopAtUnavailableLogon) {
    (void)ConduitGetVersion();
    m_host.m_settings[{7, "System"}] = "Client";
    m_host.m_settings[{7, "Interface"}] = "smtp";
    EXPECT_EQ(Open(), -1);
    EXPECT_EQ(m_host.Count("RegisterConduit"), 0);
    // The log names the setting at fault: an unknown value, then a missing one.
    ASSERT_EQ(m_host.m_log.size(), 2u);
    EXPECT_EQ(m_host.m_log[0].activity, 22);
    EXPECT_EQ(m_host.m_log[1].activity, 22);
    EXPECT_NE(m_host.m_log[1].text.find("unknown mail interface"), std::string::npos);
    m_host.m_log.clear();
    m_host.m_settings.erase({7, "Interface"});
    EXPECT_EQ(Open(), -1);
    ASSERT_EQ(m_host.m_log.size(), 2u);
    EXPECT_NE(m_host.m_log[1].text.find("\"Interface\" of section \"Mail\""), std::string::npos);
    EXPECT_NE(m_host.m_log[1].text.find("missing"), std::string::npos);
    // No mail profile exists (and VIM has no client library): each session stops at Logon
    // with the logon report, and never logs off.
    for (const char* name : {"MAPI32", "vim32", "notesvim32", "MAPI"}) {
        m_host.m_log.clear();
        m_host.m_settings[{7, "Interface"}] = name;
        EXPECT_EQ(Open(), 0) << name;
        ASSERT_EQ(m_host.m_log.size(), 4u) << name;
        EXPECT_EQ(m_host.m_log[2].text, "   - Could not log on to the Desktop Mail System.");
        EXPECT_EQ(m_host.m_log[2].activity, 13);
        EXPECT_EQ(m_host.m_log[3].activity, 21);
    }
    EXPECT_EQ(g_progress, std::vector<std::string>{"NoUnload"});
}

}  // namespace
}  // namespace torrim

// The sync driver: order of steps, failures, log lines, and the state file's protection.
#include "conduit/core/mail_conduit.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "conduit/core/fake_host_test_util.h"
#include "platform/file_util.h"
#include "platform/local_time.h"

namespace torrim {
namespace {

void IgnoreProgress(const char*) {}

// A back-end for the driver tests: desktop operations and passes are recorded in the host's
// call list, so the whole order of a run can be checked at once.
class CTestConduit : public CMailConduit {
public:
    CTestConduit(CFakeHost& host, MailSettings& settings, const SyncProperties& props)
        : CMailConduit(host, settings, &IgnoreProgress, props), m_fake(host) {}

    int32_t Logon() override { return Step("Logon", m_logonResult); }
    int32_t Logoff() override { return Step("Logoff", 0); }
    int32_t SendOutbox() override { return Step("SendOutbox", m_outboxResult); }
    int32_t SynchronizeMail() override { return Step("SynchronizeMail", m_syncResult); }
    int32_t OverwriteHandheld() override { return Step("OverwriteHandheld", m_syncResult); }

    CFilter* Prefs() { return m_pPrefs.get(); }
    using CMailConduit::SetCurrentId;
    const char* CurrentId() const { return m_currentId; }
    CMessageMgr* State() { return m_pState.get(); }

    int32_t m_logonResult = 0;
    int32_t m_outboxResult = 0;
    int32_t m_syncResult = 0;

private:
    int32_t Step(const char* name, int32_t result) {
        m_fake.m_calls.push_back(name);
        return result;
    }
    CFakeHost& m_fake;
};

// A back-end that overrides nothing: every desktop operation keeps its default.
class CBareConduit : public CMailConduit {
public:
    CBareConduit(CFakeHost& host, MailSettings& settings, const SyncProperties& props)
        : CMailConduit(host, settings, &IgnoreProgress, props) {}
};

class MailConduitTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/conduit_run_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_user = pattern;
        m_folder = m_user + "/Mail";
        ASSERT_EQ(platform::CreateDirectories(m_folder), 0);
        ASSERT_EQ(platform::WriteFileAtomic(m_user + "/Sync.ini", "[Mail]\n"), 0);
        m_host.m_settings[{7, "System"}] = "Client";
        m_host.m_settings[{7, "Interface"}] = "mapi32";
        std::memset(&m_props, 0, sizeof(m_props));
        std::strcpy(m_props.conduitFolder, m_folder.c_str());
        m_props.databaseName = "MailDB";
        m_props.creator = 0x6D61696C;
    }
    void TearDown() override {
        (void)platform::RemoveFile(m_folder + "/mail.dat");
        (void)platform::RemoveFile(m_user + "/Sync.ini");
        rmdir(m_folder.c_str());
        rmdir(m_user.c_str());
    }
    int32_t Run(int32_t action, CTestConduit** out = nullptr) {
        m_props.syncAction = action;
        m_conduit = std::make_unique<CTestConduit>(m_host, m_settings, m_props);
        if (out != nullptr) {
            *out = m_conduit.get();
        }
        return m_conduit->Run();
    }
    std::vector<int32_t> Activities() const {
        std::vector<int32_t> activities;
        for (const auto& line : m_host.m_log) {
            activities.push_back(line.activity);
        }
        return activities;
    }

    CFakeHost m_host;
    MailSettings m_settings;
    SyncProperties m_props;
    std::unique_ptr<CTestConduit> m_conduit;
    std::string m_user;
    std::string m_folder;
};

TEST_F(MailConduitTest, DoNothingWritesExactlyOneLine) {
    EXPECT_EQ(Run(6), 0);
    const std::vector<CFakeHost::LogLine> expected = {{"Mail - sync configured to Do Nothing", -1}};
    EXPECT_EQ(m_host.m_log, expected);
    EXPECT_TRUE(m_host.m_calls.empty());
}

TEST_F(MailConduitTest, UnsupportedActionsAnswer4114WithoutRegistering) {
    for (int32_t action : {2, 4, 5, 7, -1}) {
        EXPECT_EQ(Run(action), 4114) << action;
    }
    EXPECT_TRUE(m_host.m_calls.empty());
    EXPECT_TRUE(m_host.m_log.empty());
}

TEST_F(MailConduitTest, RegistrationFailureIsReturnedWithNothingLogged) {
    m_host.m_registerResult = 16393;
    EXPECT_EQ(Run(0), 16393);
    EXPECT_TRUE(m_host.m_log.empty());
    EXPECT_EQ(m_host.m_calls, std::vector<std::string>{"RegisterConduit"});
}

TEST_F(MailConduitTest, SynchronizeRunsEveryStepInOrderAndSavesTheState) {
    EXPECT_EQ(Run(1), 0);
    const std::vector<std::string> order = {
        "RegisterConduit", "UserOfFolder",      "Logon",
        "OpenDatabase",    "ReadAppPreference", "ReadAppPreference",
        "SendOutbox",      "SynchronizeMail",   "CloseDatabase",
        "Logoff",          "UnregisterConduit"};
    EXPECT_EQ(m_host.m_calls, order);
    const std::vector<CFakeHost::LogLine> log = {{"", 19}, {"Mail", 20}};
    EXPECT_EQ(m_host.m_log, log);
    std::string saved;
    EXPECT_EQ(platform::ReadWholeFile(m_folder + "/mail.dat", &saved), 0);
    EXPECT_EQ(saved, std::string(4, '\0'));
    EXPECT_GE(m_host.m_yields, 5);
}

TEST_F(MailConduitTest, LocalFileNameAndFolderWithoutSlashMakeTheStatePath) {
    std::strcpy(m_props.localFileName, "other.dat");
    CTestConduit conduit(m_host, m_settings, m_props);
    EXPECT_EQ(conduit.StatePath(), m_folder + "/other.dat");
    std::strcat(m_props.conduitFolder, "/");
    m_props.localFileName[0] = '\0';
    CTestConduit slashed(m_host, m_settings, m_props);
    EXPECT_EQ(slashed.StatePath(), m_folder + "/mail.dat");
}

TEST_F(MailConduitTest, FailedLogonTouchesNeitherDatabaseNorStateNorLogoff) {
    ASSERT_EQ(platform::WriteFileAtomic(m_folder + "/mail.dat", "previous state"), 0);
    CTestConduit* conduit = nullptr;
    m_props.syncAction = 0;
    auto run = std::make_unique<CTestConduit>(m_host, m_settings, m_props);
    conduit = run.get();
    conduit->m_logonResult = 6108;
    EXPECT_EQ(conduit->Run(), 0);
    EXPECT_EQ(m_host.Count("OpenDatabase"), 0);
    EXPECT_EQ(m_host.Count("Logoff"), 0);
    EXPECT_EQ(m_host.Count("UnregisterConduit"), 1);
    EXPECT_EQ(m_host.m_log.back(), (CFakeHost::LogLine{"Mail", 21}));
    std::string state;
    EXPECT_EQ(platform::ReadWholeFile(m_folder + "/mail.dat", &state), 0);
    EXPECT_EQ(state, "previous state");
}

TEST_F(MailConduitTest, DefaultLogonReportsItsOwnLine) {
    m_props.syncAction = 0;
    CBareConduit conduit(m_host, m_settings, m_props);
    EXPECT_EQ(conduit.Run(), 0);
    const std::vector<int32_t> activities = {19, -1, 13, 21};
    EXPECT_EQ(Activities(), activities);
    EXPECT_EQ(m_host.m_log[1].text, "-- Mail");
    EXPECT_EQ(m_host.m_log[2].text, m_host.LoadString(6108));
}

TEST_F(MailConduitTest, OverwriteWritesSettingsAndAFailedWriteFailsTheRun) {
    EXPECT_EQ(Run(3), 0);
    EXPECT_EQ(m_host.Count("OverwriteHandheld"), 1);
    EXPECT_EQ(m_host.m_writes.size(), 7u);
    EXPECT_EQ(m_host.m_log.back(), (CFakeHost::LogLine{"Mail", 20}));
    m_host.m_failWriteKey = "Password";
    EXPECT_EQ(Run(3), 0);
    EXPECT_EQ(m_host.m_log.back(), (CFakeHost::LogLine{"Mail", 21}));
    CTestConduit* conduit = nullptr;
    m_host.m_writes.clear();
    m_props.syncAction = 3;
    auto failing = std::make_unique<CTestConduit>(m_host, m_settings, m_props);
    conduit = failing.get();
    conduit->m_syncResult = 16404;
    EXPECT_EQ(conduit->Run(), 0);
    EXPECT_TRUE(m_host.m_writes.empty());  // no settings write after a failed overwrite
}

TEST_F(MailConduitTest, LostConnectionSkipsCloseAndUnregisterButSavesAndLogsOff) {
    m_props.syncAction = 0;
    CTestConduit conduit(m_host, m_settings, m_props);
    conduit.m_syncResult = 0x2001;
    EXPECT_EQ(conduit.Run(), 0);
    EXPECT_EQ(m_host.Count("CloseDatabase"), 0);
    EXPECT_EQ(m_host.Count("UnregisterConduit"), 0);
    EXPECT_EQ(m_host.Count("Logoff"), 1);
    EXPECT_TRUE(platform::FileExists(m_folder + "/mail.dat"));
    EXPECT_EQ(m_host.m_log.back(), (CFakeHost::LogLine{"Mail", 21}));
    EXPECT_TRUE(IsFatalSyncError(0x2001));
    EXPECT_TRUE(IsFatalSyncError(0x6001));
    EXPECT_FALSE(IsFatalSyncError(-1));
    EXPECT_FALSE(IsFatalSyncError(16387));
}

TEST_F(MailConduitTest, MissingDatabaseIsCreatedAndAFailedCreationIsLogged) {
    m_host.m_openResult = 16387;
    EXPECT_EQ(Run(0), 0);
    EXPECT_EQ(m_host.Count("CreateDatabase"), 1);
    EXPECT_EQ(m_host.m_createdName, "MailDB");
    EXPECT_EQ(m_host.Count("CloseDatabase"), 1);
    m_host.m_log.clear();
    m_host.m_calls.clear();
    m_host.m_createResult = 16404;
    EXPECT_EQ(Run(0), 0);
    EXPECT_EQ(m_host.Count("SendOutbox"), 0);
    EXPECT_EQ(m_host.Count("CloseDatabase"), 0);
    const std::vector<CFakeHost::LogLine> log = {
        {"", 19}, {"-- Mail", -1}, {m_host.LoadString(6102), 8}, {"Mail", 21}};
    EXPECT_EQ(m_host.m_log, log);
}

TEST_F(MailConduitTest, PreferencesAndSignatureFillTheFilter) {
    m_host.m_preferences[2] = {0x02, 0x00, 0x00, 0x00, 0x0F, 0xA0, 'b', 'o', 's', 's', 0};
    m_host.m_preferences[3] = {'-', '-', ' ', 'A', 'n', 'n', 0};
    m_props.preferenceSelector = 1;
    CTestConduit* conduit = nullptr;
    EXPECT_EQ(Run(0, &conduit), 0);
    ASSERT_NE(conduit->Prefs(), nullptr);
    EXPECT_EQ(conduit->Prefs()->m_mode, 100);
    EXPECT_EQ(conduit->Prefs()->m_maxSize, 4000);
    EXPECT_EQ(conduit->Prefs()->m_toCount, 1);
    EXPECT_EQ(conduit->Prefs()->m_signatureText, "-- Ann");
}

TEST_F(MailConduitTest, DamagedStateFileEndsTheRunBeforeAnythingIsTouchedAndIsNeverReplaced) {
    const std::string damaged("\x05\0\0\0\x01\0", 6);
    ASSERT_EQ(platform::WriteFileAtomic(m_folder + "/mail.dat", damaged), 0);
    EXPECT_EQ(Run(0), 0);
    std::string state;
    EXPECT_EQ(platform::ReadWholeFile(m_folder + "/mail.dat", &state), 0);
    EXPECT_EQ(state, damaged);
    // Neither the handheld nor the outbox is touched; the error names the file.
    EXPECT_EQ(m_host.m_calls, (std::vector<std::string>{"RegisterConduit", "UserOfFolder", "Logon",
                                                        "Logoff", "UnregisterConduit"}));
    const std::vector<CFakeHost::LogLine> log = {
        {"", 19},
        {"-- Mail", -1},
        {"   - Could not read the Desktop file " + m_folder + "/mail.dat.", 17},
        {m_host.LoadString(6121), -1},
        {"Mail", 21}};
    EXPECT_EQ(m_host.m_log, log);
}

TEST_F(MailConduitTest, AStateThatCannotBeSavedFailsTheRunAndKeepsThePreviousFile) {
    EXPECT_EQ(Run(0), 0);
    std::string before;
    ASSERT_EQ(platform::ReadWholeFile(m_folder + "/mail.dat", &before), 0);
    m_host.m_log.clear();
    m_host.m_calls.clear();
    // A state that differs from the file, so that the save must write it.
    m_props.syncAction = 0;
    platform::FailNextAtomicWriteForTesting(28);  // ENOSPC
    class CAddingConduit : public CTestConduit {
    public:
        using CTestConduit::CTestConduit;
        int32_t SynchronizeMail() override {
            auto message = std::make_unique<CMessage>();
            message->SetSubject("new");
            State()->Append(std::move(message));
            return 0;
        }
    } adding(m_host, m_settings, m_props);
    EXPECT_EQ(adding.Run(), 0);
    platform::FailNextAtomicWriteForTesting(0);
    std::string after;
    ASSERT_EQ(platform::ReadWholeFile(m_folder + "/mail.dat", &after), 0);
    EXPECT_EQ(after, before);
    ASSERT_GE(m_host.m_log.size(), 3u);
    EXPECT_EQ(m_host.m_log[m_host.m_log.size() - 3],
              (CFakeHost::LogLine{m_host.LoadString(3348), 17}));
    EXPECT_EQ(m_host.m_log.back(), (CFakeHost::LogLine{"Mail", 21}));
}

TEST_F(MailConduitTest, SettingsLostBeforeTheRunEndItAfterTheWarning) {
    m_host.m_settings.clear();
    EXPECT_EQ(Run(0), 0);
    EXPECT_EQ(m_host.m_calls,
              (std::vector<std::string>{"RegisterConduit", "UserOfFolder", "UnregisterConduit"}));
    EXPECT_EQ(Activities(), (std::vector<int32_t>{19, 22, 22, 20}));
    EXPECT_EQ(m_host.m_log.back().text, "Mail");
}

TEST_F(MailConduitTest, UnknownUserIsLoggedAndEndsWithTheErrorLine) {
    m_host.m_userLookupResult = 16641;
    EXPECT_EQ(Run(0), 0);
    EXPECT_EQ(m_host.m_calls,
              (std::vector<std::string>{"RegisterConduit", "UserOfFolder", "UnregisterConduit"}));
    EXPECT_EQ(m_host.m_log,
              (std::vector<CFakeHost::LogLine>{
                  {"", 19},
                  {"-- Mail", -1},
                  {"   - Could not find the desktop user of this TetherSync operation.", 22},
                  {"Mail", 21}}));
}

TEST_F(MailConduitTest, HandheldFailureLinesComeUnderOneHeading) {
    CTestConduit conduit(m_host, m_settings, m_props);
    CMessage message;
    message.SetSubject("S");
    conduit.LogRecordWriteFailure(message);
    message.SetRecordId(9);
    conduit.LogRecordWriteFailure(message);
    conduit.LogRecordReadFailure();
    conduit.LogPurgeFailure();
    EXPECT_EQ(conduit.LogProblem(6104, &message), 6104);
    conduit.LogNotice(6112, message);
    const std::vector<CFakeHost::LogLine> expected = {{"-- Mail", -1},
                                                      {m_host.LoadString(3316), 9},
                                                      {", S", -1},
                                                      {m_host.LoadString(3312), -1},
                                                      {m_host.LoadString(3319), 9},
                                                      {", S", -1},
                                                      {m_host.LoadString(3312), -1},
                                                      {m_host.LoadString(3323), 8},
                                                      {m_host.LoadString(3311), -1},
                                                      {m_host.LoadString(3317), 10},
                                                      {m_host.LoadString(3311), -1},
                                                      {m_host.LoadString(6104), 13},
                                                      {", S", -1},
                                                      {m_host.LoadString(6112), -1},
                                                      {", S", -1}};
    EXPECT_EQ(m_host.m_log, expected);
}

TEST_F(MailConduitTest, CurrentIdIsBoundedAndTerminated) {
    CTestConduit conduit(m_host, m_settings, m_props);
    conduit.SetCurrentId(std::string(600, 'i'));
    EXPECT_EQ(std::string(conduit.CurrentId()), std::string(511, 'i'));
    conduit.SetCurrentId("short");
    EXPECT_STREQ(conduit.CurrentId(), "short");
}

TEST_F(MailConduitTest, DescribeMessageNamesSenderDateAndSubject) {
    CTestConduit conduit(m_host, m_settings, m_props);
    CMessage message;
    message.SetFromName("A very long sender name indeed");
    message.SetSubject("Budget");
    int64_t date = 0;
    ASSERT_TRUE(platform::LocalToUtc({2001, 3, 1, 12, 0, 0, 0}, &date));
    message.m_date = static_cast<uint32_t>(date);
    EXPECT_EQ(conduit.DescribeMessage(message), "\tFrom: A very long sender n, 3/1/2001, Budget");
    message.SetFromName("");
    message.m_date = 0;
    message.AddRecipient(RECIPIENT_CC, "", "cc@x");
    message.AddRecipient(RECIPIENT_TO, "", "to@x");
    EXPECT_EQ(conduit.DescribeMessage(message), "\tTo: to@x, Budget");
    message.SetSubject(std::string(300, 's'));
    EXPECT_EQ(conduit.DescribeMessage(message).size(), 128u);
    CMessage nobody;
    EXPECT_EQ(conduit.DescribeMessage(nobody), ", ");
}

}  // namespace
}  // namespace torrim

// Whole sync operations through the real handheld image and a scripted desktop: sending,
// copying, read marks, deletions and moves in both directions, the full handheld, lost
// connections, overwrite, and random sequences of changes.
#include <gtest/gtest.h>

#include <algorithm>

#include "passes_scenario_util.h"
#include "platform/file_util.h"

namespace torrim {
namespace {

using tethersync::BODY;
using tethersync::SUBJECT;
using Log = std::vector<CScenarioHost::LogLine>;

constexpr uint32_t DATE = 1700000000;  // 11/14/2023 in New York

DesktopMail Mail(const std::string& subject, uint32_t date = DATE, bool read = false) {
    DesktopMail mail;
    mail.from = "ann@example.org";
    mail.subject = subject;
    mail.body = "Text of " + subject + "\r\nSecond line";
    mail.date = date;
    mail.read = read;
    return mail;
}

const Log QUIET_RUN = {{"", 19}, {"Mail", 20}};

TEST(PassesScenario, FirstSyncCopiesTheInboxAndASecondChangesNothing) {
    CScenario s;
    for (const char* subject : {"One", "Two", "Three"}) {
        s.desktop.Add(Mail(subject));
    }
    s.Sync();
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    EXPECT_EQ(s.Subjects(0), (std::vector<std::string>{"One", "Two", "Three"}));
    auto records = s.Records();
    EXPECT_EQ(records[0].mail.texts[BODY], "Text of One\nSecond line");
    EXPECT_EQ(records[0].attributes, 0);

    const auto before = s.Records();
    for (int run = 0; run < 2; ++run) {
        s.Sync();
        EXPECT_EQ(s.host.m_log, QUIET_RUN);
        EXPECT_EQ(s.markCalls + s.deleteCalls, 0);
        const auto after = s.Records();
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i].id, before[i].id);
            EXPECT_EQ(after[i].mail.texts, before[i].mail.texts);
            EXPECT_EQ(after[i].mail.read, before[i].mail.read);
        }
    }
    EXPECT_EQ(s.desktop.inbox.size(), 3u);
}

TEST(PassesScenario, SendOnlyModeSendsTheOutboxAndChangesNothingElse) {
    CScenario s;
    tethersync::MailPreferences prefs;
    prefs.mode = 1;
    ASSERT_TRUE(s.SetPreferences(prefs));
    s.desktop.Add(Mail("Desk"));
    ASSERT_NE(s.Put(1, "Outgoing", "Hello"), 0u);
    ASSERT_NE(s.Put(3, "Filed", "", 0), 0u);
    s.Sync();
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    EXPECT_EQ(s.desktop.sentSubjects, std::vector<std::string>{"Outgoing"});
    EXPECT_TRUE(s.Subjects(1).empty());
    EXPECT_TRUE(s.Subjects(0).empty());
    EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"Filed"});
    EXPECT_EQ(s.desktop.inbox.size(), 1u);
    EXPECT_FALSE(s.desktop.inbox.begin()->second.read);
}

// Display names holding list separators, as the conduit composes them and as people type
// them: each line is one recipient.
TEST(PassesScenario, OutboxRecipientNamesWithSeparatorsReachOneRecipientEach) {
    CScenario s;
    tethersync::HandheldMail mail;
    mail.texts[SUBJECT] = "Commas";
    mail.texts[tethersync::TO] = "jane@y.com (Doe, Jane)";
    mail.texts[tethersync::CC] = "\"Roe; Ann\" <ann@y.com>, bob@x.com";
    ASSERT_NE(s.PutMail(1, mail, SYNC_REC_MODIFIED), 0u);
    s.Sync();
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    EXPECT_EQ(s.desktop.sentSubjects, std::vector<std::string>{"Commas"});
    EXPECT_EQ(s.desktop.sentRecipients,
              (std::vector<std::string>{"1 jane@y.com (Doe, Jane)",
                                        "2 ann@y.com (Roe; Ann)",
                                        "2 bob@x.com (bob@x.com)"}));
    EXPECT_TRUE(s.Subjects(1).empty());
}

TEST(PassesScenario, UnsentMailStaysInTheOutboxWithANotice) {
    CScenario s;
    s.desktop.failSend = true;
    ASSERT_NE(s.Put(1, "First"), 0u);
    ASSERT_NE(s.Put(1, "Second"), 0u);
    const uint32_t deleted = s.Put(1, "Deleted");
    ASSERT_TRUE(s.SetState(deleted, SYNC_REC_DELETED | SYNC_REC_MODIFIED, 1));
    s.Sync();
    EXPECT_EQ(s.Subjects(1), (std::vector<std::string>{"First", "Second"}));
    ASSERT_EQ(s.host.m_notices.size(), 1u);
    EXPECT_EQ(s.host.m_notices[0].substr(0, 33), "2 of your message(s) could not be");
    // The deleted record was neither sent nor counted, and is purged.
    EXPECT_EQ(s.Records().size(), 2u);
}

TEST(PassesScenario, FilteredOutMessagesAreNotOfferedAgain) {
    CScenario s;
    tethersync::MailPreferences prefs;
    prefs.mode = 3;  // unread only
    ASSERT_TRUE(s.SetPreferences(prefs));
    s.desktop.Add(Mail("Seen", DATE, true));
    s.desktop.Add(Mail("New"));
    s.Sync();
    s.Sync();
    EXPECT_EQ(s.Subjects(0), std::vector<std::string>{"New"});
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
}

TEST(PassesScenario, UnknownInboxRecordIsDeletedUnknownFiledRecordAdopted) {
    CScenario s;
    ASSERT_NE(s.Put(0, "Stray", "", 0), 0u);
    ASSERT_NE(s.Put(3, "Kept", "my notes", 0), 0u);
    ASSERT_NE(s.Put(4, "Draft", "unfinished", SYNC_REC_MODIFIED), 0u);
    s.Sync();
    EXPECT_TRUE(s.Subjects(0).empty());
    EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"Kept"});
    EXPECT_EQ(s.Subjects(4), std::vector<std::string>{"Draft"});
    s.Sync();
    s.Sync();
    auto records = s.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(s.Find(records, "Kept")->mail.texts[BODY], "my notes");
    EXPECT_EQ(s.Find(records, "Draft")->mail.texts[BODY], "unfinished");
}

TEST(PassesScenario, MovingToFiledDeletesOnDesktopAndKeepsTheHandheldCopy) {
    CScenario s;
    s.desktop.Add(Mail("Keep me"));
    s.desktop.Add(Mail("Other"));
    s.Sync();
    auto records = s.Records();
    const HandheldRecord* moved = s.Find(records, "Keep me");
    ASSERT_NE(moved, nullptr);
    ASSERT_TRUE(s.SetState(moved->id, SYNC_REC_MODIFIED, 3));
    s.Sync();
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(DesktopSubjects(s.desktop), std::vector<std::string>{"Other"});
    EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"Keep me"});
    EXPECT_EQ(s.Subjects(0), std::vector<std::string>{"Other"});
    s.Sync();
    s.Sync();
    EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"Keep me"});
    records = s.Records();
    EXPECT_EQ(s.Find(records, "Keep me")->mail.texts[BODY], "Text of Keep me\nSecond line");
}

TEST(PassesScenario, ChangesCarriedByARunWhoseStateWasNotSavedAreCarriedAgain) {
    CScenario s;
    s.desktop.Add(Mail("A"));
    s.desktop.Add(Mail("B"));
    s.Sync();
    auto records = s.Records();
    ASSERT_TRUE(s.SetState(s.Find(records, "A")->id, SYNC_REC_MODIFIED, 3));
    ASSERT_TRUE(s.MarkRead(s.Find(records, "B")->id));
    // The move reaches the desktop, but the state that records it cannot be saved: the
    // change marks stay, so the next operation does not take the filed record for the
    // inbox copy of a message gone from the desktop.
    platform::FailNextAtomicWriteForTesting(28);  // ENOSPC
    s.Sync();
    platform::FailNextAtomicWriteForTesting(0);
    ASSERT_FALSE(s.host.m_log.empty());
    EXPECT_EQ(s.host.m_log.back().activity, 21);
    EXPECT_EQ(DesktopSubjects(s.desktop), std::vector<std::string>{"B"});
    s.Sync();
    EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"A"});
    EXPECT_EQ(s.Subjects(0), std::vector<std::string>{"B"});
    EXPECT_TRUE(s.desktop.inbox[s.desktop.IdOf("B")].read);
    s.Sync();
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
}

TEST(PassesScenario, FailedDesktopDeleteOfAMoveIsRetriedAndNeverCostsTheFiledCopy) {
    CScenario s;
    const std::string id = s.desktop.Add(Mail("Move"));
    s.Sync();
    ASSERT_TRUE(s.SetState(s.Records()[0].id, SYNC_REC_MODIFIED, 3));
    s.desktop.failDelete.insert(id);
    s.Sync();
    EXPECT_EQ(s.desktop.inbox.size(), 1u);
    EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"Move"});
    // The change mark stays, so the next operation carries the move again.
    EXPECT_EQ(s.Records()[0].attributes & SYNC_REC_MODIFIED, SYNC_REC_MODIFIED);
    // The desktop copy goes away by itself meanwhile: the filed copy must survive.
    s.desktop.inbox.clear();
    s.Sync();
    s.Sync();
    EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"Move"});
    EXPECT_TRUE(s.Subjects(0).empty());
}

TEST(PassesScenario, ReadMarksTravelBothWays) {
    CScenario s;
    const std::string a = s.desktop.Add(Mail("A"));
    const std::string b = s.desktop.Add(Mail("B"));
    s.Sync();
    auto records = s.Records();
    ASSERT_TRUE(s.MarkRead(s.Find(records, "A")->id));
    s.desktop.inbox[b].read = true;
    s.Sync();
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    EXPECT_TRUE(s.desktop.inbox[a].read);
    records = s.Records();
    EXPECT_TRUE(s.Find(records, "A")->mail.read);
    EXPECT_TRUE(s.Find(records, "B")->mail.read);
    s.Sync();
    EXPECT_EQ(s.markCalls, 0);
    EXPECT_EQ(s.Records().size(), 2u);
}

TEST(PassesScenario, DeletionsTravelBothWays) {
    CScenario s;
    const std::string a = s.desktop.Add(Mail("Desktop deletes"));
    s.desktop.Add(Mail("Handheld deletes"));
    s.desktop.Add(Mail("Handheld trashes"));
    s.Sync();
    s.desktop.inbox.erase(a);
    auto records = s.Records();
    ASSERT_TRUE(s.SetState(s.Find(records, "Handheld deletes")->id,
                           SYNC_REC_DELETED | SYNC_REC_MODIFIED, 0));
    ASSERT_TRUE(s.SetState(s.Find(records, "Handheld trashes")->id, SYNC_REC_MODIFIED, 2));
    s.Sync();
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    EXPECT_TRUE(s.desktop.inbox.empty());
    EXPECT_TRUE(s.Records().empty());
    s.Sync();
    EXPECT_TRUE(s.Records().empty());
}

TEST(PassesScenario, FullHandheldSkipsLargerMessagesAndStillWritesSmallerOnes) {
    CScenario s;
    tethersync::MailPreferences prefs;
    prefs.truncation = 20000;
    ASSERT_TRUE(s.SetPreferences(prefs));
    auto sized = [](const std::string& subject, size_t bytes) {
        DesktopMail mail = Mail(subject);
        mail.body = std::string(bytes, 'x');
        return mail;
    };
    s.desktop.Add(sized("Big5000", 5000));
    s.desktop.Add(sized("Big6000", 6000));
    s.desktop.Add(sized("Small300", 300));
    ASSERT_TRUE(s.SetCapacity(s.UsedBytes() + 3000));
    s.Sync();
    EXPECT_EQ(s.result, 0);
    const std::string copy = "   - Could not copy the following record to the handheld:";
    const std::string full =
        "     The memory in your handheld may be full.  To check the available memory, select "
        "Memory from the handheld's Application Launcher.";
    const Log expected = {{"", 19},
                          {"-- Mail", -1},
                          {copy, 9},
                          {"\tFrom: ann@example.org, 11/14/2023, Big5000", -1},
                          {full, -1},
                          {copy, 9},
                          {"\tFrom: ann@example.org, 11/14/2023, Big6000", -1},
                          {full, -1},
                          {"Mail", 20}};
    EXPECT_EQ(s.host.m_log, expected);
    EXPECT_EQ(s.Subjects(0), std::vector<std::string>{"Small300"});

    // The budget belongs to one operation: with room again, the large ones are written.
    ASSERT_TRUE(s.SetCapacity(1u << 20));
    s.Sync();
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    EXPECT_EQ(Sorted(s.Subjects(0)), (std::vector<std::string>{"Big5000", "Big6000", "Small300"}));
}

TEST(PassesScenario, TruncatedMessageIsLoggedAndNotRewritten) {
    CScenario s;
    tethersync::MailPreferences prefs;
    prefs.truncation = 100;
    ASSERT_TRUE(s.SetPreferences(prefs));
    DesktopMail mail = Mail("Long");
    mail.body = std::string(500, 'y');
    s.desktop.Add(mail);
    s.Sync();
    const Log expected = {{"", 19},
                          {"-- Mail", -1},
                          {"   - The following message was truncated on the Handheld:", -1},
                          {"\tFrom: ann@example.org, 11/14/2023, Long", -1},
                          {"Mail", 20}};
    EXPECT_EQ(s.host.m_log, expected);
    auto records = s.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].mail.texts[BODY].substr(0, 100), std::string(100, 'y'));
    EXPECT_NE(records[0].mail.texts[BODY].find("truncated"), std::string::npos);
    s.Sync();
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    EXPECT_EQ(s.Records().size(), 1u);
}

TEST(PassesScenario, AnInboxWalkThatStopsEarlyRemovesNothing) {
    CScenario s;
    for (const char* subject : {"A", "B", "C"}) {
        s.desktop.Add(Mail(subject));
    }
    s.Sync();
    s.desktop.failFindAfter = 1;
    s.Sync();
    EXPECT_EQ(s.host.m_log.back(), (CScenarioHost::LogLine{"Mail", 21}));
    EXPECT_EQ(s.Subjects(0), (std::vector<std::string>{"A", "B", "C"}));
    s.desktop.failFindAfter = -1;
    s.Sync();
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    EXPECT_EQ(s.Subjects(0), (std::vector<std::string>{"A", "B", "C"}));
}

TEST(PassesScenario, AnUnreadableMessageIsNotTakenForADeletion) {
    CScenario s;
    const std::string a = s.desktop.Add(Mail("A"));
    s.desktop.Add(Mail("B"));
    s.Sync();
    s.desktop.failRead.insert(a);
    s.Sync();
    EXPECT_EQ(s.Subjects(0), (std::vector<std::string>{"A", "B"}));
    s.desktop.failRead.clear();
    s.Sync();
    EXPECT_EQ(s.Subjects(0), (std::vector<std::string>{"A", "B"}));
}

TEST(PassesScenario, OverwriteReplacesInboxAndTrashAndKeepsOutboxFiledAndDrafts) {
    CScenario s;
    const uint32_t filed = s.Put(3, "Filed", "my notes", 0);
    const uint32_t draft = s.Put(4, "Draft", "unfinished", SYNC_REC_MODIFIED);
    ASSERT_NE(filed, 0u);
    ASSERT_NE(draft, 0u);
    s.Sync();  // the state learns the handheld-only messages
    ASSERT_NE(s.Put(0, "Old inbox", "", 0), 0u);
    ASSERT_NE(s.Put(2, "Trash", "", 0), 0u);
    s.desktop.failSend = true;  // the outbox record stays to show it is not purged
    ASSERT_NE(s.Put(1, "Unsent"), 0u);
    s.desktop.Add(Mail("Desk 1"));
    s.desktop.Add(Mail("Desk 2", DATE, true));
    s.Sync(3);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.Subjects(0), (std::vector<std::string>{"Desk 1", "Desk 2"}));
    EXPECT_EQ(s.Subjects(1), std::vector<std::string>{"Unsent"});
    EXPECT_TRUE(s.Subjects(2).empty());
    // The filed message and the draft exist nowhere else: records and entries stay.
    auto records = s.Records();
    ASSERT_NE(s.Find(records, "Filed"), nullptr);
    ASSERT_NE(s.Find(records, "Draft"), nullptr);
    EXPECT_EQ(s.Find(records, "Filed")->id, filed);
    EXPECT_EQ(s.Find(records, "Filed")->category, 3);
    EXPECT_EQ(s.Find(records, "Filed")->mail.texts[BODY], "my notes");
    EXPECT_EQ(s.Find(records, "Draft")->id, draft);
    EXPECT_EQ(s.Find(records, "Draft")->category, 4);
    EXPECT_EQ(s.Find(records, "Draft")->mail.texts[BODY], "unfinished");
    EXPECT_TRUE(s.Find(records, "Desk 2")->mail.read);
    {
        CMessageMgr state;
        ASSERT_EQ(state.Load(s.StatePath()), 0);
        EXPECT_GE(state.FindByRecordId(filed), 0);
        EXPECT_GE(state.FindByRecordId(draft), 0);
    }
    // A synchronize afterwards finds everything in place.
    s.desktop.failSend = false;
    s.Sync();
    s.Sync();
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    EXPECT_EQ(s.Subjects(0), (std::vector<std::string>{"Desk 1", "Desk 2"}));
    EXPECT_TRUE(s.Subjects(1).empty());
    EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"Filed"});
    EXPECT_EQ(s.Subjects(4), std::vector<std::string>{"Draft"});
}

// The connection is lost at every handheld call of an operation in turn; each time the
// database stays open and the conduit registered, the state is saved, and a clean
// operation afterwards converges to the same handheld with no duplicate and no loss.
// Four tests share the calls: offset, offset + 4, offset + 8, ...
class LostConnection : public ::testing::TestWithParam<int64_t> {};

TEST_P(LostConnection, AtAnyCallTheNextOperationConverges) {
    bool reachedEnd = false;
    for (int64_t call = 1 + GetParam(); call < 400 && !reachedEnd; call += 4) {
        CScenario s;
        for (const char* subject : {"A", "B", "C", "D"}) {
            s.desktop.Add(Mail(subject));
        }
        s.Sync();
        auto records = s.Records();
        ASSERT_TRUE(s.MarkRead(s.Find(records, "A")->id));
        ASSERT_TRUE(s.SetState(s.Find(records, "B")->id, SYNC_REC_DELETED | SYNC_REC_MODIFIED, 0));
        ASSERT_TRUE(s.SetState(s.Find(records, "C")->id, SYNC_REC_MODIFIED, 3));
        ASSERT_NE(s.Put(1, "Reply"), 0u);
        s.desktop.Add(Mail("E"));
        s.desktop.inbox.erase(s.desktop.IdOf("D"));

        s.Sync(0, call);
        EXPECT_EQ(s.result, 0);
        if (s.lastStatus.connectionLost == 0) {
            reachedEnd = true;
        } else if (!s.host.m_log.empty() && s.host.m_log.back().activity == 21) {
            // Lost during the run: the dead link is not unregistered.
            EXPECT_EQ(s.lastStatus.registeredConduits, 1) << call;
        }
        s.Sync();
        s.Sync();
        EXPECT_EQ(s.host.m_log, QUIET_RUN) << call;
        EXPECT_EQ(s.Subjects(0), (std::vector<std::string>{"A", "E"})) << call;
        EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"C"}) << call;
        EXPECT_TRUE(s.Subjects(1).empty()) << call;
        EXPECT_EQ(DesktopSubjects(s.desktop), (std::vector<std::string>{"A", "E"})) << call;
        EXPECT_TRUE(s.desktop.inbox[s.desktop.IdOf("A")].read) << call;
        // Sent exactly once, also when the connection was lost between the send and the
        // delete of its outbox record.
        EXPECT_EQ(s.desktop.sentSubjects, std::vector<std::string>{"Reply"}) << call;
    }
    EXPECT_TRUE(reachedEnd);
}

INSTANTIATE_TEST_SUITE_P(Calls, LostConnection, ::testing::Values(0, 1, 2, 3));

}  // namespace
}  // namespace torrim

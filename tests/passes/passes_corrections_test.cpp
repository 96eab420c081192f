// Whole sync operations around faults that lose or duplicate mail: handheld changes for a
// desktop message that could not be read, messages of one date and subject, handheld-only
// records, failure reports, lost connections in the later passes, deleted outbox records,
// and id lists longer than one request can carry.
#include <gtest/gtest.h>

#include <functional>

#include "passes_scenario_util.h"

namespace torrim {
namespace {

using tethersync::BODY;
using tethersync::SUBJECT;
using Log = std::vector<CScenarioHost::LogLine>;

constexpr uint32_t DATE = 1700000000;  // 11/14/2023 in New York
const Log QUIET_RUN = {{"", 19}, {"Mail", 20}};

DesktopMail Mail(const std::string& subject, uint32_t date = DATE) {
    DesktopMail mail;
    mail.from = "ann@example.org";
    mail.subject = subject;
    mail.body = "Text of " + subject;
    mail.date = date;
    return mail;
}

// The sync library as the conduit sees it, in front of the real handheld image. It can lose
// the connection at the n-th call of one kind (every later call then fails too, and is
// counted), and its category reads can hand out records the user deleted, as a sync
// library may, while the real image skips them.
class CHandheldStandIn : public CHostServices {
public:
    std::string m_loseAt;
    int m_loseAtCount = 1;
    std::vector<std::string> m_callsAfterLoss;
    std::vector<uint32_t> m_deletedInOutbox;  // handed out first by each outbox walk

    int32_t RegisterConduit(int32_t* h) override {
        return Call("RegisterConduit", [&] { return Real().RegisterConduit(h); });
    }
    int32_t UnregisterConduit(int32_t h) override {
        return Call("UnregisterConduit", [&] { return Real().UnregisterConduit(h); });
    }
    int32_t OpenDatabase(const char* n, int32_t c, uint8_t* h, uint8_t m) override {
        return Call("OpenDatabase", [&] { return Real().OpenDatabase(n, c, h, m); });
    }
    int32_t CreateDatabase(CreateDatabaseRequest* r) override {
        return Call("CreateDatabase", [&] { return Real().CreateDatabase(r); });
    }
    int32_t CloseDatabase(uint8_t h) override {
        return Call("CloseDatabase", [&] { return Real().CloseDatabase(h); });
    }
    int32_t ClearChangeMarks(uint8_t h) override {
        return Call("ClearChangeMarks", [&] { return Real().ClearChangeMarks(h); });
    }
    int32_t WriteRecord(RecordRequest* r) override {
        return Call("WriteRecord", [&] { return Real().WriteRecord(r); });
    }
    int32_t DeleteRecord(RecordRequest* r) override {
        return Call("DeleteRecord", [&] { return Real().DeleteRecord(r); });
    }
    int32_t ReadRecordWithId(RecordRequest* r) override {
        return Call("ReadRecordWithId", [&] { return Real().ReadRecordWithId(r); });
    }
    int32_t ReadNextChangedRecord(RecordRequest* r) override {
        return Call("ReadNextChangedRecord", [&] { return Real().ReadNextChangedRecord(r); });
    }
    int32_t PurgeDeletedRecords(uint8_t h) override {
        return Call("PurgeDeletedRecords", [&] { return Real().PurgeDeletedRecords(h); });
    }
    int32_t UserNotice(const char* text) override {
        return Call("UserNotice", [&] { return Real().UserNotice(text); });
    }
    int32_t ReadAppPreference(PreferenceRequest* r) override {
        return Call("ReadAppPreference", [&] { return Real().ReadAppPreference(r); });
    }
    int32_t ReadNextRecInCategory(RecordRequest* r) override {
        return Call("ReadNextRecInCategory", [&] {
            if (r->category == 1 && m_handedOut < m_deletedInOutbox.size()) {
                r->recordId = m_deletedInOutbox[m_handedOut++];
                return Real().ReadRecordWithId(r);
            }
            return Real().ReadNextRecInCategory(r);
        });
    }
    int32_t PurgeAllRecsInCategory(uint8_t h, int16_t c) override {
        return Call("PurgeAllRecsInCategory", [&] { return Real().PurgeAllRecsInCategory(h, c); });
    }
    int32_t GetDBRecordCount(uint8_t h, uint16_t* c) override {
        return Call("GetDBRecordCount", [&] { return Real().GetDBRecordCount(h, c); });
    }
    int32_t ReadPositionXMap(IdListRequest* r) override {
        return Call("ReadPositionXMap", [&] { return Real().ReadPositionXMap(r); });
    }
    int32_t ResetRecordIndex(uint8_t h) override {
        m_handedOut = 0;
        return Call("ResetRecordIndex", [&] { return Real().ResetRecordIndex(h); });
    }
    void YieldCycles(uint16_t c) override { Real().YieldCycles(c); }
    int32_t LogAddLine(const char* t, int32_t a) override { return Real().LogAddLine(t, a); }
    int32_t LogQuery() override { return Real().LogQuery(); }
    int32_t UserOfFolder(const char* f, int32_t* u) override { return Real().UserOfFolder(f, u); }
    int32_t ReadText(int32_t u, const char* s, const char* k, char* b, int32_t* n,
                     const char* d) override {
        return Real().ReadText(u, s, k, b, n, d);
    }
    int32_t ReadNumber(int32_t u, const char* s, const char* k, int16_t* v, int16_t d) override {
        return Real().ReadNumber(u, s, k, v, d);
    }
    int32_t WriteText(int32_t u, const char* s, const char* k, const char* v) override {
        return Real().WriteText(u, s, k, v);
    }
    void OpenLanguageLibrary() override { Real().OpenLanguageLibrary(); }
    void ReleaseLanguageLibrary() override { Real().ReleaseLanguageLibrary(); }
    std::string LoadString(uint32_t id) override { return Real().LoadString(id); }
    size_t ValidateNumberDec(std::string_view t, size_t l) override {
        return Real().ValidateNumberDec(t, l);
    }

private:
    static CHostServices& Real() { return CRealHostServices::Instance(); }
    int32_t Call(const char* name, const std::function<int32_t()>& call) {
        if (m_lost) {
            m_callsAfterLoss.emplace_back(name);
            return SYNC_ERR_LOST_CONNECTION;
        }
        if (m_loseAt == name && --m_loseAtCount == 0) {
            m_lost = true;
            return SYNC_ERR_LOST_CONNECTION;
        }
        return call();
    }
    bool m_lost = false;
    size_t m_handedOut = 0;
};

// A scenario whose handheld calls go through a stand-in.
struct CStandInScenario : CScenario {
    CStandInScenario() { host.m_pHandheld = &handheld; }
    // One operation through a fresh stand-in configured by `setUp`.
    void SyncThrough(const std::function<void(CHandheldStandIn&)>& setUp, int32_t action = 0) {
        handheld = CHandheldStandIn();
        setUp(handheld);
        Sync(action);
    }
    CHandheldStandIn handheld;
};

bool Contains(const Log& log, const CScenarioHost::LogLine& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

// ---- handheld changes for a desktop message that could not be read ----

TEST(PassesCorrections, ChangesToAnUnreadableDesktopMessageWaitForALaterSync) {
    CScenario s;
    const std::string a = s.desktop.Add(Mail("Read me"));
    const std::string b = s.desktop.Add(Mail("Delete me"));
    const std::string c = s.desktop.Add(Mail("Trash me"));
    const std::string d = s.desktop.Add(Mail("File me"));
    s.desktop.Add(Mail("Other"));
    s.Sync();
    ASSERT_EQ(s.Records().size(), 5u);
    auto records = s.Records();
    ASSERT_TRUE(s.MarkRead(s.Find(records, "Read me")->id));
    ASSERT_TRUE(
        s.SetState(s.Find(records, "Delete me")->id, SYNC_REC_DELETED | SYNC_REC_MODIFIED, 0));
    ASSERT_TRUE(s.SetState(s.Find(records, "Trash me")->id, SYNC_REC_MODIFIED, 2));
    ASSERT_TRUE(s.SetState(s.Find(records, "File me")->id, SYNC_REC_MODIFIED, 3));
    s.desktop.failRead = {a, b, c, d};

    // The mail system was never reached for these four: nothing is done on the desktop
    // and nothing is forgotten on the handheld.
    s.Sync();
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.markCalls + s.deleteCalls, 0);
    EXPECT_EQ(s.desktop.inbox.size(), 5u);
    records = s.Records();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_TRUE(s.Find(records, "Read me")->mail.read);
    for (const HandheldRecord& r : records) {
        const std::string subject = r.mail.texts[SUBJECT];
        if (subject != "Other") {
            EXPECT_EQ(r.attributes & SYNC_REC_MODIFIED, SYNC_REC_MODIFIED) << subject;
        }
    }
    EXPECT_EQ(s.Subjects(2), std::vector<std::string>{"Trash me"});
    EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"File me"});
    s.Sync();  // still unreadable: still waiting
    EXPECT_EQ(s.Records().size(), 5u);
    EXPECT_EQ(s.desktop.inbox.size(), 5u);

    // Once the desktop is reached, every change is carried and nothing comes back.
    s.desktop.failRead.clear();
    s.Sync();
    EXPECT_EQ(s.result, 0);
    EXPECT_TRUE(s.desktop.inbox[a].read);
    EXPECT_EQ(Sorted(DesktopSubjects(s.desktop)), (std::vector<std::string>{"Other", "Read me"}));
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(Sorted(s.Subjects(0)), (std::vector<std::string>{"Other", "Read me"}));
        EXPECT_TRUE(s.Subjects(2).empty());
        EXPECT_EQ(s.Subjects(3), std::vector<std::string>{"File me"});
        records = s.Records();
        EXPECT_TRUE(s.Find(records, "Read me")->mail.read);
        s.Sync();
        EXPECT_EQ(s.host.m_log, QUIET_RUN);
        EXPECT_EQ(s.markCalls + s.deleteCalls, 0);
    }
}

TEST(PassesCorrections, UnreadOnlyModeKeepsAReadMarkThatWaitsForTheDesktop) {
    CScenario s;
    tethersync::MailPreferences prefs;
    prefs.mode = 3;  // unread only: read messages leave the handheld
    ASSERT_TRUE(s.SetPreferences(prefs));
    const std::string a = s.desktop.Add(Mail("Read me"));
    s.Sync();
    ASSERT_TRUE(s.MarkRead(s.Records()[0].id));
    s.desktop.failRead = {a};
    s.Sync();
    ASSERT_EQ(s.Records().size(), 1u);
    EXPECT_TRUE(s.Records()[0].mail.read);
    EXPECT_FALSE(s.desktop.inbox[a].read);
    s.desktop.failRead.clear();
    s.Sync();
    EXPECT_TRUE(s.desktop.inbox[a].read);
    s.Sync();
    s.Sync();
    EXPECT_TRUE(s.Records().empty());  // read, so not offered again
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
}

// ---- messages of one date and subject ----

TEST(PassesCorrections, MessagesOfOneDateAndSubjectKeepTheirOwnRecords) {
    CScenario s;
    DesktopMail first = Mail("Build failed");
    first.body = "Run 1 failed";
    DesktopMail second = first;
    second.body = "Run 2 failed";
    const std::string one = s.desktop.Add(first);
    const std::string two = s.desktop.Add(second);
    s.Sync();
    auto records = s.Records();
    ASSERT_EQ(records.size(), 2u);
    uint32_t secondRecord = 0;
    for (const HandheldRecord& r : records) {
        if (r.mail.texts[BODY] == "Run 2 failed") {
            secondRecord = r.id;
        }
    }
    ASSERT_NE(secondRecord, 0u);

    // The first goes on the desktop: the handheld keeps the second's own record.
    s.desktop.inbox.erase(one);
    s.Sync();
    records = s.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id, secondRecord);
    EXPECT_EQ(records[0].mail.texts[BODY], "Run 2 failed");

    // A third of the same date and subject arrives as the second leaves: the record left of
    // the second is not taken for it.
    DesktopMail third = first;
    third.body = "Run 3 failed";
    s.desktop.inbox.erase(two);
    const std::string three = s.desktop.Add(third);
    s.Sync();
    records = s.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].mail.texts[BODY], "Run 3 failed");
    // Deleting that record deletes the third, which is the message it shows.
    ASSERT_TRUE(s.SetState(records[0].id, SYNC_REC_DELETED | SYNC_REC_MODIFIED, 0));
    s.Sync();
    EXPECT_TRUE(s.desktop.inbox.empty());
    EXPECT_TRUE(s.Records().empty());
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
}

TEST(PassesCorrections, SameDateAndSubjectFromAnotherSenderIsAnotherMessage) {
    CScenario s;
    DesktopMail first = Mail("Hello");
    DesktopMail second = first;
    second.from = "bob@example.org";
    const std::string one = s.desktop.Add(first);
    s.desktop.Add(second);
    s.Sync();
    ASSERT_EQ(s.Records().size(), 2u);
    s.desktop.inbox.erase(one);
    s.Sync();
    auto records = s.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].mail.texts[tethersync::FROM].find("bob@example.org"), std::string::npos)
        << records[0].mail.texts[tethersync::FROM];
}

// ---- handheld-only records and desktop calls ----

TEST(PassesCorrections, HandheldOnlyRecordsAreNeverRewrittenOrBroughtBack) {
    CScenario s;
    tethersync::HandheldMail filed;
    filed.read = true;
    filed.texts[SUBJECT] = "Filed";
    filed.texts[BODY] = std::string(5000, 'f');  // longer than the truncation size
    filed.texts[tethersync::TO] = "bob@example.org";
    tethersync::HandheldMail draft = filed;
    draft.texts[SUBJECT] = "Draft";
    draft.texts[BODY] = "unfinished";
    const uint32_t filedId = s.PutMail(3, filed, 0);
    const uint32_t draftId = s.PutMail(4, draft, SYNC_REC_MODIFIED);
    const uint32_t outboxId = s.Put(1, "Unsent", "to go");
    ASSERT_NE(filedId * draftId * outboxId, 0u);
    s.desktop.failSend = true;  // the outbox record stays
    s.desktop.Add(Mail("Desk", DATE));
    const auto before = s.Records();
    for (int run = 0; run < 3; ++run) {
        s.Sync();
        auto after = s.Records();
        for (const HandheldRecord& was : before) {
            const HandheldRecord* now = s.Find(after, was.mail.texts[SUBJECT]);
            ASSERT_NE(now, nullptr) << was.mail.texts[SUBJECT];
            EXPECT_EQ(now->id, was.id) << run;
            EXPECT_EQ(now->category, was.category) << run;
            EXPECT_EQ(now->mail.read, was.mail.read) << was.mail.texts[SUBJECT] << run;
            EXPECT_EQ(now->mail.texts, was.mail.texts) << was.mail.texts[SUBJECT] << run;
        }
    }
    EXPECT_EQ(s.markCalls + s.deleteCalls, 0);

    // A handheld-only record gone from the handheld without a change mark is forgotten,
    // not written back from the state's copy.
    {
        syncor::CHandheldImage image;
        syncor::DatabaseInfo db;
        ASSERT_EQ(image.Open(s.ImagePath()), 0);
        ASSERT_EQ(image.FindDatabase("MailDB", &db), 0);
        ASSERT_EQ(image.RemoveRecord(db.dbId, filedId), 0);
    }
    s.Sync();
    s.Sync();
    EXPECT_TRUE(s.Subjects(3).empty());
    EXPECT_EQ(s.Subjects(4), std::vector<std::string>{"Draft"});
    CMessageMgr state;
    ASSERT_EQ(state.Load(s.StatePath()), 0);
    EXPECT_EQ(state.FindByRecordId(filedId), -1);
}

TEST(PassesCorrections, AReadMarkOnAHandheldOnlyMessageMakesNoDesktopCall) {
    CScenario s;
    const uint32_t filed = s.Put(3, "Filed", "notes", 0);
    s.Sync();
    ASSERT_TRUE(s.MarkRead(filed));
    s.Sync();
    EXPECT_EQ(s.markCalls + s.deleteCalls, 0);
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    s.Sync();
    EXPECT_EQ(s.Records().size(), 1u);
    EXPECT_TRUE(s.Records()[0].mail.read);
}

TEST(PassesCorrections, AFailureReportNamesTheMessageActedOn) {
    CScenario s;
    s.desktop.Add(Mail("Mark fails"));
    s.desktop.Add(Mail("Delete fails", DATE + 86400));
    s.Sync();
    auto records = s.Records();
    ASSERT_TRUE(s.MarkRead(s.Find(records, "Mark fails")->id));
    ASSERT_TRUE(
        s.SetState(s.Find(records, "Delete fails")->id, SYNC_REC_DELETED | SYNC_REC_MODIFIED, 0));
    s.desktop.failMark.insert(s.desktop.IdOf("Mark fails"));
    s.desktop.failDelete.insert(s.desktop.IdOf("Delete fails"));
    s.Sync();
    const Log expected = {
        {"", 19},
        {"-- Mail", -1},
        {"   - Could not mark the following message as being read on the Desktop Mail System:", 13},
        {"\tFrom: ann@example.org, 11/14/2023, Mark fails", -1},
        {"   - Could not delete the following message from the Desktop Mail System:", 13},
        {"\tFrom: ann@example.org, 11/15/2023, Delete fails", -1},
        {"Mail", 21}};
    EXPECT_EQ(s.host.m_log, expected);
}

// ---- a lost connection in the later passes ----

// Each case loses the connection at the first call of one kind, made in the pass named: the run
// must stop there (no further handheld call, neither close nor unregister), end with the error
// line, and a clean operation afterwards must converge.
TEST(PassesCorrections, ALostConnectionInALaterPassStopsTheRunAtOnce) {
    struct Case {
        const char* pass;
        const char* call;
        std::function<void(CScenario&)> change;  // after a first sync of A, B, C
        std::vector<std::string> inbox;          // the handheld inbox at the end
    };
    const std::vector<Case> cases = {
        {"ApplyHandheldChanges",
         "ReadNextChangedRecord",
         [](CScenario& s) {
             auto records = s.Records();
             EXPECT_TRUE(s.MarkRead(s.Find(records, "A")->id));
         },
         {"A", "B", "C"}},
        {"ApplyHandheldChanges",
         "PurgeDeletedRecords",
         [](CScenario& s) {
             auto records = s.Records();
             EXPECT_TRUE(
                 s.SetState(s.Find(records, "B")->id, SYNC_REC_DELETED | SYNC_REC_MODIFIED, 0));
         },
         {"A", "C"}},
        {"RemoveVanishedMessages",
         "DeleteRecord",
         [](CScenario& s) {
             s.desktop.inbox.erase(s.desktop.IdOf("A"));
             s.desktop.inbox.erase(s.desktop.IdOf("B"));
         },
         {"C"}},
        {"PushReadState",
         "WriteRecord",
         [](CScenario& s) {
             for (auto& [id, mail] : s.desktop.inbox) {
                 mail.read = true;
             }
         },
         {"A", "B", "C"}},
        {"CopyNewMessages",
         "WriteRecord",
         [](CScenario& s) {
             s.desktop.Add(Mail("D", DATE + 60));
             s.desktop.Add(Mail("E", DATE + 120));
         },
         {"A", "B", "C", "D", "E"}},
    };
    for (const Case& c : cases) {
        CStandInScenario s;
        for (const char* subject : {"A", "B", "C"}) {
            s.desktop.Add(Mail(subject));
        }
        s.Sync();
        c.change(s);
        s.SyncThrough([&c](CHandheldStandIn& h) { h.m_loseAt = c.call; });
        EXPECT_EQ(s.result, 0) << c.pass;
        EXPECT_TRUE(s.handheld.m_callsAfterLoss.empty())
            << c.pass << ": " << s.handheld.m_callsAfterLoss.front();
        ASSERT_FALSE(s.host.m_log.empty());
        EXPECT_EQ(s.host.m_log.back(), (CScenarioHost::LogLine{"Mail", 21})) << c.pass;
        EXPECT_FALSE(Contains(s.host.m_log, {"Mail", 20})) << c.pass;

        s.SyncThrough([](CHandheldStandIn&) {});
        s.Sync();
        EXPECT_EQ(s.host.m_log, QUIET_RUN) << c.pass;
        EXPECT_EQ(Sorted(s.Subjects(0)), c.inbox) << c.pass;
        for (const HandheldRecord& r : s.Records()) {
            EXPECT_EQ(r.mail.read, s.desktop.inbox[s.desktop.IdOf(r.mail.texts[SUBJECT])].read)
                << c.pass;
        }
    }
}

// ---- the outbox ----

TEST(PassesCorrections, ADeletedOutboxRecordIsNeverSent) {
    CStandInScenario s;
    ASSERT_NE(s.Put(1, "Live", "send me"), 0u);
    // A record the user deleted in the outbox, waiting for the purge, that the outbox walk
    // of the next operation hands out.
    auto withdraw = [&s] {
        const uint32_t id = s.Put(1, "Withdrawn", "do not send");
        EXPECT_TRUE(s.SetState(id, SYNC_REC_DELETED | SYNC_REC_MODIFIED, 1));
        return [id](CHandheldStandIn& h) { h.m_deletedInOutbox = {id}; };
    };
    // Unsent first: the deleted record is not counted as unsent mail either.
    s.desktop.failSend = true;
    s.SyncThrough(withdraw());
    ASSERT_EQ(s.host.m_notices.size(), 1u);
    EXPECT_EQ(s.host.m_notices[0].substr(0, 33), "1 of your message(s) could not be");
    s.desktop.failSend = false;
    s.SyncThrough(withdraw());
    EXPECT_EQ(s.host.m_log, QUIET_RUN);
    EXPECT_EQ(s.desktop.sentSubjects, std::vector<std::string>{"Live"});
    EXPECT_TRUE(s.Records().empty());
}

// ---- a long id list ----

TEST(PassesCorrections, IdListsOfSixteenThousandRecordsAndMoreAreReadWhole) {
    CScenario s;
    constexpr uint32_t COUNT = 16390;
    ASSERT_TRUE(s.SetCapacity(64u << 20));
    {
        syncor::CHandheldImage image;
        syncor::DatabaseInfo db;
        ASSERT_EQ(image.Open(s.ImagePath()), 0);
        ASSERT_EQ(image.FindDatabase("MailDB", &db), 0);
        for (uint32_t i = 0; i < COUNT; ++i) {
            tethersync::HandheldMail mail;
            mail.texts[SUBJECT] = "Filed " + std::to_string(i);
            syncor::RecordData record;
            record.category = 3;
            ASSERT_TRUE(tethersync::PackMail(mail, &record.data));
            ASSERT_EQ(image.WriteRecord(db.dbId, &record), 0);
        }
    }
    s.desktop.Add(Mail("Desk"));
    for (int run = 0; run < 2; ++run) {
        s.Sync();
        EXPECT_EQ(s.host.m_log, QUIET_RUN) << run;
        CMessageMgr state;
        ASSERT_EQ(state.Load(s.StatePath()), 0);
        // Every filed record is known, the last ones too, and the desktop message is there.
        EXPECT_EQ(state.Count(), COUNT + 1) << run;
        EXPECT_EQ(s.Records().size(), COUNT + 1) << run;
    }
}

}  // namespace
}  // namespace torrim

// Whole sync operations for the mail passes: a real handheld image behind the sync
// library, the conduit's real host services for the handheld and the language library,
// and a scripted desktop mail system (a CMailConduit over an in-memory inbox).
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "conduit/core/address.h"
#include "conduit/core/codes.h"
#include "conduit/core/host_services_real.h"
#include "conduit/core/mail_conduit.h"
#include "host/syncor/handheld_image.h"
#include "host/syncor/syncor.h"
#include "host/tethersync/mail_record.h"
#include "platform/file_util.h"

namespace torrim {

// The real host for the handheld and the texts; the settings and the log stay in memory so
// that a test sees every line.
class CScenarioHost : public CHostServices {
public:
    struct LogLine {
        std::string text;
        int32_t activity;
        bool operator==(const LogLine&) const = default;
    };
    std::vector<LogLine> m_log;
    std::vector<std::string> m_notices;

    // Where the handheld calls go: the real host, or a test's stand-in in front of it.
    CHostServices* m_pHandheld = nullptr;
    CHostServices& Real() {
        return m_pHandheld != nullptr ? *m_pHandheld : CRealHostServices::Instance();
    }

    int32_t RegisterConduit(int32_t* h) override { return Real().RegisterConduit(h); }
    int32_t UnregisterConduit(int32_t h) override { return Real().UnregisterConduit(h); }
    int32_t OpenDatabase(const char* n, int32_t c, uint8_t* h, uint8_t m) override {
        return Real().OpenDatabase(n, c, h, m);
    }
    int32_t CreateDatabase(CreateDatabaseRequest* r) override { return Real().CreateDatabase(r); }
    int32_t CloseDatabase(uint8_t h) override { return Real().CloseDatabase(h); }
    int32_t ClearChangeMarks(uint8_t h) override { return Real().ClearChangeMarks(h); }
    int32_t WriteRecord(RecordRequest* r) override { return Real().WriteRecord(r); }
    int32_t DeleteRecord(RecordRequest* r) override { return Real().DeleteRecord(r); }
    int32_t ReadRecordWithId(RecordRequest* r) override { return Real().ReadRecordWithId(r); }
    int32_t ReadNextChangedRecord(RecordRequest* r) override {
        return Real().ReadNextChangedRecord(r);
    }
    int32_t PurgeDeletedRecords(uint8_t h) override { return Real().PurgeDeletedRecords(h); }
    int32_t UserNotice(const char* text) override {
        m_notices.push_back(text);
        return Real().UserNotice(text);
    }
    int32_t ReadAppPreference(PreferenceRequest* r) override { return Real().ReadAppPreference(r); }
    int32_t ReadNextRecInCategory(RecordRequest* r) override {
        return Real().ReadNextRecInCategory(r);
    }
    int32_t PurgeAllRecsInCategory(uint8_t h, int16_t c) override {
        return Real().PurgeAllRecsInCategory(h, c);
    }
    int32_t GetDBRecordCount(uint8_t h, uint16_t* c) override {
        return Real().GetDBRecordCount(h, c);
    }
    int32_t ReadPositionXMap(IdListRequest* r) override { return Real().ReadPositionXMap(r); }
    int32_t ResetRecordIndex(uint8_t h) override { return Real().ResetRecordIndex(h); }
    void YieldCycles(uint16_t c) override { Real().YieldCycles(c); }

    int32_t LogAddLine(const char* text, int32_t activity) override {
        m_log.push_back({text, activity});
        return 0;
    }
    int32_t LogQuery() override {
        for (const LogLine& line : m_log) {
            if (line.activity != 19 && line.activity != 20 && line.activity != 21) {
                return 1;
            }
        }
        return 0;
    }

    int32_t UserOfFolder(const char*, int32_t* user) override {
        *user = 1;
        return 0;
    }
    int32_t ReadText(int32_t, const char*, const char* key, char* buffer, int32_t* size,
                     const char* def) override {
        const auto it = m_settings.find(key);
        const std::string value = it != m_settings.end() ? it->second : def;
        const size_t n = std::min<size_t>(value.size(), static_cast<size_t>(*size - 1));
        std::memcpy(buffer, value.data(), n);
        buffer[n] = '\0';
        *size = static_cast<int32_t>(n);
        return 0;
    }
    int32_t ReadNumber(int32_t, const char*, const char*, int16_t* value, int16_t def) override {
        *value = def;
        return 0;
    }
    int32_t WriteText(int32_t, const char*, const char* key, const char* value) override {
        m_settings[key] = value;
        return 0;
    }

    void OpenLanguageLibrary() override { Real().OpenLanguageLibrary(); }
    void ReleaseLanguageLibrary() override { Real().ReleaseLanguageLibrary(); }
    std::string LoadString(uint32_t id) override { return Real().LoadString(id); }
    size_t ValidateNumberDec(std::string_view text, size_t limit) override {
        return Real().ValidateNumberDec(text, limit);
    }

    std::map<std::string, std::string> m_settings{{"System", "Scripted"},
                                                  {"Interface", "scripted"}};
};

// One message of the scripted desktop inbox.
struct DesktopMail {
    std::string from;
    std::string subject;
    std::string body;  // CR LF line ends
    uint32_t date = 0;
    bool read = false;
    std::string to = "me@example.org";
};

// The desktop mail system of the tests: an inbox keyed by message id, sent mail, and
// failures injected by operation.
struct CScriptedDesktop {
    std::map<std::string, DesktopMail> inbox;
    std::vector<std::string> sentSubjects;
    // "kind address (name)" of each recipient sent to, the address as the back-ends send it.
    std::vector<std::string> sentRecipients;
    int nextId = 1;
    std::set<std::string> failMark, failDelete, failRead;  // by message id
    int failFindAfter = -1;  // FindNextMessage calls that succeed before one fails
    bool failSend = false;
    int findCalls = 0;

    std::string Add(DesktopMail mail) {
        char id[32];
        std::snprintf(id, sizeof(id), "m%08d", nextId++);
        inbox[id] = std::move(mail);
        return id;
    }
    // The id of the one message with that subject, or "".
    std::string IdOf(const std::string& subject) const {
        for (const auto& [id, mail] : inbox) {
            if (mail.subject == subject) {
                return id;
            }
        }
        return "";
    }
};

// The texts in sorted order.
inline std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// The subjects of the desktop inbox in its order.
inline std::vector<std::string> DesktopSubjects(const CScriptedDesktop& desktop) {
    std::vector<std::string> out;
    for (const auto& [id, mail] : desktop.inbox) {
        out.push_back(mail.subject);
    }
    return out;
}

class CScriptedConduit : public CMailConduit {
public:
    CScriptedConduit(CHostServices& host, MailSettings& settings, const SyncProperties& props,
                     CScriptedDesktop& desktop)
        : CMailConduit(host, settings, &Progress, props), m_desktop(desktop) {}

    static void Progress(const char*) {}

    int32_t Logon() override { return 0; }
    int32_t Logoff() override { return 0; }
    int32_t SendMail(CMessage* message) override {
        if (m_desktop.failSend) {
            return LogProblem(6105, message);
        }
        m_desktop.sentSubjects.emplace_back(message->Subject());
        for (int kind = RECIPIENT_TO; kind <= RECIPIENT_BCC; ++kind) {
            uint32_t position = 0;
            while (auto recipient = message->m_pRecipients->NextOfKind(kind, &position)) {
                m_desktop.sentRecipients.push_back(std::to_string(kind) + " " +
                                                   CleanAddress(recipient->m_address) + " (" +
                                                   std::string(recipient->m_name) + ")");
            }
        }
        return 0;
    }
    int32_t FindNextMessage() override {
        if (m_desktop.failFindAfter >= 0 && m_desktop.findCalls++ >= m_desktop.failFindAfter) {
            return LogProblem(6110, nullptr);
        }
        auto it = m_currentId[0] == '\0' ? m_desktop.inbox.begin()
                                         : m_desktop.inbox.upper_bound(m_currentId);
        const std::string next = it == m_desktop.inbox.end() ? "" : it->first;
        std::strcpy(m_currentId, next.c_str());
        return 0;
    }
    int32_t ReadMessage() override {
        const auto it = m_desktop.inbox.find(m_currentId);
        if (it == m_desktop.inbox.end() || m_desktop.failRead.count(m_currentId) != 0) {
            return LogProblem(6106, nullptr);
        }
        const DesktopMail& mail = it->second;
        m_pCurrent = std::make_unique<CMessage>();
        m_pCurrent->SetSubject(mail.subject);
        m_pCurrent->SetFromAddress(mail.from);
        m_pCurrent->SetBody(mail.body);
        m_pCurrent->m_date = mail.date;
        m_pCurrent->m_readOnDesktop = mail.read ? 1 : 0;
        m_pCurrent->AddRecipient(RECIPIENT_TO, "", mail.to);
        return 0;
    }
    int32_t MarkMessageRead() override {
        ++markCalls;
        if (m_desktop.failMark.count(m_currentId) != 0 || !m_desktop.inbox.count(m_currentId)) {
            return LogProblem(6107, m_pCurrent.get());
        }
        m_desktop.inbox[m_currentId].read = true;
        return 0;
    }
    int32_t DeleteMessage() override {
        ++deleteCalls;
        if (m_desktop.failDelete.count(m_currentId) != 0 || !m_desktop.inbox.count(m_currentId)) {
            return LogProblem(6104, m_pCurrent.get());
        }
        m_desktop.inbox.erase(m_currentId);
        return 0;
    }

    int markCalls = 0;
    int deleteCalls = 0;

private:
    CScriptedDesktop& m_desktop;
};

// A handheld record as the tests see it.
struct HandheldRecord {
    uint32_t id = 0;
    int16_t category = 0;
    uint8_t attributes = 0;
    tethersync::HandheldMail mail;
};

// A temporary user folder, a handheld image and the operations on them.
class CScenario {
public:
    CScenario() {
        char pattern[] = "/tmp/passes_scenario_XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            m_dir = pattern;
        }
        const std::string mail = m_dir + "/user/Mail";
        std::filesystem::create_directories(mail);
        (void)platform::WriteFileAtomic(m_dir + "/user/Sync.ini", "[Mail]\n");
        m_image = m_dir + "/hh.img";
        (void)syncor::CHandheldImage::Create(m_image, "Ann", 4u << 20);
        std::memset(&m_props, 0, sizeof(m_props));
        std::strncpy(m_props.conduitFolder, mail.c_str(), sizeof(m_props.conduitFolder) - 1);
        m_props.databaseName = "MailDB";
        m_props.creator = syncor::MAIL_CREATOR;
        m_props.databaseType = syncor::MAIL_DATABASE_TYPE;
    }
    ~CScenario() {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    std::string StatePath() const { return std::string(m_props.conduitFolder) + "/mail.dat"; }
    const std::string& ImagePath() const { return m_image; }

    // One operation; the fault plan (handheld calls before the connection is lost, -1 for
    // none) applies to it only.
    void Sync(int32_t action = 0, int64_t faultAfter = -1) {
        {
            syncor::CHandheldImage image;
            if (image.Open(m_image) == 0) {
                (void)image.SetFaultAfter(faultAfter);
            }
        }
        host.m_log.clear();
        host.m_notices.clear();
        (void)SyncHostAttachImage(m_image.c_str());
        m_props.syncAction = action;
        CScriptedConduit conduit(host, m_settings, m_props, desktop);
        result = conduit.Run();
        markCalls = conduit.markCalls;
        deleteCalls = conduit.deleteCalls;
        SyncHostStatus status{};
        (void)SyncHostGetStatus(&status);
        lastStatus = status;
        (void)SyncHostDetachImage();
        {
            syncor::CHandheldImage image;
            if (image.Open(m_image) == 0) {
                (void)image.SetFaultAfter(-1);
            }
        }
    }

    // ---- the handheld, as its user changes it ----
    uint32_t Put(int16_t category, const std::string& subject, const std::string& body = "",
                 uint8_t attributes = SYNC_REC_MODIFIED, const std::string& from = "") {
        tethersync::HandheldMail mail;
        mail.texts[tethersync::SUBJECT] = subject;
        mail.texts[tethersync::BODY] = body;
        mail.texts[tethersync::FROM] = from;
        mail.texts[tethersync::TO] = "bob@example.org";
        return PutMail(category, mail, attributes);
    }
    uint32_t PutMail(int16_t category, const tethersync::HandheldMail& mail, uint8_t attributes) {
        syncor::CHandheldImage image;
        syncor::DatabaseInfo db;
        if (image.Open(m_image) != 0 || image.FindDatabase("MailDB", &db) != 0) {
            return 0;
        }
        syncor::RecordData record;
        record.category = category;
        record.attributes = attributes;
        if (!tethersync::PackMail(mail, &record.data) || image.WriteRecord(db.dbId, &record) != 0) {
            return 0;
        }
        return record.id;
    }
    bool SetState(uint32_t id, uint8_t attributes, int16_t category) {
        syncor::CHandheldImage image;
        syncor::DatabaseInfo db;
        return image.Open(m_image) == 0 && image.FindDatabase("MailDB", &db) == 0 &&
               image.SetRecordState(db.dbId, id, attributes, category) == 0;
    }
    // Marks a record read on the handheld (a user change).
    bool MarkRead(uint32_t id) {
        for (HandheldRecord& r : Records()) {
            if (r.id == id) {
                r.mail.read = true;
                syncor::CHandheldImage image;
                syncor::DatabaseInfo db;
                syncor::RecordData record;
                record.id = id;
                record.category = r.category;
                record.attributes = SYNC_REC_MODIFIED;
                return image.Open(m_image) == 0 && image.FindDatabase("MailDB", &db) == 0 &&
                       tethersync::PackMail(r.mail, &record.data) &&
                       image.WriteRecord(db.dbId, &record) == 0;
            }
        }
        return false;
    }
    bool SetPreferences(const tethersync::MailPreferences& prefs) {
        syncor::CHandheldImage image;
        syncor::Preference pref;
        pref.creator = syncor::MAIL_CREATOR;
        pref.id = 1;
        return image.Open(m_image) == 0 && tethersync::PackPreferences(prefs, &pref.data) &&
               image.WritePreference(pref) == 0;
    }
    bool SetCapacity(uint64_t bytes) {
        syncor::CHandheldImage image;
        return image.Open(m_image) == 0 && image.SetCapacity(bytes) == 0;
    }
    uint64_t UsedBytes() {
        syncor::CHandheldImage image;
        uint64_t used = 0;
        return image.Open(m_image) == 0 && image.UsedBytes(&used) == 0 ? used : 0;
    }
    std::vector<HandheldRecord> Records() {
        std::vector<HandheldRecord> out;
        syncor::CHandheldImage image;
        syncor::DatabaseInfo db;
        std::vector<syncor::RecordData> records;
        if (image.Open(m_image) != 0 || image.FindDatabase("MailDB", &db) != 0 ||
            image.ListRecords(db.dbId, &records) != 0) {
            return out;
        }
        for (const syncor::RecordData& r : records) {
            HandheldRecord h;
            h.id = r.id;
            h.category = r.category;
            h.attributes = r.attributes;
            (void)tethersync::UnpackMail(r.data, &h.mail);
            out.push_back(std::move(h));
        }
        return out;
    }
    // Subjects of the records of a category, in record order.
    std::vector<std::string> Subjects(int16_t category) {
        std::vector<std::string> out;
        for (const HandheldRecord& r : Records()) {
            if (r.category == category) {
                out.push_back(r.mail.texts[tethersync::SUBJECT]);
            }
        }
        return out;
    }
    const HandheldRecord* Find(std::vector<HandheldRecord>& records, const std::string& subject) {
        for (const HandheldRecord& r : records) {
            if (r.mail.texts[tethersync::SUBJECT] == subject) {
                return &r;
            }
        }
        return nullptr;
    }

    CScenarioHost host;
    CScriptedDesktop desktop;
    int32_t result = -99;
    int markCalls = 0;
    int deleteCalls = 0;
    SyncHostStatus lastStatus{};

private:
    std::string m_dir;
    std::string m_image;
    MailSettings m_settings;
    SyncProperties m_props;
};

}  // namespace torrim

// A small conduit for tests and the demo: it calls every host service once per operation
// and logs what it saw, so that a test can check the host end to end. It "sends" the
// handheld outbox by logging each subject and deleting the record, and writes one welcome
// mail into the inbox.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "host/condreg/condreg.h"
#include "host/intlkit/intlkit.h"
#include "host/profstore/profstore.h"
#include "host/syncor/syncor.h"
#include "host/tamarackcmn/tamarack_cmn.h"
#include "host/tetherlog/tetherlog.h"
#include "host/tethersync/mail_record.h"
#include "platform/bytes.h"
#include "torrim/torrim.h"

#define TEST_CONDUIT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

bool g_versionAsked = false;
const char CONDUIT_NAME[] = "Test";

void Log(const std::string& text, int32_t activity = LOG_ACTIVITY_TEXT) {
    (void)LogAddLine(text.c_str(), activity, 0);  // the log cannot report to anyone
}

// One operation; a failing step logs itself and ends the run.
class CRun {
public:
    CRun(void (*progress)(const char*), const SyncProperties& props)
        : m_progress(progress), m_props(props) {}

    int32_t Go();

private:
    // Logs a failed step; true when the step failed.
    bool Failed(const char* step, int32_t code) {
        if (code == 0)
            return false;
        Log("   - test conduit: " + std::string(step) + " failed with code " + std::to_string(code),
            LOG_ACTIVITY_READ_FAILED);
        m_failure = code;
        return true;
    }
    void Strings();
    void Settings();
    bool Database();
    bool Preferences();
    bool SendOutbox();
    bool WriteWelcome();
    bool Inspect();

    void (*m_progress)(const char*);
    SyncProperties m_props;
    void* m_language = nullptr;
    uint8_t m_db = 0;
    int32_t m_failure = 0;
    int16_t m_noUnload = 0;
    uint8_t m_buffer[SYNC_MAX_RECORD_SIZE];
};

void CRun::Strings() {
    char text[256];
    int32_t n = CmnLoadString(m_language, 5001, text, sizeof(text));
    Log("test: string 5001 " + std::string(text, static_cast<size_t>(n)));
    n = CmnLoadString(m_language, 6101, text, 8);  // cut to the buffer
    Log("test: string 6101 cut to " + std::to_string(n));
    Log("test: cut length " + std::to_string(ValidateNumberDec("abcdef", 4)));
    char folder[512];
    int32_t size = sizeof(folder);
    if (CondregDataFolder(folder, &size) >= 0)
        Log("test: data folder " + std::string(folder));
    size = sizeof(folder);
    if (CmnReadHostConfig("Core", "Path", folder, &size, "") == 0)
        Log("test: host path " + std::string(folder));
}

void CRun::Settings() {
    // The user's folder is the parent of the conduit's folder.
    std::string folder = m_props.conduitFolder;
    if (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    folder = folder.substr(0, folder.rfind('/') + 1);
    int32_t user = 0;
    if (Failed("user of folder", ProfUserOfFolder(folder.c_str(), &user)))
        return;
    char value[256];
    int32_t size = sizeof(value);
    if (Failed("read settings", ProfReadText(-1, "Mail", "System", value, &size, "")))
        return;
    Log("test: mail system " + std::string(value));
    int16_t runs = 0;
    if (Failed("read number", ProfReadNumber(user, "TestConduit", "Runs", &runs, 0)))
        return;
    // A test asks the host to keep this library loaded through the settings.
    if (Failed("read number", ProfReadNumber(user, "TestConduit", "NoUnload", &m_noUnload, 0)))
        return;
    (void)Failed("write settings",
                 ProfWriteText(-1, "TestConduit", "Runs", std::to_string(runs + 1).c_str()));
}

bool CRun::Database() {
    int32_t e = SyncOpenDatabase(m_props.databaseName, m_props.cardNumber, &m_db, 0xE0);
    if (e == SYNC_ERR_NOT_FOUND) {
        CreateDatabaseRequest create{};
        create.creator = m_props.creator;
        create.cardNumber = m_props.cardNumber;
        std::snprintf(create.name, sizeof(create.name), "%s", m_props.databaseName);
        create.dbType = m_props.databaseType;
        e = SyncCreateDatabase(&create);
        m_db = create.dbHandle;
    }
    return !Failed("open database", e);
}

bool CRun::Preferences() {
    PreferenceRequest req{};
    req.creator = m_props.creator;
    req.preferenceId = m_props.preferenceSelector != 0 ? 2 : 1;
    req.requestedLength = 0xFFFF;
    req.backedUp = 1;
    req.bufferSize = sizeof(m_buffer);
    req.buffer = m_buffer;
    int32_t e = SyncReadAppPreference(&req);
    if (e == 0 && req.bytesRead >= 6)
        Log("test: truncation " + std::to_string(platform::GetU16BE(m_buffer + 4)));
    else if (e != SYNC_ERR_NOT_FOUND && Failed("read preferences", e))
        return false;
    req.preferenceId = 3;
    e = SyncReadAppPreference(&req);
    if (e == 0)
        Log("test: signature " +
            std::string(reinterpret_cast<char*>(m_buffer),
                        strnlen(reinterpret_cast<char*>(m_buffer), req.bytesRead)));
    return e == 0 || !Failed("read signature", e);
}

bool CRun::SendOutbox() {
    if (Failed("reset index", SyncResetRecordIndex(m_db)))
        return false;
    for (;;) {
        RecordRequest r{};
        r.dbHandle = m_db;
        r.category = 1;
        r.bufferSize = sizeof(m_buffer);
        r.buffer = m_buffer;
        int32_t e = SyncReadNextRecInCategory(&r);
        if (e == SYNC_ERR_NOT_FOUND)
            return true;
        if (Failed("read outbox", e))
            return false;
        tethersync::HandheldMail mail;
        std::string subject = "(unreadable)";
        if (tethersync::UnpackMail(
                std::string_view(reinterpret_cast<char*>(m_buffer), r.recordSize), &mail))
            subject = mail.texts[tethersync::SUBJECT];
        Log("test: sent " + subject);
        if (Failed("delete sent record", SyncDeleteRecord(&r)))
            return false;
        if (Failed("yield", SyncYieldCycles(100)))
            return false;
    }
}

bool CRun::WriteWelcome() {
    tethersync::HandheldMail mail;
    mail.year = 2001;
    mail.month = 3;
    mail.day = 1;
    mail.texts[tethersync::SUBJECT] = "Welcome to the handheld";
    mail.texts[tethersync::FROM] = "Test Conduit <test.conduit@example.org>";
    mail.texts[tethersync::BODY] = "This mail was written by the test conduit.";
    std::string record;
    if (!tethersync::PackMail(mail, &record))
        return !Failed("pack", -1);
    std::memcpy(m_buffer, record.data(), record.size());
    RecordRequest w{};
    w.dbHandle = m_db;
    w.category = 0;
    w.recordSize = static_cast<uint32_t>(record.size());
    w.bufferSize = sizeof(m_buffer);
    w.buffer = m_buffer;
    if (Failed("write record", SyncWriteRecord(&w)))
        return false;
    Log("test: wrote record " + std::to_string(w.recordId));
    return true;
}

bool CRun::Inspect() {
    uint16_t count = 0;
    if (Failed("count", SyncGetDBRecordCount(m_db, &count)))
        return false;
    // Two ids per call: the host answers in slices through the first position.
    IdListRequest ids{};
    ids.dbHandle = m_db;
    ids.idsWanted = 2;
    ids.bufferSize = 8;
    ids.buffer = m_buffer;
    int listed = 0;
    for (;;) {
        if (Failed("id list", SyncReadPositionXMap(&ids)))
            return false;
        if (ids.idsReturned == 0)
            break;
        listed += ids.idsReturned;
        ids.firstPosition = static_cast<uint16_t>(ids.firstPosition + ids.idsReturned);
    }
    Log("test: " + std::to_string(count) + " records, " + std::to_string(listed) + " ids listed");
    if (Failed("reset index", SyncResetRecordIndex(m_db)))
        return false;
    int changed = 0;
    for (;;) {
        RecordRequest r{};
        r.dbHandle = m_db;
        r.bufferSize = sizeof(m_buffer);
        r.buffer = m_buffer;
        int32_t e = SyncReadNextChangedRecord(&r);
        if (e == SYNC_ERR_NOT_FOUND)
            break;
        if (Failed("read changed", e))
            return false;
        ++changed;
        RecordRequest again = r;
        if (Failed("read by id", SyncReadRecordWithId(&again)))
            return false;
    }
    Log("test: " + std::to_string(changed) + " changed records");
    if (Failed("purge deleted", SyncPurgeDeletedRecords(m_db)))
        return false;
    if (Failed("purge category 2", SyncPurgeAllRecsInCategory(m_db, 2)))
        return false;
    if (Failed("clear change marks", SyncClearChangeMarks(m_db)))
        return false;
    return !Failed("notice", SyncUserNotice("test conduit notice"));
}

int32_t CRun::Go() {
    void* defaultModule = nullptr;
    m_language = CmnOpenLanguageLibrary("Rescat.dll", nullptr, &defaultModule);
    char name[64] = "";
    (void)CmnLoadString(m_language, 5001, name, sizeof(name));  // "" when missing
    m_progress("test conduit running");
    if (m_props.syncAction == 6) {
        char nothing[128] = "";
        (void)CmnLoadString(m_language, 3370, nothing, sizeof(nothing));
        Log(std::string(name) + " - " + nothing);
        (void)CmnReleaseLanguageLibrary(m_language, defaultModule);
        return 0;
    }
    int32_t registration = 0;
    int32_t e = SyncRegisterConduit(&registration);
    if (e != 0) {
        (void)CmnReleaseLanguageLibrary(m_language, defaultModule);
        return e;
    }
    Log("", LOG_ACTIVITY_SYNC_STARTED);
    // The heading goes before this run's first line, as a conduit's heading does.
    int32_t before = LogQuery();
    Log(std::string("-- ") + CONDUIT_NAME);
    Log("test: action " + std::to_string(m_props.syncAction) + " folder " + m_props.conduitFolder +
        " database " + m_props.databaseName);
    Log("test: log query " + std::to_string(before) + " then " + std::to_string(LogQuery()));
    Strings();
    Settings();
    bool opened = !Failed("yield", SyncYieldCycles(100)) && Database();
    if (opened && Preferences() && SendOutbox() && WriteWelcome())
        (void)Inspect();
    bool lost = (m_failure & SYNC_LOST_CONNECTION_BIT) != 0;
    // With the connection gone there is nothing to close or unregister.
    if (opened && !lost)
        (void)Failed("close", SyncCloseDatabase(m_db));
    Log(CONDUIT_NAME, m_failure == 0 ? LOG_ACTIVITY_SYNC_FINISHED : LOG_ACTIVITY_SYNC_FAILED);
    if (!lost)
        (void)SyncUnregisterConduit(registration);  // nothing left to report to
    (void)CmnReleaseLanguageLibrary(m_language, defaultModule);
    if (m_noUnload != 0)
        m_progress("NoUnload");
    return 0;
}

}  // namespace

TEST_CONDUIT_EXPORT int32_t GetConduitVersion() {
    g_versionAsked = true;
    return 0x0101;
}

TEST_CONDUIT_EXPORT int32_t GetConduitInfo(int32_t type, void* in, void* out, uint32_t* outSize) {
    if (out == nullptr)
        return 4209;
    if (outSize == nullptr)
        return 4215;
    if (type == 0) {
        if (in == nullptr)
            return 4212;
        std::snprintf(static_cast<char*>(out), *outSize & 0xFFFF, "%s", CONDUIT_NAME);
        return 0;
    }
    if (type == 2) {
        if (*outSize != 4)
            return 4211;
        uint32_t action = 6;
        std::memcpy(out, &action, 4);
        return 0;
    }
    return 4208;
}

TEST_CONDUIT_EXPORT int32_t OpenConduit(void (*progress)(const char*), void* props) {
    try {
        if (progress == nullptr || props == nullptr || !g_versionAsked)
            return -1;
        SyncProperties copy;
        std::memcpy(&copy, props, sizeof(copy));
        auto run = std::make_unique<CRun>(progress, copy);
        return run->Go();
    } catch (...) {
        return -1;
    }
}

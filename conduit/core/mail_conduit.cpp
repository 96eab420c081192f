// The sync driver and the conduit's log lines.
#include "conduit/core/mail_conduit.h"

#include <cstdio>
#include <cstring>

#include "conduit/core/codes.h"
#include "conduit/core/strings.h"
#include "conduit/core/write_budget.h"
#include "platform/file_util.h"
#include "platform/local_time.h"

namespace torrim {
namespace {

constexpr size_t DESCRIBE_NAME_LIMIT = 20;
constexpr size_t DESCRIBE_LINE_LIMIT = 128;
constexpr size_t FIELD_TEXT_SIZE = 256;
constexpr uint16_t SIGNATURE_PREFERENCE = 3;

// A text field of the properties: up to its terminator, never beyond the field.
std::string FieldText(const char* field) {
    return std::string(field, strnlen(field, FIELD_TEXT_SIZE));
}

}  // namespace

bool IsFatalSyncError(int32_t code) {
    return code != -1 && (code & SYNC_CONNECTION_LOST_BIT) != 0;
}

CMailConduit::CMailConduit(CHostServices& host, MailSettings& settings, ProgressCallback progress,
                           const SyncProperties& props)
    : m_host(host),
      m_settings(settings),
      m_pConverter(std::make_unique<CMailRecordConverter>(host, settings)),
      m_pfnProgress(progress),
      m_props(props) {}

CMailConduit::~CMailConduit() = default;

std::string CMailConduit::ConduitFolder() const {
    return FieldText(m_props.conduitFolder);
}

std::string CMailConduit::StatePath() const {
    std::string name = FieldText(m_props.localFileName);
    if (name.empty()) {
        name = DEFAULT_STATE_FILE;
    }
    return platform::JoinPath(ConduitFolder(), name);
}

void CMailConduit::SetCurrentId(std::string_view id) {
    const size_t length = m_host.ValidateNumberDec(id, DESKTOP_ID_SIZE - 1);
    if (length > 0) {
        std::memcpy(m_currentId, id.data(), length);
    }
    m_currentId[length] = '\0';
}

void CMailConduit::WriteDoNothingLine() {
    const std::string line = Text(IDS_CONDUIT_NAME) + " - " + Text(IDS_DO_NOTHING);
    (void)m_host.LogAddLine(line.c_str(), LOG_TEXT);  // nothing else to do when the log fails
}

int32_t CMailConduit::Run() {
    const int32_t action = m_props.syncAction;
    if (action == TORRIM_ACTION_DO_NOTHING) {
        WriteDoNothingLine();
        return 0;
    }
    if (action != TORRIM_ACTION_SYNCHRONIZE && action != TORRIM_ACTION_SYNCHRONIZE_ALT &&
        action != TORRIM_ACTION_DESKTOP_OVERWRITES_HANDHELD) {
        return ERR_UNSUPPORTED_ACTION;
    }
    // A handheld found full in an earlier operation may have room now.
    ResetWriteBudget();
    const int32_t registered = m_host.RegisterConduit(&m_registration);
    if (registered != 0) {
        return registered;
    }
    const std::string logName = Text(IDS_CONDUIT_NAME);
    (void)m_host.LogAddLine("", LOG_SYNC_STARTED);
    Yield();
    bool userNotFound = false;
    if (ReadMailSettings(m_host, m_settings, ConduitFolder(), &userNotFound) != 0) {
        // Not configured ends the operation as done; a user that cannot be found is a failure.
        (void)m_host.LogAddLine(logName.c_str(),
                                userNotFound ? LOG_SYNC_FAILED : LOG_SYNC_FINISHED);
        (void)m_host.UnregisterConduit(m_registration);
        return 0;
    }

    int32_t result = 0;
    bool loggedOn = false;
    Yield();
    result = Logon();
    if (result == 0) {
        loggedOn = true;
        Yield();
        result = LoadMessageState();
        if (result == 0) {
            result = OpenMailDatabase();
        }
        if (result == 0) {
            ReadMailPreferences();
            result = SendOutbox();
        }
        if (result == 0) {
            if (action == TORRIM_ACTION_DESKTOP_OVERWRITES_HANDHELD) {
                result = OverwriteHandheld();
                if (result == 0) {
                    result = WriteMailSettings(m_host, m_settings, ConduitFolder());
                }
            } else {
                result = SynchronizeMail();
            }
        }
    }
    Yield();
    // A state that cannot be saved fails the run: the next operation would work from the
    // previous state and undo or repeat what this one did.
    const int32_t saved = SaveMessageState();
    if (saved != 0 && result == 0) {
        result = -1;
    }
    // The handheld's change marks are cleared only once the state that records those
    // changes is on disk: if the run dies before, the next operation carries them again
    // from marks that are still set, instead of working from the previous state with the
    // changes forgotten (a record moved to a kept category would be taken for an inbox
    // copy of a message gone from the desktop, and removed).
    if (saved == 0 && m_clearChangeMarks && !IsFatalSyncError(result) && m_databaseOpen) {
        (void)m_host.ClearChangeMarks(m_dbHandle);  // marks left set are only carried again
    }
    // With the connection gone the database cannot be closed nor the conduit unregistered.
    if (!IsFatalSyncError(result) && m_databaseOpen) {
        (void)m_host.CloseDatabase(m_dbHandle);  // the outcome is already decided
        m_databaseOpen = false;
    }
    Yield();
    if (loggedOn) {
        (void)Logoff();  // a failing logoff reports itself
    }
    (void)m_host.LogAddLine(logName.c_str(), result == 0 ? LOG_SYNC_FINISHED : LOG_SYNC_FAILED);
    if (!IsFatalSyncError(result)) {
        (void)m_host.UnregisterConduit(m_registration);
    }
    return 0;
}

int32_t CMailConduit::OpenMailDatabase() {
    const char* name = m_props.databaseName != nullptr ? m_props.databaseName : "";
    int32_t result = m_host.OpenDatabase(name, 0, &m_dbHandle, DATABASE_OPEN_MODE);
    if (result == SYNC_NOT_FOUND) {
        CreateDatabaseRequest request;
        std::memset(&request, 0, sizeof(request));
        request.creator = m_props.creator;
        request.cardNumber = m_props.cardNumber;
        std::strncpy(request.name, name, sizeof(request.name) - 1);
        request.dbType = m_props.databaseType;
        result = m_host.CreateDatabase(&request);
        if (result == 0) {
            m_dbHandle = request.dbHandle;
        }
    }
    if (result != 0) {
        LogHeaderOnce();
        (void)m_host.LogAddLine(Text(IDS_DATABASE_OPEN_FAILED).c_str(), LOG_READ_FAILED);
        return result;
    }
    m_databaseOpen = true;
    return 0;
}

void CMailConduit::ReadMailPreferences() {
    m_pPrefs = std::make_unique<CFilter>();
    std::vector<uint8_t> buffer(MAX_RECORD_SIZE);
    auto read = [&](uint16_t id, PreferenceRequest* request) {
        std::memset(request, 0, sizeof(*request));
        request->creator = m_props.creator;
        request->preferenceId = id;
        request->requestedLength = 0xFFFF;
        request->backedUp = 1;
        request->bufferSize = MAX_RECORD_SIZE;
        request->buffer = buffer.data();
        return m_host.ReadAppPreference(request) == 0;
    };
    PreferenceRequest request;
    if (read(m_props.preferenceSelector != 0 ? 2 : 1, &request) &&
        m_pConverter->UnpackPreferences(*m_pPrefs, request) != 0) {
        LogHeaderOnce();
        (void)m_host.LogAddLine(Text(IDS_PREFERENCES_FAILED).c_str(), LOG_READ_FAILED);
    }
    if (read(SIGNATURE_PREFERENCE, &request)) {
        std::string signature = m_pConverter->UnpackSignature(request);
        if (!signature.empty()) {
            m_pPrefs->m_signatureText = std::move(signature);
        }
    }
}

int32_t CMailConduit::LoadMessageState() {
    m_pState = std::make_unique<CMessageMgr>(&m_host);
    const int32_t loaded = m_pState->Load(StatePath());
    // A file that is missing gives an empty state, which may be saved. One that exists but
    // could not be read in full ends the run before anything is touched, and is never
    // replaced: the record links of the unread part would be lost for good, and working
    // from a partial state would undo pending handheld changes or duplicate records.
    m_stateLoaded = loaded == 0 || loaded == ERR_STATE_FILE_MISSING;
    if (m_stateLoaded) {
        return 0;
    }
    LogHeaderOnce();
    std::string line = Text(IDS_STATE_UNREADABLE);
    const size_t at = line.find("%s");
    if (at != std::string::npos) {
        line.replace(at, 2, StatePath());  // the text is never used as a format
    }
    (void)m_host.LogAddLine(line.c_str(), LOG_SAVE_FAILED);
    (void)m_host.LogAddLine(Text(IDS_STATE_LEFT_AS_IT_IS).c_str(), LOG_TEXT);
    return loaded;
}

int32_t CMailConduit::SaveMessageState() {
    if (m_pState == nullptr || !m_stateLoaded) {
        return 0;  // never loaded, or unreadable (reported): nothing may replace the file
    }
    const int32_t saved = m_pState->Save(StatePath());
    if (saved != 0) {
        LogHeaderOnce();
        (void)m_host.LogAddLine(Text(IDS_SAVE_FAILED).c_str(), LOG_SAVE_FAILED);
        (void)m_host.LogAddLine(Text(IDS_DISK_FULL).c_str(), LOG_TEXT);
    }
    return saved;
}

void CMailConduit::LogHeaderOnce() {
    if (m_host.LogQuery() == 0) {
        const std::string heading = "-- " + Text(IDS_CONDUIT_NAME);
        (void)m_host.LogAddLine(heading.c_str(), LOG_TEXT);
    }
}

int32_t CMailConduit::LogProblem(uint32_t id, const CMessage* message) {
    LogHeaderOnce();
    (void)m_host.LogAddLine(Text(id).c_str(), LOG_DESKTOP_MAIL_FAILED);
    if (message != nullptr) {
        (void)m_host.LogAddLine(DescribeMessage(*message).c_str(), LOG_TEXT);
    }
    return static_cast<int32_t>(id);
}

void CMailConduit::LogNotice(uint32_t id, const CMessage& message) {
    LogHeaderOnce();
    (void)m_host.LogAddLine(Text(id).c_str(), LOG_TEXT);
    (void)m_host.LogAddLine(DescribeMessage(message).c_str(), LOG_TEXT);
}

void CMailConduit::LogRecordReadFailure() {
    LogHeaderOnce();
    (void)m_host.LogAddLine(Text(IDS_READ_NEXT_FAILED).c_str(), LOG_READ_FAILED);
    (void)m_host.LogAddLine(Text(IDS_CHECK_CONNECTIONS).c_str(), LOG_TEXT);
}

void CMailConduit::LogRecordWriteFailure(const CMessage& message) {
    LogHeaderOnce();
    const uint32_t id = message.RecordId() == 0 ? IDS_COPY_FAILED : IDS_MODIFY_FAILED;
    (void)m_host.LogAddLine(Text(id).c_str(), LOG_WRITE_FAILED);
    (void)m_host.LogAddLine(DescribeMessage(message).c_str(), LOG_TEXT);
    (void)m_host.LogAddLine(Text(IDS_MEMORY_FULL).c_str(), LOG_TEXT);
}

void CMailConduit::LogPurgeFailure() {
    LogHeaderOnce();
    (void)m_host.LogAddLine(Text(IDS_PURGE_FAILED).c_str(), LOG_PURGE_FAILED);
    (void)m_host.LogAddLine(Text(IDS_CHECK_CONNECTIONS).c_str(), LOG_TEXT);
}

std::string CMailConduit::DescribeMessage(const CMessage& message) {
    auto shortName = [&](std::string_view name, std::string_view address) {
        const std::string_view text = name.empty() ? address : name;
        return std::string(text.substr(0, m_host.ValidateNumberDec(text, DESCRIBE_NAME_LIMIT)));
    };
    std::string line;
    std::string who = shortName(message.FromName(), message.FromAddress());
    if (!who.empty()) {
        line = "\t" + Text(IDS_FROM_LABEL) + who;
    } else {
        uint32_t position = 0;
        const auto to = message.m_pRecipients->NextOfKind(RECIPIENT_TO, &position);
        if (to) {
            who = shortName(to->m_name, to->m_address);
            if (!who.empty()) {
                line = "\t" + Text(IDS_TO_LABEL) + who;
            }
        }
    }
    platform::LocalTime local{};
    if (message.m_date != 0 && platform::UtcToLocal(message.m_date, &local)) {
        char date[48];
        std::snprintf(date, sizeof(date), ", %.1ld/%.1ld/%.4ld", static_cast<long>(local.month),
                      static_cast<long>(local.day), static_cast<long>(local.year));
        line += date;
    }
    line += ", ";
    line += message.Subject();
    line.resize(m_host.ValidateNumberDec(line, DESCRIBE_LINE_LIMIT));
    return line;
}

// ---- default desktop mail operations ----

int32_t CMailConduit::SendMail(CMessage* message) {
    return LogProblem(IDS_SEND_FAILED, message);
}

int32_t CMailConduit::FindNextMessage() {
    return LogProblem(IDS_FIND_NEXT_FAILED, nullptr);
}

int32_t CMailConduit::DeleteMessage() {
    return LogProblem(IDS_DELETE_FAILED, m_pCurrent.get());
}

int32_t CMailConduit::MarkMessageRead() {
    return LogProblem(IDS_MARK_READ_FAILED, m_pCurrent.get());
}

int32_t CMailConduit::ReadMessage() {
    return LogProblem(IDS_READ_FAILED, nullptr);
}

int32_t CMailConduit::FreeMessage() {
    return LogProblem(IDS_FREE_FAILED, nullptr);
}

int32_t CMailConduit::ResolveName(const char* name, char** displayName, char** address) {
    (void)name;
    (void)displayName;
    (void)address;
    return 0;
}

int32_t CMailConduit::ExtraCall(uint32_t first, uint32_t second) {
    (void)first;
    (void)second;
    return 0;
}

int32_t CMailConduit::KeepsMessageIds() {
    return 0;
}

void CMailConduit::BuildOutgoing(CMessage* message) {
    (void)message;
}

void CMailConduit::ConvertIncoming(CMessage* message) {
    (void)message;
}

void CMailConduit::ParseDate(uint32_t* date) {
    (void)date;
}

void CMailConduit::FormatDate(const uint32_t* date) {
    (void)date;
}

void CMailConduit::FreeOutgoing() {}

int32_t CMailConduit::Logon() {
    return LogProblem(IDS_LOGON_FAILED, nullptr);
}

int32_t CMailConduit::Logoff() {
    return LogProblem(IDS_LOGOFF_FAILED, nullptr);
}

}  // namespace torrim

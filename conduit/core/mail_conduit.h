// One sync operation: the driver Run, the handheld database and state steps it calls, the
// conduit's log lines, and the operations every desktop mail back-end provides.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "conduit/core/filter.h"
#include "conduit/core/host_services.h"
#include "conduit/core/mail_settings.h"
#include "conduit/core/message.h"
#include "conduit/core/message_mgr.h"
#include "conduit/core/record_converter.h"
#include "torrim/torrim.h"

namespace torrim {

using ProgressCallback = void (*)(const char* text);

inline constexpr size_t DESKTOP_ID_SIZE = 512;
inline constexpr uint8_t DATABASE_OPEN_MODE = 0xE0;
inline constexpr const char* DEFAULT_STATE_FILE = "mail.dat";

// true when `code` means the handheld connection is gone (bit 13 set; -1 never is).
bool IsFatalSyncError(int32_t code);

// Abstract base of the desktop mail back-ends. A back-end subclass overrides the desktop
// operations; every default below that fails writes its own log line and returns that
// line's string number, so the driver never writes a second line for it.
class CMailConduit {
public:
    virtual ~CMailConduit();
    CMailConduit(const CMailConduit&) = delete;
    CMailConduit& operator=(const CMailConduit&) = delete;

    // Carries out the sync action of the properties. 4114 for an unsupported action,
    // the registration error when the sync library refuses the conduit, else 0: problems
    // after the start line go to the log only.
    int32_t Run();

    // ---- desktop mail operations ----
    // Sends the message (owned by the caller). Default: report 6105, return 6105.
    virtual int32_t SendMail(CMessage* message);
    // Moves m_currentId to the next inbox message, or empties it at the end (then 0).
    virtual int32_t FindNextMessage();
    // Deletes the desktop message m_currentId.
    virtual int32_t DeleteMessage();
    // Marks m_currentId read on the desktop.
    virtual int32_t MarkMessageRead();
    // Reads m_currentId into a new message that becomes m_pCurrent (owned by the caller).
    virtual int32_t ReadMessage();
    // Frees what the last read obtained from the mail system.
    virtual int32_t FreeMessage();
    // Resolves a name; the outputs are untouched by the default, which answers 0.
    virtual int32_t ResolveName(const char* name, char** displayName, char** address);
    virtual int32_t ExtraCall(uint32_t first, uint32_t second);
    // Whether desktop message ids stay stable between operations (default: no).
    virtual int32_t KeepsMessageIds();
    virtual void BuildOutgoing(CMessage* message);
    virtual void ConvertIncoming(CMessage* message);
    virtual void ParseDate(uint32_t* date);
    virtual void FormatDate(const uint32_t* date);
    virtual void FreeOutgoing();
    virtual int32_t Logon();
    virtual int32_t Logoff();

    // ---- log lines ----
    // Writes the heading "-- Mail" unless a problem line was already written.
    void LogHeaderOnce();
    // A desktop mail failure: heading, text `id` with activity 13, then the message's
    // description when one is given. Returns id.
    int32_t LogProblem(uint32_t id, const CMessage* message);
    // A notice about a message written to the handheld: heading, text `id`, description.
    void LogNotice(uint32_t id, const CMessage& message);
    // The next handheld record could not be read: 3323 (activity 8), then 3311.
    void LogRecordReadFailure();
    // The message could not be written to the handheld: 3316 (no record yet) or 3319
    // (activity 9), its description, then 3312.
    void LogRecordWriteFailure(const CMessage& message);
    // Deleted records could not be purged: 3317 (activity 10), then 3311.
    void LogPurgeFailure();
    // One line naming the message: sender (or first To recipient), date and subject.
    std::string DescribeMessage(const CMessage& message);

    // The state file: the conduit folder and the local file name (or "mail.dat").
    std::string StatePath() const;

protected:
    CMailConduit(CHostServices& host, MailSettings& settings, ProgressCallback progress,
                 const SyncProperties& props);

    // ---- steps of Run ----
    // Opens (or creates) the handheld mail database into m_dbHandle; logs 6102 on failure.
    int32_t OpenMailDatabase();
    // Fills m_pPrefs from the handheld's mail preferences; never ends the run.
    void ReadMailPreferences();
    // Loads m_pState from the state file: 0, also for a missing file (an empty state). A
    // file that exists but cannot be read in full logs 6120 (naming the file, activity 17)
    // and 6121, and answers the load's cause: the run then ends without touching anything.
    int32_t LoadMessageState();
    // Saves m_pState: 0, or the save's error after logging 3348 and 3313. A state that was
    // not loaded in full is never saved, so the file is never replaced by a partial state.
    int32_t SaveMessageState();

    // The mail passes. Each answers 0 or the code that ended it; a code with bit 13 set
    // (connection lost) always ends the pass at once.
    // Sends every handheld outbox record through SendMail and deletes the sent ones.
    virtual int32_t SendOutbox();
    // Reconciles handheld, desktop inbox and state (actions 0 and 1).
    virtual int32_t SynchronizeMail();
    // Makes the handheld inbox a copy of the desktop inbox (action 3).
    virtual int32_t OverwriteHandheld();
    // Clears m_onHandheld on entries whose record is no longer on the handheld.
    int32_t RefreshHandheldPresence();
    // Walks the desktop inbox, matching each message to an entry or adding a new one.
    int32_t CollectDesktopInbox();
    // Carries the handheld's changed records (read marks, deletions, moves) to the desktop
    // and the state, adopts or removes records the state does not know, then purges.
    int32_t ApplyHandheldChanges();
    // A record deleted on the handheld or moved to category 2 (the message is consumed).
    int32_t ApplyHandheldDeletion(std::unique_ptr<CMessage> message);
    // A changed record of category 1, 3 or 4 (the message is consumed).
    int32_t ApplyHandheldEdit(std::unique_ptr<CMessage> message);
    // Deletes handheld copies of messages gone from the desktop (or read, in unread-only).
    int32_t RemoveVanishedMessages();
    // Rewrites inbox records whose read mark differs from the desktop's.
    int32_t PushReadState();
    // Writes desktop messages not yet on the handheld, within filter and free memory.
    int32_t CopyNewMessages();
    // 1 when the preferences let the message onto the handheld.
    int32_t PassesFilter(const CMessage& message) const;
    // Packs and writes one message as a handheld record within g_writeBudget; logs a
    // failure itself. 0, a sync library code, 4111 (cannot pack) or -1 (over budget).
    int32_t WriteHandheldRecord(CMessage& message);

    // Makes `id` the current desktop message id, cut at a character boundary to fit
    // m_currentId with its terminator.
    void SetCurrentId(std::string_view id);

    std::string ConduitFolder() const;
    std::string Text(uint32_t id) { return m_host.LoadString(id); }
    void Yield() { m_host.YieldCycles(YIELD_CYCLES); }

    CHostServices& m_host;
    MailSettings& m_settings;
    std::unique_ptr<CRecordConverter> m_pConverter;
    ProgressCallback m_pfnProgress;
    SyncProperties m_props;
    std::unique_ptr<CMessageMgr> m_pState;
    std::unique_ptr<CMessage> m_pCurrent;
    std::unique_ptr<CFilter> m_pPrefs;
    uint8_t m_dbHandle = 0;
    uint32_t m_currentKey1 = 0;
    uint32_t m_currentKey2 = 0;
    char m_currentId[DESKTOP_ID_SIZE] = {};

private:
    void WriteDoNothingLine();
    int32_t m_registration = 0;
    bool m_databaseOpen = false;
    bool m_stateLoaded = false;  // the state may be saved over the state file

    // Helpers of the passes.
    int32_t ReadRecordIds(std::vector<uint32_t>* ids);
    void SetCurrentDesktopMessage(const CMessage& entry);
    // Carry a handheld change (read mark, deletion) to the entry's desktop copy. true when
    // it is done there, or when the entry has no desktop copy; false when it has to wait for
    // a later operation, the entry then kept unsettled: the mail system refused it (its code
    // in *code, reported) or was not reached for it in this operation (*code 0).
    bool CarryReadMark(CMessage& entry, int32_t* code);
    bool CarryDeletion(CMessage& entry, int32_t* code);
    bool CarryToDesktop(CMessage& entry, int32_t (CMailConduit::*operation)(), int32_t* code);
    void KeepUnsettled(CMessage& entry);
    // A handheld change could not be carried to the desktop: the change marks stay.
    bool m_changeFailed = false;
    // The synchronize pass carried every handheld change: the driver clears the change
    // marks after the state is saved.
    bool m_clearChangeMarks = false;
    // A record deleted on the handheld waits for its desktop copy: deleted records and the
    // deleted category are not purged in this operation, so the deletion is carried later.
    bool m_deletionWaits = false;
};

}  // namespace torrim

// The Simple MAPI back-ends: CMapiConduit turns messages into Simple MAPI messages and back
// and converts date texts; CMapi32Conduit calls the 32-bit client library "Mapi32.dll",
// loaded by name at logon; CMapi16Conduit makes the same calls through the thunk.
//
// Results (all operations): 0 on success; otherwise the Simple MAPI code unchanged, or
// MAIL_ERR_UNAVAILABLE (4352) when the library, the entry point or the thunk is missing.
// Every failing operation except ResolveName has written its own report (6104-6111) before
// it returns; MAPI_E_NO_MESSAGES from find-next is the end of the inbox (0, empty id).
//
// Ownership: m_outgoing's strings and arrays are ours (new[]), from BuildOutgoing until
// FreeOutgoing, both inside one SendMail. m_pIncoming belongs to the mail system from a
// successful read until the FreeMessage of the same operation. The message that
// ReadMessage leaves in m_pCurrent belongs to the caller.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

#include "conduit/core/host_services.h"
#include "conduit/core/mail_conduit.h"
#include "conduit/core/mail_settings.h"
#include "providers/simplemapi/simple_mapi.h"

namespace torrim {

inline constexpr size_t MAPI_DATE_TEXT_SIZE = 80;
// The subject buffer of an outgoing message, terminator included.
inline constexpr size_t MAPI_SUBJECT_SIZE = 256;

// Texts of the language library used only by the Simple MAPI back-end.
inline constexpr uint32_t IDS_ATTACHMENTS_NOTICE = 6006;  // "* There are %d file(s) ..."
inline constexpr uint32_t IDS_HIGH_PRIORITY = 6011;       // "(High Priority) "

// Common part of the Simple MAPI back-ends.
class CMapiConduit : public CMailConduit {
public:
    void BuildOutgoing(CMessage* message) override;
    void ConvertIncoming(CMessage* message) override;
    // Reads m_dateText ("YYYY/MM/DD HH:MM", local time); a month outside 1-12 counts as
    // December, a missing piece as 0. *date is 0 when the text names no representable time.
    void ParseDate(uint32_t* date) override;
    // Writes *date as local time into m_dateText; 0 gives the empty text.
    void FormatDate(const uint32_t* date) override;
    void FreeOutgoing() override;

    ~CMapiConduit() override;

    // The prepared text that ResolveName hands to the mail system: lower-cased, and
    // starting one character after the first "ngw:" when there is one.
    static std::string PrepareResolveName(std::string_view name);
    // A resolved display name trimmed, then without enclosing single and then double
    // quotes.
    static std::string CleanResolvedName(std::string_view name);

protected:
    CMapiConduit(CHostServices& host, MailSettings& settings, ProgressCallback progress,
                 const SyncProperties& props);

    // Notes the moment before a read, so that FreeMessage knows which attachment files
    // the read can have created.
    void StartRead();
    // Ends a read whose mail-system call answered `result` (with m_pIncoming filled on
    // success): reports a failure, or makes m_pCurrent from the message and releases it.
    int32_t FinishRead(int32_t result);
    // Ends a find-next whose mail-system call answered `result` and wrote the next id into
    // `buffer` (`size` bytes): no more messages empties the current id and answers 0, a
    // failure is reported and answered, otherwise the id found becomes the current one.
    int32_t FinishFindNext(int32_t result, const char* buffer, size_t size);
    // Deletes the attachment files of m_pIncoming that the last read created: regular
    // files directly in the temporary folder, written since StartRead. Any other path
    // (a user's own file the mail system pointed at) is left alone.
    void DeleteAttachmentFiles();
    // Fills the out texts of ResolveName from the resolved recipient.
    static void TakeResolved(const MapiRecipDesc& recipient, char** displayName, char** address);

    void* m_hMapiLib = nullptr;
    LHANDLE m_hSession = 0;
    MapiMessage m_outgoing = {};
    lpMapiMessage m_pIncoming = nullptr;
    lpMapiRecipDesc m_pResolved = nullptr;  // only tested against null after the call
    char m_dateText[MAPI_DATE_TEXT_SIZE] = {};

private:
    // Seconds since 1970 (with nanoseconds) when the last read started.
    int64_t m_readStartedNs = 0;
    // The temporary folder as named and with its links resolved, found at the first use.
    std::string m_tempFolder;
    std::string m_tempFolderResolved;
};

// Simple MAPI through the 32-bit client library.
class CMapi32Conduit : public CMapiConduit {
public:
    CMapi32Conduit(CHostServices& host, MailSettings& settings, ProgressCallback progress,
                   const SyncProperties& props)
        : CMapiConduit(host, settings, progress, props) {}
    // Releases "Mapi32.dll" when it is still loaded (after a failed logon).
    ~CMapi32Conduit() override;

    int32_t SendMail(CMessage* message) override;
    int32_t FindNextMessage() override;
    int32_t DeleteMessage() override;
    int32_t MarkMessageRead() override;
    int32_t ReadMessage() override;
    int32_t FreeMessage() override;
    int32_t ResolveName(const char* name, char** displayName, char** address) override;
    int32_t Logon() override;
    int32_t Logoff() override;

private:
    // Entry point `name` of the loaded library, null when not loaded or missing.
    void* Entry(const char* name) const;
};

// Simple MAPI through the 16-bit thunk.
class CMapi16Conduit : public CMapiConduit {
public:
    CMapi16Conduit(CHostServices& host, MailSettings& settings, ProgressCallback progress,
                   const SyncProperties& props);
    ~CMapi16Conduit() override;

    int32_t SendMail(CMessage* message) override;
    int32_t FindNextMessage() override;
    int32_t DeleteMessage() override;
    int32_t MarkMessageRead() override;
    int32_t ReadMessage() override;
    int32_t FreeMessage() override;
    int32_t ResolveName(const char* name, char** displayName, char** address) override;
    int32_t ExtraCall(uint32_t first, uint32_t second) override;
    int32_t Logon() override;
    int32_t Logoff() override;
};

}  // namespace torrim

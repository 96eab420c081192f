// The VIM back-end: CVimConduitBase converts the packed VIM date and time words;
// CVimConduit loads the VIM library ("vim32.dll", or the one of the Notes folder) at logon,
// keeps a session and the inbox container open for one sync, walks the inbox in batches
// of up to ten references, and reads, marks, files and sends messages.
//
// Results (all operations): 0 on success; otherwise the VIM status (its low 16 bits)
// unchanged, or MAIL_ERR_UNAVAILABLE (4352) when the library or the entry point is
// missing. Every failing operation except ResolveName has written its own report
// (6104-6110) before it returns. FindNextMessage answers 0 with both keys zero at the end
// of the inbox. DeleteMessage, MarkMessageRead and ReadMessage answer 0 without a call when
// both keys are zero.
//
// Ownership: m_hVimMessage is ours from VIMCreateMessage until a successful VIMSendMessage
// (then the library's) or the VIMCloseMessage after a failed one; from VIMOpenMessage until
// its VIMCloseMessage within ReadMessage. The message that ReadMessage leaves in m_pCurrent
// belongs to the caller. The library, the session and the container are released by
// Logoff, or by the destructor after a failed logon.
#pragma once

#include <cstdint>
#include <string>

#include "conduit/core/host_services.h"
#include "conduit/core/mail_conduit.h"
#include "conduit/core/mail_settings.h"
#include "providers/vim/vim.h"

namespace torrim {

// Texts of the language library used only by the VIM back-end.
inline constexpr uint32_t IDS_VIM_LIBRARY = 5005;        // "vim32.dll"
inline constexpr uint32_t IDS_RFC822_ATTACHMENT = 5007;  // "rfc822.txt"
inline constexpr uint32_t IDS_TRASH = 5008;              // "Trash"
inline constexpr uint32_t IDS_LOTUS_SECTION = 5111;      // "Lotus Applications"
inline constexpr uint32_t IDS_LOTUS_INI = 5112;          // "lotus.ini"
inline constexpr uint32_t IDS_LOTUS_NOTES_KEY = 5113;    // "notes"
inline constexpr uint32_t IDS_INTERNET_GATEWAY = 6001;   // "Internet-Mail"
inline constexpr uint32_t IDS_ATTACHMENT_LIST = 6005;    // "* The following file(s) ..."

// The subject buffer of an outgoing VIM message, terminator included.
inline constexpr size_t VIM_SUBJECT_SIZE = 256;
// One chunk of a text item.
inline constexpr size_t VIM_CHUNK_SIZE = 8192;
inline constexpr uint16_t VIM_BATCH_SIZE = 10;

// Common part of the VIM back-end: the packed date and time of the current message.
class CVimConduitBase : public CMailConduit {
public:
    // m_vimDate/m_vimTime (local time) to seconds since 1970; 0 for no date or a time the
    // 32-bit value cannot hold.
    void ParseDate(uint32_t* date) override;
    // A time value into m_vimDate/m_vimTime (local time); 0 sets both words to 0.
    void FormatDate(const uint32_t* date) override;

protected:
    using CMailConduit::CMailConduit;

    uint32_t m_vimDate = VIM_DATE_NONE;
    uint32_t m_vimTime = VIM_DATE_NONE;
};

// VIM (Lotus mail).
class CVimConduit : public CVimConduitBase {
public:
    CVimConduit(CHostServices& host, MailSettings& settings, ProgressCallback progress,
                const SyncProperties& props);
    // Releases what a failed logon left: container, session, the library's initialisation
    // and the library itself.
    ~CVimConduit() override;

    int32_t SendMail(CMessage* message) override;
    int32_t FindNextMessage() override;
    int32_t DeleteMessage() override;
    int32_t MarkMessageRead() override;
    int32_t ReadMessage() override;
    // Matches the name in the address books. 0 with new copies (the caller's, new[]) of the
    // entry's display name and address; -1 with the outputs untouched when nothing
    // matches.
    int32_t ResolveName(const char* name, char** displayName, char** address) override;
    void BuildOutgoing(CMessage* message) override;
    void ConvertIncoming(CMessage* message) override;
    int32_t Logon() override;
    int32_t Logoff() override;

    // The address a recipient is sent to: on "vim32" an Internet address (one with "@")
    // that does not already end in " at " and a name becomes its clean form, " at " and
    // the gateway (`gateway`, or "Internet-Mail" when empty).
    static std::string GatewayAddress(std::string_view address, bool ccMail,
                                      std::string_view atText, std::string_view gateway,
                                      std::string_view defaultGateway);

protected:
    // Entry point `name` of the loaded library, null when not loaded or missing.
    void* Entry(const char* name) const;
    bool IsNotes() const;
    // Opens the session (capability 106 for the version, the character set of the code
    // page). 0, a VIM status or MAIL_ERR_UNAVAILABLE.
    int32_t OpenSession();
    // The address-book match of `text` into `record`: true when an entry matched.
    bool MatchAddressBook(const char* text, VIMADDRESS* record);
    // Appends the text items' contents, read in chunks, to `text`.
    void ReadTextItem(VIMREF item, std::string* text);
    VIMREF CurrentRef() const { return VIMREF{m_currentKey1, m_currentKey2}; }
    bool NoCurrentMessage() const { return m_currentKey1 == 0 && m_currentKey2 == 0; }

    void* m_hVimLib = nullptr;
    VIMSES m_hVimSession = nullptr;
    VIMMSG m_hVimMessage = nullptr;
    VIMCONT m_hContainer = nullptr;
    bool m_initialized = false;  // VIMInitialize answered 0 and VIMTerminate is due

    VIMPOS m_enumPos = {};
    uint16_t m_batchCount = 0;
    uint16_t m_more = 0;
    VIMREF m_batchRefs[VIM_BATCH_SIZE] = {};
    uint16_t m_batchUnread[VIM_BATCH_SIZE] = {};
    VIMATTRDESC m_attrDesc[2] = {};
    uint16_t m_batchIndex = 0;
};

}  // namespace torrim

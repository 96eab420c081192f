// The Simple MAPI back-ends: outgoing and incoming message conversion, date texts, and the
// calls into the client library, directly or through the thunk.
#include "conduit/backends/mapi_conduit.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <system_error>

#include "conduit/backends/mail_backends.h"
#include "conduit/backends/unwrap.h"
#include "conduit/core/address.h"
#include "conduit/core/codes.h"
#include "conduit/core/strings.h"
#include "conduit/japanese/japanese_text_converter.h"
#include "platform/code_page.h"
#include "platform/file_safety.h"
#include "platform/library.h"
#include "platform/local_time.h"

namespace torrim {
namespace {

constexpr FLAGS LOGON_FLAGS = MAPI_NEW_SESSION | MAPI_FORCE_DOWNLOAD;
constexpr uint32_t FREE_KIND_MESSAGE = 0;
constexpr uint32_t FREE_KIND_RECIPIENT = 1;
constexpr size_t ID_BUFFER_SIZE = MAPI_LONG_MSGID_SIZE;
// File times can lag the clock by a tick; an attachment written right after the read
// started must still count as written by it.
constexpr auto FILE_TIME_SLACK = std::chrono::seconds(2);

// Our own allocations in outgoing messages; released by DeleteText.
char* NewText(std::string_view text) {
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

void DeleteText(char*& text) {
    delete[] text;
    text = nullptr;
}

std::string TextOf(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

bool IsEmpty(const char* text) {
    return text == nullptr || text[0] == '\0';
}

// The text with its first "%d" replaced by the number (the text comes from the language
// library, so it is never used as a format).
std::string WithNumber(std::string text, uint32_t number) {
    const size_t at = text.find("%d");
    if (at != std::string::npos) {
        text.replace(at, 2, std::to_string(number));
    }
    return text;
}

// atoi of the characters [from, from + length) of a NUL-terminated text; a piece beyond
// the end counts 0.
int PieceOf(const char* text, size_t from, size_t length) {
    const size_t size = std::strlen(text);
    if (from >= size) {
        return 0;
    }
    const std::string piece(text + from, std::min(length, size - from));
    return std::atoi(piece.c_str());
}

// ---- the thunk ----

using Cell = uintptr_t;

template <typename T>
Cell CellOf(T* pointer) {
    return reinterpret_cast<Cell>(pointer);
}

// Calls the registered thunk with opcode on `cells`, listing the cells at the given
// indexes as holding pointers. MAIL_ERR_UNAVAILABLE when no thunk is registered.
int32_t CallThunk(uint32_t opcode, Cell* cells, std::initializer_list<size_t> pointerCells) {
    const ThunkEntry entry = RegisteredThunk();
    if (entry == nullptr) {
        return MAIL_ERR_UNAVAILABLE;
    }
    void* translations[4] = {};
    size_t count = 0;
    for (size_t index : pointerCells) {
        translations[count++] = &cells[index];
    }
    return static_cast<int32_t>(entry(cells, opcode, cells != nullptr ? translations : nullptr));
}

}  // namespace

// ==== CMapiConduit ====

CMapiConduit::CMapiConduit(CHostServices& host, MailSettings& settings, ProgressCallback progress,
                           const SyncProperties& props)
    : CMailConduit(host, settings, progress, props) {}

CMapiConduit::~CMapiConduit() {
    // Only a send interrupted half-way could leave anything; release it all the same.
    CMapiConduit::FreeOutgoing();
}

std::string CMapiConduit::PrepareResolveName(std::string_view name) {
    std::string lowered = platform::LowerMb(name);
    const size_t marker = platform::FindNoCaseMb(lowered, "ngw:");
    if (marker != std::string::npos) {
        lowered.erase(0, marker + 1);
    }
    return lowered;
}

std::string CMapiConduit::CleanResolvedName(std::string_view name) {
    std::string_view text = TrimText(name);
    for (char quote : {'\'', '"'}) {
        if (!text.empty() && text.front() == quote && text.back() == quote) {
            text = text.size() == 1 ? std::string_view() : text.substr(1, text.size() - 2);
        }
    }
    return std::string(text);
}

void CMapiConduit::TakeResolved(const MapiRecipDesc& recipient, char** displayName,
                                char** address) {
    *address = recipient.lpszAddress != nullptr ? NewText(recipient.lpszAddress) : nullptr;
    *displayName =
        recipient.lpszName != nullptr ? NewText(CleanResolvedName(recipient.lpszName)) : nullptr;
}

void CMapiConduit::BuildOutgoing(CMessage* message) {
    FreeOutgoing();
    m_outgoing.ulReserved = 0;
    m_outgoing.lpszMessageType = nullptr;
    SetCurrentId(message->DesktopId());

    // The subject keeps room for its terminator in the mail system's 256-byte buffer and
    // is never cut inside a double-byte character.
    std::string subject = message->m_priority == 0 ? Text(IDS_HIGH_PRIORITY) : std::string();
    subject += message->Subject();
    subject.resize(m_host.ValidateNumberDec(subject, MAPI_SUBJECT_SIZE - 1));
    m_outgoing.lpszSubject = NewText(subject);

    FormatDate(&message->m_date);
    m_outgoing.lpszDateReceived = NewText(m_dateText);
    m_outgoing.lpszConversationID = NewText(message->ConversationId());

    m_outgoing.flFlags = 0;
    if (message->m_confirmRead == 1) {
        m_outgoing.flFlags |= MAPI_RECEIPT_REQUESTED;
    }
    if (message->m_readOnDesktop == 0) {
        m_outgoing.flFlags |= MAPI_UNREAD;
    }

    m_outgoing.lpOriginator = new MapiRecipDesc{
        0, MAPI_ORIG, NewText(message->FromName()), NewText(message->FromAddress()), 0, nullptr};

    // Room for the recipients the message counts; counts read from damaged data never
    // make the array negative.
    uint32_t room = 0;
    for (int kind = COUNT_TO; kind <= COUNT_BCC; ++kind) {
        room += static_cast<uint32_t>(std::max(message->m_counts[kind], 0));
    }
    m_outgoing.lpRecips = new MapiRecipDesc[room]();
    m_outgoing.nRecipCount = 0;
    m_outgoing.nFileCount = 0;
    m_outgoing.lpFiles = nullptr;

    const CRecipientMgr& recipients = *message->m_pRecipients;
    for (uint32_t index = 0; auto recipient = recipients.Lookup(index); ++index) {
        if (recipient->m_kind == 4) {
            continue;
        }
        if (m_outgoing.nRecipCount >= room) {
            break;
        }
        MapiRecipDesc& entry = m_outgoing.lpRecips[m_outgoing.nRecipCount];
        entry =
            MapiRecipDesc{0, static_cast<ULONG>(recipient->m_kind), nullptr, nullptr, 0, nullptr};
        // A resolve failure is no send failure: the handheld's own name and address serve.
        (void)ResolveName(std::string(recipient->m_address).c_str(), &entry.lpszName,
                          &entry.lpszAddress);
        if (m_pResolved == nullptr) {
            (void)ResolveName(std::string(recipient->m_name).c_str(), &entry.lpszName,
                              &entry.lpszAddress);
        }
        if (m_pResolved == nullptr) {
            entry.lpszAddress = NewText(recipient->m_address);
            entry.lpszName =
                NewText(recipient->m_name.empty() ? recipient->m_address : recipient->m_name);
        }
        ++m_outgoing.nRecipCount;
    }

    std::string body(message->Body());
    if (message->m_signature != 0 && m_pPrefs != nullptr) {
        body += "\r\n\r\n";
        body += m_pPrefs->m_signatureText;
    }
    m_outgoing.lpszNoteText = NewText(body);
}

void CMapiConduit::FreeOutgoing() {
    DeleteText(m_outgoing.lpszSubject);
    DeleteText(m_outgoing.lpszNoteText);
    DeleteText(m_outgoing.lpszDateReceived);
    DeleteText(m_outgoing.lpszConversationID);
    if (m_outgoing.lpFiles != nullptr) {
        for (ULONG i = 0; i < m_outgoing.nFileCount; ++i) {
            DeleteText(m_outgoing.lpFiles[i].lpszPathName);
            DeleteText(m_outgoing.lpFiles[i].lpszFileName);
        }
        delete[] m_outgoing.lpFiles;
        m_outgoing.lpFiles = nullptr;
    }
    m_outgoing.nFileCount = 0;
    if (m_outgoing.lpOriginator != nullptr) {
        DeleteText(m_outgoing.lpOriginator->lpszName);
        DeleteText(m_outgoing.lpOriginator->lpszAddress);
        delete m_outgoing.lpOriginator;
        m_outgoing.lpOriginator = nullptr;
    }
    if (m_outgoing.lpRecips != nullptr) {
        for (ULONG i = 0; i < m_outgoing.nRecipCount; ++i) {
            MapiRecipDesc& entry = m_outgoing.lpRecips[i];
            DeleteText(entry.lpszName);
            DeleteText(entry.lpszAddress);
            if (entry.ulEIDSize != 0) {
                delete[] static_cast<uint8_t*>(entry.lpEntryID);
            }
            entry.lpEntryID = nullptr;
            entry.ulEIDSize = 0;
        }
        delete[] m_outgoing.lpRecips;
        m_outgoing.lpRecips = nullptr;
    }
    m_outgoing.nRecipCount = 0;
}

void CMapiConduit::ConvertIncoming(CMessage* message) {
    if (m_pIncoming == nullptr) {
        return;
    }
    MapiMessage& incoming = *m_pIncoming;
    // On a Japanese desktop the mail system may hand over ISO-2022-JP or UTF-8: the
    // converter points the fields at Shift_JIS copies while they are copied, and puts the
    // mail system's own pointers back when it goes out of scope, before the buffer is freed.
    japanese::CJapaneseTextConverter converter;
    if (platform::ActiveCodePage() == 932) {
        converter.AddBodySlot(&incoming.lpszNoteText);
        converter.AddHeaderSlot(&incoming.lpszSubject);
        if (incoming.lpOriginator != nullptr) {
            converter.AddHeaderSlot(&incoming.lpOriginator->lpszAddress);
            converter.AddHeaderSlot(&incoming.lpOriginator->lpszName);
        }
        for (ULONG i = 0; i < incoming.nRecipCount && incoming.lpRecips != nullptr; ++i) {
            converter.AddHeaderSlot(&incoming.lpRecips[i].lpszAddress);
            converter.AddHeaderSlot(&incoming.lpRecips[i].lpszName);
        }
        converter.ConvertAll();
    }
    const std::string atText = Text(IDS_AT);

    message->SetDesktopId(m_currentId);
    message->m_readOnDesktop = (incoming.flFlags & MAPI_UNREAD) != 0 ? 0 : 1;
    if (incoming.lpszDateReceived != nullptr) {
        const size_t length = strnlen(incoming.lpszDateReceived, MAPI_DATE_TEXT_SIZE - 1);
        std::memcpy(m_dateText, incoming.lpszDateReceived, length);
        m_dateText[length] = '\0';
        ParseDate(&message->m_date);
    } else {
        message->m_date = 0;
    }
    message->SetSubject(TextOf(incoming.lpszSubject));

    // A missing name is derived from the mail system's native address form.
    auto nameOf = [&](const MapiRecipDesc& recipient) {
        if (!IsEmpty(recipient.lpszName)) {
            return std::string(recipient.lpszName);
        }
        return recipient.lpszAddress != nullptr
                   ? DisplayNameFromNative(recipient.lpszAddress, atText)
                   : std::string();
    };
    auto addressOf = [&](const MapiRecipDesc& recipient) {
        if (!IsEmpty(recipient.lpszAddress)) {
            return CleanAddress(recipient.lpszAddress, atText);
        }
        return recipient.lpszName != nullptr ? CleanAddress(recipient.lpszName, atText)
                                             : std::string();
    };
    if (incoming.lpOriginator != nullptr) {
        message->SetFromAddress(addressOf(*incoming.lpOriginator));
        message->SetFromName(nameOf(*incoming.lpOriginator));
    }

    std::string body;
    if (incoming.nFileCount > 0) {
        body = WithNumber(Text(IDS_ATTACHMENTS_NOTICE), incoming.nFileCount);
        body += "\r\n\r\n";
    }
    if (!IsEmpty(incoming.lpszNoteText)) {
        body += platform::ActiveCodePage() == 932 ? UnwrapText932(incoming.lpszNoteText)
                                                  : UnwrapText(incoming.lpszNoteText);
    }
    // The body goes in last of the texts: each text set copies the message's texts.
    message->SetConversationId(TextOf(incoming.lpszConversationID));
    message->SetBody(body);

    message->m_priority = 1;
    message->m_signature = 0;
    message->m_confirmRead = (incoming.flFlags & MAPI_RECEIPT_REQUESTED) != 0 ? 1 : 0;

    for (ULONG i = 0; i < incoming.nRecipCount && incoming.lpRecips != nullptr; ++i) {
        const MapiRecipDesc& recipient = incoming.lpRecips[i];
        const ULONG kind = recipient.ulRecipClass;
        if (kind == MAPI_TO || kind == MAPI_CC || kind == MAPI_BCC) {
            message->AddRecipient(static_cast<int32_t>(kind), nameOf(recipient),
                                  addressOf(recipient));
        } else {
            // Kept in the list, but of no kind and not counted.
            message->m_pRecipients->Append(
                std::make_unique<CRecipient>(0, nameOf(recipient), addressOf(recipient)));
        }
    }
    converter.RestoreAll();
}

void CMapiConduit::FormatDate(const uint32_t* date) {
    m_dateText[0] = '\0';
    platform::LocalTime local{};
    if (*date == 0 || !platform::UtcToLocal(*date, &local)) {
        return;
    }
    std::snprintf(m_dateText, sizeof(m_dateText), "%d/%02d/%02d %02d:%02d", local.year, local.month,
                  local.day, local.hour, local.minute);
}

void CMapiConduit::ParseDate(uint32_t* date) {
    platform::LocalTime local{};
    local.year = PieceOf(m_dateText, 0, 4);
    local.month = PieceOf(m_dateText, 5, 2);
    local.day = PieceOf(m_dateText, 8, 2);
    local.hour = PieceOf(m_dateText, 11, 2);
    local.minute = PieceOf(m_dateText, 14, 2);
    local.second = 0;
    if (local.month < 1 || local.month > 12) {
        local.month = 12;
    }
    // A time that the 32-bit field cannot hold (or no time at all) is no date.
    int64_t seconds = 0;
    if (!platform::LocalToUtc(local, &seconds) || seconds <= 0 ||
        seconds > std::numeric_limits<uint32_t>::max()) {
        *date = 0;
        return;
    }
    *date = static_cast<uint32_t>(seconds);
}

int32_t CMapiConduit::FinishFindNext(int32_t result, const char* buffer, size_t size) {
    if (result == MAPI_E_NO_MESSAGES) {
        m_currentId[0] = '\0';
        return 0;
    }
    if (result != 0) {
        (void)LogProblem(IDS_FIND_NEXT_FAILED, nullptr);
        return result;
    }
    SetCurrentId(std::string_view(buffer, strnlen(buffer, size - 1)));
    return 0;
}

int32_t CMapiConduit::FinishRead(int32_t result) {
    if (result == 0 && m_pIncoming == nullptr) {
        result = MAPI_E_FAILURE;  // success without a message is no success
    }
    if (result != 0) {
        (void)LogProblem(IDS_READ_FAILED, nullptr);
        return result;
    }
    m_pCurrent = std::make_unique<CMessage>();
    ConvertIncoming(m_pCurrent.get());
    (void)FreeMessage();  // the message is complete; a failed release has reported itself
    return 0;
}

void CMapiConduit::StartRead() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    m_readStartedNs = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void CMapiConduit::DeleteAttachmentFiles() {
    if (m_pIncoming == nullptr || m_pIncoming->lpFiles == nullptr) {
        return;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    if (m_tempFolderResolved.empty()) {
        // The folder the mail library writes attachments to (never one others control).
        const fs::path named = platform::TemporaryFolder();
        if (named.empty()) {
            return;
        }
        const fs::path resolved = fs::weakly_canonical(named, error);
        if (error) {
            return;
        }
        m_tempFolder = named.string();
        m_tempFolderResolved = resolved.string();
    }
    const int64_t slackNs = std::chrono::nanoseconds(FILE_TIME_SLACK).count();
    for (ULONG i = 0; i < m_pIncoming->nFileCount; ++i) {
        const char* name = m_pIncoming->lpFiles[i].lpszPathName;
        if (IsEmpty(name)) {
            continue;
        }
        struct stat st {};
        if (::lstat(name, &st) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        const int64_t writtenNs =
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        if (writtenNs + slackNs < m_readStartedNs) {
            continue;
        }
        // The folder as the library names it is usually the temporary folder's own name;
        // any other spelling is resolved before it is compared.
        const fs::path folder = fs::path(name).parent_path();
        if (folder != fs::path(m_tempFolder) && folder != fs::path(m_tempFolderResolved)) {
            const fs::path resolved = fs::weakly_canonical(folder, error);
            if (error || resolved != fs::path(m_tempFolderResolved)) {
                continue;
            }
        }
        (void)::unlink(name);  // a file that cannot be removed is only left behind
    }
}

// ==== CMapi32Conduit ====

CMapi32Conduit::~CMapi32Conduit() {
    if (m_hMapiLib != nullptr) {
        platform::FreeLibrary(m_hMapiLib);
        m_hMapiLib = nullptr;
    }
}

void* CMapi32Conduit::Entry(const char* name) const {
    return m_hMapiLib != nullptr ? platform::GetProcAddress(m_hMapiLib, name) : nullptr;
}

int32_t CMapi32Conduit::Logon() {
    if (m_hMapiLib != nullptr) {
        return 0;
    }
    m_hMapiLib = platform::LoadLibraryByName("Mapi32.dll");
    if (m_hMapiLib == nullptr) {
        (void)LogProblem(IDS_LOGON_FAILED, nullptr);
        return MAIL_ERR_UNAVAILABLE;
    }
    const auto logon = reinterpret_cast<LPMAPILOGON>(Entry("MAPILogon"));
    Yield();
    int32_t result = MAIL_ERR_UNAVAILABLE;
    if (logon != nullptr) {
        result =
            static_cast<int32_t>(logon(0, m_settings.Profile().c_str(),
                                       m_settings.Password().c_str(), LOGON_FLAGS, 0, &m_hSession));
    }
    Yield();
    if (result != 0) {
        // The library stays loaded for this object; its destructor releases it.
        (void)LogProblem(IDS_LOGON_FAILED, nullptr);
    }
    return result;
}

int32_t CMapi32Conduit::Logoff() {
    const auto logoff = reinterpret_cast<LPMAPILOGOFF>(Entry("MAPILogoff"));
    int32_t result = MAIL_ERR_UNAVAILABLE;
    if (logoff != nullptr && m_hSession != 0) {
        result = static_cast<int32_t>(logoff(m_hSession, 0, 0, 0));
    }
    m_hSession = 0;
    if (m_hMapiLib != nullptr) {
        platform::FreeLibrary(m_hMapiLib);
        m_hMapiLib = nullptr;
    }
    if (result != 0) {
        (void)LogProblem(IDS_LOGOFF_FAILED, nullptr);
    }
    return result;
}

int32_t CMapi32Conduit::SendMail(CMessage* message) {
    BuildOutgoing(message);
    const auto send = reinterpret_cast<LPMAPISENDMAIL>(Entry("MAPISendMail"));
    const int32_t result = send != nullptr
                               ? static_cast<int32_t>(send(m_hSession, 0, &m_outgoing, 0, 0))
                               : MAIL_ERR_UNAVAILABLE;
    FreeOutgoing();
    if (result != 0) {
        (void)LogProblem(IDS_SEND_FAILED, message);
    }
    return result;
}

int32_t CMapi32Conduit::FindNextMessage() {
    const auto findNext = reinterpret_cast<LPMAPIFINDNEXT>(Entry("MAPIFindNext"));
    if (findNext == nullptr) {
        (void)LogProblem(IDS_FIND_NEXT_FAILED, nullptr);
        return MAIL_ERR_UNAVAILABLE;
    }
    char buffer[ID_BUFFER_SIZE] = {};
    const auto result = static_cast<int32_t>(
        findNext(m_hSession, 0, nullptr, m_currentId, MAPI_LONG_MSGID, 0, buffer));
    return FinishFindNext(result, buffer, sizeof(buffer));
}

int32_t CMapi32Conduit::DeleteMessage() {
    const auto deleteMail = reinterpret_cast<LPMAPIDELETEMAIL>(Entry("MAPIDeleteMail"));
    const int32_t result = deleteMail != nullptr
                               ? static_cast<int32_t>(deleteMail(m_hSession, 0, m_currentId, 0, 0))
                               : MAIL_ERR_UNAVAILABLE;
    if (result != 0) {
        (void)LogProblem(IDS_DELETE_FAILED, m_pCurrent.get());
    }
    return result;
}

int32_t CMapi32Conduit::MarkMessageRead() {
    if (m_currentId[0] == '\0') {
        return 0;
    }
    const auto readMail = reinterpret_cast<LPMAPIREADMAIL>(Entry("MAPIReadMail"));
    int32_t result = MAIL_ERR_UNAVAILABLE;
    if (readMail != nullptr) {
        StartRead();
        m_pIncoming = nullptr;
        // Reading without peeking is what marks the message read; the envelope is enough.
        result = static_cast<int32_t>(
            readMail(m_hSession, 0, m_currentId, MAPI_ENVELOPE_ONLY, 0, &m_pIncoming));
    }
    if (result != 0) {
        (void)LogProblem(IDS_MARK_READ_FAILED, m_pCurrent.get());
        return result;
    }
    (void)FreeMessage();  // the mark is made; a failed release has reported itself
    return 0;
}

int32_t CMapi32Conduit::ReadMessage() {
    const auto readMail = reinterpret_cast<LPMAPIREADMAIL>(Entry("MAPIReadMail"));
    int32_t result = MAIL_ERR_UNAVAILABLE;
    if (readMail != nullptr) {
        StartRead();
        m_pIncoming = nullptr;
        result =
            static_cast<int32_t>(readMail(m_hSession, 0, m_currentId, MAPI_PEEK, 0, &m_pIncoming));
    }
    return FinishRead(result);
}

int32_t CMapi32Conduit::FreeMessage() {
    DeleteAttachmentFiles();
    const auto freeBuffer = reinterpret_cast<LPMAPIFREEBUFFER>(Entry("MAPIFreeBuffer"));
    int32_t result = 0;
    if (m_pIncoming != nullptr) {
        result = freeBuffer != nullptr ? static_cast<int32_t>(freeBuffer(m_pIncoming))
                                       : MAIL_ERR_UNAVAILABLE;
    }
    // The buffer is not used again whatever the answer.
    m_pIncoming = nullptr;
    if (result != 0) {
        (void)LogProblem(IDS_FREE_FAILED, nullptr);
    }
    return result;
}

int32_t CMapi32Conduit::ResolveName(const char* name, char** displayName, char** address) {
    m_pResolved = nullptr;
    const std::string prepared = PrepareResolveName(name != nullptr ? name : "");
    const auto resolve = reinterpret_cast<LPMAPIRESOLVENAME>(Entry("MAPIResolveName"));
    if (resolve == nullptr) {
        return MAIL_ERR_UNAVAILABLE;
    }
    lpMapiRecipDesc recipient = nullptr;
    const auto result =
        static_cast<int32_t>(resolve(m_hSession, 0, prepared.c_str(), 0, 0, &recipient));
    if (recipient == nullptr) {
        return result;
    }
    m_pResolved = recipient;
    TakeResolved(*recipient, displayName, address);
    const auto freeBuffer = reinterpret_cast<LPMAPIFREEBUFFER>(Entry("MAPIFreeBuffer"));
    return freeBuffer != nullptr ? static_cast<int32_t>(freeBuffer(recipient))
                                 : MAIL_ERR_UNAVAILABLE;
}

// ==== CMapi16Conduit ====

CMapi16Conduit::CMapi16Conduit(CHostServices& host, MailSettings& settings,
                               ProgressCallback progress, const SyncProperties& props)
    : CMapiConduit(host, settings, progress, props) {
    if (RegisteredThunk() != nullptr) {
        Cell block[1] = {1};
        (void)CallThunk(THUNK_INIT, block, {});  // a failed start shows at Logon
    }
}

CMapi16Conduit::~CMapi16Conduit() {
    if (RegisteredThunk() != nullptr) {
        (void)CallThunk(THUNK_TERM, nullptr, {});  // nothing is left to report to
    }
}

int32_t CMapi16Conduit::Logon() {
    if (RegisteredThunk() == nullptr) {
        (void)LogProblem(IDS_LOGON_FAILED, nullptr);
        return MAIL_ERR_UNAVAILABLE;
    }
    Cell block[2] = {CellOf(m_settings.UserAccount().c_str()),
                     CellOf(m_settings.Password().c_str())};
    Yield();
    const int32_t result = CallThunk(THUNK_LOGON, block, {0, 1});
    Yield();
    if (result != 0) {
        (void)LogProblem(IDS_LOGON_FAILED, nullptr);
    }
    return result;
}

int32_t CMapi16Conduit::Logoff() {
    const int32_t result = CallThunk(THUNK_LOGOFF, nullptr, {});
    if (result != 0) {
        (void)LogProblem(IDS_LOGOFF_FAILED, nullptr);
    }
    return result;
}

int32_t CMapi16Conduit::SendMail(CMessage* message) {
    BuildOutgoing(message);
    Cell holder = CellOf(&m_outgoing);
    Cell block[1] = {CellOf(&holder)};
    const int32_t result = CallThunk(THUNK_SEND, block, {0});
    FreeOutgoing();
    if (result != 0) {
        (void)LogProblem(IDS_SEND_FAILED, message);
    }
    return result;
}

int32_t CMapi16Conduit::FindNextMessage() {
    char buffer[ID_BUFFER_SIZE] = {};
    Cell block[3] = {CellOf(m_currentId), CellOf(buffer), MAPI_LONG_MSGID};
    const int32_t result = CallThunk(THUNK_FIND_NEXT, block, {0, 1});
    return FinishFindNext(result, buffer, sizeof(buffer));
}

int32_t CMapi16Conduit::DeleteMessage() {
    Cell block[1] = {CellOf(m_currentId)};
    const int32_t result = CallThunk(THUNK_DELETE, block, {0});
    if (result != 0) {
        (void)LogProblem(IDS_DELETE_FAILED, m_pCurrent.get());
    }
    return result;
}

int32_t CMapi16Conduit::MarkMessageRead() {
    StartRead();
    m_pIncoming = nullptr;
    Cell block[3] = {CellOf(m_currentId), CellOf(&m_pIncoming), MAPI_ENVELOPE_ONLY};
    const int32_t result = CallThunk(THUNK_READ, block, {0, 1});
    if (result != 0) {
        (void)LogProblem(IDS_MARK_READ_FAILED, m_pCurrent.get());
        return result;
    }
    (void)FreeMessage();  // the mark is made; a failed release has reported itself
    return 0;
}

int32_t CMapi16Conduit::ReadMessage() {
    StartRead();
    m_pIncoming = nullptr;
    Cell block[3] = {CellOf(m_currentId), CellOf(&m_pIncoming), MAPI_PEEK};
    int32_t result = CallThunk(THUNK_READ, block, {0, 1});
    return FinishRead(result);
}

int32_t CMapi16Conduit::FreeMessage() {
    DeleteAttachmentFiles();
    int32_t result = 0;
    if (m_pIncoming != nullptr) {
        Cell block[2] = {CellOf(&m_pIncoming), FREE_KIND_MESSAGE};
        result = CallThunk(THUNK_FREE, block, {0});
    }
    m_pIncoming = nullptr;
    if (result != 0) {
        (void)LogProblem(IDS_FREE_FAILED, nullptr);
    }
    return result;
}

int32_t CMapi16Conduit::ResolveName(const char* name, char** displayName, char** address) {
    m_pResolved = nullptr;
    const std::string prepared = PrepareResolveName(name != nullptr ? name : "");
    lpMapiRecipDesc recipient = nullptr;
    Cell block[2] = {CellOf(prepared.c_str()), CellOf(&recipient)};
    const int32_t result = CallThunk(THUNK_RESOLVE, block, {0, 1});
    if (recipient == nullptr) {
        return result;
    }
    m_pResolved = recipient;
    TakeResolved(*recipient, displayName, address);
    // The free clears the cell it is given: a copy, so that m_pResolved still tells.
    lpMapiRecipDesc held = recipient;
    Cell freeBlock[2] = {CellOf(&held), FREE_KIND_RECIPIENT};
    return CallThunk(THUNK_FREE, freeBlock, {0});
}

int32_t CMapi16Conduit::ExtraCall(uint32_t first, uint32_t second) {
    Cell block[2] = {first, second};
    return CallThunk(THUNK_EXTRA, block, {0});
}

}  // namespace torrim

// The VIM back-end: dates, logon and logoff, the inbox walk in batches, reading, marking,
// filing in the Trash, and building and sending messages.
#include "conduit/backends/vim_conduit.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "conduit/backends/unwrap.h"
#include "conduit/core/address.h"
#include "conduit/core/codes.h"
#include "conduit/core/strings.h"
#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/library.h"
#include "platform/local_time.h"
#include "platform/profile.h"

namespace torrim {
namespace {

// The folder names of the Notes rule are cut like Windows paths of at most 260 characters.
constexpr size_t MAX_PATH_LENGTH = 260;
constexpr uint32_t DEFAULT_INFO_SIZE = 1024;

// VIM statuses are 16-bit.
int32_t Status(VIMSTATUS status) {
    return static_cast<int32_t>(status & 0xFFFFu);
}

char* NewText(std::string_view text) {
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

std::string FieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

void CopyField(std::string_view text, char* field, size_t size) {
    const size_t length = platform::ValidCutLength(text, size - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

VIMADDRESS EmptyRecord() {
    VIMADDRESS record{};
    record.recordType = VIM_RECORD_ADDRESS;
    record.entityBlock = VIM_BLOCK_START;
    record.addressBlock = VIM_BLOCK_START;
    return record;
}

template <typename F>
F EntryAs(void* entry) {
    return reinterpret_cast<F>(entry);
}

}  // namespace

// ==== CVimConduitBase ====

void CVimConduitBase::ParseDate(uint32_t* date) {
    *date = 0;
    if (m_vimDate == VIM_DATE_NONE) {
        return;
    }
    platform::LocalTime local{};
    local.year = static_cast<int>(m_vimDate >> 16);
    local.month = static_cast<int>((m_vimDate >> 8) & 0xFF);
    local.day = static_cast<int>(m_vimDate & 0xFF);
    if (m_vimTime != VIM_DATE_NONE) {
        local.hour = static_cast<int>(m_vimTime >> 24);
        local.minute = static_cast<int>((m_vimTime >> 16) & 0xFF);
        local.second = static_cast<int>((m_vimTime >> 8) & 0xFF);
    }
    // A time that the 32-bit field cannot hold (or no time at all) is no date.
    int64_t seconds = 0;
    if (!platform::LocalToUtc(local, &seconds) || seconds <= 0 ||
        seconds > std::numeric_limits<uint32_t>::max()) {
        return;
    }
    *date = static_cast<uint32_t>(seconds);
}

void CVimConduitBase::FormatDate(const uint32_t* date) {
    m_vimDate = 0;
    m_vimTime = 0;
    platform::LocalTime local{};
    if (*date == 0 || !platform::UtcToLocal(*date, &local)) {
        return;
    }
    m_vimDate = (static_cast<uint32_t>(local.year) << 16) |
                (static_cast<uint32_t>(local.month) << 8) | static_cast<uint32_t>(local.day);
    m_vimTime = (static_cast<uint32_t>(local.hour) << 24) |
                (static_cast<uint32_t>(local.minute) << 16) |
                (static_cast<uint32_t>(local.second) << 8);
}

// ==== CVimConduit ====

CVimConduit::CVimConduit(CHostServices& host, MailSettings& settings, ProgressCallback progress,
                         const SyncProperties& props)
    : CVimConduitBase(host, settings, progress, props) {}

CVimConduit::~CVimConduit() {
    if (m_hVimLib == nullptr) {
        return;
    }
    // Only a failed logon gets here with the library loaded (Logoff releases it).
    if (m_hContainer != nullptr) {
        if (auto close = EntryAs<LPVIMCLOSEMESSAGECONTAINER>(Entry("VIMCloseMessageContainer"))) {
            (void)close(m_hContainer);
        }
    }
    if (m_hVimSession != nullptr) {
        if (auto close = EntryAs<LPVIMCLOSESESSION>(Entry("VIMCloseSession"))) {
            (void)close(m_hVimSession);
        }
    }
    if (m_initialized) {
        if (auto terminate = EntryAs<LPVIMTERMINATE>(Entry("VIMTerminate"))) {
            (void)terminate();
        }
    }
    platform::FreeLibrary(m_hVimLib);
}

void* CVimConduit::Entry(const char* name) const {
    return m_hVimLib != nullptr ? platform::GetProcAddress(m_hVimLib, name) : nullptr;
}

bool CVimConduit::IsNotes() const {
    return platform::CompareNoCaseMb(m_settings.Interface(),
                                     m_host.LoadString(IDS_INTERFACE_NOTESVIM32)) == 0;
}

int32_t CVimConduit::Logon() {
    if (m_hVimLib != nullptr) {
        return 0;
    }
    std::string library = Text(IDS_VIM_LIBRARY);
    const bool notes = IsNotes();
    std::string previous;
    if (notes) {
        // Notes keeps its own VIM library beside its program, which "lotus.ini" names; the
        // library may load further files from its folder, so that folder is current while
        // it loads.
        previous = platform::CurrentDirectory();
        if (previous.size() > MAX_PATH_LENGTH) {
            previous.clear();
        }
        char program[MAX_PATH_LENGTH] = {};
        platform::GetPrivateProfileString(Text(IDS_LOTUS_SECTION).c_str(),
                                          Text(IDS_LOTUS_NOTES_KEY).c_str(), "", program,
                                          sizeof program, Text(IDS_LOTUS_INI));
        const std::string notesProgram = program;
        const size_t slash = notesProgram.find_last_of("/\\");
        // A program named without a folder leaves the library to the search path.
        if (!notesProgram.empty() && slash != std::string::npos) {
            const std::string folder = slash == 0 ? std::string("/") : notesProgram.substr(0, slash);
            // A folder that cannot be entered still names where the library is.
            (void)platform::SetCurrentDirectory(folder);
            library = platform::JoinPath(folder, library);
        }
    }
    m_hVimLib = platform::LoadLibraryByName(library);
    if (notes && !previous.empty()) {
        (void)platform::SetCurrentDirectory(previous);  // the host's folder is not ours to keep
    }
    int32_t result = MAIL_ERR_UNAVAILABLE;
    const auto initialize = EntryAs<LPVIMINITIALIZE>(Entry("VIMInitialize"));
    if (initialize != nullptr) {
        result = Status(initialize());
        m_initialized = result == 0;
        if (result == 0) {
            result = OpenSession();
        }
        if (result == 0) {
            const auto open = EntryAs<LPVIMOPENMESSAGECONTAINER>(Entry("VIMOpenMessageContainer"));
            result = open != nullptr ? Status(open(m_hVimSession, nullptr, &m_hContainer))
                                     : MAIL_ERR_UNAVAILABLE;
            if (result != 0) {
                m_hContainer = nullptr;
            }
        }
    }
    if (result != 0) {
        (void)LogProblem(IDS_LOGON_FAILED, nullptr);
    }
    return result;
}

int32_t CVimConduit::OpenSession() {
    const auto query = EntryAs<LPVIMQUERYCAPABILITY>(Entry("VIMQueryCapability"));
    const auto open = EntryAs<LPVIMOPENSESSION>(Entry("VIMOpenSession"));
    const auto defaults = EntryAs<LPVIMGETDEFAULTSESSIONINFO>(Entry("VIMGetDefaultSessionInfo"));
    if (query == nullptr) {
        return MAIL_ERR_UNAVAILABLE;
    }
    uint32_t version = 0;
    const int32_t queried = Status(query(VIM_CAP_VERSION, sizeof version, &version));
    if (queried != 0) {
        return queried;
    }
    const uint32_t charSet =
        platform::ActiveCodePage() == 932 ? VIM_CHARSET_SHIFT_JIS : VIM_CHARSET_ANSI;
    if (open == nullptr) {
        return 0;
    }
    VIMSTATUS status = 0;
    if (IsNotes()) {
        char path[DEFAULT_INFO_SIZE] = {};
        char name[DEFAULT_INFO_SIZE] = {};
        if (defaults != nullptr && defaults(sizeof path, path, sizeof name, name) != 0) {
            name[0] = '\0';
        }
        name[sizeof name - 1] = '\0';
        status =
            open(nullptr, name, m_settings.Password().c_str(), version, charSet, &m_hVimSession);
    } else {
        status = open(m_settings.PostOffice().c_str(), m_settings.UserAccount().c_str(),
                      m_settings.Password().c_str(), version, charSet, &m_hVimSession);
    }
    if (Status(status) != 0) {
        m_hVimSession = nullptr;
    }
    return Status(status);
}

int32_t CVimConduit::Logoff() {
    if (m_hContainer != nullptr) {
        if (auto close = EntryAs<LPVIMCLOSEMESSAGECONTAINER>(Entry("VIMCloseMessageContainer"))) {
            (void)close(m_hContainer);  // the session's end closes what is left anyway
        }
        m_hContainer = nullptr;
    }
    if (m_hVimSession != nullptr) {
        if (auto close = EntryAs<LPVIMCLOSESESSION>(Entry("VIMCloseSession"))) {
            (void)close(m_hVimSession);  // VIMTerminate ends every session
        }
        m_hVimSession = nullptr;
    }
    const auto terminate = EntryAs<LPVIMTERMINATE>(Entry("VIMTerminate"));
    const int32_t result = terminate != nullptr ? Status(terminate()) : MAIL_ERR_UNAVAILABLE;
    m_initialized = false;
    if (m_hVimLib != nullptr) {
        platform::FreeLibrary(m_hVimLib);
        m_hVimLib = nullptr;
    }
    if (result != 0) {
        (void)LogProblem(IDS_LOGOFF_FAILED, nullptr);
    }
    return result;
}

int32_t CVimConduit::FindNextMessage() {
    if (NoCurrentMessage()) {
        // The start of a walk.
        m_enumPos = VIMPOS{};
        m_batchCount = VIM_BATCH_SIZE;
        m_more = 1;
        m_batchIndex = 0;
        m_attrDesc[0] = VIMATTRDESC{VIM_ATTR_MESSAGE_REF, sizeof(VIMREF), m_batchRefs};
        m_attrDesc[1] = VIMATTRDESC{VIM_ATTR_UNREAD, sizeof(uint16_t), m_batchUnread};
    } else if (m_batchIndex + 1 < m_batchCount) {
        ++m_batchIndex;
        m_currentKey1 = m_batchRefs[m_batchIndex].key1;
        m_currentKey2 = m_batchRefs[m_batchIndex].key2;
        return 0;
    } else {
        m_batchIndex = 0;
    }
    if (m_more == 0) {
        m_currentKey1 = 0;
        m_currentKey2 = 0;
        return 0;
    }
    const auto enumerate = EntryAs<LPVIMENUMERATEMESSAGES>(Entry("VIMEnumerateMessages"));
    int32_t result = MAIL_ERR_UNAVAILABLE;
    if (enumerate != nullptr) {
        // Later calls ask for as many as the previous one delivered (never more than the
        // batch holds).
        m_batchCount = std::min<uint16_t>(m_batchCount, VIM_BATCH_SIZE);
        result = Status(enumerate(m_hContainer, &m_enumPos, 1, 2, m_attrDesc, &m_batchCount,
                                  VIM_FILTER_ALL, nullptr, 0, &m_more));
    }
    if (result == 0) {
        m_batchCount = std::min<uint16_t>(m_batchCount, VIM_BATCH_SIZE);
        if (m_batchCount > 0) {
            m_currentKey1 = m_batchRefs[m_batchIndex].key1;
            m_currentKey2 = m_batchRefs[m_batchIndex].key2;
        } else {
            // A batch that brings nothing ends the walk: asking for as many as it brought
            // would ask for none, again and again.
            m_more = 0;
            m_currentKey1 = 0;
            m_currentKey2 = 0;
        }
    } else {
        (void)LogProblem(IDS_FIND_NEXT_FAILED, nullptr);
    }
    return result;
}

int32_t CVimConduit::DeleteMessage() {
    if (NoCurrentMessage()) {
        return 0;
    }
    const auto setCategory = EntryAs<LPVIMSETMESSAGECATEGORY>(Entry("VIMSetMessageCategory"));
    // The message is filed in the Trash, where the user can still find it.
    const int32_t result =
        setCategory != nullptr
            ? Status(setCategory(m_hContainer, CurrentRef(), Text(IDS_TRASH).c_str()))
            : MAIL_ERR_UNAVAILABLE;
    if (result != 0) {
        (void)LogProblem(IDS_DELETE_FAILED, m_pCurrent.get());
    }
    return result;
}

int32_t CVimConduit::MarkMessageRead() {
    if (NoCurrentMessage()) {
        return 0;
    }
    const auto mark = EntryAs<LPVIMMARKMESSAGEASREAD>(Entry("VIMMarkMessageAsRead"));
    const int32_t result =
        mark != nullptr ? Status(mark(m_hContainer, CurrentRef())) : MAIL_ERR_UNAVAILABLE;
    if (result != 0) {
        (void)LogProblem(IDS_MARK_READ_FAILED, m_pCurrent.get());
    }
    return result;
}

int32_t CVimConduit::ReadMessage() {
    if (NoCurrentMessage()) {
        return 0;
    }
    const auto open = EntryAs<LPVIMOPENMESSAGE>(Entry("VIMOpenMessage"));
    int32_t result = MAIL_ERR_UNAVAILABLE;
    if (open != nullptr) {
        result = Status(open(m_hContainer, CurrentRef(), nullptr, &m_hVimMessage));
    }
    if (result != 0) {
        m_hVimMessage = nullptr;
        (void)LogProblem(IDS_READ_FAILED, nullptr);
        return result;
    }
    m_pCurrent = std::make_unique<CMessage>();
    ConvertIncoming(m_pCurrent.get());
    if (auto close = EntryAs<LPVIMCLOSEMESSAGE>(Entry("VIMCloseMessage"))) {
        (void)close(m_hVimMessage);  // the message is complete; nothing of it is kept
    }
    m_hVimMessage = nullptr;
    return 0;
}

int32_t CVimConduit::SendMail(CMessage* message) {
    const auto create = EntryAs<LPVIMCREATEMESSAGE>(Entry("VIMCreateMessage"));
    int32_t result = MAIL_ERR_UNAVAILABLE;
    if (create != nullptr) {
        result = Status(create(m_hVimSession, "VIM_MAIL", &m_hVimMessage));
    }
    if (result == 0) {
        BuildOutgoing(message);
        const auto send = EntryAs<LPVIMSENDMESSAGE>(Entry("VIMSendMessage"));
        result = send != nullptr ? Status(send(m_hVimMessage, nullptr, 0)) : MAIL_ERR_UNAVAILABLE;
        if (result != 0) {
            // A message the library did not take is still ours to close.
            if (auto close = EntryAs<LPVIMCLOSEMESSAGE>(Entry("VIMCloseMessage"))) {
                (void)close(m_hVimMessage);
            }
        }
    }
    m_hVimMessage = nullptr;
    if (result != 0) {
        (void)LogProblem(IDS_SEND_FAILED, message);
    }
    return result;
}

std::string CVimConduit::GatewayAddress(std::string_view address, bool ccMail,
                                        std::string_view atText, std::string_view gateway,
                                        std::string_view defaultGateway) {
    if (!ccMail || !HasAtSign(address)) {
        return std::string(address);
    }
    const size_t at = address.find(atText);
    if (at != std::string_view::npos && at + atText.size() < address.size()) {
        return std::string(address);  // already addressed to a gateway
    }
    std::string routed = CleanAddress(address, atText);
    routed += atText;
    routed += gateway.empty() ? defaultGateway : gateway;
    return routed;
}

bool CVimConduit::MatchAddressBook(const char* text, VIMADDRESS* record) {
    const auto enumerate = EntryAs<LPVIMENUMERATEADDRESSBOOKS>(Entry("VIMEnumerateAddressBooks"));
    const auto open = EntryAs<LPVIMOPENADDRESSBOOK>(Entry("VIMOpenAddressBook"));
    const auto match = EntryAs<LPVIMMATCHADDRESSBOOK>(Entry("VIMMatchAddressBook"));
    const auto attributes = EntryAs<LPVIMGETABENTRYATTRIBUTES>(Entry("VIMGetABEntryAttributes"));
    const auto close = EntryAs<LPVIMCLOSEADDRESSBOOK>(Entry("VIMCloseAddressBook"));
    if (enumerate == nullptr || open == nullptr || match == nullptr || attributes == nullptr ||
        close == nullptr) {
        return false;
    }
    VIMPOS position{};
    char names[VIM_BATCH_SIZE][256];
    for (;;) {
        std::memset(names, 0, sizeof names);
        VIMATTRDESC nameDesc{VIM_ATTR_ENTITY_NAME, sizeof names[0], names};
        uint16_t count = VIM_BATCH_SIZE;
        uint16_t more = 0;
        if (Status(enumerate(m_hVimSession, &position, 1, 1, &nameDesc, &count, &more)) != 0) {
            return false;
        }
        count = std::min<uint16_t>(count, VIM_BATCH_SIZE);
        for (uint16_t i = 0; i < count; ++i) {
            names[i][sizeof names[i] - 1] = '\0';
            VIMAB book = nullptr;
            if (Status(open(m_hVimSession, names[i], &book)) != 0) {
                continue;
            }
            VIMREF entry{};
            bool found = false;
            if (Status(match(book, 0, 0, 0, VIM_ATTR_MATCH_NAME, text, VIM_MATCH_EXACT, &entry,
                             0)) == 0) {
                VIMATTRDESC wanted[2] = {
                    {VIM_ATTR_ENTITY_NAME, sizeof record->displayName, record->displayName},
                    {VIM_ATTR_ADDRESS_BLOCK, sizeof record->addressBlock + sizeof record->address,
                     reinterpret_cast<char*>(record) + offsetof(VIMADDRESS, addressBlock)}};
                found = Status(attributes(book, entry, 0, 2, wanted)) == 0;
            }
            (void)close(book);  // a book that will not close is only left to the library
            if (found) {
                record->displayName[sizeof record->displayName - 1] = '\0';
                record->address[sizeof record->address - 1] = '\0';
                CopyField(names[i], record->bookName, sizeof record->bookName);
                return true;
            }
        }
        if (more == 0 || count == 0) {
            return false;
        }
    }
}

int32_t CVimConduit::ResolveName(const char* name, char** displayName, char** address) {
    if (name == nullptr) {
        return -1;
    }
    VIMADDRESS record = EmptyRecord();
    if (!MatchAddressBook(name, &record)) {
        return -1;
    }
    *displayName = NewText(FieldText(record.displayName, sizeof record.displayName));
    *address = NewText(FieldText(record.address, sizeof record.address));
    return 0;
}

void CVimConduit::BuildOutgoing(CMessage* message) {
    const auto setHeader = EntryAs<LPVIMSETMESSAGEHEADER>(Entry("VIMSetMessageHeader"));
    if (setHeader == nullptr) {
        return;
    }
    // Header failures leave the message as the library has it; the send decides.
    // The subject keeps room for its terminator in the mail system's 256-byte buffer and is
    // never cut inside a double-byte character.
    std::string subject(message->Subject());
    subject.resize(m_host.ValidateNumberDec(subject, VIM_SUBJECT_SIZE - 1));
    (void)setHeader(m_hVimMessage, VIM_ITEM_SUBJECT, static_cast<uint32_t>(subject.size()),
                    subject.c_str());
    const std::string conversation(message->ConversationId());
    (void)setHeader(m_hVimMessage, VIM_ITEM_CONVERSATION_ID,
                    static_cast<uint32_t>(conversation.size()), conversation.c_str());
    const uint16_t readConfirm = static_cast<uint16_t>(message->m_confirmRead);
    const uint16_t deliveryConfirm = static_cast<uint16_t>(message->m_confirmDelivery);
    const uint16_t priority = message->m_priority == 0 ? 2 : message->m_priority == 2 ? 0 : 1;
    const uint16_t one = 1;
    (void)setHeader(m_hVimMessage, VIM_ITEM_READ_CONFIRM, 2, &readConfirm);
    (void)setHeader(m_hVimMessage, VIM_ITEM_DELIVERY_CONFIRM, 2, &deliveryConfirm);
    (void)setHeader(m_hVimMessage, VIM_ITEM_PRIORITY, 2, &priority);
    (void)setHeader(m_hVimMessage, VIM_ITEM_FLAG_59, 2, &one);
    (void)setHeader(m_hVimMessage, VIM_ITEM_FLAG_60, 2, &one);

    if (const auto setRecipient =
            EntryAs<LPVIMSETMESSAGERECIPIENT>(Entry("VIMSetMessageRecipient"))) {
        const bool ccMail =
            platform::CompareNoCaseMb(m_settings.Interface(), Text(IDS_INTERFACE_VIM32)) == 0;
        const std::string atText = Text(IDS_AT);
        const std::string defaultGateway = Text(IDS_INTERNET_GATEWAY);
        const CRecipientMgr& recipients = *message->m_pRecipients;
        for (uint32_t index = 0; auto recipient = recipients.Lookup(index); ++index) {
            const uint32_t kind = static_cast<uint32_t>(recipient->m_kind);
            VIMADDRESS record = EmptyRecord();
            const std::string address = GatewayAddress(recipient->m_address, ccMail, atText,
                                                       m_settings.Gateway(), defaultGateway);
            if (!MatchAddressBook(address.c_str(), &record)) {
                record = EmptyRecord();
                CopyField(recipient->m_name, record.displayName, sizeof record.displayName);
                CopyField(address, record.address, sizeof record.address);
            }
            const uint32_t recipientClass = kind == 1   ? VIM_CLASS_TO
                                            : kind == 2 ? VIM_CLASS_CC
                                            : kind == 3 ? VIM_CLASS_BCC
                                                        : 0;
            if (recipientClass != 0) {
                (void)setRecipient(m_hVimMessage, recipientClass, &record);
            }
        }
    }

    std::string body(message->Body());
    if (message->m_signature == 1 && m_pPrefs != nullptr) {
        body += "\r\n\r\n";
        body += m_pPrefs->m_signatureText;
    }
    if (const auto setItem = EntryAs<LPVIMSETMESSAGEITEM>(Entry("VIMSetMessageItem"))) {
        const VIMDATA data{static_cast<uint32_t>(body.size()), body.c_str()};
        (void)setItem(m_hVimMessage, VIM_CLASS_TEXT, "VIM_UNWRAPPED_TEXT", nullptr, nullptr, &data);
    }
}

void CVimConduit::ReadTextItem(VIMREF itemRef, std::string* text) {
    const auto open = EntryAs<LPVIMOPENMESSAGEITEM>(Entry("VIMOpenMessageItem"));
    const auto read = EntryAs<LPVIMREADMESSAGEITEM>(Entry("VIMReadMessageItem"));
    const auto close = EntryAs<LPVIMCLOSEMESSAGEITEM>(Entry("VIMCloseMessageItem"));
    if (open == nullptr) {
        return;
    }
    const bool notes = IsNotes();
    VIMITEM item = nullptr;
    if (Status(open(m_hVimMessage, itemRef, "VIM_TEXT", notes ? 0 : VIM_TEXT_FLAG_CRLF, &item)) !=
        0) {
        return;
    }
    auto buffer = std::make_unique<char[]>(VIM_CHUNK_SIZE);
    VIMBUFDESC desc{static_cast<uint32_t>(notes ? VIM_CHUNK_SIZE : VIM_CHUNK_SIZE - 1),
                    buffer.get(), 0, 0};
    while (read != nullptr) {
        Yield();
        std::memset(buffer.get(), 0, VIM_CHUNK_SIZE);
        if (Status(read(item, &desc)) != 0) {
            break;
        }
        // The chunk ends at the count the library gives, never beyond the buffer: the text
        // is taken by its length instead of a terminator written after it.
        const size_t length = notes ? std::min<size_t>(desc.bytesRead, VIM_CHUNK_SIZE - 1)
                                    : std::min<size_t>(desc.size, VIM_CHUNK_SIZE);
        text->append(buffer.get(), strnlen(buffer.get(), length));
        if (desc.size == 0) {
            break;
        }
        // The next request is for what the library leaves in the size word, which the
        // buffer must still hold.
        desc.size = std::min<uint32_t>(desc.size, notes ? VIM_CHUNK_SIZE : VIM_CHUNK_SIZE - 1);
        desc.buffer = buffer.get();
    }
    if (close != nullptr) {
        (void)close(item);
    }
}

void CVimConduit::ConvertIncoming(CMessage* message) {
    message->m_desktopKey1 = static_cast<int32_t>(m_currentKey1);
    message->m_desktopKey2 = static_cast<int32_t>(m_currentKey2);
    message->m_readOnDesktop =
        m_batchIndex < VIM_BATCH_SIZE && m_batchUnread[m_batchIndex] == 0 ? 1 : 0;
    const std::string atText = Text(IDS_AT);

    VIMADDRESS originator = EmptyRecord();
    char subject[256] = {};
    uint32_t date[3] = {0, VIM_DATE_NONE, VIM_DATE_NONE};
    uint16_t priority = 1;
    uint16_t receipt = 0;
    const auto getHeader = EntryAs<LPVIMGETMESSAGEHEADER>(Entry("VIMGetMessageHeader"));
    uint16_t delivery = 0;
    if (getHeader != nullptr) {
        VIMATTRDESC header[5] = {{VIM_ITEM_ORIGINATOR, sizeof originator, &originator},
                                 {VIM_ITEM_SUBJECT, sizeof subject, subject},
                                 {VIM_ITEM_DATE, sizeof date, date},
                                 {VIM_ITEM_PRIORITY, sizeof priority, &priority},
                                 {VIM_ITEM_READ_CONFIRM, sizeof receipt, &receipt}};
        // What the library could give stays in the message; a failure only leaves fields
        // as they were.
        (void)getHeader(m_hVimMessage, 5, header);
        VIMATTRDESC confirm{VIM_ITEM_DELIVERY_CONFIRM, sizeof delivery, &delivery};
        if (Status(getHeader(m_hVimMessage, 1, &confirm)) != 0) {
            delivery = 0;
        }
    }
    subject[sizeof subject - 1] = '\0';
    const std::string fromAddress = FieldText(originator.address, sizeof originator.address);
    const std::string fromDisplay =
        FieldText(originator.displayName, sizeof originator.displayName);
    message->SetFromAddress(CleanAddress(fromAddress, atText));
    std::string fromName = DisplayNameOf(fromDisplay);
    if (fromName.empty()) {
        fromName = DisplayNameFromNative(fromAddress, atText);
    }
    message->SetFromName(fromName);
    m_vimDate = date[1];
    m_vimTime = date[2];
    ParseDate(&message->m_date);
    message->SetSubject(subject);
    message->m_priority = priority == 0 ? 2 : priority == 2 ? 0 : 1;
    message->m_confirmRead = receipt;
    message->m_confirmDelivery = delivery;
    message->m_signature = 0;

    std::string body;
    std::string attachments;
    const auto items = EntryAs<LPVIMENUMERATEMESSAGEITEMS>(Entry("VIMEnumerateMessageItems"));
    VIMPOS position{};
    const std::string rfc822 = Text(IDS_RFC822_ATTACHMENT);
    while (items != nullptr) {
        VIMITEMDESC item{};
        uint16_t count = 1;
        uint16_t more = 0;
        if (Status(items(m_hVimMessage, &position, 1, &count, &item, VIM_FILTER_ALL, nullptr,
                         &more)) != 0 ||
            count == 0) {
            break;
        }
        item.name[sizeof item.name - 1] = '\0';
        item.fileName[sizeof item.fileName - 1] = '\0';
        item.description[sizeof item.description - 1] = '\0';
        if (item.itemClass == VIM_CLASS_TEXT) {
            std::string text;
            ReadTextItem(item.ref, &text);
            if (!text.empty()) {
                body += platform::ActiveCodePage() == 932 ? UnwrapText932(text) : UnwrapText(text);
            }
        } else if (item.itemClass == VIM_CLASS_FILE) {
            const std::string name = item.name[0] != '\0' ? item.name : item.fileName;
            // The Internet header a gateway keeps as a file is no attachment of the sender's.
            if (platform::CompareNoCaseMb(item.name, rfc822) != 0) {
                if (attachments.empty()) {
                    attachments = Text(IDS_ATTACHMENT_LIST);
                }
                attachments += "\r\n\t";
                attachments += name;
                if (item.description[0] != '\0') {
                    attachments += " (";
                    attachments += item.description;
                    attachments += ")";
                }
            }
        }
        if (more == 0) {
            break;
        }
    }
    if (!attachments.empty()) {
        body = attachments + "\r\n\r\n" + body;
    }
    // The body goes in last of the texts: each text set copies the message's texts.
    message->SetConversationId("");
    message->SetBody(body);

    const auto enumerateRecipients =
        EntryAs<LPVIMENUMERATEMESSAGERECIPIENTS>(Entry("VIMEnumerateMessageRecipients"));
    if (enumerateRecipients == nullptr) {
        return;
    }
    const uint32_t classes[3] = {VIM_CLASS_TO, VIM_CLASS_CC, VIM_CLASS_BCC};
    for (int kind = 1; kind <= 3; ++kind) {
        VIMPOS at{};
        for (;;) {
            VIMADDRESS record = EmptyRecord();
            VIMATTRDESC desc{VIM_ATTR_RECIPIENT, sizeof record, &record};
            uint16_t count = 1;
            uint16_t more = 0;
            if (Status(enumerateRecipients(m_hVimMessage, classes[kind - 1], &at, 1, 1, &desc,
                                           &count, &more)) != 0 ||
                count != 1) {
                break;
            }
            const std::string address = FieldText(record.address, sizeof record.address);
            std::string name =
                DisplayNameOf(FieldText(record.displayName, sizeof record.displayName));
            if (name.empty()) {
                name = DisplayNameFromNative(address, atText);
            }
            message->AddRecipient(kind, name, CleanAddress(address, atText));
            if (more == 0) {
                break;
            }
        }
    }
}

}  // namespace torrim

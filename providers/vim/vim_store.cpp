// Sessions, inboxes and messages of the VIM library over the post office's Maildirs.
#include "providers/vim/vim_store.h"

#include <glib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/local_time.h"
#include "providers/simplemapi/address_book.h"
#include "providers/simplemapi/mapi_profile.h"
#include "providers/simplemapi/mime_writer.h"
#include "providers/simplemapi/simple_mapi.h"

namespace vim {
namespace {

namespace fs = std::filesystem;

constexpr const char* TRASH = "Trash";
constexpr const char* CATEGORY_FILE = "categories";

uint32_t Fnv32(std::string_view text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return platform::CompareNoCaseMb(a, b) == 0;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// Copies a text into a field of `size` bytes, cut on a character boundary so that the
// terminator fits.
void CopyText(std::string_view text, char* field, size_t size) {
    if (size == 0) {
        return;
    }
    const size_t length = platform::ValidCutLength(text, size - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

std::string FieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

VIMADDRESS AddressRecord(std::string_view name, std::string_view address) {
    VIMADDRESS record{};
    record.recordType = VIM_RECORD_ADDRESS;
    record.entityBlock = VIM_BLOCK_START;
    record.addressBlock = VIM_BLOCK_START;
    CopyText(name, record.displayName, sizeof record.displayName);
    CopyText(address, record.address, sizeof record.address);
    return record;
}

void PutWord16(void* buffer, uint16_t value) {
    std::memcpy(buffer, &value, sizeof value);
}

uint16_t Word16(const void* value) {
    uint16_t word = 0;
    std::memcpy(&word, value, sizeof word);
    return word;
}

int32_t StatusOfMapi(int32_t code) {
    switch (code) {
        case SUCCESS_SUCCESS:
            return 0;
        case MAPI_E_INSUFFICIENT_MEMORY:
            return VIMSTS_OUT_OF_MEMORY;
        case MAPI_E_DISK_FULL:
            return VIMSTS_DISK_FULL;
        case MAPI_E_INVALID_MESSAGE:
            return VIMSTS_NO_SUCH_MESSAGE;
        case MAPI_E_UNKNOWN_RECIPIENT:
        case MAPI_E_INVALID_RECIPS:
        case MAPI_E_BAD_RECIPTYPE:
            return VIMSTS_UNKNOWN_RECIPIENT;
        case MAPI_E_NETWORK_FAILURE:
        case MAPI_E_LOGIN_FAILURE:
            return VIMSTS_SEND_FAILED;
        default:
            return VIMSTS_FAILURE;
    }
}

// A fresh unique Maildir name ("<seconds>.M<micros>Q<counter>R<random>.<host>").
std::string NewMaildirName() {
    static std::atomic<uint64_t> counter{0};
    std::random_device rd;
    const uint64_t random = (static_cast<uint64_t>(rd()) << 32) ^ rd();
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    const int64_t micros =
        std::chrono::duration_cast<std::chrono::microseconds>(now).count() % 1000000;
    std::string host;
    for (const char* c = g_get_host_name(); *c != '\0'; ++c) {
        // '/' and ':' cannot appear in the unique part of a Maildir name.
        host += *c == '/'   ? std::string("\\057")
                : *c == ':' ? std::string("\\072")
                            : std::string(1, *c);
    }
    char unique[128];
    g_snprintf(unique, sizeof unique, "%lld.M%lldQ%lluR%016llx.", static_cast<long long>(seconds),
               static_cast<long long>(micros), static_cast<unsigned long long>(++counter),
               static_cast<unsigned long long>(random));
    return std::string(unique) + host;
}

// A message written to an account's tmp/ and flushed, waiting for its rename into new/.
struct StagedDelivery {
    std::string tmpPath;
    std::string finalPath;
};

int32_t Stage(const std::string& maildir, const std::string& data, StagedDelivery* out) {
    for (const char* sub : {"tmp", "new", "cur"}) {
        if (platform::CreateDirectories(platform::JoinPath(maildir, sub), 0700) != 0) {
            return VIMSTS_FAILURE;
        }
    }
    const std::string name = NewMaildirName();
    out->tmpPath = platform::JoinPath(platform::JoinPath(maildir, "tmp"), name);
    out->finalPath = platform::JoinPath(platform::JoinPath(maildir, "new"), name);
    const int32_t error = platform::WriteFileAtomic(out->tmpPath, data, 0600);
    if (error != 0) {
        out->tmpPath.clear();
        return error == ENOSPC ? VIMSTS_DISK_FULL : VIMSTS_FAILURE;
    }
    return 0;
}

void Unstage(std::vector<StagedDelivery>& staged) {
    for (StagedDelivery& delivery : staged) {
        if (!delivery.tmpPath.empty()) {
            (void)platform::RemoveFile(delivery.tmpPath);  // best effort: the send failed anyway
        }
    }
    staged.clear();
}

// Adds a header line in front of a message text (`lineEnd` the text's own line end).
std::string WithHeader(const std::string& text, const std::string& header, const char* lineEnd) {
    return header + lineEnd + text;
}

}  // namespace

VIMREF RefOf(int64_t deliveryTime, std::string_view id) {
    uint32_t hash = Fnv32(id);
    if (hash == 0) {
        hash = 1;  // a reference of two zero words means "no message"
    }
    return VIMREF{static_cast<uint32_t>(deliveryTime), hash};
}

void VimDateOf(int64_t seconds, uint32_t* date, uint32_t* time) {
    platform::LocalTime local{};
    if (seconds == 0 || !platform::UtcToLocal(seconds, &local)) {
        *date = VIM_DATE_NONE;
        *time = VIM_DATE_NONE;
        return;
    }
    *date = (static_cast<uint32_t>(local.year) << 16) | (static_cast<uint32_t>(local.month) << 8) |
            static_cast<uint32_t>(local.day);
    *time = (static_cast<uint32_t>(local.hour) << 24) |
            (static_cast<uint32_t>(local.minute) << 16) |
            (static_cast<uint32_t>(local.second) << 8);
}

uint16_t PriorityOfHeaders(std::string_view bytes) {
    size_t end = bytes.find("\n\n");
    const size_t crlfEnd = bytes.find("\r\n\r\n");
    end = std::min(end, crlfEnd);
    const std::string_view head = bytes.substr(0, end);
    size_t start = 0;
    while (start < head.size()) {
        size_t stop = head.find('\n', start);
        if (stop == std::string_view::npos) {
            stop = head.size();
        }
        std::string_view line = head.substr(start, stop - start);
        start = stop + 1;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view name = Trim(line.substr(0, colon));
        const std::string_view value = Trim(line.substr(colon + 1));
        if (EqualNoCase(name, "X-Priority") && !value.empty()) {
            if (value.front() == '1' || value.front() == '2') {
                return 2;
            }
            if (value.front() == '4' || value.front() == '5') {
                return 0;
            }
            return 1;
        }
        if (EqualNoCase(name, "Importance")) {
            if (platform::FindNoCaseMb(value, "high") == 0) {
                return 2;
            }
            if (platform::FindNoCaseMb(value, "low") == 0) {
                return 0;
            }
        }
    }
    return 1;
}

// ==== CMailbox ====

CMailbox::CMailbox(std::string folder) : m_folder(folder), m_store(std::move(folder)) {}

int32_t CMailbox::ListAll() {
    std::string id;
    std::string seed;
    for (;;) {
        const int32_t rc = m_store.FindNext(seed, &id);
        if (rc == MAPI_E_NO_MESSAGES) {
            return 0;
        }
        if (rc != 0) {
            return VIMSTS_FAILURE;
        }
        std::string path;
        bool seen = false;
        int64_t delivery = 0;
        platform::FileStamp stamp;
        if (m_store.Locate(id, &path, &seen, &delivery, &stamp) == 0) {
            m_ids[KeyOf(RefOf(delivery, id))] = id;
        }
        seed = id;
    }
}

int32_t CMailbox::IdOf(VIMREF ref, std::string* id) {
    auto it = m_ids.find(KeyOf(ref));
    if (it == m_ids.end()) {
        // A reference from an earlier session: learn every reference of the inbox once.
        if (ListAll() != 0) {
            return VIMSTS_FAILURE;
        }
        it = m_ids.find(KeyOf(ref));
        if (it == m_ids.end()) {
            return VIMSTS_NO_SUCH_MESSAGE;
        }
    }
    *id = it->second;
    return 0;
}

int32_t CMailbox::Enumerate(VIMPOS* position, uint16_t wanted, std::vector<Listed>* out,
                            bool* more) {
    out->clear();
    *more = false;
    std::string seed;
    if (position->word1 != 0 || position->word2 != 0) {
        if (IdOf(VIMREF{position->word1, position->word2}, &seed) != 0) {
            return VIMSTS_BAD_PARAM;
        }
    }
    std::string id;
    while (out->size() < wanted) {
        const int32_t rc = m_store.FindNext(seed, &id);
        if (rc == MAPI_E_NO_MESSAGES) {
            return 0;
        }
        if (rc != 0) {
            return VIMSTS_FAILURE;
        }
        seed = id;
        std::string path;
        bool seen = false;
        int64_t delivery = 0;
        platform::FileStamp stamp;
        if (m_store.Locate(id, &path, &seen, &delivery, &stamp) != 0) {
            continue;  // gone since the listing
        }
        const VIMREF ref = RefOf(delivery, id);
        m_ids[KeyOf(ref)] = id;
        out->push_back(Listed{ref, !seen});
        *position = VIMPOS{ref.key1, ref.key2};
    }
    std::string next;
    *more = m_store.FindNext(seed, &next) == 0;
    return 0;
}

int32_t CMailbox::Locate(VIMREF ref, std::string* id, std::string* path, bool* seen,
                         int64_t* deliveryTime) {
    const int32_t rc = IdOf(ref, id);
    if (rc != 0) {
        return rc;
    }
    platform::FileStamp stamp;
    return m_store.Locate(*id, path, seen, deliveryTime, &stamp) == 0 ? 0 : VIMSTS_NO_SUCH_MESSAGE;
}

int32_t CMailbox::MarkRead(VIMREF ref) {
    std::string id;
    const int32_t rc = IdOf(ref, &id);
    if (rc != 0) {
        return rc;
    }
    return StatusOfMapi(m_store.MarkSeen(id));
}

int32_t CMailbox::SetCategory(VIMREF ref, std::string_view category) {
    category = Trim(category);
    if (category.empty() ||
        category.find_first_of(std::string_view("\t\r\n\0", 4)) != std::string_view::npos) {
        return VIMSTS_BAD_PARAM;
    }
    std::string id;
    std::string path;
    bool seen = false;
    int64_t delivery = 0;
    int32_t rc = Locate(ref, &id, &path, &seen, &delivery);
    if (rc != 0) {
        return rc;
    }
    if (EqualNoCase(category, TRASH)) {
        // The file keeps its name (and flags): the Trash Maildir holds the same message.
        const std::string trash = platform::JoinPath(m_folder, ".Trash");
        for (const char* sub : {"tmp", "new", "cur"}) {
            if (platform::CreateDirectories(platform::JoinPath(trash, sub), 0700) != 0) {
                return VIMSTS_FAILURE;
            }
        }
        std::string name = fs::path(path).filename().string();
        if (name.find(':') == std::string::npos) {
            name += ":2,";
        }
        std::error_code error;
        fs::rename(path, platform::JoinPath(platform::JoinPath(trash, "cur"), name), error);
        return error ? VIMSTS_FAILURE : 0;
    }
    // Other categories: one line "id<TAB>category" per message, replaced atomically.
    const std::string file = platform::JoinPath(m_folder, CATEGORY_FILE);
    std::string text;
    const int32_t error = platform::ReadWholeFile(file, &text, 64u << 20);
    if (error != 0 && error != ENOENT) {
        return VIMSTS_FAILURE;
    }
    std::string rewritten;
    size_t start = 0;
    while (start < text.size()) {
        size_t stop = text.find('\n', start);
        if (stop == std::string::npos) {
            stop = text.size();
        }
        const std::string_view line(text.data() + start, stop - start);
        start = stop + 1;
        if (!line.empty() && line.substr(0, line.find('\t')) != id) {
            rewritten.append(line).append("\n");
        }
    }
    rewritten += id + "\t" + std::string(category) + "\n";
    return platform::WriteFileAtomic(file, rewritten, 0600) == 0 ? 0 : VIMSTS_FAILURE;
}

std::string CMailbox::CategoryOf(const std::string& id) const {
    std::string text;
    if (platform::ReadWholeFile(platform::JoinPath(m_folder, CATEGORY_FILE), &text, 64u << 20) !=
        0) {
        return std::string();
    }
    std::string found;
    size_t start = 0;
    while (start < text.size()) {
        size_t stop = text.find('\n', start);
        if (stop == std::string::npos) {
            stop = text.size();
        }
        const std::string_view line(text.data() + start, stop - start);
        start = stop + 1;
        const size_t tab = line.find('\t');
        if (tab != std::string_view::npos && line.substr(0, tab) == id) {
            found = std::string(line.substr(tab + 1));
        }
    }
    return found;
}

// ==== CIncoming ====

void CIncoming::Load(std::string_view bytes, uint32_t codePage, int64_t deliveryTime) {
    mapi::ReadOptions options;
    options.codePage = codePage;
    options.fallbackTime = deliveryTime;
    m_message = mapi::IncomingMessage{};
    mapi::ParseMessage(bytes, options, &m_message);
    m_priority = PriorityOfHeaders(bytes);
}

int32_t CIncoming::GetHeader(uint32_t count, VIMATTRDESC* attrs) const {
    if (count > 0 && attrs == nullptr) {
        return VIMSTS_BAD_PARAM;
    }
    int32_t result = 0;
    auto fail = [&](int32_t code) {
        if (result == 0) {
            result = code;
        }
    };
    for (uint32_t i = 0; i < count; ++i) {
        VIMATTRDESC& attr = attrs[i];
        if (attr.buffer == nullptr) {
            fail(VIMSTS_BAD_PARAM);
            continue;
        }
        switch (attr.item) {
            case VIM_ITEM_ORIGINATOR: {
                if (attr.size < sizeof(VIMADDRESS)) {
                    fail(VIMSTS_BAD_PARAM);
                    break;
                }
                const VIMADDRESS record =
                    m_message.hasOriginator
                        ? AddressRecord(m_message.originator.name, m_message.originator.address)
                        : AddressRecord("", "");
                std::memcpy(attr.buffer, &record, sizeof record);
                break;
            }
            case VIM_ITEM_SUBJECT:
                CopyText(m_message.subject, static_cast<char*>(attr.buffer), attr.size);
                break;
            case VIM_ITEM_CONVERSATION_ID:
                CopyText(m_message.conversationId, static_cast<char*>(attr.buffer), attr.size);
                break;
            case VIM_ITEM_DATE: {
                if (attr.size < 12) {
                    fail(VIMSTS_BAD_PARAM);
                    break;
                }
                uint32_t words[3] = {0, VIM_DATE_NONE, VIM_DATE_NONE};
                if (m_message.date != 0) {
                    VimDateOf(m_message.date, &words[1], &words[2]);
                }
                std::memcpy(attr.buffer, words, sizeof words);
                break;
            }
            case VIM_ITEM_PRIORITY:
            case VIM_ITEM_READ_CONFIRM:
            case VIM_ITEM_DELIVERY_CONFIRM: {
                if (attr.size < 2) {
                    fail(VIMSTS_BAD_PARAM);
                    break;
                }
                const uint16_t value = attr.item == VIM_ITEM_PRIORITY ? m_priority
                                       : attr.item == VIM_ITEM_READ_CONFIRM
                                           ? (m_message.receiptRequested ? 1 : 0)
                                           : 0;
                PutWord16(attr.buffer, value);
                break;
            }
            default:
                fail(VIMSTS_UNSUPPORTED);
                break;
        }
    }
    return result;
}

int32_t CIncoming::EnumerateItems(VIMPOS* position, uint16_t* count, VIMITEMDESC* items,
                                  uint16_t* more) const {
    if (position == nullptr || count == nullptr || more == nullptr ||
        (*count > 0 && items == nullptr)) {
        return VIMSTS_BAD_PARAM;
    }
    const bool hasText = !m_message.noteText.empty();
    const size_t total = (hasText ? 1 : 0) + m_message.attachments.size();
    size_t next = position->word1;
    const uint16_t wanted = *count;
    *count = 0;
    while (*count < wanted && next < total) {
        VIMITEMDESC& desc = items[*count];
        desc = VIMITEMDESC{};
        desc.ref = VIMREF{static_cast<uint32_t>(next + 1), 0};
        if (hasText && next == 0) {
            desc.itemClass = VIM_CLASS_TEXT;
            desc.size =
                static_cast<uint32_t>(std::min<size_t>(m_message.noteText.size(), UINT32_MAX));
            CopyText("VIM_TEXT", desc.type, sizeof desc.type);
        } else {
            const mapi::AttachmentData& file = m_message.attachments[next - (hasText ? 1 : 0)];
            desc.itemClass = VIM_CLASS_FILE;
            desc.size = static_cast<uint32_t>(std::min<size_t>(file.data.size(), UINT32_MAX));
            CopyText("VIM_FILE", desc.type, sizeof desc.type);
            CopyText(file.fileName, desc.name, sizeof desc.name);
            CopyText(file.diskName, desc.fileName, sizeof desc.fileName);
        }
        ++next;
        ++*count;
    }
    position->word1 = static_cast<uint32_t>(next);
    *more = next < total ? 1 : 0;
    return 0;
}

int32_t CIncoming::ItemContents(VIMREF item, std::string* out) const {
    const bool hasText = !m_message.noteText.empty();
    const size_t total = (hasText ? 1 : 0) + m_message.attachments.size();
    if (item.key1 == 0 || item.key1 > total || item.key2 != 0) {
        return VIMSTS_NO_SUCH_ITEM;
    }
    const size_t index = item.key1 - 1;
    if (hasText && index == 0) {
        *out = m_message.noteText;
    } else {
        *out = m_message.attachments[index - (hasText ? 1 : 0)].data;
    }
    return 0;
}

int32_t CIncoming::EnumerateRecipients(uint32_t recipientClass, VIMPOS* position,
                                       uint32_t attrCount, VIMATTRDESC* attrs, uint16_t* count,
                                       uint16_t* more) const {
    if (position == nullptr || count == nullptr || more == nullptr ||
        (attrCount > 0 && attrs == nullptr)) {
        return VIMSTS_BAD_PARAM;
    }
    ULONG mapiClass = 0;
    switch (recipientClass) {
        case VIM_CLASS_TO:
            mapiClass = MAPI_TO;
            break;
        case VIM_CLASS_CC:
            mapiClass = MAPI_CC;
            break;
        case VIM_CLASS_BCC:
            mapiClass = MAPI_BCC;
            break;
        default:
            return VIMSTS_UNSUPPORTED;
    }
    std::vector<const mapi::RecipientText*> ofClass;
    for (const mapi::RecipientText& recipient : m_message.recips) {
        if (recipient.recipClass == mapiClass) {
            ofClass.push_back(&recipient);
        }
    }
    for (uint32_t a = 0; a < attrCount; ++a) {
        if (attrs[a].item != VIM_ATTR_RECIPIENT) {
            return VIMSTS_UNSUPPORTED;
        }
        if (attrs[a].size < sizeof(VIMADDRESS) || attrs[a].buffer == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
    }
    size_t next = position->word1;
    const uint16_t wanted = *count;
    *count = 0;
    while (*count < wanted && next < ofClass.size()) {
        const VIMADDRESS record = AddressRecord(ofClass[next]->name, ofClass[next]->address);
        for (uint32_t a = 0; a < attrCount; ++a) {
            std::memcpy(static_cast<char*>(attrs[a].buffer) + size_t{*count} * attrs[a].size,
                        &record, sizeof record);
        }
        ++next;
        ++*count;
    }
    position->word1 = static_cast<uint32_t>(next);
    *more = next < ofClass.size() ? 1 : 0;
    return 0;
}

// ==== COutgoing ====

int32_t COutgoing::SetHeader(uint32_t item, uint32_t size, const void* value) {
    if (value == nullptr && size > 0) {
        return VIMSTS_BAD_PARAM;
    }
    const char* bytes = static_cast<const char*>(value);
    switch (item) {
        case VIM_ITEM_SUBJECT:
            subject = size > 0 ? std::string(bytes, strnlen(bytes, size)) : std::string();
            return 0;
        case VIM_ITEM_CONVERSATION_ID:
            conversationId = size > 0 ? std::string(bytes, strnlen(bytes, size)) : std::string();
            return 0;
        case VIM_ITEM_READ_CONFIRM:
        case VIM_ITEM_DELIVERY_CONFIRM:
        case VIM_ITEM_PRIORITY:
        case VIM_ITEM_FLAG_59:
        case VIM_ITEM_FLAG_60: {
            if (size < 2) {
                return VIMSTS_BAD_PARAM;
            }
            const uint16_t word = Word16(value);
            if (item == VIM_ITEM_READ_CONFIRM) {
                readConfirm = word;
            } else if (item == VIM_ITEM_DELIVERY_CONFIRM) {
                deliveryConfirm = word;
            } else if (item == VIM_ITEM_PRIORITY) {
                if (word > 2) {
                    return VIMSTS_BAD_PARAM;
                }
                priority = word;
            }
            return 0;
        }
        default:
            return VIMSTS_UNSUPPORTED;
    }
}

int32_t COutgoing::SetRecipient(uint32_t recipientClass, const VIMADDRESS& address) {
    if (recipientClass != VIM_CLASS_TO && recipientClass != VIM_CLASS_CC &&
        recipientClass != VIM_CLASS_BCC) {
        return VIMSTS_UNSUPPORTED;
    }
    Recipient recipient;
    recipient.recipientClass = recipientClass;
    recipient.address = address;
    // Texts that arrive without their terminator end at their field's end.
    recipient.address.bookName[sizeof recipient.address.bookName - 1] = '\0';
    recipient.address.displayName[sizeof recipient.address.displayName - 1] = '\0';
    recipient.address.address[sizeof recipient.address.address - 1] = '\0';
    recipients.push_back(recipient);
    return 0;
}

int32_t COutgoing::SetItem(uint32_t itemClass, const char* type, const char* name,
                           const char* fileName, const VIMDATA* data) {
    if (itemClass == VIM_CLASS_TEXT) {
        if (data == nullptr || (data->size > 0 && data->data == nullptr)) {
            return VIMSTS_BAD_PARAM;
        }
        (void)type;  // wrapped or not, the text is sent as it is given
        const char* bytes = static_cast<const char*>(data->data);
        text.append(bytes, data->size > 0 ? strnlen(bytes, data->size) : 0);
        return 0;
    }
    if (itemClass == VIM_CLASS_FILE) {
        if (fileName == nullptr || fileName[0] == '\0') {
            return VIMSTS_BAD_PARAM;
        }
        files.push_back(File{name != nullptr ? name : "", fileName});
        return 0;
    }
    return VIMSTS_UNSUPPORTED;
}

// ==== CSession ====

int32_t CSession::Open(const std::string& postOffice, std::string_view user,
                       std::string_view password, uint32_t charSet) {
    const int32_t opened = m_postOffice.Open(postOffice);
    if (opened == VIMSTS_NO_POST_OFFICE) {
        return opened;
    }
    if (opened != 0) {
        return VIMSTS_FAILURE;
    }
    const int32_t checked = m_postOffice.Authenticate(user, password, &m_user);
    if (checked != 0) {
        return checked;
    }
    if (charSet == VIM_CHARSET_SHIFT_JIS) {
        m_codePage = 932;
    } else {
        m_codePage = platform::ActiveCodePage() == 932 ? 1252 : platform::ActiveCodePage();
    }
    const std::string folder = m_postOffice.AccountFolder(m_user);
    for (const char* sub : {"tmp", "new", "cur"}) {
        if (platform::CreateDirectories(platform::JoinPath(folder, sub), 0700) != 0) {
            return VIMSTS_FAILURE;
        }
    }
    m_inbox = std::make_unique<CMailbox>(folder);
    return 0;
}

std::string CSession::OwnAddress() const {
    return m_user.name + "@" + m_postOffice.Config().domain;
}

int32_t CSession::MatchBook(const std::vector<BookEntry>& entries, std::string_view text,
                            size_t* index) const {
    text = Trim(text);
    if (text.empty()) {
        return VIMSTS_NO_MATCH;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if ((!entries[i].name.empty() && EqualNoCase(entries[i].name, text)) ||
            EqualNoCase(entries[i].address, text)) {
            *index = i;
            return 0;
        }
    }
    return VIMSTS_NO_MATCH;
}

int32_t CSession::RouteOf(const VIMADDRESS& record, Route* out) {
    const std::string book = FieldText(record.bookName, sizeof record.bookName);
    std::string display = FieldText(record.displayName, sizeof record.displayName);
    std::string text = FieldText(record.address, sizeof record.address);
    if (!book.empty()) {
        // An entry of an address book, named by its entry text.
        std::vector<BookEntry> entries;
        const int32_t loaded = m_postOffice.LoadBook(book, m_codePage, &entries);
        if (loaded != 0) {
            return VIMSTS_UNKNOWN_RECIPIENT;
        }
        size_t index = 0;
        if (MatchBook(entries, text.empty() ? display : text, &index) != 0) {
            return VIMSTS_UNKNOWN_RECIPIENT;
        }
        display = entries[index].name;
        text = entries[index].address;
    }
    if (Trim(text).empty()) {
        text = display;
    }
    text = std::string(Trim(text));
    out->name = display == text ? std::string() : display;

    // "someone@host at <gateway>": the Internet, through the post office's gateway.
    const std::string& gateway = m_postOffice.Config().gateway;
    const size_t at = platform::FindNoCaseMb(text, " at ");
    if (at != std::string::npos) {
        size_t last = at;
        for (size_t from = at + 1;;) {
            const size_t again =
                platform::FindNoCaseMb(std::string_view(text).substr(from), " at ");
            if (again == std::string::npos) {
                break;
            }
            last = from + again;
            from = last + 1;
        }
        const std::string_view where = Trim(std::string_view(text).substr(last + 4));
        const std::string_view who = Trim(std::string_view(text).substr(0, last));
        if (!gateway.empty() && EqualNoCase(where, gateway) &&
            who.find('@') != std::string_view::npos && who.find(' ') == std::string_view::npos) {
            out->account = nullptr;
            out->address = std::string(who);
            return 0;
        }
        return VIMSTS_UNKNOWN_RECIPIENT;
    }
    // An account, by name, display name, or name@domain of this post office.
    std::string local = text;
    const size_t atSign = text.rfind('@');
    if (atSign != std::string::npos) {
        if (!EqualNoCase(std::string_view(text).substr(atSign + 1), m_postOffice.Config().domain)) {
            return VIMSTS_UNKNOWN_RECIPIENT;
        }
        local = text.substr(0, atSign);
    }
    const UserEntry* account = m_postOffice.FindUserByNameOrDisplay(local);
    if (account == nullptr) {
        return VIMSTS_UNKNOWN_RECIPIENT;
    }
    out->account = account;
    out->address = account->name + "@" + m_postOffice.Config().domain;
    if (out->name.empty()) {
        out->name = account->displayName;
    }
    return 0;
}

int32_t CSession::Send(const COutgoing& message) {
    if (message.recipients.empty()) {
        return VIMSTS_NO_RECIPIENTS;
    }
    // Every recipient is placed before anything goes anywhere.
    std::vector<Route> routes(message.recipients.size());
    for (size_t i = 0; i < message.recipients.size(); ++i) {
        const int32_t routed = RouteOf(message.recipients[i].address, &routes[i]);
        if (routed != 0) {
            return routed;
        }
    }

    // The mail itself is built by the same MIME code as the Simple MAPI library's.
    std::vector<MapiRecipDesc> recips(routes.size());
    for (size_t i = 0; i < routes.size(); ++i) {
        const uint32_t cls = message.recipients[i].recipientClass;
        recips[i].ulRecipClass = cls == VIM_CLASS_TO   ? MAPI_TO
                                 : cls == VIM_CLASS_CC ? MAPI_CC
                                                       : MAPI_BCC;
        recips[i].lpszName = routes[i].name.empty() ? nullptr : routes[i].name.data();
        recips[i].lpszAddress = routes[i].address.data();
    }
    std::vector<MapiFileDesc> files(message.files.size());
    std::vector<std::string> fileTexts;
    fileTexts.reserve(message.files.size() * 2);
    for (size_t i = 0; i < message.files.size(); ++i) {
        fileTexts.push_back(message.files[i].path);
        char* path = fileTexts.back().data();
        fileTexts.push_back(message.files[i].name);
        char* name = fileTexts.back().empty() ? nullptr : fileTexts.back().data();
        files[i] = MapiFileDesc{0, 0, 0xFFFFFFFFu, path, name, nullptr};
    }
    std::string subject = message.subject;
    std::string text = message.text;
    std::string conversation = message.conversationId;
    MapiMessage mapiMessage{};
    mapiMessage.lpszSubject = subject.data();
    mapiMessage.lpszNoteText = text.data();
    mapiMessage.lpszConversationID = conversation.empty() ? nullptr : conversation.data();
    mapiMessage.flFlags = message.readConfirm != 0 ? MAPI_RECEIPT_REQUESTED : 0;
    mapiMessage.nRecipCount = static_cast<ULONG>(recips.size());
    mapiMessage.lpRecips = recips.data();
    mapiMessage.nFileCount = static_cast<ULONG>(files.size());
    mapiMessage.lpFiles = files.empty() ? nullptr : files.data();

    const PostOfficeConfig& config = m_postOffice.Config();
    mapi::MapiProfile identity;
    identity.address = OwnAddress();
    identity.displayName = m_user.displayName;
    identity.smtpUrl = config.smtpUrl;
    identity.smtpUser = config.smtpUser;
    identity.smtpPassword = config.smtpPassword;
    identity.smtpStartTls = config.smtpStartTls;
    mapi::OutgoingMail mail;
    const int32_t built =
        mapi::BuildOutgoingMail(mapiMessage, identity, mapi::CAddressBook(), m_codePage, &mail);
    if (built != 0) {
        return StatusOfMapi(built);
    }
    if (message.priority != 1) {
        const char* header =
            message.priority == 2 ? "X-Priority: 1 (Highest)" : "X-Priority: 5 (Lowest)";
        mail.stored = WithHeader(mail.stored, header, "\n");
        mail.wire = WithHeader(mail.wire, header, "\r\n");
    }

    // Local accounts: written and flushed under each tmp/ first. Only when the gateway
    // took its part are they renamed into new/, so a failure anywhere leaves no message in
    // any inbox.
    std::vector<StagedDelivery> staged;
    std::vector<std::string> gatewayRecipients;
    for (const Route& route : routes) {
        if (route.account == nullptr) {
            gatewayRecipients.push_back(route.address);
            continue;
        }
        const std::string folder = m_postOffice.AccountFolder(*route.account);
        bool already = false;
        for (const StagedDelivery& delivery : staged) {
            already = already || delivery.finalPath.rfind(folder + "/", 0) == 0;
        }
        if (already) {
            continue;  // one copy per account, however often it is named
        }
        StagedDelivery delivery;
        const int32_t rc = Stage(folder, mail.stored, &delivery);
        if (rc != 0) {
            Unstage(staged);
            return rc;
        }
        staged.push_back(std::move(delivery));
    }
    if (!gatewayRecipients.empty()) {
        int32_t sent = 0;
        if (config.transport == "smtp") {
            mapi::OutgoingMail gatewayMail = mail;
            gatewayMail.recipients = gatewayRecipients;
            sent = mapi::SendOverSmtp(identity, gatewayMail);
        } else {
            std::string id;
            sent = mapi::DeliverToMaildir(config.gatewayDrop, mail.stored, false, &id);
        }
        if (sent != 0) {
            Unstage(staged);
            const int32_t status = StatusOfMapi(sent);
            return status == VIMSTS_FAILURE ? VIMSTS_SEND_FAILED : status;
        }
    }
    int32_t result = 0;
    for (StagedDelivery& delivery : staged) {
        std::error_code error;
        fs::rename(delivery.tmpPath, delivery.finalPath, error);
        if (error) {
            (void)platform::RemoveFile(delivery.tmpPath);  // no half message is left behind
            result = VIMSTS_SEND_FAILED;
        }
        delivery.tmpPath.clear();
    }
    return result;
}

}  // namespace vim

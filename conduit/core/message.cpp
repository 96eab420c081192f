// Messages, recipients and their archive forms.
#include "conduit/core/message.h"

#include "conduit/core/message_mgr.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace torrim {
namespace {

// Smallest archive form of a recipient (kind and two empty texts) and of a message (every
// number, every text empty, no recipient): a count read from a file is checked against
// these before anything is allocated for it.
constexpr size_t MIN_RECIPIENT_BYTES = 4 + 1 + 1;
// Texts read from an archive go through scratch strings kept from one read to the next;
// one that grew past this is released afterwards rather than kept for the process's life.
constexpr size_t SCRATCH_KEPT = 65536;

[[maybe_unused]] const bool g_registered =
    platform::RegisterClass("CRecipient", 1,
                            [] { return std::unique_ptr<platform::CObject>(new CRecipient()); }) &&
    platform::RegisterClass(
        "CRecipientMgr", 1,
        [] { return std::unique_ptr<platform::CObject>(new CRecipientMgr()); }) &&
    platform::RegisterClass("CMessage", 1,
                            [] { return std::unique_ptr<platform::CObject>(new CMessage()); });

}  // namespace

void CRecipient::Serialize(platform::CArchive& archive) {
    archive.I32(m_kind);
    archive.String(m_name);
    archive.String(m_address);
}

struct CRecipientMgr::Header {
    uint32_t count;     // recipients stored
    uint32_t used;      // bytes of them after the header
    uint32_t capacity;  // bytes room after the header
    // The key and offset of the recipient after the last one looked up.
    uint32_t cursorKey;
    uint32_t cursorOffset;
};

namespace {

// Each recipient: kind, name length and address length (32 bits each), then the two texts.
constexpr size_t ENTRY_FIXED_BYTES = 12;

uint32_t ReadU32(const char* at) {
    uint32_t value = 0;
    std::memcpy(&value, at, sizeof(value));
    return value;
}

void WriteU32(char* at, uint32_t value) {
    std::memcpy(at, &value, sizeof(value));
}

}  // namespace

CRecipientMgr::~CRecipientMgr() = default;

CRecipientMgr::Header* CRecipientMgr::Head() const {
    return reinterpret_cast<Header*>(m_block.get());
}

uint32_t CRecipientMgr::Count() const {
    return m_block != nullptr ? Head()->count : 0;
}

void CRecipientMgr::RemoveAll() {
    m_block.reset();
}

bool CRecipientMgr::Reserve(size_t more) {
    const size_t used = m_block != nullptr ? Head()->used : 0;
    const size_t capacity = m_block != nullptr ? Head()->capacity : 0;
    if (more > std::numeric_limits<uint32_t>::max() - used) {
        return false;
    }
    if (used + more <= capacity) {
        return true;
    }
    // The first recipient gets exactly its room; later ones double it, so that appending
    // many costs a copy of the list only now and then.
    const size_t wanted =
        std::min<size_t>(std::max(used + more, capacity * 2), std::numeric_limits<uint32_t>::max());
    auto block = std::make_unique_for_overwrite<char[]>(sizeof(Header) + wanted);
    Header header{0, 0, 0, 0, 0};
    if (m_block != nullptr) {
        header = *Head();
        std::memcpy(block.get() + sizeof(Header), m_block.get() + sizeof(Header), used);
    }
    header.capacity = static_cast<uint32_t>(wanted);
    std::memcpy(block.get(), &header, sizeof(Header));
    m_block = std::move(block);
    return true;
}

void CRecipientMgr::ShrinkToFit() {
    if (m_block == nullptr || Head()->used == Head()->capacity) {
        return;
    }
    const uint32_t used = Head()->used;
    auto block = std::make_unique_for_overwrite<char[]>(sizeof(Header) + used);
    std::memcpy(block.get(), m_block.get(), sizeof(Header) + used);
    m_block = std::move(block);
    Head()->capacity = used;
}

void CRecipientMgr::Append(int32_t kind, std::string_view name, std::string_view address) {
    const size_t size = ENTRY_FIXED_BYTES + name.size() + address.size();
    if (name.size() > std::numeric_limits<uint32_t>::max() ||
        address.size() > std::numeric_limits<uint32_t>::max() || !Reserve(size)) {
        throw std::length_error("recipient list over 4 GB");
    }
    Header* header = Head();
    char* at = m_block.get() + sizeof(Header) + header->used;
    WriteU32(at, static_cast<uint32_t>(kind));
    WriteU32(at + 4, static_cast<uint32_t>(name.size()));
    WriteU32(at + 8, static_cast<uint32_t>(address.size()));
    if (!name.empty()) {
        std::memcpy(at + ENTRY_FIXED_BYTES, name.data(), name.size());
    }
    if (!address.empty()) {
        std::memcpy(at + ENTRY_FIXED_BYTES + name.size(), address.data(), address.size());
    }
    header->used += static_cast<uint32_t>(size);
    ++header->count;
}

void CRecipientMgr::Append(std::unique_ptr<CRecipient> recipient) {
    Append(recipient->m_kind, recipient->m_name, recipient->m_address);
}

RecipientView CRecipientMgr::At(uint32_t offset, uint32_t* next) const {
    const char* at = m_block.get() + sizeof(Header) + offset;
    const uint32_t nameLength = ReadU32(at + 4);
    const uint32_t addressLength = ReadU32(at + 8);
    *next = offset + static_cast<uint32_t>(ENTRY_FIXED_BYTES) + nameLength + addressLength;
    return RecipientView{static_cast<int32_t>(ReadU32(at)),
                         std::string_view(at + ENTRY_FIXED_BYTES, nameLength),
                         std::string_view(at + ENTRY_FIXED_BYTES + nameLength, addressLength)};
}

uint32_t CRecipientMgr::OffsetOf(uint32_t key) const {
    Header* header = Head();
    uint32_t at = 0;
    uint32_t offset = 0;
    if (header->cursorKey <= key) {
        at = header->cursorKey;
        offset = header->cursorOffset;
    }
    for (; at < key; ++at) {
        (void)At(offset, &offset);
    }
    return offset;
}

std::optional<RecipientView> CRecipientMgr::Lookup(uint32_t key) const {
    if (key >= Count()) {
        return std::nullopt;
    }
    uint32_t next = 0;
    const RecipientView recipient = At(OffsetOf(key), &next);
    Head()->cursorKey = key + 1;
    Head()->cursorOffset = next;
    return recipient;
}

std::optional<RecipientView> CRecipientMgr::NextOfKind(int32_t kind, uint32_t* position) const {
    const uint32_t count = Count();
    if (*position >= count) {
        *position = count;
        return std::nullopt;
    }
    uint32_t offset = OffsetOf(*position);
    for (uint32_t key = *position; key < count; ++key) {
        uint32_t next = 0;
        const RecipientView recipient = At(offset, &next);
        if (recipient.m_kind == kind) {
            *position = key + 1;
            Head()->cursorKey = key + 1;
            Head()->cursorOffset = next;
            return recipient;
        }
        offset = next;
    }
    *position = count;
    return std::nullopt;
}

void CRecipientMgr::Serialize(platform::CArchive& archive) {
    if (archive.IsStoring()) {
        int32_t count = static_cast<int32_t>(Count());
        archive.I32(count);
        uint32_t offset = 0;
        for (int32_t key = 0; key < count; ++key) {
            const RecipientView recipient = At(offset, &offset);
            int32_t kind = recipient.m_kind;
            archive.I32(kind);
            archive.StoreString(recipient.m_name);
            archive.StoreString(recipient.m_address);
        }
        return;
    }
    RemoveAll();
    int32_t count = 0;
    if (!archive.LoadCount(count, MIN_RECIPIENT_BYTES)) {
        return;
    }
    // Reused from one recipient to the next (and one message to the next).
    thread_local std::string name;
    thread_local std::string address;
    for (int32_t key = 0; key < count; ++key) {
        int32_t kind = 0;
        archive.I32(kind);
        archive.String(name);
        archive.String(address);
        if (!archive.Ok()) {
            break;
        }
        Append(kind, name, address);
    }
    ShrinkToFit();
    if (name.capacity() > SCRATCH_KEPT || address.capacity() > SCRATCH_KEPT) {
        name = std::string();
        address = std::string();
    }
}

CMessage::CMessage() = default;

CMessage::~CMessage() = default;

void CMessage::SetRecordId(uint32_t recordId) {
    if (m_pOwner != nullptr && recordId != m_recordId) {
        m_pOwner->OnRecordIdChange(m_ownerKey, m_recordId, recordId);
    }
    m_recordId = recordId;
}

void CMessage::SetDesktopId(std::string_view desktopId) {
    if (m_pOwner != nullptr && desktopId != DesktopId()) {
        m_pOwner->OnDesktopIdChange(m_ownerKey, DesktopId(), desktopId);
    }
    m_texts.Set(TEXT_DESKTOP_ID, desktopId);
}

void CMessage::SetSubject(std::string_view subject) {
    if (m_pOwner != nullptr && subject != Subject()) {
        m_pOwner->OnSubjectChange(m_ownerKey, Subject(), subject);
    }
    m_texts.Set(TEXT_SUBJECT, subject);
}

void CMessage::AddRecipient(int32_t kind, std::string_view name, std::string_view address) {
    m_pRecipients->Append(kind, name, address);
    if (kind >= RECIPIENT_TO && kind <= RECIPIENT_BCC) {
        ++m_counts[kind - RECIPIENT_TO];
    }
}

void CMessage::Serialize(platform::CArchive& archive) {
    if (archive.IsStoring()) {
        archive.U32(m_recordId);
        archive.StoreString(DesktopId());
        archive.I32(m_category);
        archive.I32(m_readOnDesktop);
        archive.I32(m_readOnHandheld);
        archive.I32(m_onHandheld);
        archive.U32(m_date);
        archive.StoreString(Subject());
        archive.StoreString(FromName());
        archive.StoreString(FromAddress());
        archive.StoreString(Body());
        archive.I32(m_priority);
        archive.I32(m_confirmRead);
        archive.I32(m_confirmDelivery);
        archive.I32(m_signature);
        archive.I32(m_truncated);
        archive.StoreString(ConversationId());
        for (int32_t& count : m_counts) {
            archive.I32(count);
        }
        m_pRecipients->Serialize(archive);
        return;
    }
    // The texts are read into scratch strings, then packed into the message at once.
    thread_local std::array<std::string, TEXT_SLOTS> texts;
    archive.U32(m_recordId);
    archive.String(texts[TEXT_DESKTOP_ID]);
    archive.I32(m_category);
    archive.I32(m_readOnDesktop);
    archive.I32(m_readOnHandheld);
    archive.I32(m_onHandheld);
    archive.U32(m_date);
    archive.String(texts[TEXT_SUBJECT]);
    archive.String(texts[TEXT_FROM_NAME]);
    archive.String(texts[TEXT_FROM_ADDRESS]);
    archive.String(texts[TEXT_BODY]);
    archive.I32(m_priority);
    archive.I32(m_confirmRead);
    archive.I32(m_confirmDelivery);
    archive.I32(m_signature);
    archive.I32(m_truncated);
    archive.String(texts[TEXT_CONVERSATION_ID]);
    for (int32_t& count : m_counts) {
        archive.I32(count);
    }
    std::array<std::string_view, TEXT_SLOTS> views;
    for (size_t i = 0; i < TEXT_SLOTS; ++i) {
        views[i] = texts[i];
    }
    m_texts.Assign(views);
    for (std::string& text : texts) {
        if (text.capacity() > SCRATCH_KEPT) {
            text = std::string();
        }
    }
    if (!archive.Ok()) {
        return;
    }
    m_pRecipients->Serialize(archive);
}

}  // namespace torrim

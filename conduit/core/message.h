// One mail message and its recipient list, as read from the handheld, from the desktop
// mail system or from the saved message state.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/archive.h"

namespace torrim {

class CMessageMgr;

enum RecipientKind : int32_t { RECIPIENT_TO = 1, RECIPIENT_CC = 2, RECIPIENT_BCC = 3 };

// Handheld categories (m_category): the desktop's copies of its inbox messages (0), the
// outbox (1), messages deleted on the handheld (2), and the kept categories of messages that
// exist only on the handheld: filed (3) and drafts (4).
inline constexpr int32_t CATEGORY_INBOX = 0;
inline constexpr int32_t CATEGORY_OUTBOX = 1;
inline constexpr int32_t CATEGORY_DELETED = 2;
inline constexpr int32_t CATEGORY_FILED = 3;
inline constexpr int32_t CATEGORY_DRAFT = 4;

// A recipient on its own: what Append takes and what the archive form reads and writes.
class CRecipient : public platform::CObject {
public:
    CRecipient() = default;
    CRecipient(int32_t kind, std::string name, std::string address)
        : m_kind(kind), m_name(std::move(name)), m_address(std::move(address)) {}

    int32_t m_kind = RECIPIENT_TO;
    std::string m_name;     // display name, may be empty
    std::string m_address;  // address

    const char* ClassName() const override { return "CRecipient"; }
    // kind, name, address.
    void Serialize(platform::CArchive& archive) override;
};

// A recipient as a list holds it: its texts stay valid until the list changes.
struct RecipientView {
    int32_t m_kind = RECIPIENT_TO;
    std::string_view m_name;
    std::string_view m_address;
};

// The recipients of one message under keys 0, 1, 2, ... in the order they were added.
// They are kept packed in one heap block (kind and two lengths, then the two texts, one
// recipient after the other): the state holds a list for every message it remembers.
class CRecipientMgr : public platform::CObject {
public:
    CRecipientMgr() = default;
    ~CRecipientMgr() override;
    CRecipientMgr(const CRecipientMgr&) = delete;
    CRecipientMgr& operator=(const CRecipientMgr&) = delete;

    // Stores the recipient under key = current count.
    void Append(std::unique_ptr<CRecipient> recipient);
    void Append(int32_t kind, std::string_view name, std::string_view address);
    uint32_t Count() const;
    std::optional<RecipientView> Lookup(uint32_t key) const;
    // The first recipient of `kind` at a key from *position up to the count; *position is
    // then set just after it. Nothing when there is none (*position is then the count).
    std::optional<RecipientView> NextOfKind(int32_t kind, uint32_t* position) const;
    void RemoveAll();

    const char* ClassName() const override { return "CRecipientMgr"; }
    // Writes the count and the recipients of keys 0, 1, ... in order; loading recreates
    // them under keys 0 to count - 1. A damaged archive leaves the recipients read in full
    // before the damage and sets the archive's error.
    void Serialize(platform::CArchive& archive) override;

private:
    struct Header;
    Header* Head() const;
    // The recipient stored at `offset` in the block, and the offset of the one after it.
    RecipientView At(uint32_t offset, uint32_t* next) const;
    // The offset of `key` (< count): walked from the last recipient looked up when that
    // is not past it, so that visiting the keys in order costs one step each.
    uint32_t OffsetOf(uint32_t key) const;
    // Makes room for `more` bytes; false when the list would pass the 4 GB a block holds.
    bool Reserve(size_t more);
    void ShrinkToFit();

    std::unique_ptr<char[]> m_block;  // null while the list is empty
};

// Texts of N fixed slots kept in one heap block: the end offset of each text, then their
// bytes one after the other. The offsets take 16 bits each while the texts come to less
// than 65535 bytes in all, as nearly all mail does; otherwise the block starts with the
// 16-bit mark 0xFFFF (never a first end in the short form) and two spare bytes, and the
// offsets take 32 bits. Null while every text is empty.
template <size_t N>
class CPackedTexts {
public:
    std::string_view Get(size_t slot) const {
        if (m_block == nullptr) {
            return std::string_view("", 0);  // never a null pointer, as a string's data
        }
        const char* block = m_block.get();
        uint16_t first = 0;
        std::memcpy(&first, block, sizeof(first));
        if (first != WIDE) {
            const uint32_t begin = slot == 0 ? 0 : Read<uint16_t>(block, slot - 1);
            return {block + 2 * N + begin, Read<uint16_t>(block, slot) - begin};
        }
        block += 4;
        const uint32_t begin = slot == 0 ? 0 : Read<uint32_t>(block, slot - 1);
        return {block + 4 * N + begin, Read<uint32_t>(block, slot) - begin};
    }
    // Replaces every text at once (the views may point into this block).
    void Assign(const std::array<std::string_view, N>& texts);
    void Set(size_t slot, std::string_view text) {
        std::array<std::string_view, N> texts;
        for (size_t i = 0; i < N; ++i) {
            texts[i] = i == slot ? text : Get(i);
        }
        Assign(texts);
    }

private:
    static constexpr uint16_t WIDE = 0xFFFF;
    template <typename T>
    static uint32_t Read(const char* offsets, size_t index) {
        T value = 0;
        std::memcpy(&value, offsets + index * sizeof(T), sizeof(T));
        return value;
    }
    template <typename T>
    static void Fill(char* block, const std::array<std::string_view, N>& texts) {
        char* bytes = block + N * sizeof(T);
        T end = 0;
        for (size_t i = 0; i < N; ++i) {
            if (!texts[i].empty()) {
                std::memcpy(bytes + end, texts[i].data(), texts[i].size());
            }
            end = static_cast<T>(end + texts[i].size());
            std::memcpy(block + i * sizeof(T), &end, sizeof(T));
        }
    }

    std::unique_ptr<char[]> m_block;
};

template <size_t N>
void CPackedTexts<N>::Assign(const std::array<std::string_view, N>& texts) {
    size_t total = 0;
    for (std::string_view text : texts) {
        total += text.size();
    }
    if (total == 0) {
        m_block.reset();
        return;
    }
    if (total > std::numeric_limits<uint32_t>::max()) {
        throw std::length_error("message texts over 4 GB");
    }
    std::unique_ptr<char[]> block;
    if (total < WIDE) {
        block = std::make_unique_for_overwrite<char[]>(2 * N + total);
        Fill<uint16_t>(block.get(), texts);
    } else {
        block = std::make_unique_for_overwrite<char[]>(4 + 4 * N + total);
        std::memcpy(block.get(), &WIDE, sizeof(WIDE));
        block[2] = 0;
        block[3] = 0;
        Fill<uint32_t>(block.get() + 4, texts);
    }
    m_block = std::move(block);  // the old block, which the views may point into, goes last
}

// Indexes of the five per-message counters.
enum MessageCounter : int {
    COUNT_TO = 0,
    COUNT_CC = 1,
    COUNT_BCC = 2,
    COUNT_BACKEND_1 = 3,
    COUNT_BACKEND_2 = 4,
};

class CMessage : public platform::CObject {
public:
    CMessage();
    ~CMessage() override;
    CMessage(const CMessage&) = delete;
    CMessage& operator=(const CMessage&) = delete;

    // The fields the state looks messages up by are set through these calls, so that a
    // message held by a CMessageMgr keeps that manager's indexes true.
    uint32_t RecordId() const { return m_recordId; }
    void SetRecordId(uint32_t recordId);
    std::string_view DesktopId() const { return m_texts.Get(TEXT_DESKTOP_ID); }
    void SetDesktopId(std::string_view desktopId);
    std::string_view Subject() const { return m_texts.Get(TEXT_SUBJECT); }
    void SetSubject(std::string_view subject);

    // The other texts. The views stay valid until a text of this message changes.
    std::string_view FromName() const { return m_texts.Get(TEXT_FROM_NAME); }
    void SetFromName(std::string_view name) { m_texts.Set(TEXT_FROM_NAME, name); }
    std::string_view FromAddress() const { return m_texts.Get(TEXT_FROM_ADDRESS); }
    void SetFromAddress(std::string_view address) { m_texts.Set(TEXT_FROM_ADDRESS, address); }
    std::string_view Body() const { return m_texts.Get(TEXT_BODY); }  // CR LF line ends
    void SetBody(std::string_view body) { m_texts.Set(TEXT_BODY, body); }
    std::string_view ConversationId() const { return m_texts.Get(TEXT_CONVERSATION_ID); }
    void SetConversationId(std::string_view id) { m_texts.Set(TEXT_CONVERSATION_ID, id); }

    // Adds a recipient and raises that kind's counter.
    void AddRecipient(int32_t kind, std::string_view name, std::string_view address);

    const char* ClassName() const override { return "CMessage"; }
    // The saved fields in file order; m_changeKind, the desktop keys and m_goneFromDesktop
    // are not saved. Loading is meant for a new message (not yet held by a manager).
    void Serialize(platform::CArchive& archive) override;

private:
    friend class CMessageMgr;

    enum TextSlot : size_t {
        TEXT_DESKTOP_ID,
        TEXT_SUBJECT,
        TEXT_FROM_NAME,
        TEXT_FROM_ADDRESS,
        TEXT_BODY,
        TEXT_CONVERSATION_ID,
        TEXT_SLOTS
    };
    // The six texts share one heap block: the state holds one message per message it
    // remembers, and separate strings would cost more than most of their texts.
    CPackedTexts<TEXT_SLOTS> m_texts;
    // The manager holding this message and its key there, for index upkeep.
    CMessageMgr* m_pOwner = nullptr;
    CRecipientMgr m_recipients;

public:
    CRecipientMgr* const m_pRecipients = &m_recipients;  // this message's own list
    int32_t m_desktopKey1 = 0;
    int32_t m_desktopKey2 = 0;
    int32_t m_category = 0;
    int32_t m_readOnDesktop = 0;
    int32_t m_readOnHandheld = 0;
    int32_t m_onHandheld = 0;
    // Seconds since 1970-01-01 00:00 UTC, 0 when unknown. Kept unsigned so that the 32 bits
    // stored in the state file reach the year 2106.
    uint32_t m_date = 0;
    int32_t m_priority = 1;  // 0 high, 1 normal, 2 low
    int32_t m_confirmRead = 0;
    int32_t m_confirmDelivery = 0;
    int32_t m_signature = 0;
    int32_t m_truncated = 0;
    int32_t m_counts[5] = {0, 0, 0, 0, 0};
    uint8_t m_changeKind = 0;       // 0 unchanged, 2 modified, 4 deleted on the handheld
    uint8_t m_goneFromDesktop = 0;  // 1 when gone from the desktop or not to be kept
    // Set by the desktop inbox walk on the entries it met, for that walk's own use.
    uint8_t m_seenOnDesktop = 0;

private:
    uint32_t m_recordId = 0;  // handheld record id, 0 when not on the handheld
    uint32_t m_ownerKey = 0;
};

}  // namespace torrim

// One mail message and its recipient list, as read from the handheld, from the desktop
// mail system or from the saved message state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/archive.h"

namespace torrim {

class CMessageMgr;

enum RecipientKind : int32_t { RECIPIENT_TO = 1, RECIPIENT_CC = 2, RECIPIENT_BCC = 3 };

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

// The recipients of one message under keys 0, 1, 2, ... in the order they were added.
class CRecipientMgr : public platform::CObject {
public:
    // Stores the recipient under key = current count (replacing one already there).
    void Append(std::unique_ptr<CRecipient> recipient);
    uint32_t Count() const { return static_cast<uint32_t>(m_recipients.size()); }
    const CRecipient* Lookup(uint32_t key) const;
    // The first recipient of `kind` at a key from *position up to the count; *position is
    // then set just after it. Missing keys are skipped. nullptr when there is none.
    const CRecipient* NextOfKind(int32_t kind, uint32_t* position) const;
    void RemoveAll() { m_recipients.clear(); }

    const char* ClassName() const override { return "CRecipientMgr"; }
    // Writes the count and the recipients of keys 0, 1, ... up to the first missing key;
    // loading recreates them under keys 0 to count - 1. A damaged archive leaves the
    // recipients read in full before the damage and sets the archive's error.
    void Serialize(platform::CArchive& archive) override;

private:
    // Keys are never missing: recipients are only appended, so key = position.
    std::vector<std::unique_ptr<CRecipient>> m_recipients;
};

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
    const std::string& DesktopId() const { return m_desktopId; }
    void SetDesktopId(std::string desktopId);
    const std::string& Subject() const { return m_subject; }
    void SetSubject(std::string subject);

    // Adds a recipient and raises that kind's counter.
    void AddRecipient(int32_t kind, std::string name, std::string address);

    const char* ClassName() const override { return "CMessage"; }
    // The saved fields in file order; m_changeKind, the desktop keys and m_goneFromDesktop
    // are not saved. Loading is meant for a new message (not yet held by a manager).
    void Serialize(platform::CArchive& archive) override;

    // Members are ordered by size so that the object has no padding: the state holds one
    // per message it remembers.
    std::string m_fromName;
    std::string m_fromAddress;
    std::string m_body;  // CR LF line ends
    std::string m_conversationId;

private:
    friend class CMessageMgr;

    std::string m_desktopId;
    std::string m_subject;
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

private:
    uint32_t m_recordId = 0;  // handheld record id, 0 when not on the handheld
    uint32_t m_ownerKey = 0;
};

}  // namespace torrim

// Messages, recipients and their archive forms.
#include "conduit/core/message.h"

#include "conduit/core/message_mgr.h"

namespace torrim {
namespace {

// Smallest archive form of a recipient (kind and two empty texts) and of a message (every
// number, every text empty, no recipient): a count read from a file is checked against
// these before anything is allocated for it.
constexpr size_t MIN_RECIPIENT_BYTES = 4 + 1 + 1;

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

void CRecipientMgr::Append(std::unique_ptr<CRecipient> recipient) {
    m_recipients.push_back(std::move(recipient));
}

const CRecipient* CRecipientMgr::Lookup(uint32_t key) const {
    return key < m_recipients.size() ? m_recipients[key].get() : nullptr;
}

const CRecipient* CRecipientMgr::NextOfKind(int32_t kind, uint32_t* position) const {
    for (uint32_t key = *position; key < Count(); ++key) {
        if (m_recipients[key]->m_kind == kind) {
            *position = key + 1;
            return m_recipients[key].get();
        }
    }
    *position = Count();
    return nullptr;
}

void CRecipientMgr::Serialize(platform::CArchive& archive) {
    if (archive.IsStoring()) {
        int32_t count = static_cast<int32_t>(Count());
        archive.I32(count);
        for (const auto& recipient : m_recipients) {
            recipient->Serialize(archive);
        }
        return;
    }
    m_recipients.clear();
    int32_t count = 0;
    archive.I32(count);
    if (count < 0) {
        archive.SetError(platform::AR_GENERIC);
        return;
    }
    if (!archive.CheckCount(static_cast<uint32_t>(count), MIN_RECIPIENT_BYTES)) {
        return;
    }
    m_recipients.reserve(static_cast<uint32_t>(count));
    for (int32_t key = 0; key < count; ++key) {
        auto recipient = std::make_unique<CRecipient>();
        recipient->Serialize(archive);
        if (!archive.Ok()) {
            return;
        }
        m_recipients.push_back(std::move(recipient));
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

void CMessage::SetDesktopId(std::string desktopId) {
    if (m_pOwner != nullptr && desktopId != m_desktopId) {
        m_pOwner->OnDesktopIdChange(m_ownerKey, m_desktopId, desktopId);
    }
    m_desktopId = std::move(desktopId);
}

void CMessage::SetSubject(std::string subject) {
    if (m_pOwner != nullptr && subject != m_subject) {
        m_pOwner->OnSubjectChange(m_ownerKey, m_subject, subject);
    }
    m_subject = std::move(subject);
}

void CMessage::AddRecipient(int32_t kind, std::string name, std::string address) {
    m_pRecipients->Append(std::make_unique<CRecipient>(kind, std::move(name), std::move(address)));
    if (kind >= RECIPIENT_TO && kind <= RECIPIENT_BCC) {
        ++m_counts[kind - RECIPIENT_TO];
    }
}

void CMessage::Serialize(platform::CArchive& archive) {
    archive.U32(m_recordId);
    archive.String(m_desktopId);
    archive.I32(m_category);
    archive.I32(m_readOnDesktop);
    archive.I32(m_readOnHandheld);
    archive.I32(m_onHandheld);
    archive.U32(m_date);
    archive.String(m_subject);
    archive.String(m_fromName);
    archive.String(m_fromAddress);
    archive.String(m_body);
    archive.I32(m_priority);
    archive.I32(m_confirmRead);
    archive.I32(m_confirmDelivery);
    archive.I32(m_signature);
    archive.I32(m_truncated);
    archive.String(m_conversationId);
    for (int32_t& count : m_counts) {
        archive.I32(count);
    }
    if (archive.IsLoading() && !archive.Ok()) {
        return;
    }
    m_pRecipients->Serialize(archive);
}

}  // namespace torrim

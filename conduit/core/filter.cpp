// The handheld's mail preferences and the filter decision.
#include "conduit/core/filter.h"

#include "conduit/core/address.h"
#include "conduit/core/message.h"

namespace torrim {
namespace {

constexpr size_t MIN_FILTER_WORD_BYTES = 4 + 1;

[[maybe_unused]] const bool g_registered =
    platform::RegisterClass("CFilterType", 1,
                            [] { return std::unique_ptr<platform::CObject>(new CFilterType()); }) &&
    platform::RegisterClass(
        "CFilterTypeMgr", 1,
        [] { return std::unique_ptr<platform::CObject>(new CFilterTypeMgr()); }) &&
    platform::RegisterClass("CFilter", 1,
                            [] { return std::unique_ptr<platform::CObject>(new CFilter()); });

bool AnyToRecipientContains(const CMessage& message, const std::string& word) {
    uint32_t position = 0;
    while (auto recipient = message.m_pRecipients->NextOfKind(RECIPIENT_TO, &position)) {
        if (ContainsIgnoringCase(recipient->m_name, word) ||
            ContainsIgnoringCase(recipient->m_address, word)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void CFilterType::Serialize(platform::CArchive& archive) {
    archive.I32(m_field);
    archive.String(m_word);
}

void CFilterTypeMgr::Add(std::unique_ptr<CFilterType> word) {
    m_words[Count()] = std::move(word);
}

const CFilterType* CFilterTypeMgr::Lookup(uint32_t index) const {
    const auto it = m_words.find(index);
    return it == m_words.end() ? nullptr : it->second.get();
}

void CFilterTypeMgr::Serialize(platform::CArchive& archive) {
    if (archive.IsStoring()) {
        int32_t count = static_cast<int32_t>(Count());
        archive.I32(count);
        for (auto& entry : m_words) {
            entry.second->Serialize(archive);
        }
        return;
    }
    RemoveAll();
    int32_t count = 0;
    if (!archive.LoadCount(count, MIN_FILTER_WORD_BYTES)) {
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        auto word = std::make_unique<CFilterType>();
        word->Serialize(archive);
        if (!archive.Ok()) {
            return;
        }
        Add(std::move(word));
    }
}

CFilter::CFilter() : m_words(std::make_unique<CFilterTypeMgr>()) {}

void CFilter::Serialize(platform::CArchive& archive) {
    archive.String(m_signatureText);
    archive.I32(m_maxSize);
    archive.I32(m_mode);
    archive.I32(m_highPriority);
    archive.I32(m_toCount);
    archive.I32(m_fromCount);
    archive.I32(m_subjectCount);
    if (archive.IsLoading() && !archive.Ok()) {
        return;
    }
    m_words->Serialize(archive);
}

int32_t PassesFilter(const CFilter& filter, const CMessage& message) {
    if (filter.m_mode == FILTER_ALL) {
        return 1;
    }
    if (filter.m_mode == FILTER_UNREAD_ONLY) {
        return message.m_readOnDesktop == 0 && message.m_readOnHandheld == 0 ? 1 : 0;
    }
    if (filter.m_highPriority == 1 && message.m_priority == 0) {
        return 1;
    }
    // A field without words counts as matched from the start; the message matches once
    // every field with words has matched one of them.
    bool toMatched = filter.m_toCount == 0;
    bool fromMatched = filter.m_fromCount == 0;
    bool subjectMatched = filter.m_subjectCount == 0;
    const uint32_t count = filter.m_words ? filter.m_words->Count() : 0;
    for (uint32_t index = 0; index < count; ++index) {
        const CFilterType* word = filter.m_words->Lookup(index);
        if (word == nullptr) {
            break;
        }
        if (word->m_field == FIELD_FROM && !fromMatched) {
            fromMatched = ContainsIgnoringCase(message.FromName(), word->m_word) ||
                          ContainsIgnoringCase(message.FromAddress(), word->m_word);
        } else if (word->m_field == FIELD_SUBJECT && !subjectMatched) {
            subjectMatched = ContainsIgnoringCase(message.Subject(), word->m_word);
        } else if (word->m_field == FIELD_TO && !toMatched) {
            toMatched = AnyToRecipientContains(message, word->m_word);
        }
        if (toMatched && fromMatched && subjectMatched) {
            return filter.m_mode == FILTER_RETRIEVE_MATCHING ? 1 : 0;
        }
    }
    return filter.m_mode == FILTER_IGNORE_MATCHING ? 1 : 0;
}

}  // namespace torrim

// The handheld's mail preferences: which desktop messages a sync copies to the handheld,
// the largest size copied, the filter words and the signature.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/archive.h"

namespace torrim {

class CMessage;

enum FilterMode : int32_t {
    FILTER_ALL = 0,
    FILTER_SEND_ONLY = 1,
    FILTER_UNREAD_ONLY = 3,
    FILTER_IGNORE_MATCHING = 100,
    FILTER_RETRIEVE_MATCHING = 101,
};

enum FilterField : int32_t { FIELD_TO = 0, FIELD_FROM = 1, FIELD_SUBJECT = 2 };

class CFilterType : public platform::CObject {
public:
    CFilterType() = default;
    CFilterType(int32_t field, std::string word) : m_field(field), m_word(std::move(word)) {}

    const char* ClassName() const override { return "CFilterType"; }
    void Serialize(platform::CArchive& archive) override;  // field, word

    int32_t m_field = FIELD_TO;
    std::string m_word;
};

// Filter words under indexes 0 to count - 1.
class CFilterTypeMgr : public platform::CObject {
public:
    void Add(std::unique_ptr<CFilterType> word);  // stored at index count
    uint32_t Count() const { return static_cast<uint32_t>(m_words.size()); }
    const CFilterType* Lookup(uint32_t index) const;
    void RemoveAll() { m_words.clear(); }

    const char* ClassName() const override { return "CFilterTypeMgr"; }
    // count, then each word in index order.
    void Serialize(platform::CArchive& archive) override;

private:
    std::map<uint32_t, std::unique_ptr<CFilterType>> m_words;
};

class CFilter : public platform::CObject {
public:
    CFilter();

    const char* ClassName() const override { return "CFilter"; }
    // signature, maximum size, mode, high-priority flag, the three counts, the words.
    void Serialize(platform::CArchive& archive) override;

    std::string m_signatureText;
    int32_t m_maxSize = 4000;
    int32_t m_mode = FILTER_ALL;
    int32_t m_highPriority = 1;
    int32_t m_toCount = 0;
    int32_t m_fromCount = 0;
    int32_t m_subjectCount = 0;
    std::unique_ptr<CFilterTypeMgr> m_words;
};

// 1 when the message is to be copied to the handheld, else 0.
int32_t PassesFilter(const CFilter& filter, const CMessage& message);

}  // namespace torrim

// Conversion of a message's registered string fields to Shift_JIS and their restoration.
#include "conduit/japanese/japanese_text_converter.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>

namespace torrim::japanese {

namespace {

bool IsNamed(const EncodingDetector* detector, const char* name) {
    return std::strcmp(detector->name, name) == 0;
}

const EncodingDetector* Utf8Detector() {
    for (const EncodingDetector& row : EncodingDetectorTable) {
        if (IsNamed(&row, "UTF-8")) {
            return &row;
        }
    }
    return nullptr;
}

bool IsEmpty(const char* s) {
    return s == nullptr || *s == '\0';
}

// Bytes above 0x7F that belong to complete, shortest-form UTF-8 sequences.
size_t BytesInUtf8Sequences(const char* s, size_t length) {
    size_t inSequences = 0;
    size_t i = 0;
    while (i < length) {
        const auto lead = static_cast<uint8_t>(s[i]);
        const int n = Utf8SequenceLength[lead];
        if (n < 2 || static_cast<size_t>(n) > length - i) {
            ++i;
            continue;
        }
        uint32_t value = lead;
        int k = 1;
        for (; k < n; ++k) {
            const auto next = static_cast<uint8_t>(s[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                break;
            }
            value = value * 64 + next;
        }
        if (k < n) {
            ++i;
            continue;
        }
        value -= Utf8SequenceOffsets[n];
        static constexpr uint32_t kShortest[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
        if (value >= kShortest[n]) {
            inSequences += static_cast<size_t>(n);
        }
        i += static_cast<size_t>(n);
    }
    return inSequences;
}

// A header that a client decoded into the desktop code page beside a UTF-8 body: not
// well-formed UTF-8, well-formed Shift_JIS, and mostly not made of UTF-8 sequences.
// Utf8ToShiftJis would turn it into question marks. Any other header is UTF-8, whole or
// with a broken or cut-off sequence (which becomes one "?").
bool IsForeignHeader(const char* s, size_t length, const Cp932CodeSet& codeSet) {
    if (ScoreUtf8(s, length, codeSet) > 0 || ScoreShiftJis(s, length, codeSet) == 0) {
        return false;
    }
    size_t high = 0;
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<uint8_t>(s[i]) > 0x7F) {
            ++high;
        }
    }
    return 2 * BytesInUtf8Sequences(s, length) < high;
}

}  // namespace

CJapaneseTextConverter::~CJapaneseTextConverter() {
    RestoreAll();
}

void CJapaneseTextConverter::AddBodySlot(char** slot) {
    AddSlot(&m_pBodySlots, slot);
}

void CJapaneseTextConverter::AddHeaderSlot(char** slot) {
    AddSlot(&m_pHeaderSlots, slot);
}

void CJapaneseTextConverter::AddSlot(TextSlot** head, char** slot) {
    auto* added = new (std::nothrow) TextSlot{slot, nullptr, nullptr, nullptr, *head};
    if (added != nullptr) {
        *head = added;
    }
}

void CJapaneseTextConverter::ConvertSlot(TextSlot* slot, const EncodingDetector* detector) {
    if (slot->copy != nullptr) {
        return;  // converted by an earlier ConvertAll
    }
    char* s = *slot->slot;
    const size_t length = std::strlen(s);
    char* copy = new (std::nothrow) char[length + 1];
    if (copy == nullptr) {
        return;
    }
    (void)detector->convert(copy, s, length);  // the copy is NUL-terminated; length unused
    Attach(slot, copy, detector);
}

void CJapaneseTextConverter::Attach(TextSlot* slot, char* copy, const EncodingDetector* detector) {
    slot->previous = *slot->slot;
    slot->copy = copy;
    slot->detector = detector;
    *slot->slot = copy;
}

void CJapaneseTextConverter::ConvertBodySlot(TextSlot* slot, const Cp932CodeSet& codeSet) {
    char* s = *slot->slot;
    const size_t length = std::strlen(s);
    // Plain text and Shift_JIS are settled without a copy.
    if (ScoreShiftJis(s, length, codeSet) == 100) {
        return;
    }
    char* copy = new (std::nothrow) char[length + 1];
    if (copy == nullptr) {
        return;
    }
    size_t written = 0;
    const EncodingDetector* detector = DetectAndConvert(copy, s, length, codeSet, &written);
    if (detector->convert == CopyShiftJis) {
        delete[] copy;
        return;
    }
    Attach(slot, copy, detector);
}

void CJapaneseTextConverter::ConvertAll() {
    Cp932CodeSet codeSet;
    BuildCp932CodeSet(&codeSet);

    size_t bodyCount = 0;
    for (TextSlot* slot = m_pBodySlots; slot != nullptr; slot = slot->next) {
        ++bodyCount;
        if (IsEmpty(*slot->slot) || slot->copy != nullptr) {
            continue;
        }
        ConvertBodySlot(slot, codeSet);
    }

    // Header fields of a UTF-8 message (subject, names, addresses) usually share its
    // encoding, but are too short to be detected reliably one by one: they follow the
    // body, unless one of them is clearly something else.
    if (bodyCount != 1 || m_pBodySlots->detector == nullptr ||
        !IsNamed(m_pBodySlots->detector, "UTF-8")) {
        return;
    }
    bool sawUtf8 = false;
    for (TextSlot* slot = m_pHeaderSlots; slot != nullptr; slot = slot->next) {
        const char* s = *slot->slot;
        if (IsEmpty(s)) {
            continue;
        }
        const size_t length = std::strlen(s);
        const EncodingDetector* detector = DetectEncoding(s, length, codeSet);
        if (IsNamed(detector, "UTF-8")) {
            sawUtf8 = true;
        } else if (!IsNamed(detector, "Shift_JIS")) {
            return;
        } else if (ScoreUtf8(s, length, codeSet) == 0 && !IsForeignHeader(s, length, codeSet)) {
            sawUtf8 = true;  // UTF-8 with a broken or cut-off sequence
        }
    }
    if (!sawUtf8) {
        return;
    }
    const EncodingDetector* utf8 = Utf8Detector();
    for (TextSlot* slot = m_pHeaderSlots; slot != nullptr; slot = slot->next) {
        const char* s = *slot->slot;
        if (!IsEmpty(s) && !IsForeignHeader(s, std::strlen(s), codeSet)) {
            ConvertSlot(slot, utf8);
        }
    }
}

void CJapaneseTextConverter::RestoreAll() {
    for (TextSlot* head : {m_pBodySlots, m_pHeaderSlots}) {
        for (TextSlot* slot = head; slot != nullptr; slot = slot->next) {
            if (slot->copy != nullptr) {
                *slot->slot = slot->previous;
                delete[] slot->copy;
                slot->previous = nullptr;
                slot->copy = nullptr;
                slot->detector = nullptr;
            }
        }
    }
    for (TextSlot** head : {&m_pBodySlots, &m_pHeaderSlots}) {
        while (*head != nullptr) {
            TextSlot* next = (*head)->next;
            delete *head;
            *head = next;
        }
    }
}

}  // namespace torrim::japanese

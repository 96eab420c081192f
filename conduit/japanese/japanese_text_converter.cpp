// Conversion of a message's registered string fields to Shift_JIS and their restoration.
#include "conduit/japanese/japanese_text_converter.h"

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
        const EncodingDetector* detector = DetectEncoding(s, std::strlen(s), codeSet);
        if (IsNamed(detector, "UTF-8")) {
            sawUtf8 = true;
        } else if (!IsNamed(detector, "Shift_JIS")) {
            return;
        }
    }
    if (!sawUtf8) {
        return;
    }
    // A field that is not well-formed UTF-8 is real Shift_JIS (a client that decoded the
    // header into the desktop code page): converting it would turn it into question marks.
    const EncodingDetector* utf8 = Utf8Detector();
    for (TextSlot* slot = m_pHeaderSlots; slot != nullptr; slot = slot->next) {
        const char* s = *slot->slot;
        if (!IsEmpty(s) && ScoreUtf8(s, std::strlen(s), codeSet) > 0) {
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

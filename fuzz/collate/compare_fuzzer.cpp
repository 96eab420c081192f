// Comparison, split points, normalisation and the highest character over
// random tables and random text: every table read must stay inside its table.
#include <cstdint>
#include <vector>

#include "intl/collate/collation.h"

namespace {

// Takes a length-prefixed piece of the input as a separately allocated
// buffer, so that reading past its end is caught.
std::vector<uint8_t> Take(const uint8_t*& data, size_t& size, size_t maxLength) {
    if (size == 0)
        return {};
    size_t length = data[0] % (maxLength + 1);
    ++data;
    --size;
    if (length > size)
        length = size;
    std::vector<uint8_t> piece(data, data + length);
    data += length;
    size -= length;
    return piece;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const uint16_t flags = static_cast<uint16_t>(data[0] | (data[1] << 8));
    const bool unicode = data[2] & 1;
    data += 3;
    size -= 3;
    const std::vector<uint8_t> main = Take(data, size, 255);
    const std::vector<uint8_t> second = Take(data, size, 60);
    const std::vector<uint8_t> third = Take(data, size, 60);
    const std::vector<uint8_t> norm = Take(data, size, 255);
    const std::vector<uint8_t> toUnicode = Take(data, size, 255);
    std::vector<uint8_t> lhs = Take(data, size, 40);
    std::vector<uint8_t> rhs(data, data + size);

    glossel::CollationView view;
    view.tables = {main, second, third};
    view.normalisation = glossel::U16Table(norm);
    view.toUnicode = glossel::ByteToUnicode(toUnicode);
    view.unicode = unicode;
    const int16_t forward = glossel::CompareText(view, lhs, rhs, flags);
    const int16_t backward = glossel::CompareText(view, rhs, lhs, flags);
    if (forward < -1 || forward > 1 || backward < -1 || backward > 1)
        __builtin_trap();
    // The shortcut of the exports answers as the general comparison does.
    const glossel::RawTables raw{main.data(), second.data(), third.data(),
                                 main.size(), second.size(), third.size()};
    glossel::CollationView unicodeView = view;
    unicodeView.unicode = true;
    const int quick =
        glossel::QuickCompareUnicode(raw, lhs.data(), lhs.size(), rhs.data(), rhs.size(), flags);
    if (quick != glossel::QUICK_UNDECIDED &&
        quick != glossel::CompareText(unicodeView, lhs, rhs, flags))
        __builtin_trap();
    // So does the shortcut of single-byte sets, through keys composed from the
    // same tables (with the first pass resumed where it stops).
    glossel::CollationView byteView = view;
    byteView.unicode = false;
    uint32_t keys[256];
    glossel::ComposeByteKeys(view.toUnicode, main, keys);
    size_t resumeAt = 0;
    int byteQuick = glossel::QuickCompareBytes(keys, lhs.data(), lhs.size(), rhs.data(),
                                               rhs.size(), flags, &resumeAt);
    if (byteQuick == glossel::QUICK_UNDECIDED && resumeAt != SIZE_MAX) {
        const int16_t resumed = glossel::FirstPassFromBytes(view.tables, view.toUnicode, lhs, rhs,
                                                            flags, resumeAt);
        if (resumed != 0)
            byteQuick = resumed;
    }
    if (byteQuick != glossel::QUICK_UNDECIDED &&
        byteQuick != glossel::CompareText(byteView, lhs, rhs, flags))
        __builtin_trap();
    (void)glossel::CompareMultiByteText(lhs, rhs, flags);

    const uint16_t length = static_cast<uint16_t>(lhs.size());
    const uint16_t split = static_cast<uint16_t>(flags % (length + 1u));
    const uint16_t at = glossel::SplitPosition(view.tables, view.toUnicode, unicode, lhs.data(),
                                               length, unicode ? split & ~1 : split);
    if (at > split)
        __builtin_trap();
    (void)glossel::HighestCharOf(view.tables, view.toUnicode);

    glossel::NormalizeUnicodeText(view.normalisation, lhs.data(), lhs.size() / 2);
    glossel::NormalizeByteText(view.normalisation, view.toUnicode, glossel::UnicodeToByte(third),
                               rhs.data(), rhs.size());
    glossel::NormalizeMultiByteText(view.normalisation, view.toUnicode, main, lhs.data(),
                                    lhs.size());
    return 0;
}

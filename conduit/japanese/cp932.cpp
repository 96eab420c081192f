// Lookups in the code page 932 reverse table and the bitmap of defined codes.
#include "conduit/japanese/cp932.h"

#include <array>
#include <cstring>

namespace torrim::japanese {

uint16_t Cp932FromUnicode(uint32_t value) {
    if (value > 0xFFFF) {
        return 0;
    }
    // Half-open range [lo, hi); the first row whose unicode equals the value at a probe
    // wins, which decides between duplicate codes of one character.
    size_t lo = 0;
    size_t hi = CP932_REVERSE_TABLE_ROWS;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const Cp932Row& row = Cp932ReverseTable[mid];
        if (row.unicode < value) {
            lo = mid + 1;
        } else if (row.unicode == value) {
            return row.code;
        } else {
            hi = mid;
        }
    }
    return 0;
}

namespace {

struct DirectTable {
    std::array<uint16_t, 0x10000> codes{};

    DirectTable() {
        // Only values that have a row can give a code; asking the binary search for each
        // keeps its choice among duplicates.
        for (const Cp932Row& row : Cp932ReverseTable) {
            codes[row.unicode] = Cp932FromUnicode(row.unicode);
        }
    }
};

}  // namespace

const uint16_t* Cp932DirectTable() {
    static const DirectTable table;
    return table.codes.data();
}

void BuildCp932CodeSet(Cp932CodeSet* set) {
    std::memset(set->bits, 0, sizeof set->bits);
    for (const Cp932Row& row : Cp932ReverseTable) {
        set->bits[row.code >> 3] |= static_cast<uint8_t>(1u << (row.code & 7));
    }
    set->bits[0] &= 0xFE;
}

}  // namespace torrim::japanese

// Code page 932 (Windows-31J): byte classes, the reverse code table from UCS-2 to code
// page 932 codes, and the bitmap of defined codes built from it.
#ifndef CONDUIT_JAPANESE_CP932_H_
#define CONDUIT_JAPANESE_CP932_H_

#include <cstddef>
#include <cstdint>

namespace torrim::japanese {

// Byte classes of code page 932.
constexpr bool IsCp932LeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
constexpr bool IsCp932TrailByte(uint8_t b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
// Single-byte (half-width) katakana and its punctuation.
constexpr bool IsCp932SingleByteKana(uint8_t b) {
    return b >= 0xA1 && b <= 0xDF;
}

// One mapping of code page 932. A single-byte code is its byte value (0x00-0x7F,
// 0xA1-0xDF); a double-byte code is lead byte * 256 + trail byte.
struct Cp932Row {
    uint16_t unicode;
    uint16_t code;
};
static_assert(sizeof(Cp932Row) == 4);

constexpr size_t CP932_REVERSE_TABLE_ROWS = 7915;

// Every code of code page 932 except the user-defined area (lead bytes 0xF0-0xF9) and the
// undefined bytes 0x80, 0xA0, 0xFD-0xFF, one row per code, ascending by unicode and rows of
// equal unicode ascending by code. Lookups depend on this order: where several codes map to
// one character (the NEC and IBM extension duplicates), the binary search returns the one
// its probes meet first.
extern const Cp932Row Cp932ReverseTable[CP932_REVERSE_TABLE_ROWS];

// The code page 932 code of a UCS-2 value by binary search over Cp932ReverseTable; 0 when
// the value has no row or does not fit in 16 bits (U+0000 therefore counts as unmapped).
[[nodiscard]] uint16_t Cp932FromUnicode(uint32_t value);

// A direct table of 0x10000 entries: entry v is Cp932FromUnicode(v). Filled on first use
// (thread-safe); the converters index it on their per-character path instead of searching.
[[nodiscard]] const uint16_t* Cp932DirectTable();

// Bitmap of the codes that occur in Cp932ReverseTable: bit k is byte k / 8, bit k mod 8
// (least significant first). Bit 0 is always clear.
struct Cp932CodeSet {
    uint8_t bits[8192];

    [[nodiscard]] bool Contains(uint16_t code) const {
        return ((bits[code >> 3] >> (code & 7)) & 1) != 0;
    }
};

// Fills *set from Cp932ReverseTable.
void BuildCp932CodeSet(Cp932CodeSet* set);

}  // namespace torrim::japanese

#endif  // CONDUIT_JAPANESE_CP932_H_

// Collation, normalisation, split points and the highest character, computed
// over views of the loaded tables. Nothing here owns a table or knows about
// the context; every read is bounded by the view it goes through, so any
// table contents (even damaged ones) are safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace glossel {

using ByteView = std::span<const uint8_t>;

// Collation flags of the comparison.
constexpr uint16_t COLLATE_KIND_MASK = 0x03;        // kind of language table
constexpr uint16_t COLLATE_FOLD_ASCII = 0x04;       // fold a-z on the double-byte path
constexpr uint16_t COLLATE_IGNORE_LHS_REST = 0x10;  // once rhs is used up, ignore lhs's rest
constexpr uint16_t COLLATE_IGNORE_RHS_REST = 0x20;  // once lhs is used up, ignore rhs's rest

// Main-table values.
constexpr uint16_t WEIGHT_BEYOND_TABLE = 0x0FFF;
constexpr uint16_t WEIGHT_CONTRACTION = 0xA000;  // 0xA000-0xBFFF: contraction start
constexpr uint16_t WEIGHT_EXPANSION = 0xC000;    // 0xC000-0xFFFF: expansion
constexpr size_t COLLATE_RECORD_SIZE = 6;        // expansion and contraction records

// Little-endian u16 array (main table, normalisation table, byte-to-Unicode
// part of a translation table).
class U16Table {
public:
    U16Table() = default;
    explicit U16Table(ByteView bytes) : m_bytes(bytes) {}
    size_t Count() const { return m_bytes.size() / 2; }
    bool Empty() const { return Count() == 0; }
    uint16_t At(size_t index) const {
        return static_cast<uint16_t>(m_bytes[2 * index] | (m_bytes[2 * index + 1] << 8));
    }

private:
    ByteView m_bytes;
};

// The three tables of one language entry. `second` and `third` may be empty.
struct CollationTables {
    ByteView main;
    ByteView second;  // expansions
    ByteView third;   // contractions
};

// Single-byte set to Unicode: 256 u16. Without a table each byte stands for
// the code point of the same value (the text is taken as it is, the way a
// translation without a table copies the text unchanged).
class ByteToUnicode {
public:
    ByteToUnicode() = default;
    explicit ByteToUnicode(ByteView table) : m_table(table.size() >= 512 ? table : ByteView{}) {}
    uint16_t operator()(uint8_t byte) const { return m_table.Empty() ? byte : m_table.At(byte); }

private:
    U16Table m_table;
};

// Unicode to a single-byte set: 256 bytes for U+0000-U+00FF, then pairs
// (u16 key, u16 value) sorted by key. Yields '?' for a value the set lacks.
// Without a table U+0000-U+00FF map to the byte of the same value.
class UnicodeToByte {
public:
    UnicodeToByte() = default;
    explicit UnicodeToByte(ByteView table) : m_table(table.size() >= 256 ? table : ByteView{}) {}
    uint8_t operator()(uint16_t unicode) const;

private:
    ByteView m_table;
};

// Binary search of a pair table (4-byte pairs); 0x003F when the key is absent.
uint16_t PairSearch(ByteView pairs, uint16_t key);

// Everything one comparison needs.
struct CollationView {
    CollationTables tables;
    U16Table normalisation;   // used by the tie-breaking pass only
    ByteToUnicode toUnicode;  // single-byte text; unused for Unicode text
    bool unicode = false;     // 16-bit units (low byte first) instead of bytes
};

// One comparison pass: 1 when lhs sorts after rhs, -1 before, 0 equal.
// The first pass (`tieBreak` false) resolves expansions into their two
// characters and sets *expansionMet when it meets one; the tie-breaking pass
// normalises each character and weighs expansions as 4095.
[[nodiscard]] int16_t ComparePass(const CollationView& view, ByteView lhs, ByteView rhs,
                                  uint16_t flags, bool tieBreak, bool* expansionMet);

// Orders lhs against rhs by the collation tables: the first pass, and the
// tie-breaking pass when the first ends equal after meeting an expansion.
// Bits 0x10 and 0x20 of `flags` are honoured.
[[nodiscard]] int16_t CompareText(const CollationView& view, ByteView lhs, ByteView rhs,
                                  uint16_t flags);

// Byte comparison of double-byte (code page 932) text; ASCII letters fold to
// capitals unless bit 0 of `flags` is set without COLLATE_FOLD_ASCII.
[[nodiscard]] int16_t CompareMultiByteText(ByteView lhs, ByteView rhs, uint16_t flags);

// Normalises `units` 16-bit units in place.
void NormalizeUnicodeText(U16Table normalisation, uint8_t* text, size_t units);

// Normalises single-byte text in place through Unicode. A byte whose
// normalised value the set cannot hold stays as it is.
void NormalizeByteText(U16Table normalisation, ByteToUnicode toUnicode, UnicodeToByte fromUnicode,
                       uint8_t* text, size_t length);

// Normalises the single bytes of code page 932 text in place; double-byte
// characters are passed over. `fromUnicode` is the set's Unicode-to-set table
// (at least its 256 output strings).
void NormalizeMultiByteText(U16Table normalisation, ByteToUnicode toUnicode, ByteView fromUnicode,
                            uint8_t* text, size_t length);

// Shift_JIS lead bytes.
constexpr bool IsShiftJisLead(uint8_t byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The split position to use for a cut before byte `splitPos` of `text`
// (`length` bytes in all): one unit earlier when the characters on both sides
// form a contraction, else `splitPos`. `splitPos` must already be a whole
// number of units.
[[nodiscard]] uint16_t SplitPosition(const CollationTables& tables, ByteToUnicode toUnicode,
                                     bool unicode, const uint8_t* text, uint16_t length,
                                     uint16_t splitPos);

// The byte 0x80-0xFF of a single-byte set that sorts last.
[[nodiscard]] uint8_t HighestCharOf(const CollationTables& tables, ByteToUnicode toUnicode);

}  // namespace glossel

// Collation, normalisation, split points and the highest character, computed
// over views of the loaded tables. Nothing here owns a table or knows about
// the context; every read is bounded by the view it goes through, so any
// table contents (even damaged ones) are safe.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Single-byte set to Unicode: 256 u16. The context refuses files whose tables
// are shorter and the exports refuse a set without tables; a view too short
// (built by hand) leaves each byte standing for the code point of its value.
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
// A view shorter than 256 bytes maps U+0000-U+00FF to the byte of the same
// value.
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

// --- The shortcut of the first pass ----------------------------------------
//
// Most comparisons are decided by the first characters after the common
// prefix, and most characters have plain weights. QuickCompareUnicode skips
// the identical leading bytes eight at a time and then walks both strings
// while every character on both sides has a plain weight (below 0xA000), the
// one stretch where the first pass reduces to comparing weights one by one.
// It answers only where that walk settles the whole comparison: a difference
// of weights (or of two characters weighing 4095), the strings identical, or
// one string used up with a non-zero byte left in the other. Anything else (a
// contraction or an expansion on the way, a tie that the second pass might
// break, the flags 0x10 and 0x20) is left to CompareText, which gives the
// same answer wherever this one gives one.
namespace detail {

inline uint16_t QuickUnit(const uint8_t* p, size_t unit) {
    if constexpr (std::endian::native == std::endian::little) {
        uint16_t value;
        std::memcpy(&value, p + 2 * unit, 2);
        return value;
    } else {
        return static_cast<uint16_t>(p[2 * unit] | (p[2 * unit + 1] << 8));
    }
}

inline uint16_t QuickWeight(const uint8_t* main, size_t count, uint16_t ch) {
    return ch < count ? QuickUnit(main, ch) : WEIGHT_BEYOND_TABLE;
}

template <typename Word>
Word LoadWord(const uint8_t* p) {
    Word w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Offset of the first byte that differs between two words loaded from
// `offset`, or -1 when they are equal.
template <typename Word>
[[gnu::always_inline]] inline bool FirstDifference(const uint8_t* a, const uint8_t* b,
                                                   size_t offset, size_t* at) {
    const Word x = LoadWord<Word>(a + offset);
    const Word y = LoadWord<Word>(b + offset);
    if (x == y)
        return false;
    *at = offset + static_cast<size_t>(std::countr_zero(static_cast<Word>(x ^ y)) / 8);
    return true;
}

// Number of leading bytes that are equal in both buffers of `n` bytes, read
// a word at a time; the last word of each size is read so that it ends at
// `n` (overlapping bytes already known to be equal), so nothing is read
// beyond the buffers and no byte loop is needed.
[[gnu::always_inline]] inline size_t CommonBytes(const uint8_t* a, const uint8_t* b, size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        size_t at;
        if (n >= 8) {
            size_t i = 0;
            for (; i + 8 <= n; i += 8) {
                if (FirstDifference<uint64_t>(a, b, i, &at))
                    return at;
            }
            if (i < n && FirstDifference<uint64_t>(a, b, n - 8, &at))
                return at;
            return n;
        }
        if (n >= 4) {
            if (FirstDifference<uint32_t>(a, b, 0, &at) ||
                FirstDifference<uint32_t>(a, b, n - 4, &at))
                return at;
            return n;
        }
        if (n >= 2) {
            if (FirstDifference<uint16_t>(a, b, 0, &at) ||
                FirstDifference<uint16_t>(a, b, n - 2, &at))
                return at;
            return n;
        }
    }
    size_t i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

inline bool AnyNonZero(const uint8_t* p, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (p[i] != 0)
            return true;
    }
    return false;
}

}  // namespace detail

// The first pass over Unicode text from unit `start` of both strings, where
// the whole pass is known to reach unit `start` in both strings, each at the
// start of a character with nothing pending, every weight before it equal
// (for instance: identical units up to a character with a plain weight, then
// pairs of characters with equal plain weights). A non-zero result is the comparison's final
// result; 0 says nothing (an expansion before `start` may call for the
// tie-breaking pass). Flags 0x10 and 0x20 must be clear.
[[nodiscard]] int16_t FirstPassFromUnicode(const CollationTables& tables, ByteView lhs,
                                           ByteView rhs, uint16_t flags, size_t start);

// What QuickCompareUnicode answers when CompareText must decide.
constexpr int QUICK_UNDECIDED = 2;

// The tables as pointers and byte counts, the form the context keeps them in
// (any type with these six members will do).
struct RawTables {
    const uint8_t* main = nullptr;
    const uint8_t* second = nullptr;
    const uint8_t* third = nullptr;
    size_t mainSize = 0;
    size_t secondSize = 0;
    size_t thirdSize = 0;
};

template <typename Tables>
[[gnu::noinline]] int16_t FirstPassFromUnicodeOf(const Tables& tables, const uint8_t* lhs,
                                                 size_t lhsBytes, const uint8_t* rhs,
                                                 size_t rhsBytes, uint16_t flags, size_t start) {
    const CollationTables views{ByteView(tables.main, tables.mainSize),
                                ByteView(tables.second, tables.secondSize),
                                ByteView(tables.third, tables.thirdSize)};
    return FirstPassFromUnicode(views, ByteView(lhs, lhsBytes), ByteView(rhs, rhsBytes), flags,
                                start);
}

// Unicode text (16-bit units, low byte first) through `tables`: the
// comparison's final result (-1, 0, 1) when the shortcut settles it, else
// QUICK_UNDECIDED, and CompareText must decide. Inlined, so that the common
// case costs a caller no call and no copy of the tables.
// With `ResumePass` false, a contraction or an expansion near the difference
// makes it answer QUICK_UNDECIDED instead of running the first pass from
// there, so that it calls nothing.
template <typename Tables, bool ResumePass = true>
[[gnu::always_inline]] inline int QuickCompareUnicode(const Tables& tables, const uint8_t* lhs,
                                                      size_t lhsBytes, const uint8_t* rhs,
                                                      size_t rhsBytes, uint16_t flags) {
    using detail::QuickUnit;
    using detail::QuickWeight;
    if (flags & (COLLATE_IGNORE_LHS_REST | COLLATE_IGNORE_RHS_REST))
        return QUICK_UNDECIDED;
    const uint8_t* main = tables.main;
    const size_t count = tables.mainSize / 2;
    const size_t lhsUnits = lhsBytes / 2;
    const size_t rhsUnits = rhsBytes / 2;
    const size_t units = std::min(lhsUnits, rhsUnits);
    size_t i = detail::CommonBytes(lhs, rhs, 2 * units) / 2;
    if (i == units && lhsBytes == rhsBytes && lhsBytes % 2 == 0) {
        return 0;  // identical
    }
    // Both strings stand at unit i, each at the start of a character, when
    // the character before it has a plain weight.
    if (i == 0 || QuickWeight(main, count, QuickUnit(lhs, i - 1)) < WEIGHT_CONTRACTION) {
        for (; i < units; ++i) {
            const uint16_t c = QuickUnit(lhs, i);
            const uint16_t d = QuickUnit(rhs, i);
            const uint16_t e = QuickWeight(main, count, c);
            const uint16_t f = QuickWeight(main, count, d);
            if (e >= WEIGHT_CONTRACTION || f >= WEIGHT_CONTRACTION)
                break;
            if (e != f) {
                return e > f ? 1 : -1;
            }
            if (e == WEIGHT_BEYOND_TABLE && c != d) {
                return c > d ? 1 : -1;
            }
        }
        if (i == units) {
            // One string is used up: a non-zero byte left in the other decides.
            if (lhsUnits < rhsUnits && detail::AnyNonZero(rhs, 2 * i, rhsBytes)) {
                return -1;
            }
            if (rhsUnits < lhsUnits && detail::AnyNonZero(lhs, 2 * i, lhsBytes)) {
                return 1;
            }
            return QUICK_UNDECIDED;  // equal on this pass: the general path settles the tie
        }
    } else {
        // The character before the difference may reach into it (a
        // contraction) or still be pending (an expansion): start the pass
        // where nothing before can reach.
        while (i > 0 && QuickWeight(main, count, QuickUnit(lhs, i - 1)) >= WEIGHT_CONTRACTION)
            --i;
    }
    // A contraction or an expansion at unit i: the whole first pass from there.
    if constexpr (ResumePass) {
        const int16_t order =
            FirstPassFromUnicodeOf(tables, lhs, lhsBytes, rhs, rhsBytes, flags, i);
        return order != 0 ? order : QUICK_UNDECIDED;
    } else {
        return QUICK_UNDECIDED;
    }
}

// --- The shortcut for single-byte sets --------------------------------------
//
// The same walk for text of a single-byte set, over a key per byte composed
// once from the (set -> 1200) table and the main table (see ComposeByteKeys):
// a byte's key orders as its character does on the first pass, so a plain
// stretch compares key by key. A key of BYTE_KEY_FIRST_SPECIAL or more is a
// contraction or expansion start.
constexpr uint32_t BYTE_KEY_FIRST_SPECIAL = uint32_t{WEIGHT_CONTRACTION} << 16;

// Fills keys[256] from the set's byte-to-Unicode table and the main table.
void ComposeByteKeys(ByteToUnicode toUnicode, ByteView main, uint32_t* keys);

// The first pass over single-byte text from byte `start` of both strings,
// under the conditions of FirstPassFromUnicode.
[[nodiscard]] int16_t FirstPassFromBytes(const CollationTables& tables, ByteToUnicode toUnicode,
                                         ByteView lhs, ByteView rhs, uint16_t flags,
                                         size_t start);

// Text of a single-byte set through its keys: the comparison's final result
// (-1, 0, 1) when the walk settles it, else QUICK_UNDECIDED. *resumeAt is
// where a first pass may resume when the walk stopped at a contraction or an
// expansion (every weight before it equal, nothing pending), else SIZE_MAX.
[[gnu::always_inline]] inline int QuickCompareBytes(const uint32_t* keys, const uint8_t* lhs,
                                                    size_t lhsLength, const uint8_t* rhs,
                                                    size_t rhsLength, uint16_t flags,
                                                    size_t* resumeAt) {
    *resumeAt = SIZE_MAX;
    if (flags & (COLLATE_IGNORE_LHS_REST | COLLATE_IGNORE_RHS_REST))
        return QUICK_UNDECIDED;
    const size_t units = std::min(lhsLength, rhsLength);
    size_t i = detail::CommonBytes(lhs, rhs, units);
    if (i == units && lhsLength == rhsLength) {
        return 0;  // identical
    }
    if (i == 0 || keys[lhs[i - 1]] < BYTE_KEY_FIRST_SPECIAL) {
        for (; i < units; ++i) {
            const uint32_t e = keys[lhs[i]];
            const uint32_t f = keys[rhs[i]];
            if (e >= BYTE_KEY_FIRST_SPECIAL || f >= BYTE_KEY_FIRST_SPECIAL)
                break;
            if (e != f) {
                return e > f ? 1 : -1;
            }
        }
        if (i == units) {
            if (lhsLength < rhsLength && detail::AnyNonZero(rhs, i, rhsLength)) {
                return -1;
            }
            if (rhsLength < lhsLength && detail::AnyNonZero(lhs, i, lhsLength)) {
                return 1;
            }
            return QUICK_UNDECIDED;
        }
    } else {
        while (i > 0 && keys[lhs[i - 1]] >= BYTE_KEY_FIRST_SPECIAL)
            --i;
    }
    *resumeAt = i;
    return QUICK_UNDECIDED;
}

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

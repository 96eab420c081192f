// Weight-based comparison with expansions, contractions and a tie-breaking
// pass; in-place normalisation; contraction-aware split points.
#include "intl/collate/collation.h"

#include <algorithm>

namespace glossel {
namespace {

uint16_t ReadU16(ByteView bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// 6-byte records of the expansion and contraction tables.
class RecordTable {
public:
    explicit RecordTable(ByteView bytes) : m_bytes(bytes) {}
    size_t Count() const { return m_bytes.size() / COLLATE_RECORD_SIZE; }
    uint16_t Field(size_t record, size_t field) const {
        return ReadU16(m_bytes, record * COLLATE_RECORD_SIZE + 2 * field);
    }

private:
    ByteView m_bytes;
};

// Contraction records: first character, second character, weight.
constexpr size_t CONTRACTION_FIRST = 0;
constexpr size_t CONTRACTION_SECOND = 1;
constexpr size_t CONTRACTION_WEIGHT = 2;
// Expansion records: (unused), first character, second character.
constexpr size_t EXPANSION_FIRST = 1;
constexpr size_t EXPANSION_SECOND = 2;

uint16_t WeightOf(U16Table main, uint16_t ch) {
    return ch < main.Count() ? main.At(ch) : WEIGHT_BEYOND_TABLE;
}

bool IsContraction(uint16_t weight) {
    return weight >= WEIGHT_CONTRACTION && weight < WEIGHT_EXPANSION;
}

// Looks for the record after `start` (same first character) whose second
// character is `next`; returns its index, or `start` when none matches.
size_t FindContractionPair(const RecordTable& third, size_t start, uint16_t next) {
    const uint16_t first = third.Field(start, CONTRACTION_FIRST);
    for (size_t r = start + 1; r < third.Count() && third.Field(r, CONTRACTION_FIRST) == first;
         ++r) {
        if (third.Field(r, CONTRACTION_SECOND) == next)
            return r;
    }
    return start;
}

// One string being walked by a comparison pass.
struct Cursor {
    ByteView text;
    size_t unitBytes;
    size_t units;
    size_t pos = 0;         // in units
    int32_t pending = -1;   // second half of an expansion, -1 for none
    size_t expansions = 0;  // expansions met in a row without advancing

    bool UsedUp() const { return pos >= units; }
    bool AnyNonZeroLeft() const {
        for (size_t i = pos * unitBytes; i < text.size(); ++i) {
            if (text[i] != 0)
                return true;
        }
        return false;
    }
};

template <bool Unicode>
class Pass {
public:
    Pass(const CollationView& view, bool tieBreak)
        : m_view(view),
          m_main(view.tables.main),
          m_second(view.tables.second),
          m_third(view.tables.third),
          m_tieBreak(tieBreak) {}

    bool ExpansionMet() const { return m_expansionMet; }

    int16_t Run(Cursor& lhs, Cursor& rhs, uint16_t flags) {
        for (;;) {
            // A string that is used up (possibly from the start) ends the
            // pass; what remains of the other decides unless it is ignored.
            if (lhs.UsedUp() || rhs.UsedUp()) {
                if (lhs.UsedUp() && !rhs.UsedUp()) {
                    if (!(flags & COLLATE_IGNORE_RHS_REST) && rhs.AnyNonZeroLeft())
                        return -1;
                } else if (rhs.UsedUp() && !lhs.UsedUp()) {
                    if (!(flags & COLLATE_IGNORE_LHS_REST) && lhs.AnyNonZeroLeft())
                        return 1;
                }
                return 0;
            }
            const uint16_t c = Take(lhs);
            const uint16_t d = Take(rhs);
            bool holdLhs = false;
            bool holdRhs = false;
            const uint16_t e = Resolve(c, lhs, &holdLhs);
            const uint16_t f = Resolve(d, rhs, &holdRhs);
            if (f < e)
                return 1;
            if (f > e)
                return -1;
            if ((e == WEIGHT_BEYOND_TABLE || f == WEIGHT_BEYOND_TABLE) && c != d) {
                return c > d ? 1 : -1;
            }
            // An expanded character keeps its place until its second half
            // has been compared.
            if (!holdLhs) {
                ++lhs.pos;
                lhs.expansions = 0;
            }
            if (!holdRhs) {
                ++rhs.pos;
                rhs.expansions = 0;
            }
            if ((flags & COLLATE_IGNORE_LHS_REST) && lhs.pending >= 0 && lhs.pos + 1 >= lhs.units) {
                return 0;
            }
            if ((flags & COLLATE_IGNORE_RHS_REST) && rhs.pending >= 0 && rhs.pos + 1 >= rhs.units) {
                return 0;
            }
        }
    }

    uint16_t CharAt(const Cursor& cursor, size_t unit) const {
        if constexpr (Unicode) {
            return ReadU16(cursor.text, 2 * unit);
        } else {
            return m_view.toUnicode(cursor.text[unit]);
        }
    }

    uint16_t MainWeight(uint16_t ch) const { return WeightOf(m_main, ch); }

private:
    uint16_t Take(Cursor& cursor) const {
        uint16_t ch;
        if (cursor.pending >= 0) {
            ch = static_cast<uint16_t>(cursor.pending);
            cursor.pending = -1;
        } else {
            ch = CharAt(cursor, cursor.pos);
        }
        if (m_tieBreak && ch < m_view.normalisation.Count())
            ch = m_view.normalisation.At(ch);
        return ch;
    }

    // The weight that `ch` compares with; expansions and contractions are
    // resolved here and may move the cursor.
    uint16_t Resolve(uint16_t ch, Cursor& cursor, bool* hold) {
        const uint16_t weight = WeightOf(m_main, ch);
        if (weight < WEIGHT_CONTRACTION) [[likely]] {
            return weight;
        }
        if (weight >= WEIGHT_EXPANSION) {
            m_expansionMet = true;
            const size_t record = weight & 0x3FFF;
            // The second half of an expansion may expand again, and so on;
            // a chain longer than the table has records must come round to
            // a record already used and would never end (a damaged table):
            // the character that would repeat it weighs 4095 instead.
            if (m_tieBreak || record >= m_second.Count() || cursor.expansions >= m_second.Count())
                return WEIGHT_BEYOND_TABLE;
            cursor.pending = m_second.Field(record, EXPANSION_SECOND);
            ++cursor.expansions;
            *hold = true;
            return WeightOf(m_main, m_second.Field(record, EXPANSION_FIRST));
        }
        if (IsContraction(weight)) {
            const size_t record = weight & 0x1FFF;
            if (record >= m_third.Count())
                return WEIGHT_BEYOND_TABLE;
            size_t match = record;
            if (cursor.units - cursor.pos > 1) {
                match = FindContractionPair(m_third, record, CharAt(cursor, cursor.pos + 1));
                if (match != record)
                    ++cursor.pos;
            }
            return m_third.Field(match, CONTRACTION_WEIGHT);
        }
        return weight;
    }

    const CollationView& m_view;
    U16Table m_main;
    RecordTable m_second;
    RecordTable m_third;
    bool m_tieBreak;
    bool m_expansionMet = false;
};

Cursor MakeCursor(ByteView text, bool unicode) {
    const size_t unitBytes = unicode ? 2 : 1;
    return Cursor{text, unitBytes, text.size() / unitBytes};
}

uint8_t FoldAscii(uint8_t byte) {
    return byte >= 'a' && byte <= 'z' ? static_cast<uint8_t>(byte - 'a' + 'A') : byte;
}

bool AllZero(ByteView bytes) {
    for (uint8_t b : bytes) {
        if (b != 0)
            return false;
    }
    return true;
}

}  // namespace

uint16_t PairSearch(ByteView pairs, uint16_t key) {
    size_t low = 0;
    size_t high = pairs.size() / 4;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        const uint16_t candidate = ReadU16(pairs, 4 * mid);
        if (candidate == key)
            return ReadU16(pairs, 4 * mid + 2);
        if (candidate < key) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return 0x003F;
}

uint8_t UnicodeToByte::operator()(uint16_t unicode) const {
    if (m_table.empty())
        return unicode < 0x100 ? static_cast<uint8_t>(unicode) : '?';
    if (unicode < 0x100)
        return m_table[unicode];
    return static_cast<uint8_t>(PairSearch(m_table.subspan(256), unicode));
}

namespace {

// Leading units that are equal in both strings.
template <bool Unicode>
size_t CommonPrefix(ByteView lhs, ByteView rhs, size_t units) {
    if constexpr (Unicode) {
        size_t i = 0;
        while (i < units && lhs[2 * i] == rhs[2 * i] && lhs[2 * i + 1] == rhs[2 * i + 1])
            ++i;
        return i;
    } else {
        size_t i = 0;
        while (i < units && lhs[i] == rhs[i])
            ++i;
        return i;
    }
}

template <bool Unicode>
int16_t RunPass(const CollationView& view, ByteView lhs, ByteView rhs, uint16_t flags,
                bool tieBreak, bool* expansionMet) {
    Pass<Unicode> pass(view, tieBreak);
    Cursor left = MakeCursor(lhs, Unicode);
    Cursor right = MakeCursor(rhs, Unicode);
    if (!tieBreak && !(flags & (COLLATE_IGNORE_LHS_REST | COLLATE_IGNORE_RHS_REST))) {
        // Identical leading units compare equal, so the pass may start late:
        // at the first difference, moved back over characters that begin a
        // contraction or an expansion (which may reach into the difference),
        // so that both strings are cut at the same character boundary.
        size_t start = CommonPrefix<Unicode>(lhs, rhs, std::min(left.units, right.units));
        if (lhs.size() == rhs.size() && start == left.units &&
            (!Unicode || lhs.size() % 2 == 0 || lhs.back() == rhs.back())) {
            *expansionMet = false;
            return 0;  // identical text
        }
        // Most comparisons are decided by the first differing characters
        // alone: plain weights on both sides, after a plain character.
        if (start < left.units && start < right.units &&
            (start == 0 || pass.MainWeight(pass.CharAt(left, start - 1)) < WEIGHT_CONTRACTION)) {
            const uint16_t c = pass.CharAt(left, start);
            const uint16_t d = pass.CharAt(right, start);
            const uint16_t e = pass.MainWeight(c);
            const uint16_t f = pass.MainWeight(d);
            if (e < WEIGHT_CONTRACTION && f < WEIGHT_CONTRACTION) {
                if (e != f) {
                    *expansionMet = false;
                    return e > f ? 1 : -1;
                }
                if (e == WEIGHT_BEYOND_TABLE && c != d) {
                    *expansionMet = false;
                    return c > d ? 1 : -1;
                }
            }
        }
        while (start > 0 && pass.MainWeight(pass.CharAt(left, start - 1)) >= WEIGHT_CONTRACTION) {
            --start;
        }
        if (start > 0) {
            left.pos = start;
            right.pos = start;
            const int16_t result = pass.Run(left, right, flags);
            // An equal result needs the whole pass: whether an expansion was
            // met anywhere decides if the tie-breaking pass runs.
            if (result != 0) {
                *expansionMet = pass.ExpansionMet();
                return result;
            }
            Pass<Unicode> whole(view, tieBreak);
            Cursor wholeLeft = MakeCursor(lhs, Unicode);
            Cursor wholeRight = MakeCursor(rhs, Unicode);
            const int16_t again = whole.Run(wholeLeft, wholeRight, flags);
            *expansionMet = whole.ExpansionMet();
            return again;
        }
    }
    const int16_t result = pass.Run(left, right, flags);
    *expansionMet = pass.ExpansionMet();
    return result;
}

}  // namespace

int16_t FirstPassFromUnicode(const CollationTables& tables, ByteView lhs, ByteView rhs,
                             uint16_t flags, size_t start) {
    CollationView view;
    view.tables = tables;
    view.unicode = true;
    Pass<true> pass(view, false);
    Cursor left = MakeCursor(lhs, true);
    Cursor right = MakeCursor(rhs, true);
    left.pos = start;
    right.pos = start;
    return pass.Run(left, right, flags);
}

int16_t FirstPassFromBytes(const CollationTables& tables, ByteToUnicode toUnicode, ByteView lhs,
                           ByteView rhs, uint16_t flags, size_t start) {
    CollationView view;
    view.tables = tables;
    view.toUnicode = toUnicode;
    Pass<false> pass(view, false);
    Cursor left = MakeCursor(lhs, false);
    Cursor right = MakeCursor(rhs, false);
    left.pos = start;
    right.pos = start;
    return pass.Run(left, right, flags);
}

void ComposeByteKeys(ByteToUnicode toUnicode, ByteView main, uint32_t* keys) {
    const U16Table weights(main);
    for (unsigned b = 0; b < 256; ++b) {
        const uint16_t u = toUnicode(static_cast<uint8_t>(b));
        const uint16_t w = WeightOf(weights, u);
        keys[b] = uint32_t{w} << 16 | (w == WEIGHT_BEYOND_TABLE ? u : 0u);
    }
}

int16_t ComparePass(const CollationView& view, ByteView lhs, ByteView rhs, uint16_t flags,
                    bool tieBreak, bool* expansionMet) {
    return view.unicode ? RunPass<true>(view, lhs, rhs, flags, tieBreak, expansionMet)
                        : RunPass<false>(view, lhs, rhs, flags, tieBreak, expansionMet);
}

int16_t CompareText(const CollationView& view, ByteView lhs, ByteView rhs, uint16_t flags) {
    bool expansionMet = false;
    const int16_t result = ComparePass(view, lhs, rhs, flags, false, &expansionMet);
    if (result != 0 || !expansionMet)
        return result;
    // Equal only through an expansion ("ß" against "ss"): break the tie with
    // normalised characters, expansions weighing as characters beyond the table.
    return ComparePass(view, lhs, rhs, flags, true, &expansionMet);
}

int16_t CompareMultiByteText(ByteView lhs, ByteView rhs, uint16_t flags) {
    const bool fold = !(flags & 0x01) || (flags & COLLATE_FOLD_ASCII);
    const size_t common = std::min(lhs.size(), rhs.size());
    for (size_t i = 0; i < common; ++i) {
        const uint8_t a = fold ? FoldAscii(lhs[i]) : lhs[i];
        const uint8_t b = fold ? FoldAscii(rhs[i]) : rhs[i];
        if (a != b)
            return a > b ? 1 : -1;
    }
    if (lhs.size() < rhs.size()) {
        return (flags & COLLATE_IGNORE_RHS_REST) || AllZero(rhs.subspan(common)) ? 0 : -1;
    }
    if (rhs.size() < lhs.size()) {
        return (flags & COLLATE_IGNORE_LHS_REST) || AllZero(lhs.subspan(common)) ? 0 : 1;
    }
    return 0;
}

void NormalizeUnicodeText(U16Table normalisation, uint8_t* text, size_t units) {
    for (size_t i = 0; i < units; ++i) {
        const uint16_t u = static_cast<uint16_t>(text[2 * i] | (text[2 * i + 1] << 8));
        if (u >= normalisation.Count())
            continue;
        const uint16_t v = normalisation.At(u);
        text[2 * i] = static_cast<uint8_t>(v);
        text[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
}

void NormalizeByteText(U16Table normalisation, ByteToUnicode toUnicode, UnicodeToByte fromUnicode,
                       uint8_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const uint16_t u = toUnicode(text[i]);
        // A character beyond the table stays unnormalised: its byte is kept.
        if (u >= normalisation.Count())
            continue;
        const uint16_t v = normalisation.At(u);
        const uint8_t out = fromUnicode(v);
        if (out == '?' && v != 0x003F)
            continue;
        text[i] = out;
    }
}

void NormalizeMultiByteText(U16Table normalisation, ByteToUnicode toUnicode, ByteView fromUnicode,
                            uint8_t* text, size_t length) {
    const U16Table outputStrings(fromUnicode.size() >= 512 ? fromUnicode.first(512) : ByteView{});
    for (size_t i = 0; i < length; ++i) {
        if (IsShiftJisLead(text[i])) {
            ++i;  // the trail byte belongs to the same character
            continue;
        }
        const uint16_t u = toUnicode(text[i]);
        if (u >= normalisation.Count())
            continue;
        const uint16_t v = normalisation.At(u);
        if (v >= 0x100)
            continue;
        const uint8_t out = outputStrings.Empty() ? static_cast<uint8_t>(v)
                                                  : static_cast<uint8_t>(outputStrings.At(v));
        if (out == '?' && v != 0x003F)
            continue;
        text[i] = out;
    }
}

uint16_t SplitPosition(const CollationTables& tables, ByteToUnicode toUnicode, bool unicode,
                       const uint8_t* text, uint16_t length, uint16_t splitPos) {
    const size_t unit = unicode ? 2 : 1;
    const RecordTable third(tables.third);
    // Both characters around the split must lie inside the text.
    if (third.Count() == 0 || splitPos < unit || size_t{splitPos} + unit > length)
        return splitPos;
    auto charAt = [&](size_t offset) -> uint16_t {
        return unicode ? static_cast<uint16_t>(text[offset] | (text[offset + 1] << 8))
                       : toUnicode(text[offset]);
    };
    const uint16_t weight = WeightOf(U16Table(tables.main), charAt(splitPos - unit));
    if (!IsContraction(weight))
        return splitPos;
    const size_t record = weight & 0x1FFF;
    if (record >= third.Count())
        return splitPos;
    if (FindContractionPair(third, record, charAt(splitPos)) == record)
        return splitPos;
    return static_cast<uint16_t>(splitPos - unit);
}

uint8_t HighestCharOf(const CollationTables& tables, ByteToUnicode toUnicode) {
    const U16Table main(tables.main);
    uint16_t bestWeight = 0;
    size_t bestUnicode = main.Count();
    uint8_t highest = 0xFF;
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        const uint16_t u = toUnicode(static_cast<uint8_t>(b));
        if (u < main.Count()) {
            const uint16_t w = main.At(u);
            if (w >= bestWeight && w < 0x8000) {
                highest = static_cast<uint8_t>(b);
                bestWeight = w;
                bestUnicode = u;
            }
        } else if (u >= bestUnicode) {
            highest = static_cast<uint8_t>(b);
            bestWeight = WEIGHT_BEYOND_TABLE;
            bestUnicode = u;
        }
    }
    return highest;
}

}  // namespace glossel

// Score functions and converters for Japanese mail text.
#include "conduit/japanese/japanese_encoding.h"

#include <cstring>

namespace torrim::japanese {

namespace {

constexpr uint8_t ESC = 0x1B;

// The number of bytes that the shortest UTF-8 form of value takes; 0 beyond 31 bits.
inline int Utf8LengthClass(uint32_t value) {
    if (value < 0x80) {
        return 1;
    }
    if (value < 0x800) {
        return 2;
    }
    if (value < 0x10000) {
        return 3;
    }
    if (value < 0x200000) {
        return 4;
    }
    if (value < 0x4000000) {
        return 5;
    }
    if (value <= 0x7FFFFFFF) {
        return 6;
    }
    return 0;
}

enum class Utf8Kind {
    kCharacter,  // value holds a character of the 16-bit range in its shortest form
    kWide,       // a well-formed character above U+FFFF
    kBroken,     // not a lead byte, a non-continuation byte inside, or an overlong form
    kTruncated,  // the text ends inside the sequence
};

struct Utf8Sequence {
    Utf8Kind kind;
    size_t consumed;
    uint32_t value;
};

// Reads one multi-byte sequence at p (p[0] >= 0x80, remaining >= 1). A byte that cannot
// continue the sequence ends it before that byte, and is checked before the end of the text,
// so plain text after a broken sequence is never swallowed.
inline Utf8Sequence ReadUtf8Sequence(const uint8_t* p, size_t remaining) {
    const int n = Utf8SequenceLength[p[0]];
    if (n == 0) {
        return {Utf8Kind::kBroken, 1, 0};
    }
    uint32_t value = p[0];
    for (int i = 1; i < n; ++i) {
        if (static_cast<size_t>(i) == remaining) {
            return {Utf8Kind::kTruncated, remaining, 0};
        }
        if ((p[i] & 0xC0) != 0x80) {
            return {Utf8Kind::kBroken, static_cast<size_t>(i), 0};
        }
        value = value * 64 + p[i];
    }
    value -= Utf8SequenceOffsets[n];
    const int lengthClass = Utf8LengthClass(value);
    if (lengthClass != n) {
        return {Utf8Kind::kBroken, static_cast<size_t>(n), value};
    }
    return {lengthClass > 3 ? Utf8Kind::kWide : Utf8Kind::kCharacter, static_cast<size_t>(n),
            value};
}

// Four bytes at p as one word, p[0] in the low byte.
inline uint32_t LoadWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline bool IsAsciiWord(uint32_t w) {
    return (w & 0x80808080u) == 0;
}

inline bool HasZeroByte(uint32_t w) {
    return ((w - 0x01010101u) & ~w & 0x80808080u) != 0;
}

// The common case of Japanese text, decoded without the general loop: a well-formed
// three-byte sequence (U+0800-U+FFFF) in the low three bytes of w.
inline bool DecodeThreeByteWord(uint32_t w, uint32_t* value) {
    if ((w & 0x00C0C0F0u) != 0x008080E0u) {
        return false;
    }
    *value = (w & 0x0Fu) << 12 | (w & 0x3F00u) >> 2 | (w & 0x3F0000u) >> 16;
    return *value >= 0x800;
}

// One step of ScoreUtf8 at p[*i] in the general way; false when the text is not UTF-8.
inline bool ScoreUtf8Step(const uint8_t* p, size_t length, const uint16_t* codes, size_t* i,
                          int* score) {
    const uint8_t b = p[*i];
    if (b < 0x80) {
        // U+0000 is the only ASCII value without a code.
        if (b == 0 && *score > 50) {
            *score = 50;
        }
        ++*i;
        return true;
    }
    const Utf8Sequence seq = ReadUtf8Sequence(p + *i, length - *i);
    *i += seq.consumed;
    switch (seq.kind) {
        case Utf8Kind::kBroken:
        case Utf8Kind::kTruncated:
            return false;
        case Utf8Kind::kWide:
            if (*score > 25) {
                *score = 25;
            }
            return true;
        case Utf8Kind::kCharacter:
            break;
    }
    if (*score > 50 && codes[seq.value] == 0) {
        *score = 50;
    }
    return true;
}

// Writes the Shift_JIS form of a character of the 16-bit range whose table entry is code;
// returns the new output index.
inline size_t WriteCharacter(uint8_t* out, size_t o, uint16_t code, uint32_t value) {
    if (code > 0xFF) {
        out[o] = static_cast<uint8_t>(code >> 8);
        out[o + 1] = static_cast<uint8_t>(code);
        return o + 2;
    }
    if (code != 0) {
        out[o] = static_cast<uint8_t>(code);
    } else if (value < 0x100 && !IsCp932LeadByte(static_cast<uint8_t>(value))) {
        out[o] = static_cast<uint8_t>(value);
    } else {
        // A lead byte written raw would pair with the next character on the handheld.
        out[o] = '?';
    }
    return o + 1;
}

inline void LowerScore(int* score, int limit) {
    if (*score > limit) {
        *score = limit;
    }
}

// One step of the UTF-8 conversion at p[*i] in the general way. With kScore the step also
// rates the text as ScoreUtf8 does and gives up (score 0) on text that is not UTF-8.
// Returns false when the conversion ends here.
template <bool kScore>
inline bool ConvertUtf8Step(const uint8_t* p, size_t length, const uint16_t* codes, size_t* i,
                            uint8_t* out, size_t* o, int* score) {
    const uint8_t b = p[*i];
    if (b < 0x80) {
        // ASCII maps to itself; U+0000 has no code and is kept as its byte.
        if (kScore && b == 0) {
            LowerScore(score, 50);
        }
        out[(*o)++] = b;
        ++*i;
        return true;
    }
    const Utf8Sequence seq = ReadUtf8Sequence(p + *i, length - *i);
    *i += seq.consumed;
    switch (seq.kind) {
        case Utf8Kind::kTruncated:
        case Utf8Kind::kBroken:
            if (kScore) {
                *score = 0;
                return false;
            }
            out[(*o)++] = '?';
            return seq.kind == Utf8Kind::kBroken;
        case Utf8Kind::kWide:
            if (kScore) {
                LowerScore(score, 25);
            }
            out[(*o)++] = '?';
            return true;
        case Utf8Kind::kCharacter:
            break;
    }
    const uint16_t code = codes[seq.value];
    if (kScore && code == 0) {
        LowerScore(score, 50);
    }
    *o = WriteCharacter(out, *o, code, seq.value);
    return true;
}

// Utf8ToShiftJis, and with kScore ScoreUtf8 in the same pass (*score starts at 100).
template <bool kScore>
size_t ConvertUtf8(uint8_t* out, const uint8_t* p, size_t length, int* score) {
    const uint16_t* codes = Cp932DirectTable();
    size_t o = 0;
    size_t i = 0;
    // Four bytes at a time while four remain: runs of ASCII and three-byte characters
    // (nearly all of Japanese text) skip the general step. The output index never passes
    // the input index, so four ASCII bytes copied at once stay within dest.
    while (i + 4 <= length) {
        const uint32_t w = LoadWord(p + i);
        uint32_t value;
        if (DecodeThreeByteWord(w, &value)) {
            const uint16_t code = codes[value];
            if (kScore && code == 0) {
                LowerScore(score, 50);
            }
            o = WriteCharacter(out, o, code, value);
            i += 3;
        } else if (IsAsciiWord(w)) {
            if (kScore && HasZeroByte(w)) {
                LowerScore(score, 50);
            }
            std::memcpy(out + o, p + i, 4);
            o += 4;
            i += 4;
        } else if (!ConvertUtf8Step<kScore>(p, length, codes, &i, out, &o, score)) {
            out[o] = '\0';
            return o;
        }
    }
    while (i < length) {
        if (!ConvertUtf8Step<kScore>(p, length, codes, &i, out, &o, score)) {
            break;
        }
    }
    out[o] = '\0';
    return o;
}

// A JIS X 0208 row/cell pair (b, d) as Shift_JIS, modulo 256: lead ((b + 1) >> 1) + 0x70
// below 0x5F, + 0xB0 from there; trail d + 0x7E after an even b, else d + 0x20 above 0x5F and
// d + 0x1F up to it. Tables instead of branches, since the row parity is data.
struct JisPairTables {
    uint8_t lead[256];
    uint8_t trailAdd[2][256];

    constexpr JisPairTables() : lead(), trailAdd() {
        for (int b = 0; b < 256; ++b) {
            lead[b] = static_cast<uint8_t>(((b + 1) >> 1) + (b < 0x5F ? 0x70 : 0xB0));
        }
        for (int d = 0; d < 256; ++d) {
            trailAdd[0][d] = 0x7E;
            trailAdd[1][d] = d > 0x5F ? 0x20 : 0x1F;
        }
    }
};

constexpr JisPairTables JIS_PAIR;

inline size_t WriteJisPair(uint8_t* out, size_t o, uint8_t b, uint8_t d) {
    out[o] = JIS_PAIR.lead[b];
    out[o + 1] = static_cast<uint8_t>(d + JIS_PAIR.trailAdd[b & 1][d]);
    return o + 2;
}

}  // namespace

// clang-format off
const int8_t Utf8SequenceLength[256] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x00
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x80: continuation bytes
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // 0xC0
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,  // 0xE0
    4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 0, 0,  // 0xF0
};
// clang-format on

const uint32_t Utf8SequenceOffsets[7] = {0,          0x00000000, 0x00003080, 0x000E2080,
                                         0x03C82080, 0xFA082080, 0x82082080};

const EncodingDetector EncodingDetectorTable[ENCODING_DETECTOR_COUNT] = {
    {"Shift_JIS", ScoreShiftJis, CopyShiftJis},
    {"ISO-2022-JP-2", ScoreIso2022Jp, Iso2022JpToShiftJis},
    {"UTF-8", ScoreUtf8, Utf8ToShiftJis},
};

const EncodingDetector* DetectEncoding(const char* bytes, size_t length,
                                       const Cp932CodeSet& codeSet) {
    const EncodingDetector* best = &EncodingDetectorTable[0];
    int bestScore = 0;
    for (const EncodingDetector& row : EncodingDetectorTable) {
        const int score = row.score(bytes, length, codeSet);
        if (score == 100) {
            return &row;
        }
        if (score > bestScore) {
            best = &row;
            bestScore = score;
        }
    }
    return best;
}

const EncodingDetector* DetectAndConvert(char* dest, const char* src, size_t length,
                                         const Cp932CodeSet& codeSet, size_t* written) {
    // The same choice as DetectEncoding, row by row; only the UTF-8 row converts while it
    // scores, since its score needs a full decode anyway. Its output stays in dest unless
    // a later row converts.
    const EncodingDetector* best = &EncodingDetectorTable[0];
    int bestScore = 0;
    size_t utf8Written = 0;
    for (const EncodingDetector& row : EncodingDetectorTable) {
        int score = 100;
        if (row.score == ScoreUtf8) {
            // A score above 0 means that the whole text was decoded and dest is complete.
            utf8Written = ConvertUtf8<true>(reinterpret_cast<uint8_t*>(dest),
                                            reinterpret_cast<const uint8_t*>(src), length, &score);
            if (score == 100) {
                *written = utf8Written;
                return &row;
            }
        } else {
            score = row.score(src, length, codeSet);
            if (score == 100) {
                *written = row.convert(dest, src, length);
                return &row;
            }
        }
        if (score > bestScore) {
            best = &row;
            bestScore = score;
        }
    }
    *written = best->score == ScoreUtf8 ? utf8Written : best->convert(dest, src, length);
    return best;
}

int ScoreShiftJis(const char* bytes, size_t length, const Cp932CodeSet& codeSet) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes);
    int score = 100;
    size_t i = 0;
    while (i < length) {
        const uint8_t b = p[i];
        if (b == ESC) {
            return 0;
        }
        if (!IsCp932LeadByte(b)) {
            ++i;
            continue;
        }
        if (i + 1 == length || !IsCp932TrailByte(p[i + 1])) {
            return 0;
        }
        if (score > 75 && !codeSet.Contains(static_cast<uint16_t>(b << 8 | p[i + 1]))) {
            score = 75;
        }
        i += 2;
    }
    return score;
}

int ScoreIso2022Jp(const char* bytes, size_t length, const Cp932CodeSet& /*codeSet*/) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes);
    bool sawEsc = false;
    // Whole blocks first: one OR over a block finds any byte of 0x80 or above.
    constexpr size_t BLOCK = 32;
    size_t i = 0;
    for (; i + BLOCK <= length; i += BLOCK) {
        uint8_t any = 0;
        for (size_t k = 0; k < BLOCK; ++k) {
            any |= p[i + k];
        }
        if (any & 0x80) {
            return 0;
        }
        if (!sawEsc && std::memchr(p + i, ESC, BLOCK) != nullptr) {
            sawEsc = true;
        }
    }
    for (; i < length; ++i) {
        if (p[i] & 0x80) {
            return 0;
        }
        sawEsc = sawEsc || p[i] == ESC;
    }
    return sawEsc ? 100 : 0;
}

int ScoreUtf8(const char* bytes, size_t length, const Cp932CodeSet& /*codeSet*/) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes);
    const uint16_t* codes = Cp932DirectTable();
    int score = 100;
    size_t i = 0;
    while (i + 4 <= length) {
        const uint32_t w = LoadWord(p + i);
        uint32_t value;
        if (DecodeThreeByteWord(w, &value)) {
            if (codes[value] == 0) {
                LowerScore(&score, 50);
            }
            i += 3;
        } else if (IsAsciiWord(w)) {
            if (HasZeroByte(w)) {
                LowerScore(&score, 50);
            }
            i += 4;
        } else if (!ScoreUtf8Step(p, length, codes, &i, &score)) {
            return 0;
        }
    }
    while (i < length) {
        if (!ScoreUtf8Step(p, length, codes, &i, &score)) {
            return 0;
        }
    }
    return score;
}

size_t CopyShiftJis(char* dest, const char* src, size_t length) {
    std::memcpy(dest, src, length);
    dest[length] = '\0';
    return length;
}

size_t Utf8ToShiftJis(char* dest, const char* src, size_t length) {
    int unusedScore = 100;
    return ConvertUtf8<false>(reinterpret_cast<uint8_t*>(dest),
                              reinterpret_cast<const uint8_t*>(src), length, &unusedScore);
}

size_t Iso2022JpToShiftJis(char* dest, const char* src, size_t length) {
    enum class Mode { kAscii, kKana, kHigh, kKanji };
    const auto* p = reinterpret_cast<const uint8_t*>(src);
    auto* out = reinterpret_cast<uint8_t*>(dest);
    Mode mode = Mode::kAscii;
    size_t o = 0;
    size_t i = 0;
    while (i < length) {
        const uint8_t b = p[i++];
        switch (b) {
            case 0x0A:
            case 0x0D:
                out[o++] = b;
                mode = Mode::kAscii;
                continue;
            case 0x0E:
                if (mode == Mode::kAscii) {
                    mode = Mode::kKana;
                }
                continue;
            case 0x0F:
                if (mode == Mode::kKana) {
                    mode = Mode::kAscii;
                }
                continue;
            case ESC: {
                if (i == length) {
                    out[o] = '\0';
                    return o;
                }
                const uint8_t c = p[i++];
                if (c == 0x24 || c == 0x28 || c == 0x2C || c == 0x2E) {
                    if (i == length) {
                        out[o] = '\0';
                        return o;
                    }
                    const uint8_t d = p[i++];
                    if (c == 0x24) {
                        if (d == 0x40 || d == 0x42 || d == 0x48 || d == 0x4A) {
                            mode = Mode::kKanji;
                        }
                    } else if (c == 0x28) {
                        mode = d == 0x49 ? Mode::kKana : Mode::kAscii;
                    } else if (d == 0x41) {
                        mode = Mode::kHigh;
                    }
                } else if (c == 0x4B) {
                    mode = Mode::kKanji;
                } else {
                    mode = Mode::kAscii;
                }
                continue;
            }
            default:
                break;
        }
        if (mode == Mode::kHigh && b < 0x80) {
            const auto high = static_cast<uint8_t>(b + 0x80);
            out[o++] = IsCp932LeadByte(high) ? b : high;
        } else if (b <= 0x20) {
            out[o++] = b;
        } else if (mode == Mode::kKana) {
            const auto high = static_cast<uint8_t>(b + 0x80);
            out[o++] = b < 0x80 && IsCp932SingleByteKana(high) ? high : b;
        } else if (mode == Mode::kKanji) {
            if (i == length) {
                out[o++] = b;
                continue;
            }
            o = WriteJisPair(out, o, b, p[i++]);
            // Runs of pairs: a first byte above 0x20 is neither a control byte nor a space,
            // so it opens another pair at once.
            while (i + 1 < length && p[i] > 0x20) {
                o = WriteJisPair(out, o, p[i], p[i + 1]);
                i += 2;
            }
        } else {
            out[o++] = b;
        }
    }
    out[o] = '\0';
    return o;
}

}  // namespace torrim::japanese

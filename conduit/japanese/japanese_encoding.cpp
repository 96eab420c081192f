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

}  // namespace

const int8_t Utf8SequenceLength[256] = {
#define TM_ROW16(n) n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n
    TM_ROW16(1), TM_ROW16(1), TM_ROW16(1), TM_ROW16(1), TM_ROW16(1), TM_ROW16(1), TM_ROW16(1),
    TM_ROW16(1), TM_ROW16(0), TM_ROW16(0), TM_ROW16(0), TM_ROW16(0), TM_ROW16(2), TM_ROW16(2),
    TM_ROW16(3), 4,           4,           4,           4,           4,           4,
    4,           4,           5,           5,           5,           5,           6,
    6,           0,           0,
#undef TM_ROW16
};

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
    int score = 100;
    size_t i = 0;
    while (i < length) {
        const uint8_t b = p[i];
        if (b < 0x80) {
            // U+0000 is the only ASCII value without a code.
            if (b == 0 && score > 50) {
                score = 50;
            }
            ++i;
            continue;
        }
        const Utf8Sequence seq = ReadUtf8Sequence(p + i, length - i);
        switch (seq.kind) {
            case Utf8Kind::kBroken:
            case Utf8Kind::kTruncated:
                return 0;
            case Utf8Kind::kWide:
                if (score > 25) {
                    score = 25;
                }
                break;
            case Utf8Kind::kCharacter:
                if (score > 50 && Cp932FromUnicodeFast(seq.value) == 0) {
                    score = 50;
                }
                break;
        }
        i += seq.consumed;
    }
    return score;
}

size_t CopyShiftJis(char* dest, const char* src, size_t length) {
    std::memcpy(dest, src, length);
    dest[length] = '\0';
    return length;
}

size_t Utf8ToShiftJis(char* dest, const char* src, size_t length) {
    const auto* p = reinterpret_cast<const uint8_t*>(src);
    auto* out = reinterpret_cast<uint8_t*>(dest);
    size_t o = 0;
    size_t i = 0;
    while (i < length) {
        const uint8_t b = p[i];
        if (b < 0x80) {
            // ASCII maps to itself; U+0000 has no code and is kept as its byte.
            out[o++] = b;
            ++i;
            continue;
        }
        const Utf8Sequence seq = ReadUtf8Sequence(p + i, length - i);
        if (seq.kind == Utf8Kind::kTruncated) {
            out[o++] = '?';
            break;
        }
        i += seq.consumed;
        if (seq.kind != Utf8Kind::kCharacter) {
            out[o++] = '?';
            continue;
        }
        const uint16_t code = Cp932FromUnicodeFast(seq.value);
        if (code > 0xFF) {
            out[o++] = static_cast<uint8_t>(code >> 8);
            out[o++] = static_cast<uint8_t>(code);
        } else if (code != 0) {
            out[o++] = static_cast<uint8_t>(code);
        } else if (seq.value < 0x100 && !IsCp932LeadByte(static_cast<uint8_t>(seq.value))) {
            out[o++] = static_cast<uint8_t>(seq.value);
        } else {
            // A lead byte written raw would pair with the next character on the handheld.
            out[o++] = '?';
        }
    }
    out[o] = '\0';
    return o;
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
            const uint8_t d = p[i++];
            // JIS X 0208 row/cell pair to Shift_JIS, modulo 256.
            out[o++] = static_cast<uint8_t>(((b + 1) >> 1) + (b < 0x5F ? 0x70 : 0xB0));
            out[o++] = static_cast<uint8_t>(d + ((b & 1) == 0 ? 0x7E : (d > 0x5F ? 0x20 : 0x1F)));
        } else {
            out[o++] = b;
        }
    }
    out[o] = '\0';
    return o;
}

}  // namespace torrim::japanese

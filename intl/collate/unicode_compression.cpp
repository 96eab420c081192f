// Unicode run compression: runs of characters sharing a high byte store that
// byte once; other characters go in raw runs of 16-bit units.
#include "intl/collate/unicode_compression.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace glossel {
namespace {

inline uint8_t High(uint16_t unit) {
    return static_cast<uint8_t>(unit >> 8);
}

// First index in [from, end) whose unit does not have the high byte `high`.
size_t EndOfHighRun(const uint16_t* units, size_t from, size_t end, uint8_t high) {
    size_t i = from;
#if defined(__SSE2__)
    const __m128i want = _mm_set1_epi16(high);
    for (; i + 8 <= end; i += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        const int equal = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_srli_epi16(chunk, 8), want));
        if (equal != 0xFFFF)
            return i + std::countr_zero(static_cast<unsigned>(~equal)) / 2;
    }
#endif
    while (i < end && High(units[i]) == high)
        ++i;
    return i;
}

// Writes the low bytes of `count` units.
void CopyLowBytes(const uint16_t* units, size_t count, uint8_t* out) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i lowMask = _mm_set1_epi16(0x00FF);
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packus_epi16(_mm_and_si128(a, lowMask), _mm_and_si128(b, lowMask)));
    }
    if (i + 8 <= count) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i),
                         _mm_packus_epi16(_mm_and_si128(a, lowMask), _mm_setzero_si128()));
        i += 8;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        // Word-sized runs are the common case: four units per step in a
        // general register (a one-high-byte run has at least four).
        for (; i + 4 <= count; i += 4) {
            uint64_t v;
            std::memcpy(&v, units + i, 8);
            v &= 0x00FF00FF00FF00FFull;
            v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
            const auto packed = static_cast<uint32_t>(v | (v >> 16));
            std::memcpy(out + i, &packed, 4);
        }
    }
    for (; i < count; ++i)
        out[i] = static_cast<uint8_t>(units[i]);
}

// Units of one high byte from their low bytes.
void WidenLowBytes(const uint8_t* low, size_t count, uint8_t high, uint16_t* out) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i highBytes = _mm_set1_epi8(static_cast<char>(high));
    for (; i + 16 <= count; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(bytes, highBytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8),
                         _mm_unpackhi_epi8(bytes, highBytes));
    }
#endif
    const uint16_t top = static_cast<uint16_t>(high << 8);
    for (; i < count; ++i)
        out[i] = top | low[i];
}

// Units stored low byte first (the memory order of a little-endian host).
void StoreUnits(const uint16_t* units, size_t count, uint8_t* out) {
    if constexpr (std::endian::native == std::endian::little) {
        if (count <= 8) {
            // Short runs are common in mixed text; a library call costs more.
            for (size_t i = 0; i < count; ++i)
                std::memcpy(out + 2 * i, units + i, 2);
            return;
        }
        std::memcpy(out, units, 2 * count);
    } else {
        for (size_t i = 0; i < count; ++i) {
            out[2 * i] = static_cast<uint8_t>(units[i]);
            out[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
        }
    }
}

void LoadUnits(const uint8_t* in, size_t count, uint16_t* out) {
    if constexpr (std::endian::native == std::endian::little) {
        if (count <= 8) {
            for (size_t i = 0; i < count; ++i)
                std::memcpy(out + i, in + 2 * i, 2);
            return;
        }
        std::memcpy(out, in, 2 * count);
    } else {
        for (size_t i = 0; i < count; ++i) {
            out[i] = static_cast<uint16_t>(in[2 * i] | (in[2 * i + 1] << 8));
        }
    }
}

// Width in bytes of the length field that holds `value`.
size_t FieldWidth(uint32_t value) {
    if (value <= 127)
        return 1;
    if (value <= 0x3FFF)
        return 2;
    return 4;
}

// Writes `value` as a length field of the given width. A width larger than
// the value needs is allowed (the count is rewritten in the width it was
// first written in).
[[gnu::always_inline]] inline void WriteField(uint8_t* out, uint32_t value, size_t width) {
    if (width == 1) {
        out[0] = static_cast<uint8_t>(value << 1);
    } else if (width == 2) {
        const uint32_t stored = (value << 2) | 1u;
        out[0] = static_cast<uint8_t>(stored);
        out[1] = static_cast<uint8_t>(stored >> 8);
    } else {
        const uint32_t stored = (value << 2) | 3u;
        for (size_t i = 0; i < 4; ++i)
            out[i] = static_cast<uint8_t>(stored >> (8 * i));
    }
}

// Width of the length field that starts with `first`.
size_t FieldWidthAt(uint8_t first) {
    if ((first & 1u) == 0)
        return 1;
    return (first & 3u) == 3u ? 4 : 2;
}

uint32_t ReadField(const uint8_t* in, size_t width) {
    if (width == 1)
        return in[0] >> 1;
    if (width == 2)
        return static_cast<uint32_t>(in[0] | (in[1] << 8)) >> 2;
    const uint32_t stored = static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
                            (static_cast<uint32_t>(in[2]) << 16) |
                            (static_cast<uint32_t>(in[3]) << 24);
    return stored >> 2;
}

// Header bytes of a run (length field, plus the high byte of a one-high-byte
// run) for `data` bytes of character data.
size_t HeaderSize(size_t data, size_t extra) {
    if (data + extra <= 126)
        return extra + 1;
    if (data + extra <= 16381)
        return extra + 2;
    return extra + 4;
}

struct Run {
    bool oneHigh;
    size_t chars;
};

// Chooses the run that starts at `pos`. A one-high-byte run needs four
// characters of one high byte to pay for its header; a raw run stops where
// such a group of four begins. `limit` caps the run length.
Run FindRun(const uint16_t* units, size_t pos, size_t count, size_t limit) {
    const size_t left = count - pos;
    if (left < 4)
        return {false, left};
    const uint8_t high = High(units[pos]);
    if (High(units[pos + 1]) == high && High(units[pos + 2]) == high &&
        High(units[pos + 3]) == high) {
        const size_t end = pos + std::min(left, limit);
        return {true, EndOfHighRun(units, pos + 4, end, high) - pos};
    }
    const size_t end = pos + std::min(left, limit);
    size_t i = pos + 1;
    int equalInARow = 0;
#if defined(__SSE2__)
    // Sixteen characters at a time: bit j of `equal` says that character
    // i + j has the high byte of the one before it; the group ends at the
    // first of three such equalities in a row (two carried from before).
    uint32_t carry = 0;
    for (; i + 16 <= end; i += 16) {
        const __m128i* here = reinterpret_cast<const __m128i*>(units + i);
        const __m128i* before = reinterpret_cast<const __m128i*>(units + i - 1);
        const __m128i eqLow = _mm_cmpeq_epi16(_mm_srli_epi16(_mm_loadu_si128(here), 8),
                                              _mm_srli_epi16(_mm_loadu_si128(before), 8));
        const __m128i eqHigh = _mm_cmpeq_epi16(_mm_srli_epi16(_mm_loadu_si128(here + 1), 8),
                                               _mm_srli_epi16(_mm_loadu_si128(before + 1), 8));
        const uint32_t equal =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(eqLow, eqHigh)));
        const uint32_t withCarry = (equal << 2) | carry;
        const uint32_t triple = withCarry & (withCarry >> 1) & (withCarry >> 2);
        if (triple != 0)
            return {false, i + std::countr_zero(triple) - 3 - pos};
        carry = (equal >> 14) & 3u;
    }
    // Continue the count in the scalar walk from the carried equalities.
    equalInARow = carry == 3 ? 2 : (carry & 2) ? 1 : 0;
#endif
    for (; i < end; ++i) {
        if (High(units[i]) == High(units[i - 1])) {
            if (++equalInARow == 3)
                return {false, i - 3 - pos};
        } else {
            equalInARow = 0;
        }
    }
    return {false, end - pos};
}

// Bit k (0 to 31): unit p[k + 1] has the high byte of unit p[k]. Reads p[0]
// to p[32].
inline uint32_t SameHighBits32(const uint16_t* p) {
#if defined(__SSE2__)
    const __m128i highMask = _mm_set1_epi16(static_cast<short>(0xFF00));
    const __m128i zero = _mm_setzero_si128();
    const auto same8 = [&](const uint16_t* q) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 1));
        return _mm_cmpeq_epi16(_mm_and_si128(_mm_xor_si128(a, b), highMask), zero);
    };
    const auto low =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(same8(p), same8(p + 8))));
    const auto high =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(same8(p + 16), same8(p + 24))));
    return low | (high << 16);
#else
    uint32_t bits = 0;
    for (uint32_t k = 0; k < 32; ++k)
        bits |= static_cast<uint32_t>(High(p[k + 1]) == High(p[k])) << k;
    return bits;
#endif
}

// Low bytes of `count` units, sixteen at a time: up to 15 bytes past
// out[count - 1] are written and up to 15 units past units[count - 1] read.
inline void CopyLowBytesOver(const uint16_t* units, size_t count, uint8_t* out) {
#if defined(__SSE2__)
    size_t i = 0;
    const __m128i lowMask = _mm_set1_epi16(0x00FF);
    do {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packus_epi16(_mm_and_si128(a, lowMask), _mm_and_si128(b, lowMask)));
        i += 16;
    } while (i < count);
#else
    CopyLowBytes(units, count, out);
#endif
}

// Units stored low byte first, eight at a time: up to 14 bytes past the
// last unit's are written and up to 7 units past units[count - 1] read.
// Little-endian hosts only.
inline void StoreUnitsOver(const uint16_t* units, size_t count, uint8_t* out) {
    size_t i = 0;
    do {
        uint64_t a;
        uint64_t b;
        std::memcpy(&a, units + i, 8);
        std::memcpy(&b, units + i + 4, 8);
        std::memcpy(out + 2 * i, &a, 8);
        std::memcpy(out + 2 * i + 8, &b, 8);
        i += 8;
    } while (i < count);
}

// The first 16 data bytes of a run: the low bytes of 16 units for a
// one-high-byte run, 8 units for a raw run. Reads 16 units.
inline void StoreRunHead(const uint16_t* units, bool oneHigh, uint8_t* out) {
#if defined(__SSE2__)
    const __m128i lowMask = _mm_set1_epi16(0x00FF);
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 8));
    const __m128i low = _mm_packus_epi16(_mm_and_si128(a, lowMask), _mm_and_si128(b, lowMask));
    const __m128i pick = _mm_set1_epi8(oneHigh ? -1 : 0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_or_si128(_mm_and_si128(pick, low), _mm_andnot_si128(pick, a)));
#else
    if (oneHigh)
        CopyLowBytes(units, 16, out);
    else
        StoreUnits(units, 8, out);
#endif
}

// Writes a run of `chars` characters from `units` whole (header, high byte,
// data); returns its size in bytes.
size_t WriteWholeRun(const uint16_t* units, bool oneHigh, size_t chars, uint8_t* out) {
    const size_t extra = oneHigh ? 1 : 0;
    const size_t data = oneHigh ? chars : 2 * chars;
    const size_t header = HeaderSize(data, extra);
    WriteField(out, static_cast<uint32_t>(data + header), header - extra);
    size_t at = header - extra;
    if (oneHigh) {
        out[at++] = High(units[0]);
        CopyLowBytes(units, chars, out + at);
    } else {
        StoreUnits(units, chars, out + at);
    }
    return header + data;
}

// What the windowed run loop below needs to go on. It looks at 65 units from
// a window's start and reads at most 76 for the runs it writes; the runs of
// one window cover at most 61 characters and, each with its empty run, take
// at most 4 bytes a character (244 bytes), so they all fit whole in
// WINDOW_ROOM bytes of capacity. Each run may write up to 15 scratch bytes
// past its end; they are overwritten by what follows, since after a window
// at least 35 characters and 60 bytes of capacity are left, and from there
// the output grows by at least 16 more bytes before it ends, cut or not.
constexpr size_t WINDOW_TAIL = 96;
constexpr size_t WINDOW_ROOM = 304;

// Writes whole runs from `*pos` while at least WINDOW_TAIL characters and
// WINDOW_ROOM bytes of capacity are left, for a run limit of at least
// WINDOW_TAIL; stops before a run longer than a window that does not fit
// whole, which the caller then cuts.
//
// The run choice of FindRun, taken 64 characters at a time with bit masks.
// Call a maximal stretch of characters sharing a high byte a segment, and a
// segment of four or more long. A one-high-byte run covers the rest of the
// segment it starts in; a raw run ends where the next long segment begins.
// So past the window's first run, runs start exactly at long segments and at
// segments that follow a long one, and a one-high-byte run that follows
// another needs an empty run. The run starts of a window come from a few
// shifts of the high-byte equalities, and each run costs a bit scan and a
// fixed-size copy, with no decision that depends on the run before it.
void WriteWindowedRuns(const uint16_t* units, size_t count, size_t limit, uint8_t* output,
                       size_t capacity, size_t* pos, size_t* written, bool* previousOneHigh) {
    // Bits whose group of four lies inside the window of 65 characters.
    constexpr uint64_t KNOWN = (uint64_t{1} << 62) - 1;
    size_t at = *pos;
    size_t out = *written;
    bool previous = *previousOneHigh;
    while (count - at >= WINDOW_TAIL && capacity - out >= WINDOW_ROOM) {
        // Bit k: units[at + k + 1] has the high byte of units[at + k].
        const uint64_t same = SameHighBits32(units + at) |
                              static_cast<uint64_t>(SameHighBits32(units + at + 32)) << 32;
        // Bit k: the four characters from at + k share a high byte.
        const uint64_t group = same & (same >> 1) & (same >> 2);
        // Bit k (from 1): a segment starts at at + k. The run at the
        // window's start is chosen by its own group bit.
        const uint64_t segmentStart = ~same << 1;
        const uint64_t oneHighStart = group & segmentStart;
        // Bit k: the four characters before at + k share a high byte, so a
        // segment starting at k follows a long one.
        const uint64_t afterLong = group << 4;
        const uint64_t starts = (oneHighStart | (segmentStart & afterLong) | 1u) & KNOWN;
        const uint64_t separators = oneHighStart & afterLong;

        if (starts == 1) {
            // A run longer than the window.
            const Run run = FindRun(units, at, count, limit);
            const size_t separator = run.oneHigh == previous ? 1 : 0;
            const size_t data = run.oneHigh ? run.chars : 2 * run.chars;
            if (capacity - out <= separator + data + HeaderSize(data, run.oneHigh ? 1 : 0))
                break;
            output[out] = 0;
            out += separator;
            out += WriteWholeRun(units + at, run.oneHigh, run.chars, output + out);
            at += run.chars;
            previous = run.oneHigh;
            continue;
        }
        bool oneHigh = (group & 1u) != 0;
        // Every run but the last one that starts in the window has a known
        // end; the last is taken up again by the next window.
        bool separator = oneHigh == previous;
        uint64_t rest = starts & (starts - 1);
        size_t from = 0;
        do {
            const auto next = static_cast<size_t>(std::countr_zero(rest));
            rest &= rest - 1;
            const size_t chars = next - from;
            const uint16_t* first = units + at + from;
            // An empty run is written always and kept only when needed.
            output[out] = 0;
            out += separator ? 1 : 0;
            uint8_t* run = output + out;
            // Both kinds through one path: the length field, the high byte
            // (overwritten by a raw run's data) and the first 16 data bytes;
            // only longer runs loop.
            const size_t header = oneHigh ? 2 : 1;
            const size_t data = oneHigh ? chars : 2 * chars;
            run[0] = static_cast<uint8_t>((data + header) << 1);
            run[1] = High(first[0]);
            StoreRunHead(first, oneHigh, run + header);
            if (data > 16) {
                if (oneHigh)
                    CopyLowBytesOver(first + 16, chars - 16, run + header + 16);
                else
                    StoreUnitsOver(first + 8, chars - 8, run + header + 16);
            }
            out += header + data;
            previous = oneHigh;
            from = next;
            oneHigh = ((oneHighStart >> next) & 1u) != 0;
            separator = ((separators >> next) & 1u) != 0;
        } while (rest != 0);
        at += from;
    }
    *pos = at;
    *written = out;
    *previousOneHigh = previous;
}

}  // namespace

int32_t CompressUnicode(const uint16_t* units, size_t unitCount, uint8_t* output,
                        uint32_t* outputLength, uint32_t maxRunChars) {
    const size_t capacity = *outputLength;
    if (capacity < 4) {
        *outputLength = 0;
        return COMPRESS_ERR_SIZE;
    }
    // The count field holds at most 30 bits; longer text is cut like text
    // that does not fit the capacity.
    const size_t count = std::min<size_t>(unitCount, COMPRESS_MAX_FIELD);
    if (count == 0) {
        *outputLength = 0;
        return COMPRESS_OK;
    }
    const size_t limit = std::max<uint32_t>(maxRunChars, 1);

    const size_t countWidth = FieldWidth(static_cast<uint32_t>(count));
    WriteField(output, static_cast<uint32_t>(count), countWidth);
    size_t written = countWidth;
    size_t remaining = capacity - countWidth;

    bool previousOneHigh = false;
    size_t pos = 0;
    while (pos < count && remaining > 2) {
        if constexpr (std::endian::native == std::endian::little) {
            if (limit >= WINDOW_TAIL) {
                WriteWindowedRuns(units, count, limit, output, capacity, &pos, &written,
                                  &previousOneHigh);
                remaining = capacity - written;
                // A run longer than a window may have taken the rest of the
                // text or of the capacity.
                if (pos == count || remaining <= 2)
                    break;
            }
        }
        const Run run = FindRun(units, pos, count, limit);
        // An empty run keeps the alternation of kinds; it takes one byte of
        // the capacity, and is written only once the run after it is known
        // to get a character.
        const bool separator = run.oneHigh == previousOneHigh;
        remaining -= separator ? 1 : 0;
        const size_t extra = run.oneHigh ? 1 : 0;
        const size_t bytesPerChar = run.oneHigh ? 1 : 2;
        const size_t header = HeaderSize(run.chars * bytesPerChar, extra);
        const size_t size = run.chars * bytesPerChar + header;

        size_t chars = run.chars;
        const bool last = remaining <= size;
        if (last) {
            chars = remaining > header ? (remaining - header) / 2 : 0;
            // Not even one character fits after the header: end the output
            // before this run (and its separator) rather than write a header
            // past the capacity.
            if (chars == 0)
                break;
        }
        if (separator)
            output[written++] = 0;
        // A cut run gets the header of its true size, which is never larger
        // than the header the fit was computed with.
        const size_t data = chars * bytesPerChar;
        const size_t runHeader = HeaderSize(data, extra);
        WriteField(output + written, static_cast<uint32_t>(data + runHeader), runHeader - extra);
        written += runHeader - extra;
        if (run.oneHigh) {
            output[written++] = High(units[pos]);
            CopyLowBytes(units + pos, chars, output + written);
        } else {
            StoreUnits(units + pos, chars, output + written);
        }
        written += data;
        remaining -= std::min(remaining, data + runHeader);
        pos += chars;
        previousOneHigh = run.oneHigh;
        if (last)
            break;
    }
    if (pos != count)
        WriteField(output, static_cast<uint32_t>(pos), countWidth);
    *outputLength = static_cast<uint32_t>(written);
    return COMPRESS_OK;
}

int32_t DecompressUnicode(const uint8_t* compressed, uint16_t* output, uint32_t capacity) {
    const size_t countWidth = FieldWidthAt(compressed[0]);
    const uint32_t count = ReadField(compressed, countWidth);
    if (count > capacity)
        return COMPRESS_ERR_SIZE;
    if (count == 0)
        return COMPRESS_OK;

    // The stream carries no length of its own: every byte read must lie
    // within the budget, so a stream whose runs never deliver the count
    // (endless empty runs, runs without data) fails instead of running on.
    const uint64_t budget = DecompressInputBudget(count);
    uint64_t pos = countWidth;
    uint32_t delivered = 0;
    bool oneHigh = true;
    while (delivered < count) {
        if (pos >= budget)
            return COMPRESS_ERR_SIZE;
        const size_t width = FieldWidthAt(compressed[pos]);
        if (pos + width > budget)
            return COMPRESS_ERR_SIZE;
        const uint32_t size = ReadField(compressed + pos, width);
        const uint32_t wanted = count - delivered;
        if (size > width) {
            const uint64_t dataAt = pos + width + (oneHigh ? 1 : 0);
            if (oneHigh) {
                const uint32_t take = std::min<uint32_t>(size - width - 1, wanted);
                if (dataAt + take > budget)
                    return COMPRESS_ERR_SIZE;
                WidenLowBytes(compressed + dataAt, take, compressed[pos + width],
                              output + delivered);
                delivered += take;
            } else {
                const uint32_t take = std::min<uint32_t>((size - width) / 2, wanted);
                if (dataAt + 2ull * take > budget)
                    return COMPRESS_ERR_SIZE;
                LoadUnits(compressed + dataAt, take, output + delivered);
                delivered += take;
            }
        }
        // An empty run (or a field claiming less than itself) still moves on
        // by its own width, so the walk always advances.
        pos += std::max<uint64_t>(size, width);
        oneHigh = !oneHigh;
    }
    return COMPRESS_OK;
}

uint32_t GetCompUnicodeNoOfBytes(const uint8_t* compressed) {
    return ReadField(compressed, FieldWidthAt(compressed[0])) * 2;
}

}  // namespace glossel

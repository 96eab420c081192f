// Byte vectors, cuts at every capacity and malformed streams of the Unicode
// run compression.
#include "intl/collate/unicode_compression.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace glossel {
namespace {

std::vector<uint8_t> Compress(const std::vector<uint16_t>& text, uint32_t capacity,
                              uint32_t maxRun = COMPRESS_MAX_FIELD / 2 - 4) {
    // A copy allocated to the exact size, so that a sanitizer build catches
    // any read past the text; guard bytes after the capacity catch any write
    // beyond it.
    const std::unique_ptr<uint16_t[]> exact(new uint16_t[text.size() + (text.empty() ? 1 : 0)]);
    std::copy(text.begin(), text.end(), exact.get());
    std::vector<uint8_t> out(capacity + 16, 0xEE);
    uint32_t length = capacity;
    EXPECT_EQ(CompressUnicode(exact.get(), text.size(), out.data(), &length, maxRun), 0);
    EXPECT_LE(length, capacity);
    // Nothing past the returned length is touched, within the capacity or beyond.
    for (size_t i = length; i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xEE) << "wrote past " << i;
    out.resize(length);
    return out;
}

std::vector<uint16_t> Decompress(std::vector<uint8_t> stream, int32_t* code = nullptr) {
    const uint32_t count = GetCompUnicodeNoOfBytes(stream.data()) / 2;
    std::vector<uint16_t> out(count);
    stream.resize(DecompressInputBudget(count), 0);  // readable up to the budget
    const int32_t rc = DecompressUnicode(stream.data(), out.data(), count);
    if (code != nullptr)
        *code = rc;
    else
        EXPECT_EQ(rc, 0);
    return out;
}

uint32_t Full(size_t chars) {
    return static_cast<uint32_t>(8 + 4 * chars);
}

TEST(UnicodeCompression, ExactByteVectors) {
    // Ten ASCII characters: count, one run of size 12, high byte 0, ten bytes.
    std::vector<uint16_t> ascii;
    for (char c : std::string("HelloWorld"))
        ascii.push_back(static_cast<uint8_t>(c));
    std::vector<uint8_t> expected = {0x14, 0x18, 0x00};
    for (char c : std::string("HelloWorld"))
        expected.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(Compress(ascii, 64), expected);

    // Three characters of different high bytes: count, empty run, raw run.
    EXPECT_EQ(Compress({0x0041, 0x0391, 0x3042}, 64),
              (std::vector<uint8_t>{0x06, 0x00, 0x0E, 0x41, 0x00, 0x91, 0x03, 0x42, 0x30}));

    // Two one-high-byte runs in a row are separated by an empty run.
    EXPECT_EQ(Compress({0x41, 0x42, 0x43, 0x44, 0x391, 0x392, 0x393, 0x394}, 64),
              (std::vector<uint8_t>{0x10, 0x0C, 0x00, 0x41, 0x42, 0x43, 0x44, 0x00, 0x0C, 0x03,
                                    0x91, 0x92, 0x93, 0x94}));

    // A raw run stops where four characters of one high byte begin.
    EXPECT_EQ(
        Compress({0x3042, 0x41, 0x42, 0x43, 0x44}, 64),
        (std::vector<uint8_t>{0x0A, 0x00, 0x06, 0x42, 0x30, 0x0C, 0x00, 0x41, 0x42, 0x43, 0x44}));
}

TEST(UnicodeCompression, CountFieldForms) {
    std::vector<uint16_t> text(200, 0x41);
    const std::vector<uint8_t> out = Compress(text, 1000);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[0], 0x21);
    EXPECT_EQ(out[1], 0x03);
    EXPECT_EQ(GetCompUnicodeNoOfBytes(out.data()), 400u);
    const uint8_t twoByte[] = {0x21, 0x03};
    EXPECT_EQ(GetCompUnicodeNoOfBytes(twoByte), 400u);
    const uint8_t fourByte[] = {0x03, 0x00, 0x01, 0x00};  // 0x10000 >> 2
    EXPECT_EQ(GetCompUnicodeNoOfBytes(fourByte), 2u * 0x4000);

    std::vector<uint16_t> big(0x4000, 0x0430);
    const std::vector<uint8_t> bigOut = Compress(big, Full(big.size()));
    EXPECT_EQ(bigOut[0] & 3, 3);
    EXPECT_EQ(Decompress(bigOut), big);
}

TEST(UnicodeCompression, CapacityAndEmptyInput) {
    std::vector<uint8_t> out(8, 0xEE);
    uint32_t length = 3;
    const uint16_t text[] = {0x41};
    EXPECT_EQ(CompressUnicode(text, 1, out.data(), &length), 3077);
    length = 4;
    EXPECT_EQ(CompressUnicode(text, 0, out.data(), &length), 0);
    EXPECT_EQ(length, 0u);
}

// Random texts mixing scripts, so runs of both kinds and of every header size occur.
std::vector<uint16_t> RandomText(std::mt19937& rng, size_t length) {
    static const uint16_t kBlocks[] = {0x0000, 0x0300, 0x0400, 0x3000, 0x4E00, 0xD800, 0xFF00};
    std::vector<uint16_t> text;
    while (text.size() < length) {
        const uint16_t block = kBlocks[rng() % std::size(kBlocks)];
        const size_t run = rng() % 3 == 0 ? 1 + rng() % 3 : 1 + rng() % 200;
        for (size_t i = 0; i < run && text.size() < length; ++i) {
            text.push_back(static_cast<uint16_t>(block + rng() % 0x100));
        }
    }
    return text;
}

// Text shaped like prose: words of one script block between spaces and
// punctuation, the short runs of Cyrillic or Greek text; sometimes a word of
// another block, a number or a lone character of a third block.
std::vector<uint16_t> WordyText(std::mt19937& rng, size_t length) {
    static const uint16_t kScripts[] = {0x0000, 0x0300, 0x0400, 0x3000, 0x4E00};
    const uint16_t main = kScripts[rng() % std::size(kScripts)];
    std::vector<uint16_t> text;
    while (text.size() < length) {
        const uint16_t block = rng() % 5 == 0 ? kScripts[rng() % std::size(kScripts)] : main;
        const size_t word = 1 + rng() % (rng() % 4 == 0 ? 70 : 9);
        for (size_t i = 0; i < word && text.size() < length; ++i)
            text.push_back(static_cast<uint16_t>(block + 0x10 + rng() % 0xE0));
        const int gap = static_cast<int>(rng() % 6);
        if (gap <= 2)
            text.push_back(0x20);
        else if (gap == 3)
            text.insert(text.end(), {0x2C, 0x20});
        else if (gap == 4)
            text.push_back(static_cast<uint16_t>(0xFF00 + rng() % 0x100));
    }
    text.resize(length);
    return text;
}

// Text that packs worst: one-high-byte runs of exactly four characters, each
// in a new block (so empty runs separate them), between raw stretches of
// alternating blocks, short or just around the sizes where a raw run's header
// grows.
std::vector<uint16_t> DenseText(std::mt19937& rng, size_t length) {
    std::vector<uint16_t> text;
    uint16_t block = 0;
    while (text.size() < length) {
        const unsigned kind = rng() % 3;
        if (kind == 0) {
            for (unsigned runs = 1 + rng() % 3; runs > 0; --runs) {
                block = static_cast<uint16_t>((block + 0x100) % 0xE000);
                for (int i = 0; i < 4; ++i)
                    text.push_back(static_cast<uint16_t>(block + rng() % 0x100));
            }
        } else {
            const size_t raw = kind == 1 ? 1 + rng() % 3 : 60 + rng() % 8;
            for (size_t i = 0; i < raw; ++i)
                text.push_back(static_cast<uint16_t>(0xE000 + ((i % 2) << 8) + rng() % 0x100));
        }
    }
    text.resize(length);
    return text;
}

TEST(UnicodeCompression, RoundTripsAtEveryCapacity) {
    std::mt19937 rng(8);
    for (size_t length : {1u, 3u, 4u, 5u, 9u, 130u, 700u}) {
        for (int shape = 0; shape < 3; ++shape) {
            const std::vector<uint16_t> text = shape == 0   ? RandomText(rng, length)
                                               : shape == 1 ? WordyText(rng, length)
                                                            : DenseText(rng, length);
            const std::vector<uint8_t> whole = Compress(text, Full(text.size()));
            EXPECT_EQ(Decompress(whole), text);
            for (uint32_t capacity = 4; capacity <= whole.size() + 1; ++capacity) {
                const std::vector<uint8_t> cut = Compress(text, capacity);
                const std::vector<uint16_t> back = Decompress(cut);
                ASSERT_LE(back.size(), text.size());
                EXPECT_TRUE(std::equal(back.begin(), back.end(), text.begin()))
                    << "length " << length << " capacity " << capacity;
            }
        }
    }
}

// The format written out plainly, one character at a time: the run choice,
// empty runs, headers, and the cut of the last run at the capacity (ending
// the output before a run that would get no character). `limit` caps the
// characters of a run as CompressUnicode's `maxRunChars` does.
std::vector<uint8_t> ReferenceCompress(const std::vector<uint16_t>& u, size_t capacity,
                                       size_t limit = COMPRESS_MAX_FIELD / 2 - 4) {
    auto width = [](size_t v) -> size_t { return v <= 127 ? 1 : v <= 0x3FFF ? 2 : 4; };
    auto field = [](uint8_t* at, size_t v, size_t w) {
        const uint32_t stored = w == 1   ? static_cast<uint32_t>(v * 2)
                                : w == 2 ? static_cast<uint32_t>(v * 4 + 1)
                                         : static_cast<uint32_t>(v * 4 + 3);
        for (size_t i = 0; i < w; ++i)
            at[i] = static_cast<uint8_t>(stored >> (8 * i));
    };
    auto headerSize = [](size_t data, size_t extra) -> size_t {
        return data + extra <= 126 ? extra + 1 : data + extra <= 16381 ? extra + 2 : extra + 4;
    };
    auto hi = [&](size_t i) { return u[i] >> 8; };
    const size_t n = u.size();
    std::vector<uint8_t> out;
    if (n == 0)
        return out;
    const size_t countWidth = width(n);
    out.resize(countWidth);
    field(out.data(), n, countWidth);
    size_t remaining = capacity - countWidth;
    bool previousOneHigh = false;
    size_t pos = 0;
    while (pos < n && remaining > 2) {
        bool oneHigh = false;
        size_t chars = n - pos;
        const size_t end = pos + std::min(n - pos, limit);
        if (chars >= 4 && hi(pos + 1) == hi(pos) && hi(pos + 2) == hi(pos) &&
            hi(pos + 3) == hi(pos)) {
            oneHigh = true;
            chars = 4;
            while (pos + chars < end && hi(pos + chars) == hi(pos))
                ++chars;
        } else if (chars >= 4) {
            chars = end - pos;
            int equalInARow = 0;
            for (size_t i = pos + 1; i < end; ++i) {
                equalInARow = hi(i) == hi(i - 1) ? equalInARow + 1 : 0;
                if (equalInARow == 3) {
                    chars = i - 3 - pos;
                    break;
                }
            }
        }
        const size_t separatorAt = out.size();
        if (oneHigh == previousOneHigh) {
            out.push_back(0);
            --remaining;
        }
        const size_t extra = oneHigh ? 1 : 0;
        const size_t perChar = oneHigh ? 1 : 2;
        size_t header = headerSize(chars * perChar, extra);
        const bool last = remaining <= chars * perChar + header;
        if (last) {
            chars = remaining > header ? (remaining - header) / 2 : 0;
            if (chars == 0) {
                out.resize(separatorAt);
                break;
            }
            header = headerSize(chars * perChar, extra);
        } else {
            remaining -= chars * perChar + header;
        }
        const size_t fieldAt = out.size();
        out.resize(fieldAt + header - extra);
        field(out.data() + fieldAt, chars * perChar + header, header - extra);
        if (oneHigh)
            out.push_back(static_cast<uint8_t>(hi(pos)));
        for (size_t i = pos; i < pos + chars; ++i) {
            out.push_back(static_cast<uint8_t>(u[i]));
            if (!oneHigh)
                out.push_back(static_cast<uint8_t>(u[i] >> 8));
        }
        pos += chars;
        previousOneHigh = oneHigh;
        if (last)
            break;
    }
    if (pos != n)
        field(out.data(), pos, countWidth);
    return out;
}

TEST(UnicodeCompression, MatchesTheLiteralFormatAtEveryCapacity) {
    std::mt19937 rng(11);
    for (int round = 0; round < 400; ++round) {
        const size_t length = 1 + rng() % (round % 4 == 0 ? 1500 : 400);
        const std::vector<uint16_t> text = round % 3 == 0   ? RandomText(rng, length)
                                           : round % 3 == 1 ? WordyText(rng, length)
                                                            : DenseText(rng, length);
        EXPECT_EQ(Compress(text, Full(text.size())), ReferenceCompress(text, Full(text.size())))
            << round;
    }
    // Every capacity, so that runs are cut everywhere and the output is
    // tight at the start and only later has room for the rest.
    for (int round = 0; round < 30; ++round) {
        const size_t length = 1 + rng() % 400;
        const std::vector<uint16_t> text = round % 3 == 0   ? RandomText(rng, length)
                                           : round % 3 == 1 ? WordyText(rng, length)
                                                            : DenseText(rng, length);
        // Limits near the smallest one the encoder takes its quick path for.
        const uint32_t limit = round < 24 ? COMPRESS_MAX_FIELD / 2 - 4 : 92 + 2 * (round % 6);
        for (uint32_t capacity = 4; capacity <= Full(text.size()); ++capacity) {
            ASSERT_EQ(Compress(text, capacity, limit), ReferenceCompress(text, capacity, limit))
                << "round " << round << " capacity " << capacity;
        }
    }
    // Alternating blocks defeat every group until the very end.
    std::vector<uint16_t> alternating;
    for (int i = 0; i < 100; ++i)
        alternating.push_back(static_cast<uint16_t>((i % 2) << 8 | i));
    alternating.insert(alternating.end(), {0x3041, 0x3042, 0x3043, 0x3044});
    EXPECT_EQ(Compress(alternating, Full(alternating.size())),
              ReferenceCompress(alternating, Full(alternating.size())));
    // Runs of 62 to 66 characters of one block, around the longest run the
    // encoder copies in fixed-size blocks, and raw stretches around that size.
    for (size_t run = 56; run <= 70; ++run) {
        std::vector<uint16_t> text;
        for (int i = 0; i < 6; ++i) {
            text.insert(text.end(), run, static_cast<uint16_t>(0x0430 + i));
            for (size_t k = 0; k < run; ++k)
                text.push_back(static_cast<uint16_t>(((k % 2) << 8) | 0x41));
        }
        EXPECT_EQ(Compress(text, Full(text.size())), ReferenceCompress(text, Full(text.size())))
            << run;
    }
}

TEST(UnicodeCompression, CutRunNeverWritesPastCapacity) {
    // 4 ASCII then 200 Greek: after the first run 3 bytes of capacity remain,
    // the separator takes one and the Greek run's 3-byte header does not fit.
    // The count keeps its two-byte form and now says 4.
    std::vector<uint16_t> text = {0x41, 0x42, 0x43, 0x44};
    text.insert(text.end(), 200, 0x03B1);
    const std::vector<uint8_t> out = Compress(text, 2 + 6 + 3);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x11, 0x00, 0x0C, 0x00, 0x41, 0x42, 0x43, 0x44}));
    EXPECT_EQ(Decompress(out), (std::vector<uint16_t>{0x41, 0x42, 0x43, 0x44}));
}

TEST(UnicodeCompression, LongRunsSplitAtTheRunLimit) {
    std::mt19937 rng(3);
    const std::vector<uint16_t> text = RandomText(rng, 900);
    for (uint32_t limit : {1u, 2u, 5u, 64u, 95u, 96u, 97u, 128u}) {
        const std::vector<uint8_t> out = Compress(text, Full(text.size()), limit);
        EXPECT_EQ(Decompress(out), text) << limit;
        EXPECT_EQ(out, ReferenceCompress(text, Full(text.size()), limit)) << limit;
    }
    // A long raw text split every 96 characters packs to more than 2 bytes a
    // character (an empty run and a 2-byte header per piece); every capacity
    // around its packed size is cut exactly where the format says.
    std::vector<uint16_t> raw = DenseText(rng, 600);
    for (size_t i = 0; i < 4000; ++i)
        raw.push_back(static_cast<uint16_t>(0xE000 + ((i % 2) << 8) + i % 0x100));
    const size_t packed = ReferenceCompress(raw, Full(raw.size()), 96).size();
    ASSERT_GT(packed, 2 * raw.size() + 100);
    for (size_t capacity = 2 * raw.size() - 64; capacity <= packed + 64; ++capacity) {
        ASSERT_EQ(Compress(raw, static_cast<uint32_t>(capacity), 96),
                  ReferenceCompress(raw, capacity, 96))
            << capacity;
    }
}

TEST(UnicodeCompression, MalformedStreamsFailWithinTheBudget) {
    int32_t rc = 0;
    // Count 3, then nothing but empty runs up to the budget.
    std::vector<uint8_t> empties(64, 0x00);
    empties[0] = 0x06;
    std::vector<uint16_t> out(3);
    EXPECT_EQ(DecompressUnicode(empties.data(), out.data(), 3), 3077);

    // Runs that hold only their headers never deliver the count.
    std::vector<uint8_t> hollow = {0x06, 0x04, 0x41, 0x02};
    Decompress(hollow, &rc);
    EXPECT_EQ(rc, 3077);

    // A two-byte field of value 0 is an empty run that still moves on.
    EXPECT_EQ(Decompress({0x02, 0x01, 0x00, 0x01, 0x00, 0x06, 0x00, 0x41}),
              (std::vector<uint16_t>{0x41}));

    // Count larger than the destination.
    const uint8_t four[] = {0x08, 0x0A, 0x00, 1, 2, 3, 4};
    EXPECT_EQ(DecompressUnicode(four, out.data(), 3), 3077);

    // A run whose data would cross the budget fails before reading it.
    std::vector<uint8_t> late(10, 0x00);  // count 1, nine empty runs
    late[0] = 0x02;
    late.push_back(0x06);  // raw run at offset 10: its unit would end at 13 > 12
    late.push_back(0x41);
    Decompress(late, &rc);
    EXPECT_EQ(rc, 3077);

    // The last run may claim more than it holds: the count bounds it.
    std::vector<uint8_t> longClaim = {0x04, 0x7E, 0x00, 0x41, 0x42};
    EXPECT_EQ(Decompress(longClaim), (std::vector<uint16_t>{0x41, 0x42}));
}

}  // namespace
}  // namespace glossel

// Byte vectors, cuts at every capacity and malformed streams of the Unicode
// run compression.
#include "intl/collate/unicode_compression.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace glossel {
namespace {

std::vector<uint8_t> Compress(const std::vector<uint16_t>& text, uint32_t capacity,
                              uint32_t maxRun = COMPRESS_MAX_FIELD / 2 - 4) {
    // Guard bytes after the capacity catch any write beyond it.
    std::vector<uint8_t> out(capacity + 16, 0xEE);
    uint32_t length = capacity;
    EXPECT_EQ(CompressUnicode(text.data(), text.size(), out.data(), &length, maxRun), 0);
    EXPECT_LE(length, capacity);
    for (size_t i = capacity; i < out.size(); ++i)
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

TEST(UnicodeCompression, RoundTripsAtEveryCapacity) {
    std::mt19937 rng(8);
    for (size_t length : {1u, 3u, 4u, 5u, 9u, 130u, 700u}) {
        const std::vector<uint16_t> text = RandomText(rng, length);
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

// The run choice written out plainly, one character at a time, for texts
// that fit: the output must match it byte for byte.
std::vector<uint8_t> ReferenceCompress(const std::vector<uint16_t>& u) {
    auto field = [](std::vector<uint8_t>* out, uint32_t v) {
        if (v <= 127) {
            out->push_back(static_cast<uint8_t>(v * 2));
        } else if (v <= 0x3FFF) {
            out->push_back(static_cast<uint8_t>(v * 4 + 1));
            out->push_back(static_cast<uint8_t>((v * 4 + 1) >> 8));
        } else {
            for (int i = 0; i < 4; ++i)
                out->push_back(static_cast<uint8_t>((v * 4 + 3) >> (8 * i)));
        }
    };
    auto hi = [&](size_t i) { return u[i] >> 8; };
    std::vector<uint8_t> out;
    field(&out, static_cast<uint32_t>(u.size()));
    bool previousOneHigh = false;
    for (size_t pos = 0; pos < u.size();) {
        bool oneHigh = false;
        size_t n = u.size() - pos;
        if (n >= 4 && hi(pos + 1) == hi(pos) && hi(pos + 2) == hi(pos) && hi(pos + 3) == hi(pos)) {
            oneHigh = true;
            n = 4;
            while (pos + n < u.size() && hi(pos + n) == hi(pos))
                ++n;
        } else if (n >= 4) {
            int run = 0;
            for (size_t i = pos + 1; i < u.size(); ++i) {
                run = hi(i) == hi(i - 1) ? run + 1 : 0;
                if (run == 3) {
                    n = i - 3 - pos;
                    break;
                }
            }
        }
        if (oneHigh == previousOneHigh)
            out.push_back(0);
        const size_t data = oneHigh ? n : 2 * n;
        const size_t extra = oneHigh ? 1 : 0;
        const size_t header = data + extra <= 126     ? extra + 1
                              : data + extra <= 16381 ? extra + 2
                                                      : extra + 4;
        field(&out, static_cast<uint32_t>(data + header));
        if (oneHigh)
            out.push_back(static_cast<uint8_t>(hi(pos)));
        for (size_t i = pos; i < pos + n; ++i) {
            out.push_back(static_cast<uint8_t>(u[i]));
            if (!oneHigh)
                out.push_back(static_cast<uint8_t>(u[i] >> 8));
        }
        pos += n;
        previousOneHigh = oneHigh;
    }
    return out;
}

TEST(UnicodeCompression, RunChoiceMatchesTheCharacterByCharacterRule) {
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        const std::vector<uint16_t> text = RandomText(rng, 1 + rng() % 400);
        EXPECT_EQ(Compress(text, Full(text.size())), ReferenceCompress(text)) << round;
    }
    // Alternating blocks defeat every group until the very end.
    std::vector<uint16_t> alternating;
    for (int i = 0; i < 100; ++i)
        alternating.push_back(static_cast<uint16_t>((i % 2) << 8 | i));
    alternating.insert(alternating.end(), {0x3041, 0x3042, 0x3043, 0x3044});
    EXPECT_EQ(Compress(alternating, Full(alternating.size())), ReferenceCompress(alternating));
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
    for (uint32_t limit : {1u, 2u, 5u, 64u}) {
        EXPECT_EQ(Decompress(Compress(text, Full(text.size()), limit)), text) << limit;
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

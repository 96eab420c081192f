// Translation paths over hand-made table files and over the compiled
// "CCINTL.TB", cross-checked with the C library's converters.
#include "intl/translate.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>

#include "intl/context.h"
#include "intl/table_layout.h"
#include "intl/test_support.h"

namespace glossel {
namespace {

using testing::CTempDir;
using testing::WriteTableFile;
using Bytes = std::vector<uint8_t>;

Bytes Utf16(const std::u16string& text) {
    Bytes out;
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::array<uint16_t, 256> Latin1() {
    std::array<uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        table[static_cast<size_t>(i)] = static_cast<uint16_t>(i);
    }
    return table;
}

// A small file: 1252 as Latin-1 plus U+2019 at 0x92, a replacement table with
// U+2018 -> "'" and U+003F -> "X", and Shift_JIS tables whose grid and pair
// forms give different values so the test can tell which was read.
TableFileContents SmallFile() {
    TableFileContents contents;
    std::array<uint16_t, 256> cp1252 = Latin1();
    cp1252[0x92] = 0x2019;
    contents.xlat.push_back({1252, SET_UNICODE, SingleToUnicodeTable(cp1252)});
    contents.xlat.push_back({SET_UNICODE, 1252, UnicodeToSingleTable(cp1252, 0xFFFD)});

    std::array<uint16_t, 256> single = Latin1();
    for (int b = 0; b < 256; ++b) {
        if (IsSjisLeadByte(static_cast<uint8_t>(b))) {
            single[static_cast<size_t>(b)] = 0xFFFD;
        }
    }
    Bytes grid = EncodeU16Part(single);
    grid.resize(SJIS_GRID_TABLE_SIZE, 0);
    auto putGrid = [&grid](uint8_t lead, uint8_t trail, uint16_t u) {
        const size_t at = SINGLE_PART_U16_SIZE + 2 * SjisGridIndex(lead, trail);
        grid[at] = static_cast<uint8_t>(u & 0xFF);
        grid[at + 1] = static_cast<uint8_t>(u >> 8);
    };
    putGrid(0x82, 0xA0, 0x3041);  // row 1, column 96
    putGrid(0x88, 0x9F, 0x4E9C);
    putGrid(0x81, 0x40, 0x00E9);  // a code that 1252 can hold
    contents.xlat.push_back({SET_SJIS, SET_UNICODE, grid});
    Bytes pairs = EncodeU16Part(single);
    const Bytes codePairs = EncodePairs({{0x8140, 0x00E8}, {0x82A0, 0x3042}});
    pairs.insert(pairs.end(), codePairs.begin(), codePairs.end());
    contents.xlat.push_back({SET_SJIS_PAIRS, SET_UNICODE, pairs});
    std::array<uint16_t, 256> strings = Latin1();
    contents.xlat.push_back({SET_UNICODE, SET_SJIS,
                             UnicodeToDoubleTable(strings, {{0x3041, 0xA082}, {0x4E9C, 0x9F88}})});
    contents.replacement = EncodePairs({{0x003F, 'X'}, {0x2018, '\''}, {0x3042, 'a'}});
    return contents;
}

class TranslateTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTableFile(m_dir.Path(), SmallFile());
        ASSERT_EQ(CreateContext(m_dir.Path().c_str(), 2, "en", &m_pCtx), 0);
    }
    void TearDown() override { EXPECT_EQ(DestroyContext(m_pCtx), 0); }

    // Translates into a buffer of `capacity` bytes filled with 0xEE.
    int32_t Run(int16_t from, const Bytes& in, int16_t to, uint32_t capacity, Bytes* out) {
        out->assign(capacity, 0xEE);
        uint32_t length = capacity;
        const int32_t rc = TranslateStr(m_pCtx, from, in.data(), static_cast<uint32_t>(in.size()),
                                        to, out->data(), &length);
        m_lastLength = length;
        if (rc == 0) {
            out->resize(length);
        }
        return rc;
    }

    CTempDir m_dir;
    tccIntlCtxtStruct* m_pCtx = nullptr;
    uint32_t m_lastLength = 0;
};

TEST_F(TranslateTest, IdentityAndSetZeroCopyWithinCapacity) {
    Bytes out;
    for (auto [from, to] : {std::pair<int16_t, int16_t>{1252, 1252}, {0, 1252}, {1200, 0}}) {
        EXPECT_EQ(Run(from, B("abc\x92"), to, 4, &out), 0);
        EXPECT_EQ(out, B("abc\x92"));
        // A capacity below the input is refused with nothing written.
        EXPECT_EQ(Run(from, B("abc\x92"), to, 3, &out), 3077);
        EXPECT_EQ(m_lastLength, 0u);
        EXPECT_EQ(out, Bytes(3, 0xEE));
    }
}

TEST_F(TranslateTest, SingleToUnicodeNeedsTwiceTheInput) {
    const Bytes in = B("a\x92\xE9");
    Bytes out;
    EXPECT_EQ(Run(1252, in, 1200, 5, &out), 3077);
    EXPECT_EQ(m_lastLength, 0u);
    EXPECT_EQ(out, Bytes(5, 0xEE));
    ASSERT_EQ(Run(1252, in, 1200, 6, &out), 0);
    EXPECT_EQ(out, Utf16(u"a\u2019\u00E9"));
}

TEST_F(TranslateTest, UnicodeToSingleUsesReplacementExceptForQuestionMark) {
    Bytes out;
    ASSERT_EQ(Run(1200, Utf16(u"\u2019\u2018\u4E00?x"), 1252, 5, &out), 0);
    // In the table; only in the replacement table; in neither; U+003F itself
    // (the replacement table's "X" for it is never consulted).
    EXPECT_EQ(out, B("\x92'??x"));
    // The odd last byte of a Unicode input is not a unit.
    Bytes odd = Utf16(u"ab");
    odd.push_back('c');
    ASSERT_EQ(Run(1200, odd, 1252, 2, &out), 0);
    EXPECT_EQ(out, B("ab"));
    EXPECT_EQ(Run(1200, Utf16(u"abc"), 1252, 2, &out), 3077);
}

TEST_F(TranslateTest, GridIndexRowAndColumn) {
    Bytes out;
    ASSERT_EQ(Run(SET_SJIS, Bytes{0x82, 0xA0, 'A', 0x88, 0x9F}, SET_UNICODE, 10, &out), 0);
    EXPECT_EQ(out, Utf16(u"\u3041A\u4E9C"));
}

TEST_F(TranslateTest, ShiftJisToSingleByteReadsThePairTable) {
    Bytes out;
    // The grid says U+00E9 for 0x8140, the pair table U+00E8: the pair table
    // is the one used on the way to 1252. 0x82A0 -> U+3042 -> replacement "a".
    ASSERT_EQ(Run(SET_SJIS, Bytes{0x81, 0x40, 0x82, 0xA0, 'z'}, 1252, 5, &out), 0);
    EXPECT_EQ(out, B("\xE8"
                     "az"));
}

TEST_F(TranslateTest, DanglingLeadAndBadTrailReadNothingOutside) {
    Bytes out;
    // A lead byte at the end, and one before a byte that cannot trail: each
    // lead stands alone (U+FFFD) and the next byte is read as itself.
    ASSERT_EQ(Run(SET_SJIS, Bytes{'a', 0x82, 0x0A, 0x82}, SET_UNICODE, 8, &out), 0);
    EXPECT_EQ(out, Utf16(u"a\uFFFD\n\uFFFD"));
    ASSERT_EQ(Run(SET_SJIS, Bytes{0x82, 0xFD, 0xFC}, 1252, 3, &out), 0);
    EXPECT_EQ(out, B("?\xFD?"));
}

TEST_F(TranslateTest, UnicodeToShiftJisWritesOutputStrings) {
    Bytes out;
    ASSERT_EQ(Run(SET_UNICODE, Utf16(u"A\u3041\u4E9C\u3042"), SET_SJIS, 8, &out), 0);
    EXPECT_EQ(out, (Bytes{'A', 0x82, 0xA0, 0x88, 0x9F, 'a'}));
}

TEST_F(TranslateTest, PairFormToShiftJisGoesThroughUnicode) {
    Bytes out;
    // 0x8140 -> U+00E8 (pairs) -> byte part; 0x82A0 -> U+3042, which the
    // output strings lack -> replacement "a".
    ASSERT_EQ(Run(SET_SJIS_PAIRS, Bytes{0x81, 0x40, 0x82, 0xA0, 'q'}, SET_SJIS, 10, &out), 0);
    EXPECT_EQ(out, B("\xE8"
                     "aq"));
}

// Unloading in the middle of work leaves a cache that later translations
// fill and evict correctly.
TEST_F(TranslateTest, TranslationsStayRightAcrossUnloads) {
    for (int round = 0; round < 3; ++round) {
        Bytes out;
        ASSERT_EQ(Run(SET_SJIS, Bytes{0x82, 0xA0, 0x81, 0x40}, SET_UNICODE, 8, &out), 0);
        EXPECT_EQ(out, Utf16(u"\u3041\u00E9"));
        ASSERT_EQ(Run(SET_SJIS, Bytes{0x81, 0x40}, 1252, 2, &out), 0);
        EXPECT_EQ(out, B("\xE8"));
        ASSERT_EQ(Run(1252, B("\x92"), SET_UNICODE, 2, &out), 0);
        EXPECT_EQ(out, Utf16(u"\u2019"));
        ASSERT_EQ(Run(SET_UNICODE, Utf16(u"\u4E9C"), SET_SJIS, 2, &out), 0);
        EXPECT_EQ(out, (Bytes{0x88, 0x9F}));
        EXPECT_LE(m_pCtx->cacheCount, 2);
        if (round == 1) {
            UnloadTables(m_pCtx);
        }
    }
}

// The double-byte path and the copies check the capacity before writing.
TEST_F(TranslateTest, DoubleBytePathRefusesTooSmallCapacity) {
    Bytes out;
    EXPECT_EQ(Run(SET_SJIS, B("abc"), SET_UNICODE, 5, &out), 3077);
    EXPECT_EQ(out, Bytes(5, 0xEE));
    EXPECT_EQ(m_lastLength, 0u);
    EXPECT_EQ(Run(1252, B("abc"), SET_SJIS, 5, &out), 3077);
    EXPECT_EQ(Run(SET_UNICODE, Utf16(u"ab"), SET_SJIS, 3, &out), 3077);
    EXPECT_EQ(Run(SET_SJIS, B("abc"), 1252, 2, &out), 3077);
    ASSERT_EQ(Run(SET_SJIS, B("abc"), 1252, 3, &out), 0);
    EXPECT_EQ(out, B("abc"));
}

TEST_F(TranslateTest, InPlaceShiftJisToUnicodeDoublesWithoutLoss) {
    const Bytes in{'H', 'i', 0x82, 0xA0, '!', 0x88, 0x9F, 'x'};
    Bytes expected;
    ASSERT_EQ(Run(SET_SJIS, in, SET_UNICODE, 16, &expected), 0);
    Bytes buffer = in;
    buffer.resize(16, 0);
    uint32_t length = 16;
    ASSERT_EQ(TranslateStr(m_pCtx, SET_SJIS, buffer.data(), 8, SET_UNICODE, buffer.data(), &length),
              0);
    ASSERT_EQ(length, expected.size());
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length), expected);

    // Plain ASCII doubles in place; so does single bytes -> Unicode.
    Bytes ascii = B("plain ascii text");
    ascii.resize(32, 0);
    length = 32;
    ASSERT_EQ(TranslateStr(m_pCtx, SET_SJIS, ascii.data(), 16, SET_UNICODE, ascii.data(), &length),
              0);
    EXPECT_EQ(Bytes(ascii.begin(), ascii.begin() + length), Utf16(u"plain ascii text"));
    Bytes latin = B("\x92x");
    latin.resize(4, 0);
    length = 4;
    ASSERT_EQ(TranslateStr(m_pCtx, 1252, latin.data(), 2, SET_UNICODE, latin.data(), &length), 0);
    EXPECT_EQ(latin, Utf16(u"\u2019x"));
}

TEST_F(TranslateTest, OverlappingBuffersTranslateFromACopy) {
    Bytes buffer(12, 0);
    const Bytes in = B("\x92\xE9z");
    std::copy(in.begin(), in.end(), buffer.begin() + 2);
    uint32_t length = 8;
    ASSERT_EQ(
        TranslateStr(m_pCtx, 1252, buffer.data() + 2, 3, SET_UNICODE, buffer.data() + 1, &length),
        0);
    EXPECT_EQ(Bytes(buffer.begin() + 1, buffer.begin() + 7), Utf16(u"\u2019\u00E9z"));
}

class MissingPairLogTest : public TranslateTest {
protected:
    // Lines in this test's "CCNFT.LG".
    std::vector<std::string> LogLines() {
        std::vector<std::string> lines;
        const std::string text = testing::ReadText(m_dir.File("CCNFT.LG"));
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
    void Translate(int16_t from, int16_t to) {
        Bytes out;
        ASSERT_EQ(Run(from, B("text"), to, 8, &out), 0);
        EXPECT_EQ(out, B("text"));
    }
};

TEST_F(MissingPairLogTest, SamePairLoggedOnceAndABALoggedThrice) {
    const int16_t mac = SET_MAC_ROMAN;
    Translate(mac, SET_UNICODE);
    Translate(mac, SET_UNICODE);
    Translate(1252, mac);
    Translate(mac, SET_UNICODE);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("cIntl: cIntl (MacScript0->Unicode)"), std::string::npos) << lines[0];
    // Two tables were wanted; the second, (1200 -> Mac), is the missing one.
    EXPECT_NE(lines[1].find("cIntl (Unicode->MacScript0)"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("cIntl (MacScript0->Unicode)"), std::string::npos) << lines[2];
}

TEST_F(MissingPairLogTest, DoubleBytePathLogsThePairItWasGiven) {
    Translate(SET_SJIS, static_cast<int16_t>(0x8591));
    Translate(1250, SET_SJIS);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("cIntl (932->ISO88591)"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("cIntl (1250->932)"), std::string::npos) << lines[1];
    // A copy needs the input's length.
    Bytes out;
    EXPECT_EQ(Run(1250, B("text"), 1251, 3, &out), 3077);
}

// --- The compiled table file -------------------------------------------------------

class CompiledTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CreateContext(testing::BuiltTableDir().c_str(), 4, "en", &m_pCtx), 0)
            << "no CCINTL.TB in " << testing::BuiltTableDir();
    }
    void TearDown() override {
        if (m_pCtx != nullptr) {
            EXPECT_EQ(DestroyContext(m_pCtx), 0);
        }
    }
    Bytes Translate(int16_t from, const Bytes& in, int16_t to) {
        Bytes out(2 * in.size() + 2);
        uint32_t length = static_cast<uint32_t>(out.size());
        EXPECT_EQ(TranslateStr(m_pCtx, from, in.data(), static_cast<uint32_t>(in.size()), to,
                               out.data(), &length),
                  0);
        out.resize(length);
        return out;
    }

    tccIntlCtxtStruct* m_pCtx = nullptr;
};

// What iconv makes of `in` (UTF-16LE out); false when it rejects it.
bool IconvDecode(const char* from, const Bytes& in, Bytes* out) {
    iconv_t cd = iconv_open("UTF-16LE", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    char buffer[16];
    char* input = reinterpret_cast<char*>(const_cast<uint8_t*>(in.data()));
    size_t inputLeft = in.size();
    char* output = buffer;
    size_t outputLeft = sizeof buffer;
    bool ok = iconv(cd, &input, &inputLeft, &output, &outputLeft) != static_cast<size_t>(-1) &&
              iconv(cd, nullptr, nullptr, &output, &outputLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    out->assign(buffer, output);
    return ok;
}

struct SetName {
    int16_t id;
    const char* iconvName;
};

// Every byte of every single-byte set, through Unicode and back.
TEST_F(CompiledTableTest, EveryByteRoundTripsAndMatchesIconv) {
    const SetName sets[] = {
        {1250, "CP1250"},
        {1251, "CP1251"},
        {1252, "CP1252"},
        {1253, "CP1253"},
        {1254, "CP1254"},
        {1255, "CP1255"},
        {1256, "CP1256"},
        {1257, "CP1257"},
        {1258, "CP1258"},
        {874, "CP874"},
        {static_cast<int16_t>(0x8000), "MACINTOSH"},
        {static_cast<int16_t>(0x8591), "ISO-8859-1"},
        {static_cast<int16_t>(0x8592), "ISO-8859-2"},
        {static_cast<int16_t>(0x8593), "ISO-8859-3"},
        {static_cast<int16_t>(0x8594), "ISO-8859-4"},
        {static_cast<int16_t>(0x8595), "ISO-8859-5"},
        {static_cast<int16_t>(0x8596), "ISO-8859-6"},
        {static_cast<int16_t>(0x8597), "ISO-8859-7"},
        {static_cast<int16_t>(0x8598), "ISO-8859-8"},
        {static_cast<int16_t>(0x8599), "ISO-8859-9"},
        {static_cast<int16_t>(0x8646), "ISO646-US"},
        {437, "CP437"},
        {850, "CP850"},
        {852, "CP852"},
        {866, "CP866"},
        {20866, "KOI8-R"},
        {21866, "KOI8-U"},
        {28605, "ISO-8859-15"},
    };
    for (const SetName& set : sets) {
        Bytes all(256);
        for (int b = 0; b < 256; ++b) {
            all[static_cast<size_t>(b)] = static_cast<uint8_t>(b);
        }
        const Bytes unicode = Translate(set.id, all, SET_UNICODE);
        ASSERT_EQ(unicode.size(), 512u) << set.iconvName;
        int defined = 0;
        for (int b = 0; b < 256; ++b) {
            const Bytes ours(unicode.begin() + 2 * b, unicode.begin() + 2 * b + 2);
            Bytes theirs;
            if (IconvDecode(set.iconvName, Bytes{static_cast<uint8_t>(b)}, &theirs)) {
                ++defined;
                EXPECT_EQ(ours, theirs) << set.iconvName << " byte " << b;
            } else {
                // Undefined bytes: C1 controls stand for themselves, others U+FFFD.
                const uint16_t expected = (b >= 0x80 && b <= 0x9F) ? b : 0xFFFD;
                EXPECT_EQ(ReadU16(ours.data()), expected) << set.iconvName << " byte " << b;
            }
        }
        EXPECT_GE(defined, 128) << set.iconvName;
        const Bytes back = Translate(SET_UNICODE, unicode, set.id);
        for (int b = 0; b < 256; ++b) {
            if (ReadU16(unicode.data() + 2 * b) != 0xFFFD) {
                EXPECT_EQ(back[static_cast<size_t>(b)], b) << set.iconvName << " byte " << b;
            }
        }
    }
}

TEST_F(CompiledTableTest, ShiftJisMatchesIconvAndRoundTrips) {
    int compared = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsSjisLeadByte(static_cast<uint8_t>(lead)) || (lead >= 0xEF && lead <= 0xF9)) {
            continue;  // the user-defined leads share grid rows with 0xE4-0xEE
        }
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const Bytes code{static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)};
            Bytes theirs;
            if (!IconvDecode("CP932", code, &theirs) || theirs.size() != 2) {
                continue;
            }
            ++compared;
            const Bytes ours = Translate(SET_SJIS, code, SET_UNICODE);
            ASSERT_EQ(ours, theirs) << std::hex << lead << " " << trail;
            // Back to 932: a code with a duplicate elsewhere may come back as
            // the preferred one, which decodes to the same character.
            const Bytes back = Translate(SET_UNICODE, ours, SET_SJIS);
            EXPECT_EQ(Translate(SET_SJIS, back, SET_UNICODE), ours) << std::hex << lead << trail;
        }
    }
    EXPECT_GT(compared, 7000);
    // Halfwidth katakana and ASCII through the single-byte part.
    EXPECT_EQ(Translate(SET_SJIS, Bytes{'A', 0xB1}, SET_UNICODE), Utf16(u"A\uFF71"));
}

TEST_F(CompiledTableTest, ShiftJisToWindowsAndReplacements) {
    // "café – “x”" in 932 (é has no 932 code, so it is written as e), then to 1252.
    const Bytes sjis = Translate(SET_UNICODE, Utf16(u"caf\u00E9 \u2013 \u201Cx\u201D"), SET_SJIS);
    EXPECT_EQ(sjis, B("cafe - \x81\x67x\x81\x68"));
    EXPECT_EQ(Translate(SET_SJIS, sjis, 1252), B("cafe - \x93x\x94"));
    // Kana have no 1252 byte and no substitute.
    EXPECT_EQ(Translate(SET_SJIS, Bytes{0x82, 0xA0}, 1252), B("?"));
    // Typographic punctuation into a set without it: ASCII substitutes.
    EXPECT_EQ(
        Translate(SET_UNICODE, Utf16(u"\u2018a\u2019 \u2014 \u00C5"), static_cast<int16_t>(0x8595)),
        B("'a' - A"));
}

TEST_F(CompiledTableTest, NormalisationAndReplacementTablesHoldUnicodeData) {
    TableView norm;
    ASSERT_EQ(LoadNormTable(m_pCtx, &norm), 0);
    ASSERT_EQ(norm.size, 2u * 0x7FFF);
    auto normalised = [&norm](uint16_t u) { return ReadU16(norm.data + 2 * size_t{u}); };
    EXPECT_EQ(normalised('A'), 'A');
    EXPECT_EQ(normalised(0x00E9), 0x00E9);  // already composed
    EXPECT_EQ(normalised(0x2126), 0x03A9);  // ohm sign -> omega
    EXPECT_EQ(normalised(0x00B5), 0x03BC);  // micro sign -> mu
    EXPECT_EQ(normalised(0x2460), '1');     // circled digit one
    EXPECT_EQ(normalised(0x00BD), 0x00BD);  // one half is three characters: unchanged
    TableView repl;
    ASSERT_EQ(LoadReplTable(m_pCtx, &repl), 0);
    EXPECT_EQ(PairSearch(repl.data, repl.size, 0x00E9), 'e');
    EXPECT_EQ(PairSearch(repl.data, repl.size, 0xFF21), 'A');  // fullwidth A
    EXPECT_EQ(PairSearch(repl.data, repl.size, 0x201C), '"');
    EXPECT_EQ(PairSearch(repl.data, repl.size, 0x4E00), '?');
}

}  // namespace
}  // namespace glossel

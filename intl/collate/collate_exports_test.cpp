// The comparison, normalisation, split and packing exports against a small
// hand-made table file: handle and argument checks, table look-ups, codes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "include/glossel/glossel.h"
#include "intl/collate/collation.h"
#include "intl/context.h"
#include "intl/table_writer.h"
#include "intl/test_support.h"
#include "tools/cctb/language/language_tables.h"

namespace glossel {
namespace {

void PutU16(std::vector<uint8_t>* out, uint16_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

// Language "tt": letters weigh by alphabet position regardless of case, "ch"
// is a contraction after "c", U+00DF expands to "ss". Kind 2 is not a
// collation table; kind 3 is missing from the group (another language's).
std::vector<uint8_t> ToyMain() {
    std::vector<uint8_t> main;
    for (uint16_t u = 0; u < 0x100; ++u) {
        uint16_t w = 0;
        if (u >= 'a' && u <= 'z')
            w = static_cast<uint16_t>(100 + 2 * (u - 'a'));
        if (u >= 'A' && u <= 'Z')
            w = static_cast<uint16_t>(100 + 2 * (u - 'A'));
        if (u == 'c')
            w = 0xA000;
        if (u == 0xDF)
            w = 0xC000;
        PutU16(&main, w);
    }
    return main;
}

class CollateExports : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/collate_exportsXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;

        TableFileContents contents;
        std::array<uint16_t, 256> cp{};
        for (int b = 0; b < 256; ++b)
            cp[b] = static_cast<uint16_t>(b);
        cp[0x80] = 0x20AC;
        contents.xlat.push_back({1252, 1200, SingleToUnicodeTable(cp)});
        contents.xlat.push_back({1200, 1252, UnicodeToSingleTable(cp, 0xFFFD)});
        // Code page 932 (single-byte parts only) both ways; 1250 only towards
        // Unicode; 1251 and 0x43A4 not at all.
        std::array<uint16_t, 256> sjis{};
        std::array<uint16_t, 256> sjisOut{};
        for (int b = 0; b < 256; ++b) {
            sjis[b] = b < 0x80 ? static_cast<uint16_t>(b)
                               : (b >= 0xA1 && b <= 0xDF ? static_cast<uint16_t>(0xFF61 + b - 0xA1)
                                                         : uint16_t{0});
            sjisOut[b] = b < 0x80 ? static_cast<uint16_t>(b) : uint16_t{'?'};
        }
        std::vector<uint8_t> sjisToUnicode = SingleToUnicodeTable(sjis);
        sjisToUnicode.resize(SJIS_GRID_TABLE_SIZE);  // an empty double-byte grid
        contents.xlat.push_back({932, 1200, sjisToUnicode});
        contents.xlat.push_back({1200, 932, UnicodeToDoubleTable(sjisOut, {})});
        contents.xlat.push_back({1250, 1200, SingleToUnicodeTable(cp)});

        LangTableSpec langTable;
        langTable.language[0] = 't';
        langTable.language[1] = 't';
        langTable.main = ToyMain();
        for (uint16_t v : std::vector<uint16_t>{0, 's', 's'})
            PutU16(&langTable.second, v);
        for (uint16_t v : std::vector<uint16_t>{'c', 0, 104, 'c', 'h', 105})
            PutU16(&langTable.third, v);
        for (uint16_t kind = 0; kind < 3; ++kind) {
            langTable.kind = kind;
            langTable.type = kind == 2 ? 0x8001 : 0x8003;
            contents.lang.push_back(langTable);
        }
        langTable.language[0] = 'x';
        langTable.kind = 3;
        contents.lang.push_back(langTable);
        // Normalisation folds capitals to small letters.
        for (uint16_t u = 0; u < 0x100; ++u) {
            PutU16(&contents.normalisation,
                   u >= 'A' && u <= 'Z' ? static_cast<uint16_t>(u + 32) : u);
        }
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(BuildTableFile(contents, &bytes, &error)) << error;
        std::ofstream(m_dir + "/CCINTL.TB", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        ASSERT_EQ(CreateContext(m_dir.c_str(), 0, "TT", &m_ctx), 0);
    }

    void TearDown() override {
        if (m_ctx != nullptr) {
            EXPECT_EQ(DestroyContext(m_ctx), 0);
        }
        std::filesystem::remove_all(m_dir);
    }

    int16_t Compare(int16_t set, const std::string& lhs, const std::string& rhs, uint16_t flags,
                    int32_t expectedCode = 0) {
        int16_t result = 99;
        EXPECT_EQ(ccIntlStrCmp(m_ctx, set, reinterpret_cast<const uint8_t*>(lhs.data()),
                               static_cast<uint32_t>(lhs.size()),
                               reinterpret_cast<const uint8_t*>(rhs.data()),
                               static_cast<uint32_t>(rhs.size()), flags, &result),
                  expectedCode);
        return result;
    }

    std::string m_dir;
    tccIntlCtxtStruct* m_ctx = nullptr;
};

TEST_F(CollateExports, HandleAndArgumentChecks) {
    int16_t result = 0;
    uint16_t position = 5;
    uint8_t text[] = "abc";
    uint8_t highest = 0;
    EXPECT_EQ(ccIntlStrCmp(nullptr, 1252, text, 3, text, 3, 0, &result), 3073);
    EXPECT_EQ(ccIntlNormalizeStr(nullptr, 1252, text, 3), 3073);
    EXPECT_EQ(ccIntlNormalizeMultiStr(nullptr, 932, text, 3), 3073);
    EXPECT_EQ(ccIntlSplitStr(nullptr, 1252, text, 2, &position), 3073);
    EXPECT_EQ(ccIntlHighestChar(nullptr, 1252, 0, &highest), 3073);
    // The highest character of Unicode, 932 and "none" needs no table or handle.
    for (int16_t set : {1200, 932, 0}) {
        highest = 0;
        EXPECT_EQ(ccIntlHighestChar(nullptr, set, 0, &highest), 0);
        EXPECT_EQ(highest, 0xFF);
    }
    EXPECT_EQ(ccIntlStrCmp(m_ctx, 1252, text, 3, text, 3, 0, nullptr), 3077);
    EXPECT_EQ(ccIntlStrCmp(m_ctx, 1252, nullptr, 3, text, 3, 0, &result), 3077);
    EXPECT_EQ(ccIntlSplitStr(m_ctx, 1252, text, 2, nullptr), 3077);
}

TEST_F(CollateExports, CompareThroughTheLanguageTables) {
    EXPECT_EQ(Compare(1252, "abc", "ABC", 0), 0);
    EXPECT_EQ(Compare(1252, "cz", "ch", 0), -1);
    EXPECT_EQ(Compare(1252, "\xDF", "ss", 0), 1);  // tie broken by the second pass
    EXPECT_EQ(Compare(1252, "\xDF", "st", 0), -1);
    EXPECT_EQ(Compare(1252, "", "a", 0), -1);
    EXPECT_EQ(Compare(1252, "abc", "abcd", 0x20), 0);
    // Unicode text, and the byte path of code page 932.
    const std::string wideLhs("a\0\xDF\0", 4);
    const std::string wideRhs("a\0s\0s\0", 6);
    EXPECT_EQ(Compare(1200, wideLhs, wideRhs, 0), 1);
    EXPECT_EQ(Compare(932, "abc", "ABC", 0), 0);
    EXPECT_EQ(Compare(932, "abc", "ABC", 1), 1);
    // Kind 2 is not a collation table; kind 3 does not exist for "tt".
    Compare(1252, "a", "b", 2, 3078);
    Compare(1252, "a", "b", 3, 3076);
}

// Unicode comparisons take the export's shortcut once a kind's tables are
// kept; every answer must still be the one of the general comparison over
// the same tables (with the normalisation table for the tie-breaking pass).
TEST_F(CollateExports, UnicodeShortcutAnswersAsTheGeneralComparison) {
    const char16_t alphabet[] = {u'a', u'A', u'b', u'c', u'h', u's', u'z', 0xDF, 0x3042, 0};
    std::mt19937 rng(3);
    auto randomText = [&](size_t maxLength) {
        std::string text;
        for (size_t n = rng() % (maxLength + 1); n > 0; --n) {
            const char16_t c = alphabet[rng() % std::size(alphabet)];
            text += static_cast<char>(c & 0xFF);
            text += static_cast<char>(c >> 8);
        }
        return text;
    };
    for (uint16_t kind = 0; kind < 2; ++kind) {
        LangTables tables;
        ASSERT_EQ(GetLangTables(m_ctx, kind, &tables), 0);
        TableView norm;
        ASSERT_EQ(LoadNormTable(m_ctx, &norm), 0);
        CollationView view;
        view.tables = {ByteView(tables.main.data, tables.main.size),
                       ByteView(tables.second.data, tables.second.size),
                       ByteView(tables.third.data, tables.third.size)};
        view.normalisation = U16Table(ByteView(norm.data, norm.size));
        view.unicode = true;
        for (int round = 0; round < 3000; ++round) {
            const std::string lhs = randomText(8);
            const std::string rhs =
                lhs.substr(0, 2 * (rng() % (lhs.size() / 2 + 1))) + randomText(3);
            const uint16_t flags = static_cast<uint16_t>(kind | (rng() % 4) << 4);
            const ByteView l(reinterpret_cast<const uint8_t*>(lhs.data()), lhs.size());
            const ByteView r(reinterpret_cast<const uint8_t*>(rhs.data()), rhs.size());
            ASSERT_EQ(Compare(1200, lhs, rhs, flags), CompareText(view, l, r, flags)) << round;
            ASSERT_EQ(Compare(1200, rhs, lhs, flags), CompareText(view, r, l, flags)) << round;
        }
    }
}

// The context keeps each kind's table views between calls: switching kinds,
// a kind that fails, and unloading the tables must give the same results as
// a fresh look-up (with the sanitizers, a view kept past the unload would be
// reported as a use after free).
TEST_F(CollateExports, KeptTableViewsFollowKindsAndUnloading) {
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(Compare(1252, "cz", "ch", 0), -1);
        Compare(1252, "a", "b", 2, 3078);
        EXPECT_EQ(Compare(1252, "\xDF", "ss", 1), 1);
        Compare(1252, "a", "b", 3, 3076);
        EXPECT_EQ(Compare(1252, "ch", "cz", 0), 1);
        uint16_t position = 2;
        EXPECT_EQ(ccIntlSplitStr(m_ctx, 1252, reinterpret_cast<const uint8_t*>("ch"), 1, &position),
                  0);
        EXPECT_EQ(position, 0);
        UnloadTables(m_ctx);
    }
    ASSERT_EQ(DestroyContext(m_ctx), 0);
    int16_t result = 0;
    EXPECT_EQ(ccIntlStrCmp(m_ctx, 1252, reinterpret_cast<const uint8_t*>("a"), 1,
                           reinterpret_cast<const uint8_t*>("b"), 1, 0, &result),
              3073);
    m_ctx = nullptr;
}

TEST_F(CollateExports, NormalizeSingleByteUnicodeAndDoubleByteText) {
    std::string text = "AbC\x80";
    EXPECT_EQ(ccIntlNormalizeStr(m_ctx, 1252, reinterpret_cast<uint8_t*>(text.data()), 4), 0);
    EXPECT_EQ(text, "abc\x80");
    std::string wide("A\0\x42\x30", 4);
    EXPECT_EQ(ccIntlNormalizeStr(m_ctx, 1200, reinterpret_cast<uint8_t*>(wide.data()), 2), 0);
    EXPECT_EQ(wide, std::string("a\0\x42\x30", 4));
    std::string sjis =
        "A\x82"
        "AB";
    EXPECT_EQ(ccIntlNormalizeStr(m_ctx, 932, reinterpret_cast<uint8_t*>(sjis.data()), 4), 0);
    EXPECT_EQ(sjis,
              "a\x82"
              "Ab");
}

TEST_F(CollateExports, SplitKeepsContractionsTogether) {
    const std::string text = "mucho";
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    uint16_t position = 5;
    EXPECT_EQ(ccIntlSplitStr(m_ctx, 1252, bytes, 3, &position), 0);
    EXPECT_EQ(position, 2);
    position = 5;
    EXPECT_EQ(ccIntlSplitStr(m_ctx, 1252, bytes, 4, &position), 0);
    EXPECT_EQ(position, 4);
    position = 5;
    EXPECT_EQ(ccIntlSplitStr(m_ctx, 932, bytes, 3, &position), 0);
    EXPECT_EQ(position, 3);
    const std::string wide("m\0u\0c\0h\0", 8);
    position = 8;
    EXPECT_EQ(
        ccIntlSplitStr(m_ctx, 1200, reinterpret_cast<const uint8_t*>(wide.data()), 7, &position),
        0);
    EXPECT_EQ(position, 4);  // 7 rounds down to 6, then one unit back
}

// A byte set is known only through its tables: without them its bytes are not
// taken for Latin-1. Each operation answers 3075 and leaves its output alone.
TEST_F(CollateExports, SetsWithoutTranslationTablesAreRefused) {
    EXPECT_EQ(Compare(1251, "abc", "abd", 0, 3075), 99);
    std::string text = "AbC";
    EXPECT_EQ(ccIntlNormalizeStr(m_ctx, 1251, reinterpret_cast<uint8_t*>(text.data()), 3), 3075);
    EXPECT_EQ(text, "AbC");
    // 1250 reaches Unicode but cannot come back.
    EXPECT_EQ(ccIntlNormalizeStr(m_ctx, 1250, reinterpret_cast<uint8_t*>(text.data()), 3), 3075);
    EXPECT_EQ(ccIntlNormalizeMultiStr(m_ctx, 0x43A4, reinterpret_cast<uint8_t*>(text.data()), 3),
              3075);
    EXPECT_EQ(ccIntlNormalizeStr(m_ctx, 0x43A4, reinterpret_cast<uint8_t*>(text.data()), 3), 3075);
    EXPECT_EQ(text, "AbC");
    uint16_t position = 5;
    EXPECT_EQ(ccIntlSplitStr(m_ctx, 1251, reinterpret_cast<const uint8_t*>("mucho"), 3, &position),
              3075);
    EXPECT_EQ(position, 5);
    uint8_t highest = 7;
    EXPECT_EQ(ccIntlHighestChar(m_ctx, 1251, 0, &highest), 3075);
    EXPECT_EQ(highest, 7);
    // The flags of the highest character are the kind: 4 and more name no kind.
    EXPECT_EQ(ccIntlHighestChar(m_ctx, 1252, 4, &highest), 3076);
    EXPECT_EQ(ccIntlHighestChar(m_ctx, 1252, 0x8000, &highest), 3076);
    EXPECT_EQ(highest, 7);
}

// 0x43A4 is double-byte text like 932: "c" here is the trail byte of 0x82 0x63,
// so the "ch" after it is no contraction and the split stays after the pair.
TEST_F(CollateExports, SplitNeverCutsADoubleByteCharacter) {
    const uint8_t text[] = {0x82, 'c', 'h', 'o'};
    for (int16_t set : {932, 0x43A4}) {
        uint16_t position = 4;
        EXPECT_EQ(ccIntlSplitStr(m_ctx, set, text, 2, &position), 0) << set;
        EXPECT_EQ(position, 2) << set;
    }
}

TEST_F(CollateExports, HighestCharOfASingleByteSet) {
    uint8_t highest = 0;
    // All upper-half bytes weigh 0 except those beyond the table: 0x80 is U+20AC.
    EXPECT_EQ(ccIntlHighestChar(m_ctx, 1252, 0, &highest), 0);
    EXPECT_EQ(highest, 0x80);
    EXPECT_EQ(ccIntlHighestChar(m_ctx, 1252, 2, &highest), 3078);
}

// Single-byte text takes a shortcut through keys the context composes once per
// set and kind. Through the export, over every compiled language and kind,
// two sets used in turn, every flag value and unloads in between, each answer
// must be the general comparison's over the same tables.
TEST(ByteSetExports, ShortcutAnswersAsTheGeneralComparison) {
    std::vector<cctb::TableBlob> blobs;
    std::string error;
    ASSERT_TRUE(cctb::BuildLanguageTables(&blobs, &error)) << error;
    TableFileContents contents;
    const std::array<uint16_t, 256> cp1252 = testing::Cp1252();
    std::array<uint16_t, 256> other = cp1252;  // a second set: the upper half mirrored
    for (int b = 0x80; b < 0x100; ++b)
        other[b] = cp1252[0x17F - b];
    contents.xlat.push_back({1252, 1200, SingleToUnicodeTable(cp1252)});
    contents.xlat.push_back({1250, 1200, SingleToUnicodeTable(other)});
    std::vector<std::string> languages;
    for (const cctb::TableBlob& blob : blobs) {
        LangTableSpec langSpec;
        langSpec.type = blob.type;
        langSpec.language[0] = blob.language[0];
        langSpec.language[1] = blob.language[1];
        langSpec.kind = blob.kind;
        langSpec.main = blob.main;
        langSpec.second = blob.second;
        langSpec.third = blob.third;
        contents.lang.push_back(langSpec);
        const std::string code(blob.language, 2);
        if (languages.empty() || languages.back() != code)
            languages.push_back(code);
    }
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(BuildTableFile(contents, &bytes, &error)) << error;
    testing::CTempDir dir;
    std::ofstream(dir.Path() + "/CCINTL.TB", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    const std::vector<uint8_t> toUnicode1252 = SingleToUnicodeTable(cp1252);
    const std::vector<uint8_t> toUnicodeOther = SingleToUnicodeTable(other);

    std::vector<uint8_t> alphabet = {'a', 'b', 'c', 'h', 'l', 'o', 's', 'A', 'C', 'L', ' ', 0,
                                     0x80, 0x8C, 0x9C, 0xC4, 0xC5, 0xDF, 0xE4, 0xE5, 0xE6, 0xF6};
    std::mt19937 rng(15);
    auto randomText = [&](size_t maxLength) {
        std::vector<uint8_t> text;
        for (size_t n = rng() % (maxLength + 1); n > 0; --n)
            text.push_back(alphabet[rng() % alphabet.size()]);
        return text;
    };
    ASSERT_GE(languages.size(), 10u);
    for (const std::string& language : languages) {
        tccIntlCtxtStruct* ctx = nullptr;
        ASSERT_EQ(CreateContext(dir.Path().c_str(), 2, language.c_str(), &ctx), 0);
        for (int round = 0; round < 6000; ++round) {
            const std::vector<uint8_t> s = randomText(10);
            std::vector<uint8_t> t(s.begin(), s.begin() + static_cast<long>(rng() % (s.size() + 1)));
            const std::vector<uint8_t> tail = randomText(3);
            t.insert(t.end(), tail.begin(), tail.end());
            // Mostly one set and kind at a time, as a sort does; sometimes the other.
            const uint16_t flags = static_cast<uint16_t>(
                (round / 1500) | (rng() % 8 == 0 ? rng() % 0x40 : (rng() % 4) << 4));
            const int16_t set = rng() % 16 == 0 ? 1250 : 1252;
            if (rng() % 2000 == 0) {
                UnloadTables(ctx);
            }
            LangTables tables;
            ASSERT_EQ(GetLangTables(ctx, flags & 3, &tables), 0);
            CollationView view;
            view.tables = {ByteView(tables.main.data, tables.main.size),
                           ByteView(tables.second.data, tables.second.size),
                           ByteView(tables.third.data, tables.third.size)};
            view.toUnicode = ByteToUnicode(set == 1252 ? toUnicode1252 : toUnicodeOther);
            for (int direction = 0; direction < 2; ++direction) {
                const std::vector<uint8_t>& lhs = direction == 0 ? s : t;
                const std::vector<uint8_t>& rhs = direction == 0 ? t : s;
                int16_t result = 99;
                ASSERT_EQ(ccIntlStrCmp(ctx, set, lhs.data(), static_cast<uint32_t>(lhs.size()),
                                       rhs.data(), static_cast<uint32_t>(rhs.size()), flags,
                                       &result),
                          0);
                ASSERT_EQ(result, CompareText(view, lhs, rhs, flags))
                    << language << " set " << set << " flags " << flags << " round " << round;
            }
        }
        ASSERT_EQ(DestroyContext(ctx), 0);
    }
}

TEST(CompressionExports, ArgumentChecksAndRoundTrip) {
    const uint16_t text[] = {0x41, 0x42, 0x43, 0x44, 0x3042};
    uint8_t out[32];
    uint32_t length = sizeof(out);
    EXPECT_EQ(ccIntlCompressUnicode(text, sizeof(text), nullptr, &length), 3077);
    EXPECT_EQ(ccIntlCompressUnicode(text, sizeof(text), out, nullptr), 3077);
    length = sizeof(out);
    ASSERT_EQ(ccIntlCompressUnicode(text, sizeof(text), out, &length), 0);
    EXPECT_EQ(ccIntlGetCompUnicodeNoOfBytes(out), sizeof(text));
    uint16_t back[5] = {};
    EXPECT_EQ(ccIntlDecompressUnicode(out, back, 4), 3077);
    EXPECT_EQ(ccIntlDecompressUnicode(out, back, 5), 0);
    EXPECT_TRUE(std::equal(std::begin(back), std::end(back), std::begin(text)));
    EXPECT_EQ(ccIntlDecompressUnicode(nullptr, back, 5), 3077);
    EXPECT_EQ(ccIntlGetCompUnicodeNoOfBytes(nullptr), 0u);
}

}  // namespace
}  // namespace glossel

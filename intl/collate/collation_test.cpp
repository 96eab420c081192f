// Comparison passes, normalisation, split points and the highest character
// over small synthesized tables.
#include "intl/collate/collation.h"

#include <gtest/gtest.h>

#include "intl/table_writer.h"
#include "intl/test_support.h"
#include "tools/cctb/language/language_tables.h"

#include <map>
#include <random>
#include <string>
#include <vector>

namespace glossel {
namespace {

using Bytes = std::vector<uint8_t>;

void PutU16(Bytes* out, uint16_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

// Tables of a toy language over U+0000-U+00FF: letters weigh 100 + their
// position in the alphabet, case-insensitively; "ß" expands to "ss"; "ch"
// is a contraction sorting between "c" and "d"; U+00FE weighs 4095.
struct ToyLanguage {
    Bytes main, second, third, norm;
    ToyLanguage() {
        std::vector<uint16_t> weights(0x100, 0);
        for (int c = 'a'; c <= 'z'; ++c) {
            const uint16_t w = static_cast<uint16_t>(100 + 2 * (c - 'a'));
            weights[c] = w;
            weights[c - 'a' + 'A'] = w;
        }
        weights[0xDF] = WEIGHT_EXPANSION | 1;   // ß: record 1
        weights['c'] = WEIGHT_CONTRACTION | 2;  // c: records 2..3
        weights['C'] = WEIGHT_CONTRACTION | 4;  // C: records 4..4
        weights[0xFE] = WEIGHT_BEYOND_TABLE;
        for (uint16_t w : weights)
            PutU16(&main, w);
        for (uint16_t v : std::vector<uint16_t>{0, 0, 0, 0, 's', 's'})
            PutU16(&second, v);  // record 0 unused
        const uint16_t cw = 100 + 2 * ('c' - 'a');
        // record 0 and 1 belong to another first character
        for (uint16_t v : std::vector<uint16_t>{'b', 0, 102, 'b', 'x', 300})
            PutU16(&third, v);
        for (uint16_t v :
             std::vector<uint16_t>{'c', 0, cw, 'c', 'h', static_cast<uint16_t>(cw + 1)})
            PutU16(&third, v);
        for (uint16_t v : std::vector<uint16_t>{'C', 0, cw})
            PutU16(&third, v);
        // Normalisation folds capitals to small letters.
        for (uint16_t u = 0; u < 0x100; ++u) {
            PutU16(&norm, u >= 'A' && u <= 'Z' ? static_cast<uint16_t>(u + 32) : u);
        }
    }
    CollationView View(bool unicode = false) const {
        CollationView view;
        view.tables = {main, second, third};
        view.normalisation = U16Table(norm);
        view.unicode = unicode;
        return view;
    }
};

ByteView B(const std::string& s) {
    return ByteView(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

Bytes Utf16(const std::u16string& s) {
    Bytes out;
    for (char16_t c : s)
        PutU16(&out, c);
    return out;
}

TEST(MultiByteCompare, CaseFoldingAndTails) {
    EXPECT_EQ(CompareMultiByteText(B("abc"), B("ABC"), 0), 0);
    EXPECT_EQ(CompareMultiByteText(B("abc"), B("ABC"), 1), 1);
    EXPECT_EQ(CompareMultiByteText(B("abc"), B("ABC"), 1 | COLLATE_FOLD_ASCII), 0);
    EXPECT_EQ(CompareMultiByteText(B("\x82\xA0"), B("\x82\xA1"), 0), -1);
    EXPECT_EQ(CompareMultiByteText(B("abc"), B(std::string("abc\0\0", 5)), 0), 0);
    EXPECT_EQ(CompareMultiByteText(B("abc"), B("abcd"), 0), -1);
    EXPECT_EQ(CompareMultiByteText(B("abc"), B("abcd"), COLLATE_IGNORE_RHS_REST), 0);
    EXPECT_EQ(CompareMultiByteText(B("abcd"), B("abc"), 0), 1);
    EXPECT_EQ(CompareMultiByteText(B("abcd"), B("abc"), COLLATE_IGNORE_LHS_REST), 0);
}

TEST(CompareText, WeightsTailsAndEmptyStrings) {
    const ToyLanguage toy;
    const CollationView view = toy.View();
    EXPECT_EQ(CompareText(view, B("abd"), B("ABD"), 0), 0);
    EXPECT_EQ(CompareText(view, B("abd"), B("abe"), 0), -1);
    EXPECT_EQ(CompareText(view, B("b"), B("a"), 0), 1);
    EXPECT_EQ(CompareText(view, B("abd"), B(std::string("abd\0\0", 5)), 0), 0);
    EXPECT_EQ(CompareText(view, B("abd"), B("abde"), 0), -1);
    EXPECT_EQ(CompareText(view, B("abd"), B("abde"), COLLATE_IGNORE_RHS_REST), 0);
    EXPECT_EQ(CompareText(view, B("abde"), B("abd"), 0), 1);
    EXPECT_EQ(CompareText(view, B("abde"), B("abd"), COLLATE_IGNORE_LHS_REST), 0);
    // An empty string sorts before any non-empty one.
    EXPECT_EQ(CompareText(view, B(""), B("a"), 0), -1);
    EXPECT_EQ(CompareText(view, B("a"), B(""), 0), 1);
    EXPECT_EQ(CompareText(view, B(""), B(""), 0), 0);
    EXPECT_EQ(CompareText(view, B(""), B("a"), COLLATE_IGNORE_RHS_REST), 0);
}

TEST(CompareText, ExpansionsAndTheTieBreakingPass) {
    const ToyLanguage toy;
    const CollationView view = toy.View();
    // Equal on the first pass; on the second "ß" weighs 4095 and sorts after "s".
    EXPECT_EQ(CompareText(view, B("\xDF"), B("ss"), 0), 1);
    EXPECT_EQ(CompareText(view, B("ss"), B("\xDF"), 0), -1);
    EXPECT_EQ(CompareText(view, B("\xDF"), B("st"), 0), -1);
    EXPECT_EQ(CompareText(view, B("\xDF"), B("sr"), 0), 1);
    EXPECT_EQ(CompareText(view, B("a\xDF"), B("as"), 0), 1);
    EXPECT_EQ(CompareText(view,
                          B("a\xDF"
                            "b"),
                          B("assa"), 0),
              1);
    EXPECT_EQ(CompareText(view,
                          B("a\xDF"
                            "a"),
                          B("assb"), 0),
              -1);
    // The tie-breaking pass normalises: capitals equal small letters there.
    EXPECT_EQ(CompareText(view, B("A\xDF"), B("aSS"), 0), 1);
    // With 0x10 an lhs ending in the first half of an expansion stops the
    // first pass equal, so the tie-breaking pass decides.
    EXPECT_EQ(CompareText(view, B("a\xDF"), B("assz"), COLLATE_IGNORE_LHS_REST), 1);
    EXPECT_EQ(CompareText(view, B("a\xDF"), B("assz"), 0), -1);
}

TEST(CompareText, ContractionsSortByTheirPairWeight) {
    const ToyLanguage toy;
    const CollationView view = toy.View();
    EXPECT_EQ(CompareText(view, B("cz"), B("ch"), 0), -1);
    EXPECT_EQ(CompareText(view, B("ch"), B("d"), 0), -1);
    EXPECT_EQ(CompareText(view, B("cha"), B("ch"), 0), 1);
    EXPECT_EQ(CompareText(view, B("c"), B("ch"), 0), -1);
    EXPECT_EQ(CompareText(view, B("ach"), B("acz"), 0), 1);
    // "C" starts no pair with "h": it weighs like "c" alone.
    EXPECT_EQ(CompareText(view, B("Ch"), B("cz"), 0), -1);
    EXPECT_EQ(CompareText(view, B("Cb"), B("cb"), 0), 0);
}

TEST(CompareText, CharactersBeyondTheTableSortByValue) {
    const ToyLanguage toy;
    const CollationView view = toy.View(true);
    EXPECT_EQ(CompareText(view, Utf16(u"a\u3042"), Utf16(u"a\u3041"), 0), 1);
    EXPECT_EQ(CompareText(view, Utf16(u"\u3042"), Utf16(u"\u3042"), 0), 0);
    EXPECT_EQ(CompareText(view, Utf16(u"\u00FE"), Utf16(u"\u3042"), 0), -1);
    EXPECT_EQ(CompareText(view, Utf16(u"z"), Utf16(u"\u3042"), 0), -1);
    EXPECT_EQ(CompareText(view, Utf16(u"ch"), Utf16(u"cz"), 0), 1);
    EXPECT_EQ(CompareText(view, Utf16(u"\u00DF"), Utf16(u"ss"), 0), 1);
}

TEST(CompareText, SharedPrefixShortcutAgreesWithTheWholePass) {
    // "a" and "A" weigh the same: a differing first letter turns the shortcut
    // off without changing the order of the rest.
    const ToyLanguage toy;
    const CollationView view = toy.View();
    const char alphabet[] = {'a', 'b', 'c', 'h', 's', 'C', 'z', '\xDF', '\xFE', '\0'};
    std::mt19937 rng(6);
    auto randomText = [&](size_t maxLength) {
        std::string text;
        for (size_t n = rng() % (maxLength + 1); n > 0; --n)
            text += alphabet[rng() % 10];
        return text;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string s = randomText(6);
        const std::string t = s.substr(0, rng() % (s.size() + 1)) + randomText(3);
        const int16_t order = CompareText(view, B(s), B(t), 0);
        ASSERT_EQ(order, CompareText(view, B("a" + s), B("A" + t), 0)) << s << " / " << t;
        ASSERT_EQ(order, -CompareText(view, B(t), B(s), 0)) << s << " / " << t;
    }
}

TEST(CompareText, DamagedTablesAreReadOnlyWithinBounds) {
    ToyLanguage toy;
    toy.second.clear();
    toy.third.resize(7);
    const CollationView view = toy.View();
    // Records that are missing make the character weigh 4095.
    EXPECT_EQ(CompareText(view, B("\xDF"), B("z"), 0), 1);
    EXPECT_EQ(CompareText(view, B("ch"), B("z"), 0), 1);
    EXPECT_EQ(CompareText(view, B("c"), B("c"), 0), 0);
}

TEST(CompareText, ExpansionsThatExpandForeverEnd) {
    // U+0080 expands to "a" and itself, U+0081 to "b" and U+0082, which
    // expands to "c" and U+0081: both chains would never end.
    Bytes main;
    for (uint16_t u = 0; u < 0x100; ++u) {
        uint16_t w = u;
        if (u >= 0x80 && u <= 0x82)
            w = static_cast<uint16_t>(WEIGHT_EXPANSION | (u - 0x80));
        PutU16(&main, w);
    }
    Bytes second;
    for (uint16_t v : std::vector<uint16_t>{0, 'a', 0x80, 0, 'b', 0x82, 0, 'c', 0x81})
        PutU16(&second, v);
    CollationView view;
    view.tables = {main, second, {}};
    for (bool unicode : {false, true}) {
        view.unicode = unicode;
        const Bytes self = unicode ? Utf16(u"\u0080") : Bytes{0x80};
        const Bytes pair = unicode ? Utf16(u"\u0081") : Bytes{0x81};
        const Bytes letters = unicode ? Utf16(u"aaaa") : Bytes{'a', 'a', 'a', 'a'};
        EXPECT_EQ(CompareText(view, self, self, 0), 0);
        EXPECT_EQ(CompareText(view, self, letters, 0), 1);  // "a" then 4095 after the chain
        EXPECT_EQ(CompareText(view, pair, letters, 0), 1);
        EXPECT_EQ(CompareText(view, letters, pair, 0x30), -1);
    }
}

TEST(Normalize, UnicodeBytesAndDoubleByteText) {
    const ToyLanguage toy;
    Bytes unicode = Utf16(u"AbC\u3042");
    NormalizeUnicodeText(U16Table(toy.norm), unicode.data(), 4);
    EXPECT_EQ(unicode, Utf16(u"abc\u3042"));

    // A set whose byte 0xC0 is U+0041, whose U+0061 has no byte and whose
    // byte 0xFE stands for U+3042, beyond the normalisation table.
    Bytes toUnicode;
    for (int b = 0; b < 256; ++b) {
        PutU16(&toUnicode, b == 0xC0 ? 'A' : b == 0xFE ? 0x3042 : static_cast<uint16_t>(b));
    }
    Bytes fromUnicode(256);
    for (int u = 0; u < 256; ++u)
        fromUnicode[u] = static_cast<uint8_t>(u);
    fromUnicode['a'] = '?';
    fromUnicode[0xFE] = ' ';
    std::string text = "ABC\xC0\xFE\xFF";
    NormalizeByteText(U16Table(toy.norm), ByteToUnicode(toUnicode), UnicodeToByte(fromUnicode),
                      reinterpret_cast<uint8_t*>(text.data()), text.size());
    EXPECT_EQ(text, "Abc\xC0\xFE\xFF");

    // Double-byte characters pass unchanged even when a trail byte is a capital.
    std::string sjis =
        "A\x82"
        "A"
        "B\x82";
    NormalizeMultiByteText(U16Table(toy.norm), ByteToUnicode(), ByteView{},
                           reinterpret_cast<uint8_t*>(sjis.data()), sjis.size());
    EXPECT_EQ(sjis,
              "a\x82"
              "Ab\x82");
}

TEST(SplitPosition, KeepsContractionsTogether) {
    const ToyLanguage toy;
    const CollationTables tables{toy.main, toy.second, toy.third};
    const std::string text = "mucho";
    auto split = [&](uint16_t pos) {
        return SplitPosition(tables, ByteToUnicode(), false,
                             reinterpret_cast<const uint8_t*>(text.data()), 5, pos);
    };
    EXPECT_EQ(split(3), 2);  // between "c" and "h"
    EXPECT_EQ(split(2), 2);
    EXPECT_EQ(split(4), 4);
    EXPECT_EQ(split(0), 0);
    EXPECT_EQ(split(5), 5);
    const Bytes wide = Utf16(u"much");
    EXPECT_EQ(SplitPosition(tables, ByteToUnicode(), true, wide.data(), 8, 6), 4);
    EXPECT_EQ(SplitPosition({toy.main, toy.second, {}}, ByteToUnicode(), true, wide.data(), 8, 6),
              6);
}

TEST(HighestChar, PicksTheLastSortingUpperHalfByte) {
    std::vector<uint16_t> weights(0x100, 10);
    weights[0xE9] = 500;
    weights[0xF1] = 0x9000;  // not a plain weight
    Bytes main;
    for (uint16_t w : weights)
        PutU16(&main, w);
    EXPECT_EQ(HighestCharOf({main, {}, {}}, ByteToUnicode()), 0xE9);
    // A byte that maps beyond the table wins over every plain weight.
    Bytes toUnicode;
    for (int b = 0; b < 256; ++b)
        PutU16(&toUnicode, b == 0x85 ? 0x2026 : static_cast<uint16_t>(b));
    EXPECT_EQ(HighestCharOf({main, {}, {}}, ByteToUnicode(toUnicode)), 0x85);
    // Ties go to the later byte.
    std::fill(weights.begin(), weights.end(), 7);
    main.clear();
    for (uint16_t w : weights)
        PutU16(&main, w);
    EXPECT_EQ(HighestCharOf({main, {}, {}}, ByteToUnicode()), 0xFF);
}

// --- The shortcut against the general comparison ---------------------------

RawTables RawOf(const CollationTables& tables) {
    return {tables.main.data(), tables.second.data(), tables.third.data(),
            tables.main.size(), tables.second.size(), tables.third.size()};
}

// Compares random Unicode strings over `alphabet` with every flag value: the
// shortcut, wherever it answers, must answer as CompareText does (in both
// directions). Returns how many comparisons the shortcut settled.
size_t CheckShortcutAgainstCompareText(const CollationView& view,
                                       const std::vector<char16_t>& alphabet, std::mt19937& rng,
                                       int rounds) {
    const RawTables raw = RawOf(view.tables);
    auto randomText = [&](size_t maxLength) {
        Bytes text;
        for (size_t n = rng() % (maxLength + 1); n > 0; --n)
            PutU16(&text, alphabet[rng() % alphabet.size()]);
        if (rng() % 16 == 0)
            text.push_back(static_cast<uint8_t>(rng()));  // an odd trailing byte
        return text;
    };
    size_t settled = 0;
    for (int round = 0; round < rounds; ++round) {
        const Bytes s = randomText(12);
        // Mostly a shared prefix, as neighbours in a sort have.
        Bytes t(s.begin(), s.begin() + static_cast<long>(rng() % (s.size() + 1)));
        const Bytes tail = randomText(4);
        t.insert(t.end(), tail.begin(), tail.end());
        if (rng() % 8 == 0)
            t = s;
        const uint16_t flags = static_cast<uint16_t>(rng() % 0x40);
        for (int direction = 0; direction < 2; ++direction) {
            const Bytes& lhs = direction == 0 ? s : t;
            const Bytes& rhs = direction == 0 ? t : s;
            const int quick =
                QuickCompareUnicode(raw, lhs.data(), lhs.size(), rhs.data(), rhs.size(), flags);
            if (quick == QUICK_UNDECIDED)
                continue;
            ++settled;
            EXPECT_EQ(quick, CompareText(view, lhs, rhs, flags))
                << "flags " << flags << " round " << round << " direction " << direction;
            if (::testing::Test::HasFailure())
                return settled;
        }
    }
    return settled;
}

TEST(QuickCompare, AgreesWithCompareTextOnTheToyLanguage) {
    const ToyLanguage toy;
    // Plain letters of equal and different weights, contraction starts and
    // their partners, an expansion, a character weighing 4095, characters
    // beyond the table and NUL.
    const std::vector<char16_t> alphabet = {u'a', u'A', u'b', u'c', u'C',   u'h',   u'x',
                                            u's', u'z', 0xDF, 0xFE, 0x3042, 0x3043, 0};
    std::mt19937 rng(11);
    const size_t settled = CheckShortcutAgainstCompareText(toy.View(true), alphabet, rng, 40000);
    EXPECT_GT(settled, 15000u);  // most of those without the flags 0x10 and 0x20
}

TEST(QuickCompare, AgreesWithCompareTextOnTheCompiledLanguages) {
    std::vector<cctb::TableBlob> blobs;
    std::string error;
    ASSERT_TRUE(cctb::BuildLanguageTables(&blobs, &error)) << error;
    std::mt19937 rng(12);
    for (const cctb::TableBlob& blob : blobs) {
        CollationView view;
        view.tables = {blob.main, blob.second, blob.third};
        view.unicode = true;
        // Letters, the characters of every expansion and contraction, and a
        // few characters beyond the table.
        std::vector<char16_t> alphabet = {u'a', u'b', u'e', u'o', u's',   u'A',   u'E',   u'Z',
                                          0xE4, 0xC4, 0xF6, 0xE5, 0x0430, 0x3042, 0x20AC, 0};
        for (size_t r = 0; r + 6 <= blob.second.size() && alphabet.size() < 60; r += 6) {
            for (size_t field : {2u, 4u})
                alphabet.push_back(static_cast<char16_t>(blob.second[r + field] |
                                                         (blob.second[r + field + 1] << 8)));
        }
        for (size_t r = 0; r + 6 <= blob.third.size() && alphabet.size() < 90; r += 6) {
            for (size_t field : {0u, 2u})
                alphabet.push_back(static_cast<char16_t>(blob.third[r + field] |
                                                         (blob.third[r + field + 1] << 8)));
        }
        for (uint16_t u = 0; u < blob.main.size() / 2 && alphabet.size() < 120; ++u) {
            if ((blob.main[2 * u] | (blob.main[2 * u + 1] << 8)) >= WEIGHT_EXPANSION)
                alphabet.push_back(static_cast<char16_t>(u));
        }
        const size_t settled = CheckShortcutAgainstCompareText(view, alphabet, rng, 4000);
        ASSERT_FALSE(::testing::Test::HasFailure())
            << blob.language[0] << blob.language[1] << " kind " << blob.kind;
        EXPECT_GT(settled, 1000u) << blob.language[0] << blob.language[1] << " kind " << blob.kind;
    }
}

// The same for text of a single-byte set through its composed keys: where the
// walk answers, and where the first pass resumed at a contraction or an
// expansion answers, the answer must be CompareText's.
size_t CheckByteShortcutAgainstCompareText(const CollationView& view,
                                           const std::vector<uint8_t>& alphabet,
                                           std::mt19937& rng, int rounds) {
    uint32_t keys[256];
    ComposeByteKeys(view.toUnicode, view.tables.main, keys);
    auto randomText = [&](size_t maxLength) {
        Bytes text;
        for (size_t n = rng() % (maxLength + 1); n > 0; --n)
            text.push_back(alphabet[rng() % alphabet.size()]);
        return text;
    };
    size_t settled = 0;
    for (int round = 0; round < rounds; ++round) {
        const Bytes s = randomText(12);
        Bytes t(s.begin(), s.begin() + static_cast<long>(rng() % (s.size() + 1)));
        const Bytes tail = randomText(4);
        t.insert(t.end(), tail.begin(), tail.end());
        if (rng() % 8 == 0)
            t = s;
        const uint16_t flags = static_cast<uint16_t>(rng() % 0x40);
        for (int direction = 0; direction < 2; ++direction) {
            const Bytes& lhs = direction == 0 ? s : t;
            const Bytes& rhs = direction == 0 ? t : s;
            size_t resumeAt = 0;
            int quick = QuickCompareBytes(keys, lhs.data(), lhs.size(), rhs.data(), rhs.size(),
                                          flags, &resumeAt);
            if (quick == QUICK_UNDECIDED && resumeAt != SIZE_MAX) {
                quick = FirstPassFromBytes(view.tables, view.toUnicode, lhs, rhs, flags, resumeAt);
                if (quick == 0)
                    quick = QUICK_UNDECIDED;
            }
            if (quick == QUICK_UNDECIDED)
                continue;
            ++settled;
            EXPECT_EQ(quick, CompareText(view, lhs, rhs, flags))
                << "flags " << flags << " round " << round << " direction " << direction;
            if (::testing::Test::HasFailure())
                return settled;
        }
    }
    return settled;
}

TEST(QuickCompare, BytesAgreeWithCompareTextOnTheToyLanguage) {
    const ToyLanguage toy;
    // The toy set maps 0x80 beyond the table (U+20AC) and 0x81 to U+0063 ("c"
    // again: two bytes, one character).
    std::array<uint16_t, 256> map = testing::Cp1252();
    map[0x81] = 'c';
    const Bytes table = SingleToUnicodeTable(map);
    CollationView view = toy.View(false);
    view.toUnicode = ByteToUnicode(table);
    const std::vector<uint8_t> alphabet = {'a', 'A', 'b', 'c', 'C',  'h',  'x', 's',
                                           'z', 0xDF, 0xFE, 0x80, 0x81, 0x9C, 0};
    std::mt19937 rng(13);
    const size_t settled = CheckByteShortcutAgainstCompareText(view, alphabet, rng, 40000);
    EXPECT_GT(settled, 15000u);
}

TEST(QuickCompare, BytesAgreeWithCompareTextOnTheCompiledLanguages) {
    std::vector<cctb::TableBlob> blobs;
    std::string error;
    ASSERT_TRUE(cctb::BuildLanguageTables(&blobs, &error)) << error;
    const Bytes table = SingleToUnicodeTable(testing::Cp1252());
    std::vector<uint8_t> alphabet = {'a', 'b', 'c', 'd', 'e', 'h', 'l', 'o', 's', 'A', 'C', 'E',
                                     'L', 'Z', ' ', '-', 0,   0x80, 0x8A, 0x8C, 0x9C, 0x9F};
    for (unsigned b = 0xC0; b <= 0xFF; b += 3)
        alphabet.push_back(static_cast<uint8_t>(b));
    alphabet.push_back(0xDF);  // "ß"
    alphabet.push_back(0xE6);  // "æ"
    std::mt19937 rng(14);
    for (const cctb::TableBlob& blob : blobs) {
        CollationView view;
        view.tables = {blob.main, blob.second, blob.third};
        view.toUnicode = ByteToUnicode(table);
        const size_t settled = CheckByteShortcutAgainstCompareText(view, alphabet, rng, 4000);
        ASSERT_FALSE(::testing::Test::HasFailure())
            << blob.language[0] << blob.language[1] << " kind " << blob.kind;
        EXPECT_GT(settled, 1000u) << blob.language[0] << blob.language[1] << " kind " << blob.kind;
    }
}

TEST(QuickCompare, CommonBytesFindsTheFirstDifferenceAtEveryLengthAndPlace) {
    for (size_t n = 0; n <= 40; ++n) {
        const Bytes a(n, 0x41);
        EXPECT_EQ(detail::CommonBytes(a.data(), a.data(), n), n);
        for (size_t at = 0; at < n; ++at) {
            Bytes b = a;
            b[at] = 0x42;
            EXPECT_EQ(detail::CommonBytes(a.data(), b.data(), n), at) << n << " " << at;
            b[n - 1] = 0x43;  // a later difference does not hide the first
            EXPECT_EQ(detail::CommonBytes(a.data(), b.data(), n), at) << n << " " << at;
        }
    }
}

}  // namespace
}  // namespace glossel

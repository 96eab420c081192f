// Comparison passes, normalisation, split points and the highest character
// over small synthesized tables.
#include "intl/collate/collation.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace glossel

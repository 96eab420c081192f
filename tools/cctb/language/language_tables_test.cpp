// The compiled language tables put real words in each language's order for
// the cases they encode: contractions, expansions and letters after "z".
#include "tools/cctb/language/language_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "intl/collate/collation.h"

namespace cctb {
namespace {

const std::vector<TableBlob>& Tables() {
    static const std::vector<TableBlob> tables = [] {
        std::vector<TableBlob> out;
        std::string error;
        EXPECT_TRUE(BuildLanguageTables(&out, &error)) << error;
        return out;
    }();
    return tables;
}

const TableBlob* Find(const char* language, uint16_t kind) {
    for (const TableBlob& blob : Tables()) {
        if (blob.language[0] == language[0] && blob.language[1] == language[1] &&
            blob.kind == kind) {
            return &blob;
        }
    }
    return nullptr;
}

// Words as UTF-16 units, compared through the library's comparison.
std::vector<uint8_t> Utf16(const std::u16string& s) {
    std::vector<uint8_t> out;
    for (char16_t c : s) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

std::vector<std::u16string> Sorted(const char* language, uint16_t kind,
                                   std::vector<std::u16string> words) {
    const TableBlob* blob = Find(language, kind);
    EXPECT_NE(blob, nullptr) << language;
    if (blob == nullptr)
        return {};
    glossel::CollationView view;
    view.tables = {blob->main, blob->second, blob->third};
    view.unicode = true;
    std::stable_sort(words.begin(), words.end(), [&](const auto& a, const auto& b) {
        return glossel::CompareText(view, Utf16(a), Utf16(b), 0) < 0;
    });
    return words;
}

TEST(LanguageTables, GroupsOfFourKindsPerLanguage) {
    const std::vector<TableBlob>& tables = Tables();
    ASSERT_GE(tables.size(), 24u);
    ASSERT_EQ(tables.size() % 4, 0u);
    for (size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(tables[i].type, 0x8003);
        EXPECT_EQ(tables[i].kind, i % 4);
        EXPECT_EQ(tables[i].language[0], tables[i - i % 4].language[0]);
        EXPECT_EQ(tables[i].language[1], tables[i - i % 4].language[1]);
        EXPECT_EQ(tables[i].main.size(), 2u * 0x500);
        EXPECT_EQ(tables[i].second.size() % 6, 0u);
        EXPECT_EQ(tables[i].third.size() % 6, 0u);
    }
    for (const char* language : {"en", "de", "fr", "es", "sv", "da"}) {
        EXPECT_NE(Find(language, 3), nullptr) << language;
    }
}

TEST(LanguageTables, SpanishTraditionalContractions) {
    EXPECT_EQ(Sorted("es", 0, {u"dato", u"chico", u"cuna", u"llama", u"luz", u"madre", u"lo"}),
              (std::vector<std::u16string>{u"cuna", u"chico", u"dato", u"lo", u"luz", u"llama",
                                           u"madre"}));
    EXPECT_EQ(Sorted("cs", 0, {u"chata", u"hrad", u"ihned", u"cukr"}),
              (std::vector<std::u16string>{u"cukr", u"hrad", u"chata", u"ihned"}));
}

TEST(LanguageTables, DanishAaSortsAsTheLastLetter) {
    EXPECT_EQ(Sorted("da", 0, {u"Aarhus", u"Odense", u"Ærø", u"Zealand", u"Øresund", u"Avedøre"}),
              (std::vector<std::u16string>{u"Avedøre", u"Odense", u"Zealand", u"Ærø", u"Øresund",
                                           u"Aarhus"}));
    EXPECT_EQ(Sorted("sv", 0, {u"ödla", u"ära", u"åka", u"zon", u"ankare"}),
              (std::vector<std::u16string>{u"ankare", u"zon", u"åka", u"ära", u"ödla"}));
}

TEST(LanguageTables, GermanSharpSExpandsToSs) {
    const TableBlob* de = Find("de", 0);
    ASSERT_NE(de, nullptr);
    EXPECT_GE(de->main[2 * 0xDF + 1], 0xC0);  // U+00DF is an expansion
    EXPECT_EQ(Sorted("de", 0, {u"Strasze", u"Straße", u"Strasse", u"Strase"}),
              (std::vector<std::u16string>{u"Strase", u"Strasse", u"Straße", u"Strasze"}));
}

TEST(LanguageTables, KindsDifferInCaseAndAccents) {
    EXPECT_EQ(Sorted("fr", 0, {u"côte", u"Cote", u"cote"}),
              (std::vector<std::u16string>{u"côte", u"Cote", u"cote"}));  // all equal: stable
    EXPECT_EQ(Sorted("fr", 1, {u"côte", u"Cote", u"cote"}),
              (std::vector<std::u16string>{u"Cote", u"cote", u"côte"}));
    // Character by character: the first letter's case decides before the accent.
    EXPECT_EQ(Sorted("fr", 2, {u"côte", u"Cote", u"cote"}),
              (std::vector<std::u16string>{u"cote", u"côte", u"Cote"}));
    EXPECT_EQ(Sorted("en", 3, {u"apple", u"Apple", u"banana"}),
              (std::vector<std::u16string>{u"Apple", u"apple", u"banana"}));
    EXPECT_EQ(Sorted("en", 2, {u"apple", u"Apple", u"banana"}),
              (std::vector<std::u16string>{u"apple", u"Apple", u"banana"}));
    // Kind 2 puts small letters first even where the language puts capitals first.
    EXPECT_EQ(Sorted("da", 2, {u"Ole", u"ole"}), (std::vector<std::u16string>{u"ole", u"Ole"}));
    EXPECT_EQ(Sorted("da", 3, {u"ole", u"Ole"}), (std::vector<std::u16string>{u"Ole", u"ole"}));
}

}  // namespace
}  // namespace cctb

// The compiled language tables put real words in each language's order for
// the cases they encode: contractions, expansions and letters after "z".
#include "tools/cctb/language/language_tables.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

#if defined(GLOSSEL_CLI)
namespace cctb {
namespace {

// The front end over the compiled table file.
class FrontEnd : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/collate_cliXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return m_dir + "/" + name; }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Runs glossel with `arguments`; standard output goes to "out".
    int Run(const std::string& arguments) const {
        const std::string command = std::string(GLOSSEL_CLI) + " " + arguments +
                                    " --tables " GLOSSEL_TABLE_DIR " > " + Path("out") + " 2> " +
                                    Path("err");
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string m_dir;
};

TEST_F(FrontEnd, SortsWordListsWithTheCompiledTables) {
    Write("es", "madre\nllama\ndato\nchico\ncuna\nluz\n");
    ASSERT_EQ(Run("sort --lang es --kind 0 " + Path("es")), 0) << Read("err");
    EXPECT_EQ(Read("out"), "cuna\nchico\ndato\nluz\nllama\nmadre\n");
    Write("da", "Aarhus\nOdense\nÆrø\nZealand\nØresund\nAvedøre\n");
    ASSERT_EQ(Run("sort --lang da --kind 0 -o " + Path("sorted") + " " + Path("da")), 0);
    EXPECT_EQ(Read("sorted"), "Avedøre\nOdense\nZealand\nÆrø\nØresund\nAarhus\n");
    ASSERT_EQ(Run("compare --lang de Straße Strasse"), 0);
    EXPECT_EQ(Read("out"), "1\n");
    ASSERT_EQ(Run("split --lang es --at 3 mucho"), 0);
    EXPECT_EQ(Read("out"), "2\nmu\ncho\n");
}

TEST_F(FrontEnd, PacksAndUnpacksText) {
    const std::string text = "Mail für Zoë — Съешь ещё — 日本語のテキスト\n";
    Write("text", text);
    ASSERT_EQ(Run("compress -o " + Path("packed") + " " + Path("text")), 0) << Read("err");
    EXPECT_LT(Read("packed").size(), 2 * text.size());
    ASSERT_EQ(Run("decompress " + Path("packed")), 0) << Read("err");
    EXPECT_EQ(Read("out"), text);
}

TEST_F(FrontEnd, BadInputFailsClearly) {
    EXPECT_EQ(Run("sort " + Path("missing")), 1);
    EXPECT_EQ(Run("compare --kind 7 a b"), 2);
    EXPECT_EQ(Run("compare only-one"), 2);
    Write("bad", "\xC3(\n");
    EXPECT_EQ(Run("sort " + Path("bad")), 1);
    EXPECT_NE(Read("err").find("not UTF-8"), std::string::npos);
    Write("junk", "\x7F\x01\x02");
    EXPECT_EQ(Run("decompress " + Path("junk")), 1);
    EXPECT_EQ(Run("sort --help"), 0);
    EXPECT_NE(Read("out").find("usage: glossel sort"), std::string::npos);
}

}  // namespace
}  // namespace cctb
#endif

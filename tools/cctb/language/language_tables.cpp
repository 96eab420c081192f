// Derives the language tables from the collation data of the system's ICU:
// one plain weight per character of U+0000-U+04FF, expansion records for
// characters that sort as two letters, and contraction records for letter
// pairs that sort as one.
#include "tools/cctb/language/language_tables.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace cctb {
namespace {

// Characters with a weight of their own; everything beyond sorts by value.
constexpr UChar32 MAIN_TABLE_CHARS = 0x0500;
constexpr uint16_t WEIGHT_CONTRACTION = 0xA000;
constexpr uint16_t WEIGHT_EXPANSION = 0xC000;
constexpr size_t MAX_CONTRACTION_RECORDS = 0x2000;
constexpr size_t MAX_EXPANSION_RECORDS = 0x4000;

struct LanguageSpec {
    char code[2];
    const char* locale;
};

// Spanish uses its traditional order, in which "ch" and "ll" are letters of
// their own; Danish sorts "aa" as "å".
constexpr LanguageSpec LANGUAGES[] = {
    {{'e', 'n'}, "en"}, {{'d', 'e'}, "de"},
    {{'f', 'r'}, "fr"}, {{'e', 's'}, "es@collation=traditional"},
    {{'s', 'v'}, "sv"}, {{'d', 'a'}, "da"},
    {{'c', 's'}, "cs"}, {{'n', 'l'}, "nl"},
    {{'i', 't'}, "it"}, {{'r', 'u'}, "ru"},
};

struct CollatorCloser {
    void operator()(UCollator* c) const { ucol_close(c); }
};
using Collator = std::unique_ptr<UCollator, CollatorCloser>;

struct SetCloser {
    void operator()(USet* s) const { uset_close(s); }
};
using Set = std::unique_ptr<USet, SetCloser>;

void PutU16(std::vector<uint8_t>* out, uint16_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

bool IsLetter(UChar32 c) {
    const int8_t type = u_charType(c);
    return type == U_UPPERCASE_LETTER || type == U_LOWERCASE_LETTER || type == U_TITLECASE_LETTER ||
           type == U_OTHER_LETTER;
}

bool InTable(UChar32 c) {
    return c >= 0 && c < MAIN_TABLE_CHARS && u_isdefined(c);
}

std::string SortKey(const UCollator* coll, const std::u16string& text) {
    uint8_t buffer[256];
    const int32_t length =
        ucol_getSortKey(coll, reinterpret_cast<const UChar*>(text.data()),
                        static_cast<int32_t>(text.size()), buffer, sizeof(buffer));
    return std::string(reinterpret_cast<const char*>(buffer),
                       static_cast<size_t>(std::min<int32_t>(length, sizeof(buffer))));
}

// A key with no weights at this strength (a control character, or a mark
// that the strength ignores) is a level separator and terminator only.
bool IsIgnorableKey(const std::string& key) {
    return std::all_of(key.begin(), key.end(), [](char b) { return b == 0 || b == 1; });
}

// Primary weights (the first 16 bits of each collation element) of `text`.
std::vector<int32_t> Primaries(const UCollator* coll, const std::u16string& text) {
    std::vector<int32_t> out;
    UErrorCode status = U_ZERO_ERROR;
    UCollationElements* it = ucol_openElements(coll, reinterpret_cast<const UChar*>(text.data()),
                                               static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status))
        return out;
    for (;;) {
        const int32_t ce = ucol_next(it, &status);
        if (U_FAILURE(status) || ce == UCOL_NULLORDER)
            break;
        if ((ce & 0xC0) == 0xC0)
            continue;  // continuation of the previous element
        const int32_t primary = ucol_primaryOrder(ce);
        if (primary != 0)
            out.push_back(primary);
    }
    ucol_closeElements(it);
    return out;
}

struct Expansion {
    UChar32 ch;
    UChar first;
    UChar second;
};

struct Contraction {
    UChar first;
    UChar second;
};

class CTableBuilder {
public:
    CTableBuilder(const char* locale, std::string* error) : m_locale(locale), m_pError(error) {}

    bool Build(const LanguageSpec& langTable, uint16_t kind, TableBlob* blob) {
        UErrorCode status = U_ZERO_ERROR;
        Collator coll(ucol_open(m_locale, &status));
        Collator primary(ucol_open(m_locale, &status));
        Collator tertiary(ucol_open(m_locale, &status));
        if (U_FAILURE(status))
            return Fail("cannot open the collation of ", status);
        ucol_setStrength(primary.get(), UCOL_PRIMARY);
        static constexpr UCollationStrength STRENGTH[] = {UCOL_PRIMARY, UCOL_SECONDARY,
                                                          UCOL_TERTIARY, UCOL_TERTIARY};
        ucol_setStrength(coll.get(), STRENGTH[kind]);
        // Kinds 2 and 3 fix the case order whatever the language's default
        // (Danish, for one, puts capitals first).
        if (kind == LANGUAGE_KIND_UPPER_FIRST) {
            ucol_setAttribute(coll.get(), UCOL_CASE_FIRST, UCOL_UPPER_FIRST, &status);
        } else if (kind == LANGUAGE_KIND_TERTIARY) {
            ucol_setAttribute(coll.get(), UCOL_CASE_FIRST, UCOL_LOWER_FIRST, &status);
        }
        // Expansions are written with small letters.
        ucol_setAttribute(tertiary.get(), UCOL_CASE_FIRST, UCOL_LOWER_FIRST, &status);
        if (U_FAILURE(status))
            return Fail("cannot set up the collation of ", status);

        std::vector<Contraction> contractions;
        std::vector<Expansion> expansions;
        if (!FindSpecials(coll.get(), primary.get(), tertiary.get(), &contractions, &expansions)) {
            return false;
        }

        // Rank single characters and contraction pairs together by their sort
        // keys; equal keys share a weight, ignorable characters weigh 0.
        std::map<std::string, std::vector<std::u16string>> byKey;
        std::set<UChar32> expanding;
        for (const Expansion& e : expansions)
            expanding.insert(e.ch);
        for (UChar32 c = 0; c < MAIN_TABLE_CHARS; ++c) {
            if (!InTable(c) || expanding.count(c) != 0)
                continue;
            const std::u16string text(1, static_cast<char16_t>(c));
            byKey[SortKey(coll.get(), text)].push_back(text);
        }
        for (const Contraction& pair : contractions) {
            const std::u16string text{static_cast<char16_t>(pair.first),
                                      static_cast<char16_t>(pair.second)};
            byKey[SortKey(coll.get(), text)].push_back(text);
        }
        std::map<std::u16string, uint16_t> weight;
        uint16_t next = 1;
        for (const auto& [key, texts] : byKey) {
            const uint16_t w = IsIgnorableKey(key) ? 0 : next++;
            for (const std::u16string& text : texts)
                weight[text] = w;
        }
        if (next >= 0x8000)
            return Fail("too many weights for ", U_ZERO_ERROR);

        std::vector<uint16_t> main(MAIN_TABLE_CHARS, 0);
        for (UChar32 c = 0; c < MAIN_TABLE_CHARS; ++c) {
            const auto it = weight.find(std::u16string(1, static_cast<char16_t>(c)));
            // Unassigned code points sort like characters beyond the table.
            main[c] = it != weight.end() ? it->second : 0x0FFF;
        }

        blob->type = LANGUAGE_TABLE_TYPE_COLLATION;
        blob->language[0] = langTable.code[0];
        blob->language[1] = langTable.code[1];
        blob->kind = kind;
        blob->second.clear();
        blob->third.clear();
        for (size_t i = 0; i < expansions.size(); ++i) {
            main[expansions[i].ch] = static_cast<uint16_t>(WEIGHT_EXPANSION | i);
            PutU16(&blob->second, 0);
            PutU16(&blob->second, expansions[i].first);
            PutU16(&blob->second, expansions[i].second);
        }
        // Contraction records: per first character, the character alone and
        // then each pair it starts, sorted by first character.
        std::map<UChar, std::vector<UChar>> pairsByFirst;
        for (const Contraction& pair : contractions)
            pairsByFirst[pair.first].push_back(pair.second);
        size_t record = 0;
        for (const auto& [first, seconds] : pairsByFirst) {
            const uint16_t alone = main[first];
            main[first] = static_cast<uint16_t>(WEIGHT_CONTRACTION | record);
            for (uint16_t v : {static_cast<uint16_t>(first), uint16_t{0}, alone}) {
                PutU16(&blob->third, v);
            }
            ++record;
            for (UChar second : seconds) {
                const uint16_t w = weight[std::u16string{static_cast<char16_t>(first),
                                                         static_cast<char16_t>(second)}];
                for (uint16_t v :
                     {static_cast<uint16_t>(first), static_cast<uint16_t>(second), w}) {
                    PutU16(&blob->third, v);
                }
                ++record;
            }
        }
        if (record > MAX_CONTRACTION_RECORDS || expansions.size() > MAX_EXPANSION_RECORDS) {
            return Fail("too many special characters in ", U_ZERO_ERROR);
        }
        blob->main.clear();
        for (uint16_t w : main)
            PutU16(&blob->main, w);
        return true;
    }

private:
    // Letter pairs of the table's range that the language sorts as one
    // letter, and characters that sort as two characters of the range.
    bool FindSpecials(const UCollator* coll, const UCollator* primary, const UCollator* tertiary,
                      std::vector<Contraction>* contractions, std::vector<Expansion>* expansions) {
        UErrorCode status = U_ZERO_ERROR;
        // The lists depend on the language only, not on the strength, and
        // take long to make: once per language.
        if (!m_contractionSet) {
            m_contractionSet.reset(uset_openEmpty());
            m_expansionSet.reset(uset_openEmpty());
            ucol_getContractionsAndExpansions(coll, m_contractionSet.get(), m_expansionSet.get(),
                                              false, &status);
            if (U_FAILURE(status)) {
                m_contractionSet.reset();
                return Fail("cannot list the contractions of ", status);
            }
        }
        const USet* contractionSet = m_contractionSet.get();
        const USet* expansionSet = m_expansionSet.get();

        std::set<UChar> contractionStarts;
        const int32_t items = uset_getItemCount(contractionSet);
        for (int32_t i = 0; i < items; ++i) {
            UChar32 start = 0;
            UChar32 end = 0;
            UChar text[8];
            const int32_t length = uset_getItem(contractionSet, i, &start, &end, text, 8, &status);
            if (U_FAILURE(status))
                return Fail("cannot read the contractions of ", status);
            if (length != 2 || !InTable(text[0]) || !InTable(text[1]) || !IsLetter(text[0]) ||
                !IsLetter(text[1])) {
                continue;
            }
            contractions->push_back({text[0], text[1]});
            contractionStarts.insert(text[0]);
        }

        // The character standing for each primary weight: among characters
        // of one primary the one that sorts first (the small letter).
        std::map<int32_t, std::pair<std::string, UChar>> representative;
        for (UChar32 c = 0; c < MAIN_TABLE_CHARS; ++c) {
            if (!InTable(c))
                continue;
            const std::u16string text(1, static_cast<char16_t>(c));
            const std::vector<int32_t> p = Primaries(primary, text);
            if (p.size() != 1)
                continue;
            const std::string key = SortKey(tertiary, text);
            auto it = representative.find(p[0]);
            if (it == representative.end() || key < it->second.first) {
                representative[p[0]] = {key, static_cast<UChar>(c)};
            }
        }
        for (UChar32 c = 0; c < MAIN_TABLE_CHARS; ++c) {
            if (!InTable(c) || !uset_contains(expansionSet, c) ||
                contractionStarts.count(static_cast<UChar>(c)) != 0) {
                continue;
            }
            const std::u16string text(1, static_cast<char16_t>(c));
            const std::vector<int32_t> p = Primaries(primary, text);
            if (p.size() != 2)
                continue;
            const auto first = representative.find(p[0]);
            const auto second = representative.find(p[1]);
            if (first == representative.end() || second == representative.end())
                continue;
            const UChar x = first->second.second;
            const UChar y = second->second.second;
            // The first half is compared by its plain weight: it must be one.
            if (contractionStarts.count(x) != 0 || x == c || y == c)
                continue;
            const std::u16string pair{static_cast<char16_t>(x), static_cast<char16_t>(y)};
            if (ucol_strcoll(primary, reinterpret_cast<const UChar*>(text.data()), 1,
                             reinterpret_cast<const UChar*>(pair.data()), 2) != UCOL_EQUAL) {
                continue;
            }
            expansions->push_back({c, x, y});
        }
        // An expansion's halves are compared by their plain weights.
        std::set<UChar> expanding;
        for (const Expansion& e : *expansions)
            expanding.insert(static_cast<UChar>(e.ch));
        std::erase_if(*expansions, [&](const Expansion& e) {
            return expanding.count(e.first) != 0 || expanding.count(e.second) != 0;
        });
        std::erase_if(*contractions,
                      [&](const Contraction& pair) { return expanding.count(pair.first) != 0; });
        return true;
    }

    bool Fail(const char* what, UErrorCode status) {
        *m_pError = std::string(what) + m_locale;
        if (U_FAILURE(status))
            *m_pError += std::string(": ") + u_errorName(status);
        return false;
    }

    const char* m_locale;
    std::string* m_pError;
    Set m_contractionSet;
    Set m_expansionSet;
};

}  // namespace

bool BuildLanguageTables(std::vector<TableBlob>* out, std::string* error) {
    for (const LanguageSpec& langTable : LANGUAGES) {
        CTableBuilder builder(langTable.locale, error);
        for (uint16_t kind = 0; kind < 4; ++kind) {
            TableBlob blob;
            if (!builder.Build(langTable, kind, &blob))
                return false;
            out->push_back(std::move(blob));
        }
    }
    return true;
}

}  // namespace cctb

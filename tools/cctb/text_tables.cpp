// Replacement and normalisation tables from ICU's normalisation data.
#include "tools/cctb/text_tables.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <map>

#include "intl/table_writer.h"

namespace cctb {
namespace {

// Substitutes that no decomposition gives: punctuation by its look.
const std::map<uint16_t, uint8_t>& PunctuationSubstitutes() {
    static const std::map<uint16_t, uint8_t> table = {
        {0x00A0, ' '},  {0x00A6, '|'},  {0x00AB, '"'}, {0x00AD, '-'},  {0x00B4, '\''},
        {0x00B7, '.'},  {0x00BB, '"'},  {0x00D7, 'x'}, {0x00D8, 'O'},  {0x00F7, '/'},
        {0x00F8, 'o'},  {0x0110, 'D'},  {0x0111, 'd'}, {0x0131, 'i'},  {0x0141, 'L'},
        {0x0142, 'l'},  {0x02B9, '\''}, {0x02BA, '"'}, {0x02BC, '\''}, {0x02C6, '^'},
        {0x02C8, '\''}, {0x02CB, '`'},  {0x02D0, ':'}, {0x02DC, '~'},  {0x2010, '-'},
        {0x2011, '-'},  {0x2012, '-'},  {0x2013, '-'}, {0x2014, '-'},  {0x2015, '-'},
        {0x2018, '\''}, {0x2019, '\''}, {0x201A, ','}, {0x201B, '\''}, {0x201C, '"'},
        {0x201D, '"'},  {0x201E, '"'},  {0x201F, '"'}, {0x2022, '*'},  {0x2023, '>'},
        {0x2026, '.'},  {0x2032, '\''}, {0x2033, '"'}, {0x2035, '`'},  {0x2036, '"'},
        {0x2039, '<'},  {0x203A, '>'},  {0x2043, '-'}, {0x2044, '/'},  {0x2212, '-'},
        {0x2215, '/'},  {0x2216, '\\'}, {0x2217, '*'}, {0x2219, '.'},  {0x2223, '|'},
        {0x2236, ':'},  {0x223C, '~'},  {0x2264, '<'}, {0x2265, '>'},  {0x2500, '-'},
        {0x2502, '|'},  {0x250C, '+'},  {0x2510, '+'}, {0x2514, '+'},  {0x2518, '+'},
        {0x251C, '+'},  {0x2524, '+'},  {0x252C, '+'}, {0x2534, '+'},  {0x253C, '+'},
        {0x25CF, '*'},  {0x3000, ' '},  {0x3001, ','}, {0x3002, '.'},  {0xFEFF, ' '},
    };
    return table;
}

bool IsPrintableAscii(UChar32 c) {
    return c >= 0x20 && c < 0x7F;
}

}  // namespace

bool BuildReplacementTable(std::vector<uint8_t>* out, std::string* error) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(status);
    if (U_FAILURE(status)) {
        *error = std::string("cannot load the decomposition data: ") + u_errorName(status);
        return false;
    }
    glossel::PairMap pairs;
    for (UChar32 c = 0x80; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        const icu::UnicodeString decomposed = nfkd->normalize(icu::UnicodeString(c), status);
        if (U_FAILURE(status)) {
            *error = std::string("decomposition failed: ") + u_errorName(status);
            return false;
        }
        // Exactly one printable ASCII character once the marks are dropped.
        UChar32 base = -1;
        bool single = true;
        for (int32_t i = 0; i < decomposed.length();) {
            const UChar32 part = decomposed.char32At(i);
            i += U16_LENGTH(part);
            if (u_charType(part) == U_NON_SPACING_MARK) {
                continue;
            }
            if (base != -1) {
                single = false;
            }
            base = part;
        }
        if (single && IsPrintableAscii(base)) {
            pairs[static_cast<uint16_t>(c)] = static_cast<uint16_t>(base);
        }
    }
    for (const auto& [u, substitute] : PunctuationSubstitutes()) {
        pairs[u] = substitute;
    }
    *out = glossel::EncodePairs(pairs);
    if (out->size() > 0xFFFF) {
        *error = "replacement table larger than 65535 bytes";
        return false;
    }
    return true;
}

bool BuildNormalisationTable(std::vector<uint8_t>* out, std::string* error) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
    if (U_FAILURE(status)) {
        *error = std::string("cannot load the composition data: ") + u_errorName(status);
        return false;
    }
    out->clear();
    out->reserve(NORMALISATION_ENTRIES * 2);
    for (UChar32 c = 0; c < static_cast<UChar32>(NORMALISATION_ENTRIES); ++c) {
        uint16_t value = static_cast<uint16_t>(c);
        if (c < 0xD800 || c > 0xDFFF) {
            const icu::UnicodeString composed = nfkc->normalize(icu::UnicodeString(c), status);
            if (U_FAILURE(status)) {
                *error = std::string("composition failed: ") + u_errorName(status);
                return false;
            }
            if (composed.length() == 1) {
                value = composed.charAt(0);
            }
        }
        out->push_back(static_cast<uint8_t>(value & 0xFF));
        out->push_back(static_cast<uint8_t>(value >> 8));
    }
    return true;
}

}  // namespace cctb

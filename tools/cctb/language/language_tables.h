// Builds the collation (language) tables that the table compiler writes into
// the table file: one group of four consecutive tables per language.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cctb {

// Table type of a collation table in the language directory.
constexpr uint16_t LANGUAGE_TABLE_TYPE_COLLATION = 0x8003;

// The four kinds of every language, always in this order within a group:
//   0  primary: letters only; case and accents are ignored ("a" = "A" = "á").
//   1  secondary: accents count, case does not ("a" = "A" < "á").
//   2  tertiary: accents and case count, lower case first ("a" < "A" < "á").
//   3  tertiary with upper case first ("A" < "a" < "Á").
constexpr uint16_t LANGUAGE_KIND_PRIMARY = 0;
constexpr uint16_t LANGUAGE_KIND_SECONDARY = 1;
constexpr uint16_t LANGUAGE_KIND_TERTIARY = 2;
constexpr uint16_t LANGUAGE_KIND_UPPER_FIRST = 3;

// One language directory entry with its three tables. The writer lays the
// tables out in the file and fills the directory entry's offsets and sizes;
// an empty `second` or `third` means "no table" (offset 0 and size 0).
struct TableBlob {
    uint16_t type = LANGUAGE_TABLE_TYPE_COLLATION;  // directory offset 0
    char language[2] = {0, 0};                      // directory offset 10: two lower-case letters
    uint16_t kind = 0;                              // directory offset 12: 0-3
    std::vector<uint8_t> main;                      // u16 LE weight per code point from U+0000
    std::vector<uint8_t> second;  // expansions: 6-byte records (unused, first, second)
    std::vector<uint8_t> third;   // contractions: 6-byte records (first, second, weight)
};

// Appends the tables of every built-in language to `out`: groups of four
// blobs (kinds 0, 1, 2, 3) per language. The writer must place the blobs in
// the language directory in this order starting at an index that is a
// multiple of four, since the library's language search steps over whole
// groups. Returns false with a message in `error` when the collation data
// cannot be read.
[[nodiscard]] bool BuildLanguageTables(std::vector<TableBlob>* out, std::string* error);

}  // namespace cctb

// Builds the bytes of a table file and of its translation tables. Used by the
// table compiler and by tests that need hand-made files.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace glossel {

struct XlatTableSpec {
    int16_t source = 0;
    int16_t destination = 0;
    std::vector<uint8_t> bytes;
};

struct LangTableSpec {
    uint16_t type = 0x8003;
    char language[2] = {0, 0};
    uint16_t kind = 0;
    std::vector<uint8_t> main;
    std::vector<uint8_t> second;  // empty: none (offset 0)
    std::vector<uint8_t> third;   // empty: none (offset 0)
};

struct TableFileContents {
    uint16_t version = 3;
    std::vector<XlatTableSpec> xlat;  // directory order = search order
    std::vector<LangTableSpec> lang;  // groups of four per language
    std::vector<uint8_t> normalisation;
    std::vector<uint8_t> replacement;
};

// The file bytes: header, translation directory, language directory,
// normalisation table, replacement table, then every table. Returns false
// with a message when something does not fit the format's 16-bit counts.
[[nodiscard]] bool BuildTableFile(const TableFileContents& contents, std::vector<uint8_t>* out,
                                  std::string* error);

// Table layouts.
using PairMap = std::map<uint16_t, uint16_t>;  // sorted by key

// Pair table: 4-byte records (key, value) in ascending key order.
std::vector<uint8_t> EncodePairs(const PairMap& pairs);
// 256 u16 (set -> 1200 single-byte part, or 1200 -> 932 output strings).
std::vector<uint8_t> EncodeU16Part(const std::array<uint16_t, 256>& values);
// set -> 1200: the Unicode value of each byte.
std::vector<uint8_t> SingleToUnicodeTable(const std::array<uint16_t, 256>& unicodeOfByte);
// 1200 -> set: byte of U+0000-U+00FF ("?" where absent), then pairs for the
// values above U+00FF. Values listed in `skip` (e.g. U+FFFD for undefined
// bytes) get no entry.
std::vector<uint8_t> UnicodeToSingleTable(const std::array<uint16_t, 256>& unicodeOfByte,
                                          uint16_t skip);
// 1200 -> 932: output strings of U+0000-U+00FF, then pairs for the rest.
std::vector<uint8_t> UnicodeToDoubleTable(const std::array<uint16_t, 256>& outputStrings,
                                          const PairMap& pairsAbove);

}  // namespace glossel

// The character sets that the table compiler writes into "CCINTL.TB", with the
// names that the command-line front end accepts for them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cctb {

struct CharsetInfo {
    int16_t id;                      // identifier in the table file
    const char* iconvName;           // converter of the C library the tables come from
    std::vector<const char*> names;  // names accepted by the front end (case ignored)
};

// Single-byte sets, each with a (set -> 1200) and a (1200 -> set) table.
const std::vector<CharsetInfo>& SingleByteCharsets();

// Identifier for a name, a decimal number or a 0x hexadecimal number; false
// when nothing matches. Covers 1200 ("unicode", "utf-16le"), 932 ("shift_jis")
// and 0x43A4 besides the single-byte sets.
bool LookupCharset(std::string_view name, int16_t* id);

}  // namespace cctb

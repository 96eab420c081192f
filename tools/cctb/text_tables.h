// The replacement and normalisation tables, derived from the Unicode
// character data that ICU carries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cctb {

// Pair table Unicode -> ASCII substitute for characters that a destination
// set may lack: typographic quotes, dashes and spaces, and letters whose
// compatibility decomposition is an ASCII letter or digit with marks
// ("é" -> "e", fullwidth "Ａ" -> "A").
bool BuildReplacementTable(std::vector<uint8_t>* out, std::string* error);

// u16 per Unicode value from U+0000 (as many as a 16-bit size holds): the
// compatibility composition of the value when that is a single character of
// the Basic Multilingual Plane, else the value itself.
bool BuildNormalisationTable(std::vector<uint8_t>* out, std::string* error);

// Entries of the normalisation table (65534 bytes).
constexpr uint32_t NORMALISATION_ENTRIES = 0x7FFF;

}  // namespace cctb

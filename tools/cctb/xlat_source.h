// Reads character-set mappings from the C library's converters and turns them
// into the translation tables of the table file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "intl/table_writer.h"

namespace cctb {

// Value given to a byte that the converter does not define, outside the C1
// range 0x80-0x9F (where an undefined byte stands for the control of the
// same value).
constexpr uint16_t UNDEFINED_BYTE = 0xFFFD;

// The Unicode value of each byte of a single-byte set. False with a message
// when the converter is missing.
bool DecodeSingleByteSet(const char* iconvName, std::array<uint16_t, 256>* unicodeOfByte,
                         std::string* error);

// Both tables of a single-byte set: (set -> 1200) and (1200 -> set).
bool BuildSingleByteTables(int16_t id, const char* iconvName,
                           std::vector<glossel::XlatTableSpec>* out, std::string* error);

// The Shift_JIS tables: (932 -> 1200) with the grid, (0x43A4 -> 1200) with
// pairs, and (1200 -> 932) with output strings.
bool BuildShiftJisTables(std::vector<glossel::XlatTableSpec>* out, std::string* error);

}  // namespace cctb

// Byte layout of the table file "CCINTL.TB" (all integers little-endian) and
// of the translation tables it holds.
#pragma once

#include <cstdint>

namespace glossel {

// Character-set identifiers with a meaning of their own.
constexpr int16_t SET_NONE = 0;
constexpr int16_t SET_UNICODE = 1200;
constexpr int16_t SET_SJIS = 932;
constexpr int16_t SET_SJIS_PAIRS = 0x43A4;
constexpr int16_t SET_MAC_ROMAN = static_cast<int16_t>(0x8000);
constexpr int16_t SET_ISO646 = static_cast<int16_t>(0x8646);

inline constexpr char TABLE_FILE_NAME[] = "CCINTL.TB";
inline constexpr char LOG_FILE_NAME[] = "CCNFT.LG";
constexpr uint16_t TABLE_FILE_VERSION = 3;

// Header: the first 132 bytes of the file.
constexpr uint32_t HEADER_SIZE = 132;
constexpr uint32_t HEADER_VERSION = 0;      // u16
constexpr uint32_t HEADER_XLAT_OFFSET = 4;  // u32
constexpr uint32_t HEADER_XLAT_SIZE = 8;    // u32, low 16 bits / 14 = entry count
constexpr uint32_t HEADER_LANG_OFFSET = 12;
constexpr uint32_t HEADER_LANG_SIZE = 16;  // low 16 bits / 32 = entry count
constexpr uint32_t HEADER_NORM_OFFSET = 20;
constexpr uint32_t HEADER_NORM_SIZE = 24;  // low 16 bits used
constexpr uint32_t HEADER_REPL_OFFSET = 28;
constexpr uint32_t HEADER_REPL_SIZE = 32;  // low 16 bits used

// Translation directory entry (14 bytes).
constexpr uint32_t XLAT_ENTRY_SIZE = 14;
constexpr uint32_t XLAT_OFFSET = 2;        // u32
constexpr uint32_t XLAT_SIZE = 6;          // u32
constexpr uint32_t XLAT_SOURCE = 10;       // i16
constexpr uint32_t XLAT_DESTINATION = 12;  // i16

// Language directory entry (32 bytes).
constexpr uint32_t LANG_ENTRY_SIZE = 32;
constexpr uint32_t LANG_TYPE = 0;         // u16
constexpr uint32_t LANG_MAIN_OFFSET = 2;  // u32
constexpr uint32_t LANG_MAIN_SIZE = 6;    // u32
constexpr uint32_t LANG_LANGUAGE = 10;    // 2 chars
constexpr uint32_t LANG_KIND = 12;        // u16, low 2 bits
constexpr uint32_t LANG_SECOND_OFFSET = 16;
constexpr uint32_t LANG_SECOND_SIZE = 20;
constexpr uint32_t LANG_THIRD_OFFSET = 24;
constexpr uint32_t LANG_THIRD_SIZE = 28;

// Translation tables: the fixed part for the 256 single bytes or code points
// U+0000-U+00FF comes first; a pair table or the grid follows.
constexpr uint32_t SINGLE_PART_U16_SIZE = 512;   // 256 u16
constexpr uint32_t SINGLE_PART_BYTE_SIZE = 256;  // 256 bytes
constexpr uint32_t PAIR_SIZE = 4;                // u16 key, u16 value

// The double-byte grid of the 932 -> 1200 table: 49 rows of 189 trail bytes
// (0x40-0xFC) after the single-byte part.
constexpr uint32_t SJIS_GRID_ROWS = 49;
constexpr uint32_t SJIS_GRID_COLUMNS = 189;
constexpr uint32_t SJIS_GRID_TABLE_SIZE =
    SINGLE_PART_U16_SIZE + SJIS_GRID_ROWS * SJIS_GRID_COLUMNS * 2;

constexpr bool IsSjisLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
constexpr bool IsSjisTrailByte(uint8_t b) {
    return b >= 0x40 && b <= 0xFC;
}

// Grid entry index of a double-byte code (valid lead, trail 0x40-0xFC). Codes
// with leads 0xEF-0xF9 share rows 35-45 with leads 0xE4-0xEE.
constexpr uint32_t SjisGridIndex(uint8_t lead, uint8_t trail) {
    const uint32_t code = (uint32_t{lead} << 8) | trail;
    uint32_t row = 0;
    if (lead <= 0x9F) {
        row = lead - 0x81u;
    } else if (code < 0xEF40) {
        row = lead - 0xC1u;
    } else {
        row = lead - 0xCCu;
    }
    return row * SJIS_GRID_COLUMNS + (trail - 0x40u);
}

}  // namespace glossel

// Detection of Shift_JIS, ISO-2022-JP and UTF-8 text and conversion of each to Shift_JIS
// (code page 932): the score functions, the converters and the detector table.
#ifndef CONDUIT_JAPANESE_JAPANESE_ENCODING_H_
#define CONDUIT_JAPANESE_JAPANESE_ENCODING_H_

#include <cstddef>
#include <cstdint>

#include "conduit/japanese/cp932.h"

namespace torrim::japanese {

// Length of the UTF-8 sequence that a byte opens: 1 for 0x00-0x7F, 2 for 0xC0-0xDF, 3 for
// 0xE0-0xEF, 4 for 0xF0-0xF7, 5 for 0xF8-0xFB, 6 for 0xFC-0xFD, and 0 for bytes that open
// none (0x80-0xBF, 0xFE, 0xFF).
extern const int8_t Utf8SequenceLength[256];

// Indexed by sequence length 1-6 (index 0 unused): subtracted from a sequence whose bytes were
// accumulated as value = value * 64 + byte, it removes the length marks of the lead byte
// and of the continuation bytes.
extern const uint32_t Utf8SequenceOffsets[7];

// A score function rates how well (bytes, length) fits its encoding, from 0 (not at all) to
// 100 (certainly). It reads exactly length bytes; NUL bytes are ordinary input.
using ScoreFunction = int (*)(const char* bytes, size_t length, const Cp932CodeSet& codeSet);

// A convert function writes the Shift_JIS form of (src, length) to dest followed by a NUL.
// The output is never longer than the input, so dest needs length + 1 bytes; no more is ever
// written. Returns the number of bytes written before the NUL. Malformed input never fails.
using ConvertFunction = size_t (*)(char* dest, const char* src, size_t length);

struct EncodingDetector {
    const char* name;
    ScoreFunction score;
    ConvertFunction convert;
};

constexpr size_t ENCODING_DETECTOR_COUNT = 3;

// Walked in this order: "Shift_JIS" (ScoreShiftJis, CopyShiftJis), "ISO-2022-JP-2"
// (ScoreIso2022Jp, Iso2022JpToShiftJis), "UTF-8" (ScoreUtf8, Utf8ToShiftJis).
extern const EncodingDetector EncodingDetectorTable[ENCODING_DETECTOR_COUNT];

// The row that scores highest; the first row to score exactly 100 wins at once, and ties
// go to the earlier row, so text that no row likes is taken as "Shift_JIS". Never null.
[[nodiscard]] const EncodingDetector* DetectEncoding(const char* bytes, size_t length,
                                                     const Cp932CodeSet& codeSet);

// DetectEncoding followed by the chosen row's converter into dest (length + 1 bytes), with
// the same choice and the same output, but UTF-8 text is decoded once for both. Sets
// *written to the converter's result and returns the chosen row.
const EncodingDetector* DetectAndConvert(char* dest, const char* src, size_t length,
                                         const Cp932CodeSet& codeSet, size_t* written);

// 100 for text made of single bytes and defined double-byte codes; 75 when some lead and
// trail byte pair is not a defined code; 0 for an ESC byte, a lead byte at the end, or a
// lead byte followed by a byte that cannot trail.
[[nodiscard]] int ScoreShiftJis(const char* bytes, size_t length, const Cp932CodeSet& codeSet);

// 100 when the text holds at least one ESC byte and no byte of 0x80 or above, else 0.
[[nodiscard]] int ScoreIso2022Jp(const char* bytes, size_t length, const Cp932CodeSet& codeSet);

// 100 for well-formed UTF-8 whose every character has a code page 932 code; 50 when some
// character of the 16-bit range has none; 25 when some character lies above U+FFFF; 0 for a
// sequence that is broken (a byte that cannot start one, a missing continuation byte, an
// overlong form) or cut off by the end of the text.
[[nodiscard]] int ScoreUtf8(const char* bytes, size_t length, const Cp932CodeSet& codeSet);

// Copies the text unchanged.
size_t CopyShiftJis(char* dest, const char* src, size_t length);

// Converts UTF-8 to Shift_JIS character by character. A broken or overlong sequence, a
// character above U+FFFF and a character without a code become "?". A character of
// U+0080-U+00FF without a code is written as its own byte, unless that byte would lead a
// double-byte code and so swallow the next character: then it becomes "?" too. A sequence
// cut off by the end of the text becomes "?" and ends the output.
size_t Utf8ToShiftJis(char* dest, const char* src, size_t length);

// Converts ISO-2022-JP (JIS X 0208 kanji, half-width katakana by SO/SI or ESC ( I, and the
// ESC , A / ESC . A upper-half set) to Shift_JIS. Escape sequences are dropped; CR and LF
// return to single bytes. An escape sequence cut off by the end of the text ends the output.
size_t Iso2022JpToShiftJis(char* dest, const char* src, size_t length);

}  // namespace torrim::japanese

#endif  // CONDUIT_JAPANESE_JAPANESE_ENCODING_H_

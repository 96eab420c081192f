// The process's ANSI code page and multi-byte aware text operations on 8-bit text.
//
// Text is a byte string in the active code page. On the double-byte pages (932, 936, 949,
// 950) a lead byte starts a two-byte character; every operation here walks characters from
// the start so that a trail byte is never mistaken for a character of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The ANSI code page of the process: env TETHER_CODEPAGE (decimal) when set and valid,
// else 1252. Read once; SetActiveCodePage overrides it for the rest of the process.
uint32_t ActiveCodePage();
void SetActiveCodePage(uint32_t codePage);

// Lead bytes of double-byte characters: 932 0x81-0x9F and 0xE0-0xFC; 936, 949 and 950
// 0x81-0xFE; any other page has none.
bool IsLeadByteOf(uint32_t codePage, uint8_t byte);
bool IsLeadByte(uint8_t byte);  // of the active code page

// Byte length of the character starting at text[pos] (1 or 2; a lead byte at the very end
// counts as a character of one byte). pos must be < text.size().
size_t CharLengthAt(std::string_view text, size_t pos);

// The longest length <= limit, and <= the length of `text` up to its first NUL, that does
// not split a double-byte character.
size_t ValidCutLength(std::string_view text, size_t limit);

// Case folding of the active code page that never touches trail bytes: ASCII letters;
// on 1252 also the accented Latin letters; on 932 also the full-width Latin letters.
std::string LowerMb(std::string_view text);
std::string UpperMb(std::string_view text);

// Comparison ignoring case (as LowerMb), byte order otherwise: <0, 0 or >0.
int CompareNoCaseMb(std::string_view a, std::string_view b);

// Position of the first occurrence of `needle` in `hay` ignoring case that starts at a
// character boundary; npos when none. An empty needle is found at 0.
size_t FindNoCaseMb(std::string_view hay, std::string_view needle);

// Position of the first character equal to the single-byte `c` at or after `from` (a
// character boundary), skipping trail bytes; npos when none.
size_t FindCharMb(std::string_view text, char c, size_t from = 0);

// Position of the first single-byte character at or after `from` that occurs in `set`;
// npos when none.
size_t FindFirstOfMb(std::string_view text, std::string_view set, size_t from = 0);

}  // namespace platform

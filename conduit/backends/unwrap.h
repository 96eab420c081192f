// Joining the hard line breaks that mail programs put inside paragraphs, so that the
// handheld can flow the text to its own width. Pure functions of their text.
#pragma once

#include <string>
#include <string_view>

namespace torrim {

// Lines closer than this many bytes to the previous break are never joined: a short line
// is taken as the author's own line end.
inline constexpr size_t UNWRAP_MIN_LINE = 42;

// Byte-wise form for every code page except 932. A CR whose line is longer than
// UNWRAP_MIN_LINE bytes is replaced by a space (two after a full stop) when the next line
// continues the paragraph: not an empty line, and the next line's second character (after
// blanks) is no digit, punctuation or line end. Stops at the first NUL of `text`.
std::string UnwrapText(std::string_view text);

// Character-wise form for code page 932. Leading white space of every line is dropped and
// trailing white space cut; a line break between two Latin words of a long line becomes a
// space (two after a full stop) and one between two Japanese characters disappears, the
// CR staying in both cases. Stops at the first NUL of `text`.
std::string UnwrapText932(std::string_view text);

// Class of a code page 932 character code (a byte, or lead * 256 + trail): 1 for ".", ","
// and ASCII letters; 2 for half-width katakana and punctuation, hiragana, katakana, JIS
// non-kanji symbols and JIS level 1 and 2 kanji; 0 otherwise.
int CharClass932(unsigned code);

}  // namespace torrim

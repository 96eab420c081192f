// Text conversions of the Simple MAPI library: charsets, code pages, line ends and a
// readable text form of HTML.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mapi {

// The converter name of a Windows ANSI code page ("CP1252", "CP932", "GBK", ...).
std::string CharsetOfCodePage(uint32_t codePage);

// Text in `charset` (a MIME charset name; empty or unknown: UTF-8 when the bytes are valid
// UTF-8, else windows-1252) to valid UTF-8. Never fails: undecodable bytes become U+FFFD.
std::string ToUtf8(std::string_view bytes, std::string_view charset);

// UTF-8 to `charset`; characters the charset lacks become '?'. Invalid UTF-8 input is
// repaired first. Returns false (and *out empty) only when the charset is unknown.
bool FromUtf8(std::string_view utf8, std::string_view charset, std::string* out);

// UTF-8 to the ANSI code page, '?' for what it lacks.
std::string Utf8ToCodePage(std::string_view utf8, uint32_t codePage);
// ANSI code page text to UTF-8.
std::string CodePageToUtf8(std::string_view text, uint32_t codePage);

// Every line end (CR LF, LF or a lone CR) becomes CR LF.
std::string ToCrLf(std::string_view text);
// Every line end becomes LF.
std::string ToLf(std::string_view text);

// Header text: control characters (line breaks, tabs) become spaces.
std::string FlattenHeader(std::string_view text);

// A readable plain text form of an HTML document (UTF-8 in, UTF-8 out, LF line ends):
// tags dropped, block elements on lines of their own, list items with "* ", links followed
// by their target, script and style content skipped, character references decoded.
std::string HtmlToText(std::string_view html);

}  // namespace mapi

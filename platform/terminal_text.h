// Text between the ANSI code page and the terminal's character set, for programs that show
// handheld or desktop text to a person and take text from the command line.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// true when the user's locale (LC_ALL / LC_CTYPE / LANG) uses UTF-8.
bool TerminalUsesUtf8();

// Text of the active code page as the terminal shows it: converted to UTF-8 when the
// terminal uses UTF-8, otherwise (or when the text cannot be converted) unchanged.
std::string AnsiToTerminal(std::string_view text);

// Text typed on a UTF-8 terminal in the active code page; characters the code page lacks
// become "?". Unchanged when the terminal does not use UTF-8 or the text is not UTF-8.
std::string TerminalToAnsi(std::string_view text);

// Reads one line from standard input without its line end. On a terminal the prompt is
// written to standard error first and the typed characters are not echoed (passwords).
// false at the end of the input.
bool ReadSecretLine(const char* prompt, std::string* out);

}  // namespace platform

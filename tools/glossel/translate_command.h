// The translate and sets commands of the glossel front end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glossel_cli {

// argv[0] is the command name. Exit code: 0, 1 (failure), 2 (bad usage).
int RunTranslate(int argc, char** argv);
int RunSets(int argc, char** argv);

// The folder of "CCINTL.TB": `option` when given, else $GLOSSEL_TABLES, else
// the share folder beside the program's folder.
std::string TableDirectory(const std::string& option);

// Why the table file of `dir` could not be used: "damaged" for a file the library refused
// (3074), else "cannot open", with the code.
std::string TableFileError(const std::string& dir, int32_t code);

// Bytes of `data` (the first `length`) that form whole characters of `set`;
// the rest waits for more input. At the end of the input everything counts.
size_t WholeCharacters(int16_t set, const unsigned char* data, size_t length, bool atEnd);

// UTF-8, read and written through Unicode (UTF-16LE bytes) by the translate command.
// The bytes of `data` that end on a whole UTF-8 sequence (a sequence cut at the end of the
// piece waits for the next one; at the end of the input everything counts).
size_t WholeUtf8(const uint8_t* data, size_t length, bool atEnd);
// Appends the UTF-16LE form of UTF-8 text; false at the first malformed sequence (overlong,
// surrogate, above U+10FFFF, cut), whose offset goes to *bad.
bool AppendUtf16(const uint8_t* data, size_t length, std::vector<uint8_t>* out, size_t* bad);
// Appends the UTF-8 form of UTF-16LE units; a high surrogate at the end is kept in *pending
// for the next piece (0 when none). An unpaired surrogate becomes U+FFFD.
void AppendUtf8(const uint8_t* data, size_t length, uint32_t* pending, std::string* out);

}  // namespace glossel_cli

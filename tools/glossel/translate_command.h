// The translate and sets commands of the glossel front end.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace glossel_cli

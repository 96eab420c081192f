// The comparison, sorting, normalisation, split and packing commands of the
// glossel front end.
#pragma once

#include <string>

// Runs the command `name` with its arguments (argv[0] is the command name).
// Exit code: 0, 1 (failure), 2 (bad usage); -1 when `name` is not one of
// compare, sort, normalise (normalize), split, compress, decompress.
int RunCollateCommand(const std::string& name, int argc, char** argv);

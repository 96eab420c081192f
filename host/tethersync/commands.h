// The commands of the tethersync program.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/tethersync/args.h"

namespace tethersync {

// Runs the program with its arguments (without the program name); answers the exit status.
int Main(const std::vector<std::string>& args);

// Prints a usage error that points to the running command's own --help; EXIT_USAGE.
int Usage(const std::string& message);
// Prints a data error; EXIT_DATA.
int DataError(const std::string& message);

// A command kept outside commands.cpp: what it runs and its --help text.
struct CommandEntry {
    std::function<int(CArgs)> run;
    const char* help;
};

// The commands that set up real use: Simple MAPI profiles and removing a desktop user
// (setup_commands.cpp).
const std::map<std::string, CommandEntry>& SetupCommands();

}  // namespace tethersync

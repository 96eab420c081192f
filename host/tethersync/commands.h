// The commands of the tethersync program.
#pragma once

#include <string>
#include <vector>

namespace tethersync {

// Runs the program with its arguments (without the program name); answers the exit status.
int Main(const std::vector<std::string>& args);

}  // namespace tethersync

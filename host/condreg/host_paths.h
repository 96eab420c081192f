// Where the sync host program is.
#pragma once

#include <string>

namespace condreg {

// $TETHER_HOST_PROGRAM; else "tethersync" beside the running program, when there; else
// the build's program folder, when there; else the install's program folder.
std::string HostProgramPath();

}  // namespace condreg

// Where the sync host program is.
#include "host/condreg/host_paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/file_util.h"

namespace condreg {

std::string HostProgramPath() {
    const char* env = std::getenv("TETHER_HOST_PROGRAM");
    if (env != nullptr && *env != '\0')
        return env;
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        std::string beside = platform::JoinPath(self.parent_path().string(), "tethersync");
        if (platform::FileExists(beside))
            return beside;
    }
    std::string built = platform::JoinPath(TM_BUILD_BIN_DIR, "tethersync");
    if (platform::FileExists(built))
        return built;
    return platform::JoinPath(TM_INSTALL_BIN_DIR, "tethersync");
}

}  // namespace condreg

// Per-user folders chosen by environment variables with XDG defaults.
#include "platform/paths.h"

#include <cstdlib>

#include "platform/file_util.h"

namespace platform {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

std::string StripTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// $<xdgVar>/tethermail, else $HOME/<fallback>/tethermail (XDG ignores relative values).
std::string XdgFolder(const char* xdgVar, const char* fallback) {
    std::string base = Env(xdgVar);
    if (base.empty() || base[0] != '/') {
        std::string home = Env("HOME");
        // Without a home folder the files go below the current folder, never into a folder
        // shared with other users.
        if (home.empty())
            home.push_back('.');
        base = JoinPath(home, fallback);
    }
    return StripTrailingSlashes(JoinPath(base, "tethermail"));
}

}  // namespace

std::string PlatformHome() {
    std::string v = Env("TETHER_PLATFORM_HOME");
    if (!v.empty())
        return StripTrailingSlashes(v);
    return XdgFolder("XDG_CONFIG_HOME", ".config");
}

std::string WindowsDirectory() {
    return JoinPath(PlatformHome(), "windows");
}

std::string DesktopDataFolder() {
    std::string v = Env("TETHER_DATA_DIR");
    if (!v.empty())
        return StripTrailingSlashes(v);
    return XdgFolder("XDG_DATA_HOME", ".local/share");
}

}  // namespace platform

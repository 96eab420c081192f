// Loading shared libraries by Windows name through dlopen, with a documented search path.
#include "platform/library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/file_util.h"

#ifndef TM_BUILD_LIB_DIR
#define TM_BUILD_LIB_DIR ""
#endif
#ifndef TM_INSTALL_LIB_DIR
#define TM_INSTALL_LIB_DIR ""
#endif

namespace platform {
namespace {

// The running program's folder, looked up once: libraries are loaded again and again (a
// language library per text look-up), and the program does not move while it runs.
const std::string& ProgramFolder() {
    static const std::string folder = [] {
        char buf[4096];
        ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0)
            return std::string();
        std::string path(buf, static_cast<size_t>(n));
        size_t slash = path.rfind('/');
        return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }();
    return folder;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char a = s[s.size() - suffix.size() + i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a + 32);
        if (a != suffix[i])
            return false;
    }
    return true;
}

}  // namespace

std::string SharedObjectName(std::string_view windowsName) {
    size_t sep = windowsName.find_last_of("\\/");
    std::string_view base =
        sep == std::string_view::npos ? windowsName : windowsName.substr(sep + 1);
    if (EndsWithNoCase(base, ".so"))
        return std::string(base);
    if (EndsWithNoCase(base, ".dll"))
        base.remove_suffix(4);
    std::string name = "lib";
    for (char c : base)
        name.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
    return name + ".so";
}

std::vector<std::string> LibrarySearchPath() {
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("TETHER_LIBRARY_PATH")) {
        std::string_view list = env;
        while (!list.empty()) {
            size_t colon = list.find(':');
            std::string_view dir = list.substr(0, colon);
            if (!dir.empty())
                dirs.emplace_back(dir);
            if (colon == std::string_view::npos)
                break;
            list.remove_prefix(colon + 1);
        }
    }
    const std::string& program = ProgramFolder();
    if (!program.empty()) {
        dirs.push_back(program);
        dirs.push_back(JoinPath(program, "../lib"));
    }
    if (*TM_BUILD_LIB_DIR)
        dirs.emplace_back(TM_BUILD_LIB_DIR);
    if (*TM_INSTALL_LIB_DIR)
        dirs.emplace_back(TM_INSTALL_LIB_DIR);
    return dirs;
}

void* LoadLibraryByName(std::string_view windowsName, std::string* error) {
    std::string candidate;
    std::string given(windowsName);
    if (given.find('/') != std::string::npos && FileExists(given)) {
        candidate = given;
    } else {
        std::string file = SharedObjectName(windowsName);
        for (const std::string& dir : LibrarySearchPath()) {
            std::string path = FindCaseInsensitive(dir, file);
            if (FileExists(path)) {
                candidate = path;
                break;
            }
        }
        if (candidate.empty()) {
            if (error != nullptr) {
                *error = "library " + given + " not found (looked for " + file + " in";
                for (const std::string& dir : LibrarySearchPath())
                    *error += " " + dir;
                *error += ")";
            }
            return nullptr;
        }
    }
    void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr && error != nullptr) {
        const char* why = ::dlerror();
        *error = "library " + given + " cannot be loaded from " + candidate + ": " +
                 (why != nullptr ? why : "unknown error");
    }
    return handle;
}

void* GetProcAddress(void* library, const char* name) {
    if (library == nullptr || name == nullptr)
        return nullptr;
    if (void* p = ::dlsym(library, name))
        return p;
    // A decorated stdcall name ("HrQueryAllRows@24") cannot be an ELF symbol, since '@'
    // marks a symbol version there: such entry points are exported under the plain name.
    std::string_view n(name);
    size_t at = n.rfind('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == n.size() ||
        n.find_first_not_of("0123456789", at + 1) != std::string_view::npos)
        return nullptr;
    return ::dlsym(library, std::string(n.substr(0, at)).c_str());
}

void FreeLibrary(void* library) {
    if (library != nullptr)
        ::dlclose(library);
}

}  // namespace platform

// The exported C calls of libtamarackcmn.so: language libraries, numbered strings and the
// host configuration file.
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/condreg/host_paths.h"
#include "host/tamarackcmn/tamarack_cmn.h"
#include "platform/file_util.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace {

// Host configuration texts are short paths; a longer value is cut like any profile read.
constexpr uint32_t CONFIG_VALUE_MAX = 4096;

std::string HostConfigPath() {
    const char* env = std::getenv("TETHER_HOST_CONFIG");
    if (env != nullptr && *env != '\0')
        return env;
    return platform::JoinPath(platform::PlatformHome(), "tethersync.ini");
}

bool EqualsNoCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        char ca = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a + 32) : *a;
        char cb = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b + 32) : *b;
        if (ca != cb)
            return false;
    }
    return *a == *b;
}

// What section "Core" answers when the file does not say.
std::string BuiltInDefault(const char* section, const char* key, const char* def) {
    if (EqualsNoCase(section, "Core")) {
        std::string program = condreg::HostProgramPath();
        if (EqualsNoCase(key, "TetherSyncPath"))
            return program;
        if (EqualsNoCase(key, "Path")) {
            size_t slash = program.rfind('/');
            return slash == std::string::npos ? std::string(".") : program.substr(0, slash);
        }
    }
    return def == nullptr ? std::string() : std::string(def);
}

}  // namespace

extern "C" {

void* CmnOpenLanguageLibrary(const char* fileName, void* defaultModule, void** pDefaultModule) {
    try {
        if (pDefaultModule != nullptr)
            *pDefaultModule = defaultModule;
        if (fileName == nullptr)
            return defaultModule;
        void* module = platform::LoadLibraryByName(fileName);
        return module != nullptr ? module : defaultModule;
    } catch (...) {
        return defaultModule;
    }
}

int32_t CmnReleaseLanguageLibrary(void* handle, void* defaultModule) {
    if (handle == nullptr || handle == defaultModule)
        return 0;
    platform::FreeLibrary(handle);
    return 1;
}

int32_t CmnLoadString(void* module, uint32_t id, char* buffer, int32_t size) {
    try {
        if (buffer == nullptr || size < 1)
            return 0;
        buffer[0] = '\0';
        if (module == nullptr)
            return 0;
        auto lookup = reinterpret_cast<CmnLanguageStringFn>(
            platform::GetProcAddress(module, CMN_LANGUAGE_STRING_ENTRY));
        if (lookup == nullptr)
            return 0;
        const char* text = lookup(id);
        if (text == nullptr)
            return 0;
        size_t n = std::strlen(text);
        if (n > static_cast<size_t>(size - 1))
            n = static_cast<size_t>(size - 1);
        std::memcpy(buffer, text, n);
        buffer[n] = '\0';
        return static_cast<int32_t>(n);
    } catch (...) {
        return 0;
    }
}

int32_t CmnReadHostConfig(const char* section, const char* key, char* buffer, int32_t* size,
                          const char* def) {
    try {
        if (section == nullptr || key == nullptr || buffer == nullptr || size == nullptr ||
            *size < 1)
            return CMN_ERR_BAD_ARGUMENT;
        // A marker default tells "missing" apart from an empty value in the file.
        static const char MISSING[] = "\x01missing\x01";
        char value[CONFIG_VALUE_MAX];
        platform::GetPrivateProfileString(section, key, MISSING, value, sizeof(value),
                                          HostConfigPath());
        std::string text = std::strcmp(value, MISSING) == 0 ? BuiltInDefault(section, key, def)
                                                            : std::string(value);
        size_t n = text.size();
        if (n > static_cast<size_t>(*size - 1))
            n = static_cast<size_t>(*size - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
        *size = static_cast<int32_t>(n);
        return CMN_ERR_NONE;
    } catch (...) {
        return CMN_ERR_GENERIC;
    }
}

}  // extern "C"

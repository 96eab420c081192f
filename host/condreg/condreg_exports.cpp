// The exported C calls of libcondreg.so.
#include <cstring>
#include <string>

#include "host/condreg/condreg.h"
#include "host/condreg/host_paths.h"
#include "platform/paths.h"

namespace {

// Copies text with its terminator when it fits in *size bytes.
int32_t CopyOut(const std::string& text, char* buffer, int32_t* size) {
    if (buffer == nullptr || size == nullptr || *size < 1)
        return CONDREG_ERR_BAD_ARGUMENT;
    if (text.size() + 1 > static_cast<size_t>(*size)) {
        *size = static_cast<int32_t>(text.size() + 1);
        return CONDREG_ERR_TOO_SMALL;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *size = static_cast<int32_t>(text.size());
    return 0;
}

}  // namespace

extern "C" {

int32_t CondregDataFolder(char* buffer, int32_t* size) {
    try {
        return CopyOut(platform::DesktopDataFolder(), buffer, size);
    } catch (...) {
        return CONDREG_ERR_GENERIC;
    }
}

int32_t CondregHostProgramPath(char* buffer, int32_t* size) {
    try {
        return CopyOut(condreg::HostProgramPath(), buffer, size);
    } catch (...) {
        return CONDREG_ERR_GENERIC;
    }
}

}  // extern "C"

// The exported C call of libintlkit.so.
#include <cstring>

#include "host/intlkit/intlkit.h"
#include "platform/code_page.h"

extern "C" int32_t ValidateNumberDec(const char* text, int32_t limit) {
    try {
        if (text == nullptr || limit < 1)
            return 0;
        size_t length = std::strlen(text);
        return static_cast<int32_t>(
            platform::ValidCutLength(std::string_view(text, length), static_cast<size_t>(limit)));
    } catch (...) {
        return 0;
    }
}

// The C interface of libchronel.so. Each export turns anything escaping the core (in
// practice an allocation failure) into CCDT_FAILURE.
#include "chronel/chronel.h"
#include "datetime/country_info.h"
#include "datetime/formatters.h"
#include "platform/code_page.h"
#include "platform/registry.h"

extern "C" {

CHRONEL_EXPORT int32_t ccDTCtxtGetCountryInfo(tccDTCtxtCountryInfoStruct* info) {
    try {
        if (info == nullptr) {
            return CCDT_FAILURE;
        }
        // Built into a local record so that a failure part-way leaves the caller's alone.
        tccDTCtxtCountryInfoStruct record;
        chronel::ReadCountryInfo(platform::CRegistry::Default(), platform::ActiveCodePage(),
                                 &record);
        *info = record;
        return CCDT_SUCCESS;
    } catch (...) {
        return CCDT_FAILURE;
    }
}

CHRONEL_EXPORT int32_t ccDTCtxtGetDateString(const tccDTCtxtCountryInfoStruct* info, const ccTm* t,
                                             unsigned char* buffer, uint32_t bufferSize) {
    try {
        return chronel::FormatDate(info, t, buffer, bufferSize);
    } catch (...) {
        return CCDT_FAILURE;
    }
}

CHRONEL_EXPORT int32_t ccDTCtxtGetTimeString(const tccDTCtxtCountryInfoStruct* info, const ccTm* t,
                                             unsigned char* buffer, uint32_t bufferSize) {
    try {
        return chronel::FormatTime(info, t, buffer, bufferSize);
    } catch (...) {
        return CCDT_FAILURE;
    }
}

}  // extern "C"

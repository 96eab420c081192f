// The library's exported C entry points. Each keeps every exception inside the library:
// an escaping one (in practice an allocation failure) becomes the generic failure -1.
#include "conduit/core/host_services_real.h"
#include "conduit/core/open_conduit.h"
#include "torrim/torrim.h"

using torrim::CRealHostServices;

extern "C" {

TORRIM_EXPORT int32_t GetConduitVersion(void) {
    try {
        return torrim::ConduitGetVersion();
    } catch (...) {
        return -1;
    }
}

TORRIM_EXPORT int32_t GetConduitName(char* buffer, uint32_t size) {
    try {
        return torrim::ConduitGetName(CRealHostServices::Instance(), buffer, size);
    } catch (...) {
        return -1;
    }
}

TORRIM_EXPORT int32_t GetConduitInfo(int32_t type, void* in, void* out, uint32_t* outSize) {
    try {
        return torrim::ConduitGetInfo(CRealHostServices::Instance(), type, in, out, outSize);
    } catch (...) {
        return -1;
    }
}

TORRIM_EXPORT int32_t OpenConduit(void (*progress)(const char* text), void* syncProperties) {
    try {
        return torrim::ConduitOpen(CRealHostServices::Instance(), torrim::TheMailSettings(),
                                   progress, static_cast<const SyncProperties*>(syncProperties));
    } catch (...) {
        return -1;
    }
}

}  // extern "C"

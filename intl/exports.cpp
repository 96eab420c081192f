// The exported C functions of the frame and the translation: handle checks
// and the guard that keeps exceptions inside the library.
#include "include/glossel/glossel.h"
#include "intl/context.h"
#include "intl/translate.h"

using glossel::GuardedExport;
using glossel::IsLiveContext;

extern "C" {

GLOSSEL_EXPORT int32_t ccIntlInit(const char* directory, uint16_t cacheLimit, const char* language,
                                  tccIntlCtxtStruct** handle) {
    return GuardedExport(
        [&] { return glossel::CreateContext(directory, cacheLimit, language, handle); });
}

GLOSSEL_EXPORT int32_t ccIntlTerminate(tccIntlCtxtStruct* handle) {
    return GuardedExport([&] { return glossel::DestroyContext(handle); });
}

GLOSSEL_EXPORT int32_t ccIntlUnloadTables(tccIntlCtxtStruct* handle) {
    return GuardedExport([&] {
        if (IsLiveContext(handle)) {
            glossel::UnloadTables(handle);
        }
        return glossel::INTL_OK;
    });
}

GLOSSEL_EXPORT int32_t ccIntlTranslateStr(tccIntlCtxtStruct* handle, int16_t sourceSet,
                                          const uint8_t* source, uint32_t sourceLength,
                                          int16_t destinationSet, uint8_t* destination,
                                          uint32_t* destinationLength, uint32_t /*reserved*/) {
    return GuardedExport([&] {
        if (!IsLiveContext(handle)) {
            return glossel::INTL_ERR_BAD_HANDLE;
        }
        return glossel::TranslateStr(handle, sourceSet, source, sourceLength, destinationSet,
                                     destination, destinationLength);
    });
}

}  // extern "C"

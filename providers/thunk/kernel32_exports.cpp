// "Kernel32.Dll": the two thunk registration calls.
#include "providers/thunk/thunk_registration.h"
#include "providers/thunk/universal_thunk.h"

#define THUNK_EXPORT extern "C" __attribute__((visibility("default")))

THUNK_EXPORT int32_t UTRegister(void* hModule, const char* lpsz16BitDll, const char* lpszInitName,
                                const char* lpszProcName, UT32PROC* ppfn32Thunk,
                                UT32CBPROC pfnUT32Callback, void* lpBuff) {
    try {
        return thunk::RegisterThunk(hModule, lpsz16BitDll, lpszInitName, lpszProcName, ppfn32Thunk,
                                    pfnUT32Callback, lpBuff);
    } catch (...) {
        return 0;
    }
}

THUNK_EXPORT void UTUnRegister(void* hModule) {
    try {
        thunk::UnregisterThunk(hModule);
    } catch (...) {
        // Nothing to report through a void call; the registration stays as it was.
    }
}

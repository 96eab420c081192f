// "Thunkmap.DLL": the helper library's two entries, UTInit and UTProc.
#include <new>

#include "providers/thunk/thunk_dispatcher.h"
#include "providers/thunk/universal_thunk.h"

#define THUNK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

thunk::CThunkDispatcher* g_dispatcher = nullptr;

}  // namespace

// The dispatcher lives from UTInit (or the first opcode) until THUNK_TERM, which logs off
// and releases the Simple MAPI library; a later opcode starts a new one.
THUNK_EXPORT uint32_t UTInit(UT32CBPROC /*lpfnCallBack*/, void* /*lpBuf*/) {
    try {
        if (g_dispatcher == nullptr) {
            g_dispatcher = new thunk::CThunkDispatcher("Mapi32.dll");
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

THUNK_EXPORT uint32_t UTProc(void* lpBuf, uint32_t dwFunc) {
    try {
        if (dwFunc == THUNK_TERM) {
            delete g_dispatcher;
            g_dispatcher = nullptr;
            return SUCCESS_SUCCESS;
        }
        if (g_dispatcher == nullptr) {
            g_dispatcher = new thunk::CThunkDispatcher("Mapi32.dll");
        }
        return g_dispatcher->Dispatch(static_cast<ThunkCell*>(lpBuf), dwFunc);
    } catch (...) {
        return MAPI_E_FAILURE;
    }
}

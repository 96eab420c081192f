// The thunk registration (the Simple MAPI back-ends are in mapi_conduit.cpp, VIM in
// vim_conduit.cpp).
#include "conduit/backends/mail_backends.h"

#include "conduit/core/codes.h"
#include "conduit/core/strings.h"
#include "platform/library.h"

namespace torrim {
namespace {

// Signatures of the registration calls of "Kernel32.Dll".
using RegisterFunction = int32_t (*)(void* module, const char* library16, const char* initName,
                                     const char* procName, ThunkEntry* entry, void* callback,
                                     void* buffer);
using UnregisterFunction = void (*)(void* module);

struct ThunkRegistration {
    void* kernel32 = nullptr;
    RegisterFunction registerThunk = nullptr;
    UnregisterFunction unregisterThunk = nullptr;
    ThunkEntry m_pfnUT32 = nullptr;
    bool lookedUp = false;

    // The registration ends with the library.
    ~ThunkRegistration() { Release(); }

    void Release() {
        if (m_pfnUT32 != nullptr && unregisterThunk != nullptr) {
            unregisterThunk(nullptr);
        }
        m_pfnUT32 = nullptr;
        if (kernel32 != nullptr) {
            platform::FreeLibrary(kernel32);
        }
        kernel32 = nullptr;
        registerThunk = nullptr;
        unregisterThunk = nullptr;
        lookedUp = false;
    }
};

ThunkRegistration g_thunk;

}  // namespace

ThunkEntry RegisteredThunk() {
    return g_thunk.m_pfnUT32;
}

bool RegisterThunk(CHostServices& host) {
    if (g_thunk.m_pfnUT32 != nullptr) {
        return true;
    }
    if (!g_thunk.lookedUp) {
        g_thunk.lookedUp = true;
        g_thunk.kernel32 = platform::LoadLibraryByName("Kernel32.Dll");
        if (g_thunk.kernel32 != nullptr) {
            g_thunk.registerThunk = reinterpret_cast<RegisterFunction>(
                platform::GetProcAddress(g_thunk.kernel32, "UTRegister"));
            g_thunk.unregisterThunk = reinterpret_cast<UnregisterFunction>(
                platform::GetProcAddress(g_thunk.kernel32, "UTUnRegister"));
        }
    }
    if (g_thunk.registerThunk == nullptr) {
        // No thunk service on this system: the session runs and its Logon reports the
        // missing mail system.
        return true;
    }
    // The language library is the module the thunk is registered for.
    CResourceScope resources(host);
    return g_thunk.registerThunk(nullptr, "Thunkmap.DLL", "UTInit", "UTProc", &g_thunk.m_pfnUT32,
                                 nullptr, nullptr) != 0;
}

void ReleaseThunk() {
    g_thunk.Release();
}

}  // namespace torrim

// The VIM back-end and the thunk registration (the Simple MAPI back-ends are in
// mapi_conduit.cpp). The VIM client calls are not wired yet: until they are, it answers
// MAIL_ERR_UNAVAILABLE with the operation's own report, so a session stops at Logon.
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

bool NoCurrentMessage(const char* id, uint32_t key1, uint32_t key2) {
    return id[0] == '\0' && key1 == 0 && key2 == 0;
}

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

// ---- VIM ----
// TODO(issue 6, VIM back-end): load the VIM library in Logon and call it.

int32_t CVimConduit::SendMail(CMessage* message) {
    (void)LogProblem(IDS_SEND_FAILED, message);
    return MAIL_ERR_UNAVAILABLE;
}

int32_t CVimConduit::FindNextMessage() {
    (void)LogProblem(IDS_FIND_NEXT_FAILED, nullptr);
    return MAIL_ERR_UNAVAILABLE;
}

int32_t CVimConduit::DeleteMessage() {
    if (NoCurrentMessage(m_currentId, m_currentKey1, m_currentKey2)) {
        return 0;
    }
    (void)LogProblem(IDS_DELETE_FAILED, m_pCurrent.get());
    return MAIL_ERR_UNAVAILABLE;
}

int32_t CVimConduit::MarkMessageRead() {
    if (NoCurrentMessage(m_currentId, m_currentKey1, m_currentKey2)) {
        return 0;
    }
    (void)LogProblem(IDS_MARK_READ_FAILED, m_pCurrent.get());
    return MAIL_ERR_UNAVAILABLE;
}

int32_t CVimConduit::ReadMessage() {
    (void)LogProblem(IDS_READ_FAILED, nullptr);
    return MAIL_ERR_UNAVAILABLE;
}

int32_t CVimConduit::ResolveName(const char* name, char** displayName, char** address) {
    (void)name;
    (void)displayName;
    (void)address;
    return MAIL_ERR_UNAVAILABLE;
}

int32_t CVimConduit::Logon() {
    (void)LogProblem(IDS_LOGON_FAILED, nullptr);
    return MAIL_ERR_UNAVAILABLE;
}

int32_t CVimConduit::Logoff() {
    (void)LogProblem(IDS_LOGOFF_FAILED, nullptr);
    return MAIL_ERR_UNAVAILABLE;
}

}  // namespace torrim

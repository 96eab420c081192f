// Registration state of the thunk (one registration per process, like one module per
// helper on the original platform).
#include "providers/thunk/thunk_registration.h"

#include <mutex>

#include "platform/library.h"
#include "providers/simplemapi/simple_mapi.h"

namespace thunk {

namespace {

constexpr size_t MAX_CELLS = 16;

struct Registration {
    std::mutex lock;
    void* module = nullptr;
    void* helper = nullptr;
    LPUTPROC proc = nullptr;
};

Registration& State() {
    static Registration state;
    return state;
}

}  // namespace

int32_t RegisterThunk(void* hModule, const char* helperName, const char* initName,
                      const char* procName, UT32PROC* entry, UT32CBPROC callback, void* buffer) {
    if (entry == nullptr) {
        return 0;
    }
    *entry = nullptr;
    if (helperName == nullptr || initName == nullptr || procName == nullptr) {
        return 0;
    }
    Registration& r = State();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.helper != nullptr) {
        return 0;  // already registered
    }
    void* helper = platform::LoadLibraryByName(helperName);
    if (helper == nullptr) {
        return 0;
    }
    auto init = reinterpret_cast<LPUTINIT>(platform::GetProcAddress(helper, initName));
    auto proc = reinterpret_cast<LPUTPROC>(platform::GetProcAddress(helper, procName));
    if (init == nullptr || proc == nullptr || init(callback, buffer) == 0) {
        platform::FreeLibrary(helper);
        return 0;
    }
    r.module = hModule;
    r.helper = helper;
    r.proc = proc;
    *entry = &ThunkEntry;
    return 1;
}

void UnregisterThunk(void* hModule) {
    Registration& r = State();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.helper == nullptr || r.module != hModule) {
        return;
    }
    // The helper releases its Simple MAPI library before it is unloaded itself.
    (void)r.proc(nullptr, THUNK_TERM);
    platform::FreeLibrary(r.helper);
    r.module = nullptr;
    r.helper = nullptr;
    r.proc = nullptr;
}

uint32_t ThunkEntry(void* block, uint32_t opcode, void** translationList) {
    LPUTPROC proc = nullptr;
    {
        Registration& r = State();
        std::lock_guard<std::mutex> guard(r.lock);
        proc = r.proc;
    }
    if (proc == nullptr) {
        return THUNK_UNAVAILABLE;
    }
    if (translationList != nullptr) {
        auto* first = static_cast<ThunkCell*>(block);
        for (void** p = translationList; *p != nullptr; ++p) {
            auto* cell = static_cast<ThunkCell*>(*p);
            if (first == nullptr || cell < first || cell >= first + MAX_CELLS) {
                return MAPI_E_FAILURE;
            }
        }
    }
    return proc(block, opcode);
}

}  // namespace thunk

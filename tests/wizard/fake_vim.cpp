// A stand-in VIM library for the wizard's logon tests: VIMOpenSession answers the status
// in env FAKE_VIM_STATUS (default 0) and records its arguments in FAKE_VIM_LOG.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_session = 0;
int g_container = 0;
int g_open = 0;  // initialised and not terminated

void Log(const char* what, const char* a = "", const char* b = "", const char* c = "") {
    const char* path = std::getenv("FAKE_VIM_LOG");
    if (path == nullptr)
        return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s %s|%s|%s\n", what, a, b, c);
        std::fclose(f);
    }
}
}  // namespace

FAKE_EXPORT uint32_t VIMInitialize() {
    ++g_open;
    Log("init");
    return 0;
}
FAKE_EXPORT uint32_t VIMTerminate() {
    --g_open;
    Log("terminate");
    return 0;
}
FAKE_EXPORT uint32_t VIMQueryCapability(int64_t item, uint32_t size, void* value) {
    if (item != 106 || size != 4 || value == nullptr)
        return 5;
    *static_cast<uint32_t*>(value) = 0x100;
    return 0;
}
FAKE_EXPORT uint32_t VIMOpenSession(const char* path, const char* name, const char* password,
                                    uint32_t version, uint32_t charSet, void** session) {
    Log("open", path ? path : "(null)", name ? name : "(null)", password ? password : "(null)");
    const char* s = std::getenv("FAKE_VIM_STATUS");
    uint32_t status = s != nullptr ? static_cast<uint32_t>(std::atoi(s)) : 0;
    if (version != 0x100 || charSet != 16)
        status = 99;
    if (status == 0)
        *session = &g_session;
    return status;
}
FAKE_EXPORT uint32_t VIMOpenMessageContainer(void* session, const char* name, void** container) {
    if (session != &g_session || name != nullptr)
        return 7;
    *container = &g_container;
    return 0;
}
FAKE_EXPORT uint32_t VIMCloseMessageContainer(void* container) {
    Log("close-container");
    return container == &g_container ? 0 : 7;
}
FAKE_EXPORT uint32_t VIMCloseSession(void* session) {
    Log("close-session");
    return session == &g_session ? 0 : 7;
}

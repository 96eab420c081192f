/* A Simple MAPI library that offers only logon and logoff, for the tests of missing entry
 * points. Built as libmapi32.so in a folder of its own. */
#include <stdint.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT uint32_t MAPILogon(uintptr_t ui, const char* profile, const char* password, uint32_t flags,
                          uint32_t reserved, uintptr_t* session) {
    (void)ui;
    (void)profile;
    (void)password;
    (void)flags;
    (void)reserved;
    *session = 1;
    return 0;
}

EXPORT uint32_t MAPILogoff(uintptr_t session, uintptr_t ui, uint32_t flags, uint32_t reserved) {
    (void)ui;
    (void)flags;
    (void)reserved;
    return session == 1 ? 0 : 19;
}

/* A "Kernel32.Dll" without the Universal Thunk (no UTRegister), as on systems that lack
 * it. Built as libkernel32.so in a folder of its own. */
#define EXPORT __attribute__((visibility("default")))

EXPORT int GetVersion(void) {
    return 4;
}

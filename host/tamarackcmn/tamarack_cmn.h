/* The common host library (libtamarackcmn.so): language resource libraries with their
 * numbered strings, and the host's configuration texts. */
#ifndef HOST_TAMARACKCMN_TAMARACK_CMN_H_
#define HOST_TAMARACKCMN_TAMARACK_CMN_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TAMARACKCMN_EXPORT __attribute__((visibility("default")))

/* Result codes of CmnReadHostConfig. */
#define CMN_ERR_NONE 0
#define CMN_ERR_BAD_ARGUMENT 17153 /* 0x4301 null pointer or size below 1 */
#define CMN_ERR_GENERIC 17154      /* 0x4302 unexpected failure */

/* A language resource library is a shared library found by its Windows name through the
 * platform's library search ("Rescat.dll" -> librescat.so). It exports one C function
 *     const char* LangGetString(uint32_t id);
 * answering the NUL-terminated text of string id (owned by the library, valid while it is
 * loaded) or null when it has no such string. */
#define CMN_LANGUAGE_STRING_ENTRY "LangGetString"
typedef const char* (*CmnLanguageStringFn)(uint32_t id);

/* Opens the language library fileName and answers its module handle. When it cannot be
 * loaded, answers defaultModule (strings then come from there; may be null). When
 * pDefaultModule is not null it receives defaultModule, the module to go back to. */
TAMARACKCMN_EXPORT void* CmnOpenLanguageLibrary(const char* fileName, void* defaultModule,
                                                void** pDefaultModule);
/* Releases a module from CmnOpenLanguageLibrary. Answers 1 when handle was a library of its
 * own (now released: the caller restores its default module), 0 when handle was null or
 * defaultModule itself (nothing released). */
TAMARACKCMN_EXPORT int32_t CmnReleaseLanguageLibrary(void* handle, void* defaultModule);
/* Copies string id of module into buffer: at most size - 1 bytes and a terminator.
 * Answers the length copied; 0 when the module or the string is missing or size < 1 (the
 * buffer then holds the empty text when size >= 1). */
TAMARACKCMN_EXPORT int32_t CmnLoadString(void* module, uint32_t id, char* buffer, int32_t size);

/* Reads a text of the host configuration file (in: *size bytes; out: *size = length
 * copied), cut to *size - 1 bytes. The file is $TETHER_HOST_CONFIG, else "tethersync.ini"
 * in the platform's per-user folder. Section "Core": when the file does not give them,
 * "Path" answers the folder of the host program and "TetherSyncPath" the host program's
 * path; any other missing key answers def (null = ""). */
TAMARACKCMN_EXPORT int32_t CmnReadHostConfig(const char* section, const char* key, char* buffer,
                                             int32_t* size, const char* def);

#ifdef __cplusplus
}
#endif

#endif /* HOST_TAMARACKCMN_TAMARACK_CMN_H_ */

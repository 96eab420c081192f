/* The per-user data library (libprofstore.so): desktop users (from the desktop user
 * store "users.dat" in the desktop data folder) and each user's settings in the file
 * "Sync.ini" in the user's folder. */
#ifndef HOST_PROFSTORE_PROFSTORE_H_
#define HOST_PROFSTORE_PROFSTORE_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PROFSTORE_EXPORT __attribute__((visibility("default")))

/* Result codes. */
#define PROF_ERR_NONE 0
#define PROF_ERR_NO_USER 16641      /* 0x4101 no such user */
#define PROF_ERR_USER_STORE 16642   /* 0x4102 "users.dat" missing or damaged */
#define PROF_ERR_BAD_ARGUMENT 16643 /* 0x4103 null pointer or size below 1 */
#define PROF_ERR_SETTINGS 16644     /* 0x4104 "Sync.ini" cannot be read */
#define PROF_ERR_WRITE 16645        /* 0x4105 "Sync.ini" cannot be written */
#define PROF_ERR_GENERIC 16646      /* 0x4106 unexpected failure */

/* The user of the running operation (set by the host with ProfSetOperationUser). */
#define PROF_OPERATION_USER (-1)

/* A user handle is the user's id in the desktop user store (above 0). */

/* ---- Calls made by the conduit and the wizard ----------------------------------------- */

/* The user whose folder (data folder + the user's folder name) is folder; a trailing '/'
 * and letter case are ignored. */
PROFSTORE_EXPORT int32_t ProfUserOfFolder(const char* folder, int32_t* user);
/* The first user whose name equals name exactly. */
PROFSTORE_EXPORT int32_t ProfUserOfName(const char* name, int32_t* user);
/* Reads a text of the user's "Sync.ini" into buffer (in: *size bytes; out: *size = length
 * copied without the terminator). A missing file, section or key yields def (null = "").
 * Longer values are cut to *size - 1 bytes, as profile reads do. */
PROFSTORE_EXPORT int32_t ProfReadText(int32_t user, const char* section, const char* key,
                                      char* buffer, int32_t* size, const char* def);
/* Reads a 16-bit number (decimal text; def when missing or not a number). */
PROFSTORE_EXPORT int32_t ProfReadNumber(int32_t user, const char* section, const char* key,
                                        int16_t* value, int16_t def);
/* Writes a text; creates "Sync.ini" (mode 0600), the section and the key as needed. The
 * file is replaced atomically. */
PROFSTORE_EXPORT int32_t ProfWriteText(int32_t user, const char* section, const char* key,
                                       const char* value);

/* ---- Host-side calls ------------------------------------------------------------------ */

/* Makes user the one that PROF_OPERATION_USER selects (0 = none). PROF_ERR_NO_USER when
 * the user store has no such user. */
PROFSTORE_EXPORT int32_t ProfSetOperationUser(int32_t user);
/* The user's folder path (data folder + folder name, no trailing '/'), same size rule as
 * ProfReadText; a buffer too small yields PROF_ERR_BAD_ARGUMENT and *size = length needed. */
PROFSTORE_EXPORT int32_t ProfUserFolder(int32_t user, char* buffer, int32_t* size);
/* The user's name, same size rule as ProfUserFolder. */
PROFSTORE_EXPORT int32_t ProfUserName(int32_t user, char* buffer, int32_t* size);

#ifdef __cplusplus
}
#endif

#endif /* HOST_PROFSTORE_PROFSTORE_H_ */

/* The conduit manager library (libcondreg.so): where the desktop keeps its data and
 * where the sync host program is. */
#ifndef HOST_CONDREG_CONDREG_H_
#define HOST_CONDREG_CONDREG_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CONDREG_EXPORT __attribute__((visibility("default")))

#define CONDREG_ERR_BAD_ARGUMENT (-1) /* null pointer or size below 1 */
#define CONDREG_ERR_TOO_SMALL (-2)    /* *size receives the length needed + 1 */
#define CONDREG_ERR_GENERIC (-3)

/* The desktop data folder ($TETHER_DATA_DIR, else the user's XDG data folder +
 * "/tethermail"), without a trailing '/'. In: *size bytes in buffer; out: *size = length
 * copied. Answers 0, or a negative code (nothing copied). */
CONDREG_EXPORT int32_t CondregDataFolder(char* buffer, int32_t* size);
/* The path of the sync host program "tethersync" ($TETHER_HOST_PROGRAM, else the one
 * next to the running program, else the build's or install's program folder); same
 * size rule. */
CONDREG_EXPORT int32_t CondregHostProgramPath(char* buffer, int32_t* size);

#ifdef __cplusplus
}
#endif

#endif /* HOST_CONDREG_CONDREG_H_ */

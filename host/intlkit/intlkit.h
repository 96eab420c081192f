/* The text helper library (libintlkit.so). */
#ifndef HOST_INTLKIT_INTLKIT_H_
#define HOST_INTLKIT_INTLKIT_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define INTLKIT_EXPORT __attribute__((visibility("default")))

/* The longest length not above limit (nor above the text's length) at which text can be
 * cut without splitting a double-byte character of the active code page. 0 for a null
 * text or a limit below 1. */
INTLKIT_EXPORT int32_t ValidateNumberDec(const char* text, int32_t limit);

#ifdef __cplusplus
}
#endif

#endif /* HOST_INTLKIT_INTLKIT_H_ */

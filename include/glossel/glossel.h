/* Public C interface of the international text library: character-set
 * translation, collation, normalisation, split points and Unicode packing,
 * driven by the table file "CCINTL.TB".
 *
 * Every function returns 0 on success or one of the codes below; a code not
 * listed here comes from the file library and is passed through unchanged.
 * A context must be used by one thread at a time. */
#ifndef GLOSSEL_GLOSSEL_H
#define GLOSSEL_GLOSSEL_H

#include <stdint.h>

#if defined(GLOSSEL_BUILDING_LIBRARY)
#define GLOSSEL_EXPORT __attribute__((visibility("default")))
#else
#define GLOSSEL_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define CC_INTL_OK 0
#define CC_INTL_ERR_NO_MEMORY 2           /* out of memory */
#define CC_INTL_ERR_BAD_HANDLE 3073       /* handle null, terminated or not a context */
#define CC_INTL_ERR_BAD_TABLE_FILE 3074   /* wrong version, or a damaged table file */
#define CC_INTL_ERR_NO_XLAT_TABLE 3075    /* no table for a pair (handled internally) */
#define CC_INTL_ERR_NO_LANG_TABLE 3076    /* no language table of the requested kind */
#define CC_INTL_ERR_BUFFER_TOO_SMALL 3077 /* destination too small or input too short */
#define CC_INTL_ERR_NOT_COLLATION 3078    /* language table is not a collation table */

/* Character-set identifiers (passed as int16_t; values from 0x8000 wrap negative). */
#define CC_INTL_SET_NONE 0
#define CC_INTL_SET_UNICODE 1200
#define CC_INTL_SET_SHIFT_JIS 932
#define CC_INTL_SET_SHIFT_JIS_PAIRS ((int16_t)0x43A4)
#define CC_INTL_SET_MAC_ROMAN ((int16_t)0x8000)
#define CC_INTL_SET_ISO8859_1 ((int16_t)0x8591) /* ... ISO 8859-9 is 0x8599 */
#define CC_INTL_SET_ISO646 ((int16_t)0x8646)

/* Opaque context created by ccIntlInit. */
typedef struct tccIntlCtxtStruct tccIntlCtxtStruct;

/* Opens "CCINTL.TB" in `directory` (NULL or "": the current folder) and creates
 * a context for the two-letter `language`. `cacheLimit` bounds the translation
 * tables kept loaded (0: no bound; 1 counts as 2). On success *handle receives
 * the context; on failure no context is created and *handle is not changed. */
GLOSSEL_EXPORT int32_t ccIntlInit(const char* directory, uint16_t cacheLimit, const char* language,
                                  tccIntlCtxtStruct** handle);

/* Frees every table and the context, closes the table file. Returns the file
 * library's close result, or 3073 for a handle that is not a live context. */
GLOSSEL_EXPORT int32_t ccIntlTerminate(tccIntlCtxtStruct* handle);

/* Frees every loaded table; the context stays usable. Always returns 0. */
GLOSSEL_EXPORT int32_t ccIntlUnloadTables(tccIntlCtxtStruct* handle);

/* Translates sourceLength bytes of `source` from sourceSet to destinationSet.
 * On entry *destinationLength is the capacity of `destination` in bytes; on
 * success it holds the bytes written. Source and destination may be the same
 * buffer, which must then hold the longer of input and output. Unicode (1200)
 * is counted in bytes, two per 16-bit unit, low byte first. A pair without a
 * table is copied unchanged (0 is returned) and logged to "CCNFT.LG".
 * 3077: the capacity is below what the translation may need; nothing written,
 * *destinationLength set to 0. `reserved` is not used. */
GLOSSEL_EXPORT int32_t ccIntlTranslateStr(tccIntlCtxtStruct* handle, int16_t sourceSet,
                                          const uint8_t* source, uint32_t sourceLength,
                                          int16_t destinationSet, uint8_t* destination,
                                          uint32_t* destinationLength, uint32_t reserved);

/* Collation, normalisation and splitting by the context's language tables. */
GLOSSEL_EXPORT int32_t ccIntlStrCmp(tccIntlCtxtStruct* handle, int16_t characterSet,
                                    const uint8_t* lhs, uint32_t lhsLength, const uint8_t* rhs,
                                    uint32_t rhsLength, uint16_t flags, int16_t* result);
GLOSSEL_EXPORT int32_t ccIntlNormalizeStr(tccIntlCtxtStruct* handle, int16_t characterSet,
                                          uint8_t* text, uint32_t length);
GLOSSEL_EXPORT int32_t ccIntlNormalizeMultiStr(tccIntlCtxtStruct* handle, int16_t characterSet,
                                               uint8_t* text, uint32_t length);
GLOSSEL_EXPORT int32_t ccIntlSplitStr(tccIntlCtxtStruct* handle, int16_t characterSet,
                                      const uint8_t* text, uint16_t splitPos, uint16_t* position);
GLOSSEL_EXPORT int32_t ccIntlHighestChar(tccIntlCtxtStruct* handle, int16_t characterSet,
                                         uint16_t flags, uint8_t* highest);

/* Unicode packing: pure functions, no context. */
GLOSSEL_EXPORT int32_t ccIntlCompressUnicode(const uint16_t* units, uint32_t unitsLength,
                                             uint8_t* output, uint32_t* outputLength);
GLOSSEL_EXPORT int32_t ccIntlDecompressUnicode(const uint8_t* compressed, uint16_t* output,
                                               uint32_t capacity);
GLOSSEL_EXPORT uint32_t ccIntlGetCompUnicodeNoOfBytes(const uint8_t* compressed);

#ifdef __cplusplus
}
#endif

#endif /* GLOSSEL_GLOSSEL_H */

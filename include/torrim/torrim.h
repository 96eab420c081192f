/* The mail conduit library (libtorrim.so): the C entry points the sync host calls
 * and the sync-properties record it passes to OpenConduit. */
#ifndef TORRIM_TORRIM_H_
#define TORRIM_TORRIM_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TORRIM_BUILDING_LIBRARY)
#define TORRIM_EXPORT __attribute__((visibility("default")))
#else
#define TORRIM_EXPORT
#endif

/* Sync actions found in SyncProperties.syncAction. */
#define TORRIM_ACTION_SYNCHRONIZE 0
#define TORRIM_ACTION_SYNCHRONIZE_ALT 1
#define TORRIM_ACTION_DESKTOP_OVERWRITES_HANDHELD 3
#define TORRIM_ACTION_DO_NOTHING 6

/* The record the host hands to OpenConduit. Byte-packed; the database name pointer
 * takes the native pointer width, so every later field sits 4 bytes further on a
 * 64-bit build than on a 32-bit one. The conduit copies the whole record. */
#pragma pack(push, 1)
typedef struct SyncProperties {
    int32_t syncAction;          /* 0, 1 synchronize; 3 desktop overwrites handheld; 6 nothing */
    char conduitFolder[256];     /* this user's conduit folder on the desktop, NUL-terminated */
    char localFileName[256];     /* state file name; empty means "mail.dat" */
    char reserved1[256];         /* not read by the conduit */
    const char* databaseName;    /* name of the handheld mail database */
    uint8_t reserved2[132];      /* not read by the conduit */
    uint32_t creator;            /* creator of the mail database and its preferences */
    uint8_t cardNumber;          /* memory card of the database */
    uint8_t reserved3;           /* not read by the conduit */
    uint32_t databaseType;       /* used only when the database has to be created */
    uint8_t reserved4[12];       /* not read by the conduit */
    uint32_t preferenceSelector; /* non-zero: handheld mail preference 2, else preference 1 */
    uint8_t reserved5[264];      /* not read by the conduit */
} SyncProperties;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(offsetof(SyncProperties, syncAction) == 0);
static_assert(offsetof(SyncProperties, conduitFolder) == 4);
static_assert(offsetof(SyncProperties, localFileName) == 260);
static_assert(offsetof(SyncProperties, databaseName) == 772);
static_assert(offsetof(SyncProperties, creator) == 772 + sizeof(void*) + 132);
static_assert(offsetof(SyncProperties, cardNumber) == offsetof(SyncProperties, creator) + 4);
static_assert(offsetof(SyncProperties, databaseType) == offsetof(SyncProperties, creator) + 6);
static_assert(offsetof(SyncProperties, preferenceSelector) ==
              offsetof(SyncProperties, creator) + 22);
static_assert(sizeof(SyncProperties) == 1194 + sizeof(void*));
#else
_Static_assert(offsetof(SyncProperties, databaseName) == 772, "SyncProperties layout");
_Static_assert(sizeof(SyncProperties) == 1194 + sizeof(void*), "SyncProperties size");
#endif

/* The host's progress callback: one NUL-terminated text. The text "NoUnload" asks the
 * host to keep the library loaded after the operation. */
typedef void (*TorrimProgressCallback)(const char* text);

/* Marks that the host asked for the version (an operation is refused before that) and
 * returns 257 (0x0101). */
TORRIM_EXPORT int32_t GetConduitVersion(void);

/* Copies the conduit's name into buffer, at most the low 16 bits of size bytes with the
 * terminator (a size whose low 16 bits are 0 counts as 0xFFFF). 0 on success, -1 when
 * the name is not available or buffer is null. */
TORRIM_EXPORT int32_t GetConduitName(char* buffer, uint32_t size);

/* type 0: name (in: ConduitNameRequest {uint32 version = 1, uint32 size = 80}); 1: the
 * framework version 1536; 2: the default action 6. Results: 0, 4208 unknown type, 4209
 * out null, 4211 wrong answer size, 4212 in null, 4213 bad request, 4214 no name,
 * 4215 outSize null. */
TORRIM_EXPORT int32_t GetConduitInfo(int32_t type, void* in, void* out, uint32_t* outSize);

/* Runs one sync operation. syncProperties points to a SyncProperties record owned by the
 * host. Returns -1 when progress is null or the version was not asked first, 4114 for an
 * unsupported action, otherwise the operation's result (problems during a run go to the
 * host log, and the result is then 0). */
TORRIM_EXPORT int32_t OpenConduit(void (*progress)(const char* text), void* syncProperties);

#ifdef __cplusplus
}
#endif

#endif /* TORRIM_TORRIM_H_ */

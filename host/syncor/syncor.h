/* The sync library (libsyncor.so): the handheld's databases, records and application
 * preferences as the conduit sees them during one sync operation, plus the host-side
 * calls that attach a handheld image to the running operation. */
#ifndef HOST_SYNCOR_SYNCOR_H_
#define HOST_SYNCOR_SYNCOR_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SYNCOR_EXPORT __attribute__((visibility("default")))

/* Result codes. 0 is success. Every code with bit 13 (0x2000) set means that the
 * operation cannot go on: the connection to the handheld is lost (from then on every call
 * of the operation answers SYNC_ERR_LOST_CONNECTION), or the host could not read or write
 * the image file (every call answers SYNC_ERR_HOST_IO). No other code has bit 13 set. */
#define SYNC_ERR_NONE 0
#define SYNC_ERR_GENERIC 16385          /* 0x4001 unexpected failure (out of memory...) */
#define SYNC_ERR_BAD_ARGUMENT 16386     /* 0x4002 null pointer, bad category, bad size */
#define SYNC_ERR_NOT_FOUND 16387        /* 0x4003 no such database/record/preference; end */
#define SYNC_ERR_BAD_HANDLE 16388       /* 0x4004 database handle not open */
#define SYNC_ERR_EXISTS 16389           /* 0x4005 a database of that name already exists */
#define SYNC_ERR_TOO_MANY_OPEN 16390    /* 0x4006 no free database handle */
#define SYNC_ERR_NO_IMAGE 16391         /* 0x4007 no handheld image attached */
#define SYNC_ERR_CORRUPT_IMAGE 16392    /* 0x4008 the image is damaged or not an image */
#define SYNC_ERR_NOT_REGISTERED 16393   /* 0x4009 unknown conduit registration handle */
#define SYNC_ERR_BUFFER_TOO_SMALL 16394 /* 0x400A record larger than the caller's buffer */
#define SYNC_ERR_IO 16395               /* 0x400B the image file could not be read/written */
#define SYNC_ERR_FULL 16403             /* 0x4013 no room to grow an existing record */
#define SYNC_ERR_NO_ROOM 16404          /* 0x4014 no room for a new record or database */
#define SYNC_ERR_LOST_CONNECTION 8193   /* 0x2001 the handheld connection is gone */
#define SYNC_ERR_HOST_IO 8194           /* 0x2002 the image file failed (disk full, I/O, damage) */
#define SYNC_LOST_CONNECTION_BIT 0x2000

/* Record attributes. */
#define SYNC_REC_DELETED 0x80
#define SYNC_REC_MODIFIED 0x40

/* Largest record (and preference) data in bytes. */
#define SYNC_MAX_RECORD_SIZE 32767

#pragma pack(push, 1)
/* One record read or written. The caller owns the buffer. */
typedef struct RecordRequest {
    uint8_t dbHandle;     /* 0: database handle */
    uint32_t recordId;    /* 1: in: record to read/write/delete (0 = new); out: its id */
    uint16_t recordIndex; /* 5: not used */
    uint8_t attributes;   /* 7: out: SYNC_REC_DELETED | SYNC_REC_MODIFIED */
    int16_t category;     /* 8: 0-15 */
    int32_t reserved1;    /* 10: zero */
    uint32_t recordSize;  /* 14: bytes of data (in for a write, out for a read) */
    uint16_t bufferSize;  /* 18: size of the caller's buffer */
    uint8_t* buffer;      /* 20: caller's buffer for the data */
    uint32_t reserved2;   /* 20 + pointer: zero */
} RecordRequest;

/* One application preference read. The caller owns the buffer. */
typedef struct PreferenceRequest {
    uint16_t reserved1;       /* 0: zero */
    uint32_t creator;         /* 2: creator of the application */
    uint16_t preferenceId;    /* 6: preference number */
    uint16_t requestedLength; /* 8: bytes wanted, 0xFFFF for all */
    uint16_t version;         /* 10: out: version stored with the preference */
    uint16_t bytesRead;       /* 12: out: bytes copied into the buffer */
    uint32_t backedUp;        /* 14: 1 = the backed-up preferences, 0 = the others */
    uint32_t bufferSize;      /* 18: size of the caller's buffer */
    uint8_t* buffer;          /* 22: caller's buffer */
    uint32_t reserved2;       /* 22 + pointer: zero */
} PreferenceRequest;

/* A slice of the database's record ids, in index order. The caller owns the buffer; ids
 * are written big-endian, four bytes each. At most min(idsWanted, bufferSize / 4) ids are
 * written, starting at index firstPosition: a caller that needs more asks again with
 * firstPosition advanced by idsReturned (idsReturned 0 means the end). */
typedef struct IdListRequest {
    uint8_t dbHandle;       /* 0 */
    uint16_t firstPosition; /* 1: index of the first id wanted */
    uint16_t idsWanted;     /* 3 */
    uint16_t idsReturned;   /* 5: out */
    uint16_t bufferSize;    /* 7: bytes in the buffer */
    uint8_t* buffer;        /* 9 */
} IdListRequest;

/* Creation of a database (zero-fill it first). */
typedef struct CreateDatabaseRequest {
    uint8_t dbHandle;    /* 0: out: handle of the new, open database */
    uint32_t creator;    /* 1 */
    uint32_t flags;      /* 5: zero */
    uint8_t cardNumber;  /* 9 */
    char name[32];       /* 10: NUL-terminated, at most 31 bytes */
    uint32_t dbType;     /* 42 */
    uint8_t reserved[6]; /* 46: zero */
} CreateDatabaseRequest;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(offsetof(RecordRequest, recordId) == 1);
static_assert(offsetof(RecordRequest, recordIndex) == 5);
static_assert(offsetof(RecordRequest, attributes) == 7);
static_assert(offsetof(RecordRequest, category) == 8);
static_assert(offsetof(RecordRequest, reserved1) == 10);
static_assert(offsetof(RecordRequest, recordSize) == 14);
static_assert(offsetof(RecordRequest, bufferSize) == 18);
static_assert(offsetof(RecordRequest, buffer) == 20);
static_assert(offsetof(RecordRequest, reserved2) == 20 + sizeof(void*));
static_assert(sizeof(RecordRequest) == 24 + sizeof(void*));
static_assert(offsetof(PreferenceRequest, creator) == 2);
static_assert(offsetof(PreferenceRequest, preferenceId) == 6);
static_assert(offsetof(PreferenceRequest, requestedLength) == 8);
static_assert(offsetof(PreferenceRequest, version) == 10);
static_assert(offsetof(PreferenceRequest, bytesRead) == 12);
static_assert(offsetof(PreferenceRequest, backedUp) == 14);
static_assert(offsetof(PreferenceRequest, bufferSize) == 18);
static_assert(offsetof(PreferenceRequest, buffer) == 22);
static_assert(offsetof(PreferenceRequest, reserved2) == 22 + sizeof(void*));
static_assert(sizeof(PreferenceRequest) == 26 + sizeof(void*));
static_assert(offsetof(IdListRequest, firstPosition) == 1);
static_assert(offsetof(IdListRequest, idsWanted) == 3);
static_assert(offsetof(IdListRequest, idsReturned) == 5);
static_assert(offsetof(IdListRequest, bufferSize) == 7);
static_assert(offsetof(IdListRequest, buffer) == 9);
static_assert(sizeof(IdListRequest) == 9 + sizeof(void*));
static_assert(offsetof(CreateDatabaseRequest, creator) == 1);
static_assert(offsetof(CreateDatabaseRequest, flags) == 5);
static_assert(offsetof(CreateDatabaseRequest, cardNumber) == 9);
static_assert(offsetof(CreateDatabaseRequest, name) == 10);
static_assert(offsetof(CreateDatabaseRequest, dbType) == 42);
static_assert(sizeof(CreateDatabaseRequest) == 52);
#else
_Static_assert(sizeof(RecordRequest) == 24 + sizeof(void*), "RecordRequest size");
_Static_assert(sizeof(CreateDatabaseRequest) == 52, "CreateDatabaseRequest size");
#endif

/* ---- Calls made by a conduit during an operation -------------------------------------
 * Order of one operation: the host attaches the image; the conduit registers, opens (or
 * creates) its database, reads and writes records, clears the change marks, closes the
 * database and unregisters; the host detaches the image. Every request, text and buffer
 * belongs to the caller and is used only during the call. Handles and the database cursor
 * live until the image is detached.
 * Every call below needs an attached image (else SYNC_ERR_NO_IMAGE) and counts as one
 * handheld call for the image's fault plan: once the plan's number of calls is used up,
 * this and every later call of the operation answers SYNC_ERR_LOST_CONNECTION. Each call
 * that changes the image is committed before it returns. */

/* Registers a conduit for the operation; *handle receives a non-zero registration. */
SYNCOR_EXPORT int32_t SyncRegisterConduit(int32_t* handle);
/* Ends a registration; SYNC_ERR_NOT_REGISTERED for an unknown handle. */
SYNCOR_EXPORT int32_t SyncUnregisterConduit(int32_t handle);
/* Opens the database called name (card must be 0); *handle receives 1-255. mode is
 * accepted as given (0xE0 read/write). SYNC_ERR_NOT_FOUND when there is no database. */
SYNCOR_EXPORT int32_t SyncOpenDatabase(const char* name, int32_t card, uint8_t* handle,
                                       uint8_t mode);
/* Creates and opens a database; the handle goes to request->dbHandle. SYNC_ERR_EXISTS
 * when the name is taken, SYNC_ERR_NO_ROOM when the image's capacity is used up. */
SYNCOR_EXPORT int32_t SyncCreateDatabase(CreateDatabaseRequest* request);
SYNCOR_EXPORT int32_t SyncCloseDatabase(uint8_t handle);
/* Clears SYNC_REC_MODIFIED on every record of the database. */
SYNCOR_EXPORT int32_t SyncClearChangeMarks(uint8_t handle);
/* Writes recordSize bytes of buffer as a record: recordId 0 creates a new record and
 * returns its id in recordId; a non-zero id replaces that record (or creates it with that
 * id). The stored attributes are (attributes & SYNC_REC_MODIFIED): records the conduit
 * writes are not marked changed unless it asks. SYNC_ERR_NO_ROOM (new record) or
 * SYNC_ERR_FULL (replacement) when the data does not fit in the image's capacity;
 * SYNC_ERR_BAD_ARGUMENT, nothing stored, when recordSize exceeds bufferSize. */
SYNCOR_EXPORT int32_t SyncWriteRecord(RecordRequest* request);
/* Removes the record dbHandle/recordId at once. SYNC_ERR_NOT_FOUND when absent. */
SYNCOR_EXPORT int32_t SyncDeleteRecord(RecordRequest* request);
/* Reads the record with recordId: fills attributes, category, recordSize and the data.
 * SYNC_ERR_BUFFER_TOO_SMALL (recordSize set, nothing copied) when the data exceeds
 * bufferSize. Records marked deleted are read too (attribute SYNC_REC_DELETED). */
SYNCOR_EXPORT int32_t SyncReadRecordWithId(RecordRequest* request);
/* Reads the next record, in index order after the database's cursor, that is marked
 * modified or deleted, and moves the cursor to it. SYNC_ERR_NOT_FOUND after the last. */
SYNCOR_EXPORT int32_t SyncReadNextChangedRecord(RecordRequest* request);
/* Removes every record marked deleted. */
SYNCOR_EXPORT int32_t SyncPurgeDeletedRecords(uint8_t handle);
/* Shows a notice to the person at the desktop (through the host's notice hook). */
SYNCOR_EXPORT int32_t SyncUserNotice(const char* text);
/* Reads an application preference; SYNC_ERR_NOT_FOUND when there is none. Copies
 * min(stored size, requestedLength, bufferSize) bytes. */
SYNCOR_EXPORT int32_t SyncReadAppPreference(PreferenceRequest* request);
/* Reads the next record of request->category that is not marked deleted, in index order
 * after the cursor, and moves the cursor to it. SYNC_ERR_NOT_FOUND after the last. The
 * cursor is a position, not a count, so records deleted meanwhile never make it skip. */
SYNCOR_EXPORT int32_t SyncReadNextRecInCategory(RecordRequest* request);
/* Removes every record of the category (marked deleted or not). */
SYNCOR_EXPORT int32_t SyncPurgeAllRecsInCategory(uint8_t handle, int16_t category);
/* Number of records, those marked deleted included (65535 at most). */
SYNCOR_EXPORT int32_t SyncGetDBRecordCount(uint8_t handle, uint16_t* count);
/* Fills a slice of the record ids (see IdListRequest). SYNC_ERR_BAD_ARGUMENT when ids are
 * wanted but the buffer is null or smaller than four bytes: never writes beyond it. */
SYNCOR_EXPORT int32_t SyncReadPositionXMap(IdListRequest* request);
/* Moves the database's cursor before its first record. */
SYNCOR_EXPORT int32_t SyncResetRecordIndex(uint8_t handle);
/* Hands time to the host: calls the host's yield hook; counted. Without an attached image
 * it answers 0 and counts nothing. */
SYNCOR_EXPORT int32_t SyncYieldCycles(uint16_t cycles);

/* ---- Host-side calls (the sync host program and tests; conduits never call them) ---- */

/* Called with each SyncYieldCycles(cycles). */
typedef void (*SyncYieldHook)(uint16_t cycles, void* context);
/* Called with each SyncUserNotice(text). */
typedef void (*SyncNoticeHook)(const char* text, void* context);

/* Opens the handheld image at path for the running operation: every conduit call works on
 * it until SyncHostDetachImage. Resets the counters and the lost-connection state.
 * SYNC_ERR_IO when it cannot be opened, SYNC_ERR_CORRUPT_IMAGE when it is not a sound
 * image; nothing is written then. Attaching while attached detaches first. */
SYNCOR_EXPORT int32_t SyncHostAttachImage(const char* path);
/* Closes databases left open and the image. 0 also when nothing was attached. */
SYNCOR_EXPORT int32_t SyncHostDetachImage(void);
/* Installs the hooks (either may be null); context is handed back to them. */
SYNCOR_EXPORT void SyncHostSetHooks(SyncYieldHook yieldHook, SyncNoticeHook noticeHook,
                                    void* context);

/* What the running (or last) operation did. */
typedef struct SyncHostStatus {
    uint32_t handheldCalls;     /* conduit calls counted for the fault plan */
    uint32_t yieldCalls;        /* SyncYieldCycles calls */
    uint32_t notices;           /* SyncUserNotice calls */
    int32_t registeredConduits; /* registrations not yet ended */
    int32_t openDatabases;      /* databases not yet closed */
    int32_t connectionLost;     /* 1 once the fault plan cut the connection */
    int32_t imageFault;         /* SYNC_ERR_IO or SYNC_ERR_CORRUPT_IMAGE once the image failed */
    int32_t imageErrno;         /* the errno of that failure when the file layer gave one */
} SyncHostStatus;
SYNCOR_EXPORT int32_t SyncHostGetStatus(SyncHostStatus* status);

#ifdef __cplusplus
}
#endif

#endif /* HOST_SYNCOR_SYNCOR_H_ */

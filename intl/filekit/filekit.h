/* File library used by the international text library: numbered handles over
 * files opened for reading, positioned reads, and the line-oriented log that
 * records missing translations. All functions return 0 on success or one of
 * the CFILE_ERR_* codes; they are safe to call from several threads. */
#ifndef GLOSSEL_FILEKIT_H
#define GLOSSEL_FILEKIT_H

#include <stddef.h>
#include <stdint.h>

#if defined(FILEKIT_BUILDING_LIBRARY)
#define FILEKIT_EXPORT __attribute__((visibility("default")))
#else
#define FILEKIT_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define CFILE_OK 0
#define CFILE_ERR_NOT_FOUND 0x1401    /* no such file or folder */
#define CFILE_ERR_ACCESS 0x1402       /* permission denied */
#define CFILE_ERR_IO 0x1403           /* the system reported a read, write or open error */
#define CFILE_ERR_END_OF_FILE 0x1404  /* fewer bytes in the file than asked for */
#define CFILE_ERR_BAD_HANDLE 0x1405   /* not an open handle */
#define CFILE_ERR_BAD_ARGUMENT 0x1406 /* null pointer, unknown mode or origin, bad offset */
#define CFILE_ERR_TOO_MANY 0x1407     /* no free handle */

/* Mode bits for cFileOpen. 0x41 (read, shared) is what the text library uses. */
#define CFILE_MODE_READ 0x01
#define CFILE_MODE_READ_WRITE 0x02
#define CFILE_MODE_SHARED 0x40 /* others may open the file at the same time (always so here) */

/* Seek origins. */
#define CFILE_SEEK_START 0
#define CFILE_SEEK_CURRENT 1
#define CFILE_SEEK_END 2

/* Size of the buffer cFileBuildNftBuffer fills (terminating NUL included). */
#define CFILE_NFT_BUFFER_SIZE 200

/* What cFileBuildNftBuffer formats: a message and the tag of its source. The
 * other fields are reserved and must be zero. 44 bytes, byte-packed. */
#pragma pack(push, 1)
typedef struct tccIntlNftRecord {
    uint16_t reserved0;
    const char* message; /* NUL-terminated text */
    uint32_t reserved1;
    const char* source; /* NUL-terminated tag, e.g. "cIntl" */
    uint8_t reserved2[22];
} tccIntlNftRecord;
#pragma pack(pop)

/* Opens `path` with `mode` (CFILE_MODE_READ or CFILE_MODE_READ_WRITE, optionally
 * with CFILE_MODE_SHARED); *handle receives a positive handle. */
FILEKIT_EXPORT int32_t cFileOpen(const char* path, uint32_t mode, int32_t* handle);

/* Reads `count` bytes at the current position. *countRead (may be NULL)
 * receives the bytes actually read; fewer than `count` answers
 * CFILE_ERR_END_OF_FILE. */
FILEKIT_EXPORT int32_t cFileRead(int32_t handle, void* buffer, uint32_t count, uint32_t* countRead);

/* Moves to `offset` from `origin`; *newPosition (may be NULL) receives the
 * position from the file start. A position before the start is refused. */
FILEKIT_EXPORT int32_t cFileSeek(int32_t handle, int64_t offset, int32_t origin,
                                 int64_t* newPosition);

/* Closes the handle; CFILE_ERR_BAD_HANDLE when it is not open. */
FILEKIT_EXPORT int32_t cFileClose(int32_t handle);

/* Formats one log line "YYYY-MM-DD HH:MM:SSZ <source>: <message>\n" (UTC time)
 * into `buffer` (CFILE_NFT_BUFFER_SIZE bytes, always NUL-terminated; a longer
 * line is cut). `kind` must be 0. */
FILEKIT_EXPORT int32_t cFileBuildNftBuffer(int32_t kind, const tccIntlNftRecord* record,
                                           char* buffer);

/* Appends the NUL-terminated `buffer` to the file `path`, creating it. */
FILEKIT_EXPORT int32_t cFileWriteToFile(const char* path, const char* buffer);

#ifdef __cplusplus
}
#endif

#endif /* GLOSSEL_FILEKIT_H */

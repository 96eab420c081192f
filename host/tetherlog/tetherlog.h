/* The sync log library (libtetherlog.so): log lines of one sync operation, appended with
 * a time stamp and their activity code to the user's sync log file and shown live by the
 * host. */
#ifndef HOST_TETHERLOG_TETHERLOG_H_
#define HOST_TETHERLOG_TETHERLOG_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TETHERLOG_EXPORT __attribute__((visibility("default")))

/* Result codes. */
#define TETHERLOG_ERR_NONE 0
#define TETHERLOG_ERR_BAD_ARGUMENT 16897 /* 0x4201 text is null */
#define TETHERLOG_ERR_WRITE 16898        /* 0x4202 the log file could not be written */
#define TETHERLOG_ERR_GENERIC 16899      /* 0x4203 unexpected failure */

/* Activity codes passed with each line. */
#define LOG_ACTIVITY_TEXT -1           /* plain text line */
#define LOG_ACTIVITY_READ_FAILED 8     /* a handheld database or record could not be read */
#define LOG_ACTIVITY_WRITE_FAILED 9    /* a record could not be written to the handheld */
#define LOG_ACTIVITY_PURGE_FAILED 10   /* deleted records could not be purged */
#define LOG_ACTIVITY_DESKTOP_FAILED 13 /* the desktop mail system failed */
#define LOG_ACTIVITY_SAVE_FAILED 17    /* a desktop file could not be saved */
#define LOG_ACTIVITY_SYNC_STARTED 19
#define LOG_ACTIVITY_SYNC_FINISHED 20
#define LOG_ACTIVITY_SYNC_FAILED 21 /* the operation ended with an error */
#define LOG_ACTIVITY_CONFIG_WARNING 22

/* ---- Calls made by a conduit ---------------------------------------------------------- */

/* Adds one line (text copied; may be empty) with its activity; reserved is 0. The line is
 * echoed to the host at once and appended to the operation's log file. A line is counted
 * and echoed even when the file write fails (TETHERLOG_ERR_WRITE). */
TETHERLOG_EXPORT int32_t LogAddLine(const char* text, int32_t activity, int32_t reserved);
/* Non-zero when a line other than a status line (activities 19, 20, 21) was added since
 * the operation began or since the last sync-started line (19): a conduit writes its
 * heading before its first problem line when this answers 0. */
TETHERLOG_EXPORT int32_t LogQuery(void);

/* ---- Host-side calls (the sync host program and tests) -------------------------------- */

/* Called for each line as it is added; text is valid during the call only. */
typedef void (*TetherlogEchoHook)(const char* text, int32_t activity, void* context);

/* Begins an operation whose lines go to the file at path (created with mode 0600 when
 * missing, then appended to; null or empty: no file). Resets LogQuery and the counts.
 * TETHERLOG_ERR_WRITE when the file cannot be created (the operation still begins, without
 * a file). */
TETHERLOG_EXPORT int32_t TetherlogBegin(const char* path);
/* Ends the operation: later lines go to no file. */
TETHERLOG_EXPORT int32_t TetherlogEnd(void);
/* Installs (or with null removes) the echo hook. */
TETHERLOG_EXPORT void TetherlogSetEcho(TetherlogEchoHook hook, void* context);
/* Number of lines with that activity added since the operation began. */
TETHERLOG_EXPORT int32_t TetherlogActivityCount(int32_t activity);

#ifdef __cplusplus
}
#endif

#endif /* HOST_TETHERLOG_TETHERLOG_H_ */

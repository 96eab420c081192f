/* Simple MAPI: the published structures, flags, result codes and entry points of a
 * Simple MAPI client library, for 64-bit Linux.
 *
 * Widths: ULONG and FLAGS are 32-bit unsigned; session handles and window handles
 * (ulUIParam) are pointer-sized. Text is 8-bit in the process's ANSI code page.
 *
 * Ownership: every MapiMessage and MapiRecipDesc that the library returns (MAPIReadMail,
 * MAPIResolveName) is one allocation, released with MAPIFreeBuffer. Attachment files that
 * MAPIReadMail writes are temporary files that belong to the caller, which deletes them;
 * MAPIFreeBuffer releases memory only. Structures that the caller passes in
 * (MAPISendMail) stay the caller's.
 */
#ifndef PROVIDERS_SIMPLEMAPI_SIMPLE_MAPI_H
#define PROVIDERS_SIMPLEMAPI_SIMPLE_MAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t ULONG;
typedef uint32_t FLAGS;
typedef uintptr_t LHANDLE;
typedef LHANDLE* LPLHANDLE;

typedef struct {
    ULONG ulReserved;   /* 0 */
    ULONG ulRecipClass; /* MAPI_ORIG, MAPI_TO, MAPI_CC or MAPI_BCC */
    char* lpszName;     /* display name, or null */
    char* lpszAddress;  /* address ("SMTP:" prefix not used), or null */
    ULONG ulEIDSize;    /* bytes at lpEntryID */
    void* lpEntryID;    /* opaque entry identifier, or null */
} MapiRecipDesc, *lpMapiRecipDesc;

typedef struct {
    ULONG ulReserved;   /* 0 */
    ULONG flFlags;      /* MAPI_OLE, MAPI_OLE_STATIC or 0 */
    ULONG nPosition;    /* character position in the note text, or 0xFFFFFFFF */
    char* lpszPathName; /* full path of the attachment file */
    char* lpszFileName; /* name the sender gave the attachment, or null */
    void* lpFileType;   /* null */
} MapiFileDesc, *lpMapiFileDesc;

typedef struct {
    ULONG ulReserved;             /* 0 */
    char* lpszSubject;            /* or null */
    char* lpszNoteText;           /* or null */
    char* lpszMessageType;        /* null for ordinary mail */
    char* lpszDateReceived;       /* "YYYY/MM/DD HH:MM" local time, or null */
    char* lpszConversationID;     /* or null */
    FLAGS flFlags;                /* MAPI_UNREAD, MAPI_RECEIPT_REQUESTED, MAPI_SENT */
    lpMapiRecipDesc lpOriginator; /* or null */
    ULONG nRecipCount;
    lpMapiRecipDesc lpRecips; /* nRecipCount entries */
    ULONG nFileCount;
    lpMapiFileDesc lpFiles; /* nFileCount entries */
} MapiMessage, *lpMapiMessage;

/* Results. */
#define SUCCESS_SUCCESS 0
#define MAPI_USER_ABORT 1
#define MAPI_E_USER_ABORT 1
#define MAPI_E_FAILURE 2
#define MAPI_E_LOGON_FAILURE 3
#define MAPI_E_LOGIN_FAILURE 3
#define MAPI_E_DISK_FULL 4
#define MAPI_E_INSUFFICIENT_MEMORY 5
#define MAPI_E_ACCESS_DENIED 6
#define MAPI_E_TOO_MANY_SESSIONS 8
#define MAPI_E_TOO_MANY_FILES 9
#define MAPI_E_TOO_MANY_RECIPIENTS 10
#define MAPI_E_ATTACHMENT_NOT_FOUND 11
#define MAPI_E_ATTACHMENT_OPEN_FAILURE 12
#define MAPI_E_ATTACHMENT_WRITE_FAILURE 13
#define MAPI_E_UNKNOWN_RECIPIENT 14
#define MAPI_E_BAD_RECIPTYPE 15
#define MAPI_E_NO_MESSAGES 16
#define MAPI_E_INVALID_MESSAGE 17
#define MAPI_E_TEXT_TOO_LARGE 18
#define MAPI_E_INVALID_SESSION 19
#define MAPI_E_TYPE_NOT_SUPPORTED 20
#define MAPI_E_AMBIGUOUS_RECIPIENT 21
#define MAPI_E_AMBIG_RECIP MAPI_E_AMBIGUOUS_RECIPIENT
#define MAPI_E_MESSAGE_IN_USE 22
#define MAPI_E_NETWORK_FAILURE 23
#define MAPI_E_INVALID_EDITFIELDS 24
#define MAPI_E_INVALID_RECIPS 25
#define MAPI_E_NOT_SUPPORTED 26

/* Recipient classes. */
#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3

/* MapiMessage.flFlags. */
#define MAPI_UNREAD 0x00000001
#define MAPI_RECEIPT_REQUESTED 0x00000002
#define MAPI_SENT 0x00000004

/* MapiFileDesc.flFlags. */
#define MAPI_OLE 0x00000001
#define MAPI_OLE_STATIC 0x00000002

/* Call flags. */
#define MAPI_LOGON_UI 0x00000001
#define MAPI_NEW_SESSION 0x00000002
#define MAPI_DIALOG 0x00000008
#define MAPI_UNREAD_ONLY 0x00000020
#define MAPI_EXTENDED 0x00000020
#define MAPI_ENVELOPE_ONLY 0x00000040
#define MAPI_PEEK 0x00000080
#define MAPI_GUARANTEE_FIFO 0x00000100
#define MAPI_BODY_AS_FILE 0x00000200
#define MAPI_AB_NOMODIFY 0x00000400
#define MAPI_SUPPRESS_ATTACH 0x00000800
#define MAPI_FORCE_DOWNLOAD 0x00001000
#define MAPI_LONG_MSGID 0x00004000
#define MAPI_PASSWORD_UI 0x00020000

/* Size of a message id buffer for MAPIFindNext with MAPI_LONG_MSGID (with its NUL). */
#define MAPI_LONG_MSGID_SIZE 512

/* Entry points. A session handle of 0 is never valid. */
typedef ULONG (*LPMAPILOGON)(uintptr_t ulUIParam, const char* lpszProfileName,
                             const char* lpszPassword, FLAGS flFlags, ULONG ulReserved,
                             LPLHANDLE lplhSession);
typedef ULONG (*LPMAPILOGOFF)(LHANDLE lhSession, uintptr_t ulUIParam, FLAGS flFlags,
                              ULONG ulReserved);
typedef ULONG (*LPMAPISENDMAIL)(LHANDLE lhSession, uintptr_t ulUIParam, lpMapiMessage lpMessage,
                                FLAGS flFlags, ULONG ulReserved);
typedef ULONG (*LPMAPIFINDNEXT)(LHANDLE lhSession, uintptr_t ulUIParam, const char* lpszMessageType,
                                const char* lpszSeedMessageID, FLAGS flFlags, ULONG ulReserved,
                                char* lpszMessageID);
typedef ULONG (*LPMAPIREADMAIL)(LHANDLE lhSession, uintptr_t ulUIParam, const char* lpszMessageID,
                                FLAGS flFlags, ULONG ulReserved, lpMapiMessage* lppMessage);
typedef ULONG (*LPMAPIDELETEMAIL)(LHANDLE lhSession, uintptr_t ulUIParam, const char* lpszMessageID,
                                  FLAGS flFlags, ULONG ulReserved);
typedef ULONG (*LPMAPIRESOLVENAME)(LHANDLE lhSession, uintptr_t ulUIParam, const char* lpszName,
                                   FLAGS flFlags, ULONG ulReserved, lpMapiRecipDesc* lppRecip);
typedef ULONG (*LPMAPIFREEBUFFER)(void* pv);

#ifdef __cplusplus
}
#endif

#endif /* PROVIDERS_SIMPLEMAPI_SIMPLE_MAPI_H */

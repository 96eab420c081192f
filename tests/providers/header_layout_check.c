/* The Simple MAPI and thunk headers compile as C, with the 64-bit layout pinned. */
#include <stddef.h>

#include "providers/simplemapi/simple_mapi.h"
#include "providers/thunk/universal_thunk.h"

_Static_assert(sizeof(ULONG) == 4, "ULONG is 32-bit");
_Static_assert(sizeof(FLAGS) == 4, "FLAGS is 32-bit");
_Static_assert(sizeof(LHANDLE) == sizeof(void*), "session handles are pointer-sized");
_Static_assert(sizeof(ThunkCell) == sizeof(void*), "thunk cells hold a pointer");

_Static_assert(offsetof(MapiRecipDesc, ulReserved) == 0, "");
_Static_assert(offsetof(MapiRecipDesc, ulRecipClass) == 4, "");
_Static_assert(offsetof(MapiRecipDesc, lpszName) == 8, "");
_Static_assert(offsetof(MapiRecipDesc, lpszAddress) == 16, "");
_Static_assert(offsetof(MapiRecipDesc, ulEIDSize) == 24, "");
_Static_assert(offsetof(MapiRecipDesc, lpEntryID) == 32, "");
_Static_assert(sizeof(MapiRecipDesc) == 40, "");

_Static_assert(offsetof(MapiFileDesc, ulReserved) == 0, "");
_Static_assert(offsetof(MapiFileDesc, flFlags) == 4, "");
_Static_assert(offsetof(MapiFileDesc, nPosition) == 8, "");
_Static_assert(offsetof(MapiFileDesc, lpszPathName) == 16, "");
_Static_assert(offsetof(MapiFileDesc, lpszFileName) == 24, "");
_Static_assert(offsetof(MapiFileDesc, lpFileType) == 32, "");
_Static_assert(sizeof(MapiFileDesc) == 40, "");

_Static_assert(offsetof(MapiMessage, ulReserved) == 0, "");
_Static_assert(offsetof(MapiMessage, lpszSubject) == 8, "");
_Static_assert(offsetof(MapiMessage, lpszNoteText) == 16, "");
_Static_assert(offsetof(MapiMessage, lpszMessageType) == 24, "");
_Static_assert(offsetof(MapiMessage, lpszDateReceived) == 32, "");
_Static_assert(offsetof(MapiMessage, lpszConversationID) == 40, "");
_Static_assert(offsetof(MapiMessage, flFlags) == 48, "");
_Static_assert(offsetof(MapiMessage, lpOriginator) == 56, "");
_Static_assert(offsetof(MapiMessage, nRecipCount) == 64, "");
_Static_assert(offsetof(MapiMessage, lpRecips) == 72, "");
_Static_assert(offsetof(MapiMessage, nFileCount) == 80, "");
_Static_assert(offsetof(MapiMessage, lpFiles) == 88, "");
_Static_assert(sizeof(MapiMessage) == 96, "");

/* The values the conduit passes and compares. */
_Static_assert(MAPI_NEW_SESSION + MAPI_FORCE_DOWNLOAD == 0x1002, "");
_Static_assert(MAPI_LONG_MSGID == 0x4000 && MAPI_ENVELOPE_ONLY == 0x40 && MAPI_PEEK == 0x80, "");
_Static_assert(MAPI_UNREAD == 1 && MAPI_RECEIPT_REQUESTED == 2, "");
_Static_assert(MAPI_E_NO_MESSAGES == 16 && THUNK_UNAVAILABLE == 0x1100, "");
_Static_assert(THUNK_LOGON == 0 && THUNK_EXTRA == 10, "");

int ProvidersHeaderLayoutChecked(void) { return 1; }

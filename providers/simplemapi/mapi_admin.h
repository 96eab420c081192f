/* MAPI profile administration as the Simple MAPI library offers it: listing the profiles
 * of the library's profile file and creating one, for 64-bit Linux.
 *
 * Objects are COM-style: a pointer to a structure whose first member points to a table
 * of functions (the vtable), each taking the object as its first argument. The library
 * implements only the members listed with a meaning below; the others answer
 * MAPI_E_NO_SUPPORT. Release drops the caller's reference (objects start with one).
 *
 * Row sets returned by HrQueryAllRows are one allocation owned by the caller, released
 * with FreeProws; every text in it lives inside that allocation.
 *
 * Results are HRESULT-style 32-bit values: S_OK 0, or one of the MAPI_E_* codes below.
 */
#ifndef PROVIDERS_SIMPLEMAPI_MAPI_ADMIN_H
#define PROVIDERS_SIMPLEMAPI_MAPI_ADMIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t HRESULT;
#define S_OK 0
#define MAPI_E_CALL_FAILED ((HRESULT)0x80004005)
#define MAPI_E_NO_SUPPORT ((HRESULT)0x80040102)
#define MAPI_E_NOT_ENOUGH_MEMORY ((HRESULT)0x8007000E)
#define MAPI_E_INVALID_PARAMETER ((HRESULT)0x80070057)
#define MAPI_E_NOT_INITIALIZED ((HRESULT)0x80040605)

/* Property types and the two properties of a profile-table row. */
#define PT_BOOLEAN 11
#define PT_STRING8 30
#define PROP_TYPE(tag) ((uint32_t)(tag)&0xFFFF)
#define PR_DISPLAY_NAME_A 0x3001001Eu  /* the profile's name */
#define PR_DEFAULT_PROFILE 0x3D04000Bu /* non-zero for the default profile */

typedef struct {
    uint32_t ulPropTag; /* property id << 16 | type */
    uint32_t dwAlignPad;
    union {
        uint16_t b;  /* PT_BOOLEAN */
        char* lpszA; /* PT_STRING8 */
        int64_t li;  /* keeps the union 8 bytes */
    } Value;
} SPropValue; /* 16 bytes */

typedef struct {
    uint32_t ulAdrEntryPad;
    uint32_t cValues;
    SPropValue* lpProps;
} SRow; /* 16 bytes */

typedef struct {
    uint32_t cRows;
    uint32_t pad;
    SRow aRow[1]; /* cRows rows */
} SRowSet;

typedef struct IMAPITable IMAPITable;
typedef struct IMAPITableVtbl {
    HRESULT (*QueryInterface)(IMAPITable* self, const void* iid, void** out); /* no support */
    uint32_t (*AddRef)(IMAPITable* self);
    uint32_t (*Release)(IMAPITable* self);
} IMAPITableVtbl;
struct IMAPITable {
    const IMAPITableVtbl* lpVtbl;
};

typedef struct IProfAdmin IProfAdmin;
typedef struct IProfAdminVtbl {
    HRESULT (*QueryInterface)(IProfAdmin* self, const void* iid, void** out); /* no support */
    uint32_t (*AddRef)(IProfAdmin* self);
    uint32_t (*Release)(IProfAdmin* self);
    HRESULT (*GetLastError)(IProfAdmin* self, HRESULT hr, uint32_t flags, void** error);
    /* A table with one row per profile, in file order: PR_DISPLAY_NAME_A, then
     * PR_DEFAULT_PROFILE. flags must be 0. */
    HRESULT (*GetProfileTable)(IProfAdmin* self, uint32_t flags, IMAPITable** table);
    HRESULT (*CreateProfile)
    (IProfAdmin* self, const char* name, const char* password, uintptr_t uiParam,
     uint32_t flags);                                                             /* no support */
    HRESULT (*DeleteProfile)(IProfAdmin* self, const char* name, uint32_t flags); /* no support */
} IProfAdminVtbl;
struct IProfAdmin {
    const IProfAdminVtbl* lpVtbl;
};

/* Entry points (names to look up in quotes where they differ). The stdcall-decorated
 * names "HrQueryAllRows@24" and "FreeProws@4" are exported as "HrQueryAllRows" and
 * "FreeProws": an ELF symbol cannot hold '@', and the platform's loader drops the
 * decoration when looking a decorated name up. */
typedef HRESULT (*LPMAPIINITIALIZE)(void* lpMapiInit);                    /* "MAPIInitialize" */
typedef void (*LPMAPIUNINITIALIZE)(void);                                 /* "MAPIUninitialize" */
typedef HRESULT (*LPMAPIADMINPROFILES)(uint32_t flags, IProfAdmin** out); /* "MAPIAdminProfiles" */
/* "HrQueryAllRows@24": every row of the table; columns, restriction and sort order must be
 * null, rowsMax 0 (no limit). */
typedef HRESULT (*LPHRQUERYALLROWS)(IMAPITable* table, void* columns, void* restriction,
                                    void* sortOrder, int32_t rowsMax, SRowSet** rows);
typedef void (*LPFREEPROWS)(SRowSet* rows); /* "FreeProws@4"; null is ignored */
/* "LAUNCHWIZARD": creates a profile and copies its name (at most cbBufferMax - 1 bytes and
 * a NUL) to lpszNewProfileName. serviceNames is a list of four texts ("MSEMS" and nulls),
 * kept for callers of the published interface. 0 when a profile was created;
 * MAPI_E_USER_ABORT (1) when the person declined; another code on failure.
 *
 * Without a window of its own the library takes the answers from the environment:
 * TETHER_MAPI_NEW_PROFILE names the profile (unset or empty: the person declined),
 * TETHER_MAPI_NEW_STORE its Maildir (required), TETHER_MAPI_NEW_ADDRESS the user's own
 * address (optional). The profile is added to the profile file (mode 0600, replaced
 * atomically); it becomes the default when it is the first. A name already in the file
 * is MAPI_E_FAILURE (2). */
typedef uint32_t (*LPLAUNCHWIZARD)(uintptr_t hParentWnd, uint32_t ulFlags,
                                   const char** serviceNames, uint32_t cbBufferMax,
                                   char* lpszNewProfileName);

#ifdef __cplusplus
}
#endif

#endif /* PROVIDERS_SIMPLEMAPI_MAPI_ADMIN_H */

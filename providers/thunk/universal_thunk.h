/* The thunk path to Simple MAPI: registration ("Kernel32.Dll": UTRegister, UTUnRegister),
 * the helper library's entries ("Thunkmap.DLL": UTInit, UTProc) and the opcodes with their
 * argument blocks.
 *
 * Argument blocks are arrays of ThunkCell. A cell is pointer-sized (uintptr_t) so that a
 * cell can hold a flat pointer on 64-bit; values that are 32-bit in the opcode table
 * (flags, kinds) are stored zero-extended in a whole cell. The translation list passed to
 * the 32-bit entry is a null-terminated array of the addresses of the cells that hold
 * pointers; pointers need no translation here, so the list is checked (every entry must
 * point inside the block) and otherwise ignored.
 *
 * Results are the Simple MAPI codes of the call the opcode names, or THUNK_UNAVAILABLE
 * (0x1100) when the Simple MAPI library or one of its entry points cannot be found.
 */
#ifndef PROVIDERS_THUNK_UNIVERSAL_THUNK_H
#define PROVIDERS_THUNK_UNIVERSAL_THUNK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uintptr_t ThunkCell;

/* The 32-bit thunk entry that UTRegister hands back. */
typedef uint32_t (*UT32PROC)(void* lpBuff, uint32_t dwUserDefined, void** lpTranslationList);
/* A 32-bit callback the 16-bit side may call (unused here: always null). */
typedef uint32_t (*UT32CBPROC)(void* lpBuff, uint32_t dwUserDefined);

/* "Kernel32.Dll". UTRegister loads the helper library by name, looks up the two entries,
 * calls the init entry with (null callback, lpBuff) and, when it returns non-zero, stores
 * the thunk entry in *ppfn32Thunk and returns 1. Any failure returns 0 and leaves
 * *ppfn32Thunk null. One registration per hModule; a second one for the same module
 * returns 0. UTUnRegister releases the registration of hModule (unknown handles ignored). */
typedef int32_t (*LPUTREGISTER)(void* hModule, const char* lpsz16BitDll, const char* lpszInitName,
                                const char* lpszProcName, UT32PROC* ppfn32Thunk,
                                UT32CBPROC pfnUT32Callback, void* lpBuff);
typedef void (*LPUTUNREGISTER)(void* hModule);

/* "Thunkmap.DLL". UTInit returns non-zero on success. UTProc performs opcode dwFunc on the
 * argument block lpBuf and returns its result. */
typedef uint32_t (*LPUTINIT)(UT32CBPROC lpfnCallBack, void* lpBuf);
typedef uint32_t (*LPUTPROC)(void* lpBuf, uint32_t dwFunc);

#define THUNK_UNAVAILABLE 0x1100

/* Opcodes and their argument blocks (cells in order; [p] = pointer cell, listed in the
 * translation list). The helper keeps the session of THUNK_LOGON for the later opcodes. */
#define THUNK_LOGON 0     /* [p] account text, [p] password text -> MAPILogon(0x1002) */
#define THUNK_LOGOFF 1    /* null block -> MAPILogoff */
#define THUNK_SEND 2      /* [p] address of a cell holding a MapiMessage* -> MAPISendMail */
#define THUNK_FIND_NEXT 3 /* [p] seed id, [p] 512-byte output buffer, flags -> MAPIFindNext */
#define THUNK_DELETE 4    /* [p] message id -> MAPIDeleteMail */
#define THUNK_READ 5      /* [p] message id, [p] address of the MapiMessage* cell, flags */
#define THUNK_RESOLVE 6   /* [p] name, [p] address of the MapiRecipDesc* cell (flags 0) */
#define THUNK_FREE 7      /* [p] address of the cell holding the buffer, kind (0 msg, 1 recip) */
#define THUNK_INIT 8      /* the value 1: loads the Simple MAPI library */
#define THUNK_TERM 9      /* null block: logs off if needed and releases the library */
#define THUNK_EXTRA 10    /* [p] value, value: accepted, does nothing, returns 0 */

#ifdef __cplusplus
}
#endif

#endif /* PROVIDERS_THUNK_UNIVERSAL_THUNK_H */

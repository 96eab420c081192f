// The desktop mail back-ends: Simple MAPI (32-bit client library, or 16-bit through the
// thunk; declared in mapi_conduit.h) and VIM (vim_conduit.h), as subclasses of
// CMailConduit, and the process-wide thunk registration.
#pragma once

#include <cstdint>
#include <memory>

#include "conduit/backends/mapi_conduit.h"
#include "conduit/backends/vim_conduit.h"
#include "conduit/core/host_services.h"
#include "conduit/core/mail_conduit.h"
#include "conduit/core/mail_settings.h"

namespace torrim {

// The 32-bit thunk entry: argument block, opcode, null-terminated list of the addresses of
// the block's cells that hold pointers to translate. Answers the Simple MAPI result.
using ThunkEntry = uint32_t (*)(void* arguments, uint32_t opcode, void** translations);

// Thunk opcodes.
enum ThunkOpcode : uint32_t {
    THUNK_LOGON = 0,
    THUNK_LOGOFF = 1,
    THUNK_SEND = 2,
    THUNK_FIND_NEXT = 3,
    THUNK_DELETE = 4,
    THUNK_READ = 5,
    THUNK_RESOLVE = 6,
    THUNK_FREE = 7,
    THUNK_INIT = 8,
    THUNK_TERM = 9,
    THUNK_EXTRA = 10,
};

// The registered thunk entry, null when none is registered (process-wide).
ThunkEntry RegisteredThunk();

// Registers the thunk once per load of the library. "Kernel32.Dll" is loaded (and kept)
// on first use; when it has no "UTRegister" the registration counts as done without a
// thunk. false only when "UTRegister" exists and refuses.
bool RegisterThunk(CHostServices& host);

// Unregisters the thunk and releases "Kernel32.Dll" (at library exit; also for tests).
void ReleaseThunk();

}  // namespace torrim

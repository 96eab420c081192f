// The registration side of the thunk: loads the helper library named at registration and
// hands out the 32-bit entry that carries argument blocks and opcodes to it.
#pragma once

#include <cstdint>

#include "providers/thunk/universal_thunk.h"

namespace thunk {

// UTRegister semantics; see universal_thunk.h. Returns 1 on success, 0 on failure.
int32_t RegisterThunk(void* hModule, const char* helperName, const char* initName,
                      const char* procName, UT32PROC* entry, UT32CBPROC callback, void* buffer);
// UTUnRegister semantics: sends THUNK_TERM to the helper, then releases it.
void UnregisterThunk(void* hModule);

// The entry handed out: checks the translation list (every listed cell must lie in the
// first 16 cells of the block) and passes block and opcode to the helper's dispatch entry.
// THUNK_UNAVAILABLE when nothing is registered; MAPI_E_FAILURE for a bad list.
uint32_t ThunkEntry(void* block, uint32_t opcode, void** translationList);

}  // namespace thunk

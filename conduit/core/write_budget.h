// The handheld write budget: once the handheld has refused a record for lack of memory,
// only smaller records are tried for the rest of the operation.
#pragma once

#include <cstdint>

namespace torrim {

inline constexpr uint32_t WRITE_BUDGET_UNLIMITED = 0xFFFFFFFFu;

// Bytes a record may have and still be tried. Process-wide, written only on the host's
// sync thread; reset at the start of every operation.
extern uint32_t g_writeBudget;

inline void ResetWriteBudget() {
    g_writeBudget = WRITE_BUDGET_UNLIMITED;
}

}  // namespace torrim

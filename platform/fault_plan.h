// Test-only fault injection for the file calls of the platform layer (write, fsync, rename,
// unlink) and of the handheld image's file layer.
#pragma once

#include <cstdint>

namespace platform {

enum class FileCall { Write, Fsync, Rename, Unlink };

// Counts one file call and answers 0, or the errno the fault plan makes this call fail with.
// Without a plan it answers 0 and counts nothing. A plan that aborts at this call kills the
// process with SIGKILL (nothing is flushed, as with a crash or a kill -9).
//
// The plan is the environment variable TETHER_FAULT_PLAN, read once per process:
//   "count"               counts the calls only;
//   "abort:N"             kills the process at the N-th call (from 1);
//   "fail:N:ERRNO"        makes the N-th call fail, and every later write and fsync (a full
//                         disk stays full; removing and renaming files still work);
//   "once:N:ERRNO"        makes only the N-th call fail;
// ERRNO is ENOSPC, EIO, EDQUOT or a decimal number. With TETHER_FAULT_REPORT naming a file,
// the number of calls counted is appended to it as one line "calls N" when the process exits
// normally. The count is one per process, shared by every library that holds a copy of the
// platform layer.
[[nodiscard]] int32_t FileCallFault(FileCall call);

// true when TETHER_FAULT_PLAN is set, so that layers which must wrap their file calls to
// count them (the image's SQLite files) do so only in tests.
bool FaultPlanActive();

}  // namespace platform

// The image's SQLite file calls under the platform's fault plan (tests only).
#pragma once

namespace syncor {

// When a fault plan is active (TETHER_FAULT_PLAN), makes SQLite's default file layer one
// that passes each write, sync, truncate and delete through platform::FileCallFault first,
// so that a test can fail or crash the image's file calls one by one like every other file
// call of the process. Without a plan it does nothing. Safe to call more than once.
void InstallFaultVfsIfPlanned();

// The errno of the last failure the plan injected into an image file call (0 when none).
int LastInjectedErrno();

}  // namespace syncor

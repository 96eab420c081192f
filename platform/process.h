// Starting a program and waiting for it to end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Runs argv[0] (looked up in PATH when it contains no '/') with the arguments argv[1..],
// inheriting the environment and standard streams, and waits for it to end.
// Returns 0 with the program's exit status in *exitCode (128 + signal number when a signal
// ended it), or a positive errno value when it could not be started (ENOENT when missing).
[[nodiscard]] int32_t RunProcessAndWait(const std::vector<std::string>& argv, int* exitCode);

}  // namespace platform

// One guard for C exports: no C++ exception (in practice std::bad_alloc) crosses the C
// boundary; it becomes the library's generic failure code instead.
#pragma once

#include <cstdint>
#include <utility>

namespace platform {

template <typename F>
int32_t GuardExport(int32_t failureCode, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        return failureCode;
    }
}

}  // namespace platform

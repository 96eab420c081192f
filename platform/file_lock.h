// Exclusive locks held by a process on a lock file: one sync at a time per user and image.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// An exclusive advisory lock (flock) on a lock file, released when the object is destroyed
// or the process ends, however it ends: a killed process never leaves a stale lock. The
// lock file itself stays in place; it holds no data.
class CFileLock {
public:
    CFileLock() = default;
    ~CFileLock();
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    // Takes the lock without waiting: 0 when held, EWOULDBLOCK when another open file
    // description (another process, or another CFileLock) holds it, else a positive errno
    // value (the lock file cannot be created or opened). The file is created with mode 0600.
    [[nodiscard]] int32_t TryLock(const std::string& path);
    void Unlock();
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

}  // namespace platform

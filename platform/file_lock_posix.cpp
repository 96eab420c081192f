// Exclusive locks on lock files with flock.
#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

CFileLock::~CFileLock() {
    Unlock();
}

int32_t CFileLock::TryLock(const std::string& path) {
    Unlock();
    // flock locks belong to the open file description, so two locks taken in one process
    // exclude each other too, and they never mix with the POSIX locks SQLite keeps on the
    // image (which is why the image is locked through a file of its own).
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno != 0 ? errno : EIO;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        int32_t e = errno == EAGAIN ? EWOULDBLOCK : errno;
        ::close(fd);
        return e != 0 ? e : EIO;
    }
    m_fd = fd;
    return 0;
}

void CFileLock::Unlock() {
    if (m_fd >= 0) {
        ::close(m_fd);  // closing the only descriptor releases the lock
        m_fd = -1;
    }
}

}  // namespace platform

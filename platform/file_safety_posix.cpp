// Leftover temporary files, held temporary files and folder safety over POSIX calls.
#include "platform/file_safety.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/fault_plan.h"
#include "platform/file_util.h"

namespace platform {
namespace {

int32_t LastError() {
    return errno != 0 ? errno : EIO;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A folder others cannot use to swap or remove our files: ours or root's, and sticky when
// anybody else may write to it.
bool IsSafeSharedFolder(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (st.st_uid != ::geteuid() && st.st_uid != 0)
        return false;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
        return false;
    return true;
}

}  // namespace

int32_t CreateHeldFile(const std::string& path, uint32_t mode, int* fd) {
    *fd = -1;
    int f = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (f < 0)
        return LastError();
    // The mode is set before any byte is written, so data meant for the owner alone is
    // never readable by others, not even briefly; the lock tells a later sweep that the
    // file's writer is alive. A private 0600 is what the file was created with (a umask
    // never takes the owner's bits in practice), so it needs no second call.
    int32_t err = 0;
    if ((mode & 07777) != 0600 && ::fchmod(f, static_cast<mode_t>(mode & 07777)) != 0)
        err = LastError();
    while (err == 0 && ::flock(f, LOCK_EX) != 0) {
        if (errno != EINTR)
            err = LastError();
    }
    if (err != 0) {
        ::close(f);
        ::unlink(path.c_str());
        return err;
    }
    *fd = f;
    return 0;
}

void ReleaseHeldFile(int fd) {
    if (fd >= 0)
        ::close(fd);
}

int32_t WriteThroughTemporary(const std::string& temporaryPath, const std::string& finalPath,
                              std::string_view data, uint32_t mode) {
    int fd = -1;
    if (int32_t err = CreateHeldFile(temporaryPath, mode, &fd))
        return err;
    int32_t err = WriteAll(fd, data.data(), data.size());
    // On disk before it takes its final name, or a crash could show a partial file there.
    if (err == 0 && (err = FileCallFault(FileCall::Fsync)) == 0 && ::fsync(fd) != 0)
        err = LastError();
    if (err == 0 && (err = FileCallFault(FileCall::Rename)) == 0 &&
        ::rename(temporaryPath.c_str(), finalPath.c_str()) != 0)
        err = LastError();
    if (err != 0) {
        if (FileCallFault(FileCall::Unlink) == 0)
            ::unlink(temporaryPath.c_str());
        ::close(fd);
        return err;
    }
    // The file is held until its new name is on disk too.
    const size_t slash = finalPath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : finalPath.substr(0, slash + 1);
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        if (FileCallFault(FileCall::Fsync) == 0)
            (void)::fsync(dfd);  // the delivery is complete; a failed flush is not undone
        ::close(dfd);
    }
    ::close(fd);
    return 0;
}

bool IsAtomicTemporaryName(std::string_view candidate, std::string_view name) {
    constexpr std::string_view TAG = ".tmp";
    if (candidate.size() != name.size() + TAG.size() + 8 ||
        candidate.substr(0, name.size()) != name ||
        candidate.substr(name.size(), TAG.size()) != TAG)
        return false;
    std::string_view digits = candidate.substr(name.size() + TAG.size());
    return std::all_of(digits.begin(), digits.end(), IsHexDigit);
}

int RemoveLeftoverFiles(const std::string& dir, const std::function<bool(std::string_view)>& isOurs,
                        int64_t othersMaxAgeSeconds) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr)
        return 0;
    const int64_t now = static_cast<int64_t>(::time(nullptr));
    const uid_t me = ::geteuid();
    int removed = 0;
    while (struct dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const bool ours = isOurs(name);
        if (!ours && othersMaxAgeSeconds < 0)
            continue;
        const std::string path = JoinPath(dir, std::string(name));
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != me)
            continue;
        if (!ours) {
            const int64_t last =
                std::max(static_cast<int64_t>(st.st_atime), static_cast<int64_t>(st.st_mtime));
            if (now - last <= othersMaxAgeSeconds)
                continue;
            if (::unlink(path.c_str()) == 0)
                ++removed;
            continue;
        }
        // Ours: removed only when no live writer holds it. The lock is taken on the file
        // found by the listing, and the name is removed only while it still names that file.
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
            held.st_dev == st.st_dev && held.st_ino == st.st_ino && held.st_nlink > 0 &&
            ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}

int RemoveAtomicLeftovers(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return 0;
    return RemoveLeftoverFiles(
        dir, [&](std::string_view candidate) { return IsAtomicTemporaryName(candidate, name); },
        -1);
}

int32_t GetFileAccess(const std::string& path, FileAccess* access) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return LastError();
    access->mode = static_cast<uint32_t>(st.st_mode & 07777);
    access->ownedByMe = st.st_uid == ::geteuid();
    access->ownedByRoot = st.st_uid == 0;
    access->isDirectory = S_ISDIR(st.st_mode);
    return 0;
}

int32_t SetFileMode(const std::string& path, uint32_t mode) {
    if (::chmod(path.c_str(), static_cast<mode_t>(mode & 07777)) != 0)
        return LastError();
    return 0;
}

bool IsPrivateFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string TemporaryFolder() {
    const char* env = std::getenv("TMPDIR");
    if (env != nullptr && env[0] == '/' && IsSafeSharedFolder(env)) {
        std::string dir = env;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        return dir;
    }
    return IsSafeSharedFolder("/tmp") ? "/tmp" : "";
}

}  // namespace platform

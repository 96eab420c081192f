// File helpers over POSIX calls: errno values become the results here.
#include "platform/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

namespace platform {
namespace {

std::atomic<int32_t> g_failNextWrite{0};

int32_t LastError() {
    return errno != 0 ? errno : EIO;
}

// Writes all of data to fd, retrying short writes and interruptions.
int32_t WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return LastError();
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

int32_t ReadWholeFile(const std::string& path, std::string* out, size_t maxBytes) {
    out->clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return LastError();
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int32_t err = LastError();
        ::close(fd);
        return err;
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return EFBIG;
    }
    std::string data;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int32_t err = LastError();
            ::close(fd);
            return err;
        }
        if (n == 0)
            break;
        if (data.size() + static_cast<size_t>(n) > maxBytes) {
            ::close(fd);
            return EFBIG;
        }
        data.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    *out = std::move(data);
    return 0;
}

void FailNextAtomicWriteForTesting(int32_t errorCode) {
    g_failNextWrite.store(errorCode);
}

int32_t WriteFileAtomic(const std::string& path, std::string_view data, uint32_t mode) {
    // The temporary name is unique per call so that concurrent writers never share one.
    std::random_device rd;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp%08x", static_cast<unsigned>(rd()));
    std::string tmp = path + suffix;

    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return LastError();
    // The mode is set before any byte is written, so data meant for the owner alone is
    // never readable by others, not even briefly.
    int32_t err = 0;
    if (::fchmod(fd, static_cast<mode_t>(mode & 07777)) != 0)
        err = LastError();
    if (err == 0) {
        int32_t injected = g_failNextWrite.exchange(0);
        if (injected != 0) {
            (void)WriteAll(fd, data.data(), data.size() / 2);  // partial data, then failure
            err = injected;
        } else {
            err = WriteAll(fd, data.data(), data.size());
        }
    }
    // The data must be on disk before the rename makes it the file's contents; otherwise a
    // crash could leave an empty or partial file under the real name.
    if (err == 0 && ::fsync(fd) != 0)
        err = LastError();
    if (::close(fd) != 0 && err == 0)
        err = LastError();
    if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0)
        err = LastError();
    if (err != 0) {
        ::unlink(tmp.c_str());
        return err;
    }
    // Flush the folder so that the rename itself survives a crash. A failure here does not
    // undo the replacement, which is complete; it is not reported.
    int dfd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return 0;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int32_t CreateDirectories(const std::string& path, uint32_t mode) {
    if (path.empty())
        return ENOENT;
    if (DirectoryExists(path))
        return 0;
    std::string parent = DirectoryOf(path);
    if (parent != path && parent != "." && parent != "/" && !DirectoryExists(parent)) {
        int32_t err = CreateDirectories(parent, mode);
        if (err != 0)
            return err;
    }
    if (::mkdir(path.c_str(), static_cast<mode_t>(mode & 07777)) != 0) {
        if (errno == EEXIST && DirectoryExists(path))
            return 0;
        return LastError();
    }
    return 0;
}

int32_t FileMode(const std::string& path, uint32_t* mode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return LastError();
    *mode = static_cast<uint32_t>(st.st_mode & 07777);
    return 0;
}

bool GetFileStamp(const std::string& path, FileStamp* stamp) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        *stamp = FileStamp{};
        return false;
    }
    stamp->device = static_cast<int64_t>(st.st_dev);
    stamp->inode = static_cast<int64_t>(st.st_ino);
    stamp->size = static_cast<int64_t>(st.st_size);
    stamp->mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

int32_t RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0)
        return LastError();
    return 0;
}

std::string JoinPath(const std::string& a, const std::string& b) {
    if (a.empty() || a.back() == '/')
        return a + b;
    return a + "/" + b;
}

std::string FindCaseInsensitive(const std::string& dir, const std::string& name) {
    std::string exact = JoinPath(dir, name);
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0)
        return exact;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr)
        return exact;
    std::string found;
    while (struct dirent* e = ::readdir(d)) {
        if (EqualsNoCaseAscii(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found.empty() ? exact : JoinPath(dir, found);
}

std::string ResolveCaseInsensitive(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return FindCaseInsensitive("", path);
    if (slash + 1 == path.size())
        return path;
    return FindCaseInsensitive(path.substr(0, slash + 1), path.substr(slash + 1));
}

}  // namespace platform

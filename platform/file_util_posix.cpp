// File helpers over POSIX calls: errno values become the results here.
#include "platform/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/fault_plan.h"
#include "platform/file_safety.h"

namespace platform {
namespace {

std::atomic<int32_t> g_failNextWrite{0};

int32_t LastError() {
    return errno != 0 ? errno : EIO;
}

// Opens a file for reading and tells its status; 0, or a positive errno value (EISDIR for a
// folder), with nothing left open on failure.
int32_t OpenForReading(const std::string& path, int* fd, struct stat* st) {
    *fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (*fd < 0)
        return LastError();
    int32_t err = 0;
    if (::fstat(*fd, st) != 0)
        err = LastError();
    else if (S_ISDIR(st->st_mode))
        err = EISDIR;
    if (err != 0) {
        ::close(*fd);
        *fd = -1;
    }
    return err;
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

int32_t WriteAll(int fd, const char* data, size_t size) {
    if (int32_t injected = FileCallFault(FileCall::Write))
        return injected;
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

int32_t ReadWholeFile(const std::string& path, std::string* out, size_t maxBytes) {
    out->clear();
    int fd = -1;
    struct stat st {};
    if (int32_t err = OpenForReading(path, &fd, &st))
        return err;
    if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return EFBIG;
    }
    // Read straight into the result, asking for one byte more than the file's size: a
    // short read then shows the end without another call. A file that grows meanwhile is
    // read on in steps until its end.
    std::string data;
    size_t want = st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 65536;
    for (;;) {
        const size_t have = data.size();  // never above maxBytes here
        const size_t room = maxBytes - have;
        if (room < want - 1)
            want = room + 1;  // one byte past the limit tells that the file is too large
        data.resize(have + want);
        ssize_t n = ::read(fd, data.data() + have, want);
        if (n < 0) {
            data.resize(have);
            if (errno == EINTR)
                continue;
            int32_t err = LastError();
            ::close(fd);
            return err;
        }
        data.resize(have + static_cast<size_t>(n));
        if (data.size() > maxBytes) {
            ::close(fd);
            return EFBIG;
        }
        if (n == 0 || static_cast<size_t>(n) < want)
            break;
        want = 65536;
    }
    ::close(fd);
    *out = std::move(data);
    return 0;
}

void FailNextAtomicWriteForTesting(int32_t errorCode) {
    g_failNextWrite.store(errorCode);
}

namespace {

constexpr uint64_t HASH_M1 = 0x87C37B91114253D5ull;
constexpr uint64_t HASH_M2 = 0x4CF5AD432745937Full;

inline uint64_t RotateLeft(uint64_t v, int bits) {
    return (v << bits) | (v >> (64 - bits));
}

inline uint64_t MixWord(uint64_t h, uint64_t word) {
    word *= HASH_M1;
    word = RotateLeft(word, 31);
    word *= HASH_M2;
    h ^= word;
    return RotateLeft(h, 27) * 5 + 0x52DCE729;
}

}  // namespace

void CDigestBuilder::Add(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_size += size;
    // Words are formed from the stream, not from the pieces, so the split never matters.
    if (m_tailSize > 0) {
        const size_t take = std::min(size, sizeof m_tail - m_tailSize);
        std::memcpy(m_tail + m_tailSize, p, take);
        m_tailSize += take;
        p += take;
        size -= take;
        if (m_tailSize < sizeof m_tail)
            return;
        uint64_t word = 0;
        std::memcpy(&word, m_tail, sizeof word);
        m_state = MixWord(m_state, word);
        m_tailSize = 0;
    }
    uint64_t h = m_state;
    for (; size >= 8; p += 8, size -= 8) {
        uint64_t word = 0;
        std::memcpy(&word, p, sizeof word);
        h = MixWord(h, word);
    }
    m_state = h;
    std::memcpy(m_tail, p, size);
    m_tailSize = size;
}

FileDigest CDigestBuilder::Finish() const {
    uint64_t h = m_state;
    if (m_tailSize > 0) {
        uint64_t word = 0;
        std::memcpy(&word, m_tail, m_tailSize);
        h = MixWord(h, word ^ (static_cast<uint64_t>(m_tailSize) << 56));
    }
    h ^= m_size;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return FileDigest{m_size, h};
}

CFileReader::~CFileReader() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int32_t CFileReader::Open(const std::string& path) {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_size = 0;
    m_error = 0;
    m_digest = CDigestBuilder();
    m_stamp = FileStamp{};
    int fd = -1;
    struct stat st {};
    if (int32_t err = OpenForReading(path, &fd, &st))
        return err;
    m_fd = fd;
    m_size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    m_stamp.device = static_cast<int64_t>(st.st_dev);
    m_stamp.inode = static_cast<int64_t>(st.st_ino);
    m_stamp.size = static_cast<int64_t>(st.st_size);
    m_stamp.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return 0;
}

size_t CFileReader::Read(void* dst, size_t size) {
    if (m_fd < 0 || m_error != 0 || size == 0)
        return 0;
    for (;;) {
        ssize_t n = ::read(m_fd, dst, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = LastError();
            return 0;
        }
        m_digest.Add(dst, static_cast<size_t>(n));
        return static_cast<size_t>(n);
    }
}

CAtomicFileWriter::~CAtomicFileWriter() {
    Discard();
}

int32_t CAtomicFileWriter::Open(const std::string& path, uint32_t mode) {
    Discard();
    m_error = 0;
    m_digest = CDigestBuilder();
    m_path = path;
    // A replaced file keeps its permissions (a user's 0640 stays 0640); a private mode (no
    // group or other bits) also takes those bits away from a file that had them.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        const uint32_t kept = static_cast<uint32_t>(st.st_mode & 0777);
        mode = (mode & 077) == 0 ? (kept & 0700) : kept;
    }
    // Temporary files of earlier replacements whose writer was killed are removed first, so
    // a crash never leaves them for good.
    (void)RemoveAtomicLeftovers(path);
    // The temporary name is unique per call so that concurrent writers never share one; the
    // file is held (locked) while it exists, so a sweep never takes it for a leftover.
    std::random_device rd;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp%08x", static_cast<unsigned>(rd()));
    m_tmp = path + suffix;
    int fd = -1;
    if (int32_t err = CreateHeldFile(m_tmp, mode, &fd)) {
        m_tmp.clear();
        return m_error = err;
    }
    m_fd = fd;
    m_injected = g_failNextWrite.exchange(0);
    return 0;
}

int32_t CAtomicFileWriter::Write(const void* data, size_t size) {
    if (m_error == 0 && m_fd < 0)
        m_error = EBADF;
    if (m_error != 0)
        return m_error;
    m_digest.Add(data, size);
    m_error = WriteAll(m_fd, static_cast<const char*>(data), size);
    return m_error;
}

int32_t CAtomicFileWriter::Commit() {
    if (m_error == 0 && m_fd < 0)
        m_error = EBADF;
    if (m_error == 0 && m_injected != 0)
        m_error = m_injected;
    // The data must be on disk before the rename makes it the file's contents; otherwise a
    // crash could leave an empty or partial file under the real name.
    if (m_error == 0 && (m_error = FileCallFault(FileCall::Fsync)) == 0 && ::fsync(m_fd) != 0)
        m_error = LastError();
    if (m_fd >= 0) {
        if (::close(m_fd) != 0 && m_error == 0)
            m_error = LastError();
        m_fd = -1;
    }
    if (m_error == 0 && (m_error = FileCallFault(FileCall::Rename)) == 0 &&
        ::rename(m_tmp.c_str(), m_path.c_str()) != 0)
        m_error = LastError();
    if (m_error != 0) {
        Discard();
        return m_error;
    }
    m_tmp.clear();
    // Flush the folder so that the rename itself survives a crash. A failure here does not
    // undo the replacement, which is complete; it is not reported.
    int dfd = ::open(DirectoryOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        if (FileCallFault(FileCall::Fsync) == 0)
            (void)::fsync(dfd);
        ::close(dfd);
    }
    return 0;
}

void CAtomicFileWriter::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tmp.empty()) {
        // An injected failure leaves the temporary file behind, as a failing unlink would.
        if (FileCallFault(FileCall::Unlink) == 0)
            ::unlink(m_tmp.c_str());
        m_tmp.clear();
    }
    m_injected = 0;
}

int32_t WriteFileAtomic(const std::string& path, std::string_view data, uint32_t mode) {
    CAtomicFileWriter writer;
    int32_t err = writer.Open(path, mode);
    if (err != 0)
        return err;
    (void)writer.Write(data.data(), data.size());  // a failure is kept and returned by Commit
    return writer.Commit();
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
    if (int32_t injected = FileCallFault(FileCall::Unlink))
        return injected;
    if (::unlink(path.c_str()) != 0)
        return LastError();
    return 0;
}

std::string CurrentDirectory() {
    std::string buffer(4096, '\0');
    if (::getcwd(buffer.data(), buffer.size()) == nullptr)
        return std::string();
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

int32_t SetCurrentDirectory(const std::string& path) {
    if (::chdir(path.c_str()) != 0)
        return LastError();
    return 0;
}

int32_t RenameFile(const std::string& from, const std::string& to) {
    if (int32_t injected = FileCallFault(FileCall::Rename))
        return injected;
    if (::rename(from.c_str(), to.c_str()) != 0)
        return LastError();
    int dfd = ::open(DirectoryOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        if (FileCallFault(FileCall::Fsync) == 0)
            (void)::fsync(dfd);
        ::close(dfd);
    }
    return 0;
}

CAppendFile::~CAppendFile() {
    Close();
}

int32_t CAppendFile::Open(const std::string& path, uint32_t mode) {
    Close();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                    static_cast<mode_t>(mode & 07777));
    if (fd < 0)
        return LastError();
    m_fd = fd;
    return 0;
}

int32_t CAppendFile::Append(std::string_view data, bool durable) {
    if (m_fd < 0)
        return EBADF;
    if (int32_t e = WriteAll(m_fd, data.data(), data.size()))
        return e;
    if (durable) {
        if (int32_t injected = FileCallFault(FileCall::Fsync))
            return injected;
        if (::fsync(m_fd) != 0)
            return LastError();
    }
    return 0;
}

void CAppendFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
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

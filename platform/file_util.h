// Whole-file reading, crash-safe replacement of files, and case-insensitive file names.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace platform {

// Writes all of `data` to the open descriptor `fd`, retrying short writes and interruptions.
// 0, or a positive errno value.
[[nodiscard]] int32_t WriteAll(int fd, const char* data, size_t size);

// Reads the whole file at `path` into *out (replacing its contents).
// Returns 0, or a positive errno value: ENOENT when the file is missing, EISDIR for a folder,
// EFBIG when the file is larger than maxBytes (nothing is read then).
[[nodiscard]] int32_t ReadWholeFile(const std::string& path, std::string* out,
                                    size_t maxBytes = std::numeric_limits<size_t>::max());

// Replaces the file at `path` with `data` so that a crash or failure never leaves a
// half-written file: the data goes to a new temporary file in the same folder, which gets
// its mode (before anything is written to it), is flushed to disk and then renamed over
// `path`; finally the folder itself is flushed. On any failure the temporary file is
// removed, the previous file is left exactly as it was, and a positive errno value is
// returned; 0 on success. The folder must exist.
// Mode: a new file gets `mode`; a file replaced keeps its own permission bits, except that
// a private `mode` (no group or other bits) removes the group and other bits it had.
// Temporary files that killed replacements of `path` left behind are removed first.
[[nodiscard]] int32_t WriteFileAtomic(const std::string& path, std::string_view data,
                                      uint32_t mode = 0644);

// Identity of a file's current contents: changes when the file is replaced or written.
struct FileStamp {
    int64_t device = 0;
    int64_t inode = 0;
    int64_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// Size and 64-bit hash of a byte stream, the same however the bytes were split into
// calls: two files with equal digests hold the same bytes (barring a 2^-64 accident).
struct FileDigest {
    uint64_t size = 0;
    uint64_t hash = 0;
    bool operator==(const FileDigest&) const = default;
};

// Computes a FileDigest over bytes given in pieces of any size.
class CDigestBuilder {
public:
    void Add(const void* data, size_t size);
    FileDigest Finish() const;

private:
    uint64_t m_state = 0x9E3779B97F4A7C15ull;
    uint64_t m_size = 0;
    uint8_t m_tail[8] = {};  // bytes of a word not yet complete
    size_t m_tailSize = 0;
};

// Reads a file front to back in pieces, keeping a digest of what it read.
class CFileReader {
public:
    CFileReader() = default;
    ~CFileReader();
    CFileReader(const CFileReader&) = delete;
    CFileReader& operator=(const CFileReader&) = delete;

    // 0, or a positive errno value (ENOENT when missing, EISDIR for a folder).
    [[nodiscard]] int32_t Open(const std::string& path);
    // The file's size when it was opened.
    uint64_t Size() const { return m_size; }
    // Reads up to `size` bytes into dst: the count read, 0 at the end of the file or after
    // an error (Error() then tells which).
    size_t Read(void* dst, size_t size);
    int32_t Error() const { return m_error; }
    // Digest of every byte read so far.
    FileDigest Digest() const { return m_digest.Finish(); }
    // Identity of the open file, taken when it was opened.
    const FileStamp& Stamp() const { return m_stamp; }

private:
    int m_fd = -1;
    uint64_t m_size = 0;
    int32_t m_error = 0;
    CDigestBuilder m_digest;
    FileStamp m_stamp;
};

// Replaces a file by streaming its new contents, with the guarantees of WriteFileAtomic:
// Open creates a new temporary file in the folder of `path` with `mode` set before any
// data, Write appends to it, and Commit flushes it to disk, renames it over `path` and
// flushes the folder. Until Commit succeeds the file at `path` is untouched; Discard (or
// the destructor) removes the temporary file. A failed Write is sticky: later writes do
// nothing and Commit returns the first error and removes the temporary file.
class CAtomicFileWriter {
public:
    CAtomicFileWriter() = default;
    ~CAtomicFileWriter();
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;

    // 0 or a positive errno value; the folder must exist. `mode` as for WriteFileAtomic.
    [[nodiscard]] int32_t Open(const std::string& path, uint32_t mode = 0644);
    // 0 or the (sticky) positive errno value of the first failure.
    int32_t Write(const void* data, size_t size);
    // 0 when `path` now holds exactly the bytes written; else a positive errno value, and
    // the previous file is left as it was.
    [[nodiscard]] int32_t Commit();
    // Drops the temporary file; the file at `path` stays as it was.
    void Discard();
    int32_t Error() const { return m_error; }
    // Digest of every byte given to Write.
    FileDigest Digest() const { return m_digest.Finish(); }

private:
    std::string m_path;
    std::string m_tmp;
    int m_fd = -1;
    int32_t m_error = 0;
    int32_t m_injected = 0;  // failure injected for a test, reported at Commit
    CDigestBuilder m_digest;
};

// Makes the next atomic replacement (WriteFileAtomic, or the Commit of the next
// CAtomicFileWriter opened) fail with `errorCode` once its data is in the temporary file
// (0 clears it). Test hook; never used by production code.
void FailNextAtomicWriteForTesting(int32_t errorCode);

bool FileExists(const std::string& path);       // a regular file (or a link to one)
bool DirectoryExists(const std::string& path);  // a folder (or a link to one)

// Creates `path` and any missing parent folders with `mode` (new folders only).
// 0 when the folder exists afterwards, else a positive errno value.
[[nodiscard]] int32_t CreateDirectories(const std::string& path, uint32_t mode = 0755);

// Permission bits of an existing file in *mode; 0 or a positive errno value.
[[nodiscard]] int32_t FileMode(const std::string& path, uint32_t* mode);

// false when the file does not exist (stamp then reset to the default value).
bool GetFileStamp(const std::string& path, FileStamp* stamp);

// Removes a file; 0, or a positive errno value (ENOENT when it did not exist).
[[nodiscard]] int32_t RemoveFile(const std::string& path);

// Renames a file (replacing `to`) and flushes the folder of `to`; 0 or a positive errno value.
[[nodiscard]] int32_t RenameFile(const std::string& from, const std::string& to);

// A file that lines are appended to (a log, a journal). Each Append is one write of the whole
// text at the end of the file; with `durable` it is also flushed to disk before it returns.
class CAppendFile {
public:
    CAppendFile() = default;
    ~CAppendFile();
    CAppendFile(const CAppendFile&) = delete;
    CAppendFile& operator=(const CAppendFile&) = delete;

    // Opens (creating with `mode` when missing); 0 or a positive errno value.
    [[nodiscard]] int32_t Open(const std::string& path, uint32_t mode = 0600);
    // 0 or a positive errno value (EBADF when not open).
    [[nodiscard]] int32_t Append(std::string_view data, bool durable);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// a + "/" + b; no '/' is inserted when a is empty or already ends with '/'.
std::string JoinPath(const std::string& a, const std::string& b);

// The existing entry of `dir` whose name equals `name` ignoring ASCII case (an exact match
// is preferred), else JoinPath(dir, name): names given in mixed case find existing files
// whatever their case, and new files get the spelling given.
std::string FindCaseInsensitive(const std::string& dir, const std::string& name);

// Like FindCaseInsensitive for the last component of `path` ("a/b/Sync.ini").
std::string ResolveCaseInsensitive(const std::string& path);

// The process's current directory ("" when it cannot be told), and changing it (0 or a
// positive errno value).
std::string CurrentDirectory();
[[nodiscard]] int32_t SetCurrentDirectory(const std::string& path);

}  // namespace platform

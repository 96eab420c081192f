// Whole-file reading, crash-safe replacement of files, and case-insensitive file names.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace platform {

// Reads the whole file at `path` into *out (replacing its contents).
// Returns 0, or a positive errno value: ENOENT when the file is missing, EISDIR for a folder,
// EFBIG when the file is larger than maxBytes (nothing is read then).
[[nodiscard]] int32_t ReadWholeFile(const std::string& path, std::string* out,
                                    size_t maxBytes = std::numeric_limits<size_t>::max());

// Replaces the file at `path` with `data` so that a crash or failure never leaves a
// half-written file: the data goes to a new temporary file in the same folder, which gets
// `mode` (before anything is written to it), is flushed to disk and then renamed over
// `path`; finally the folder itself is flushed. On any failure the temporary file is
// removed, the previous file is left exactly as it was, and a positive errno value is
// returned; 0 on success. The folder must exist.
[[nodiscard]] int32_t WriteFileAtomic(const std::string& path, std::string_view data,
                                      uint32_t mode = 0644);

// Makes the next WriteFileAtomic fail with `errorCode` after half of its data has been
// written to the temporary file (0 clears it). Test hook; never used by production code.
void FailNextAtomicWriteForTesting(int32_t errorCode);

bool FileExists(const std::string& path);       // a regular file (or a link to one)
bool DirectoryExists(const std::string& path);  // a folder (or a link to one)

// Creates `path` and any missing parent folders with `mode` (new folders only).
// 0 when the folder exists afterwards, else a positive errno value.
[[nodiscard]] int32_t CreateDirectories(const std::string& path, uint32_t mode = 0755);

// Permission bits of an existing file in *mode; 0 or a positive errno value.
[[nodiscard]] int32_t FileMode(const std::string& path, uint32_t* mode);

// Identity of a file's current contents: changes when the file is replaced or written.
struct FileStamp {
    int64_t device = 0;
    int64_t inode = 0;
    int64_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// false when the file does not exist (stamp then reset to the default value).
bool GetFileStamp(const std::string& path, FileStamp* stamp);

// Removes a file; 0, or a positive errno value (ENOENT when it did not exist).
[[nodiscard]] int32_t RemoveFile(const std::string& path);

// a + "/" + b; no '/' is inserted when a is empty or already ends with '/'.
std::string JoinPath(const std::string& a, const std::string& b);

// The existing entry of `dir` whose name equals `name` ignoring ASCII case (an exact match
// is preferred), else JoinPath(dir, name): names given in mixed case find existing files
// whatever their case, and new files get the spelling given.
std::string FindCaseInsensitive(const std::string& dir, const std::string& name);

// Like FindCaseInsensitive for the last component of `path` ("a/b/Sync.ini").
std::string ResolveCaseInsensitive(const std::string& path);

}  // namespace platform

// What a crash leaves behind and which folders are safe: removal of leftover temporary
// files, temporary files held by their writer, ownership and permission checks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Creates a new file `path` (never an existing one) with `mode` and holds an exclusive
// advisory lock (flock) on it for as long as the descriptor stays open: a writer's
// temporary file is then never taken for a crash's leftover while its writer lives.
// 0 and the descriptor in *fd, or a positive errno value (nothing created then).
[[nodiscard]] int32_t CreateHeldFile(const std::string& path, uint32_t mode, int* fd);

// Closes a descriptor of CreateHeldFile: the file may then be taken for a leftover.
void ReleaseHeldFile(int fd);

// Writes `data` into a new file `temporaryPath` (held as CreateHeldFile does, with `mode`),
// flushes it to disk, renames it to `finalPath` and flushes that folder: the way a Maildir
// delivery works, so `finalPath` only ever shows whole files. On failure the temporary
// file is removed and a positive errno value returned; 0 on success.
[[nodiscard]] int32_t WriteThroughTemporary(const std::string& temporaryPath,
                                            const std::string& finalPath, std::string_view data,
                                            uint32_t mode);

// True when `candidate` is the name of a temporary file of an atomic replacement of a file
// named `name`: name + ".tmp" + eight hexadecimal digits.
bool IsAtomicTemporaryName(std::string_view candidate, std::string_view name);

// Removes, from the folder `dir`, regular files that a killed writer left behind:
// - files for which `isOurs(name)` holds are removed at once, unless a live writer still
//   holds them (CreateHeldFile);
// - when `othersMaxAgeSeconds` is not negative, every other regular file that was neither
//   read nor written for more than that many seconds (access and modification times).
// Only files owned by the caller are removed; links and folders are never touched, nor is
// anything outside `dir`. Answers the number of files removed.
int RemoveLeftoverFiles(const std::string& dir, const std::function<bool(std::string_view)>& isOurs,
                        int64_t othersMaxAgeSeconds);

// Removes the temporary files of interrupted atomic replacements of `path` (see
// IsAtomicTemporaryName) that no live writer holds. Answers the number removed.
int RemoveAtomicLeftovers(const std::string& path);

// Owner and permissions of an existing file or folder (links followed).
struct FileAccess {
    uint32_t mode = 0;         // permission bits (07777)
    bool ownedByMe = false;    // owned by the calling process's effective user
    bool ownedByRoot = false;  // owned by the super-user
    bool isDirectory = false;
};
// 0 or a positive errno value (ENOENT when missing).
[[nodiscard]] int32_t GetFileAccess(const std::string& path, FileAccess* access);

// Sets the permission bits of an existing file; 0 or a positive errno value.
[[nodiscard]] int32_t SetFileMode(const std::string& path, uint32_t mode);

// True when `path` is a folder of the caller's own that nobody else can write to, so files
// kept in it cannot be replaced or read through links planted by others.
bool IsPrivateFolder(const std::string& path);

// The folder for temporary files: $TMPDIR when it names an absolute folder that is safe,
// else "/tmp" when that is safe, else "" (no temporary folder may be used). Safe: owned by
// the caller or by root, and, when others may write to it, marked sticky (so that nobody
// can remove or rename another user's files in it).
std::string TemporaryFolder();

}  // namespace platform

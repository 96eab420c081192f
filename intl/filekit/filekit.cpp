// The file library over C stdio: a process-wide table of open files behind
// small integer handles, and the append-only log writer.
#include "intl/filekit/filekit.h"

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

static_assert(offsetof(tccIntlNftRecord, message) == 2);
static_assert(offsetof(tccIntlNftRecord, reserved1) == 10);
static_assert(offsetof(tccIntlNftRecord, source) == 14);
static_assert(offsetof(tccIntlNftRecord, reserved2) == 22);
static_assert(sizeof(tccIntlNftRecord) == 44);

namespace {

constexpr size_t MAX_OPEN_FILES = 4096;

struct OpenFile {
    std::FILE* stream = nullptr;
    std::mutex lock;  // one operation at a time on a handle
};

// Handles are indices + 1 into this table; slots are never freed, only
// emptied, so a handle's slot address stays stable for the lock.
std::mutex g_tableLock;
std::vector<std::unique_ptr<OpenFile>> g_files;

int32_t ErrnoToCode(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return CFILE_ERR_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return CFILE_ERR_ACCESS;
        case EMFILE:
        case ENFILE:
            return CFILE_ERR_TOO_MANY;
        default:
            return CFILE_ERR_IO;
    }
}

OpenFile* Lookup(int32_t handle) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    if (handle <= 0 || static_cast<size_t>(handle) > g_files.size()) {
        return nullptr;
    }
    return g_files[static_cast<size_t>(handle) - 1].get();
}

}  // namespace

extern "C" {

FILEKIT_EXPORT int32_t cFileOpen(const char* path, uint32_t mode, int32_t* handle) {
    if (path == nullptr || handle == nullptr) {
        return CFILE_ERR_BAD_ARGUMENT;
    }
    const uint32_t access = mode & 0x0F;
    if ((mode & ~0x4Fu) != 0 || (access != CFILE_MODE_READ && access != CFILE_MODE_READ_WRITE)) {
        return CFILE_ERR_BAD_ARGUMENT;
    }
    errno = 0;
    std::FILE* stream = std::fopen(path, access == CFILE_MODE_READ ? "rb" : "r+b");
    if (stream == nullptr) {
        return ErrnoToCode(errno);
    }
    try {
        std::lock_guard<std::mutex> guard(g_tableLock);
        size_t slot = 0;
        while (slot < g_files.size() && g_files[slot]->stream != nullptr) {
            ++slot;
        }
        if (slot == g_files.size()) {
            if (slot >= MAX_OPEN_FILES) {
                std::fclose(stream);
                return CFILE_ERR_TOO_MANY;
            }
            g_files.push_back(std::make_unique<OpenFile>());
        }
        g_files[slot]->stream = stream;
        *handle = static_cast<int32_t>(slot + 1);
        return CFILE_OK;
    } catch (...) {
        std::fclose(stream);
        return CFILE_ERR_TOO_MANY;
    }
}

FILEKIT_EXPORT int32_t cFileRead(int32_t handle, void* buffer, uint32_t count,
                                 uint32_t* countRead) {
    if (countRead != nullptr) {
        *countRead = 0;
    }
    OpenFile* file = Lookup(handle);
    if (file == nullptr) {
        return CFILE_ERR_BAD_HANDLE;
    }
    if (buffer == nullptr && count != 0) {
        return CFILE_ERR_BAD_ARGUMENT;
    }
    std::lock_guard<std::mutex> guard(file->lock);
    if (file->stream == nullptr) {
        return CFILE_ERR_BAD_HANDLE;
    }
    const size_t got = count == 0 ? 0 : std::fread(buffer, 1, count, file->stream);
    if (countRead != nullptr) {
        *countRead = static_cast<uint32_t>(got);
    }
    if (got == count) {
        return CFILE_OK;
    }
    return std::ferror(file->stream) ? CFILE_ERR_IO : CFILE_ERR_END_OF_FILE;
}

FILEKIT_EXPORT int32_t cFileSeek(int32_t handle, int64_t offset, int32_t origin,
                                 int64_t* newPosition) {
    OpenFile* file = Lookup(handle);
    if (file == nullptr) {
        return CFILE_ERR_BAD_HANDLE;
    }
    int whence = SEEK_SET;
    switch (origin) {
        case CFILE_SEEK_START:
            whence = SEEK_SET;
            break;
        case CFILE_SEEK_CURRENT:
            whence = SEEK_CUR;
            break;
        case CFILE_SEEK_END:
            whence = SEEK_END;
            break;
        default:
            return CFILE_ERR_BAD_ARGUMENT;
    }
    std::lock_guard<std::mutex> guard(file->lock);
    if (file->stream == nullptr) {
        return CFILE_ERR_BAD_HANDLE;
    }
    if (std::fseek(file->stream, static_cast<long>(offset), whence) != 0) {
        return CFILE_ERR_BAD_ARGUMENT;
    }
    const long position = std::ftell(file->stream);
    if (position < 0) {
        return CFILE_ERR_IO;
    }
    if (newPosition != nullptr) {
        *newPosition = position;
    }
    return CFILE_OK;
}

FILEKIT_EXPORT int32_t cFileClose(int32_t handle) {
    OpenFile* file = Lookup(handle);
    if (file == nullptr) {
        return CFILE_ERR_BAD_HANDLE;
    }
    std::FILE* stream = nullptr;
    {
        std::lock_guard<std::mutex> guard(file->lock);
        stream = file->stream;
        file->stream = nullptr;
    }
    if (stream == nullptr) {
        return CFILE_ERR_BAD_HANDLE;
    }
    return std::fclose(stream) == 0 ? CFILE_OK : CFILE_ERR_IO;
}

FILEKIT_EXPORT int32_t cFileBuildNftBuffer(int32_t kind, const tccIntlNftRecord* record,
                                           char* buffer) {
    if (buffer == nullptr) {
        return CFILE_ERR_BAD_ARGUMENT;
    }
    buffer[0] = '\0';
    if (kind != 0 || record == nullptr) {
        return CFILE_ERR_BAD_ARGUMENT;
    }
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{now - day};
    std::snprintf(buffer, CFILE_NFT_BUFFER_SIZE, "%04d-%02u-%02u %02d:%02d:%02dZ %s: %s\n",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()),
                  record->source != nullptr ? record->source : "",
                  record->message != nullptr ? record->message : "");
    // A cut line still ends with its line break.
    const size_t length = std::strlen(buffer);
    if (length == CFILE_NFT_BUFFER_SIZE - 1 && buffer[length - 1] != '\n') {
        buffer[length - 1] = '\n';
    }
    return CFILE_OK;
}

FILEKIT_EXPORT int32_t cFileWriteToFile(const char* path, const char* buffer) {
    if (path == nullptr || buffer == nullptr) {
        return CFILE_ERR_BAD_ARGUMENT;
    }
    errno = 0;
    std::FILE* stream = std::fopen(path, "ab");
    if (stream == nullptr) {
        return ErrnoToCode(errno);
    }
    const size_t length = std::strlen(buffer);
    const bool written = std::fwrite(buffer, 1, length, stream) == length;
    const bool closed = std::fclose(stream) == 0;
    return written && closed ? CFILE_OK : CFILE_ERR_IO;
}

}  // extern "C"

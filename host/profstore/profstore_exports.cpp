// The exported C calls of libprofstore.so.
#include <cstring>
#include <string>

#include "host/profstore/prof_store.h"
#include "host/profstore/profstore.h"
#include "platform/export_guard.h"

namespace {

template <typename F>
int32_t Guard(F&& f) {
    return platform::GuardExport(PROF_ERR_GENERIC, std::forward<F>(f));
}

profstore::CProfStore& P() {
    return profstore::CProfStore::Default();
}

// Copies text cut to *size - 1 bytes with its terminator; *size = length copied.
void CopyCut(const std::string& text, char* buffer, int32_t* size) {
    size_t n = text.size();
    if (n > static_cast<size_t>(*size - 1))
        n = static_cast<size_t>(*size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    *size = static_cast<int32_t>(n);
}

// Copies text whole, or answers PROF_ERR_BAD_ARGUMENT with *size = length needed.
int32_t CopyWhole(const std::string& text, char* buffer, int32_t* size) {
    if (text.size() + 1 > static_cast<size_t>(*size)) {
        *size = static_cast<int32_t>(text.size() + 1);
        return PROF_ERR_BAD_ARGUMENT;
    }
    CopyCut(text, buffer, size);
    return PROF_ERR_NONE;
}

}  // namespace

extern "C" {

int32_t ProfUserOfFolder(const char* folder, int32_t* user) {
    return Guard([&] {
        if (folder == nullptr || user == nullptr)
            return PROF_ERR_BAD_ARGUMENT;
        return P().UserOfFolder(folder, user);
    });
}

int32_t ProfUserOfName(const char* name, int32_t* user) {
    return Guard([&] {
        if (name == nullptr || user == nullptr)
            return PROF_ERR_BAD_ARGUMENT;
        return P().UserOfName(name, user);
    });
}

int32_t ProfReadText(int32_t user, const char* section, const char* key, char* buffer,
                     int32_t* size, const char* def) {
    return Guard([&] {
        if (buffer == nullptr || size == nullptr || *size < 1)
            return PROF_ERR_BAD_ARGUMENT;
        std::string value;
        int32_t e = P().ReadText(user, section, key, def, &value);
        if (e != PROF_ERR_NONE) {
            buffer[0] = '\0';
            *size = 0;
            return e;
        }
        CopyCut(value, buffer, size);
        return PROF_ERR_NONE;
    });
}

int32_t ProfReadNumber(int32_t user, const char* section, const char* key, int16_t* value,
                       int16_t def) {
    return Guard([&] { return P().ReadNumber(user, section, key, def, value); });
}

int32_t ProfWriteText(int32_t user, const char* section, const char* key, const char* value) {
    return Guard([&] { return P().WriteText(user, section, key, value); });
}

int32_t ProfSetOperationUser(int32_t user) {
    return Guard([&] { return P().SetOperationUser(user); });
}

int32_t ProfUserFolder(int32_t user, char* buffer, int32_t* size) {
    return Guard([&] {
        if (buffer == nullptr || size == nullptr || *size < 1)
            return PROF_ERR_BAD_ARGUMENT;
        profstore::UserInfo info;
        if (int32_t e = P().FindUser(user, &info))
            return e;
        return CopyWhole(info.folder, buffer, size);
    });
}

int32_t ProfUserName(int32_t user, char* buffer, int32_t* size) {
    return Guard([&] {
        if (buffer == nullptr || size == nullptr || *size < 1)
            return PROF_ERR_BAD_ARGUMENT;
        profstore::UserInfo info;
        if (int32_t e = P().FindUser(user, &info))
            return e;
        return CopyWhole(info.name, buffer, size);
    });
}

}  // extern "C"

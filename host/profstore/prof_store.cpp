// Desktop users and their "Sync.ini" settings.
#include "host/profstore/prof_store.h"

#include <cerrno>
#include <filesystem>
#include <memory>

#include "host/profstore/profstore.h"
#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "setup/users/user_mgr.h"

namespace profstore {
namespace {

constexpr size_t SETTINGS_FILE_MAX = 1 << 20;
// Profile values longer than this are cut, as any profile read with a fixed buffer is.
constexpr uint32_t VALUE_MAX = 32768;

// Loads the user list; a missing or damaged "users.dat" is PROF_ERR_USER_STORE.
int32_t LoadUsers(const std::string& dataFolder, users::CUserMgr* mgr) {
    std::string root = dataFolder;
    if (root.empty() || root.back() != '/')
        root += '/';
    return mgr->LoadUsers(root) == users::USERS_OK ? PROF_ERR_NONE : PROF_ERR_USER_STORE;
}

// "a/b/../c/" and "a/b/c" name the same folder.
std::string NormalFolder(const std::string& path) {
    std::string s = std::filesystem::path(path).lexically_normal().string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

}  // namespace

CProfStore::CProfStore(std::string dataFolder) : m_dataFolder(std::move(dataFolder)) {}

CProfStore& CProfStore::Default() {
    static CProfStore store(platform::DesktopDataFolder());
    return store;
}

int32_t CProfStore::UserOfFolder(const std::string& folder, int32_t* user) const {
    users::CUserMgr mgr;
    if (int32_t e = LoadUsers(m_dataFolder, &mgr))
        return e;
    std::string wanted = NormalFolder(folder);
    for (const auto& u : mgr.Users()) {
        if (u->m_userDirectory.empty())
            continue;
        std::string candidate = NormalFolder(platform::JoinPath(m_dataFolder, u->m_userDirectory));
        // Folder names are compared without regard to case, as the wizard does.
        if (platform::CompareNoCaseMb(candidate, wanted) == 0) {
            *user = static_cast<int32_t>(u->m_userId);
            return PROF_ERR_NONE;
        }
    }
    return PROF_ERR_NO_USER;
}

int32_t CProfStore::UserOfName(const std::string& name, int32_t* user) const {
    users::CUserMgr mgr;
    if (int32_t e = LoadUsers(m_dataFolder, &mgr))
        return e;
    users::CUser* u = mgr.FindUserByName(name);
    if (u == nullptr)
        return PROF_ERR_NO_USER;
    *user = static_cast<int32_t>(u->m_userId);
    return PROF_ERR_NONE;
}

int32_t CProfStore::FindUser(int32_t user, UserInfo* info) const {
    if (user == PROF_OPERATION_USER)
        user = m_operationUser;
    if (user == 0 || user == PROF_OPERATION_USER)
        return PROF_ERR_NO_USER;
    users::CUserMgr mgr;
    if (int32_t e = LoadUsers(m_dataFolder, &mgr))
        return e;
    users::CUser* u = mgr.FindUserById(static_cast<uint32_t>(user));
    if (u == nullptr || u->m_userDirectory.empty())
        return PROF_ERR_NO_USER;
    info->handle = user;
    info->name = u->m_userName;
    info->folder = platform::JoinPath(m_dataFolder, u->m_userDirectory);
    return PROF_ERR_NONE;
}

int32_t CProfStore::SetOperationUser(int32_t user) {
    if (user == 0) {
        m_operationUser = 0;
        return PROF_ERR_NONE;
    }
    UserInfo info;
    if (int32_t e = FindUser(user, &info))
        return e;
    m_operationUser = info.handle;
    return PROF_ERR_NONE;
}

int32_t CProfStore::SettingsPath(int32_t user, std::string* path) const {
    UserInfo info;
    if (int32_t e = FindUser(user, &info))
        return e;
    *path = platform::FindCaseInsensitive(info.folder, "Sync.ini");
    return PROF_ERR_NONE;
}

int32_t CProfStore::CheckSettingsFile(const std::string& path) const {
    std::string text;
    int32_t e = platform::ReadWholeFile(path, &text, SETTINGS_FILE_MAX);
    if (e == ENOENT)
        return PROF_ERR_NONE;  // a missing file reads as empty
    if (e != 0)
        return PROF_ERR_SETTINGS;
    if (text.find('\0') != std::string::npos)
        return PROF_ERR_SETTINGS;
    return PROF_ERR_NONE;
}

int32_t CProfStore::ReadText(int32_t user, const char* section, const char* key, const char* def,
                             std::string* value) const {
    if (section == nullptr || key == nullptr)
        return PROF_ERR_BAD_ARGUMENT;
    std::string path;
    if (int32_t e = SettingsPath(user, &path))
        return e;
    if (int32_t e = CheckSettingsFile(path))
        return e;
    auto buffer = std::make_unique<char[]>(VALUE_MAX);
    uint32_t n = platform::GetPrivateProfileString(section, key, def == nullptr ? "" : def,
                                                   buffer.get(), VALUE_MAX, path);
    value->assign(buffer.get(), n);
    return PROF_ERR_NONE;
}

int32_t CProfStore::ReadNumber(int32_t user, const char* section, const char* key, int16_t def,
                               int16_t* value) const {
    if (section == nullptr || key == nullptr || value == nullptr)
        return PROF_ERR_BAD_ARGUMENT;
    std::string path;
    if (int32_t e = SettingsPath(user, &path))
        return e;
    if (int32_t e = CheckSettingsFile(path))
        return e;
    *value = static_cast<int16_t>(platform::GetPrivateProfileInt(section, key, def, path));
    return PROF_ERR_NONE;
}

int32_t CProfStore::WriteText(int32_t user, const char* section, const char* key,
                              const char* value) const {
    if (section == nullptr || key == nullptr || value == nullptr)
        return PROF_ERR_BAD_ARGUMENT;
    std::string path;
    if (int32_t e = SettingsPath(user, &path))
        return e;
    // A damaged file is left for a person to look at rather than rewritten from a guess.
    if (int32_t e = CheckSettingsFile(path))
        return e;
    return platform::WritePrivateProfileString(section, key, value, path) ? PROF_ERR_NONE
                                                                          : PROF_ERR_WRITE;
}

}  // namespace profstore

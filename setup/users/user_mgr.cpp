// The desktop user list: serialising "users.dat", iteration, folder names and ids.
#include "setup/users/user_mgr.h"

#include <chrono>
#include <random>

#include "platform/code_page.h"
#include "platform/file_util.h"

namespace users {
namespace {

constexpr const char USERS_FILE[] = "users.dat";
// Characters that end the part of a user name a folder name is made from.
constexpr std::string_view NAME_STOP_SET = "*+,./:;<=>?[]|\\^\"";
constexpr size_t FOLDER_NAME_MAX = 8;
constexpr size_t FOLDER_BASE_MAX = 6;
// A users.dat larger than this is not a user list.
constexpr size_t USERS_FILE_MAX = 64u << 20;

const bool g_registered =
    platform::RegisterClass("CUserSyncPreference", 1, &CUserSyncPreference::Create) &&
    platform::RegisterClass("CUser", 1, &CUser::Create) &&
    platform::RegisterClass("CUserMgr", 1, &CUserMgr::Create) &&
    platform::RegisterClass("CDesktopOptions", 1, &CDesktopOptions::Create);

// A count followed by tagged objects of class T; loading refuses null and foreign entries.
template <class T>
void SerializeList(platform::CArchive& ar, std::vector<std::unique_ptr<T>>& list,
                   const char* className) {
    if (ar.IsStoring()) {
        uint32_t count = static_cast<uint32_t>(list.size());
        ar.Count(count);
        for (const auto& item : list)
            ar.WriteObject(item.get());
        return;
    }
    list.clear();
    uint32_t count = 0;
    ar.Count(count);
    // Every element takes at least its two-byte tag.
    if (!ar.CheckCount(count, 2))
        return;
    for (uint32_t i = 0; i < count && ar.Ok(); ++i) {
        std::unique_ptr<platform::CObject> object;
        ar.ReadObject(&object, className);
        if (!ar.Ok())
            return;
        if (object == nullptr) {
            ar.SetError(platform::AR_GENERIC);
            return;
        }
        list.emplace_back(static_cast<T*>(object.release()));
    }
}

int32_t SetPref(PreferenceList& list, uint32_t creator, uint32_t action) {
    for (auto& pref : list) {
        if (pref->m_creator == creator) {
            pref->m_action = action;
            return 1;
        }
    }
    list.push_back(std::make_unique<CUserSyncPreference>(creator, action));
    return 1;
}

int32_t GetPref(const PreferenceList& list, uint32_t creator, uint32_t* action) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i]->m_creator == creator) {
            *action = list[i]->m_action;
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

}  // namespace

void CUserSyncPreference::Serialize(platform::CArchive& ar) {
    ar.U32(m_creator);
    ar.U32(m_action);
}

std::unique_ptr<platform::CObject> CUserSyncPreference::Create() {
    return std::make_unique<CUserSyncPreference>();
}

void CUser::Serialize(platform::CArchive& ar) {
    ar.U32(m_userId);
    ar.String(m_userName);
    ar.String(m_userDirectory);
    ar.U16(m_infoWord);
    // The length is a signed value in the file: zero or negative means no bytes follow.
    // Never more than the 32 bytes a user holds: a larger length set in memory is stored as
    // 32 (a file claiming more could not be read back), and one read from a file marks a
    // damaged record whose bytes are never read.
    uint32_t stored = m_infoLength;
    if (static_cast<int32_t>(stored) > static_cast<int32_t>(INFO_BYTES))
        stored = ar.IsStoring() ? INFO_BYTES : stored;
    ar.U32(stored);
    int32_t length = static_cast<int32_t>(stored);
    if (ar.IsLoading()) {
        m_infoLength = stored;
        if (length > static_cast<int32_t>(INFO_BYTES)) {
            ar.SetError(platform::AR_GENERIC);
            return;
        }
    }
    if (length > 0)
        ar.Bytes(m_infoBytes, static_cast<size_t>(length));
    SerializeList(ar, m_syncPrefs1, "CUserSyncPreference");
    SerializeList(ar, m_syncPrefs2, "CUserSyncPreference");
}

std::unique_ptr<platform::CObject> CUser::Create() {
    return std::make_unique<CUser>();
}

int32_t CUser::SetPref1(uint32_t creator, uint32_t action) {
    return SetPref(m_syncPrefs1, creator, action);
}

int32_t CUser::SetPref2(uint32_t creator, uint32_t action) {
    return SetPref(m_syncPrefs2, creator, action);
}

int32_t CUser::GetPref1(uint32_t creator, uint32_t* action) const {
    return GetPref(m_syncPrefs1, creator, action);
}

int32_t CUser::GetPref2(uint32_t creator, uint32_t* action) const {
    return GetPref(m_syncPrefs2, creator, action);
}

void CDesktopOptions::Serialize(platform::CArchive& ar) {
    // A version text precedes the option; its value is not used when reading.
    std::string version = "1";
    ar.String(version);
    ar.U32(m_option);
}

std::unique_ptr<platform::CObject> CDesktopOptions::Create() {
    return std::make_unique<CDesktopOptions>();
}

CUserMgr::CUserMgr() {
    (void)g_registered;  // referenced so the registrations are linked with this class
}

void CUserMgr::Serialize(platform::CArchive& ar) {
    SerializeList(ar, m_users, "CUser");
}

std::unique_ptr<platform::CObject> CUserMgr::Create() {
    return std::make_unique<CUserMgr>();
}

int32_t CUserMgr::LoadUsers(const std::string& folder) {
    m_rootDirectory = folder;
    m_users.clear();
    m_cursor = -1;
    std::string data;
    std::string path =
        platform::ResolveCaseInsensitive(platform::JoinPath(m_rootDirectory, USERS_FILE));
    if (platform::ReadWholeFile(path, &data, USERS_FILE_MAX) != 0)
        return USERS_CANNOT_OPEN;
    return LoadUsersFromMemory(data);
}

int32_t CUserMgr::LoadUsersFromMemory(std::string_view data) {
    m_users.clear();
    m_cursor = -1;
    platform::CArchive ar = platform::CArchive::ForLoading(data);
    std::vector<std::unique_ptr<CUser>> loaded;
    SerializeList(ar, loaded, "CUser");
    if (!ar.Ok())
        return ar.Error();
    m_users = std::move(loaded);
    return USERS_OK;
}

std::string CUserMgr::SaveUsersToMemory() const {
    platform::CArchive ar = platform::CArchive::ForStoring();
    // Storing only reads the list.
    SerializeList(ar, const_cast<std::vector<std::unique_ptr<CUser>>&>(m_users), "CUser");
    return ar.Bytes();
}

int32_t CUserMgr::SaveUsers() {
    std::string path =
        platform::ResolveCaseInsensitive(platform::JoinPath(m_rootDirectory, USERS_FILE));
    if (platform::WriteFileAtomic(path, SaveUsersToMemory(), 0644) != 0) {
        return USERS_CANNOT_OPEN;
    }
    return USERS_OK;
}

int32_t CUserMgr::AddUser(std::unique_ptr<CUser>& user) {
    if (user->m_userId == 0)
        user->m_userId = NewUserId();
    if (user->m_userDirectory.empty()) {
        std::string dir = MakeUserDirectoryName(user->m_userName);
        std::string path = platform::JoinPath(m_rootDirectory, dir);
        // The folder will hold the user's settings and mail: private to the owner.
        if (!platform::DirectoryExists(path) && platform::CreateDirectories(path, 0700) != 0) {
            return USERS_NO_FOLDER;
        }
        user->m_userDirectory = dir;
    }
    m_users.push_back(std::move(user));
    return USERS_OK;
}

int32_t CUserMgr::FirstUser(CUser** user) {
    m_cursor = 0;
    if (m_users.empty()) {
        *user = nullptr;
        return USERS_NO_USER;
    }
    *user = m_users[0].get();
    return USERS_OK;
}

int32_t CUserMgr::NextUser(CUser** user) {
    *user = nullptr;
    if (m_cursor < 0)
        return USERS_NOT_STARTED;
    if (static_cast<size_t>(m_cursor) + 1 >= m_users.size()) {
        m_cursor = static_cast<int32_t>(m_users.size());
        return USERS_NO_USER;
    }
    ++m_cursor;
    *user = m_users[static_cast<size_t>(m_cursor)].get();
    return USERS_OK;
}

std::unique_ptr<CUser> CUserMgr::RemoveUser(uint32_t id) {
    for (auto it = m_users.begin(); it != m_users.end(); ++it) {
        if ((*it)->m_userId == id) {
            std::unique_ptr<CUser> removed = std::move(*it);
            m_users.erase(it);
            m_cursor = -1;
            return removed;
        }
    }
    return nullptr;
}

CUser* CUserMgr::FindUserById(uint32_t id) const {
    for (const auto& u : m_users) {
        if (u->m_userId == id)
            return u.get();
    }
    return nullptr;
}

CUser* CUserMgr::FindUserByName(std::string_view name) const {
    for (const auto& u : m_users) {
        if (u->m_userName == name)
            return u.get();
    }
    return nullptr;
}

std::string CUserMgr::MakeUserDirectoryName(std::string_view name) const {
    size_t stop = platform::FindFirstOfMb(name, NAME_STOP_SET);
    std::string s(name.substr(0, stop));
    size_t space = platform::FindCharMb(s, ' ');
    bool hadSpace = space != std::string::npos;
    if (hadSpace)
        s.erase(0, space + 1);
    s.resize(platform::ValidCutLength(s, FOLDER_BASE_MAX));
    if (hadSpace && !name.empty()) {
        // The name's first character as the initial, unless it is one of the stop set or NUL.
        std::string initial(name.substr(0, platform::CharLengthAt(name, 0)));
        if (initial[0] != '\0' &&
            platform::FindFirstOfMb(initial, NAME_STOP_SET) == std::string::npos)
            s += initial;
    }
    size_t cut = platform::FindCharMb(s, ' ');
    if (cut != std::string::npos)
        s.resize(cut);
    if (s.empty())
        s.push_back('0');

    auto taken = [this](const std::string& candidate) {
        for (const auto& u : m_users) {
            if (platform::CompareNoCaseMb(u->m_userDirectory, candidate) == 0)
                return true;
        }
        return false;
    };
    for (uint32_t i = 0; taken(s); ++i) {
        std::string digits = std::to_string(i);
        // Each try shortens the previous candidate; the cut keeps double-byte characters
        // whole so that the folder name stays valid text.
        s.resize(platform::ValidCutLength(s, FOLDER_NAME_MAX - digits.size()));
        s += digits;
    }
    return s;
}

uint32_t CUserMgr::NewUserIdFrom(uint32_t start) const {
    uint32_t id = start;
    while (id <= 255 || FindUserById(id) != nullptr)
        ++id;
    return id;
}

uint32_t CUserMgr::NewUserId() const {
    auto ticks = std::chrono::steady_clock::now().time_since_epoch();
    std::minstd_rand random(static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(ticks).count()));
    return NewUserIdFrom(static_cast<uint32_t>(random()));
}

}  // namespace users

// The desktop's list of handheld users ("users.dat"): users, their folders and their
// per-conduit sync preferences.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/archive.h"

namespace users {

// Creator code of the mail conduit ('mail').
inline constexpr uint32_t MAIL_CREATOR = 0x6D61696C;

// Results of CUserMgr.
inline constexpr int32_t USERS_OK = 0;
inline constexpr int32_t USERS_CANNOT_OPEN = 2;  // users.dat cannot be opened or written
inline constexpr int32_t USERS_NO_USER = 3;      // FirstUser/NextUser: no (further) user
inline constexpr int32_t USERS_NOT_STARTED = 4;  // NextUser before FirstUser
inline constexpr int32_t USERS_NO_FOLDER = 5;    // AddUser: the user's folder cannot be made
// LoadUsers of a damaged file answers the archive's error (platform::AR_*: 1, 3, 5, 6, 7).

// One conduit's sync preference of a user.
class CUserSyncPreference : public platform::CObject {
public:
    CUserSyncPreference() = default;
    CUserSyncPreference(uint32_t creator, uint32_t action) : m_creator(creator), m_action(action) {}
    const char* ClassName() const override { return "CUserSyncPreference"; }
    void Serialize(platform::CArchive& ar) override;
    static std::unique_ptr<platform::CObject> Create();

    uint32_t m_creator = 0;  // four characters, first in the high byte
    uint32_t m_action = 0;
};

using PreferenceList = std::vector<std::unique_ptr<CUserSyncPreference>>;

class CUser : public platform::CObject {
public:
    static constexpr uint32_t INFO_BYTES = 32;

    const char* ClassName() const override { return "CUser"; }
    // Loading rejects an infoLength above 32 (platform::AR_GENERIC) and lists holding a null
    // or foreign object.
    void Serialize(platform::CArchive& ar) override;
    static std::unique_ptr<platform::CObject> Create();

    // Update the element with that creator, or append a new one: 1 (0 is never answered in
    // practice: allocation failure ends the process).
    int32_t SetPref1(uint32_t creator, uint32_t action);
    int32_t SetPref2(uint32_t creator, uint32_t action);
    // Index of the element with that creator and its action in *action, or -1 (then *action
    // is untouched).
    int32_t GetPref1(uint32_t creator, uint32_t* action) const;
    int32_t GetPref2(uint32_t creator, uint32_t* action) const;

    uint32_t m_userId = 0;  // 0 until assigned; ids above 255 are users shown to people
    std::string m_userName;
    std::string m_userDirectory;  // folder name inside the data folder
    PreferenceList m_syncPrefs2;
    PreferenceList m_syncPrefs1;
    uint8_t m_infoBytes[INFO_BYTES] = {};  // opaque, kept for other desktop programs
    uint16_t m_infoWord = 0;               // opaque
    uint32_t m_infoLength = 0;             // meaningful bytes of m_infoBytes, at most 32
};

// A desktop options record; only m_option is stored. Registered so that archives holding
// one can be read; this system creates none.
class CDesktopOptions : public platform::CObject {
public:
    const char* ClassName() const override { return "CDesktopOptions"; }
    void Serialize(platform::CArchive& ar) override;
    static std::unique_ptr<platform::CObject> Create();

    uint32_t m_option = 0;
    // Not stored.
    uint32_t m_flag1 = 1;
    uint32_t m_flag2 = 1;
    uint8_t m_reserved[16] = {};
    uint32_t m_level = 5;
    uint32_t m_mode = 0;
    std::string m_text1;
    std::string m_text2;
    std::string m_text3;
};

// The user list and its file. Paths are rootDirectory + name ('/' inserted when
// rootDirectory does not end with one); rootDirectory is kept exactly as passed to LoadUsers.
class CUserMgr : public platform::CObject {
public:
    CUserMgr();
    const char* ClassName() const override { return "CUserMgr"; }
    // The users array: a count, then each user as a tagged object.
    void Serialize(platform::CArchive& ar) override;
    static std::unique_ptr<platform::CObject> Create();

    // Sets rootDirectory, reads rootDirectory + "users.dat" into the list (replacing it).
    // 0; 2 when the file cannot be opened (list empty); the archive's error for a damaged
    // file (list empty: nothing of a damaged file is kept).
    [[nodiscard]] int32_t LoadUsers(const std::string& folder);
    // The same from bytes in memory (rootDirectory unchanged).
    [[nodiscard]] int32_t LoadUsersFromMemory(std::string_view data);
    // Replaces rootDirectory + "users.dat" atomically (mode 0644). 0, or 2 when it cannot be
    // written (the previous file and the list in memory are unchanged).
    [[nodiscard]] int32_t SaveUsers();
    // The bytes SaveUsers writes.
    std::string SaveUsersToMemory() const;

    // Assigns an id when it is 0 and a folder name when the folder name is empty, creating
    // that folder (mode 0700) when missing; then appends the user. 0, with `user` moved into
    // the list (null afterwards); 5 when the folder cannot be created, `user` then untouched.
    // `user` must not be null.
    [[nodiscard]] int32_t AddUser(std::unique_ptr<CUser>& user);

    // Iteration. FirstUser: the first user and 0, or null and 3 when there are none.
    // NextUser: the next user and 0; past the end null and 3 (so a loop on the code ends);
    // 4 when FirstUser was never called. The list must not change during a walk.
    int32_t FirstUser(CUser** user);
    int32_t NextUser(CUser** user);

    // Takes the first user with that id out of the list (the walk starts again); null when
    // there is none. The user's folder is left as it is.
    std::unique_ptr<CUser> RemoveUser(uint32_t id);
    CUser* FindUserById(uint32_t id) const;              // first with that id, or null
    CUser* FindUserByName(std::string_view name) const;  // exact bytes, or null

    // A folder name of at most 8 bytes derived from the user name, unique among the users'
    // folder names ignoring case.
    std::string MakeUserDirectoryName(std::string_view name) const;
    // A random id above 255 that no user has.
    uint32_t NewUserId() const;
    // The first id counting upward from `start` that is above 255 and unused.
    uint32_t NewUserIdFrom(uint32_t start) const;

    const std::string& RootDirectory() const { return m_rootDirectory; }
    void SetRootDirectory(const std::string& folder) { m_rootDirectory = folder; }
    const std::vector<std::unique_ptr<CUser>>& Users() const { return m_users; }
    size_t Count() const { return m_users.size(); }

private:
    std::string m_rootDirectory;
    int32_t m_cursor = -1;
    std::vector<std::unique_ptr<CUser>> m_users;
};

}  // namespace users

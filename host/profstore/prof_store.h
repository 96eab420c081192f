// Desktop users (through the desktop user store) and each user's settings file
// "Sync.ini" in the user's folder.
#pragma once

#include <cstdint>
#include <string>

namespace profstore {

struct UserInfo {
    int32_t handle = 0;  // the user's id
    std::string name;
    std::string folder;  // data folder + "/" + the user's folder name
};

// Reads the user list afresh on every call: other desktop programs change it.
class CProfStore {
public:
    // dataFolder: the desktop data folder (no trailing '/' needed).
    explicit CProfStore(std::string dataFolder);
    // The store over platform::DesktopDataFolder(), shared by the exported calls.
    static CProfStore& Default();

    [[nodiscard]] int32_t UserOfFolder(const std::string& folder, int32_t* user) const;
    [[nodiscard]] int32_t UserOfName(const std::string& name, int32_t* user) const;
    // user may be -1: the user of the running operation.
    [[nodiscard]] int32_t FindUser(int32_t user, UserInfo* info) const;
    [[nodiscard]] int32_t SetOperationUser(int32_t user);

    // The path of the user's settings file (an existing "sync.ini" in any letter case, else
    // "Sync.ini").
    [[nodiscard]] int32_t SettingsPath(int32_t user, std::string* path) const;
    // Profile reads and writes on that file; a damaged file (NUL bytes, over 1 MiB) is
    // reported as PROF_ERR_SETTINGS and never rewritten.
    [[nodiscard]] int32_t ReadText(int32_t user, const char* section, const char* key,
                                   const char* def, std::string* value) const;
    [[nodiscard]] int32_t ReadNumber(int32_t user, const char* section, const char* key,
                                     int16_t def, int16_t* value) const;
    [[nodiscard]] int32_t WriteText(int32_t user, const char* section, const char* key,
                                    const char* value) const;

    const std::string& DataFolder() const { return m_dataFolder; }

private:
    [[nodiscard]] int32_t CheckSettingsFile(const std::string& path) const;

    std::string m_dataFolder;
    int32_t m_operationUser = 0;
};

}  // namespace profstore

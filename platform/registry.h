// A per-user registry stand-in: keys holding typed values (text, 32-bit number), kept in one
// text file.
//
// Key paths use backslashes ("Control Panel\\International"), relative to a hive. Keys and
// value names compare without regard to ASCII case and keep the spelling of their creation.
// The empty value name is the key's default value.
//
// File format (REGEDIT4-like): the line "REGEDIT4", then per key a line
// "[HKEY_CURRENT_USER\path]" or "[HKEY_LOCAL_MACHINE\path]" followed by its values as
// "name"="text" (backslash, quote, CR and LF escaped as \\ \" \r \n) or "name"=dword:XXXXXXXX
// (8 hex digits); "@" stands for the default value name. The file is rewritten atomically
// with mode 0600 on every change and re-read whenever it changed on disk, so several
// processes see each other's writes (the last writer wins; there is no locking).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/file_util.h"

namespace platform {

enum class RegistryHive { CurrentUser, LocalMachine };

// Result codes of the changing calls.
inline constexpr int32_t REG_OK = 0;
inline constexpr int32_t REG_NOT_FOUND = 2;  // key or value missing (delete calls)
// Any other value: a positive errno value from writing the file (or reading a file that
// exists but cannot be read); EINVAL for a key path holding a line break.

class CRegistry {
public:
    // The per-user registry: PlatformHome()/"registry.reg". Created on first use; its file
    // location follows the environment at that time.
    static CRegistry& Default();

    explicit CRegistry(std::string path);
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    const std::string& Path() const { return m_path; }

    // Value queries answer nothing when the key or value is missing or of the other type.
    std::optional<std::string> GetString(RegistryHive hive, const std::string& key,
                                         const std::string& name);
    std::optional<uint32_t> GetDword(RegistryHive hive, const std::string& key,
                                     const std::string& name);
    // A key exists when it was created or any key below it exists.
    bool KeyExists(RegistryHive hive, const std::string& key);
    // Direct sub-key names in first-creation order.
    std::vector<std::string> SubKeys(RegistryHive hive, const std::string& key);
    std::vector<std::string> ValueNames(RegistryHive hive, const std::string& key);

    // Creating the key and its parents as needed. Empty key path = the hive's root.
    [[nodiscard]] int32_t SetString(RegistryHive hive, const std::string& key,
                                    const std::string& name, const std::string& value);
    [[nodiscard]] int32_t SetDword(RegistryHive hive, const std::string& key,
                                   const std::string& name, uint32_t value);
    [[nodiscard]] int32_t CreateKey(RegistryHive hive, const std::string& key);
    [[nodiscard]] int32_t DeleteValue(RegistryHive hive, const std::string& key,
                                      const std::string& name);
    // Deletes the key with all keys below it.
    [[nodiscard]] int32_t DeleteKey(RegistryHive hive, const std::string& key);

private:
    using Value = std::variant<std::string, uint32_t>;
    struct Key {
        std::string path;  // spelling of creation, "Hive\\a\\b"
        std::vector<std::pair<std::string, Value>> values;
    };
    // 0, or an errno value when the file exists but cannot be read.
    int32_t Refresh();
    int32_t Save();
    void ParseFile(const std::string& text);
    Key* FindKey(const std::string& fullPath);
    Key& EnsureKey(const std::string& fullPath);
    const Value* FindValue(RegistryHive hive, const std::string& key, const std::string& name);
    // Sets a value of either type (replacing one of the same name, any case), creating the
    // key, and saves.
    int32_t SetValue(RegistryHive hive, const std::string& key, const std::string& name,
                     Value value);

    std::string m_path;
    std::mutex m_mutex;
    std::vector<Key> m_keys;  // in creation order
    FileStamp m_stamp;
    bool m_loaded = false;
};

}  // namespace platform

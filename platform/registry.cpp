// The registry stand-in: typed values under backslash-separated keys, kept in a text file that
// is re-read when it changed and rewritten atomically on every change.
#include "platform/registry.h"

#include <cerrno>
#include <cstdio>

#include "platform/paths.h"

namespace platform {
namespace {

constexpr size_t REGISTRY_FILE_MAX = 16u << 20;

const char* HiveName(RegistryHive hive) {
    return hive == RegistryHive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && SameNoCase(s.substr(0, prefix.size()), prefix);
}

std::string FullPath(RegistryHive hive, std::string_view key) {
    while (!key.empty() && key.front() == '\\')
        key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\')
        key.remove_suffix(1);
    std::string full = HiveName(hive);
    if (!key.empty())
        full += "\\" + std::string(key);
    return full;
}

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(std::string_view s, size_t& pos, std::string* out) {
    if (pos >= s.size() || s[pos] != '"')
        return false;
    out->clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size()) {
            char e = s[++pos];
            out->push_back(e == 'r' ? '\r' : e == 'n' ? '\n' : e);
        } else {
            out->push_back(c);
        }
    }
    return false;
}

bool ParseDword(std::string_view hex, uint32_t* out) {
    if (hex.empty() || hex.size() > 8)
        return false;
    uint32_t v = 0;
    for (char c : hex) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d < 0)
            return false;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    *out = v;
    return true;
}

}  // namespace

CRegistry& CRegistry::Default() {
    static CRegistry registry(JoinPath(PlatformHome(), "registry.reg"));
    return registry;
}

CRegistry::CRegistry(std::string path) : m_path(std::move(path)) {}

CRegistry::Key* CRegistry::FindKey(const std::string& fullPath) {
    for (Key& k : m_keys) {
        if (SameNoCase(k.path, fullPath))
            return &k;
    }
    return nullptr;
}

CRegistry::Key& CRegistry::EnsureKey(const std::string& fullPath) {
    // Parents first, so that keys appear in creation order and every parent exists.
    size_t sep = fullPath.rfind('\\');
    if (sep != std::string::npos && FindKey(fullPath.substr(0, sep)) == nullptr) {
        EnsureKey(fullPath.substr(0, sep));
    }
    if (Key* k = FindKey(fullPath))
        return *k;
    m_keys.push_back(Key{fullPath, {}});
    return m_keys.back();
}

void CRegistry::ParseFile(const std::string& text) {
    m_keys.clear();
    Key* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view line(text.data() + pos,
                              (end == std::string::npos ? text.size() : end) - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line.front() == '[' && line.back() == ']') {
            std::string path(line.substr(1, line.size() - 2));
            bool known = StartsWithNoCase(path, "HKEY_CURRENT_USER") ||
                         StartsWithNoCase(path, "HKEY_LOCAL_MACHINE");
            current = known ? &EnsureKey(path) : nullptr;
            continue;
        }
        if (current == nullptr)
            continue;
        std::string name;
        size_t p = 0;
        if (line.front() == '@') {
            p = 1;
        } else if (!ReadQuoted(line, p, &name)) {
            continue;
        }
        if (p >= line.size() || line[p] != '=')
            continue;
        ++p;
        Value value;
        if (p < line.size() && line[p] == '"') {
            std::string s;
            if (!ReadQuoted(line, p, &s))
                continue;
            value = s;
        } else if (line.substr(p, 6) == "dword:") {
            uint32_t d = 0;
            if (!ParseDword(line.substr(p + 6), &d))
                continue;
            value = d;
        } else {
            continue;
        }
        bool replaced = false;
        for (auto& [n, v] : current->values) {
            if (SameNoCase(n, name)) {
                v = value;
                replaced = true;
            }
        }
        if (!replaced)
            current->values.emplace_back(name, value);
    }
}

int32_t CRegistry::Refresh() {
    FileStamp stamp;
    bool exists = GetFileStamp(m_path, &stamp);
    if (m_loaded && stamp == m_stamp)
        return 0;
    std::string text;
    if (exists) {
        int32_t err = ReadWholeFile(m_path, &text, REGISTRY_FILE_MAX);
        if (err != 0 && err != ENOENT)
            return err;
    }
    ParseFile(text);
    m_stamp = stamp;
    m_loaded = true;
    return 0;
}

int32_t CRegistry::Save() {
    std::string out = "REGEDIT4\n";
    for (const Key& k : m_keys) {
        out += "\n[" + k.path + "]\n";
        for (const auto& [name, value] : k.values) {
            out += name.empty() ? std::string("@") : "\"" + Escape(name) + "\"";
            if (const std::string* s = std::get_if<std::string>(&value)) {
                out += "=\"" + Escape(*s) + "\"\n";
            } else {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%08x", std::get<uint32_t>(value));
                out += std::string("=dword:") + hex + "\n";
            }
        }
    }
    size_t slash = m_path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        int32_t err = CreateDirectories(m_path.substr(0, slash), 0700);
        if (err != 0) {
            m_loaded = false;
            return err;
        }
    }
    // The registry may hold passwords: owner-only.
    int32_t err = WriteFileAtomic(m_path, out, 0600);
    if (err != 0) {
        m_loaded = false;  // memory is ahead of the file: re-read it next time
        return err;
    }
    GetFileStamp(m_path, &m_stamp);
    return 0;
}

const CRegistry::Value* CRegistry::FindValue(RegistryHive hive, const std::string& key,
                                             const std::string& name) {
    if (Refresh() != 0)
        return nullptr;
    Key* k = FindKey(FullPath(hive, key));
    if (k == nullptr)
        return nullptr;
    for (const auto& [n, v] : k->values) {
        if (SameNoCase(n, name))
            return &v;
    }
    return nullptr;
}

std::optional<std::string> CRegistry::GetString(RegistryHive hive, const std::string& key,
                                                const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Value* v = FindValue(hive, key, name);
    if (v == nullptr || !std::holds_alternative<std::string>(*v))
        return std::nullopt;
    return std::get<std::string>(*v);
}

std::optional<uint32_t> CRegistry::GetDword(RegistryHive hive, const std::string& key,
                                            const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Value* v = FindValue(hive, key, name);
    if (v == nullptr || !std::holds_alternative<uint32_t>(*v))
        return std::nullopt;
    return std::get<uint32_t>(*v);
}

bool CRegistry::KeyExists(RegistryHive hive, const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Refresh() != 0)
        return false;
    std::string full = FullPath(hive, key);
    for (const Key& k : m_keys) {
        if (SameNoCase(k.path, full) || StartsWithNoCase(k.path, full + "\\"))
            return true;
    }
    return false;
}

std::vector<std::string> CRegistry::SubKeys(RegistryHive hive, const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    if (Refresh() != 0)
        return names;
    std::string prefix = FullPath(hive, key) + "\\";
    for (const Key& k : m_keys) {
        if (!StartsWithNoCase(k.path, prefix))
            continue;
        std::string rest = k.path.substr(prefix.size());
        std::string child = rest.substr(0, rest.find('\\'));
        if (child.empty())
            continue;
        bool seen = false;
        for (const std::string& n : names)
            seen = seen || SameNoCase(n, child);
        if (!seen)
            names.push_back(child);
    }
    return names;
}

std::vector<std::string> CRegistry::ValueNames(RegistryHive hive, const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    if (Refresh() != 0)
        return names;
    if (Key* k = FindKey(FullPath(hive, key))) {
        for (const auto& entry : k->values)
            names.push_back(entry.first);
    }
    return names;
}

int32_t CRegistry::SetString(RegistryHive hive, const std::string& key, const std::string& name,
                             const std::string& value) {
    return SetValue(hive, key, name, Value(value));
}

int32_t CRegistry::SetDword(RegistryHive hive, const std::string& key, const std::string& name,
                            uint32_t value) {
    return SetValue(hive, key, name, Value(value));
}

int32_t CRegistry::SetValue(RegistryHive hive, const std::string& key, const std::string& name,
                            Value value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // A line break in a key path would end its header line in the file.
    if (key.find_first_of("\r\n") != std::string::npos)
        return EINVAL;
    if (int32_t err = Refresh())
        return err;
    Key& k = EnsureKey(FullPath(hive, key));
    for (auto& [n, v] : k.values) {
        if (SameNoCase(n, name)) {
            v = std::move(value);
            return Save();
        }
    }
    k.values.emplace_back(name, std::move(value));
    return Save();
}

int32_t CRegistry::CreateKey(RegistryHive hive, const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // A line break in a key path would end its header line in the file.
    if (key.find_first_of("\r\n") != std::string::npos)
        return EINVAL;
    if (int32_t err = Refresh())
        return err;
    std::string full = FullPath(hive, key);
    if (FindKey(full) != nullptr)
        return REG_OK;
    EnsureKey(full);
    return Save();
}

int32_t CRegistry::DeleteValue(RegistryHive hive, const std::string& key, const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (int32_t err = Refresh())
        return err;
    Key* k = FindKey(FullPath(hive, key));
    if (k == nullptr)
        return REG_NOT_FOUND;
    for (auto it = k->values.begin(); it != k->values.end(); ++it) {
        if (SameNoCase(it->first, name)) {
            k->values.erase(it);
            return Save();
        }
    }
    return REG_NOT_FOUND;
}

int32_t CRegistry::DeleteKey(RegistryHive hive, const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (int32_t err = Refresh())
        return err;
    std::string full = FullPath(hive, key);
    size_t before = m_keys.size();
    std::erase_if(m_keys, [&](const Key& k) {
        return SameNoCase(k.path, full) || StartsWithNoCase(k.path, full + "\\");
    });
    if (m_keys.size() == before)
        return REG_NOT_FOUND;
    return Save();
}

}  // namespace platform

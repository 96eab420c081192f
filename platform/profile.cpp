// Profile (INI) files: an in-memory model that keeps every line it does not change, and the
// profile-string calls over it.
#include "platform/profile.h"

#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/paths.h"

namespace platform {
namespace {

constexpr size_t PROFILE_FILE_MAX = 16u << 20;

std::string_view Trim(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    size_t e = s.size();
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

std::string Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// Reads the profile at an already resolved path; a missing file is an empty profile.
// false when the file exists but cannot be read.
bool ReadProfile(const std::string& path, CProfile* profile) {
    std::string text;
    int32_t err = ReadWholeFile(path, &text, PROFILE_FILE_MAX);
    if (err != 0 && err != ENOENT)
        return false;
    profile->Parse(text);
    return true;
}

// Copies a NUL-separated list with its final extra NUL, cutting it as the profile calls do.
uint32_t CopyList(const std::vector<std::string>& names, char* buffer, uint32_t size) {
    std::string all;
    for (const std::string& n : names) {
        all += n;
        all.push_back('\0');
    }
    if (all.size() + 1 <= size) {
        std::memcpy(buffer, all.data(), all.size());
        buffer[all.size()] = '\0';
        if (all.empty() && size > 1)
            buffer[1] = '\0';
        return static_cast<uint32_t>(all.size());
    }
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, all.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

uint32_t CopyValue(std::string_view value, char* buffer, uint32_t size) {
    size_t n = std::min<size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<uint32_t>(n);
}

}  // namespace

void CProfile::Parse(std::string_view text) {
    m_lines.clear();
    size_t firstEnd = text.find('\n');
    m_crlf = firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r';
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view raw =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        Line line;
        line.crlf = !raw.empty() && raw.back() == '\r';
        if (line.crlf)
            raw.remove_suffix(1);
        line.text = std::string(raw);
        std::string_view t = Trim(raw);
        if (!t.empty() && t.front() == '[') {
            line.kind = LineKind::Section;
            size_t close = t.find(']');
            line.name = std::string(Trim(
                t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
        } else if (!t.empty() && t.front() != ';') {
            size_t eq = t.find('=');
            if (eq != std::string_view::npos) {
                line.kind = LineKind::Key;
                line.name = std::string(Trim(t.substr(0, eq)));
                line.value = std::string(Trim(t.substr(eq + 1)));
            }
        }
        line.folded = LowerMb(line.name);
        m_lines.push_back(std::move(line));
    }
}

std::string CProfile::Serialize() const {
    std::string out;
    for (const Line& line : m_lines) {
        out += line.text;
        out += line.crlf ? "\r\n" : "\n";
    }
    return out;
}

size_t CProfile::FindSection(std::string_view section) const {
    std::string folded = LowerMb(section);
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == LineKind::Section && m_lines[i].folded == folded)
            return i;
    }
    return std::string::npos;
}

size_t CProfile::SectionEnd(size_t sec) const {
    size_t i = sec + 1;
    while (i < m_lines.size() && m_lines[i].kind != LineKind::Section)
        ++i;
    return i;
}

size_t CProfile::FindKey(size_t sec, std::string_view key) const {
    std::string folded = LowerMb(key);
    size_t end = SectionEnd(sec);
    for (size_t i = sec + 1; i < end; ++i) {
        if (m_lines[i].kind == LineKind::Key && m_lines[i].folded == folded)
            return i;
    }
    return std::string::npos;
}

std::vector<std::string> CProfile::SectionNames() const {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const Line& line : m_lines) {
        if (line.kind != LineKind::Section)
            continue;
        if (seen.insert(line.folded).second)
            names.push_back(line.name);
    }
    return names;
}

std::vector<std::string> CProfile::KeyNames(std::string_view section) const {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    size_t sec = FindSection(section);
    if (sec == std::string::npos)
        return names;
    size_t end = SectionEnd(sec);
    for (size_t i = sec + 1; i < end; ++i) {
        if (m_lines[i].kind != LineKind::Key)
            continue;
        if (seen.insert(m_lines[i].folded).second)
            names.push_back(m_lines[i].name);
    }
    return names;
}

bool CProfile::HasSection(std::string_view section) const {
    return FindSection(section) != std::string::npos;
}

std::optional<std::string> CProfile::GetValue(std::string_view section,
                                              std::string_view key) const {
    size_t sec = FindSection(section);
    if (sec == std::string::npos)
        return std::nullopt;
    size_t k = FindKey(sec, key);
    if (k == std::string::npos)
        return std::nullopt;
    return Unquote(m_lines[k].value);
}

void CProfile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    size_t sec = FindSection(section);
    if (sec == std::string::npos) {
        Line header;
        header.kind = LineKind::Section;
        header.name = std::string(section);
        header.folded = LowerMb(header.name);
        header.text = "[" + header.name + "]";
        header.crlf = m_crlf;
        m_lines.push_back(std::move(header));
        sec = m_lines.size() - 1;
    }
    size_t k = FindKey(sec, key);
    if (k != std::string::npos) {
        Line& line = m_lines[k];
        line.value = std::string(value);
        line.text = line.name + "=" + line.value;
        return;
    }
    // After the section's last key, so that comments and blank lines that close the
    // section stay where they are.
    size_t insertAt = sec + 1;
    size_t end = SectionEnd(sec);
    for (size_t i = sec + 1; i < end; ++i) {
        if (m_lines[i].kind == LineKind::Key)
            insertAt = i + 1;
    }
    Line line;
    line.kind = LineKind::Key;
    line.name = std::string(key);
    line.folded = LowerMb(line.name);
    line.value = std::string(value);
    line.text = line.name + "=" + line.value;
    line.crlf = m_crlf;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
}

void CProfile::DeleteKey(std::string_view section, std::string_view key) {
    size_t sec = FindSection(section);
    if (sec == std::string::npos)
        return;
    size_t k = FindKey(sec, key);
    if (k != std::string::npos)
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(k));
}

void CProfile::DeleteSection(std::string_view section) {
    size_t sec = FindSection(section);
    if (sec == std::string::npos)
        return;
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(sec),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(sec)));
}

std::string ResolveProfilePath(const std::string& file) {
    if (file.find('/') == std::string::npos)
        return FindCaseInsensitive(WindowsDirectory(), file);
    return ResolveCaseInsensitive(file);
}

uint32_t GetPrivateProfileString(const char* section, const char* key, const char* def,
                                 char* buffer, uint32_t size, const std::string& file) {
    if (buffer == nullptr || size == 0)
        return 0;
    CProfile profile;
    if (!ReadProfile(ResolveProfilePath(file), &profile))
        profile.Parse("");
    if (section == nullptr)
        return CopyList(profile.SectionNames(), buffer, size);
    if (key == nullptr)
        return CopyList(profile.KeyNames(section), buffer, size);
    std::optional<std::string> value = profile.GetValue(section, key);
    if (value)
        return CopyValue(*value, buffer, size);
    std::string_view d = def != nullptr ? def : "";
    while (!d.empty() && (d.back() == ' ' || d.back() == '\t'))
        d.remove_suffix(1);
    return CopyValue(d, buffer, size);
}

uint32_t GetPrivateProfileInt(const char* section, const char* key, int def,
                              const std::string& file) {
    if (section == nullptr || key == nullptr)
        return static_cast<uint32_t>(def);
    CProfile profile;
    if (!ReadProfile(ResolveProfilePath(file), &profile))
        return static_cast<uint32_t>(def);
    std::optional<std::string> value = profile.GetValue(section, key);
    if (!value)
        return static_cast<uint32_t>(def);
    std::string_view v = *value;
    bool negative = false;
    if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
        negative = v[0] == '-';
        v.remove_prefix(1);
    }
    uint32_t n = 0;
    for (char c : v) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + static_cast<uint32_t>(c - '0');  // wraps like the 32-bit original
    }
    return negative ? 0u - n : n;
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file) {
    if (section == nullptr || HasLineBreak(section) || std::strchr(section, ']') != nullptr ||
        (key != nullptr && HasLineBreak(key)) ||
        (key != nullptr && std::strchr(key, '=') != nullptr) ||
        (value != nullptr && HasLineBreak(value))) {
        // Such a name or value would change the structure of the file when read back.
        return false;
    }
    bool bare = file.find('/') == std::string::npos;
    std::string path = ResolveProfilePath(file);
    CProfile profile;
    // A file that exists but cannot be read is never replaced: its contents would be lost.
    if (!ReadProfile(path, &profile))
        return false;
    bool exists = FileExists(path);
    if (key == nullptr) {
        if (!profile.HasSection(section))
            return true;
        profile.DeleteSection(section);
    } else if (value == nullptr) {
        if (!profile.GetValue(section, key))
            return true;
        profile.DeleteKey(section, key);
    } else {
        profile.SetValue(section, key, value);
    }
    uint32_t mode = 0600;
    if (exists && FileMode(path, &mode) != 0)
        mode = 0600;
    if (!exists && bare && CreateDirectories(WindowsDirectory(), 0700) != 0)
        return false;
    return WriteFileAtomic(path, profile.Serialize(), mode) == 0;
}

uint32_t GetProfileString(const char* section, const char* key, const char* def, char* buffer,
                          uint32_t size) {
    return GetPrivateProfileString(section, key, def, buffer, size, "WIN.INI");
}

bool WriteProfileString(const char* section, const char* key, const char* value) {
    return WritePrivateProfileString(section, key, value, "WIN.INI");
}

}  // namespace platform

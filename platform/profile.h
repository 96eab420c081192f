// Profile (INI) files with the semantics of the Windows profile-string calls.
//
// A file is "[section]" lines followed by "key=value" lines. Section and key names compare
// without regard to case; names and values are trimmed of spaces and tabs; a value enclosed
// in a pair of double or single quotes is returned without them. Lines starting with ';',
// blank lines and any other lines are kept unchanged when the file is rewritten. The first
// of several equal sections or keys is the one used.
//
// File names: a name without '/' is a file of the Windows directory (WindowsDirectory()).
// The last component of a path is matched case-insensitively against existing files
// ("sync.ini" finds "Sync.ini"); a new file gets the spelling given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A profile text held in memory: parsing, queries, changes and serialising.
class CProfile {
public:
    CProfile() = default;

    // Replaces the contents with `text` (LF or CR LF line ends; never fails).
    void Parse(std::string_view text);
    // The text with every change applied; unchanged lines keep their bytes and line ends.
    // New lines end in CR LF when the parsed text's first line did, else in LF. The last
    // line always gets a line end.
    std::string Serialize() const;

    std::vector<std::string> SectionNames() const;  // in file order, first spelling
    std::vector<std::string> KeyNames(std::string_view section) const;
    std::optional<std::string> GetValue(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;

    // Sets the value, creating the section (at the end) and the key (after the section's
    // last key) as needed; an existing key keeps its spelling and position.
    void SetValue(std::string_view section, std::string_view key, std::string_view value);
    void DeleteKey(std::string_view section, std::string_view key);
    void DeleteSection(std::string_view section);  // its header, keys and other lines

private:
    enum class LineKind { Other, Section, Key };
    struct Line {
        LineKind kind = LineKind::Other;
        std::string text;    // the line without its line end
        std::string name;    // section or key name, trimmed
        std::string folded;  // name folded to lower case, for comparisons
        std::string value;   // key value, trimmed, quotes kept
        bool crlf = false;   // ends in CR LF rather than LF
    };
    // Index of the section header line; npos when missing.
    size_t FindSection(std::string_view section) const;
    // Index of the key line within the section starting at header `sec`; npos when missing.
    size_t FindKey(size_t sec, std::string_view key) const;
    size_t SectionEnd(size_t sec) const;  // first line after the section

    std::vector<Line> m_lines;
    bool m_crlf = false;
};

// Resolves a profile file name as described at the top of this file.
std::string ResolveProfilePath(const std::string& file);

// section null: all section names; key null: all key names of the section; each name is
// NUL-terminated and the list ends with an extra NUL. Otherwise the key's value, or `def`
// (null = empty; trailing blanks removed) when the key or file is missing.
// Truncation: a value is cut to size-1 bytes plus NUL; a list that does not fit is cut to
// size-2 bytes followed by two NULs. Returns the number of bytes copied without the final
// terminator (size-1 or size-2 when cut); 0 when buffer is null or size is 0.
uint32_t GetPrivateProfileString(const char* section, const char* key, const char* def,
                                 char* buffer, uint32_t size, const std::string& file);

// The key's value as a decimal number (leading sign and digits; 0 when the value has none;
// negative values wrap as in two's complement), `def` when the key or file is missing.
uint32_t GetPrivateProfileInt(const char* section, const char* key, int def,
                              const std::string& file);

// Writes `value` under section/key, creating file, section and key as needed. key null
// deletes the section, value null deletes the key. The file is rewritten atomically; a new
// file gets mode 0600 (it may hold a password), an existing file keeps its mode. A bare
// file name creates the Windows directory when missing. false on failure (the previous
// file is then untouched); section null is a failure.
bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file);

// The same on "WIN.INI" in the Windows directory.
uint32_t GetProfileString(const char* section, const char* key, const char* def, char* buffer,
                          uint32_t size);
bool WriteProfileString(const char* section, const char* key, const char* value);

}  // namespace platform

// The profile's address book: a UTF-8 text file, one entry per line:
//   Display Name <address@example.org>
//   "Name, with comma" <other@example.org>
//   bare@example.org
// Empty lines and lines starting with '#' are ignored. Entries are held in the ANSI code
// page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mapi {

struct AddressEntry {
    std::string name;  // "" when the line gives only an address
    std::string address;
};

class CAddressBook {
public:
    // Reads the file (a missing or unreadable file gives an empty book).
    void Load(const std::string& path, uint32_t codePage);
    // Parses the text of a book (UTF-8).
    void Parse(std::string_view text, uint32_t codePage);

    // Resolves a name or address:
    //   1. entries whose name or address equals `text` ignoring case;
    //   2. when there are none, entries whose name or address contains `text` ignoring case.
    // One entry (or several identical ones) found: 0 and *out. Several different ones:
    // MAPI_E_AMBIGUOUS_RECIPIENT. None, or empty text: MAPI_E_UNKNOWN_RECIPIENT.
    [[nodiscard]] int32_t Resolve(std::string_view text, AddressEntry* out) const;

    size_t Size() const { return m_entries.size(); }

private:
    std::vector<AddressEntry> m_entries;
};

// Parses one line "Name <address>" / "address"; false for lines without an address.
bool ParseAddressLine(std::string_view line, AddressEntry* out);

}  // namespace mapi

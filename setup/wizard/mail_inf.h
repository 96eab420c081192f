// "mail.inf": the mail systems the installation offers, one profile section each
// ("MailSystem0", "MailSystem1", ...), read in index order up to the first section
// without a "System".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velkin {

struct MailSystemEntry {
    std::string system;     // display name, stored as "System"
    std::string interface;  // "MAPI32", "VIM32", ...
    int32_t win31 = 0;
    int32_t win95 = 0;
    int32_t winNT = 0;
    int32_t enabledFields = 0;  // bit 0x2: reached through a MAPI profile
};

// Platform families an entry can be offered on. Linux counts as the NT family.
enum class PlatformFamily { Win32s, Windows95, WindowsNT };

inline constexpr int32_t MAIL_INF_FILLED = 1;
inline constexpr int32_t MAIL_INF_DAMAGED = 0;
inline constexpr int32_t MAIL_INF_MISSING = -1;

// Reads the sections of a "mail.inf" text and keeps the entries offered on `family`, in
// file order. MAIL_INF_FILLED, or MAIL_INF_DAMAGED at the first section with a "System" but
// an empty "Interface" or an "EnabledFields" of 0 (*kept then holds the entries before it).
// Texts are cut to 255 bytes, as the profile reads' 256-byte buffers do.
int32_t ReadMailInf(std::string_view text, PlatformFamily family,
                    std::vector<MailSystemEntry>* kept);

}  // namespace velkin

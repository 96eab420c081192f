// Reading "mail.inf".
#include "setup/wizard/mail_inf.h"

#include <optional>

#include "platform/code_page.h"
#include "platform/profile.h"

namespace velkin {
namespace {

// A value as the profile-string call gives it: quotes removed, cut to 255 bytes.
std::string Text(const platform::CProfile& p, const std::string& section, const char* key) {
    std::optional<std::string> v = p.GetValue(section, key);
    if (!v)
        return {};
    std::string s = *v;
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        s = s.substr(1, s.size() - 2);
    if (s.size() > 255)
        s.resize(platform::ValidCutLength(s, 255));
    return s;
}

// A value as the profile-number call gives it: sign and leading digits, 0 without any.
int32_t Number(const platform::CProfile& p, const std::string& section, const char* key) {
    std::string s = Text(p, section, key);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    uint32_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        value = value * 10 + static_cast<uint32_t>(s[i] - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

}  // namespace

int32_t ReadMailInf(std::string_view text, PlatformFamily family,
                    std::vector<MailSystemEntry>* kept) {
    kept->clear();
    platform::CProfile profile;
    profile.Parse(text);
    for (uint32_t i = 0;; ++i) {
        const std::string section = "MailSystem" + std::to_string(i);
        MailSystemEntry e;
        e.system = Text(profile, section, "System");
        if (e.system.empty())
            return MAIL_INF_FILLED;
        e.interface = Text(profile, section, "Interface");
        if (e.interface.empty())
            return MAIL_INF_DAMAGED;
        e.win31 = Number(profile, section, "Win31");
        e.win95 = Number(profile, section, "Win95");
        e.winNT = Number(profile, section, "WinNT");
        e.enabledFields = Number(profile, section, "EnabledFields");
        if (e.enabledFields == 0)
            return MAIL_INF_DAMAGED;
        int32_t offered = family == PlatformFamily::Win32s      ? e.win31
                          : family == PlatformFamily::Windows95 ? e.win95
                                                                : e.winNT;
        if (offered != 0)
            kept->push_back(std::move(e));
    }
}

}  // namespace velkin

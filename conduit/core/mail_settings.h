// The "Mail" settings of the sync user: which desktop mail system and account the conduit
// uses. Written by the setup wizard, read by the conduit at the start of every operation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace torrim {

class CHostServices;

inline constexpr const char* MAIL_SECTION = "Mail";

// The clear settings (the password unscrambled).
class MailSettings {
public:
    const std::string& Gateway() const { return m_gateway; }
    const std::string& Interface() const { return m_interface; }
    const std::string& Profile() const { return m_profile; }
    const std::string& PostOffice() const { return m_postOffice; }
    const std::string& System() const { return m_system; }
    const std::string& UserAccount() const { return m_userAccount; }
    const std::string& Password() const { return m_password; }

    void SetGateway(std::string value) { m_gateway = std::move(value); }
    void SetInterface(std::string value) { m_interface = std::move(value); }
    void SetProfile(std::string value) { m_profile = std::move(value); }
    void SetPostOffice(std::string value) { m_postOffice = std::move(value); }
    void SetSystem(std::string value) { m_system = std::move(value); }
    void SetUserAccount(std::string value) { m_userAccount = std::move(value); }
    void SetPassword(std::string value) { m_password = std::move(value); }

    void Clear() { *this = MailSettings(); }

private:
    std::string m_gateway;
    std::string m_interface;
    std::string m_profile;
    std::string m_postOffice;
    std::string m_system;
    std::string m_userAccount;
    std::string m_password;
};

// The conduit library's one settings object.
MailSettings& TheMailSettings();

// The user's "sync.ini" path for a conduit folder (the parent folder of the conduit's
// folder), or the folder itself when it already names "sync.ini".
std::string SettingsFileOf(std::string_view folder);

// Refills `settings` from the "Mail" section of the user owning `folder` (the conduit's
// folder). Every field is cleared first, so nothing of an earlier user survives a failed
// or partial read. 0 when read, or when mail is not configured and the warning was given
// before; -1 after giving the not-configured warning now; otherwise the error of the user
// lookup or of the warning flag write. A failed user lookup writes its own problem line
// (under the "-- Mail" heading when the log has none yet) and sets *userNotFound, so that
// the caller ends the operation with the error end line.
[[nodiscard]] int32_t ReadMailSettings(CHostServices& host, MailSettings& settings,
                                       std::string_view folder, bool* userNotFound = nullptr);

// Writes the settings back for the user of the running operation ("Not Applicable" in
// Profile, PostOffice and Gateway becomes empty first). 0, or -1 when any write failed.
[[nodiscard]] int32_t WriteMailSettings(CHostServices& host, MailSettings& settings,
                                        std::string_view folder);

}  // namespace torrim

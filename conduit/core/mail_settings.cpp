// Reading and writing the "Mail" settings, and the once-per-user not-configured warning.
#include "conduit/core/mail_settings.h"

#include <cstring>

#include "conduit/core/codes.h"
#include "conduit/core/host_services.h"
#include "conduit/core/password.h"
#include "conduit/core/strings.h"
#include "platform/code_page.h"
#include "platform/file_util.h"

namespace torrim {
namespace {

constexpr const char* SETTINGS_FILE = "sync.ini";
constexpr int32_t SETTING_BUFFER = 256;
constexpr int32_t OPERATION_USER = -1;

std::string ReadSetting(CHostServices& host, int32_t user, const char* key) {
    char buffer[SETTING_BUFFER] = {};
    int32_t size = SETTING_BUFFER;
    if (host.ReadText(user, MAIL_SECTION, key, buffer, &size, "") != 0) {
        return std::string();
    }
    // The buffer is terminated whatever the host answered about the length.
    buffer[SETTING_BUFFER - 1] = '\0';
    const size_t length =
        size >= 0 && size < SETTING_BUFFER ? static_cast<size_t>(size) : SETTING_BUFFER - 1;
    return std::string(buffer, strnlen(buffer, length));
}

// The user's folder (ending in "/") that holds the settings file for `folder`.
std::string UserFolderOf(std::string_view folder) {
    const size_t named = platform::FindNoCaseMb(folder, SETTINGS_FILE);
    if (named != std::string_view::npos) {
        return std::string(folder.substr(0, named));
    }
    std::string text(folder);
    if (!text.empty() && text.back() == '/') {
        text.pop_back();
    }
    const size_t slash = text.rfind('/');
    if (slash != std::string::npos) {
        text.resize(slash + 1);
    }
    if (text.empty() || text.back() != '/') {
        text.push_back('/');
    }
    return text;
}

}  // namespace

MailSettings& TheMailSettings() {
    static MailSettings settings;
    return settings;
}

std::string SettingsFileOf(std::string_view folder) {
    if (platform::FindNoCaseMb(folder, SETTINGS_FILE) != std::string_view::npos) {
        return std::string(folder);
    }
    return UserFolderOf(folder) + SETTINGS_FILE;
}

int32_t ReadMailSettings(CHostServices& host, MailSettings& settings, std::string_view folder,
                         bool* userNotFound) {
    // A failed lookup or a missing settings file must not leave an earlier user's account
    // and password in place for this operation.
    settings.Clear();
    if (userNotFound != nullptr) {
        *userNotFound = false;
    }
    const std::string userFolder = UserFolderOf(folder);
    int32_t user = 0;
    const int32_t lookup = host.UserOfFolder(userFolder.c_str(), &user);
    if (lookup != 0) {
        // Without a user nothing can be read or synchronized: say so, rather than end as if
        // the operation had nothing to do.
        if (host.LogQuery() == 0) {
            const std::string heading = "-- " + host.LoadString(IDS_CONDUIT_NAME);
            (void)host.LogAddLine(heading.c_str(), LOG_TEXT);  // the lookup failed either way
        }
        (void)host.LogAddLine(host.LoadString(IDS_USER_NOT_FOUND).c_str(), LOG_CONFIG_WARNING);
        if (userNotFound != nullptr) {
            *userNotFound = true;
        }
        return lookup;
    }
    const std::string settingsFile = platform::ResolveCaseInsensitive(userFolder + SETTINGS_FILE);
    if (platform::FileExists(settingsFile)) {
        settings.SetSystem(ReadSetting(host, user, "System"));
        settings.SetInterface(ReadSetting(host, user, "Interface"));
        settings.SetUserAccount(ReadSetting(host, user, "UserAccount"));
        settings.SetProfile(ReadSetting(host, user, "Profile"));
        settings.SetPassword(DecodePassword(ReadSetting(host, user, "Password")));
        settings.SetPostOffice(ReadSetting(host, user, "PostOffice"));
        settings.SetGateway(ReadSetting(host, user, "Gateway"));
        if (!settings.System().empty()) {
            return 0;
        }
        int16_t warned = 0;
        if (host.ReadNumber(user, MAIL_SECTION, "WarnedUnconfigured", &warned, 0) != 0) {
            warned = 0;
        }
        if (warned != 0) {
            return 0;
        }
    }
    const std::string heading = "-- " + host.LoadString(IDS_CONDUIT_NAME);
    (void)host.LogAddLine(heading.c_str(), LOG_CONFIG_WARNING);  // a log failure changes nothing
    (void)host.LogAddLine(host.LoadString(IDS_NOT_CONFIGURED).c_str(), LOG_CONFIG_WARNING);
    const int32_t written = host.WriteText(user, MAIL_SECTION, "WarnedUnconfigured", "1");
    return written != 0 ? written : RESULT_FAILURE;
}

int32_t WriteMailSettings(CHostServices& host, MailSettings& settings, std::string_view folder) {
    (void)folder;  // the settings go to the user of the running operation
    const std::string notApplicable = host.LoadString(IDS_NOT_APPLICABLE);
    auto applicable = [&](const std::string& value) {
        return !notApplicable.empty() && value == notApplicable ? std::string() : value;
    };
    int32_t failures = 0;
    auto write = [&](const char* key, const std::string& value) {
        if (host.WriteText(OPERATION_USER, MAIL_SECTION, key, value.c_str()) != 0) {
            ++failures;
        }
    };
    write("System", settings.System());
    write("Interface", settings.Interface());
    settings.SetProfile(applicable(settings.Profile()));
    write("Profile", settings.Profile());
    write("UserAccount", settings.UserAccount());
    settings.SetPostOffice(applicable(settings.PostOffice()));
    write("PostOffice", settings.PostOffice());
    settings.SetGateway(applicable(settings.Gateway()));
    write("Gateway", settings.Gateway());
    write("Password", EncodePassword(settings.Password()));
    return failures == 0 ? 0 : RESULT_FAILURE;
}

}  // namespace torrim

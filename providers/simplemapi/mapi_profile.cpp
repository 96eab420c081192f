// Reading the Simple MAPI profile file.
#include "providers/simplemapi/mapi_profile.h"

#include <cstdlib>

#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace mapi {

std::string ProfileFilePath() {
    const char* env = std::getenv("TETHER_MAPI_PROFILES");
    if (env != nullptr && *env != '\0') {
        return env;
    }
    return platform::JoinPath(platform::JoinPath(platform::PlatformHome(), "mapi"), "profiles.ini");
}

namespace {

bool IsTrue(const std::string& v) {
    return v == "1" || platform::CompareNoCaseMb(v, "yes") == 0 ||
           platform::CompareNoCaseMb(v, "true") == 0;
}

}  // namespace

std::vector<MapiProfile> LoadProfiles(const std::string& file) {
    std::vector<MapiProfile> result;
    std::string text;
    if (platform::ReadWholeFile(file, &text, 1 << 20) != 0) {
        return result;
    }
    platform::CProfile ini;
    ini.Parse(text);
    for (const std::string& section : ini.SectionNames()) {
        auto get = [&](const char* key) { return ini.GetValue(section, key).value_or(""); };
        MapiProfile p;
        p.name = section;
        p.store = get("Store");
        std::string transport = platform::LowerMb(get("Transport"));
        if (!transport.empty()) {
            p.transport = transport;
        }
        p.sent = get("Sent");
        if (p.sent.empty() && !p.store.empty()) {
            p.sent = platform::JoinPath(p.store, ".Sent");
        }
        p.smtpUrl = get("SmtpUrl");
        p.smtpUser = get("SmtpUser");
        p.smtpPassword = get("SmtpPassword");
        p.smtpStartTls = IsTrue(get("SmtpStartTls"));
        p.address = get("Address");
        p.displayName = get("DisplayName");
        p.addressBook = get("AddressBook");
        p.password = get("Password");
        p.nativeText = IsTrue(get("NativeText"));
        p.isDefault = IsTrue(get("Default"));
        result.push_back(std::move(p));
    }
    return result;
}

std::optional<MapiProfile> FindProfile(const std::vector<MapiProfile>& profiles,
                                       const std::string& name) {
    if (!name.empty()) {
        for (const MapiProfile& p : profiles) {
            if (platform::CompareNoCaseMb(p.name, name) == 0) {
                return p;
            }
        }
        // An account name: callers that log on with the user's account rather than a
        // profile name (the thunked path) find the one profile with that own address.
        const MapiProfile* byAddress = nullptr;
        for (const MapiProfile& p : profiles) {
            if (!p.address.empty() && platform::CompareNoCaseMb(p.address, name) == 0) {
                if (byAddress != nullptr) {
                    return std::nullopt;
                }
                byAddress = &p;
            }
        }
        if (byAddress != nullptr) {
            return *byAddress;
        }
        return std::nullopt;
    }
    for (const MapiProfile& p : profiles) {
        if (p.isDefault) {
            return p;
        }
    }
    if (profiles.size() == 1) {
        return profiles.front();
    }
    return std::nullopt;
}

}  // namespace mapi

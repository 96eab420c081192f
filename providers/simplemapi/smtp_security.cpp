// Reading the SMTP URL as libcurl reads it, and the loopback test.
#include "providers/simplemapi/smtp_security.h"

#include <curl/curl.h>
#include <gio/gio.h>

#include <string_view>

namespace mapi {

namespace {

// The text of one part of a parsed URL, "" when it has none.
std::string Part(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) {
        return "";
    }
    std::string result = text;
    curl_free(text);
    return result;
}

bool IsLoopbackHost(std::string host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    gchar* down = g_ascii_strdown(host.c_str(), -1);
    const std::string lower = down;
    g_free(down);
    // libcurl answers these names with loopback addresses itself, without asking the
    // resolver, so no hosts file can send them elsewhere.
    constexpr std::string_view SUFFIX = ".localhost";
    if (lower == "localhost" || (lower.size() > SUFFIX.size() && lower.ends_with(SUFFIX))) {
        return true;
    }
    GInetAddress* address = g_inet_address_new_from_string(host.c_str());
    if (address == nullptr) {
        return false;  // any other name may resolve anywhere
    }
    const bool loopback = g_inet_address_get_is_loopback(address) != FALSE;
    g_object_unref(address);
    return loopback;
}

}  // namespace

SmtpSecurity PlanSmtpSecurity(const MapiProfile& profile) {
    SmtpSecurity plan;
    CURLU* url = curl_url();
    if (url == nullptr) {
        return plan;
    }
    if (curl_url_set(url, CURLUPART_URL, profile.smtpUrl.c_str(), 0) == CURLUE_OK) {
        plan.valid = true;
        const std::string scheme = Part(url, CURLUPART_SCHEME);
        plan.host = Part(url, CURLUPART_HOST);
        plan.implicitTls = g_ascii_strcasecmp(scheme.c_str(), "smtps") == 0;
        plan.credentials = !profile.smtpUser.empty() || !profile.smtpPassword.empty() ||
                           !Part(url, CURLUPART_USER).empty() ||
                           !Part(url, CURLUPART_PASSWORD).empty();
        plan.loopback = IsLoopbackHost(plan.host);
        plan.requireStartTls =
            !plan.implicitTls && (profile.smtpStartTls || (plan.credentials && !plan.loopback));
    }
    curl_url_cleanup(url);
    return plan;
}

}  // namespace mapi

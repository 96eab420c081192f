// When the SMTP transport must encrypt: credentials never cross an unencrypted connection
// to another machine.
#pragma once

#include <string>

#include "providers/simplemapi/mapi_profile.h"

namespace mapi {

struct SmtpSecurity {
    bool valid = false;            // the URL could be read
    std::string host;              // as the URL names it ("[::1]" for IPv6)
    bool implicitTls = false;      // smtps://: encrypted from the first byte
    bool credentials = false;      // a user name or password is sent (profile or URL)
    bool loopback = false;         // the host is this machine: localhost, 127.0.0.0/8, ::1
    bool requireStartTls = false;  // STARTTLS must succeed before anything else is sent
};

// How a send over the profile's SmtpUrl must go. STARTTLS is required on smtp:// when the
// profile asks for it (SmtpStartTls=1) and whenever credentials go to a host that is not
// this machine; the transfer then fails, before any credential is sent, when the server
// offers no STARTTLS.
SmtpSecurity PlanSmtpSecurity(const MapiProfile& profile);

}  // namespace mapi

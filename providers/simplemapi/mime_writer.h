// Building the RFC 5322 / MIME form of a MapiMessage to be sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "providers/simplemapi/address_book.h"
#include "providers/simplemapi/mapi_profile.h"
#include "providers/simplemapi/simple_mapi.h"

namespace mapi {

struct OutgoingMail {
    std::string stored;  // LF line ends, with the Bcc header: the copy kept in the sent folder
    std::string wire;    // CR LF line ends, without Bcc: what goes to the SMTP server
    std::string from;    // envelope sender
    std::vector<std::string> recipients;  // envelope recipients (To, Cc and Bcc)
};

// Builds the outgoing mail. From is the profile's own name and address. A recipient
// without an address is looked up in `book` by its name (a name holding an '@' is taken
// as the address). Text is converted from the code page to UTF-8; a subject that is not
// ASCII is encoded as RFC 2047 words. MAPI_RECEIPT_REQUESTED adds
// Disposition-Notification-To. Files of lpFiles are attached.
// Results: 0; MAPI_E_FAILURE (no own address in the profile); MAPI_E_INVALID_RECIPS (no
// recipient, or an address that cannot be one); MAPI_E_BAD_RECIPTYPE; the address book's
// MAPI_E_UNKNOWN_RECIPIENT / MAPI_E_AMBIGUOUS_RECIPIENT; MAPI_E_ATTACHMENT_NOT_FOUND /
// MAPI_E_ATTACHMENT_OPEN_FAILURE; MAPI_E_INSUFFICIENT_MEMORY.
[[nodiscard]] int32_t BuildOutgoingMail(const MapiMessage& message, const MapiProfile& profile,
                                        const CAddressBook& book, uint32_t codePage,
                                        OutgoingMail* out);

// Sends through the profile's SMTP server (libcurl). 0, MAPI_E_NETWORK_FAILURE,
// MAPI_E_LOGIN_FAILURE (credentials refused), MAPI_E_UNKNOWN_RECIPIENT (a recipient
// refused), MAPI_E_INSUFFICIENT_MEMORY or MAPI_E_FAILURE.
[[nodiscard]] int32_t SendOverSmtp(const MapiProfile& profile, const OutgoingMail& mail);

}  // namespace mapi

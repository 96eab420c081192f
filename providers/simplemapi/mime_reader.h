// Reading an RFC 5322 / MIME message into the text fields a Simple MAPI message carries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mapi {

struct RecipientText {
    uint32_t recipClass = 0;  // MAPI_ORIG, MAPI_TO, MAPI_CC or MAPI_BCC
    std::string name;         // display name ("" when none)
    std::string address;      // bare address ("" when none)
};

struct AttachmentData {
    std::string fileName;  // as the sender named it, in the output encoding ("" when none)
    std::string diskName;  // a safe ASCII file name for the temporary file
    std::string data;      // decoded contents
};

struct ReadOptions {
    uint32_t codePage = 1252;  // ANSI code page of the output text
    // On code page 932 only: text whose charset is a Japanese one or UTF-8 keeps that
    // encoding (body bytes as sent, headers converted to the body's charset).
    bool nativeText = false;
    bool envelopeOnly = false;  // no body, no attachments
    // Date used when the message has none (the delivery time), seconds since 1970; 0 none.
    int64_t fallbackTime = 0;
};

struct IncomingMessage {
    std::string subject;
    std::string noteText;  // CR LF line ends
    bool hasDate = false;
    std::string dateText;  // "YYYY/MM/DD HH:MM", local time
    int64_t date = 0;      // the time dateText shows, seconds since 1970; 0 none
    std::string conversationId;
    bool receiptRequested = false;
    bool hasOriginator = false;
    RecipientText originator;
    std::vector<RecipientText> recips;
    std::vector<AttachmentData> attachments;
};

// Parses `bytes`. Never fails: a message the MIME parser rejects is still read as headers
// and a plain body as far as that is possible.
void ParseMessage(std::string_view bytes, const ReadOptions& options, IncomingMessage* out);

// "YYYY/MM/DD HH:MM" of a time value in local time; "" when it cannot be converted.
std::string FormatMapiDate(int64_t secondsSince1970);

}  // namespace mapi

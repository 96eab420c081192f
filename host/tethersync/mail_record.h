// Handheld mail records and mail preference blocks, byte for byte as the handheld's Mail
// application keeps them (numbers big-endian).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tethersync {

// Mail categories as the handheld uses them.
inline constexpr int16_t CATEGORY_INBOX = 0;
inline constexpr int16_t CATEGORY_OUTBOX = 1;
inline constexpr int16_t CATEGORY_DELETED = 2;
inline constexpr int16_t CATEGORY_FILED = 3;
inline constexpr int16_t CATEGORY_DRAFT = 4;

// Name of a category ("inbox", ... or its number), and the reverse (-1 when unknown).
std::string CategoryName(int16_t category);
int16_t ParseCategory(std::string_view text);

enum MailText { SUBJECT, FROM, TO, CC, BCC, REPLY_TO, SENT_TO, BODY, MAIL_TEXT_COUNT };

struct HandheldMail {
    // Local date and time; year 0 = no date.
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    bool read = false;
    bool signature = false;
    bool confirmRead = false;
    bool confirmDelivery = false;
    int priority = 1;                                // 0 high, 1 normal, 2 low
    int addressing = 0;                              // 0 To (or not found), 1 Cc, 2 Bcc
    std::array<std::string, MAIL_TEXT_COUNT> texts;  // line ends are single line feeds
};

// The record bytes; false when they would exceed 32767 bytes or a text holds a NUL.
[[nodiscard]] bool PackMail(const HandheldMail& mail, std::string* record);
// Parses record bytes (from the handheld image: checked, never trusted); false when the
// header or one of the eight terminated texts is missing.
[[nodiscard]] bool UnpackMail(std::string_view record, HandheldMail* mail);

// Turns CR LF and lone CR into single line feeds.
std::string ToLineFeeds(std::string_view text);

// Preference 1 or 2 of the Mail application.
struct MailPreferences {
    uint8_t mode = 0;            // 0 all, 1 send only, 2 filter, 3 unread only
    uint8_t highPriority = 0;    // 1 = always retrieve high-priority messages
    uint8_t filterKind = 0;      // mode 2: 0 ignore matching, non-zero retrieve only matching
    uint16_t truncation = 4000;  // bytes
    std::string toWords, fromWords, subjectWords;
};

[[nodiscard]] bool PackPreferences(const MailPreferences& prefs, std::string* block);
[[nodiscard]] bool UnpackPreferences(std::string_view block, MailPreferences* prefs);
// Preference 3: the signature, one terminated text.
std::string PackSignature(std::string_view signature);
std::string UnpackSignature(std::string_view block);

}  // namespace tethersync

// Handheld mail records and preference blocks.
#include "host/tethersync/mail_record.h"

#include <charconv>

#include "platform/bytes.h"

namespace tethersync {
namespace {

constexpr size_t MAX_RECORD = 32767;
constexpr size_t HEADER = 6;

// Takes one NUL-terminated text starting at *pos; false when there is no terminator.
bool TakeText(std::string_view data, size_t* pos, std::string* text) {
    size_t end = data.find('\0', *pos);
    if (end == std::string_view::npos)
        return false;
    text->assign(data.substr(*pos, end - *pos));
    *pos = end + 1;
    return true;
}

}  // namespace

std::string CategoryName(int16_t category) {
    switch (category) {
        case CATEGORY_INBOX:
            return "inbox";
        case CATEGORY_OUTBOX:
            return "outbox";
        case CATEGORY_DELETED:
            return "deleted";
        case CATEGORY_FILED:
            return "filed";
        case CATEGORY_DRAFT:
            return "draft";
        default:
            return std::to_string(category);
    }
}

int16_t ParseCategory(std::string_view text) {
    for (int16_t c = 0; c <= CATEGORY_DRAFT; ++c)
        if (text == CategoryName(c))
            return c;
    int value = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > 15)
        return -1;
    return static_cast<int16_t>(value);
}

std::string ToLineFeeds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool PackMail(const HandheldMail& mail, std::string* record) {
    size_t size = HEADER;
    for (const std::string& t : mail.texts) {
        if (t.find('\0') != std::string::npos)
            return false;
        size += t.size() + 1;
    }
    if (size > MAX_RECORD)
        return false;
    uint16_t date = 0, time = 0;
    if (mail.year != 0) {
        date = static_cast<uint16_t>((mail.day & 31) | ((mail.month & 15) << 5) |
                                     (((mail.year - 1904) & 127) << 9));
        time = static_cast<uint16_t>(((mail.hour & 0xFF) << 8) | (mail.minute & 0xFF));
    }
    uint16_t flags = static_cast<uint16_t>(
        (mail.read ? 1 << 15 : 0) | (mail.signature ? 1 << 14 : 0) |
        (mail.confirmRead ? 1 << 13 : 0) | (mail.confirmDelivery ? 1 << 12 : 0) |
        ((mail.priority & 3) << 10) | ((mail.addressing & 3) << 8));
    uint8_t header[HEADER];
    platform::PutU16BE(header, date);
    platform::PutU16BE(header + 2, time);
    platform::PutU16BE(header + 4, flags);
    record->assign(reinterpret_cast<const char*>(header), HEADER);
    for (const std::string& t : mail.texts) {
        *record += t;
        *record += '\0';
    }
    return true;
}

bool UnpackMail(std::string_view record, HandheldMail* mail) {
    if (record.size() < HEADER || record.size() > MAX_RECORD)
        return false;
    const auto* p = reinterpret_cast<const uint8_t*>(record.data());
    uint16_t date = platform::GetU16BE(p), time = platform::GetU16BE(p + 2);
    uint16_t flags = platform::GetU16BE(p + 4);
    HandheldMail m;
    if (date != 0) {
        m.year = 1904 + (date >> 9);
        m.month = (date >> 5) & 15;
        m.day = date & 31;
        m.hour = time >> 8;
        m.minute = time & 0xFF;
    }
    m.read = (flags & 0x8000) != 0;
    m.signature = (flags & 0x4000) != 0;
    m.confirmRead = (flags & 0x2000) != 0;
    m.confirmDelivery = (flags & 0x1000) != 0;
    m.priority = (flags >> 10) & 3;
    m.addressing = (flags >> 8) & 3;
    size_t pos = HEADER;
    for (std::string& t : m.texts)
        if (!TakeText(record, &pos, &t))
            return false;
    *mail = std::move(m);
    return true;
}

bool PackPreferences(const MailPreferences& prefs, std::string* block) {
    for (const std::string* t : {&prefs.toWords, &prefs.fromWords, &prefs.subjectWords})
        if (t->find('\0') != std::string::npos)
            return false;
    uint8_t header[6] = {prefs.mode, prefs.highPriority, prefs.filterKind, 0, 0, 0};
    platform::PutU16BE(header + 4, prefs.truncation);
    block->assign(reinterpret_cast<const char*>(header), sizeof(header));
    for (const std::string* t : {&prefs.toWords, &prefs.fromWords, &prefs.subjectWords}) {
        *block += *t;
        *block += '\0';
    }
    return block->size() <= MAX_RECORD;
}

bool UnpackPreferences(std::string_view block, MailPreferences* prefs) {
    if (block.size() < 6)
        return false;
    const auto* p = reinterpret_cast<const uint8_t*>(block.data());
    MailPreferences m;
    m.mode = p[0];
    m.highPriority = p[1];
    m.filterKind = p[2];
    m.truncation = platform::GetU16BE(p + 4);
    size_t pos = 6;
    for (std::string* t : {&m.toWords, &m.fromWords, &m.subjectWords})
        if (!TakeText(block, &pos, t))
            return false;
    *prefs = std::move(m);
    return true;
}

std::string PackSignature(std::string_view signature) {
    std::string block(signature.substr(0, signature.find('\0')));
    block += '\0';
    return block;
}

std::string UnpackSignature(std::string_view block) {
    return std::string(block.substr(0, block.find('\0')));
}

}  // namespace tethersync

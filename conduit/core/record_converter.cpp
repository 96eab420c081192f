// Handheld mail records and preferences.
#include "conduit/core/record_converter.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "conduit/core/address.h"
#include "conduit/core/codes.h"
#include "conduit/core/filter.h"
#include "conduit/core/mail_settings.h"
#include "conduit/core/message.h"
#include "conduit/core/strings.h"
#include "platform/bytes.h"
#include "platform/code_page.h"
#include "platform/local_time.h"

namespace torrim {
namespace {

constexpr size_t YIELD_EVERY_BYTES = 4096;
constexpr int FIRST_RECORD_YEAR = 1904;
constexpr int LAST_RECORD_YEAR = FIRST_RECORD_YEAR + 127;
// Notices longer than this (a translated string table could hold anything) are cut, so
// that the record always has room for three of them.
constexpr size_t MAX_NOTICE_BYTES = 1024;

enum RecordText {
    TEXT_SUBJECT,
    TEXT_FROM,
    TEXT_TO,
    TEXT_CC,
    TEXT_BCC,
    TEXT_REPLY_TO,
    TEXT_SENT_TO,
    TEXT_BODY,
    TEXT_COUNT
};

bool IsRecipientText(int text) {
    return text == TEXT_TO || text == TEXT_CC || text == TEXT_BCC;
}

// Reads consecutive NUL-terminated texts from a byte range; a text without terminator runs
// to the end of the range, and texts beyond the end are empty.
class CTextReader {
public:
    CTextReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    std::string Next() {
        if (m_pos >= m_size) {
            return std::string();
        }
        const char* start = reinterpret_cast<const char*>(m_data + m_pos);
        const size_t length = strnlen(start, m_size - m_pos);
        m_pos += length + 1;
        return std::string(start, length);
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

uint8_t ByteAt(const uint8_t* data, size_t size, size_t offset) {
    return offset < size ? data[offset] : 0;
}

uint16_t U16BEAt(const uint8_t* data, size_t size, size_t offset) {
    return static_cast<uint16_t>((ByteAt(data, size, offset) << 8) |
                                 ByteAt(data, size, offset + 1));
}

std::string Notice(CHostServices& host, uint32_t id) {
    std::string text = host.LoadString(id);
    if (text.size() > MAX_NOTICE_BYTES) {
        text.resize(host.ValidateNumberDec(text, MAX_NOTICE_BYTES));
    }
    return text;
}

bool IsDroppedWord(std::string_view word) {
    for (std::string_view dropped : {"the", "and", "or", "a"}) {
        if (platform::CompareNoCaseMb(word, dropped) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

void RecordDateWords(uint32_t date, uint16_t* dateWord, uint16_t* timeWord) {
    *dateWord = 0;
    *timeWord = 0;
    platform::LocalTime local{};
    if (date == 0 || !platform::UtcToLocal(date, &local)) {
        return;
    }
    if (local.year > LAST_RECORD_YEAR) {
        // The seven year bits end in 2031: later dates keep the last minute they can show
        // instead of wrapping round to the early 1900s.
        local = platform::LocalTime{LAST_RECORD_YEAR, 12, 31, 23, 59, 0, 0};
    } else if (local.year < FIRST_RECORD_YEAR) {
        local = platform::LocalTime{FIRST_RECORD_YEAR, 1, 1, 0, 0, 0, 0};
    }
    *dateWord = static_cast<uint16_t>(local.day | (local.month << 5) |
                                      ((local.year - FIRST_RECORD_YEAR) << 9));
    *timeWord = static_cast<uint16_t>((local.hour << 8) | local.minute);
}

uint32_t DateOfRecordWords(uint16_t dateWord, uint16_t timeWord) {
    if (dateWord == 0) {
        return 0;
    }
    platform::LocalTime local{};
    local.year = std::max(FIRST_RECORD_YEAR + (dateWord >> 9), 1970);
    local.month = std::clamp((dateWord >> 5) & 0x0F, 1, 12);
    local.day = std::max(dateWord & 0x1F, 1);
    local.hour = timeWord >> 8;
    local.minute = timeWord & 0xFF;
    local.second = 0;
    int64_t seconds = 0;
    // An hour, minute or day that no clock shows is not a date: it reads as no date rather
    // than as whatever a failed conversion would give.
    if (!platform::LocalToUtc(local, &seconds)) {
        return 0;
    }
    return static_cast<uint32_t>(std::clamp<int64_t>(seconds, 0, UINT32_MAX));
}

CMailRecordConverter::CMailRecordConverter(CHostServices& host, const MailSettings& settings)
    : m_host(host), m_settings(settings) {}

// Both conversions copy the runs between line ends in bulk and yield to the host after
// every 4096 bytes of a long text.
std::string CMailRecordConverter::RemoveChar(std::string_view text, char c) {
    std::string out;
    out.reserve(text.size());
    for (size_t start = 0; start < text.size(); start += YIELD_EVERY_BYTES) {
        const std::string_view chunk = std::string_view(text).substr(start, YIELD_EVERY_BYTES);
        for (size_t pos = 0; pos < chunk.size();) {
            const size_t hit = std::min(chunk.find(c, pos), chunk.size());
            out.append(chunk.data() + pos, hit - pos);
            pos = hit + 1;
        }
        if (start + chunk.size() < text.size()) {
            m_host.YieldCycles(YIELD_CYCLES);
        }
    }
    return out;
}

std::string CMailRecordConverter::LineFeedsToCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t start = 0; start < text.size(); start += YIELD_EVERY_BYTES) {
        const std::string_view chunk = std::string_view(text).substr(start, YIELD_EVERY_BYTES);
        for (size_t pos = 0; pos < chunk.size();) {
            const size_t hit = std::min(chunk.find('\n', pos), chunk.size());
            out.append(chunk.data() + pos, hit - pos);
            if (hit < chunk.size()) {
                out.append("\r\n", 2);
            }
            pos = hit + 1;
        }
        if (start + chunk.size() < text.size()) {
            m_host.YieldCycles(YIELD_CYCLES);
        }
    }
    return out;
}

int32_t CMailRecordConverter::UnpackRecord(const CFilter* prefs, CMessage& message,
                                           const RecordRequest& request) {
    (void)prefs;
    message.SetRecordId(request.recordId);
    message.m_category = request.category;
    message.m_changeKind = 0;
    message.m_onHandheld = 1;
    if ((request.attributes & SYNC_REC_MODIFIED) != 0) {
        message.m_changeKind = 2;
    }
    if ((request.attributes & SYNC_REC_DELETED) != 0) {
        message.m_changeKind = 4;
        return 0;
    }
    // Never read beyond the data the host delivered nor beyond the caller's buffer.
    const size_t size = std::min<size_t>(request.recordSize, request.bufferSize);
    if (request.buffer == nullptr && size != 0) {
        return ERR_CANNOT_UNPACK;
    }
    const uint8_t* data = request.buffer;
    const uint16_t dateWord = U16BEAt(data, size, 0);
    const uint16_t timeWord = U16BEAt(data, size, 2);
    const uint16_t flags = U16BEAt(data, size, 4);
    CTextReader reader(data + std::min(size, RECORD_HEADER_SIZE),
                       size > RECORD_HEADER_SIZE ? size - RECORD_HEADER_SIZE : 0);
    std::string texts[TEXT_COUNT];
    for (std::string& text : texts) {
        text = reader.Next();
    }
    message.SetSubject(RemoveChar(texts[TEXT_SUBJECT], '\n'));
    message.m_date = DateOfRecordWords(dateWord, timeWord);
    message.m_readOnHandheld = (flags >> 15) & 1;
    message.m_signature = (flags >> 14) & 1;
    message.m_confirmRead = (flags >> 13) & 1;
    message.m_confirmDelivery = (flags >> 12) & 1;
    message.m_priority = (flags >> 10) & 3;
    message.SetFromAddress(AddressOf(texts[TEXT_FROM]));
    message.SetFromName(DisplayNameOf(texts[TEXT_FROM]));
    // The body goes in last of the texts: each text set copies the message's texts.
    message.SetBody(LineFeedsToCrLf(texts[TEXT_BODY]));
    SplitRecipients(message, texts[TEXT_TO], 0);
    SplitRecipients(message, texts[TEXT_CC], 1);
    SplitRecipients(message, texts[TEXT_BCC], 2);
    return 0;
}

int32_t CMailRecordConverter::AddressingOf(const CMessage& message) const {
    // An empty account would be found in every address.
    const std::string& account = m_settings.UserAccount();
    if (account.empty()) {
        return 0;
    }
    for (int32_t kind = RECIPIENT_TO; kind <= RECIPIENT_BCC; ++kind) {
        uint32_t position = 0;
        while (auto recipient = message.m_pRecipients->NextOfKind(kind, &position)) {
            if (ContainsIgnoringCase(recipient->m_address, account)) {
                return kind - RECIPIENT_TO;
            }
        }
    }
    return 0;
}

int32_t CMailRecordConverter::PackRecord(const CFilter* prefs, CMessage& message,
                                         RecordRequest& request) {
    request.recordId = message.RecordId();
    request.category = static_cast<int16_t>(message.m_category);
    request.attributes = 0;
    request.recordSize = 0;

    uint16_t dateWord = 0;
    uint16_t timeWord = 0;
    RecordDateWords(message.m_date, &dateWord, &timeWord);

    std::string texts[TEXT_COUNT];
    texts[TEXT_SUBJECT] = RemoveChar(message.Subject(), '\r');
    texts[TEXT_FROM] = ComposeAddress(message.FromAddress(), message.FromName());
    texts[TEXT_TO] = JoinRecipients(message, RECIPIENT_TO);
    texts[TEXT_CC] = JoinRecipients(message, RECIPIENT_CC);
    texts[TEXT_BCC] = JoinRecipients(message, RECIPIENT_BCC);
    std::string bodyText = RemoveChar(message.Body(), '\r');

    const std::string truncationNotice = Notice(m_host, IDS_TRUNCATION_NOTICE);
    bool bodyCut = false;
    const size_t maxSize =
        prefs != nullptr ? static_cast<size_t>(std::max(prefs->m_maxSize, 0)) : 4000;
    if (bodyText.size() > maxSize) {
        bodyText.resize(m_host.ValidateNumberDec(bodyText, maxSize));
        bodyCut = true;
    }

    const uint16_t flags = static_cast<uint16_t>(
        ((message.m_readOnHandheld & 1) << 15) | ((message.m_signature & 1) << 14) |
        ((message.m_confirmRead & 1) << 13) | ((message.m_confirmDelivery & 1) << 12) |
        ((message.m_priority & 3) << 10) | (AddressingOf(message) << 8));

    // The record must hold the header, a terminator for every text and, for each recipient
    // field, the replacement notice (its own terminator included).
    const std::string fieldNotice = Notice(m_host, IDS_FIELD_TOO_LARGE);
    const size_t noticeRoom = fieldNotice.size() + 1;
    const size_t capacity = std::min<size_t>(MAX_RECORD_SIZE, request.bufferSize);
    const size_t fixedNeed = RECORD_HEADER_SIZE + (TEXT_COUNT - 3) + 3 * noticeRoom;
    if (request.buffer == nullptr || capacity < fixedNeed) {
        return -1;
    }
    // The body is cut first, so that every other field keeps at least its terminator (and a
    // recipient field its notice); a body cut here carries the truncation notice too.
    const size_t bodyLimit = capacity - fixedNeed;
    if (bodyText.size() + (bodyCut ? truncationNotice.size() : 0) > bodyLimit) {
        const size_t textLimit =
            bodyLimit > truncationNotice.size() ? bodyLimit - truncationNotice.size() : 0;
        bodyText.resize(m_host.ValidateNumberDec(bodyText, textLimit));
        bodyCut = bodyText.size() + truncationNotice.size() <= bodyLimit;
        if (!bodyCut) {
            // Not even the notice fits: keep what text there is, as its own notice.
            bodyText.resize(m_host.ValidateNumberDec(bodyText, bodyLimit));
        }
        message.m_truncated = 1;
    }
    if (bodyCut) {
        bodyText += truncationNotice;
        message.m_truncated = 1;
    }
    texts[TEXT_BODY] = std::move(bodyText);

    // What the texts after `text` need at the least: their terminators, a notice for each
    // recipient field, and the whole body.
    auto reservedAfter = [&](int text) {
        size_t need = 0;
        for (int later = text + 1; later < TEXT_COUNT; ++later) {
            if (later == TEXT_BODY) {
                need += texts[TEXT_BODY].size() + 1;
            } else {
                need += IsRecipientText(later) ? noticeRoom : 1;
            }
        }
        return need;
    };

    uint8_t* out = request.buffer;
    platform::PutU16BE(out, dateWord);
    platform::PutU16BE(out + 2, timeWord);
    platform::PutU16BE(out + 4, flags);
    size_t used = RECORD_HEADER_SIZE;
    bool changed = false;
    for (int text = 0; text < TEXT_COUNT; ++text) {
        // room >= 1 always (>= noticeRoom for a recipient field): the body limit above
        // leaves exactly that much.
        const size_t room = capacity - used - reservedAfter(text);
        const std::string& value = texts[text];
        std::string_view placed = value;
        if (value.size() + 1 > room) {
            changed = true;
            placed = IsRecipientText(text) ? std::string_view(fieldNotice) : placed;
            placed = placed.substr(0, m_host.ValidateNumberDec(placed, room - 1));
        }
        std::memcpy(out + used, placed.data(), placed.size());
        used += placed.size();
        out[used++] = '\0';
    }
    // Records have always been announced one byte longer than their texts; that byte is
    // kept, and zeroed, when there is room for it.
    if (used < capacity) {
        out[used++] = '\0';
    }
    request.recordSize = static_cast<uint32_t>(used);
    return changed ? 1 : 0;
}

int32_t CMailRecordConverter::UnpackPreferences(CFilter& prefs, const PreferenceRequest& request) {
    const size_t size = std::min<size_t>(request.bytesRead, request.bufferSize);
    if (request.buffer == nullptr && size != 0) {
        return -1;
    }
    const uint8_t* data = request.buffer;
    prefs.m_mode = ByteAt(data, size, 0);
    prefs.m_highPriority = ByteAt(data, size, 1);
    if (prefs.m_mode == 2) {
        prefs.m_mode =
            ByteAt(data, size, 2) != 0 ? FILTER_RETRIEVE_MATCHING : FILTER_IGNORE_MATCHING;
    }
    prefs.m_maxSize = U16BEAt(data, size, 4);
    prefs.m_toCount = 0;
    prefs.m_fromCount = 0;
    prefs.m_subjectCount = 0;
    // The counts start again at 0, so the word list does too.
    prefs.m_words->RemoveAll();
    CTextReader reader(data + std::min(size, RECORD_HEADER_SIZE),
                       size > RECORD_HEADER_SIZE ? size - RECORD_HEADER_SIZE : 0);
    int32_t* counts[] = {&prefs.m_toCount, &prefs.m_fromCount, &prefs.m_subjectCount};
    for (int32_t field = FIELD_TO; field <= FIELD_SUBJECT; ++field) {
        const std::string text = reader.Next();
        std::string_view rest(text);
        while (!rest.empty()) {
            const size_t end = platform::FindFirstOfMb(rest, "\n,; ");
            const std::string_view word = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            if (word.empty() || IsDroppedWord(word)) {
                continue;
            }
            prefs.m_words->Add(std::make_unique<CFilterType>(field, std::string(word)));
            ++*counts[field];
        }
    }
    return 0;
}

std::string CMailRecordConverter::UnpackSignature(const PreferenceRequest& request) {
    const size_t size = std::min<size_t>(request.bytesRead, request.bufferSize);
    if (request.buffer == nullptr || size == 0) {
        return std::string();
    }
    return CTextReader(request.buffer, size).Next();
}

}  // namespace torrim

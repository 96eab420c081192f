// Date and time text by a country-info record. Texts are built in a local buffer first so
// that a failure leaves the caller's buffer exactly as it was.
#include "datetime/formatters.h"

#include <charconv>
#include <cstring>

namespace chronel {

namespace {

// Large enough for three 64-bit decimals, two separators and a 10-byte mark.
constexpr size_t TEXT_CAPACITY = 96;

class CTextBuilder {
public:
    void Number(int64_t value, bool leadingZero) {
        if (leadingZero && value >= 0 && value < 10) {
            m_text[m_length++] = '0';
        }
        auto [end, ec] = std::to_chars(m_text + m_length, m_text + TEXT_CAPACITY, value);
        (void)ec;  // TEXT_CAPACITY holds every value the callers pass; to_chars cannot fail.
        m_length = static_cast<size_t>(end - m_text);
    }
    void Char(char c) { m_text[m_length++] = c; }
    // Appends a caller-supplied field of at most `capacity` bytes; a field that lacks its
    // NUL ends at the field's end instead of running into the next one.
    void Field(const char* field, size_t capacity) {
        size_t n = strnlen(field, capacity);
        std::memcpy(m_text + m_length, field, n);
        m_length += n;
    }
    // Copies the text and its NUL when they fit; otherwise leaves buffer untouched.
    [[nodiscard]] int32_t CopyTo(unsigned char* buffer, uint32_t bufferSize) const {
        if (m_length >= bufferSize) {
            return CCDT_FAILURE;
        }
        std::memcpy(buffer, m_text, m_length);
        buffer[m_length] = '\0';
        return CCDT_SUCCESS;
    }

private:
    char m_text[TEXT_CAPACITY];
    size_t m_length = 0;
};

}  // namespace

int32_t FormatDate(const tccDTCtxtCountryInfoStruct* info, const ccTm* t, unsigned char* buffer,
                   uint32_t bufferSize) {
    if (info == nullptr || t == nullptr || buffer == nullptr || info->dateOrder > 5) {
        return CCDT_FAILURE;
    }
    const bool fourDigitYear = (info->dateFlags & CCDT_DATE_FOUR_DIGIT_YEAR) != 0;
    int64_t year = t->tm_year;
    if (fourDigitYear) {
        year += 1900;
    } else if (year >= 100) {
        year -= 100;  // 2001 is shown as 1: the short year has no leading zero
    }
    struct Field {
        int64_t value;
        bool leadingZero;
    };
    const Field month{int64_t{t->tm_mon} + 1,
                      (info->dateFlags & CCDT_DATE_MONTH_LEADING_ZERO) != 0};
    const Field day{t->tm_mday, (info->dateFlags & CCDT_DATE_DAY_LEADING_ZERO) != 0};
    const Field yearField{year, false};
    static constexpr int ORDERS[6][3] = {
        {0, 1, 2}, {1, 0, 2}, {2, 0, 1}, {0, 2, 1}, {1, 2, 0}, {2, 1, 0},
    };
    const Field fields[3] = {month, day, yearField};
    CTextBuilder text;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            text.Char(info->dateSep);
        }
        const Field& f = fields[ORDERS[info->dateOrder][i]];
        text.Number(f.value, f.leadingZero);
    }
    return text.CopyTo(buffer, bufferSize);
}

int32_t FormatTime(const tccDTCtxtCountryInfoStruct* info, const ccTm* t, unsigned char* buffer,
                   uint32_t bufferSize) {
    if (info == nullptr || t == nullptr || buffer == nullptr) {
        return CCDT_FAILURE;
    }
    enum class Mark { None, Morning, Afternoon };
    Mark mark = Mark::None;
    int64_t hour = t->tm_hour;
    if ((info->timeFlags & CCDT_TIME_24_HOUR) == 0) {
        mark = hour >= 12 ? Mark::Afternoon : Mark::Morning;
        if (hour > 12) {
            hour -= 12;
        }
    }
    if (hour == 12 && (info->timeFlags & CCDT_TIME_HOUR12_AS_ZERO) != 0) {
        hour = 0;
    }
    const uint8_t fieldFlags = info->timeFieldFlags;
    CTextBuilder text;
    text.Number(hour, (fieldFlags & CCDT_TIME_HOUR_LEADING_ZERO) != 0);
    text.Char(info->timeSep);
    text.Number(t->tm_min, (fieldFlags & CCDT_TIME_MINUTES_LEADING_ZERO) != 0);
    text.Char(info->timeSep);
    text.Number(t->tm_sec, (fieldFlags & CCDT_TIME_SECONDS_LEADING_ZERO) != 0);
    if (mark == Mark::Morning) {
        text.Field(info->amString, sizeof info->amString);
    } else if (mark == Mark::Afternoon) {
        text.Field(info->pmString, sizeof info->pmString);
    }
    return text.CopyTo(buffer, bufferSize);
}

}  // namespace chronel

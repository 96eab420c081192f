// The short date pattern reader. Positions are byte offsets of each field's first letter;
// the date order follows from how the three positions compare.
#include "datetime/short_date_pattern.h"

#include "chronel/chronel.h"
#include "platform/code_page.h"

namespace chronel {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool ReadShortDatePattern(std::string_view pattern, uint32_t codePage, ShortDate* out) {
    const size_t n = pattern.size();
    // Positions start as "not seen" rather than 0, so that a pattern lacking a field is
    // refused even when its first field stands at offset 0 ("d/yy/d" has no month).
    constexpr size_t NONE = static_cast<size_t>(-1);
    size_t monthAt = NONE;
    size_t dayAt = NONE;
    size_t yearAt = NONE;
    uint8_t flags = 0;
    bool haveSeparator = false;
    char separator = 0;
    size_t i = 0;
    auto letterAt = [&](size_t k) { return k < n ? Lower(pattern[k]) : '\0'; };
    auto skipSpace = [&] {
        while (i < n && IsSpace(pattern[i])) {
            ++i;
        }
    };
    for (;;) {
        skipSpace();
        if (i >= n) {
            break;
        }
        const size_t at = i;
        const char letter = letterAt(i);
        if (letter == 'm' || letter == 'd') {
            ++i;
            if (letterAt(i) == letter) {
                flags |= letter == 'm' ? CCDT_DATE_MONTH_LEADING_ZERO : CCDT_DATE_DAY_LEADING_ZERO;
                ++i;
            }
            skipSpace();
            (letter == 'm' ? monthAt : dayAt) = at;
        } else if (letter == 'y') {
            if (letterAt(i + 1) != 'y') {
                return false;
            }
            i += 2;
            if (letterAt(i) == 'y') {
                if (letterAt(i + 1) != 'y') {
                    return false;
                }
                i += 2;
                flags |= CCDT_DATE_FOUR_DIGIT_YEAR;
            }
            // The year takes no white space after it: a blank there is a separator.
            yearAt = at;
        } else {
            return false;
        }
        if (i >= n) {
            break;
        }
        const char c = pattern[i];
        if (!haveSeparator) {
            // Half a double-byte character would corrupt every date written with it.
            if (platform::IsLeadByteOf(codePage, static_cast<uint8_t>(c))) {
                return false;
            }
            separator = c;
            haveSeparator = true;
        } else if (c != separator) {
            return false;
        }
        ++i;
    }
    const size_t m = monthAt;
    const size_t d = dayAt;
    const size_t y = yearAt;
    if (m == NONE || d == NONE || y == NONE) {
        return false;
    }
    uint8_t order;
    if (m < d && d < y) {
        order = CCDT_ORDER_MDY;
    } else if (d < m && m < y) {
        order = CCDT_ORDER_DMY;
    } else if (y < m && m < d) {
        order = CCDT_ORDER_YMD;
    } else if (m < y && y < d) {
        order = CCDT_ORDER_MYD;
    } else if (d < y && y < m) {
        order = CCDT_ORDER_DYM;
    } else if (y < d && d < m) {
        order = CCDT_ORDER_YDM;
    } else {
        return false;  // unreachable: three distinct positions are always ordered
    }
    out->order = order;
    out->flags = flags;
    out->separator = separator;
    return true;
}

}  // namespace chronel

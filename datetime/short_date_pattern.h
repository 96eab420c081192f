// Reader of a short date pattern such as "M/d/yy" or "dd.MM.yyyy".
#ifndef DATETIME_SHORT_DATE_PATTERN_H_
#define DATETIME_SHORT_DATE_PATTERN_H_

#include <cstdint>
#include <string_view>

namespace chronel {

struct ShortDate {
    uint8_t order = 0;  // CCDT_ORDER_*
    uint8_t flags = 0;  // CCDT_DATE_*
    char separator = 0;
};

// Reads a pattern of the letters m, d and y (either case): "m"/"mm" month without/with a
// leading zero, "d"/"dd" day likewise, "yy"/"yyyy" two- or four-digit year, separated by
// one separator character used throughout; white space around the month and day is
// ignored. Returns false, leaving *out alone, for anything else: a field missing, an
// unknown letter, three y's, two different separators, or a separator that is the lead
// byte of a double-byte character in codePage.
[[nodiscard]] bool ReadShortDatePattern(std::string_view pattern, uint32_t codePage,
                                        ShortDate* out);

}  // namespace chronel

#endif  // DATETIME_SHORT_DATE_PATTERN_H_

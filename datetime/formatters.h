// Formatting of a date and of a time of day by a country-info record.
#ifndef DATETIME_FORMATTERS_H_
#define DATETIME_FORMATTERS_H_

#include <cstdint>

#include "chronel/chronel.h"

namespace chronel {

// Writes the date of t in the field order, leading-zero and year forms of info, joined by
// info.dateSep. CCDT_FAILURE, with buffer untouched, when a pointer is null, the order is
// above 5 or the text and its NUL need more than bufferSize bytes.
[[nodiscard]] int32_t FormatDate(const tccDTCtxtCountryInfoStruct* info, const ccTm* t,
                                 unsigned char* buffer, uint32_t bufferSize);

// Writes the time of day of t: hours, minutes and seconds joined by info.timeSep, then on
// the 12-hour clock info.amString or info.pmString. Failures as for FormatDate.
[[nodiscard]] int32_t FormatTime(const tccDTCtxtCountryInfoStruct* info, const ccTm* t,
                                 unsigned char* buffer, uint32_t bufferSize);

}  // namespace chronel

#endif  // DATETIME_FORMATTERS_H_

// Conversion between seconds since 1970-01-01 00:00 UTC and the local time of the process's
// time zone (TZ honoured, with its daylight-saving rules).
#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
    int year;
    int month;  // 1-12
    int day;    // 1-31
    int hour;
    int minute;
    int second;
    int weekday;  // 0 = Sunday; filled by UtcToLocal, ignored by LocalToUtc
};

// false when the value cannot be represented.
bool UtcToLocal(int64_t secondsSince1970, LocalTime* out);

// false when a field is out of range (month 1-12, day within the month, hour 0-23,
// minute and second 0-59) or the time cannot be represented. Whether daylight saving
// applies is decided by the zone's rules; a time that does not exist (skipped by a change
// to summer time) is moved forward by the change, an ambiguous time (repeated by the change
// back) takes the C library's choice.
bool LocalToUtc(const LocalTime& in, int64_t* out);

}  // namespace platform

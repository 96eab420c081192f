// Local time through the C library, so the zone's real daylight-saving rules apply.
#include "platform/local_time.h"

#include <time.h>

#include <cerrno>
#include <ctime>
#include <limits>

namespace platform {
namespace {

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

}  // namespace

bool UtcToLocal(int64_t secondsSince1970, LocalTime* out) {
    if (secondsSince1970 < std::numeric_limits<time_t>::min() ||
        secondsSince1970 > std::numeric_limits<time_t>::max()) {
        return false;
    }
    // tzset re-reads TZ, so a zone changed by the process takes effect.
    tzset();
    time_t t = static_cast<time_t>(secondsSince1970);
    struct tm tmv {};
    if (localtime_r(&t, &tmv) == nullptr)
        return false;
    out->year = tmv.tm_year + 1900;
    out->month = tmv.tm_mon + 1;
    out->day = tmv.tm_mday;
    out->hour = tmv.tm_hour;
    out->minute = tmv.tm_min;
    out->second = tmv.tm_sec;
    out->weekday = tmv.tm_wday;
    return true;
}

bool LocalToUtc(const LocalTime& in, int64_t* out) {
    if (in.month < 1 || in.month > 12 || in.day < 1 || in.year < 1 || in.year > 1000000 ||
        in.day > DaysInMonth(in.year, in.month) || in.hour < 0 || in.hour > 23 || in.minute < 0 ||
        in.minute > 59 || in.second < 0 || in.second > 59) {
        return false;
    }
    tzset();
    struct tm tmv {};
    tmv.tm_year = in.year - 1900;
    tmv.tm_mon = in.month - 1;
    tmv.tm_mday = in.day;
    tmv.tm_hour = in.hour;
    tmv.tm_min = in.minute;
    tmv.tm_sec = in.second;
    tmv.tm_isdst = -1;  // let the zone's rules decide
    errno = 0;
    time_t t = mktime(&tmv);
    // -1 is also a valid time (one second before 1970 UTC); errno tells them apart.
    if (t == static_cast<time_t>(-1) && errno != 0)
        return false;
    *out = static_cast<int64_t>(t);
    return true;
}

}  // namespace platform

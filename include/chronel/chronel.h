/* The date and time text library (libchronel.so): reads the user's regional settings
 * into a country-info record and formats dates and times of day by such a record. */
#ifndef CHRONEL_CHRONEL_H_
#define CHRONEL_CHRONEL_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(CHRONEL_BUILDING_LIBRARY)
#define CHRONEL_EXPORT __attribute__((visibility("default")))
#else
#define CHRONEL_EXPORT
#endif

/* Results of every function. */
#define CCDT_SUCCESS 0
#define CCDT_FAILURE 1

/* dateOrder: the date fields from left to right. Values above 5 are refused. */
#define CCDT_ORDER_MDY 0
#define CCDT_ORDER_DMY 1
#define CCDT_ORDER_YMD 2
#define CCDT_ORDER_MYD 3
#define CCDT_ORDER_DYM 4
#define CCDT_ORDER_YDM 5

/* dateFlags */
#define CCDT_DATE_DAY_LEADING_ZERO 0x20
#define CCDT_DATE_MONTH_LEADING_ZERO 0x40
#define CCDT_DATE_FOUR_DIGIT_YEAR 0x80

/* timeFlags */
#define CCDT_TIME_HOUR12_AS_ZERO 0x01
#define CCDT_TIME_24_HOUR 0x02

/* timeFieldFlags */
#define CCDT_TIME_SECONDS_LEADING_ZERO 0x20
#define CCDT_TIME_MINUTES_LEADING_ZERO 0x40
#define CCDT_TIME_HOUR_LEADING_ZERO 0x80

/* The country-info record: 39 bytes, byte-packed. Texts are in the process's ANSI code
 * page; the three strings are NUL-terminated within their 10 bytes. Callers may fill or
 * change the record themselves before handing it to the formatters. */
#pragma pack(push, 1)
typedef struct tccDTCtxtCountryInfoStruct {
    uint8_t dateOrder;      /* CCDT_ORDER_* */
    uint8_t dateFlags;      /* CCDT_DATE_* */
    uint8_t timeFlags;      /* CCDT_TIME_24_HOUR, CCDT_TIME_HOUR12_AS_ZERO */
    uint8_t timeFieldFlags; /* CCDT_TIME_*_LEADING_ZERO */
    char thousandSep;
    char decimalSep;
    char dateSep;
    char timeSep;
    char listSep;
    char amString[10];     /* appended to morning times on the 12-hour clock */
    char pmString[10];     /* appended to afternoon times on the 12-hour clock */
    char pmStringCopy[10]; /* a copy of pmString, empty with the built-in defaults; unused */
} tccDTCtxtCountryInfoStruct;
#pragma pack(pop)

/* A broken-down time. The formatters read only the first six fields; the remaining ones
 * mirror the C library's struct tm so that callers can copy one field by field. */
typedef struct ccTm {
    int32_t tm_sec;   /* seconds */
    int32_t tm_min;   /* minutes */
    int32_t tm_hour;  /* hours, 0-23 */
    int32_t tm_mday;  /* day of the month, 1-31 */
    int32_t tm_mon;   /* month, 0-11 */
    int32_t tm_year;  /* years since 1900 */
    int32_t tm_wday;  /* not read */
    int32_t tm_yday;  /* not read */
    int32_t tm_isdst; /* not read */
} ccTm;

#ifdef __cplusplus
#define CCDT_STATIC_ASSERT(cond, text) static_assert(cond, text)
#else
#define CCDT_STATIC_ASSERT(cond, text) _Static_assert(cond, text)
#endif
CCDT_STATIC_ASSERT(sizeof(tccDTCtxtCountryInfoStruct) == 39, "country-info record size");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, dateOrder) == 0, "dateOrder");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, dateFlags) == 1, "dateFlags");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, timeFlags) == 2, "timeFlags");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, timeFieldFlags) == 3, "timeFieldFlags");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, thousandSep) == 4, "thousandSep");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, decimalSep) == 5, "decimalSep");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, dateSep) == 6, "dateSep");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, timeSep) == 7, "timeSep");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, listSep) == 8, "listSep");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, amString) == 9, "amString");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, pmString) == 19, "pmString");
CCDT_STATIC_ASSERT(offsetof(tccDTCtxtCountryInfoStruct, pmStringCopy) == 29, "pmStringCopy");
CCDT_STATIC_ASSERT(offsetof(ccTm, tm_sec) == 0, "tm_sec");
CCDT_STATIC_ASSERT(offsetof(ccTm, tm_min) == 4, "tm_min");
CCDT_STATIC_ASSERT(offsetof(ccTm, tm_hour) == 8, "tm_hour");
CCDT_STATIC_ASSERT(offsetof(ccTm, tm_mday) == 12, "tm_mday");
CCDT_STATIC_ASSERT(offsetof(ccTm, tm_mon) == 16, "tm_mon");
CCDT_STATIC_ASSERT(offsetof(ccTm, tm_year) == 20, "tm_year");

/* Fills *info with the user's regional settings: the registry key
 * "Control Panel\International" of the current user when it exists, otherwise the calling
 * thread's locale (LC_TIME, LC_NUMERIC), otherwise the built-in defaults.
 * CCDT_SUCCESS, or CCDT_FAILURE when info is null (nothing written). */
CHRONEL_EXPORT int32_t ccDTCtxtGetCountryInfo(tccDTCtxtCountryInfoStruct* info);

/* Writes the date of *t (day, month, year) as NUL-terminated text into buffer.
 * CCDT_FAILURE, with buffer untouched, when a pointer is null, info->dateOrder is above 5
 * or the text and its NUL do not fit in bufferSize bytes; CCDT_SUCCESS otherwise. */
CHRONEL_EXPORT int32_t ccDTCtxtGetDateString(const tccDTCtxtCountryInfoStruct* info, const ccTm* t,
                                             unsigned char* buffer, uint32_t bufferSize);

/* Writes the time of day of *t (hours, minutes, seconds, and on the 12-hour clock the
 * morning or afternoon text) as NUL-terminated text into buffer. CCDT_FAILURE, with
 * buffer untouched, when a pointer is null or the text and its NUL do not fit in
 * bufferSize bytes; CCDT_SUCCESS otherwise. */
CHRONEL_EXPORT int32_t ccDTCtxtGetTimeString(const tccDTCtxtCountryInfoStruct* info, const ccTm* t,
                                             unsigned char* buffer, uint32_t bufferSize);

#ifdef __cplusplus
}
#endif

#endif /* CHRONEL_CHRONEL_H_ */

// Translation of a POSIX locale's date, time and number conventions into the settings of
// the country-info record.
#ifndef DATETIME_LOCALE_TRANSLATION_H_
#define DATETIME_LOCALE_TRANSLATION_H_

#include <cstdint>
#include <optional>
#include <string>

#include "chronel/chronel.h"

namespace chronel {

// What the translation needs from a locale. The format strings are the locale's own
// (strftime conversions with literal text in the locale's character set); the texts and
// separators are already converted to the process's ANSI code page, and are empty when
// the locale has none or they cannot be written in that code page.
struct LocaleSettings {
    bool timeIsPosix = true;        // LC_TIME is C or POSIX: date and time keep the defaults
    std::string dateFormat;         // nl_langinfo(D_FMT)
    std::string timeFormat;         // nl_langinfo(T_FMT)
    std::string timeFormatAmPm;     // nl_langinfo(T_FMT_AMPM): what %r stands for
    std::optional<std::string> am;  // AM_STR
    std::optional<std::string> pm;  // PM_STR
    bool numericIsPosix = true;     // LC_NUMERIC is C or POSIX: separators keep the defaults
    std::optional<char> thousands;  // THOUSEP, when it is one byte in the code page
    std::optional<char> decimal;    // RADIXCHAR, likewise
};

// How faithfully the record reproduces the locale.
struct LocaleTranslation {
    // The short date pattern the date format became (empty when it has no numeric day,
    // month and year and the default date settings were used).
    std::string shortDatePattern;
    // The formatted date equals strftime("%x") (short years of 2000-2009 aside: they are
    // written without a leading zero).
    bool dateExact = false;
    // The formatted time equals strftime("%X") (hour 0 on the 12-hour clock aside: it is
    // written as 0, not 12).
    bool timeExact = false;
};

// Fills *info (all 39 bytes) from the locale's settings; each setting the locale cannot
// give keeps its built-in default, and a locale whose LC_TIME and LC_NUMERIC are both C
// or POSIX gives exactly the built-in defaults. *notes may be null.
void TranslateLocale(const LocaleSettings& locale, uint32_t codePage,
                     tccDTCtxtCountryInfoStruct* info, LocaleTranslation* notes);

// Reads the calling thread's current locale (uselocale, else the process's setlocale),
// converting texts to codePage.
LocaleSettings ReadCurrentLocale(uint32_t codePage);

}  // namespace chronel

#endif  // DATETIME_LOCALE_TRANSLATION_H_

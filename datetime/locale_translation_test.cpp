// The locale translation: real locales against strftime, and the format forms that cannot
// be expressed.
#include "datetime/locale_translation.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstring>
#include <ctime>
#include <string>

#include "datetime/country_info.h"
#include "datetime/formatters.h"

namespace chronel {
namespace {

// Makes a locale the calling thread's current one for the lifetime of the object.
class CScopedLocale {
public:
    explicit CScopedLocale(const char* name) : m_locale(newlocale(LC_ALL_MASK, name, nullptr)) {
        if (m_locale != nullptr) {
            m_previous = uselocale(m_locale);
        }
    }
    ~CScopedLocale() {
        if (m_locale != nullptr) {
            uselocale(m_previous);
            freelocale(m_locale);
        }
    }
    bool Ok() const { return m_locale != nullptr; }

private:
    locale_t m_locale;
    locale_t m_previous = nullptr;
};

ccTm ToCcTm(const std::tm& t) {
    ccTm c{};
    c.tm_sec = t.tm_sec;
    c.tm_min = t.tm_min;
    c.tm_hour = t.tm_hour;
    c.tm_mday = t.tm_mday;
    c.tm_mon = t.tm_mon;
    c.tm_year = t.tm_year;
    return c;
}

std::tm Moment(int year, int month1, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month1 - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return t;
}

std::string Strftime(const char* format, const std::tm& t) {
    char buffer[128];
    const size_t n = std::strftime(buffer, sizeof buffer, format, &t);
    return std::string(buffer, n);
}

std::string Date(const tccDTCtxtCountryInfoStruct& info, const std::tm& t) {
    const ccTm c = ToCcTm(t);
    unsigned char buffer[64];
    EXPECT_EQ(FormatDate(&info, &c, buffer, sizeof buffer), 0);
    return reinterpret_cast<char*>(buffer);
}

std::string Time(const tccDTCtxtCountryInfoStruct& info, const std::tm& t) {
    const ccTm c = ToCcTm(t);
    unsigned char buffer[64];
    EXPECT_EQ(FormatTime(&info, &c, buffer, sizeof buffer), 0);
    return reinterpret_cast<char*>(buffer);
}

struct RealLocale {
    const char* name;
    const char* pattern;
    bool dateExact;
    bool timeExact;
    uint8_t timeFlags;
    char thousands;
    char decimal;
    char list;
    const char* am;
    const char* pm;
};

// Separators as code page 1252 writes them: 0xA0 is the no-break space.
const RealLocale REAL_LOCALES[] = {
    {"en_US.UTF-8", "MM/dd/yyyy", true, true, 0x00, ',', '.', ',', " AM", " PM"},
    {"en_GB.UTF-8", "dd/MM/yy", true, true, 0x02, ',', '.', ',', "am", "pm"},
    {"de_DE.UTF-8", "dd.MM.yyyy", true, true, 0x02, '.', ',', ';', "a", "p"},
    {"fr_FR.UTF-8", "dd/MM/yyyy", true, true, 0x02, '\xA0', ',', ';', "a", "p"},
    {"ja_JP.UTF-8", "yyyy/MM/dd", false, false, 0x02, ',', '.', ',', "a", "p"},
    {"sv_SE.UTF-8", "yyyy-MM-dd", true, true, 0x02, '\xA0', ',', ';', "a", "p"},
};

TEST(LocaleTranslation, RealLocalesMatchStrftimeWhereThePatternCanExpressThem) {
    // Years 2000-2009 are left out: the two-digit form writes them without a leading zero.
    const std::tm moments[] = {
        Moment(2026, 3, 7, 14, 5, 9),   Moment(1999, 12, 31, 23, 59, 59),
        Moment(2010, 10, 10, 9, 30, 0), Moment(2025, 1, 2, 12, 0, 1),
        Moment(1987, 6, 15, 11, 59, 0), Moment(2031, 11, 28, 1, 2, 3),
    };
    for (const RealLocale& expected : REAL_LOCALES) {
        SCOPED_TRACE(expected.name);
        CScopedLocale scoped(expected.name);
        ASSERT_TRUE(scoped.Ok()) << "locale not installed (Debian package locales-all)";
        tccDTCtxtCountryInfoStruct info;
        LocaleTranslation notes;
        TranslateLocale(ReadCurrentLocale(1252), 1252, &info, &notes);
        EXPECT_EQ(notes.shortDatePattern, expected.pattern);
        EXPECT_EQ(notes.dateExact, expected.dateExact);
        EXPECT_EQ(notes.timeExact, expected.timeExact);
        EXPECT_EQ(info.timeFlags, expected.timeFlags);
        EXPECT_EQ(info.timeFieldFlags, 0xE0);
        EXPECT_EQ(info.thousandSep, expected.thousands);
        EXPECT_EQ(info.decimalSep, expected.decimal);
        EXPECT_EQ(info.listSep, expected.list);
        EXPECT_STREQ(info.amString, expected.am);
        EXPECT_STREQ(info.pmString, expected.pm);
        EXPECT_STREQ(info.pmStringCopy, expected.pm);
        for (const std::tm& t : moments) {
            if (expected.dateExact) {
                EXPECT_EQ(Date(info, t), Strftime("%x", t));
            }
            if (expected.timeExact) {
                EXPECT_EQ(Time(info, t), Strftime("%X", t));
            }
        }
    }
}

TEST(LocaleTranslation, WhatThePatternCannotExpress) {
    {
        // Japanese dates use the characters for year, month and day as separators: the
        // fields keep their order and forms, joined by "/".
        CScopedLocale scoped("ja_JP.UTF-8");
        ASSERT_TRUE(scoped.Ok());
        tccDTCtxtCountryInfoStruct info;
        TranslateLocale(ReadCurrentLocale(1252), 1252, &info, nullptr);
        const std::tm t = Moment(2026, 3, 7, 14, 5, 9);
        EXPECT_EQ(Strftime("%x", t),
                  "2026\xE5\xB9\xB4"
                  "03\xE6\x9C\x88"
                  "07\xE6\x97\xA5");
        EXPECT_EQ(Date(info, t), "2026/03/07");
        EXPECT_EQ(Time(info, t), "14:05:09");
        // On code page 932 the morning and afternoon words exist and are taken.
        TranslateLocale(ReadCurrentLocale(932), 932, &info, nullptr);
        EXPECT_STREQ(info.amString, "\x8C\xDF\x91\x4F");
        EXPECT_STREQ(info.pmString, "\x8C\xDF\x8C\xE3");
    }
    {
        CScopedLocale scoped("en_GB.UTF-8");
        ASSERT_TRUE(scoped.Ok());
        tccDTCtxtCountryInfoStruct info;
        TranslateLocale(ReadCurrentLocale(1252), 1252, &info, nullptr);
        const std::tm t = Moment(2005, 3, 7, 0, 15, 0);
        EXPECT_EQ(Strftime("%x", t), "07/03/05");
        EXPECT_EQ(Date(info, t), "07/03/5");
    }
    {
        // The 12-hour clock writes hour 0 as 0, where strftime writes 12.
        CScopedLocale scoped("en_US.UTF-8");
        ASSERT_TRUE(scoped.Ok());
        tccDTCtxtCountryInfoStruct info;
        TranslateLocale(ReadCurrentLocale(1252), 1252, &info, nullptr);
        const std::tm t = Moment(2026, 3, 7, 0, 15, 0);
        EXPECT_EQ(Strftime("%X", t), "12:15:00 AM");
        EXPECT_EQ(Time(info, t), "00:15:00 AM");
    }
}

TEST(LocaleTranslation, PosixLocalesGiveExactlyTheBuiltInDefaults) {
    tccDTCtxtCountryInfoStruct defaults;
    FillBuiltInDefaults(&defaults);
    for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
        CScopedLocale scoped(name);
        ASSERT_TRUE(scoped.Ok()) << name;
        tccDTCtxtCountryInfoStruct info;
        std::memset(&info, 0x5A, sizeof info);
        TranslateLocale(ReadCurrentLocale(1252), 1252, &info, nullptr);
        EXPECT_EQ(std::memcmp(&info, &defaults, sizeof info), 0) << name;
    }
}

LocaleSettings TimeLocale(const char* dateFormat, const char* timeFormat) {
    LocaleSettings s;
    s.timeIsPosix = false;
    s.dateFormat = dateFormat;
    s.timeFormat = timeFormat;
    s.am = "AM";
    s.pm = "PM";
    return s;
}

TEST(LocaleTranslation, DateFormatForms) {
    struct Case {
        const char* format;
        const char* pattern;  // "" when the date keeps its defaults
        bool exact;
        uint8_t order;
        uint8_t flags;
        char separator;
    };
    const Case cases[] = {
        {"%-d.%-m.%Y", "d.M.yyyy", true, 1, 0x80, '.'},
        {"%D", "MM/dd/yy", true, 0, 0x60, '/'},
        {"%F", "yyyy-MM-dd", true, 2, 0xE0, '-'},
        {"%e.%m.%Y", "d.MM.yyyy", false, 1, 0xC0, '.'},     // space-padded day
        {"%A %e %B %Y", "d/MM/yyyy", false, 1, 0xC0, '/'},  // weekday and month name
        {"%d. %m. %Y", "dd.MM.yyyy", false, 1, 0xE0, '.'},  // blank after the separator
        {"%d.%m.%Y.", "dd.MM.yyyy", false, 1, 0xE0, '.'},   // trailing text
        {"%Y/%m-%d", "yyyy/MM/dd", false, 2, 0xE0, '/'},    // two separators
        {"%d%m%Y", "dd/MM/yyyy", false, 1, 0xE0, '/'},      // none at all
        {"%Oy/%Om/%Od", "yy/MM/dd", false, 2, 0x60, '/'},   // alternative digits
        {"%d/%m/%Ey", "dd/MM/yy", false, 1, 0x60, '/'},     // era year
        {"%m/%d", "", false, 0, 0x60, '/'},                 // no year
        {"%x", "", false, 0, 0x60, '/'},                    // refers to itself
        {"%", "", false, 0, 0x60, '/'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        tccDTCtxtCountryInfoStruct info;
        LocaleTranslation notes;
        TranslateLocale(TimeLocale(c.format, "%H:%M:%S"), 1252, &info, &notes);
        EXPECT_EQ(notes.shortDatePattern, c.pattern);
        EXPECT_EQ(notes.dateExact, c.exact);
        EXPECT_EQ(info.dateOrder, c.order);
        EXPECT_EQ(info.dateFlags, c.flags);
        EXPECT_EQ(info.dateSep, c.separator);
    }
}

TEST(LocaleTranslation, TimeFormatForms) {
    struct Case {
        const char* format;
        bool exact;
        uint8_t timeFlags;
        uint8_t fieldFlags;
        char separator;
        const char* am;
    };
    const Case cases[] = {
        {"%H:%M:%S", true, 0x02, 0xE0, ':', "AM"},
        {"%-H.%M.%S", true, 0x02, 0x60, '.', "AM"},
        {"%k:%M:%S", false, 0x02, 0x60, ':', "AM"},  // space-padded hour
        {"%r", true, 0x00, 0xE0, ':', " AM"},        // %I:%M:%S %p
        {"%I:%M:%S%p", true, 0x00, 0xE0, ':', "AM"},
        {"%l:%M:%S %P", false, 0x00, 0x60, ':', " am"},
        {"%p %I:%M:%S", false, 0x00, 0xE0, ':', "AM"},  // the mark comes first
        {"%I:%M:%S %p %Z", false, 0x00, 0xE0, ':', " AM"},
        {"%H:%M", false, 0x02, 0xE0, ':', "AM"},  // no seconds
        {"%H時%M分%S秒", false, 0x02, 0xE0, ':', "AM"},
        {"%Z", false, 0x00, 0xE0, ':', "AM"},  // no hour: defaults
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        tccDTCtxtCountryInfoStruct info;
        LocaleTranslation notes;
        TranslateLocale(TimeLocale("%m/%d/%Y", c.format), 1252, &info, &notes);
        EXPECT_EQ(notes.timeExact, c.exact);
        EXPECT_EQ(info.timeFlags, c.timeFlags);
        EXPECT_EQ(info.timeFieldFlags, c.fieldFlags);
        EXPECT_EQ(info.timeSep, c.separator);
        EXPECT_STREQ(info.amString, c.am);
    }
    // A 12-hour clock without morning and afternoon words keeps "a" and "p" and is not
    // exact; words longer than nine bytes are cut.
    LocaleSettings s = TimeLocale("%m/%d/%Y", "%r");
    s.am.reset();
    s.pm = "afternoon";
    tccDTCtxtCountryInfoStruct info;
    LocaleTranslation notes;
    TranslateLocale(s, 1252, &info, &notes);
    EXPECT_FALSE(notes.timeExact);
    EXPECT_STREQ(info.amString, "a");
    EXPECT_STREQ(info.pmString, " afternoo");
}

TEST(LocaleTranslation, NumberSeparators) {
    LocaleSettings s;
    s.numericIsPosix = false;
    s.decimal = ',';
    tccDTCtxtCountryInfoStruct info;
    TranslateLocale(s, 1252, &info, nullptr);
    // No grouping character next to a decimal comma: a blank, and lists take ";".
    EXPECT_EQ(info.thousandSep, ' ');
    EXPECT_EQ(info.decimalSep, ',');
    EXPECT_EQ(info.listSep, ';');
    // LC_TIME stays C: the date and time keep the built-in defaults.
    EXPECT_EQ(info.dateFlags, 0x60);
    EXPECT_EQ(info.timeFlags, 0x00);
    EXPECT_STREQ(info.pmStringCopy, "p");

    s.decimal.reset();
    s.thousands = '\'';
    TranslateLocale(s, 1252, &info, nullptr);
    EXPECT_EQ(info.thousandSep, '\'');
    EXPECT_EQ(info.decimalSep, '.');
    EXPECT_EQ(info.listSep, ',');
}

}  // namespace
}  // namespace chronel

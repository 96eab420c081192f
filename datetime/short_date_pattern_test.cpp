// The short date pattern reader: what it accepts and what it refuses.
#include "datetime/short_date_pattern.h"

#include <gtest/gtest.h>

#include <string>

namespace chronel {
namespace {

struct Accepted {
    const char* pattern;
    int order;
    int flags;
    char separator;
};

TEST(ShortDatePattern, AcceptsEveryOrderAndForm) {
    const Accepted cases[] = {
        {"M/d/yy", 0, 0x00, '/'},     {"dd.MM.yyyy", 1, 0xE0, '.'}, {"yyyy-MM-dd", 2, 0xE0, '-'},
        {"MM/yy/dd", 3, 0x60, '/'},   {"d/yyyy/M", 4, 0x80, '/'},   {"yy.d.MM", 5, 0x40, '.'},
        {"DD/MM/YYYY", 1, 0xE0, '/'}, {"mM-Dd-Yy", 0, 0x60, '-'},   {"  M / d / yy", 0, 0x00, '/'},
        {"M/d/yy/", 0, 0x00, '/'},
    };
    for (const Accepted& c : cases) {
        ShortDate out;
        ASSERT_TRUE(ReadShortDatePattern(c.pattern, 1252, &out)) << c.pattern;
        EXPECT_EQ(out.order, c.order) << c.pattern;
        EXPECT_EQ(out.flags, c.flags) << c.pattern;
        EXPECT_EQ(out.separator, c.separator) << c.pattern;
    }
}

TEST(ShortDatePattern, RejectsWhatItCannotExpress) {
    const char* rejected[] = {
        "",
        "   ",
        "yyy/MM/dd",           // three y's
        "M/d/y",               // one y
        "M/d-yy",              // two different separators
        "dddd, MMMM d, yyyy",  // weekday and month names
        "MMM d yy",
        "M/d",      // no year
        "d/yy/d",   // no month, though the day is written twice
        "yy M d",   // after skipping the blank behind M, the d is taken as a separator
        "M/d/yy ",  // a blank after the year is a second, different separator
        "M/d/yyyyy",
        "M/x/yy",
        "M d yy",
        "yy M/d",  // a blank separator after the year, then a slash
    };
    for (const char* pattern : rejected) {
        ShortDate out{9, 9, '#'};
        EXPECT_FALSE(ReadShortDatePattern(pattern, 1252, &out)) << pattern;
        EXPECT_EQ(out.order, 9);
        EXPECT_EQ(out.separator, '#');
    }
}

TEST(ShortDatePattern, RefusesALeadByteAsSeparator) {
    // 0x94 followed by "M" is one double-byte character on code page 932, two on 1252.
    const std::string pattern =
        "yyyy\x94MM\x94"
        "dd";
    ShortDate out;
    EXPECT_FALSE(ReadShortDatePattern(pattern, 932, &out));
    ASSERT_TRUE(ReadShortDatePattern(pattern, 1252, &out));
    EXPECT_EQ(out.separator, '\x94');
    EXPECT_EQ(out.order, 2);
}

}  // namespace
}  // namespace chronel

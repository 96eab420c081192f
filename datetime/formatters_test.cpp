// Date and time text: field forms, clocks, orders, and the buffer rules.
#include "datetime/formatters.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace chronel {
namespace {

tccDTCtxtCountryInfoStruct DefaultRecord() {
    tccDTCtxtCountryInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.dateOrder = 0;
    info.dateFlags = 0x60;
    info.timeFlags = 0;
    info.timeFieldFlags = 0xE0;
    info.dateSep = '/';
    info.timeSep = ':';
    std::strcpy(info.amString, "a");
    std::strcpy(info.pmString, "p");
    return info;
}

ccTm Time(int h, int m, int s) {
    ccTm t{};
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return t;
}

ccTm Date(int year, int month1, int day) {
    ccTm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month1 - 1;
    t.tm_mday = day;
    return t;
}

std::string TimeText(const tccDTCtxtCountryInfoStruct& info, const ccTm& t) {
    unsigned char buffer[64];
    EXPECT_EQ(FormatTime(&info, &t, buffer, sizeof buffer), 0);
    return reinterpret_cast<char*>(buffer);
}

std::string DateText(const tccDTCtxtCountryInfoStruct& info, const ccTm& t) {
    unsigned char buffer[64];
    EXPECT_EQ(FormatDate(&info, &t, buffer, sizeof buffer), 0);
    return reinterpret_cast<char*>(buffer);
}

TEST(FormatTime, TwelveAndTwentyFourHourClocks) {
    tccDTCtxtCountryInfoStruct info = DefaultRecord();
    const ccTm afternoon = Time(14, 5, 9);
    EXPECT_EQ(TimeText(info, afternoon), "02:05:09p");
    info.timeFieldFlags = 0x60;
    EXPECT_EQ(TimeText(info, afternoon), "2:05:09p");
    info.timeFlags = 0x02;
    EXPECT_EQ(TimeText(info, afternoon), "14:05:09");
    info.timeFieldFlags = 0x00;
    info.timeSep = '.';
    EXPECT_EQ(TimeText(info, Time(9, 5, 3)), "9.5.3");
    info.timeFieldFlags = 0xE0;
    EXPECT_EQ(TimeText(info, Time(9, 5, 3)), "09.05.03");
}

TEST(FormatTime, NoonMidnightAndHourTwelveAsZero) {
    tccDTCtxtCountryInfoStruct info = DefaultRecord();
    info.timeFieldFlags = 0x60;
    std::strcpy(info.amString, " AM");
    std::strcpy(info.pmString, " PM");
    EXPECT_EQ(TimeText(info, Time(12, 30, 0)), "12:30:00 PM");
    EXPECT_EQ(TimeText(info, Time(0, 15, 0)), "0:15:00 AM");
    EXPECT_EQ(TimeText(info, Time(11, 59, 59)), "11:59:59 AM");
    EXPECT_EQ(TimeText(info, Time(23, 0, 0)), "11:00:00 PM");
    info.timeFlags = 0x01;
    EXPECT_EQ(TimeText(info, Time(12, 30, 0)), "0:30:00 PM");
    EXPECT_EQ(TimeText(info, Time(0, 30, 0)), "0:30:00 AM");
    // Hour 12 becomes 0 on the 24-hour clock too.
    info.timeFlags = 0x03;
    EXPECT_EQ(TimeText(info, Time(12, 30, 0)), "0:30:00");
    EXPECT_EQ(TimeText(info, Time(13, 30, 0)), "13:30:00");
}

TEST(FormatTime, UnterminatedMarkStopsAtItsField) {
    tccDTCtxtCountryInfoStruct info = DefaultRecord();
    std::memset(info.amString, 'x', sizeof info.amString);
    std::memset(info.pmString, 'y', sizeof info.pmString);
    EXPECT_EQ(TimeText(info, Time(1, 2, 3)), "01:02:03xxxxxxxxxx");
}

TEST(FormatDate, FieldFormsAndYears) {
    tccDTCtxtCountryInfoStruct info = DefaultRecord();
    const ccTm march7 = Date(2001, 3, 7);
    EXPECT_EQ(DateText(info, march7), "03/07/1");
    info.dateFlags = 0xE0;
    EXPECT_EQ(DateText(info, march7), "03/07/2001");
    info.dateFlags = 0x00;
    EXPECT_EQ(DateText(info, march7), "3/7/1");
    info.dateFlags = 0x20;
    EXPECT_EQ(DateText(info, Date(1999, 12, 31)), "12/31/99");
    EXPECT_EQ(DateText(info, Date(2026, 11, 5)), "11/05/26");
    EXPECT_EQ(DateText(info, Date(1905, 1, 1)), "1/01/5");
    // Two-digit years drop only one century.
    EXPECT_EQ(DateText(info, Date(2150, 1, 1)), "1/01/150");
}

TEST(FormatDate, AllSixOrders) {
    tccDTCtxtCountryInfoStruct info = DefaultRecord();
    info.dateFlags = 0xE0;
    info.dateSep = '-';
    const ccTm t = Date(2001, 3, 7);
    const char* expected[6] = {"03-07-2001", "07-03-2001", "2001-03-07",
                               "03-2001-07", "07-2001-03", "2001-07-03"};
    for (uint8_t order = 0; order < 6; ++order) {
        info.dateOrder = order;
        EXPECT_EQ(DateText(info, t), expected[order]) << "order " << int(order);
    }
}

TEST(Formatters, FailuresLeaveTheBufferUntouched) {
    tccDTCtxtCountryInfoStruct info = DefaultRecord();
    info.dateFlags = 0xE0;
    const ccTm t = Date(2001, 3, 7);
    const ccTm noon = Time(14, 5, 9);  // "02:05:09p": 9 bytes
    unsigned char buffer[32];
    auto untouched = [&buffer] {
        for (unsigned char c : buffer) {
            if (c != 0xAA) {
                return false;
            }
        }
        return true;
    };
    // "03/07/2001" is 10 bytes: a buffer of 10 cannot take its NUL, one of 11 can.
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(FormatDate(&info, &t, buffer, 10), 1);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(FormatDate(&info, &t, buffer, 0), 1);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(FormatDate(&info, &t, buffer, 11), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "03/07/2001");
    EXPECT_EQ(buffer[11], 0xAA);

    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(FormatTime(&info, &noon, buffer, 9), 1);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(FormatTime(&info, &noon, buffer, 10), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "02:05:09p");

    // An order above 5 is a failure, not an empty success.
    std::memset(buffer, 0xAA, sizeof buffer);
    for (int order : {6, 200, 255}) {
        info.dateOrder = static_cast<uint8_t>(order);
        EXPECT_EQ(FormatDate(&info, &t, buffer, sizeof buffer), 1);
    }
    EXPECT_TRUE(untouched());

    info.dateOrder = 0;
    EXPECT_EQ(FormatDate(nullptr, &t, buffer, sizeof buffer), 1);
    EXPECT_EQ(FormatDate(&info, nullptr, buffer, sizeof buffer), 1);
    EXPECT_EQ(FormatDate(&info, &t, nullptr, sizeof buffer), 1);
    EXPECT_EQ(FormatTime(nullptr, &noon, buffer, sizeof buffer), 1);
    EXPECT_EQ(FormatTime(&info, nullptr, buffer, sizeof buffer), 1);
    EXPECT_EQ(FormatTime(&info, &noon, nullptr, sizeof buffer), 1);
    EXPECT_TRUE(untouched());
}

TEST(Formatters, ExtremeFieldValuesAreWrittenInFull) {
    tccDTCtxtCountryInfoStruct info = DefaultRecord();
    info.dateFlags = 0xE0;
    ccTm t{};
    t.tm_mon = INT_MAX;
    t.tm_mday = INT_MIN;
    t.tm_year = INT_MAX;
    EXPECT_EQ(DateText(info, t), "2147483648/-2147483648/2147485547");
    t.tm_hour = INT_MIN;
    t.tm_min = -5;
    t.tm_sec = INT_MAX;
    EXPECT_EQ(TimeText(info, t), "-2147483648:-5:2147483647a");
    t.tm_hour = INT_MAX;
    EXPECT_EQ(TimeText(info, t), "2147483635:-5:2147483647p");
}

}  // namespace
}  // namespace chronel

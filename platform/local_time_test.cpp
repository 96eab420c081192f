// Local time conversions across daylight-saving changes in fixed zones.
#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {
namespace {

// The zones as POSIX rules, so the test also runs without a time-zone database.
constexpr const char BERLIN[] = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char NEW_YORK[] = "EST5EDT,M3.2.0,M11.1.0";

class LocalTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_hadTz = tz != nullptr;
        if (m_hadTz)
            m_oldTz = tz;
    }
    void TearDown() override {
        if (m_hadTz) {
            setenv("TZ", m_oldTz.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    static void UseZone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    static LocalTime At(int y, int mo, int d, int h, int mi, int s) {
        return LocalTime{y, mo, d, h, mi, s, 0};
    }
    bool m_hadTz = false;
    std::string m_oldTz;
};

void ExpectLocal(int64_t utc, int y, int mo, int d, int h, int mi, int s, int wd) {
    LocalTime lt{};
    ASSERT_TRUE(UtcToLocal(utc, &lt)) << utc;
    EXPECT_EQ(lt.year, y) << utc;
    EXPECT_EQ(lt.month, mo) << utc;
    EXPECT_EQ(lt.day, d) << utc;
    EXPECT_EQ(lt.hour, h) << utc;
    EXPECT_EQ(lt.minute, mi) << utc;
    EXPECT_EQ(lt.second, s) << utc;
    EXPECT_EQ(lt.weekday, wd) << utc;
    int64_t back = 0;
    ASSERT_TRUE(LocalToUtc(lt, &back));
    EXPECT_EQ(back, utc);
}

// The zone as a POSIX rule, and by name when the time-zone database is installed.
std::vector<std::string> Zones(const char* rule, const char* name) {
    std::vector<std::string> zones{rule};
    if (std::filesystem::exists(std::string("/usr/share/zoneinfo/") + name))
        zones.emplace_back(name);
    return zones;
}

TEST_F(LocalTimeTest, BerlinRoundTripsAcrossBothChanges) {
    for (const std::string& zone : Zones(BERLIN, "Europe/Berlin")) {
        SCOPED_TRACE(zone);
        UseZone(zone.c_str());
        // Spring: 02:00 CET jumps to 03:00 CEST at 01:00 UTC on 2024-03-31 (a Sunday).
        ExpectLocal(1711846800 - 1, 2024, 3, 31, 1, 59, 59, 0);
        ExpectLocal(1711846800, 2024, 3, 31, 3, 0, 0, 0);
        // Autumn: 03:00 CEST falls back to 02:00 CET at 01:00 UTC on 2024-10-27.
        ExpectLocal(1729990800 + 3600, 2024, 10, 27, 3, 0, 0, 0);
        ExpectLocal(1729990800 - 7200, 2024, 10, 27, 1, 0, 0, 0);
        ExpectLocal(0, 1970, 1, 1, 1, 0, 0, 4);
        // Summer and winter noon differ by the offset change.
        int64_t summer = 0;
        int64_t winter = 0;
        ASSERT_TRUE(LocalToUtc(At(2024, 7, 1, 12, 0, 0), &summer));
        ASSERT_TRUE(LocalToUtc(At(2024, 1, 1, 12, 0, 0), &winter));
        EXPECT_EQ(summer % 86400, 10 * 3600);
        EXPECT_EQ(winter % 86400, 11 * 3600);
    }
}

TEST_F(LocalTimeTest, NewYorkRoundTripsAndSkippedHourMovesForward) {
    for (const std::string& zone : Zones(NEW_YORK, "America/New_York")) {
        SCOPED_TRACE(zone);
        UseZone(zone.c_str());
        ExpectLocal(1710054000 - 1, 2024, 3, 10, 1, 59, 59, 0);
        ExpectLocal(1710054000, 2024, 3, 10, 3, 0, 0, 0);
        ExpectLocal(1730613600 - 1, 2024, 11, 3, 1, 59, 59, 0);
        // 02:30 does not exist on the spring day; it lands one hour later.
        int64_t t = 0;
        ASSERT_TRUE(LocalToUtc(At(2024, 3, 10, 2, 30, 0), &t));
        LocalTime lt{};
        ASSERT_TRUE(UtcToLocal(t, &lt));
        EXPECT_EQ(lt.hour, 3);
        EXPECT_EQ(lt.minute, 30);
    }
}

TEST_F(LocalTimeTest, InvalidFieldsAreRefused) {
    UseZone(BERLIN);
    int64_t t = 0;
    EXPECT_FALSE(LocalToUtc(At(2024, 13, 1, 0, 0, 0), &t));
    EXPECT_FALSE(LocalToUtc(At(2024, 0, 1, 0, 0, 0), &t));
    EXPECT_FALSE(LocalToUtc(At(2023, 2, 29, 0, 0, 0), &t));
    EXPECT_TRUE(LocalToUtc(At(2024, 2, 29, 0, 0, 0), &t));
    EXPECT_FALSE(LocalToUtc(At(2024, 1, 1, 24, 0, 0), &t));
    EXPECT_FALSE(LocalToUtc(At(2024, 1, 1, 0, 60, 0), &t));
    EXPECT_FALSE(LocalToUtc(At(2024, 1, 1, 0, 0, -1), &t));
    // One second before 1970 in UTC is a valid time, not an error.
    UseZone("UTC0");
    ASSERT_TRUE(LocalToUtc(At(1969, 12, 31, 23, 59, 59), &t));
    EXPECT_EQ(t, -1);
}

}  // namespace
}  // namespace platform

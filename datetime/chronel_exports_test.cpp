// The shared library's C interface, called from C, with the settings pinned in the
// registry stand-in of a temporary platform folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "chronel/chronel.h"
#include "datetime/country_info.h"
#include "platform/registry.h"

extern "C" int32_t ChronelCApiRoundTrip(tccDTCtxtCountryInfoStruct* info, char* date, char* time,
                                        uint32_t size);

namespace {

using platform::RegistryHive;

TEST(ChronelExports, ReadsThePinnedRegistrySettingsAndFormatsByThem) {
    char folder[] = "/tmp/chronel_home_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    // The library looks its registry up here on its first call in this process.
    ASSERT_EQ(setenv("TETHER_PLATFORM_HOME", folder, 1), 0);
    {
        platform::CRegistry registry(std::string(folder) + "/registry.reg");
        const char* key = chronel::INTERNATIONAL_KEY;
        ASSERT_EQ(registry.SetString(RegistryHive::CurrentUser, key, "sShortDate", "d.M.yyyy"), 0);
        ASSERT_EQ(registry.SetString(RegistryHive::CurrentUser, key, "iTLZero", "0"), 0);
        ASSERT_EQ(registry.SetString(RegistryHive::CurrentUser, key, "s2359", " Uhr nachm."), 0);
    }
    tccDTCtxtCountryInfoStruct info;
    char date[32];
    char time[32];
    ASSERT_EQ(ChronelCApiRoundTrip(&info, date, time, sizeof date), 0);
    EXPECT_STREQ(date, "7.3.2001");
    EXPECT_STREQ(time, "2:05:09 Uhr nach");  // cut to the field's nine bytes
    EXPECT_EQ(info.dateOrder, 1);
    EXPECT_EQ(info.timeFieldFlags, 0x60);
    std::filesystem::remove_all(folder);
}

}  // namespace

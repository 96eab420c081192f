// Which folders the environment selects.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace platform {
namespace {

class PathsTest : public ::testing::Test {
protected:
    static constexpr const char* VARS[] = {"TETHER_PLATFORM_HOME", "TETHER_DATA_DIR",
                                           "XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"};
    void SetUp() override {
        for (const char* v : VARS) {
            const char* value = std::getenv(v);
            m_saved[v] = value ? std::optional<std::string>(value) : std::nullopt;
            unsetenv(v);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    std::map<std::string, std::optional<std::string>> m_saved;
};

TEST_F(PathsTest, EnvironmentThenXdgThenHome) {
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(PlatformHome(), "/home/u/.config/tethermail");
    EXPECT_EQ(WindowsDirectory(), "/home/u/.config/tethermail/windows");
    EXPECT_EQ(DesktopDataFolder(), "/home/u/.local/share/tethermail");
    setenv("XDG_CONFIG_HOME", "/x/conf/", 1);
    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    EXPECT_EQ(PlatformHome(), "/x/conf/tethermail");
    EXPECT_EQ(DesktopDataFolder(), "/home/u/.local/share/tethermail");
    setenv("TETHER_PLATFORM_HOME", "/p/home//", 1);
    setenv("TETHER_DATA_DIR", "/d/data", 1);
    EXPECT_EQ(PlatformHome(), "/p/home");
    EXPECT_EQ(WindowsDirectory(), "/p/home/windows");
    EXPECT_EQ(DesktopDataFolder(), "/d/data");
}

}  // namespace
}  // namespace platform

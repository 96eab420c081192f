// Windows found by title across processes, and messages posted to them.
#include "platform/window_link.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/file_util.h"

namespace platform {
namespace {

class WindowLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/platform_window_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(m_dir);
    }
    std::string m_dir;
};

TEST_F(WindowLinkTest, PostedMessagesArriveAtTheWindowOfThatTitle) {
    EXPECT_FALSE(WindowExists("Change TetherSync Action"));
    EXPECT_FALSE(PostWindowMessage("Change TetherSync Action", 1030, 0, 1));
    int32_t error = -1;
    auto dialog = CWindowEndpoint::Create("Change TetherSync Action", &error);
    ASSERT_NE(dialog, nullptr) << error;
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(WindowExists("Change TetherSync Action"));
    EXPECT_FALSE(WindowExists("change tethersync action"));  // titles match exactly
    uint32_t mode = 0;
    ASSERT_EQ(FileMode(RuntimeFolder(), &mode), 0);
    EXPECT_EQ(mode, 0700u);

    PostedMessage msg;
    EXPECT_FALSE(dialog->Receive(&msg));
    ASSERT_TRUE(PostWindowMessage("Change TetherSync Action", 1030, 0, -1));
    ASSERT_TRUE(PostWindowMessage("Change TetherSync Action", 7, 0x1122334455667788ull, 5));
    ASSERT_TRUE(dialog->Receive(&msg, 1000));
    EXPECT_EQ(msg.message, 1030u);
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.lParam, -1);
    ASSERT_TRUE(dialog->Receive(&msg));
    EXPECT_EQ(msg.message, 7u);
    EXPECT_EQ(msg.wParam, 0x1122334455667788ull);
    EXPECT_EQ(msg.lParam, 5);
    EXPECT_FALSE(dialog->Receive(&msg, 10));

    // A second window of the same title is refused while the first lives.
    EXPECT_EQ(CWindowEndpoint::Create("Change TetherSync Action", &error), nullptr);
    EXPECT_EQ(error, EADDRINUSE);
    dialog.reset();
    EXPECT_FALSE(WindowExists("Change TetherSync Action"));
    EXPECT_NE(CWindowEndpoint::Create("Change TetherSync Action", &error), nullptr);
}

}  // namespace
}  // namespace platform

// The VIM back-end's own logic: packed dates, the gateway rule for cc:Mail recipients, and
// the operations that need no mail system.
#include "conduit/backends/vim_conduit.h"

#include <gtest/gtest.h>

#include <cstring>

#include "conduit/core/fake_host_test_util.h"

namespace torrim {
namespace {

void IgnoreProgress(const char*) {}

class CVimProbe : public CVimConduit {
public:
    CVimProbe(CFakeHost& host, MailSettings& settings, const SyncProperties& props)
        : CVimConduit(host, settings, &IgnoreProgress, props) {}
    using CVimConduit::m_vimDate;
    using CVimConduit::m_vimTime;
};

class VimConduitTest : public ::testing::Test {
protected:
    void SetUp() override { std::memset(&m_props, 0, sizeof(m_props)); }
    CFakeHost m_host;
    MailSettings m_settings;
    SyncProperties m_props;
};

TEST_F(VimConduitTest, PackedDatesAreLocalTime) {
    CVimProbe vim(m_host, m_settings, m_props);
    uint32_t date = 1;
    vim.ParseDate(&date);  // no date yet
    EXPECT_EQ(date, 0u);
    // 2001-07-05 09:03:07 in New York (EDT, UTC-4) is 13:03:07 UTC.
    vim.m_vimDate = (2001u << 16) | (7u << 8) | 5u;
    vim.m_vimTime = (9u << 24) | (3u << 16) | (7u << 8);
    vim.ParseDate(&date);
    EXPECT_EQ(date, 994338187u);
    vim.m_vimTime = VIM_DATE_NONE;  // a date without a time is midnight
    vim.ParseDate(&date);
    EXPECT_EQ(date, 994305600u);
    vim.m_vimDate = (2001u << 16) | (2u << 8) | 30u;  // no such day
    vim.ParseDate(&date);
    EXPECT_EQ(date, 0u);

    const uint32_t time = 994338187u;
    vim.FormatDate(&time);
    EXPECT_EQ(vim.m_vimDate, (2001u << 16) | (7u << 8) | 5u);
    EXPECT_EQ(vim.m_vimTime, (9u << 24) | (3u << 16) | (7u << 8));
    const uint32_t none = 0;
    vim.FormatDate(&none);
    EXPECT_EQ(vim.m_vimDate, 0u);
    EXPECT_EQ(vim.m_vimTime, 0u);
}

TEST_F(VimConduitTest, InternetAddressesGoThroughTheGatewayOnCcMailOnly) {
    auto route = [](const char* address, bool ccMail, const char* gateway) {
        return CVimConduit::GatewayAddress(address, ccMail, " at ", gateway, "Internet-Mail");
    };
    EXPECT_EQ(route("ann@example.org", true, ""), "ann@example.org at Internet-Mail");
    EXPECT_EQ(route("Ann <ann@example.org>", true, "SMTPGW"), "ann@example.org at SMTPGW");
    EXPECT_EQ(route("ann@example.org at SMTPGW", true, "Other"), "ann@example.org at SMTPGW");
    // " at " with nothing after it is no gateway yet.
    EXPECT_EQ(route("ann@example.org at ", true, ""), "ann@example.org at Internet-Mail");
    EXPECT_EQ(route("Ann Lee", true, ""), "Ann Lee");
    EXPECT_EQ(route("ann@example.org", false, "SMTPGW"), "ann@example.org");
}

TEST_F(VimConduitTest, NoCurrentMessageNeedsNoMailSystem) {
    CVimProbe vim(m_host, m_settings, m_props);
    EXPECT_EQ(vim.MarkMessageRead(), 0);
    EXPECT_EQ(vim.DeleteMessage(), 0);
    EXPECT_EQ(vim.ReadMessage(), 0);
    EXPECT_TRUE(m_host.m_log.empty());
    EXPECT_EQ(vim.KeepsMessageIds(), 0);
    char* name = nullptr;
    char* address = nullptr;
    // Without a library nothing matches, and the outputs stay as they were.
    EXPECT_EQ(vim.ResolveName("ann", &name, &address), -1);
    EXPECT_EQ(name, nullptr);
}

}  // namespace
}  // namespace torrim

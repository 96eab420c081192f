// The back-ends' class tree, the calls that need no mail system, and the thunk
// registration.
#include "conduit/backends/mail_backends.h"

#include <gtest/gtest.h>

#include <cstring>

#include "conduit/core/codes.h"
#include "conduit/core/fake_host_test_util.h"

namespace torrim {
namespace {

void IgnoreProgress(const char*) {}

// Opens the back-ends' operations to the test.
template <typename Base>
class CProbe : public Base {
public:
    CProbe(CFakeHost& host, MailSettings& settings, const SyncProperties& props)
        : Base(host, settings, &IgnoreProgress, props) {}
    void SetCurrent(const char* id, uint32_t key1) {
        std::strcpy(this->m_currentId, id);
        this->m_currentKey1 = key1;
    }
};

class BackEndsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&m_props, 0, sizeof(m_props));
        m_host.m_strings[6104] = "   - delete";
        m_host.m_strings[6105] = "   - send";
        m_host.m_strings[6106] = "   - read";
        m_host.m_strings[6107] = "   - mark";
        m_host.m_strings[6110] = "   - next";
    }
    CFakeHost m_host;
    MailSettings m_settings;
    SyncProperties m_props;
};

TEST_F(BackEndsTest, ClassTreeKeepsTheBaseOfEachBranch) {
    CProbe<CMapi16Conduit> mapi16(m_host, m_settings, m_props);
    CProbe<CVimConduit> vim(m_host, m_settings, m_props);
    EXPECT_NE(dynamic_cast<CMapiConduit*>(static_cast<CMailConduit*>(&mapi16)), nullptr);
    EXPECT_EQ(dynamic_cast<CVimConduitBase*>(static_cast<CMailConduit*>(&mapi16)), nullptr);
    EXPECT_NE(dynamic_cast<CVimConduitBase*>(static_cast<CMailConduit*>(&vim)), nullptr);
    // VIM keeps the default FreeMessage, which reports and answers its own text number.
    EXPECT_EQ(vim.FreeMessage(), 6111);
}

TEST_F(BackEndsTest, ThunkRegistersOnceAndReleases) {
    ReleaseThunk();
    ASSERT_TRUE(RegisterThunk(m_host));
    const ThunkEntry first = RegisteredThunk();
    ASSERT_TRUE(RegisterThunk(m_host));
    EXPECT_EQ(RegisteredThunk(), first);
    // Without a thunk, ExtraCall answers unavailable and reports nothing.
    if (first == nullptr) {
        CProbe<CMapi16Conduit> conduit(m_host, m_settings, m_props);
        EXPECT_EQ(conduit.ExtraCall(1, 2), MAIL_ERR_UNAVAILABLE);
        EXPECT_TRUE(m_host.m_log.empty());
    }
    ReleaseThunk();
    EXPECT_EQ(RegisteredThunk(), nullptr);
    EXPECT_EQ(m_host.m_languageOpen, 0);
}

}  // namespace
}  // namespace torrim

// Users by folder and name, "Sync.ini" reads and writes, the operation's user, damage.
#include "host/profstore/prof_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "host/profstore/profstore.h"
#include "platform/file_util.h"
#include "setup/users/user_mgr.h"

namespace profstore {
namespace {

class ProfStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/profstore_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        users::CUserMgr mgr;
        ASSERT_EQ(mgr.LoadUsers(m_dir + "/"), users::USERS_CANNOT_OPEN);
        for (const char* name : {"Ann Lee", "Bob"}) {
            auto user = std::make_unique<users::CUser>();
            user->m_userName = name;
            ASSERT_EQ(mgr.AddUser(user), 0);
        }
        ASSERT_EQ(mgr.SaveUsers(), 0);
        m_ann = static_cast<int32_t>(mgr.FindUserByName("Ann Lee")->m_userId);
        m_annFolder = m_dir + "/" + mgr.FindUserByName("Ann Lee")->m_userDirectory;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string m_dir;
    int32_t m_ann = 0;
    std::string m_annFolder;
};

TEST_F(ProfStoreTest, FindsUsersByFolderAndName) {
    CProfStore store(m_dir);
    int32_t user = 0;
    ASSERT_EQ(store.UserOfName("Ann Lee", &user), 0);
    EXPECT_EQ(user, m_ann);
    EXPECT_EQ(store.UserOfName("ann lee", &user), PROF_ERR_NO_USER);
    user = 0;
    ASSERT_EQ(store.UserOfFolder(m_annFolder + "/", &user), 0);
    EXPECT_EQ(user, m_ann);
    user = 0;
    std::string upper = m_annFolder;
    for (size_t i = m_dir.size() + 1; i < upper.size(); ++i)
        upper[i] = static_cast<char>(toupper(upper[i]));
    ASSERT_EQ(store.UserOfFolder(upper, &user), 0);
    EXPECT_EQ(user, m_ann);
    EXPECT_EQ(store.UserOfFolder(m_annFolder + "/mail", &user), PROF_ERR_NO_USER);

    CProfStore empty(m_dir + "/nowhere");
    EXPECT_EQ(empty.UserOfName("Ann Lee", &user), PROF_ERR_USER_STORE);
}

TEST_F(ProfStoreTest, SettingsRoundTripThroughTheOperationUser) {
    CProfStore store(m_dir);
    std::string value;
    EXPECT_EQ(store.ReadText(-1, "Mail", "System", "", &value), PROF_ERR_NO_USER);
    ASSERT_EQ(store.SetOperationUser(m_ann), 0);
    ASSERT_EQ(store.ReadText(-1, "Mail", "System", "none", &value), 0);
    EXPECT_EQ(value, "none");
    ASSERT_EQ(store.WriteText(-1, "Mail", "System", "Demo Mail"), 0);
    ASSERT_EQ(store.WriteText(m_ann, "Mail", "WarnedUnconfigured", "1"), 0);
    ASSERT_EQ(store.ReadText(m_ann, "mail", "SYSTEM", "", &value), 0);
    EXPECT_EQ(value, "Demo Mail");
    int16_t number = 0;
    ASSERT_EQ(store.ReadNumber(-1, "Mail", "WarnedUnconfigured", 0, &number), 0);
    EXPECT_EQ(number, 1);
    ASSERT_EQ(store.ReadNumber(-1, "Mail", "Missing", 7, &number), 0);
    EXPECT_EQ(number, 7);

    // Created as "Sync.ini", private; an existing "SYNC.INI" is found whatever its case.
    uint32_t mode = 0;
    ASSERT_EQ(platform::FileMode(m_annFolder + "/Sync.ini", &mode), 0);
    EXPECT_EQ(mode & 0777, 0600u);
    std::filesystem::rename(m_annFolder + "/Sync.ini", m_annFolder + "/SYNC.INI");
    ASSERT_EQ(store.ReadText(m_ann, "Mail", "System", "", &value), 0);
    EXPECT_EQ(value, "Demo Mail");
}

TEST_F(ProfStoreTest, DamagedSettingsAreReportedAndNeverRewritten) {
    CProfStore store(m_dir);
    std::string damaged = std::string("[Mail]\nSystem=x\n\0\0\xff", 19);
    ASSERT_EQ(platform::WriteFileAtomic(m_annFolder + "/Sync.ini", damaged), 0);
    std::string value;
    EXPECT_EQ(store.ReadText(m_ann, "Mail", "System", "", &value), PROF_ERR_SETTINGS);
    EXPECT_EQ(store.WriteText(m_ann, "Mail", "System", "y"), PROF_ERR_SETTINGS);
    std::string after;
    ASSERT_EQ(platform::ReadWholeFile(m_annFolder + "/Sync.ini", &after), 0);
    EXPECT_EQ(after, damaged);

    // A damaged user list is an error, not an empty list.
    ASSERT_EQ(platform::WriteFileAtomic(m_dir + "/users.dat", "\x05\x00\xff\xff\x01"), 0);
    int32_t user = 0;
    EXPECT_EQ(store.UserOfName("Ann Lee", &user), PROF_ERR_USER_STORE);
}

}  // namespace
}  // namespace profstore

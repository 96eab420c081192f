// The user list file, iteration, folder names, ids and preferences.
#include "setup/users/user_mgr.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/code_page.h"
#include "platform/file_util.h"

namespace users {
namespace {

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

class UserMgrTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/users_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_root = std::string(tmpl) + "/";
    }
    void TearDown() override {
        platform::SetActiveCodePage(1252);
        std::filesystem::remove_all(m_root);
    }
    static std::unique_ptr<CUser> User(uint32_t id, std::string name, std::string dir) {
        auto u = std::make_unique<CUser>();
        u->m_userId = id;
        u->m_userName = std::move(name);
        u->m_userDirectory = std::move(dir);
        return u;
    }
    void Add(CUserMgr& mgr, std::unique_ptr<CUser> u) { ASSERT_EQ(mgr.AddUser(u), 0); }
    std::string m_root;
};

// Two users: the first with opaque bytes and both lists, the second with nothing.
std::string GoldenFile() {
    return Bytes({0x02, 0x00,                             // two users
                  0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00}) +  // new class CUser (index 1)
           "CUser" +                                      // user object 2
           Bytes({0x34, 0x12, 0x00, 0x00, 0x07}) +
           "Ann Lee" + Bytes({0x04}) + "LeeA" +
           Bytes({0x07, 0x00,                                      // infoWord
                  0x03, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03,        // infoLength, infoBytes
                  0x01, 0x00,                                      // syncPrefs1: one
                  0xFF, 0xFF, 0x01, 0x00, 0x13, 0x00}) +           // class index 3
           "CUserSyncPreference" +                                 // object 4
           Bytes({0x6C, 0x69, 0x61, 0x6D, 0x01, 0x00, 0x00, 0x00,  // 'mail', 1
                  0x02, 0x00,                                      // syncPrefs2: two
                  0x03, 0x80, 0x6C, 0x69, 0x61, 0x6D, 0x03, 0x00, 0x00, 0x00,  // object 5
                  0x03, 0x80, 0x64, 0x63, 0x62, 0x61, 0x00, 0x00, 0x00, 0x00,  // object 6
                  0x01, 0x80,  // CUser again: object 7
                  0x00, 0x01, 0x00, 0x00, 0x03}) +
           "Bob" + Bytes({0x03}) + "Bob" +
           Bytes({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
}

void FillGolden(CUserMgr& mgr) {
    auto ann = std::make_unique<CUser>();
    ann->m_userId = 0x1234;
    ann->m_userName = "Ann Lee";
    ann->m_userDirectory = "LeeA";
    ann->m_infoWord = 7;
    ann->m_infoLength = 3;
    ann->m_infoBytes[0] = 1;
    ann->m_infoBytes[1] = 2;
    ann->m_infoBytes[2] = 3;
    ann->SetPref1(MAIL_CREATOR, 1);
    ann->SetPref2(MAIL_CREATOR, 3);
    ann->SetPref2(0x61626364, 0);
    ASSERT_EQ(mgr.AddUser(ann), 0);
    auto bob = std::make_unique<CUser>();
    bob->m_userId = 256;
    bob->m_userName = "Bob";
    bob->m_userDirectory = "Bob";
    ASSERT_EQ(mgr.AddUser(bob), 0);
}

TEST_F(UserMgrTest, GoldenBytesAndRoundTrip) {
    CUserMgr mgr;
    mgr.SetRootDirectory(m_root);
    FillGolden(mgr);
    EXPECT_EQ(mgr.SaveUsersToMemory(), GoldenFile());
    ASSERT_EQ(mgr.SaveUsers(), 0);

    CUserMgr back;
    ASSERT_EQ(back.LoadUsers(m_root), 0);
    EXPECT_EQ(back.RootDirectory(), m_root);
    ASSERT_EQ(back.Count(), 2u);
    const CUser& ann = *back.Users()[0];
    EXPECT_EQ(ann.m_userId, 0x1234u);
    EXPECT_EQ(ann.m_userName, "Ann Lee");
    EXPECT_EQ(ann.m_userDirectory, "LeeA");
    EXPECT_EQ(ann.m_infoWord, 7);
    EXPECT_EQ(ann.m_infoLength, 3u);
    EXPECT_EQ(ann.m_infoBytes[2], 3);
    uint32_t action = 99;
    EXPECT_EQ(ann.GetPref1(MAIL_CREATOR, &action), 0);
    EXPECT_EQ(action, 1u);
    EXPECT_EQ(ann.GetPref2(0x61626364, &action), 1);
    EXPECT_EQ(action, 0u);
    EXPECT_EQ(back.Users()[1]->m_userName, "Bob");
    // Saving what was loaded writes the same bytes.
    EXPECT_EQ(back.SaveUsersToMemory(), GoldenFile());
    std::string onDisk;
    ASSERT_EQ(platform::ReadWholeFile(m_root + "users.dat", &onDisk), 0);
    EXPECT_EQ(onDisk, GoldenFile());
}

TEST_F(UserMgrTest, DamagedFilesGiveTheArchiveErrorAndAnEmptyList) {
    const std::string golden = GoldenFile();
    for (size_t len = 0; len < golden.size(); ++len) {
        CUserMgr mgr;
        EXPECT_NE(mgr.LoadUsersFromMemory(std::string_view(golden).substr(0, len)), 0) << len;
        EXPECT_EQ(mgr.Count(), 0u) << len;
    }
    CUserMgr mgr;
    // infoLength 33: more than a user holds.
    std::string tooLong = golden;
    tooLong[2 + 6 + 5 + 4 + 8 + 5 + 2] = 33;
    EXPECT_EQ(mgr.LoadUsersFromMemory(tooLong), platform::AR_GENERIC);
    // An unknown class, and a preference where a user must be.
    EXPECT_EQ(mgr.LoadUsersFromMemory(Bytes({1, 0, 0xFF, 0xFF, 1, 0, 5, 0}) + "CUsex"),
              platform::AR_BAD_CLASS);
    EXPECT_EQ(mgr.LoadUsersFromMemory(Bytes({1, 0, 0xFF, 0xFF, 1, 0, 0x13, 0}) +
                                      "CUserSyncPreference" + std::string(8, '\0')),
              platform::AR_BAD_CLASS);
    // A null user.
    EXPECT_EQ(mgr.LoadUsersFromMemory(Bytes({1, 0, 0, 0})), platform::AR_GENERIC);
    // A count far beyond the data.
    EXPECT_EQ(mgr.LoadUsersFromMemory(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F})),
              platform::AR_END_OF_FILE);
    EXPECT_EQ(mgr.Count(), 0u);
    // A missing file.
    EXPECT_EQ(mgr.LoadUsers(m_root + "nowhere/"), USERS_CANNOT_OPEN);
    // An empty list is valid.
    EXPECT_EQ(mgr.LoadUsersFromMemory(Bytes({0, 0})), 0);
}

TEST_F(UserMgrTest, InfoLengthNegativeReadsNoBytesAndLargeIsStoredAs32) {
    CUserMgr mgr;
    auto u = User(300, "N", "N");
    u->m_infoLength = 0xFFFFFFFF;
    ASSERT_EQ(mgr.AddUser(u), 0);
    std::string bytes = mgr.SaveUsersToMemory();
    CUserMgr back;
    ASSERT_EQ(back.LoadUsersFromMemory(bytes), 0);
    EXPECT_EQ(back.Users()[0]->m_infoLength, 0xFFFFFFFFu);
    EXPECT_EQ(back.SaveUsersToMemory(), bytes);
    // A length above 32 set in memory is stored as 32, so the file stays readable.
    back.Users()[0]->m_infoLength = 40;
    back.Users()[0]->m_infoBytes[31] = 0x5A;
    CUserMgr again;
    ASSERT_EQ(again.LoadUsersFromMemory(back.SaveUsersToMemory()), 0);
    EXPECT_EQ(again.Users()[0]->m_infoLength, 32u);
    EXPECT_EQ(again.Users()[0]->m_infoBytes[31], 0x5A);
}

TEST_F(UserMgrTest, IterationEndsPastTheLastUser) {
    CUserMgr mgr;
    CUser* user = reinterpret_cast<CUser*>(&mgr);
    EXPECT_EQ(mgr.NextUser(&user), USERS_NOT_STARTED);
    EXPECT_EQ(user, nullptr);
    EXPECT_EQ(mgr.FirstUser(&user), USERS_NO_USER);
    EXPECT_EQ(user, nullptr);
    Add(mgr, User(300, "A", "A"));
    Add(mgr, User(301, "B", "B"));
    std::vector<std::string> seen;
    int32_t rc = mgr.FirstUser(&user);
    int guard = 0;
    while (rc == 0 && ++guard < 10) {
        ASSERT_NE(user, nullptr);
        seen.push_back(user->m_userName);
        rc = mgr.NextUser(&user);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(rc, USERS_NO_USER);
    EXPECT_EQ(user, nullptr);
    EXPECT_EQ(mgr.NextUser(&user), USERS_NO_USER);
    EXPECT_EQ(mgr.FindUserById(301)->m_userName, "B");
    EXPECT_EQ(mgr.FindUserById(5), nullptr);
    EXPECT_EQ(mgr.FindUserByName("B")->m_userId, 301u);
    EXPECT_EQ(mgr.FindUserByName("b"), nullptr);
}

TEST_F(UserMgrTest, RemovingAUserKeepsTheOthersInOrderAndRestartsTheWalk) {
    CUserMgr mgr;
    Add(mgr, User(300, "A", "A"));
    Add(mgr, User(301, "B", "B"));
    Add(mgr, User(302, "C", "C"));
    CUser* user = nullptr;
    ASSERT_EQ(mgr.FirstUser(&user), 0);
    EXPECT_EQ(mgr.RemoveUser(5), nullptr);
    EXPECT_EQ(mgr.Count(), 3u);
    std::unique_ptr<CUser> removed = mgr.RemoveUser(301);
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(removed->m_userName, "B");
    EXPECT_EQ(mgr.NextUser(&user), USERS_NOT_STARTED);
    CUserMgr back;
    ASSERT_EQ(back.LoadUsersFromMemory(mgr.SaveUsersToMemory()), 0);
    ASSERT_EQ(back.Count(), 2u);
    EXPECT_EQ(back.Users()[0]->m_userName, "A");
    EXPECT_EQ(back.Users()[1]->m_userName, "C");
}

TEST_F(UserMgrTest, FolderNamesFromUserNames) {
    CUserMgr mgr;
    EXPECT_EQ(mgr.MakeUserDirectoryName("John Smith"), "SmithJ");
    EXPECT_EQ(mgr.MakeUserDirectoryName("Alexander"), "Alexan");
    EXPECT_EQ(mgr.MakeUserDirectoryName("*+,./"), "0");
    EXPECT_EQ(mgr.MakeUserDirectoryName(""), "0");
    EXPECT_EQ(mgr.MakeUserDirectoryName("joe.b smith"), "joe");
    EXPECT_EQ(mgr.MakeUserDirectoryName("Anna Kowalczyk"), "KowalcA");
    EXPECT_EQ(mgr.MakeUserDirectoryName("Mary Ann Jones"), "Ann");
    EXPECT_EQ(mgr.MakeUserDirectoryName("Li X"), "XL");
    EXPECT_EQ(mgr.MakeUserDirectoryName(std::string("\0 x\0y", 5)), "x");
    // Collisions ignore case and shorten the previous candidate each time.
    Add(mgr, User(300, "x", "smithj"));
    EXPECT_EQ(mgr.MakeUserDirectoryName("John Smith"), "SmithJ0");
    Add(mgr, User(301, "y", "SMITHJ0"));
    EXPECT_EQ(mgr.MakeUserDirectoryName("John Smith"), "SmithJ01");
    Add(mgr, User(302, "z", "KowalcA"));
    EXPECT_EQ(mgr.MakeUserDirectoryName("Anna Kowalczyk"), "KowalcA0");
}

TEST_F(UserMgrTest, FolderNamesKeepDoubleByteCharactersWhole) {
    platform::SetActiveCodePage(932);
    CUserMgr mgr;
    // Four katakana: cut to three (six bytes).
    EXPECT_EQ(mgr.MakeUserDirectoryName("\x83\x41\x83\x43\x83\x45\x83\x47"),
              "\x83\x41\x83\x43\x83\x45");
    // The sixth byte would be a lead byte: five bytes.
    EXPECT_EQ(mgr.MakeUserDirectoryName("abcde\x83\x41"), "abcde");
    // A trail byte 0x5C is not the backslash of the stop set; the initial has two bytes.
    EXPECT_EQ(mgr.MakeUserDirectoryName("\x83\x5C Smith"), "Smith\x83\x5C");
    Add(mgr, User(300, "x", "Smithy\x83\x41"));
    EXPECT_EQ(mgr.MakeUserDirectoryName("\x83\x41 Smithy"), "Smithy0");
}

TEST_F(UserMgrTest, NewIdsAreAbove255AndUnused) {
    CUserMgr mgr;
    Add(mgr, User(256, "a", "a"));
    Add(mgr, User(257, "b", "b"));
    Add(mgr, User(1000, "c", "c"));
    EXPECT_EQ(mgr.NewUserIdFrom(0), 258u);
    EXPECT_EQ(mgr.NewUserIdFrom(1000), 1001u);
    EXPECT_EQ(mgr.NewUserIdFrom(5000), 5000u);
    for (int i = 0; i < 20; ++i) {
        uint32_t id = mgr.NewUserId();
        EXPECT_GT(id, 255u);
        EXPECT_EQ(mgr.FindUserById(id), nullptr);
    }
}

TEST_F(UserMgrTest, AddUserCreatesOrReusesTheFolder) {
    CUserMgr mgr;
    mgr.SetRootDirectory(m_root);
    auto u = User(0, "John Smith", "");
    CUser* raw = u.get();
    ASSERT_EQ(mgr.AddUser(u), 0);
    EXPECT_EQ(u, nullptr);
    EXPECT_GT(raw->m_userId, 255u);
    EXPECT_EQ(raw->m_userDirectory, "SmithJ");
    EXPECT_TRUE(platform::DirectoryExists(m_root + "SmithJ"));
    uint32_t mode = 0;
    ASSERT_EQ(platform::FileMode(m_root + "SmithJ", &mode), 0);
    EXPECT_EQ(mode, 0700u);
    // An existing folder is reused.
    ASSERT_EQ(platform::CreateDirectories(m_root + "DoeJ"), 0);
    auto jane = User(0, "Jane Doe", "");
    ASSERT_EQ(mgr.AddUser(jane), 0);
    EXPECT_EQ(mgr.Users()[1]->m_userDirectory, "DoeJ");
    // A folder that cannot be made: the user stays outside the list, untouched.
    ASSERT_EQ(platform::WriteFileAtomic(m_root + "file", "x"), 0);
    mgr.SetRootDirectory(m_root + "file/");
    auto bad = User(400, "Bad Name", "");
    EXPECT_EQ(mgr.AddUser(bad), USERS_NO_FOLDER);
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->m_userDirectory, "");
    EXPECT_EQ(mgr.Count(), 2u);
    // Saving there fails too and changes nothing.
    EXPECT_EQ(mgr.SaveUsers(), USERS_CANNOT_OPEN);
    EXPECT_EQ(mgr.Count(), 2u);
}

TEST_F(UserMgrTest, PreferencesUpdateInPlaceOrAppend) {
    CUser u;
    uint32_t action = 42;
    EXPECT_EQ(u.GetPref1(MAIL_CREATOR, &action), -1);
    EXPECT_EQ(action, 42u);
    EXPECT_EQ(u.SetPref1(0x61626364, 5), 1);
    EXPECT_EQ(u.SetPref1(MAIL_CREATOR, 3), 1);
    EXPECT_EQ(u.SetPref1(0x61626364, 6), 1);
    EXPECT_EQ(u.GetPref1(MAIL_CREATOR, &action), 1);
    EXPECT_EQ(action, 3u);
    EXPECT_EQ(u.GetPref1(0x61626364, &action), 0);
    EXPECT_EQ(action, 6u);
    EXPECT_EQ(u.m_syncPrefs1.size(), 2u);
    EXPECT_EQ(u.GetPref2(MAIL_CREATOR, &action), -1);
}

TEST(DesktopOptionsTest, StoresVersionTextAndOption) {
    CDesktopOptions options;
    options.m_option = 9;
    platform::CArchive out = platform::CArchive::ForStoring();
    out.WriteObject(&options);
    EXPECT_EQ(out.Bytes(), Bytes({0xFF, 0xFF, 0x01, 0x00, 0x0F, 0x00}) + "CDesktopOptions" +
                               Bytes({0x01, '1', 0x09, 0x00, 0x00, 0x00}));
    // Reading ignores the version text.
    std::string data = out.Bytes();
    data[6 + 15 + 1] = '7';
    platform::CArchive in = platform::CArchive::ForLoading(data);
    std::unique_ptr<platform::CObject> object;
    in.ReadObject(&object, "CDesktopOptions");
    ASSERT_TRUE(in.Ok());
    EXPECT_EQ(static_cast<CDesktopOptions*>(object.get())->m_option, 9u);
}

}  // namespace
}  // namespace users

// The post office folder: user list, password hashes, logon codes, address books.
#include "providers/vim/post_office.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/file_util.h"
#include "providers/vim/vim.h"

namespace vim {
namespace {

namespace fs = std::filesystem;

class PostOfficeTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vimpoXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        m_folder = m_root + "/po";
    }
    void TearDown() override { fs::remove_all(m_root); }

    std::string m_root;
    std::string m_folder;
};

TEST(UserList, ParsesEntriesAndRefusesDamage) {
    std::vector<UserEntry> users;
    ASSERT_EQ(ParseUserList("# comment\n\nann:$y$abc:Ann Lee\r\nbob:$y$def\n", &users), 0);
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].name, "ann");
    EXPECT_EQ(users[0].hash, "$y$abc");
    EXPECT_EQ(users[0].displayName, "Ann Lee");
    EXPECT_EQ(users[1].displayName, "");

    for (const char* damaged :
         {"ann\n", "ann:\n", "../x:h:n\n", "ann:h\nANN:h2\n", "a b:h\n", ":h:n\n"}) {
        EXPECT_EQ(ParseUserList(damaged, &users), VIMSTS_DAMAGED_FILE) << damaged;
        EXPECT_TRUE(users.empty());
    }
    // What is written reads back the same.
    std::vector<UserEntry> again;
    ASSERT_EQ(ParseUserList(FormatUserList({{"ann", "$y$abc", "Ann Lee"}}), &again), 0);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].displayName, "Ann Lee");
}

TEST(Passwords, SaltedHashesCheckOnlyTheirPassword) {
    const std::string first = HashPassword("secret");
    const std::string second = HashPassword("secret");
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second);  // each hash has its own salt
    EXPECT_EQ(first.find("secret"), std::string::npos);
    EXPECT_TRUE(CheckPassword("secret", first));
    EXPECT_TRUE(CheckPassword("secret", second));
    EXPECT_FALSE(CheckPassword("Secret", first));
    EXPECT_FALSE(CheckPassword("", first));
    EXPECT_FALSE(CheckPassword("secret", ""));
    EXPECT_FALSE(CheckPassword("secret", "garbage"));
}

TEST(AddressBookText, EntriesByNameOrBareAddress) {
    std::vector<BookEntry> entries;
    ASSERT_EQ(ParseAddressBook("# people\nBob Brown <bob>\n\"Lee, Ann\" <ann@example.org at "
                               "Internet-Mail>\ncarol\nnot an entry\n",
                               1252, &entries),
              0);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "Bob Brown");
    EXPECT_EQ(entries[0].address, "bob");
    EXPECT_EQ(entries[1].name, "Lee, Ann");
    EXPECT_EQ(entries[1].address, "ann@example.org at Internet-Mail");
    EXPECT_EQ(entries[2].address, "carol");
    EXPECT_EQ(ParseAddressBook(std::string("a <b>\0", 6), 1252, &entries), VIMSTS_DAMAGED_FILE);
}

TEST_F(PostOfficeTest, LogonCodesTellMissingFolderUserAndPassword) {
    CPostOffice office;
    EXPECT_EQ(office.Open(m_folder), VIMSTS_NO_POST_OFFICE);
    EXPECT_EQ(office.Open(""), VIMSTS_NO_POST_OFFICE);

    PostOfficeConfig config;
    config.name = "Main";
    ASSERT_EQ(CPostOffice::Create(m_folder, config), 0);
    EXPECT_EQ(CPostOffice::Create(m_folder, config), VIMSTS_BAD_PARAM);
    ASSERT_EQ(office.Open(m_folder), 0);
    ASSERT_EQ(office.AddUser("ann", "Ann Lee", "pw1"), 0);
    EXPECT_EQ(office.AddUser("ANN", "", "x"), VIMSTS_BAD_PARAM);
    EXPECT_EQ(office.AddUser("../evil", "", "x"), VIMSTS_BAD_PARAM);

    struct stat st {};
    ASSERT_EQ(stat(office.UserListPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(fs::is_directory(m_folder + "/accounts/ann/new"));
    EXPECT_TRUE(fs::is_directory(m_folder + "/accounts/ann/.Trash/cur"));

    CPostOffice reopened;
    ASSERT_EQ(reopened.Open(m_folder), 0);
    UserEntry user;
    EXPECT_EQ(reopened.Authenticate("Ann", "pw1", &user), 0);
    EXPECT_EQ(user.name, "ann");
    EXPECT_EQ(reopened.Authenticate("ann", "pw2", &user), VIMSTS_BAD_PASSWORD);
    EXPECT_EQ(reopened.Authenticate("zed", "pw1", &user), VIMSTS_UNKNOWN_USER);

    ASSERT_EQ(reopened.SetPassword("ann", "pw2"), 0);
    EXPECT_EQ(reopened.SetPassword("zed", "pw2"), VIMSTS_UNKNOWN_USER);
    CPostOffice third;
    ASSERT_EQ(third.Open(m_folder), 0);
    EXPECT_EQ(third.Authenticate("ann", "pw2", &user), 0);
    EXPECT_EQ(third.Authenticate("ann", "pw1", &user), VIMSTS_BAD_PASSWORD);

    // A damaged user list is no missing post office; an unreadable one is.
    ASSERT_EQ(platform::WriteFileAtomic(third.UserListPath(), "ann\n", 0600), 0);
    EXPECT_EQ(third.Open(m_folder), VIMSTS_DAMAGED_FILE);
    fs::remove(third.UserListPath());
    EXPECT_EQ(third.Open(m_folder), VIMSTS_NO_POST_OFFICE);
}

TEST_F(PostOfficeTest, BooksAreListedAndWritten) {
    ASSERT_EQ(CPostOffice::Create(m_folder, PostOfficeConfig{}), 0);
    CPostOffice office;
    ASSERT_EQ(office.Open(m_folder), 0);
    ASSERT_EQ(office.AddBookEntry("People", "Bob Brown", "bob"), 0);
    ASSERT_EQ(office.AddBookEntry("People", "", "ann@example.org at Internet-Mail"), 0);
    ASSERT_EQ(office.AddBookEntry("Aaa", "X", "x"), 0);
    EXPECT_EQ(office.AddBookEntry("../up", "X", "x"), VIMSTS_BAD_PARAM);
    EXPECT_EQ(office.AddBookEntry("People", "Bad\nName", "x"), VIMSTS_BAD_PARAM);
    EXPECT_EQ(office.BookNames(), (std::vector<std::string>{"Aaa", "People"}));
    std::vector<BookEntry> entries;
    ASSERT_EQ(office.LoadBook("People", 1252, &entries), 0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "Bob Brown");
    EXPECT_EQ(entries[1].address, "ann@example.org at Internet-Mail");
    EXPECT_EQ(office.LoadBook("Missing", 1252, &entries), VIMSTS_NO_SUCH_BOOK);
}

}  // namespace
}  // namespace vim

// tethersync end to end: users, images, handheld mail, a sync through the test conduit that
// calls every host service, lost connections, and refusal of damaged data.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/syncor/handheld_image.h"
#include "platform/file_lock.h"
#include "platform/file_util.h"

namespace {

struct Result {
    int status = -1;
    std::string output;  // stdout and stderr
};

class TethersyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tethersync_e2e_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        // Children inherit these: nothing touches the real home.
        setenv("TETHER_DATA_DIR", (m_dir + "/data").c_str(), 1);
        setenv("TETHER_PLATFORM_HOME", (m_dir + "/home").c_str(), 1);
        setenv("TETHER_IMAGE", (m_dir + "/hh.img").c_str(), 1);
        unsetenv("TETHER_CONDUIT_PATH");
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    static std::string Quote(const std::string& s) {
        std::string q = "'";
        for (char c : s)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    }

    Result Run(const std::vector<std::string>& args, const std::string& environment = "") {
        std::string command = environment + Quote(TETHERSYNC_PROGRAM);
        for (const std::string& a : args)
            command += " " + Quote(a);
        command += " 2>&1";
        Result r;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr)
            return r;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
            r.output.append(buffer, n);
        int status = pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }

    // A user "Ann Lee" set up for mail, an image with two mails in its outbox.
    void SetUpHandheld() {
        ASSERT_EQ(Run({"user", "add", "Ann Lee"}).status, 0);
        ASSERT_EQ(Run({"user", "set", "System", "Demo Mail"}).status, 0);
        ASSERT_EQ(Run({"action", "set", "synchronize"}).status, 0);
        ASSERT_EQ(Run({"image", "create", "--user", "Ann Lee"}).status, 0);
        ASSERT_EQ(Run({"prefs", "set", "--truncate", "1234", "--signature", "Regards"}).status, 0);
        ASSERT_EQ(Run({"mail", "compose", "--to", "bob@example.org", "--subject", "Lunch", "--body",
                       "At noon?"})
                      .status,
                  0);
        ASSERT_EQ(Run({"mail", "compose", "--to", "eve@example.org", "--subject", "Plans"}).status,
                  0);
    }

    Result Sync() { return Run({"sync", "--conduit", TEST_CONDUIT_LIBRARY}); }

    std::string UserFolder() {
        for (const auto& e : std::filesystem::directory_iterator(m_dir + "/data"))
            if (e.is_directory())
                return e.path().string();
        return "";
    }

    std::string m_dir;
};

bool Has(const Result& r, const std::string& text) {
    return r.output.find(text) != std::string::npos;
}

TEST_F(TethersyncTest, SyncRunsAConduitThroughEveryHostService) {
    SetUpHandheld();
    Result r = Sync();
    EXPECT_EQ(r.status, 0) << r.output;
    for (const char* expected :
         {"log [19] \n", "progress: test conduit running", "test: action 0 folder ",
          "database MailDB", "test: log query 0 then 1", "test: string 5001 Mail",
          "test: string 6101 cut to 7", "test: cut length 4", "test: data folder ",
          "test: mail system Demo Mail", "test: truncation 1234", "test: signature Regards",
          "test: sent Lunch", "test: sent Plans", "test: 1 records, 1 ids listed",
          "test: 0 changed records", "notice: test conduit notice", "log [20] Test", "sync: done"})
        EXPECT_TRUE(Has(r, expected)) << expected << "\n" << r.output;
    EXPECT_FALSE(Has(r, "failed with code")) << r.output;

    // The outbox was sent and emptied; the conduit's mail is in the inbox.
    EXPECT_TRUE(Has(Run({"mail", "list", "--category", "outbox"}), "no mail"));
    Result inbox = Run({"mail", "list", "--category", "inbox"});
    EXPECT_TRUE(Has(inbox, "Welcome to the handheld")) << inbox.output;

    // The log file, the settings written through the operation's user.
    std::string folder = UserFolder();
    std::string log;
    ASSERT_EQ(platform::ReadWholeFile(folder + "/SyncLog.txt", &log), 0);
    EXPECT_NE(log.find("\t20\tTest\n"), std::string::npos) << log;
    uint32_t mode = 0;
    ASSERT_EQ(platform::FileMode(folder + "/SyncLog.txt", &mode), 0);
    EXPECT_EQ(mode & 0777, 0600u);
    ASSERT_EQ(platform::FileMode(m_dir + "/hh.img", &mode), 0);
    EXPECT_EQ(mode & 0777, 0600u);
    std::string ini;
    ASSERT_EQ(platform::ReadWholeFile(folder + "/Sync.ini", &ini), 0);
    EXPECT_NE(ini.find("Runs=1"), std::string::npos) << ini;
    EXPECT_TRUE(Has(Run({"log"}), "\t19\t"));

    EXPECT_FALSE(Has(r, "NoUnload"));

    // A second run finds the first run's settings and nothing left to send; a conduit that
    // asks to stay loaded is kept.
    std::string withFlag = ini;
    withFlag.replace(withFlag.find("Runs=1"), 6, "Runs=1\nNoUnload=1");
    ASSERT_EQ(platform::WriteFileAtomic(folder + "/Sync.ini", withFlag), 0);
    r = Sync();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(Has(r, "test: sent"));
    EXPECT_TRUE(Has(r, "conduit: Test stays loaded (NoUnload)")) << r.output;
    ASSERT_EQ(platform::ReadWholeFile(folder + "/Sync.ini", &ini), 0);
    EXPECT_NE(ini.find("Runs=2"), std::string::npos) << ini;
}

TEST_F(TethersyncTest, ActionNothingAndALostConnectionKeepTheOutbox) {
    SetUpHandheld();
    ASSERT_EQ(Run({"action", "set", "nothing"}).status, 0);
    Result r = Sync();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "log [-1] Mail - sync configured to Do Nothing")) << r.output;
    EXPECT_FALSE(Has(r, "log [19]"));

    ASSERT_EQ(Run({"action", "set", "synchronize"}).status, 0);
    ASSERT_EQ(Run({"image", "set", "--fault-after", "4"}).status, 0);
    r = Sync();
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(Has(r, "failed with code 8193")) << r.output;
    EXPECT_TRUE(Has(r, "log [21] Test"));
    EXPECT_TRUE(Has(r, "connection to the handheld was lost"));
    Result outbox = Run({"mail", "list", "--category", "outbox"});
    EXPECT_TRUE(Has(outbox, "Lunch") && Has(outbox, "Plans")) << outbox.output;

    ASSERT_EQ(Run({"image", "set", "--fault-after", "none"}).status, 0);
    r = Sync();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "test: sent Lunch"));
}

TEST_F(TethersyncTest, HandheldMailCommandsChangeRecordsAsTheHandheldWould) {
    SetUpHandheld();
    Result list = Run({"mail", "list"});
    ASSERT_TRUE(Has(list, "65537\toutbox\t-M-")) << list.output;
    EXPECT_EQ(Run({"mail", "read", "65537"}).status, 0);
    EXPECT_EQ(Run({"mail", "move", "65538", "filed"}).status, 0);
    EXPECT_EQ(Run({"mail", "delete", "65537"}).status, 0);
    list = Run({"mail", "list"});
    EXPECT_TRUE(Has(list, "65537\toutbox\tRMD")) << list.output;
    EXPECT_TRUE(Has(list, "65538\tfiled\t-M-")) << list.output;
    Result show = Run({"mail", "show", "65538"});
    EXPECT_TRUE(Has(show, "To: eve@example.org")) << show.output;
    EXPECT_EQ(Run({"mail", "show", "99"}).status, 3);
    EXPECT_EQ(Run({"mail", "move", "65538", "sideways"}).status, 2);
    Result prefs = Run({"prefs", "show"});
    EXPECT_TRUE(Has(prefs, "truncate: 1234") && Has(prefs, "signature: Regards")) << prefs.output;
}

TEST_F(TethersyncTest, BadInputGivesClearErrorsAndLeavesFilesAlone) {
    EXPECT_EQ(Run({}).status, 2);
    EXPECT_EQ(Run({"frobnicate"}).status, 2);
    EXPECT_EQ(Run({"mail", "compose"}).status, 2);
    EXPECT_EQ(Run({"image", "create"}).status, 2);
    EXPECT_EQ(Run({"image", "create", "--user", "x", "--capacity", "lots"}).status, 2);
    for (std::vector<std::string> help : {std::vector<std::string>{"--help"},
                                          {"sync", "--help"},
                                          {"mail", "compose", "--help"},
                                          {"prefs", "set", "--help"},
                                          {"demo", "--help"},
                                          {"action", "set", "--help"}}) {
        Result r = Run(help);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(Has(r, "usage: tethersync")) << r.output;
    }
    // A damaged image.
    const std::string junk = "SQLite format 3\nbut not really";
    ASSERT_EQ(platform::WriteFileAtomic(m_dir + "/hh.img", junk), 0);
    Result r = Sync();
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r, "damaged")) << r.output;
    r = Run({"mail", "compose", "--to", "a@b", "--subject", "x"});
    EXPECT_EQ(r.status, 3);
    std::string after;
    ASSERT_EQ(platform::ReadWholeFile(m_dir + "/hh.img", &after), 0);
    EXPECT_EQ(after, junk);
    // An existing image is never replaced.
    EXPECT_EQ(Run({"image", "create", "--user", "x"}).status, 3);
    // A damaged user list.
    std::filesystem::create_directories(m_dir + "/data");
    const std::string users = std::string("\x01\x00\xff\xff\x01\x00", 6);
    ASSERT_EQ(platform::WriteFileAtomic(m_dir + "/data/users.dat", users), 0);
    r = Run({"user", "add", "Bob"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r, "damaged")) << r.output;
    ASSERT_EQ(platform::ReadWholeFile(m_dir + "/data/users.dat", &after), 0);
    EXPECT_EQ(after, users);
    EXPECT_EQ(Run({"user", "list"}).status, 3);
}

TEST_F(TethersyncTest, ImageDamagedOnlyInItsRecordsIsRefusedBySync) {
    SetUpHandheld();
    // The records' own page is overwritten, the length kept: only a read of every page
    // finds it.
    const std::string path = m_dir + "/hh.img";
    int64_t page = 0;
    int64_t pageSize = 0;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db,
                                     "SELECT rootpage, (SELECT page_size FROM pragma_page_size)"
                                     " FROM sqlite_master WHERE name = 'records'",
                                     -1, &st, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        page = sqlite3_column_int64(st, 0);
        pageSize = sqlite3_column_int64(st, 1);
        sqlite3_finalize(st);
        sqlite3_close_v2(db);
    }
    ASSERT_GT(page, 1);
    std::string image;
    ASSERT_EQ(platform::ReadWholeFile(path, &image), 0);
    ASSERT_GE(image.size(), static_cast<size_t>(page * pageSize));
    image.replace(static_cast<size_t>((page - 1) * pageSize), static_cast<size_t>(pageSize),
                  static_cast<size_t>(pageSize), '\x5A');
    ASSERT_EQ(platform::WriteFileAtomic(path, image), 0);
    Result r = Sync();
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_TRUE(Has(r, "damaged")) << r.output;
    std::string after;
    ASSERT_EQ(platform::ReadWholeFile(path, &after), 0);
    EXPECT_EQ(after, image);
}

TEST_F(TethersyncTest, OneSyncAtATimePerImageAndPerUserAndWritersWait) {
    SetUpHandheld();
    const std::string outboxBefore = Run({"mail", "list", "--category", "outbox"}).output;
    {
        // Another sync holds the image.
        platform::CFileLock held;
        ASSERT_EQ(held.TryLock(m_dir + "/hh.img.lock"), 0);
        Result r = Sync();
        EXPECT_EQ(r.status, 4) << r.output;
        EXPECT_TRUE(Has(r, "is in use by another sync or command")) << r.output;
        EXPECT_FALSE(Has(r, "conduit:")) << r.output;
        // The commands that write the image take the same lock; readers do not.
        EXPECT_EQ(Run({"mail", "compose", "--to", "x@y", "--subject", "s"}).status, 4);
        EXPECT_EQ(Run({"mail", "read", "65537"}).status, 4);
        EXPECT_EQ(Run({"mail", "delete", "65537"}).status, 4);
        EXPECT_EQ(Run({"prefs", "set", "--mode", "all"}).status, 4);
        EXPECT_EQ(Run({"image", "set", "--capacity", "9999999"}).status, 4);
        EXPECT_EQ(Run({"mail", "list"}).status, 0);
    }
    {
        // A second image of the same desktop user: the user's lock refuses it.
        ASSERT_EQ(
            Run({"image", "create", "--user", "Ann Lee", "--image", m_dir + "/second.img"}).status,
            0);
        platform::CFileLock held;
        ASSERT_EQ(held.TryLock(UserFolder() + "/sync.lock"), 0);
        Result r =
            Run({"sync", "--image", m_dir + "/second.img", "--conduit", TEST_CONDUIT_LIBRARY});
        EXPECT_EQ(r.status, 4) << r.output;
        EXPECT_TRUE(Has(r, "is being synchronized by another sync")) << r.output;
    }
    EXPECT_EQ(Run({"mail", "list", "--category", "outbox"}).output, outboxBefore);
    // Locks end with their holders: the sync runs now.
    Result r = Sync();
    EXPECT_EQ(r.status, 0) << r.output;
}

TEST_F(TethersyncTest, SettingsOrUsersThatCannotBeReadStopTheSyncBeforeAnythingIsWritten) {
    SetUpHandheld();
    const std::string outboxBefore = Run({"mail", "list", "--category", "outbox"}).output;
    const std::string folder = UserFolder();
    // A "Sync.ini" that exists but cannot be read (a folder stands for any read error,
    // as permissions do not stop the test's user).
    ASSERT_EQ(platform::RemoveFile(folder + "/Sync.ini"), 0);
    std::filesystem::create_directory(folder + "/Sync.ini");
    Result r = Sync();
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_TRUE(Has(r, "cannot read the user's settings " + folder + "/Sync.ini")) << r.output;
    EXPECT_FALSE(Has(r, "conduit:")) << r.output;
    std::filesystem::remove(folder + "/Sync.ini");
    ASSERT_EQ(platform::WriteFileAtomic(folder + "/Sync.ini", std::string("[Mail]\nA=\0\n", 11)),
              0);
    r = Sync();
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_TRUE(Has(r, "are damaged")) << r.output;
    ASSERT_EQ(platform::WriteFileAtomic(folder + "/Sync.ini", "[Mail]\nSystem=Demo Mail\n"), 0);

    // users.dat the same way.
    const std::string users = m_dir + "/data/users.dat";
    std::string saved;
    ASSERT_EQ(platform::ReadWholeFile(users, &saved), 0);
    ASSERT_EQ(platform::RemoveFile(users), 0);
    std::filesystem::create_directory(users);
    r = Sync();
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_TRUE(Has(r, users + ": the file exists but cannot be read")) << r.output;
    std::filesystem::remove(users);
    ASSERT_EQ(platform::WriteFileAtomic(users, saved), 0);

    // A user whose folder is gone is not given an empty new one.
    std::filesystem::rename(folder, m_dir + "/moved");
    r = Sync();
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_TRUE(Has(r, "is missing; it is not created again")) << r.output;
    EXPECT_FALSE(std::filesystem::exists(folder));
    std::filesystem::rename(m_dir + "/moved", folder);

    EXPECT_EQ(Run({"mail", "list", "--category", "outbox"}).output, outboxBefore);
    r = Sync();
    EXPECT_EQ(r.status, 0) << r.output;
}

TEST_F(TethersyncTest, AFullDiskStopsTheSyncWithOneClearLineAndAddsNoOrphanUser) {
    SetUpHandheld();
    // Every file call fails as on a full disk: the image, the log.
    Result r = Run({"sync", "--conduit", TEST_CONDUIT_LIBRARY}, "TETHER_FAULT_PLAN=fail:1:ENOSPC ");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(Has(r, "could not be written: No space left on device; the sync stopped"))
        << r.output;
    EXPECT_TRUE(Has(r, "tetherlog: cannot write the sync log ")) << r.output;
    EXPECT_FALSE(Has(r, "connection to the handheld was lost")) << r.output;
    EXPECT_FALSE(Has(r, "sync: done")) << r.output;
    // Nothing was lost: the outbox is whole and the next sync sends it.
    EXPECT_TRUE(Has(Run({"mail", "list", "--category", "outbox"}), "Lunch"));
    r = Sync();
    EXPECT_EQ(r.status, 0) << r.output;

    // A user that cannot be listed in users.dat leaves no folder behind.
    std::vector<std::string> before;
    for (const auto& e : std::filesystem::directory_iterator(m_dir + "/data"))
        before.push_back(e.path().filename().string());
    r = Run({"user", "add", "Bob"}, "TETHER_FAULT_PLAN=fail:1:ENOSPC ");
    EXPECT_EQ(r.status, 3) << r.output;
    std::vector<std::string> after;
    for (const auto& e : std::filesystem::directory_iterator(m_dir + "/data"))
        after.push_back(e.path().filename().string());
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before);
    EXPECT_FALSE(Has(Run({"user", "list"}), "Bob"));
}

TEST_F(TethersyncTest, DemoRunsASyncOnSampleData) {
    setenv("TETHER_CONDUIT_PATH", TEST_CONDUIT_LIBRARY, 1);
    Result r = Run({"demo"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "test: sent Lunch on Friday?")) << r.output;
    EXPECT_TRUE(Has(r, "Welcome to the handheld")) << r.output;
    EXPECT_TRUE(Has(r, "sync: done"));
}

}  // namespace

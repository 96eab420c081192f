// tethersync on a new user's way from the demo to real use: Simple MAPI profiles, the
// password, a fresh account's data folder, the "do nothing" action, removing a user, the
// kept demo folder, and the messages for common mistakes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "conduit/core/password.h"
#include "platform/file_util.h"
#include "platform/profile.h"

namespace {

struct Result {
    int status = -1;
    std::string output;  // stdout and stderr
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Result Shell(const std::string& command) {
    Result r;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
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

uint32_t ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFFFFF;
}

class TethersyncSetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tethersync_setup_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        setenv("TETHER_DATA_DIR", (m_dir + "/data").c_str(), 1);
        setenv("TETHER_PLATFORM_HOME", (m_dir + "/home").c_str(), 1);
        setenv("TETHER_IMAGE", (m_dir + "/hh.img").c_str(), 1);
        unsetenv("TETHER_MAPI_PROFILES");
        unsetenv("TETHER_CONDUIT_PATH");
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    Result Run(const std::vector<std::string>& args, const std::string& input = "") {
        std::string command;
        if (!input.empty())
            command = "printf '%s\\n' " + Quote(input) + " | ";
        command += Quote(TETHERSYNC_PROGRAM);
        for (const std::string& a : args)
            command += " " + Quote(a);
        return Shell(command);
    }

    void MakeMaildir(const std::string& path) {
        for (const char* sub : {"cur", "new", "tmp"})
            std::filesystem::create_directories(path + "/" + sub);
    }

    std::string Profiles() const { return m_dir + "/home/mapi/profiles.ini"; }

    std::string m_dir;
};

TEST_F(TethersyncSetupTest, ProfilesAreAddedListedAndRemovedWithoutHandEditing) {
    const std::string maildir = m_dir + "/Maildir";
    // Not a Maildir: refused, nothing written.
    std::filesystem::create_directories(maildir + "/cur");
    Result r = Run({"profile", "add", "Home", "--maildir", maildir, "--address", "me@example.org"});
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("is not a Maildir (it has no new/, tmp/)"), std::string::npos)
        << r.output;
    EXPECT_FALSE(std::filesystem::exists(Profiles()));
    r = Run(
        {"profile", "add", "Home", "--maildir", m_dir + "/none", "--address", "me@example.org"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find("--create"), std::string::npos) << r.output;
    // Usage mistakes point to the command's own help.
    r = Run({"profile", "add", "Home", "--maildir", maildir});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("(see tethersync profile add --help)"), std::string::npos) << r.output;
    r = Run({"profile", "add", "Home", "--maildir", maildir, "--address", "me@example.org",
             "--smtp", "mail.example.org"});
    EXPECT_EQ(r.status, 2);

    MakeMaildir(maildir);
    r = Run({"profile", "add", "Home", "--maildir", maildir, "--address", "me@example.org",
             "--name", "Me Myself", "--default"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ModeOf(Profiles()), 0600u);
    // A second profile sends through SMTP; its password comes from standard input.
    r = Run({"profile", "add", "Work", "--maildir", m_dir + "/work", "--create", "--address",
             "me@work.example", "--smtp", "smtps://mail.work.example", "--smtp-user", "me",
             "--smtp-password", "-", "--default"},
            "s3cret word");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(std::filesystem::is_directory(m_dir + "/work/tmp"));
    EXPECT_EQ(ModeOf(Profiles()), 0600u);
    EXPECT_EQ(
        Run({"profile", "add", "home", "--maildir", maildir, "--address", "x@example.org"}).status,
        3);  // names compare without regard to case

    std::string text;
    ASSERT_EQ(platform::ReadWholeFile(Profiles(), &text), 0);
    platform::CProfile ini;
    ini.Parse(text);
    EXPECT_EQ(ini.GetValue("Home", "Store"), maildir);
    EXPECT_EQ(ini.GetValue("Home", "Transport"), "maildir");
    EXPECT_EQ(ini.GetValue("Home", "Sent"), maildir + "/.Sent");
    EXPECT_EQ(ini.GetValue("Home", "DisplayName"), "Me Myself");
    EXPECT_FALSE(ini.GetValue("Home", "Default").has_value());  // Work took it over
    EXPECT_EQ(ini.GetValue("Work", "Default"), "1");
    EXPECT_EQ(ini.GetValue("Work", "Transport"), "smtp");
    EXPECT_EQ(ini.GetValue("Work", "SmtpUrl"), "smtps://mail.work.example");
    EXPECT_EQ(ini.GetValue("Work", "SmtpPassword"), "s3cret word");

    r = Run({"profile", "list"});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("Work (default)"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("password set"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("s3cret"), std::string::npos) << r.output;

    ASSERT_EQ(Run({"profile", "remove", "Work"}).status, 0);
    EXPECT_EQ(Run({"profile", "remove", "Work"}).status, 3);
    ASSERT_EQ(platform::ReadWholeFile(Profiles(), &text), 0);
    EXPECT_EQ(text.find("Work"), std::string::npos) << text;
    EXPECT_NE(text.find("[Home]"), std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::is_directory(m_dir + "/work/cur"));  // the Maildir stays
}

TEST_F(TethersyncSetupTest, FreshAccountPasswordDoNothingAndRemoval) {
    // A fresh account: the data folder does not exist; the image goes into it.
    unsetenv("TETHER_IMAGE");
    setenv("TETHER_DATA_DIR", (m_dir + "/fresh/share/tethermail").c_str(), 1);
    Result r = Run({"image", "create", "--user", "Ann Lee"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ModeOf(m_dir + "/fresh/share/tethermail"), 0700u);
    EXPECT_TRUE(std::filesystem::exists(m_dir + "/fresh/share/tethermail/handheld.img"));
    // An image named elsewhere does not make folders on the way.
    r = Run({"image", "create", "--user", "Ann Lee", "--image", m_dir + "/no/such/x.img"});
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/no"));

    ASSERT_EQ(Run({"user", "add", "Ann Lee"}).status, 0);
    ASSERT_EQ(Run({"user", "set", "System", "Demo Mail"}).status, 0);
    ASSERT_EQ(Run({"user", "set", "Password", "open sesame"}).status, 0);
    std::string folder;
    for (const auto& e : std::filesystem::directory_iterator(m_dir + "/fresh/share/tethermail"))
        if (e.is_directory())
            folder = e.path().string();
    ASSERT_FALSE(folder.empty());
    std::string text;
    ASSERT_EQ(platform::ReadWholeFile(folder + "/Sync.ini", &text), 0);
    platform::CProfile ini;
    ini.Parse(text);
    std::string stored = ini.GetValue("Mail", "Password").value_or("");
    EXPECT_EQ(std::count(stored.begin(), stored.end(), '#'), 32) << stored;
    EXPECT_EQ(torrim::DecodePassword(stored), "open sesame");

    // No action chosen: the conduit's default does nothing, and sync says so.
    r = Run({"sync", "--conduit", TEST_CONDUIT_LIBRARY});
    EXPECT_NE(r.output.find("is \"do nothing\""), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("tethersync action set --user \"Ann Lee\" synchronize"),
              std::string::npos)
        << r.output;
    ASSERT_EQ(Run({"action", "set", "synchronize"}).status, 0);
    r = Run({"sync", "--conduit", TEST_CONDUIT_LIBRARY});
    EXPECT_EQ(r.output.find("do nothing"), std::string::npos) << r.output;

    // Composing without any address is a usage error naming the command's help.
    r = Run({"mail", "compose", "--to", "", "--subject", "x"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("see tethersync mail compose --help"), std::string::npos) << r.output;
    EXPECT_EQ(Run({"mail", "compose", "--to", " , "}).status, 2);

    // Undo: the user and its folder go; a second removal finds nobody.
    r = Run({"user", "remove", "Ann Lee"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_NE(Run({"user", "list"}).output.find("no desktop users"), std::string::npos);
    EXPECT_EQ(Run({"user", "remove", "Ann Lee"}).status, 3);
}

TEST_F(TethersyncSetupTest, AKeptDemoPrintsTheLinesToGoOnInIt) {
    Result r = Run({"demo", "--keep"});
    ASSERT_EQ(r.status, 0) << r.output;
    std::string exports;
    size_t at = 0;
    while ((at = r.output.find("\nexport TETHER_", at)) != std::string::npos) {
        size_t end = r.output.find('\n', at + 1);
        exports += r.output.substr(at + 1, end - at);
        at = end;
    }
    ASSERT_NE(exports.find("TETHER_DATA_DIR="), std::string::npos) << r.output;
    ASSERT_NE(exports.find("TETHER_IMAGE="), std::string::npos) << r.output;
    // The lines, pasted into a shell, lead to the demo's user and handheld.
    Result next = Shell("unset TETHER_DATA_DIR TETHER_IMAGE TETHER_PLATFORM_HOME; " + exports +
                        Quote(TETHERSYNC_PROGRAM) + " user list && " + Quote(TETHERSYNC_PROGRAM) +
                        " mail list && " + Quote(TETHERSYNC_PROGRAM) + " profile list");
    EXPECT_EQ(next.status, 0) << next.output;
    EXPECT_NE(next.output.find("Demo User"), std::string::npos) << next.output;
    EXPECT_NE(next.output.find("inbox"), std::string::npos) << next.output;
    EXPECT_NE(next.output.find("Demo (default)"), std::string::npos) << next.output;
    size_t folder = r.output.find("the demo folder is kept: ");
    ASSERT_NE(folder, std::string::npos);
    std::string path = r.output.substr(folder + 25, r.output.find('\n', folder) - folder - 25);
    ASSERT_EQ(path.rfind("/tethersync-demo-", std::string::npos) != std::string::npos, true);
    std::filesystem::remove_all(path);
}

}  // namespace

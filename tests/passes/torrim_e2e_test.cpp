// libtorrim.so loaded by the sync host program: the VIM interfaces start a session that
// stops at the desktop logon, "mapi" keeps the library loaded whatever the session did,
// an unknown interface runs nothing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Result {
    int status = -1;
    std::string output;
};

class TorrimEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/torrim_e2e_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        setenv("TETHER_DATA_DIR", (m_dir + "/data").c_str(), 1);
        setenv("TETHER_PLATFORM_HOME", (m_dir + "/home").c_str(), 1);
        setenv("TETHER_IMAGE", (m_dir + "/hh.img").c_str(), 1);
        unsetenv("TETHER_CONDUIT_PATH");
        ASSERT_EQ(Run({"user", "add", "Ann Lee"}).status, 0);
        ASSERT_EQ(Run({"user", "set", "System", "Demo Mail"}).status, 0);
        ASSERT_EQ(Run({"action", "set", "synchronize"}).status, 0);
        ASSERT_EQ(Run({"image", "create", "--user", "Ann Lee"}).status, 0);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    Result Run(const std::vector<std::string>& args) {
        std::string command = std::string("'") + TETHERSYNC_PROGRAM + "'";
        for (const std::string& a : args) {
            command += " '" + a + "'";
        }
        command += " 2>&1";
        Result r;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return r;
        }
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
            r.output.append(buffer, n);
        }
        const int status = pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }
    Result Sync(const std::string& interfaceName) {
        EXPECT_EQ(Run({"user", "set", "Interface", interfaceName}).status, 0);
        return Run({"sync", "--conduit", TORRIM_LIBRARY});
    }

    std::string m_dir;
};

const char* const LOGON_LINES =
    "log [19] \n"
    "log [-1] -- Mail\n"
    "log [13]    - Could not log on to the Desktop Mail System.  Please check your mail "
    "settings and run Mail Setup.\n"
    "log [21] Mail\n"
    "conduit: Mail returned 0\n";

TEST_F(TorrimEndToEnd, VimInterfacesStopAtTheUnavailableLogon) {
    for (const char* name : {"vim32", "NotesVim32"}) {
        const Result r = Sync(name);
        EXPECT_NE(r.output.find(LOGON_LINES), std::string::npos) << name << "\n" << r.output;
        EXPECT_EQ(r.output.find("NoUnload"), std::string::npos) << name;
    }
}

TEST_F(TorrimEndToEnd, MapiSessionAlwaysKeepsTheLibraryLoaded) {
    const Result r = Sync("mapi");
    EXPECT_NE(r.output.find("log [19]"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("stays loaded (NoUnload)"), std::string::npos) << r.output;
}

TEST_F(TorrimEndToEnd, UnknownInterfaceRunsNoSession) {
    const Result r = Sync("smtp");
    EXPECT_NE(r.output.find("conduit: Mail returned -1"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("unknown mail interface"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("log [19]"), std::string::npos) << r.output;
}

}  // namespace

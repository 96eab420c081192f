// The Simple MAPI library's guards through its exports: a store that is no Maildir, what
// killed runs left behind, and credentials over SMTP.
#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/file_safety.h"
#include "tests/providers/provider_fixture.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// An IPv4 address of this machine that is not a loopback one, "" when it has none.
std::string OtherAddressOfThisMachine() {
    struct ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return "";
    }
    std::string found;
    for (struct ifaddrs* a = list; a != nullptr && found.empty(); a = a->ifa_next) {
        if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET ||
            (a->ifa_flags & IFF_UP) == 0 || (a->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = "";
        const auto* in = reinterpret_cast<const struct sockaddr_in*>(a->ifa_addr);
        if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) {
            found = text;
        }
    }
    ::freeifaddrs(list);
    return found;
}

// Sets an environment variable for the life of the object.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
            m_had = true;
        }
        setenv(name, value.c_str(), 1);
    }
    ~CScopedEnv() {
        if (m_had) {
            setenv(m_name, m_old.c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

}  // namespace

TEST_F(ProviderTest, LogonRefusesAStoreThatIsNoMaildir) {
    const std::string folder = m_dir + "/Documents";
    fs::create_directories(folder);
    Put(folder + "/notes.txt", "not mail");
    auto useStore = [&](const std::string& store) {
        Put(m_profiles, "[Test]\nStore=" + store + "\nAddress=me@example.org\n");
    };
    LHANDLE session = 0;
    useStore(folder);
    testing::internal::CaptureStderr();
    EXPECT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 3u);  // MAPI_E_LOGIN_FAILURE
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("mapi32: profile \"Test\": the store " + folder +
                        " is not a Maildir (it has no cur/ and new/ folders); logon refused"),
              std::string::npos)
        << said;
    EXPECT_EQ(session, 0u);
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"notes.txt"});  // nothing made in it

    fs::create_directory(folder + "/new");  // half a Maildir is none either
    testing::internal::CaptureStderr();
    EXPECT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 3u);
    useStore(folder + "/notes.txt");
    EXPECT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 3u);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("notes.txt is not a folder"),
              std::string::npos);

    // cur/ and new/ make a Maildir; a lost tmp/ comes back.
    fs::create_directory(folder + "/cur");
    useStore(folder);
    ASSERT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 0u);
    EXPECT_TRUE(fs::is_directory(folder + "/tmp"));
    char id[512] = "";
    EXPECT_EQ(m_findNext(session, 0, nullptr, "", MAPI_LONG_MSGID, 0, id), 16u);  // empty
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
}

TEST_F(ProviderTest, LogonRemovesWhatKilledRunsLeft) {
    const std::string temp = m_dir + "/temp";
    fs::create_directories(temp);
    fs::permissions(temp, fs::perms::owner_all, fs::perm_options::replace);
    CScopedEnv tmpdir("TMPDIR", temp);
    for (const char* s : {"/new", "/cur", "/tmp"}) {
        fs::create_directories(m_sent + s);
    }
    // Our own deliveries, killed before their rename: removed at once, unless a live one
    // still holds its file.
    const std::string own = "1700000100.M5Q7R0011223344556677.host";
    Put(m_store + "/tmp/" + own, "From: a@example.org\nSubject: Half");
    Put(m_sent + "/tmp/" + own + "x", "From: me@example.org\nSubject: Half sent");
    int held = -1;
    ASSERT_EQ(platform::CreateHeldFile(m_store + "/tmp/" + own + "live", 0600, &held), 0);
    // Another program's deliveries: removed only when unused for more than 36 hours.
    Put(m_store + "/tmp/1700000100.P1.other", "being written");
    Put(m_store + "/tmp/1700000000.P2.other", "abandoned");
    const struct timespec old[2] = {{std::time(nullptr) - 37 * 3600, 0},
                                    {std::time(nullptr) - 37 * 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (m_store + "/tmp/1700000000.P2.other").c_str(), old, 0), 0);
    // Attachment files of a read whose process died.
    Put(temp + "/mapi-AbC123-a.txt", "first file");
    Put(temp + "/mapi-notours.txt", "someone else's");

    LHANDLE session = 0;
    ASSERT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 0u);
    EXPECT_EQ(FilesIn(m_store + "/tmp"),
              (std::vector<std::string>{own + "live", "1700000100.P1.other"}));
    EXPECT_TRUE(FilesIn(m_sent + "/tmp").empty());
    EXPECT_EQ(FilesIn(temp), std::vector<std::string>{"mapi-notours.txt"});
    // Nothing in tmp/ was ever part of the inbox.
    int count = 0;
    char id[512] = "";
    while (m_findNext(session, 0, nullptr, id, MAPI_LONG_MSGID, 0, id) == 0) {
        ++count;
    }
    EXPECT_EQ(count, static_cast<int>(SampleIds().size()));

    // A live read's attachment files are held until its message is freed: another logon
    // meanwhile leaves them alone.
    lpMapiMessage msg = nullptr;
    ASSERT_EQ(m_readMail(session, 0, SampleIds()[1].c_str(), MAPI_PEEK, 0, &msg), 0u);
    ASSERT_EQ(msg->nFileCount, 2u);
    LHANDLE other = 0;
    ASSERT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &other), 0u);
    EXPECT_EQ(m_logoff(other, 0, 0, 0), 0u);
    for (ULONG i = 0; i < msg->nFileCount; ++i) {
        EXPECT_TRUE(fs::exists(msg->lpFiles[i].lpszPathName)) << msg->lpFiles[i].lpszPathName;
        EXPECT_EQ(fs::path(msg->lpFiles[i].lpszPathName).parent_path(), fs::path(temp));
        fs::remove(msg->lpFiles[i].lpszPathName);
    }
    EXPECT_EQ(m_freeBuffer(msg), 0u);
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
    platform::ReleaseHeldFile(held);
}

TEST_F(ProviderTest, SmtpNeverSendsAPasswordInTheClearToAnotherMachine) {
    if (std::system("/usr/bin/python3 -c 'import socket' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 is not installed";
    }
    const std::string log = m_dir + "/smtp.log";
    const std::string portFile = m_dir + "/port";
    const std::string stopFile = m_dir + "/stop";
    const std::string cmd = std::string("/usr/bin/python3 '") + TM_SMTP_RECORDER + "' '" + log +
                            "' '" + portFile + "' '" + stopFile + "' >/dev/null 2>&1 &";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (int i = 0; i < 200 && !fs::exists(portFile); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(portFile)) << "SMTP server did not start";
    const std::string port = Slurp(portFile);
    struct Stop {
        std::string file;
        ~Stop() { std::ofstream(file) << "stop"; }
    } stop{stopFile};

    MapiRecipDesc recip{0, MAPI_TO, const_cast<char*>("Bob"), const_cast<char*>("bob@example.org"),
                        0, nullptr};
    MapiMessage msg = {};
    msg.lpszSubject = const_cast<char*>("Hello");
    msg.lpszNoteText = const_cast<char*>("Hi.");
    msg.nRecipCount = 1;
    msg.lpRecips = &recip;
    auto send = [&](const std::string& url, const std::string& user) {
        fs::remove(log);
        Put(m_profiles, "[Test]\nStore=" + m_store + "\nSent=" + m_sent +
                            "\nAddress=me@example.org\nTransport=smtp\nSmtpUrl=" + url +
                            "\nSmtpUser=" + user +
                            "\nSmtpPassword=" + (user.empty() ? "" : "hunter2") + "\n");
        LHANDLE session = 0;
        EXPECT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 0u);
        const ULONG rc = m_sendMail(session, 0, &msg, 0, 0);
        EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
        return rc;
    };
    testing::internal::CaptureStderr();  // the profile-mode warnings
    // To this machine the password may go without encryption.
    EXPECT_EQ(send("smtp://127.0.0.1:" + port, "me"), 0u);
    EXPECT_NE(Slurp(log).find("AUTH PLAIN"), std::string::npos) << Slurp(log);
    (void)testing::internal::GetCapturedStderr();

    const std::string address = OtherAddressOfThisMachine();
    if (address.empty()) {
        GTEST_SKIP() << "this machine has no address other than loopback ones";
    }
    // To any other address only over TLS: this server offers no STARTTLS, so nothing is
    // sent but the greeting's answer, and the send fails saying why.
    for (const auto& [url, user] : std::vector<std::pair<std::string, std::string>>{
             {"smtp://" + address + ":" + port, "me"},
             {"smtp://me:hunter2@" + address + ":" + port, ""}}) {
        SCOPED_TRACE(url);
        testing::internal::CaptureStderr();
        EXPECT_EQ(send(url, user), 23u);  // MAPI_E_NETWORK_FAILURE
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("mapi32: the SMTP server " + address +
                            " offers no STARTTLS; the "
                            "password is not sent over an unencrypted connection"),
                  std::string::npos)
            << said;
        const std::string seen = Slurp(log);
        EXPECT_NE(seen.find("EHLO"), std::string::npos) << seen;  // the server was reached
        EXPECT_EQ(seen.find("AUTH"), std::string::npos) << seen;
        EXPECT_EQ(seen.find("MAIL FROM"), std::string::npos) << seen;
        EXPECT_EQ(seen.find("hunter2"), std::string::npos) << seen;
    }
    // Without credentials there is nothing to protect.
    EXPECT_EQ(send("smtp://" + address + ":" + port, ""), 0u);
    EXPECT_NE(Slurp(log).find("DATA"), std::string::npos);
}

TEST_F(ProviderTest, LogonMakesAProfileFileWithAPasswordPrivate) {
    WriteProfiles("Password=secret\n");
    fs::permissions(m_profiles, fs::perms(0644), fs::perm_options::replace);
    LHANDLE session = 0;
    testing::internal::CaptureStderr();
    ASSERT_EQ(m_logon(0, "Test", "secret", 0, 0, &session), 0u);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "mapi32: warning: " + m_profiles +
                  " holds a password and could be read by others; its permissions are now 0600"),
              std::string::npos);
    EXPECT_EQ(fs::status(m_profiles).permissions(), fs::perms(0600));
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
    // Another user's file cannot be repaired: no logon (only the super-user can set one up).
    if (::geteuid() == 0) {
        fs::permissions(m_profiles, fs::perms(0644), fs::perm_options::replace);
        ASSERT_EQ(::chown(m_profiles.c_str(), 54321, 54321), 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(m_logon(0, "Test", "secret", 0, 0, &session), 3u);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot be made private"),
                  std::string::npos);
    }
}

// The VIM client library through its shared object: exactly its exports, the logon codes
// the wizard tells apart, and who owns a message after a send.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/file_util.h"
#include "platform/library.h"
#include "providers/vim/post_office.h"
#include "providers/vim/vim.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> DefinedFunctions(const std::string& file) {
    std::set<std::string> names;
    const std::string cmd = "nm -D --defined-only '" + file + "' 2>/dev/null";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) {
        return names;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char address[64];
        char kind[8];
        char name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, kind, name) == 3 &&
            std::string(kind) == "T") {
            names.insert(name);
        }
    }
    pclose(pipe);
    return names;
}

TEST(VimLibrary, ExportsExactlyTheVimFunctions) {
    EXPECT_EQ(DefinedFunctions(TM_LIB_VIM32),
              (std::set<std::string>{"VIMInitialize",
                                     "VIMTerminate",
                                     "VIMQueryCapability",
                                     "VIMOpenSession",
                                     "VIMCloseSession",
                                     "VIMGetDefaultSessionInfo",
                                     "VIMOpenMessageContainer",
                                     "VIMCloseMessageContainer",
                                     "VIMEnumerateMessages",
                                     "VIMOpenMessage",
                                     "VIMCloseMessage",
                                     "VIMGetMessageHeader",
                                     "VIMEnumerateMessageItems",
                                     "VIMOpenMessageItem",
                                     "VIMReadMessageItem",
                                     "VIMCloseMessageItem",
                                     "VIMEnumerateMessageRecipients",
                                     "VIMCreateMessage",
                                     "VIMSetMessageHeader",
                                     "VIMSetMessageRecipient",
                                     "VIMSetMessageItem",
                                     "VIMSendMessage",
                                     "VIMMarkMessageAsRead",
                                     "VIMSetMessageCategory",
                                     "VIMEnumerateAddressBooks",
                                     "VIMOpenAddressBook",
                                     "VIMMatchAddressBook",
                                     "VIMGetABEntryAttributes",
                                     "VIMCloseAddressBook"}));
}

// The library as the conduit and the wizard reach it: by its Windows name.
class VimLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vimlbXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        m_po = m_root + "/po";
        setenv("TETHER_PLATFORM_HOME", (m_root + "/platform").c_str(), 1);
        ASSERT_EQ(vim::CPostOffice::Create(m_po, vim::PostOfficeConfig{}), 0);
        vim::CPostOffice office;
        ASSERT_EQ(office.Open(m_po), 0);
        ASSERT_EQ(office.AddUser("ann", "Ann Lee", "secret"), 0);
        ASSERT_EQ(office.AddUser("bob", "Bob Brown", "b"), 0);
        m_lib = platform::LoadLibraryByName("vim32.dll");
        ASSERT_NE(m_lib, nullptr);
        ASSERT_EQ(Call<LPVIMINITIALIZE>("VIMInitialize"), 0u);
    }
    void TearDown() override {
        if (m_lib != nullptr) {
            EXPECT_EQ(Call<LPVIMTERMINATE>("VIMTerminate"), 0u);
            platform::FreeLibrary(m_lib);
        }
        fs::remove_all(m_root);
    }

    template <typename F, typename... A>
    VIMSTATUS Call(const char* name, A... args) {
        auto entry = reinterpret_cast<F>(platform::GetProcAddress(m_lib, name));
        EXPECT_NE(entry, nullptr) << name;
        return entry != nullptr ? entry(args...) : 0xFFFFu;
    }

    VIMSTATUS Logon(const std::string& po, const char* user, const char* password, VIMSES* s) {
        uint32_t version = 0;
        const VIMSTATUS rc = Call<LPVIMQUERYCAPABILITY>("VIMQueryCapability", 106u, 4u,
                                                        static_cast<void*>(&version));
        if (rc != 0) {
            return rc;
        }
        return Call<LPVIMOPENSESSION>("VIMOpenSession", po.c_str(), user, password, version, 16u,
                                      s);
    }

    std::string m_root;
    std::string m_po;
    void* m_lib = nullptr;
};

TEST_F(VimLibraryTest, LogonCodesTellUserPasswordAndPostOffice) {
    VIMSES session = nullptr;
    EXPECT_EQ(Logon(m_po, "nobody", "secret", &session), 15u);
    EXPECT_EQ(session, nullptr);
    EXPECT_EQ(Logon(m_po, "ann", "wrong", &session), 11u);
    EXPECT_EQ(Logon(m_root + "/missing", "ann", "secret", &session), 22u);
    EXPECT_EQ(Logon("", "ann", "secret", &session), 22u);
    ASSERT_EQ(Logon(m_po, "ANN", "secret", &session), 0u);
    VIMCONT container = nullptr;
    ASSERT_EQ(Call<LPVIMOPENMESSAGECONTAINER>("VIMOpenMessageContainer", session,
                                              static_cast<const char*>(nullptr), &container),
              0u);
    EXPECT_EQ(Call<LPVIMCLOSEMESSAGECONTAINER>("VIMCloseMessageContainer", container), 0u);
    EXPECT_EQ(Call<LPVIMCLOSEMESSAGECONTAINER>("VIMCloseMessageContainer", container), 5u);
    EXPECT_EQ(Call<LPVIMCLOSESESSION>("VIMCloseSession", session), 0u);
    EXPECT_EQ(Call<LPVIMCLOSESESSION>("VIMCloseSession", session), 5u);

    // A damaged user list is "any other failure".
    ASSERT_EQ(platform::WriteFileAtomic(m_po + "/users", "ann\n", 0600), 0);
    EXPECT_EQ(Logon(m_po, "ann", "secret", &session), 1u);
    uint32_t small = 0;
    EXPECT_NE(
        Call<LPVIMQUERYCAPABILITY>("VIMQueryCapability", 106u, 2u, static_cast<void*>(&small)), 0u);
}

TEST_F(VimLibraryTest, DefaultSessionComesFromTheDesktopsVimSettings) {
    const std::string windows = m_root + "/platform/windows";
    fs::create_directories(windows);
    std::ofstream(windows + "/vim.ini") << "[Default]\nPostOffice=" << m_po << "\nUser=ann\n";
    char path[1024] = "x";
    char name[1024] = "x";
    ASSERT_EQ(
        Call<LPVIMGETDEFAULTSESSIONINFO>("VIMGetDefaultSessionInfo", 1024u, path, 1024u, name), 0u);
    EXPECT_EQ(std::string(path), m_po);
    EXPECT_STREQ(name, "ann");
    VIMSES session = nullptr;
    // No post office named: the default one.
    ASSERT_EQ(Call<LPVIMOPENSESSION>("VIMOpenSession", static_cast<const char*>(nullptr), "ann",
                                     "secret", 0x10000u, 16u, &session),
              0u);
    EXPECT_EQ(Call<LPVIMCLOSESESSION>("VIMCloseSession", session), 0u);
}

TEST_F(VimLibraryTest, ASentMessageIsTakenOverAFailedOneStaysWithTheCaller) {
    VIMSES session = nullptr;
    ASSERT_EQ(Logon(m_po, "ann", "secret", &session), 0u);
    auto compose = [&](const char* to) {
        VIMMSG message = nullptr;
        EXPECT_EQ(Call<LPVIMCREATEMESSAGE>("VIMCreateMessage", session, "VIM_MAIL", &message), 0u);
        VIMADDRESS record{};
        record.recordType = 101;
        record.entityBlock = 55;
        record.addressBlock = 55;
        std::strcpy(record.address, to);
        EXPECT_EQ(Call<LPVIMSETMESSAGERECIPIENT>("VIMSetMessageRecipient", message, 97u,
                                                 static_cast<const VIMADDRESS*>(&record)),
                  0u);
        return message;
    };
    VIMMSG sent = compose("bob");
    ASSERT_EQ(Call<LPVIMSENDMESSAGE>("VIMSendMessage", sent, static_cast<const void*>(nullptr), 0u),
              0u);
    // The library freed it: the handle is no longer valid.
    EXPECT_EQ(Call<LPVIMCLOSEMESSAGE>("VIMCloseMessage", sent), 5u);
    VIMMSG refused = compose("nobody-here");
    EXPECT_EQ(
        Call<LPVIMSENDMESSAGE>("VIMSendMessage", refused, static_cast<const void*>(nullptr), 0u),
        16u);
    EXPECT_EQ(Call<LPVIMCLOSEMESSAGE>("VIMCloseMessage", refused), 0u);
    EXPECT_EQ(Call<LPVIMCLOSESESSION>("VIMCloseSession", session), 0u);
}

}  // namespace

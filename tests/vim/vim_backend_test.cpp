// The VIM back-end against the real VIM library over a temporary post office: the inbox
// walk in batches, reading, the Trash, read marks, sending to an account and through the
// gateway, logon failures; and against a small library that lacks most entry points (the
// Notes folder rule, MAIL_ERR_UNAVAILABLE with the reports, an overlong text chunk).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "conduit/backends/vim_conduit.h"
#include "conduit/core/codes.h"
#include "conduit/core/fake_host_test_util.h"
#include "platform/file_util.h"
#include "platform/library.h"
#include "providers/vim/post_office.h"

namespace torrim {
namespace {

namespace fs = std::filesystem;

void IgnoreProgress(const char*) {}

size_t FilesIn(const fs::path& folder) {
    size_t count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class CVimProbe : public CVimConduit {
public:
    CVimProbe(CFakeHost& host, MailSettings& settings, const SyncProperties& props)
        : CVimConduit(host, settings, &IgnoreProgress, props) {}
    using CVimConduit::m_batchCount;
    using CVimConduit::m_currentKey1;
    using CVimConduit::m_currentKey2;
    using CVimConduit::m_hVimLib;
    using CVimConduit::m_pCurrent;
    using CVimConduit::m_pPrefs;
};

class VimBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vimbeXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        m_po = m_root / "po";
        setenv("TETHER_PLATFORM_HOME", (m_root / "platform").c_str(), 1);
        unsetenv("TETHER_LIBRARY_PATH");
        vim::PostOfficeConfig config;
        config.domain = "po.example";
        ASSERT_EQ(vim::CPostOffice::Create(m_po, config), 0);
        vim::CPostOffice office;
        ASSERT_EQ(office.Open(m_po), 0);
        ASSERT_EQ(office.AddUser("ann", "Ann Lee", "secret"), 0);
        ASSERT_EQ(office.AddUser("bob", "Bob Brown", "b"), 0);
        ASSERT_EQ(office.AddBookEntry("People", "Bobby", "bob"), 0);
        m_inbox = m_po / "accounts/ann";

        std::memset(&m_props, 0, sizeof(m_props));
        m_settings.SetInterface("vim32");
        m_settings.SetPostOffice(m_po.string());
        m_settings.SetUserAccount("ann");
        m_settings.SetPassword("secret");
        for (const auto& [id, text] : std::map<uint32_t, std::string>{
                 {5005, "vim32.dll"},
                 {5007, "rfc822.txt"},
                 {5008, "Trash"},
                 {5111, "Lotus Applications"},
                 {5112, "lotus.ini"},
                 {5113, "notes"},
                 {6001, "Internet-Mail"},
                 {6005, "* The following file(s) are attached to this message on your Desktop:"},
                 {6105, "   - send"},
                 {6106, "   - read"},
                 {6107, "   - mark"},
                 {6110, "   - next"}}) {
            m_host.m_strings[id] = text;
        }
    }
    void TearDown() override {
        unsetenv("TETHER_LIBRARY_PATH");
        fs::remove_all(m_root);
    }

    void Deliver(const std::string& name, const std::string& text) {
        std::ofstream(m_inbox / "new" / name, std::ios::binary) << text;
    }

    std::vector<std::string> Reports() const {
        std::vector<std::string> reports;
        for (const auto& line : m_host.m_log) {
            if (line.activity == LOG_DESKTOP_MAIL_FAILED) {
                reports.push_back(line.text);
            }
        }
        return reports;
    }

    // The small library as "vim32.dll" in a folder of its own.
    fs::path FakeLibraryFolder() {
        const fs::path folder = m_root / "fake";
        fs::create_directories(folder);
        fs::copy_file(TM_FAKE_VIM32, folder / "vim32.dll", fs::copy_options::overwrite_existing);
        return folder;
    }

    fs::path m_root;
    fs::path m_po;
    fs::path m_inbox;
    CFakeHost m_host;
    MailSettings m_settings;
    SyncProperties m_props;
};

TEST_F(VimBackendTest, WalksTwentyThreeMessagesInBatchesOfTenTenAndThree) {
    for (int i = 0; i < 23; ++i) {
        Deliver(std::to_string(1796720400 + i * 60) + ".m" + std::to_string(i) + ".host",
                "From: c@example.org\nSubject: S" + std::to_string(i) + "\n\nBody\n");
    }
    CVimProbe vim(m_host, m_settings, m_props);
    ASSERT_EQ(vim.Logon(), 0);
    std::vector<uint16_t> batchSizes;
    std::set<std::pair<uint32_t, uint32_t>> keys;
    for (int step = 1; step <= 23; ++step) {
        ASSERT_EQ(vim.FindNextMessage(), 0) << step;
        ASSERT_TRUE(vim.m_currentKey1 != 0 || vim.m_currentKey2 != 0) << step;
        keys.insert({vim.m_currentKey1, vim.m_currentKey2});
        if (step % 10 == 1) {
            batchSizes.push_back(vim.m_batchCount);
        }
        ASSERT_EQ(vim.ReadMessage(), 0);
        EXPECT_EQ(vim.m_pCurrent->Subject(), "S" + std::to_string(step - 1));
    }
    EXPECT_EQ(batchSizes, (std::vector<uint16_t>{10, 10, 3}));
    EXPECT_EQ(keys.size(), 23u);
    // The 24th step ends the walk.
    EXPECT_EQ(vim.FindNextMessage(), 0);
    EXPECT_EQ(vim.m_currentKey1, 0u);
    EXPECT_EQ(vim.m_currentKey2, 0u);
    EXPECT_EQ(vim.Logoff(), 0);
    EXPECT_EQ(vim.m_hVimLib, nullptr);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(VimBackendTest, ReadsHeaderBodyAttachmentListAndRecipients) {
    Deliver("1796720400.full.host",
            "From: Carl Cole <carl@example.org>\nTo: Ann Lee <ann@po.example>, bob@po.example\n"
            "Cc: Dee <dee@example.org>\nSubject: Report\nDate: Mon, 07 Dec 2026 15:00:00 +0000\n"
            "X-Priority: 1\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=B\n\n"
            "--B\nContent-Type: text/plain\n\n"
            "This first line is long enough to be joined with the next one.\nsecond line\n"
            "--B\nContent-Type: text/plain; name=rfc822.txt\n"
            "Content-Disposition: attachment; filename=rfc822.txt\n\nReceived: x\n"
            "--B\nContent-Type: application/pdf\nContent-Disposition: attachment; "
            "filename=report.pdf\n\nPDF\n--B--\n");
    CVimProbe vim(m_host, m_settings, m_props);
    ASSERT_EQ(vim.Logon(), 0);
    ASSERT_EQ(vim.FindNextMessage(), 0);
    ASSERT_EQ(vim.ReadMessage(), 0);
    const CMessage& message = *vim.m_pCurrent;
    EXPECT_EQ(message.FromName(), "Carl Cole");
    EXPECT_EQ(message.FromAddress(), "carl@example.org");
    EXPECT_EQ(message.Subject(), "Report");
    EXPECT_EQ(message.m_date, 1796655600u);  // 15:00 UTC
    EXPECT_EQ(message.m_priority, 0);        // high
    EXPECT_EQ(message.m_readOnDesktop, 0);
    EXPECT_EQ(static_cast<uint32_t>(message.m_desktopKey1), vim.m_currentKey1);
    // Only the sender's file is listed; the gateway's header file is not.
    EXPECT_EQ(message.Body(),
              "* The following file(s) are attached to this message on your Desktop:\r\n"
              "\treport.pdf\r\n\r\n"
              "This first line is long enough to be joined with the next one.  second line");
    EXPECT_EQ(message.m_counts[0], 2);
    EXPECT_EQ(message.m_counts[1], 1);
    EXPECT_EQ(message.m_counts[2], 0);
    auto first = message.m_pRecipients->Lookup(0);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->m_kind, 1);
    EXPECT_EQ(first->m_address, "ann@po.example");
    EXPECT_EQ(first->m_name, "Ann Lee");
    auto third = message.m_pRecipients->Lookup(2);
    ASSERT_TRUE(third.has_value());
    EXPECT_EQ(third->m_kind, 2);
    EXPECT_EQ(third->m_name, "Dee");
    EXPECT_EQ(vim.Logoff(), 0);
}

TEST_F(VimBackendTest, DeleteFilesTheMessageInTheTrashAndMarkReadSetsSeen) {
    Deliver("1796720400.a.host", "Subject: A\n\nx\n");
    Deliver("1796720460.b.host", "Subject: B\n\ny\n");
    CVimProbe vim(m_host, m_settings, m_props);
    ASSERT_EQ(vim.Logon(), 0);
    ASSERT_EQ(vim.FindNextMessage(), 0);
    EXPECT_EQ(vim.DeleteMessage(), 0);
    ASSERT_EQ(vim.FindNextMessage(), 0);
    EXPECT_EQ(vim.MarkMessageRead(), 0);
    EXPECT_EQ(vim.Logoff(), 0);
    EXPECT_EQ(FilesIn(m_inbox / ".Trash/cur"), 1u);
    EXPECT_TRUE(fs::exists(m_inbox / ".Trash/cur/1796720400.a.host:2,"));
    EXPECT_EQ(FilesIn(m_inbox / "new"), 0u);
    EXPECT_TRUE(fs::exists(m_inbox / "cur/1796720460.b.host:2,S"));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(VimBackendTest, SendsToAnAccountAndThroughTheGateway) {
    CVimProbe vim(m_host, m_settings, m_props);
    ASSERT_EQ(vim.Logon(), 0);
    vim.m_pPrefs = std::make_unique<CFilter>();
    vim.m_pPrefs->m_signatureText = "Sent from my handheld";
    CMessage message;
    message.SetSubject(std::string(300, 's'));
    message.SetBody("Hello Bob.");
    message.m_signature = 1;
    message.AddRecipient(1, "Bob", "bob");
    message.AddRecipient(2, "", "dee@example.org");  // cc:Mail: through "Internet-Mail"
    message.AddRecipient(3, "", "Bobby");            // the address book's entry for bob
    ASSERT_EQ(vim.SendMail(&message), 0);
    ASSERT_EQ(FilesIn(m_po / "accounts/bob/new"), 1u);
    ASSERT_EQ(FilesIn(m_po / "gateway/new"), 1u);
    const std::string mail = ReadFile(fs::directory_iterator(m_po / "accounts/bob/new")->path());
    EXPECT_NE(mail.find("From: Ann Lee <ann@po.example>"), std::string::npos) << mail;
    EXPECT_NE(mail.find("Cc: dee@example.org"), std::string::npos);
    EXPECT_NE(mail.find("Hello Bob.\n\nSent from my handheld"), std::string::npos);
    // The subject is cut to 255 bytes, leaving room for its terminator.

    // An unknown account is refused: nothing is delivered, the send reports.
    CMessage refused;
    refused.SetSubject("No");
    refused.AddRecipient(1, "", "nobody");
    EXPECT_NE(vim.SendMail(&refused), 0);
    EXPECT_EQ(Reports(), (std::vector<std::string>{"   - send"}));
    EXPECT_EQ(FilesIn(m_po / "accounts/bob/new"), 1u);
    EXPECT_EQ(vim.Logoff(), 0);
}

TEST_F(VimBackendTest, LogonFailuresReportAndAnswerTheStatus) {
    struct Case {
        const char* user;
        const char* password;
        bool postOffice;
        int32_t status;
    };
    for (const Case& c : {Case{"ann", "wrong", true, 11}, Case{"zed", "secret", true, 15},
                          Case{"ann", "secret", false, 22}}) {
        m_host.m_log.clear();
        m_settings.SetUserAccount(c.user);
        m_settings.SetPassword(c.password);
        m_settings.SetPostOffice(c.postOffice ? m_po.string() : (m_root / "none").string());
        CVimProbe vim(m_host, m_settings, m_props);
        EXPECT_EQ(vim.Logon(), c.status) << c.user;
        EXPECT_EQ(Reports(),
                  (std::vector<std::string>{"   - Could not log on to the Desktop Mail System."}));
        // The object releases the library itself; no logoff follows a failed logon.
    }
}

TEST_F(VimBackendTest, NotesLoadsTheLibraryOfTheNotesFolderAndRestoresTheDirectory) {
    const fs::path folder = FakeLibraryFolder();
    fs::create_directories(m_root / "platform/windows");
    std::ofstream(m_root / "platform/windows/lotus.ini")
        << "[Lotus Applications]\nnotes=" << folder.string() << "/notes\n";
    m_settings.SetInterface("NotesVIM32");
    const std::string before = platform::CurrentDirectory();
    CVimProbe vim(m_host, m_settings, m_props);
    ASSERT_EQ(vim.Logon(), 0);
    EXPECT_EQ(platform::CurrentDirectory(), before);
    using CwdAtLoad = const char* (*)();
    const auto cwdAtLoad =
        reinterpret_cast<CwdAtLoad>(platform::GetProcAddress(vim.m_hVimLib, "FakeVimCwdAtLoad"));
    ASSERT_NE(cwdAtLoad, nullptr) << "the library did not come from the Notes folder";
    EXPECT_EQ(fs::path(cwdAtLoad()), fs::canonical(folder));
    EXPECT_EQ(vim.Logoff(), 0);
}

TEST_F(VimBackendTest, MissingEntryPointsAnswerUnavailableWithTheirReports) {
    setenv("TETHER_LIBRARY_PATH", FakeLibraryFolder().c_str(), 1);
    fs::copy_file(TM_FAKE_VIM32, m_root / "fake/libvim32.so");
    CVimProbe vim(m_host, m_settings, m_props);
    ASSERT_EQ(vim.Logon(), 0);
    ASSERT_EQ(vim.FindNextMessage(), 0);
    EXPECT_EQ(vim.m_currentKey1, 7u);
    // The library claims a full 8192-byte chunk after filling the 8191 bytes it was given:
    // the text ends within the buffer.
    ASSERT_EQ(vim.ReadMessage(), 0);
    EXPECT_EQ(vim.m_pCurrent->Body(), std::string(8191, 'x'));
    EXPECT_EQ(vim.m_pCurrent->m_readOnDesktop, 0);
    EXPECT_EQ(vim.DeleteMessage(), MAIL_ERR_UNAVAILABLE);
    EXPECT_EQ(vim.MarkMessageRead(), MAIL_ERR_UNAVAILABLE);
    CMessage message;
    message.SetSubject("Hello");
    EXPECT_EQ(vim.SendMail(&message), MAIL_ERR_UNAVAILABLE);
    EXPECT_EQ(vim.FindNextMessage(), 0);  // one message only: the walk ends
    EXPECT_EQ(vim.m_currentKey1, 0u);
    EXPECT_EQ(Reports(),
              (std::vector<std::string>{
                  "   - Could not delete the following message from the Desktop Mail System:",
                  "   - mark", "   - send"}));
    EXPECT_EQ(vim.Logoff(), 0);
}

}  // namespace
}  // namespace torrim

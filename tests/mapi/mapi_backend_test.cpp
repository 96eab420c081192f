// The Simple MAPI back-ends against the real Simple MAPI library over a temporary Maildir:
// the inbox walk, reading and marking, attachments, deleting, sending, resolving names,
// the thunk path, and missing entry points.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "conduit/backends/mail_backends.h"
#include "conduit/core/codes.h"
#include "conduit/core/fake_host_test_util.h"

namespace torrim {
namespace {

namespace fs = std::filesystem;

void IgnoreProgress(const char*) {}

void WriteFile(const fs::path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The folder of this process's tests. The mail library takes the temporary folder and the
// profile file once per process, so every test uses the same paths (emptied first) and
// the folder goes when the process ends.
const fs::path& ProcessFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "mapi-backend-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        setenv("TMPDIR", (pattern + "/tmp").c_str(), 1);
        setenv("TETHER_MAPI_PROFILES", (pattern + "/profiles.ini").c_str(), 1);
        // The read cache and the platform folder stay inside the test's folder too.
        setenv("TETHER_MAPI_CACHE", (pattern + "/cache").c_str(), 1);
        setenv("TETHER_PLATFORM_HOME", (pattern + "/platform").c_str(), 1);
        return fs::path(pattern);
    }();
    return folder;
}

class CRemoveProcessFolder : public ::testing::Environment {
public:
    void TearDown() override { fs::remove_all(ProcessFolder()); }
};
const auto* const g_removeFolder = ::testing::AddGlobalTestEnvironment(new CRemoveProcessFolder);

// Opens a back-end's members to the test.
template <typename Base>
class CProbe : public Base {
public:
    CProbe(CFakeHost& host, MailSettings& settings, const SyncProperties& props)
        : Base(host, settings, &IgnoreProgress, props) {
        this->m_pPrefs = std::make_unique<CFilter>();
    }
    std::string CurrentId() const { return this->m_currentId; }
    void SetCurrent(const std::string& id) { this->SetCurrentId(id); }
    std::unique_ptr<CMessage> TakeCurrent() { return std::move(this->m_pCurrent); }
    CFilter& Prefs() { return *this->m_pPrefs; }
};

class MapiBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = ProcessFolder();
        for (const auto& entry : fs::directory_iterator(m_dir)) {
            fs::remove_all(entry.path());
        }
        m_store = m_dir / "Maildir";
        m_sent = m_dir / "Sent";
        for (const char* sub : {"new", "cur", "tmp"}) {
            fs::create_directories(m_store / sub);
        }
        m_temp = m_dir / "tmp";
        fs::create_directories(m_temp);
        WriteFile(m_store / "new/1700000001.plain.host",
                  "From: Ann Smith <ann@example.org>\nTo: Me <me@example.org>\n"
                  "Cc: bob@example.org\nSubject: Plain\n"
                  "Date: Tue, 14 Nov 2023 22:13:20 +0000\n\nHello there.\n");
        WriteFile(m_store / "new/1700000002.files.host",
                  "From: bob@example.org\nTo: me@example.org\nSubject: Files\n"
                  "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=B\n\n"
                  "--B\nContent-Type: text/plain\n\nSee the files.\n"
                  "--B\nContent-Type: text/plain; name=a.txt\n"
                  "Content-Disposition: attachment; filename=a.txt\n\nfirst file\n"
                  "--B\nContent-Type: application/pdf\n"
                  "Content-Disposition: attachment; filename=b.pdf\n"
                  "Content-Transfer-Encoding: base64\n\nJVBERi0=\n--B--\n");
        WriteFile(m_store / "cur/1700000003.seen.host:2,S",
                  "From: carol@example.org\nTo: me@example.org\nSubject: Seen\n\nOld news.\n");
        WriteFile(m_dir / "book.txt",
                  "Ann Smith <ann@example.org>\nAnn Jones <jones@example.org>\n"
                  "Bob Brown <bob@example.org>\n");
        WriteFile(m_dir / "profiles.ini", "[Test]\nStore=" + m_store.string() +
                                              "\nSent=" + m_sent.string() +
                                              "\nAddress=me@example.org\nDisplayName=Me\n"
                                              "AddressBook=" +
                                              (m_dir / "book.txt").string() + "\nDefault=1\n");
        m_settings.SetProfile("Test");
        m_settings.SetUserAccount("Test");
        std::memset(&m_props, 0, sizeof(m_props));
        m_host.m_strings[6006] = "* There are %d file(s) attached to this message on your Desktop.";
        m_host.m_strings[6011] = "(High Priority) ";
        m_host.m_strings[6105] = "   - send";
        m_host.m_strings[6106] = "   - read";
        m_host.m_strings[6107] = "   - mark";
        m_host.m_strings[6110] = "   - next";
        m_host.m_strings[6111] = "   - free";
    }
    void TearDown() override { ReleaseThunk(); }

    // Walks the inbox, returning the ids in order.
    template <typename Conduit>
    std::vector<std::string> Walk(Conduit& conduit) {
        std::vector<std::string> ids;
        conduit.SetCurrent("");
        for (int step = 0; step < 10; ++step) {
            EXPECT_EQ(conduit.FindNextMessage(), 0);
            if (conduit.CurrentId().empty()) {
                break;
            }
            ids.push_back(conduit.CurrentId());
        }
        return ids;
    }

    // The name of the Maildir file of a message id, in new/ or cur/.
    std::string FileOf(const std::string& id) const {
        for (const char* sub : {"new", "cur"}) {
            for (const auto& entry : fs::directory_iterator(m_store / sub)) {
                const std::string name = entry.path().filename().string();
                if (name.rfind(id, 0) == 0) {
                    return std::string(sub) + "/" + name;
                }
            }
        }
        return "";
    }

    std::vector<std::string> ReportTexts() const {
        std::vector<std::string> texts;
        for (const auto& line : m_host.m_log) {
            if (line.activity == LOG_DESKTOP_MAIL_FAILED) {
                texts.push_back(line.text);
            }
        }
        return texts;
    }

    std::vector<std::string> SentMessages() const {
        std::vector<std::string> texts;
        if (fs::exists(m_sent / "cur")) {
            for (const auto& entry : fs::directory_iterator(m_sent / "cur")) {
                texts.push_back(ReadFile(entry.path()));
            }
        }
        return texts;
    }

    fs::path m_dir;
    fs::path m_store;
    fs::path m_sent;
    fs::path m_temp;
    CFakeHost m_host;
    MailSettings m_settings;
    SyncProperties m_props;
};

TEST_F(MapiBackendTest, InboxWalkReadsPeeksMarksAndDeletes) {
    CProbe<CMapi32Conduit> conduit(m_host, m_settings, m_props);
    ASSERT_EQ(conduit.Logon(), 0);
    // Three messages: three steps, then a fourth that ends the walk without a report.
    const std::vector<std::string> ids = Walk(conduit);
    ASSERT_EQ(ids, (std::vector<std::string>{"1700000001.plain.host", "1700000002.files.host",
                                             "1700000003.seen.host"}));
    EXPECT_TRUE(ReportTexts().empty());

    // Reading peeks: the message stays unread on the desktop.
    conduit.SetCurrent(ids[0]);
    ASSERT_EQ(conduit.ReadMessage(), 0);
    std::unique_ptr<CMessage> plain = conduit.TakeCurrent();
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->Subject(), "Plain");
    EXPECT_EQ(plain->FromAddress(), "ann@example.org");
    EXPECT_EQ(plain->FromName(), "Ann Smith");
    EXPECT_EQ(plain->m_readOnDesktop, 0);
    EXPECT_EQ(plain->m_counts[COUNT_TO], 1);
    EXPECT_EQ(plain->m_counts[COUNT_CC], 1);
    EXPECT_EQ(plain->DesktopId(), ids[0]);
    EXPECT_NE(plain->m_date, 0u);
    EXPECT_EQ(plain->Body().rfind("Hello there.", 0), 0u);
    EXPECT_EQ(FileOf(ids[0]).find(":2,S"), std::string::npos);

    // Marking read reads without peeking.
    EXPECT_EQ(conduit.MarkMessageRead(), 0);
    EXPECT_NE(FileOf(ids[0]).find('S'), std::string::npos) << FileOf(ids[0]);
    conduit.SetCurrent(ids[2]);
    ASSERT_EQ(conduit.ReadMessage(), 0);
    EXPECT_EQ(conduit.TakeCurrent()->m_readOnDesktop, 1);

    // Deleting removes the file; the walk no longer sees it; a second delete fails with
    // the mail system's code and names the message.
    conduit.SetCurrent(ids[0]);
    EXPECT_EQ(conduit.DeleteMessage(), 0);
    EXPECT_EQ(FileOf(ids[0]), "");
    EXPECT_EQ(Walk(conduit).size(), 2u);
    conduit.SetCurrent(ids[0]);
    EXPECT_NE(conduit.DeleteMessage(), 0);
    EXPECT_EQ(ReportTexts().back(),
              "   - Could not delete the following message from the Desktop Mail System:");
    EXPECT_EQ(conduit.Logoff(), 0);
}

TEST_F(MapiBackendTest, AttachmentsAreCountedAndTheirFilesRemoved) {
    CProbe<CMapi32Conduit> conduit(m_host, m_settings, m_props);
    ASSERT_EQ(conduit.Logon(), 0);
    conduit.SetCurrent("1700000002.files.host");
    ASSERT_EQ(conduit.ReadMessage(), 0);
    const std::unique_ptr<CMessage> message = conduit.TakeCurrent();
    EXPECT_EQ(message->Body(),
              "* There are 2 file(s) attached to this message on your Desktop.\r\n\r\n"
              "See the files.");
    EXPECT_TRUE(fs::is_empty(m_temp)) << "attachment files left in the temporary folder";
    EXPECT_TRUE(ReportTexts().empty());
    EXPECT_EQ(conduit.Logoff(), 0);
}

TEST_F(MapiBackendTest, SendingResolvesNamesAndAddsPrefixAndSignature) {
    CProbe<CMapi32Conduit> conduit(m_host, m_settings, m_props);
    ASSERT_EQ(conduit.Logon(), 0);
    conduit.Prefs().m_signatureText = "Sent from my handheld";
    CMessage message;
    message.SetSubject("Urgent");
    message.m_priority = 0;
    message.m_signature = 1;
    message.m_readOnDesktop = 1;
    message.SetBody("Call me.");
    // Resolves by name ("Bob Brown"); and one the book does not know keeps its own.
    message.AddRecipient(RECIPIENT_TO, "Bob Brown", "bob@old.example.org");
    message.AddRecipient(RECIPIENT_CC, "", "zed@example.net");
    ASSERT_EQ(conduit.SendMail(&message), 0);
    const std::vector<std::string> sent = SentMessages();
    ASSERT_EQ(sent.size(), 1u);
    std::string text = sent[0];
    std::erase(text, '\r');
    EXPECT_NE(text.find("Subject: (High Priority) Urgent"), std::string::npos) << text;
    EXPECT_NE(text.find("bob@example.org"), std::string::npos) << text;
    EXPECT_EQ(text.find("bob@old.example.org"), std::string::npos) << text;
    EXPECT_NE(text.find("zed@example.net"), std::string::npos) << text;
    EXPECT_NE(text.find("Call me.\n\nSent from my handheld"), std::string::npos) << text;

    // A message the mail system refuses (no recipient at all) is reported and named.
    CMessage empty;
    empty.SetSubject("Nobody");
    EXPECT_NE(conduit.SendMail(&empty), 0);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"   - send"});
    EXPECT_EQ(conduit.Logoff(), 0);
}

TEST_F(MapiBackendTest, ResolveNameAnswersTheBooksEntryOrTheMailSystemsCode) {
    CProbe<CMapi32Conduit> conduit(m_host, m_settings, m_props);
    ASSERT_EQ(conduit.Logon(), 0);
    char* name = nullptr;
    char* address = nullptr;
    EXPECT_EQ(conduit.ResolveName("BOB BROWN", &name, &address), 0);
    ASSERT_NE(name, nullptr);
    ASSERT_NE(address, nullptr);
    EXPECT_STREQ(name, "Bob Brown");
    EXPECT_STREQ(address, "bob@example.org");
    delete[] name;
    delete[] address;
    name = nullptr;
    address = nullptr;
    EXPECT_EQ(conduit.ResolveName("Ann", &name, &address), MAPI_E_AMBIGUOUS_RECIPIENT);
    EXPECT_EQ(conduit.ResolveName("nobody", &name, &address), MAPI_E_UNKNOWN_RECIPIENT);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(address, nullptr);
    EXPECT_TRUE(ReportTexts().empty());
    EXPECT_EQ(conduit.Logoff(), 0);
}

TEST_F(MapiBackendTest, FailedLogonReportsTheMailSystemsCode) {
    m_settings.SetProfile("NoSuchProfile");
    {
        CProbe<CMapi32Conduit> conduit(m_host, m_settings, m_props);
        EXPECT_EQ(conduit.Logon(), MAPI_E_LOGIN_FAILURE);
    }
    ASSERT_EQ(ReportTexts().size(), 1u);
    EXPECT_EQ(ReportTexts()[0].rfind("   - Could not log on", 0), 0u);
}

TEST_F(MapiBackendTest, MissingLibraryFailsTheLogonWithUnavailable) {
    // A "Mapi32.dll" that cannot be loaded stands for a system without Simple MAPI.
    fs::create_directories(m_dir / "broken");
    WriteFile(m_dir / "broken/libmapi32.so", "not a library");
    setenv("TETHER_LIBRARY_PATH", (m_dir / "broken").c_str(), 1);
    {
        CProbe<CMapi32Conduit> conduit(m_host, m_settings, m_props);
        EXPECT_EQ(conduit.Logon(), MAIL_ERR_UNAVAILABLE);
    }
    unsetenv("TETHER_LIBRARY_PATH");
    ASSERT_EQ(ReportTexts().size(), 1u);
    EXPECT_EQ(ReportTexts()[0].rfind("   - Could not log on", 0), 0u);
}

TEST_F(MapiBackendTest, MissingEntryPointsFailOnlyTheirOperations) {
    // A library with nothing but MAPILogon and MAPILogoff.
    setenv("TETHER_LIBRARY_PATH", TM_PARTIAL_MAPI_DIR, 1);
    CProbe<CMapi32Conduit> conduit(m_host, m_settings, m_props);
    ASSERT_EQ(conduit.Logon(), 0);
    EXPECT_EQ(conduit.FindNextMessage(), MAIL_ERR_UNAVAILABLE);
    conduit.SetCurrent("1700000001.plain.host");
    EXPECT_EQ(conduit.ReadMessage(), MAIL_ERR_UNAVAILABLE);
    EXPECT_EQ(conduit.MarkMessageRead(), MAIL_ERR_UNAVAILABLE);
    CMessage message;
    message.AddRecipient(RECIPIENT_TO, "", "a@example.org");
    EXPECT_EQ(conduit.SendMail(&message), MAIL_ERR_UNAVAILABLE);
    char* name = nullptr;
    char* address = nullptr;
    EXPECT_EQ(conduit.ResolveName("a", &name, &address), MAIL_ERR_UNAVAILABLE);
    EXPECT_EQ(conduit.Logoff(), 0);
    unsetenv("TETHER_LIBRARY_PATH");
    EXPECT_EQ(ReportTexts(),
              (std::vector<std::string>{"   - next", "   - read", "   - mark", "   - send"}));
}

TEST_F(MapiBackendTest, ThunkCarriesTheSameOperations) {
    ASSERT_TRUE(RegisterThunk(m_host));
    ASSERT_NE(RegisteredThunk(), nullptr) << "the thunk stand-ins were not found";
    {
        CProbe<CMapi16Conduit> conduit(m_host, m_settings, m_props);
        ASSERT_EQ(conduit.Logon(), 0);
        const std::vector<std::string> ids = Walk(conduit);
        ASSERT_EQ(ids.size(), 3u);
        conduit.SetCurrent(ids[1]);
        ASSERT_EQ(conduit.ReadMessage(), 0);
        EXPECT_EQ(conduit.TakeCurrent()->Body().rfind("* There are 2 file(s)", 0), 0u);
        EXPECT_TRUE(fs::is_empty(m_temp));
        EXPECT_EQ(conduit.MarkMessageRead(), 0);
        EXPECT_NE(FileOf(ids[1]).find('S'), std::string::npos);
        CMessage message;
        message.SetSubject("Via thunk");
        message.AddRecipient(RECIPIENT_TO, "Bob Brown", "bob@old.example.org");
        EXPECT_EQ(conduit.SendMail(&message), 0);
        conduit.SetCurrent(ids[0]);
        EXPECT_EQ(conduit.DeleteMessage(), 0);
        EXPECT_EQ(FileOf(ids[0]), "");
        EXPECT_EQ(conduit.ExtraCall(1, 2), 0);
        EXPECT_EQ(conduit.Logoff(), 0);
    }
    const std::vector<std::string> sent = SentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].find("bob@example.org"), std::string::npos);
    EXPECT_TRUE(ReportTexts().empty());
}

TEST_F(MapiBackendTest, WithoutTheThunkLogonAndLogoffAnswerUnavailable) {
    // A "Kernel32.Dll" without UTRegister: the registration counts as done, without a thunk.
    setenv("TETHER_LIBRARY_PATH", TM_NO_THUNK_DIR, 1);
    ASSERT_TRUE(RegisterThunk(m_host));
    EXPECT_EQ(RegisteredThunk(), nullptr);
    unsetenv("TETHER_LIBRARY_PATH");
    CProbe<CMapi16Conduit> conduit(m_host, m_settings, m_props);
    EXPECT_EQ(conduit.Logon(), MAIL_ERR_UNAVAILABLE);
    EXPECT_EQ(conduit.Logoff(), MAIL_ERR_UNAVAILABLE);
    EXPECT_EQ(conduit.ExtraCall(1, 2), MAIL_ERR_UNAVAILABLE);
    ASSERT_EQ(ReportTexts().size(), 2u);
    EXPECT_EQ(ReportTexts()[0].rfind("   - Could not log on", 0), 0u);
    EXPECT_EQ(ReportTexts()[1], "   - Failed while trying to Logoff of the Desktop Mail System.");
}

}  // namespace
}  // namespace torrim

// The Simple MAPI back-end without a mail system: outgoing messages as built for sending,
// incoming messages as converted, date texts, resolved names, unwrapping and the clean-up
// of attachment files.
#include "conduit/backends/mapi_conduit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "conduit/backends/unwrap.h"
#include "conduit/core/fake_host_test_util.h"
#include "platform/code_page.h"

namespace torrim {
namespace {

void IgnoreProgress(const char*) {}

// Opens the back-end's members to the test; ResolveName answers from a small book.
class CMapiProbe : public CMapiConduit {
public:
    CMapiProbe(CFakeHost& host, MailSettings& settings, const SyncProperties& props)
        : CMapiConduit(host, settings, &IgnoreProgress, props) {
        m_pPrefs = std::make_unique<CFilter>();
    }

    // Lower-cased text -> (name, address) that the mail system would answer.
    std::map<std::string, std::pair<std::string, std::string>> m_book;
    std::vector<std::string> m_asked;

    int32_t ResolveName(const char* name, char** displayName, char** address) override {
        m_pResolved = nullptr;
        const std::string prepared = PrepareResolveName(name);
        m_asked.push_back(prepared);
        const auto it = m_book.find(prepared);
        if (it == m_book.end()) {
            return MAPI_E_UNKNOWN_RECIPIENT;
        }
        m_resolved = MapiRecipDesc{0, MAPI_TO, it->second.first.data(), it->second.second.data(),
                                   0, nullptr};
        m_pResolved = &m_resolved;
        TakeResolved(m_resolved, displayName, address);
        return 0;
    }

    MapiMessage& Outgoing() { return m_outgoing; }
    void SetIncoming(MapiMessage* message) { m_pIncoming = message; }
    const char* DateText() const { return m_dateText; }
    void SetDateText(const char* text) {
        std::snprintf(m_dateText, sizeof(m_dateText), "%s", text);
    }
    void SetCurrent(const char* id) { std::snprintf(m_currentId, sizeof(m_currentId), "%s", id); }
    const char* CurrentId() const { return m_currentId; }
    CFilter& Prefs() { return *m_pPrefs; }
    void ReadStarts() { StartRead(); }
    void DeleteFiles() { DeleteAttachmentFiles(); }

private:
    MapiRecipDesc m_resolved{};
};

class MapiConduitTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&m_props, 0, sizeof(m_props));
        m_host.m_strings[6006] = "* There are %d file(s) attached to this message on your Desktop.";
        m_host.m_strings[6011] = "(High Priority) ";
    }
    void TearDown() override { platform::SetActiveCodePage(1252); }

    CFakeHost m_host;
    MailSettings m_settings;
    SyncProperties m_props;
};

// ---- outgoing ----

TEST_F(MapiConduitTest, OutgoingMessageCarriesEveryField) {
    CMapiProbe conduit(m_host, m_settings, m_props);
    conduit.Prefs().m_signatureText = "-- Ann";
    CMessage message;
    message.SetDesktopId("desk-1");
    message.SetSubject("Lunch");
    message.m_priority = 0;
    message.m_date = 994338180;  // 2001-07-05 13:03 UTC, 09:03 in New York
    message.SetConversationId("<c1@example.org>");
    message.m_confirmRead = 1;
    message.m_readOnDesktop = 0;
    message.SetFromName("Ann");
    message.SetFromAddress("ann@example.org");
    message.SetBody("See you.");
    message.m_signature = 1;
    message.AddRecipient(RECIPIENT_TO, "Bob", "bob@example.org");

    conduit.BuildOutgoing(&message);
    MapiMessage& out = conduit.Outgoing();
    EXPECT_STREQ(conduit.CurrentId(), "desk-1");
    EXPECT_STREQ(out.lpszSubject, "(High Priority) Lunch");
    EXPECT_STREQ(out.lpszDateReceived, "2001/07/05 09:03");
    EXPECT_STREQ(out.lpszConversationID, "<c1@example.org>");
    EXPECT_EQ(out.flFlags, static_cast<FLAGS>(MAPI_RECEIPT_REQUESTED | MAPI_UNREAD));
    EXPECT_EQ(out.lpszMessageType, nullptr);
    ASSERT_NE(out.lpOriginator, nullptr);
    EXPECT_EQ(out.lpOriginator->ulRecipClass, static_cast<ULONG>(MAPI_ORIG));
    EXPECT_STREQ(out.lpOriginator->lpszName, "Ann");
    EXPECT_STREQ(out.lpOriginator->lpszAddress, "ann@example.org");
    EXPECT_STREQ(out.lpszNoteText, "See you.\r\n\r\n-- Ann");
    EXPECT_EQ(out.nFileCount, 0u);
    EXPECT_EQ(out.lpFiles, nullptr);

    conduit.FreeOutgoing();
    EXPECT_EQ(out.lpszSubject, nullptr);
    EXPECT_EQ(out.lpszNoteText, nullptr);
    EXPECT_EQ(out.lpOriginator, nullptr);
    EXPECT_EQ(out.lpRecips, nullptr);
    EXPECT_EQ(out.nRecipCount, 0u);

    // Normal priority, no signature flag, read, no date: nothing added.
    message.m_priority = 1;
    message.m_signature = 0;
    message.m_readOnDesktop = 1;
    message.m_confirmRead = 0;
    message.m_date = 0;
    conduit.BuildOutgoing(&message);
    EXPECT_STREQ(out.lpszSubject, "Lunch");
    EXPECT_STREQ(out.lpszNoteText, "See you.");
    EXPECT_STREQ(out.lpszDateReceived, "");
    EXPECT_EQ(out.flFlags, 0u);
    conduit.FreeOutgoing();
}

TEST_F(MapiConduitTest, SubjectKeepsRoomForItsTerminatorAndWholeCharacters) {
    CMapiProbe conduit(m_host, m_settings, m_props);
    CMessage message;
    message.m_priority = 0;
    message.SetSubject(std::string(300, 's'));
    conduit.BuildOutgoing(&message);
    EXPECT_EQ(std::strlen(conduit.Outgoing().lpszSubject), 255u);
    EXPECT_EQ(std::string(conduit.Outgoing().lpszSubject).rfind("(High Priority) ", 0), 0u);
    conduit.FreeOutgoing();

    // On code page 932 a double-byte character across the limit is left out whole.
    platform::SetActiveCodePage(932);
    message.m_priority = 1;
    message.SetSubject(std::string(254, 'a') + "\x82\xa0");
    conduit.BuildOutgoing(&message);
    EXPECT_EQ(std::string(conduit.Outgoing().lpszSubject), std::string(254, 'a'));
    conduit.FreeOutgoing();
}

TEST_F(MapiConduitTest, RecipientsResolveByAddressThenNameThenStayAsTheyAre) {
    CMapiProbe conduit(m_host, m_settings, m_props);
    conduit.m_book["bob@example.org"] = {"  'Bob Brown'  ", "bob@mail.example.org"};
    conduit.m_book["carol"] = {"\"Carol C\"", "carol@example.org"};
    CMessage message;
    message.AddRecipient(RECIPIENT_TO, "Bob", "bob@example.org");          // by address
    message.AddRecipient(RECIPIENT_CC, "Carol", "carol@old.example.org");  // by name
    message.AddRecipient(RECIPIENT_BCC, "Dan", "dan@example.org");         // neither
    message.AddRecipient(RECIPIENT_TO, "", "eve@example.org");             // neither, no name
    message.m_pRecipients->Append(std::make_unique<CRecipient>(4, "Skip", "skip@example.org"));

    conduit.BuildOutgoing(&message);
    const MapiMessage& out = conduit.Outgoing();
    ASSERT_EQ(out.nRecipCount, 4u);
    auto expect = [&](ULONG i, ULONG kind, const char* name, const char* address) {
        SCOPED_TRACE(i);
        EXPECT_EQ(out.lpRecips[i].ulRecipClass, kind);
        EXPECT_STREQ(out.lpRecips[i].lpszName, name);
        EXPECT_STREQ(out.lpRecips[i].lpszAddress, address);
        EXPECT_EQ(out.lpRecips[i].ulEIDSize, 0u);
    };
    expect(0, MAPI_TO, "Bob Brown", "bob@mail.example.org");
    expect(1, MAPI_CC, "Carol C", "carol@example.org");
    expect(2, MAPI_BCC, "Dan", "dan@example.org");
    expect(3, MAPI_TO, "eve@example.org", "eve@example.org");
    // The kind-4 entry was never looked up.
    for (const std::string& asked : conduit.m_asked) {
        EXPECT_EQ(asked.find("skip"), std::string::npos);
    }
    conduit.FreeOutgoing();
}

TEST_F(MapiConduitTest, RecipientArrayHoldsOnlyWhatTheCountsAnnounce) {
    CMapiProbe conduit(m_host, m_settings, m_props);
    CMessage message;
    message.AddRecipient(RECIPIENT_TO, "A", "a@example.org");
    message.AddRecipient(RECIPIENT_TO, "B", "b@example.org");
    message.m_counts[COUNT_TO] = 1;
    message.m_counts[COUNT_CC] = -5;  // damaged counts never make the array negative
    conduit.BuildOutgoing(&message);
    ASSERT_EQ(conduit.Outgoing().nRecipCount, 1u);
    EXPECT_STREQ(conduit.Outgoing().lpRecips[0].lpszAddress, "a@example.org");
    conduit.FreeOutgoing();
}

TEST(MapiResolveNameTest, PreparedNameAndCleanedDisplayName) {
    EXPECT_EQ(CMapiConduit::PrepareResolveName("Ann Lee"), "ann lee");
    EXPECT_EQ(CMapiConduit::PrepareResolveName("jdoe@NGW:Example.Org"), "gw:example.org");
    EXPECT_EQ(CMapiConduit::PrepareResolveName("NGW:Sales"), "gw:sales");

    EXPECT_EQ(CMapiConduit::CleanResolvedName("  'Ann Lee'  "), "Ann Lee");
    EXPECT_EQ(CMapiConduit::CleanResolvedName(" \"Bob\" "), "Bob");
    EXPECT_EQ(CMapiConduit::CleanResolvedName("'\"Both\"'"), "Both");
    EXPECT_EQ(CMapiConduit::CleanResolvedName("\"'Inner'\""), "'Inner'");
    EXPECT_EQ(CMapiConduit::CleanResolvedName("'"), "");
    EXPECT_EQ(CMapiConduit::CleanResolvedName(" \" "), "");
    EXPECT_EQ(CMapiConduit::CleanResolvedName("O'Brien"), "O'Brien");
}

// ---- incoming ----

TEST_F(MapiConduitTest, IncomingMessageFillsTheHandheldMessage) {
    CMapiProbe conduit(m_host, m_settings, m_props);
    conduit.SetCurrent("id-7");
    char subject[] = "Report";
    char date[] = "2001/13/05 10:30";
    char note[] = "Short line\r\nnext";
    char conversation[] = "<m7@example.org>";
    char fromAddress[] = "EX:/o=Org/ou=Site/cn=Recipients/cn=jsmith";
    char toName[] = "Bob";
    char toAddress[] = "SMTP:Bob <bob@example.org>";
    char ccAddress[] = "smtp:carol@example.org";
    char bccName[] = "dan@example.org";
    char otherName[] = "Other";
    MapiRecipDesc from{0, MAPI_ORIG, nullptr, fromAddress, 0, nullptr};
    MapiRecipDesc recips[4] = {{0, MAPI_TO, toName, toAddress, 0, nullptr},
                               {0, MAPI_CC, nullptr, ccAddress, 0, nullptr},
                               {0, MAPI_BCC, bccName, nullptr, 0, nullptr},
                               {0, 7, otherName, nullptr, 0, nullptr}};
    MapiFileDesc files[2] = {};
    MapiMessage incoming{
        0,     subject, note,   nullptr, date, conversation, MAPI_UNREAD | MAPI_RECEIPT_REQUESTED,
        &from, 4,       recips, 2,       files};
    conduit.SetIncoming(&incoming);

    CMessage message;
    conduit.ConvertIncoming(&message);
    conduit.SetIncoming(nullptr);
    EXPECT_EQ(message.DesktopId(), "id-7");
    EXPECT_EQ(message.m_readOnDesktop, 0);
    EXPECT_EQ(message.m_confirmRead, 1);
    EXPECT_EQ(message.m_priority, 1);
    EXPECT_EQ(message.Subject(), "Report");
    EXPECT_EQ(message.ConversationId(), "<m7@example.org>");
    // Month 13 counts as December: 2001-12-05 10:30 New York time is 15:30 UTC.
    EXPECT_EQ(message.m_date, 1007566200u);
    EXPECT_EQ(message.FromName(), "cn=jsmith");  // derived from the native address
    EXPECT_EQ(message.Body(),
              "* There are 2 file(s) attached to this message on your Desktop.\r\n\r\n"
              "Short line\r\nnext");

    EXPECT_EQ(message.m_counts[COUNT_TO], 1);
    EXPECT_EQ(message.m_counts[COUNT_CC], 1);
    EXPECT_EQ(message.m_counts[COUNT_BCC], 1);
    ASSERT_EQ(message.m_pRecipients->Count(), 4u);
    const auto to = message.m_pRecipients->Lookup(0);
    EXPECT_EQ(to->m_kind, RECIPIENT_TO);
    EXPECT_EQ(to->m_name, "Bob");
    EXPECT_EQ(to->m_address, "bob@example.org");
    const auto cc = message.m_pRecipients->Lookup(1);
    EXPECT_EQ(cc->m_name, "carol");  // derived from the native address
    EXPECT_EQ(cc->m_address, "carol@example.org");
    const auto bcc = message.m_pRecipients->Lookup(2);
    EXPECT_EQ(bcc->m_address, "dan@example.org");  // the name stands in for the address
    const auto other = message.m_pRecipients->Lookup(3);
    EXPECT_EQ(other->m_kind, 0);
    EXPECT_EQ(other->m_name, "Other");
}

TEST_F(MapiConduitTest, IncomingMessageWithoutOptionalFields) {
    CMapiProbe conduit(m_host, m_settings, m_props);
    MapiMessage incoming{};
    conduit.SetIncoming(&incoming);
    CMessage message;
    conduit.ConvertIncoming(&message);
    EXPECT_EQ(message.m_date, 0u);
    EXPECT_EQ(message.m_readOnDesktop, 1);
    EXPECT_EQ(message.Subject(), "");
    EXPECT_EQ(message.Body(), "");
    EXPECT_EQ(message.FromAddress(), "");
    EXPECT_EQ(message.m_pRecipients->Count(), 0u);
}

TEST_F(MapiConduitTest, JapaneseDesktopConvertsAndRestoresTheMailSystemsTexts) {
    platform::SetActiveCodePage(932);
    CMapiProbe conduit(m_host, m_settings, m_props);
    // ISO-2022-JP body of two long lines of kana; a plain ASCII subject.
    std::string kana;
    for (int i = 0; i < 25; ++i) {
        kana += "$\"";  // JIS 0x2422, hiragana A
    }
    std::string body = "\x1b$B" + kana + "\x1b(B\r\n\x1b$B$$\x1b(B";
    std::string subject = "Hello";
    MapiMessage incoming{};
    incoming.lpszNoteText = body.data();
    incoming.lpszSubject = subject.data();
    conduit.SetIncoming(&incoming);
    CMessage message;
    conduit.ConvertIncoming(&message);
    // The long line of kana joins the next kana line: the LF goes, the CR stays.
    std::string expected;
    for (int i = 0; i < 25; ++i) {
        expected += "\x82\xa0";
    }
    expected += "\r\x82\xa2";
    EXPECT_EQ(message.Body(), expected);
    EXPECT_EQ(message.Subject(), "Hello");
    EXPECT_EQ(incoming.lpszNoteText, body.data());
    EXPECT_EQ(incoming.lpszSubject, subject.data());
}

// ---- dates ----

TEST_F(MapiConduitTest, DateTextsInLocalTime) {
    CMapiProbe conduit(m_host, m_settings, m_props);
    uint32_t none = 0;
    conduit.SetDateText("junk");
    conduit.FormatDate(&none);
    EXPECT_STREQ(conduit.DateText(), "");

    uint32_t date = 994338180;
    conduit.FormatDate(&date);
    EXPECT_STREQ(conduit.DateText(), "2001/07/05 09:03");
    uint32_t parsed = 1;
    conduit.ParseDate(&parsed);
    EXPECT_EQ(parsed, 994338180u);

    conduit.SetDateText("2001/13/05 10:30");
    conduit.ParseDate(&parsed);
    EXPECT_EQ(parsed, 1007566200u);
    conduit.SetDateText("2001/00/05 10:30");
    conduit.ParseDate(&parsed);
    EXPECT_EQ(parsed, 1007566200u);
    // Missing minutes count 0; a text without a usable day, or empty, is no date.
    conduit.SetDateText("2001/12/05 10");
    conduit.ParseDate(&parsed);
    EXPECT_EQ(parsed, 1007566200u - 30 * 60);
    conduit.SetDateText("2001/12");
    conduit.ParseDate(&parsed);
    EXPECT_EQ(parsed, 0u);
    conduit.SetDateText("");
    conduit.ParseDate(&parsed);
    EXPECT_EQ(parsed, 0u);
}

// ---- attachment files ----

TEST_F(MapiConduitTest, OnlyTemporaryFilesOfThisReadAreDeleted) {
    namespace fs = std::filesystem;
    char tempTemplate[] = "/tmp/mapi-conduit-test-XXXXXX";
    ASSERT_NE(mkdtemp(tempTemplate), nullptr);
    const fs::path temp = tempTemplate;
    const fs::path other = temp / "elsewhere";
    fs::create_directory(other);
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TMPDIR", temp.c_str(), 1);

    auto write = [](const fs::path& path) { std::ofstream(path) << "data"; };
    const fs::path old = temp / "mapi-old-user-file";
    write(old);
    fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(1));

    CMapiProbe conduit(m_host, m_settings, m_props);
    conduit.ReadStarts();
    const fs::path fresh = temp / "mapi-fresh-a.txt";
    const fs::path outside = other / "mapi-outside.txt";
    const fs::path link = temp / "mapi-link";
    write(fresh);
    write(outside);
    fs::create_symlink(outside, link);
    std::string names[5] = {fresh.string(), outside.string(), old.string(), link.string(),
                            (temp / "mapi-missing").string()};
    MapiFileDesc files[6] = {};
    for (int i = 0; i < 5; ++i) {
        files[i].lpszPathName = names[i].data();
    }
    MapiMessage incoming{};
    incoming.nFileCount = 6;  // the last entry has no path
    incoming.lpFiles = files;
    conduit.SetIncoming(&incoming);
    conduit.DeleteFiles();
    conduit.SetIncoming(nullptr);

    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(old));
    EXPECT_TRUE(fs::is_symlink(link));

    if (previous != nullptr) {
        setenv("TMPDIR", saved.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    fs::remove_all(temp);
}

// ---- unwrapping ----

TEST(UnwrapTest, LongLinesJoinShortOnesAndNewItemsKeepTheirBreaks) {
    const std::string fifty = std::string(49, 'w') + ".";
    EXPECT_EQ(UnwrapText(fifty + "\r\nordinary words here"), fifty + "  ordinary words here");
    EXPECT_EQ(UnwrapText(std::string(50, 'w') + "  \r\nnext line"),
              std::string(50, 'w') + " next line");
    EXPECT_EQ(UnwrapText(fifty + "\r\n1. item"), fifty + "\r\n1. item");
    EXPECT_EQ(UnwrapText(fifty + "\r\n>> quoted"), fifty + "\r\n>> quoted");
    EXPECT_EQ(UnwrapText(fifty + "\r\n\r\nnew paragraph"), fifty + "\r\n\r\nnew paragraph");
    const std::string thirty(30, 'w');
    EXPECT_EQ(UnwrapText(thirty + "\r\nnext line"), thirty + "\r\nnext line");
    // Leading blanks of the joined line: the last one is copied after the joining space.
    EXPECT_EQ(UnwrapText(std::string(50, 'w') + "\r\n   indented"),
              std::string(50, 'w') + "  indented");
}

TEST(UnwrapTest, OutputGrowsAndLookAheadStopsAtTheEnd) {
    // A bare CR after a full stop becomes two spaces: one byte more per line.
    std::string input;
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        input += std::string(49, 'x') + ".\rword ";
        expected += std::string(49, 'x') + ".  word ";
    }
    EXPECT_EQ(UnwrapText(input), expected);
    EXPECT_EQ(expected.size(), input.size() + 200);

    // The text ends one or two bytes after the break: nothing beyond it is looked at.
    const std::string line(50, 'a');
    const std::string buffer = line + "\r\nAbc";
    EXPECT_EQ(UnwrapText(std::string_view(buffer).substr(0, line.size() + 3)), line + "\r\nA");
    EXPECT_EQ(UnwrapText(line + "\r\n"), line + "\r\n");
    EXPECT_EQ(UnwrapText(line + "\r"), line + "\r");
    // An embedded NUL ends the text as it ends a C string.
    EXPECT_EQ(UnwrapText(std::string("ab\0cd", 5)), "ab");
}

TEST(Unwrap932Test, JoinsLatinAndJapaneseLinesAndTrimsWhiteSpace) {
    const std::string latin = std::string(45, 'w') + ".";
    EXPECT_EQ(UnwrapText932(latin + "  \r\n  Next"), latin + "\r  Next");
    EXPECT_EQ(UnwrapText932(std::string(45, 'w') + "\r\nnext"), std::string(45, 'w') + "\r next");
    // A short line keeps its break; leading blanks and ideographic spaces go.
    EXPECT_EQ(UnwrapText932("short\r\n \x81\x40word"), "short\r\nword");
    // Kana after a long kana line: the LF goes, the CR stays.
    std::string kana;
    for (int i = 0; i < 22; ++i) {
        kana += "\x82\xa0";
    }
    EXPECT_EQ(UnwrapText932(kana + "\r\n\x88\x9f"), kana + "\r\x88\x9f");
    // Latin after kana keeps the break.
    EXPECT_EQ(UnwrapText932(kana + "\r\nabc"), kana + "\r\nabc");
    // A trail byte equal to a Latin letter belongs to its kanji.
    EXPECT_EQ(CharClass932(0x8A41), 2);
    EXPECT_EQ(CharClass932('A'), 1);
    EXPECT_EQ(CharClass932(','), 1);
    EXPECT_EQ(CharClass932('!'), 0);
    EXPECT_EQ(CharClass932(0xB1), 2);
    EXPECT_EQ(CharClass932(0x8341), 2);
    EXPECT_EQ(CharClass932(0x8140), 0);
    EXPECT_EQ(CharClass932(0x8740), 0);
}

TEST(Unwrap932Test, BareBreaksGrowTheOutputAndALoneLeadByteEndsSafely) {
    const std::string bare(1000, '\r');
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        expected += "\r\n";
    }
    EXPECT_EQ(UnwrapText932(bare), expected);
    EXPECT_EQ(UnwrapText932("ab\x82"), "ab\x82");
    const std::string buffer = "ab\x82\xa0";
    EXPECT_EQ(UnwrapText932(std::string_view(buffer).substr(0, 3)), "ab\x82");
}

}  // namespace
}  // namespace torrim

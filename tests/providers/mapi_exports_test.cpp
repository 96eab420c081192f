// The Simple MAPI library through its exports: logon, the inbox walk, reading with and
// without MAPI_PEEK, deletion, sending to the sent folder and over SMTP, name resolution.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/providers/provider_fixture.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST_F(ProviderTest, LogonChecksProfileAndPassword) {
    LHANDLE session = 0;
    EXPECT_EQ(m_logon(0, "Nope", nullptr, MAPI_NEW_SESSION, 0, &session), 3u);
    EXPECT_EQ(session, 0u);
    // A profile whose store does not exist cannot be used.
    EXPECT_EQ(m_logon(0, "Other", nullptr, 0, 0, &session), 3u);
    ASSERT_EQ(m_logon(0, nullptr, nullptr, 0x1002, 0, &session), 0u);  // the default profile
    EXPECT_NE(session, 0u);
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 19u);  // MAPI_E_INVALID_SESSION
    char id[512];
    EXPECT_EQ(m_findNext(session, 0, nullptr, "", MAPI_LONG_MSGID, 0, id), 19u);

    // The user's account (own address) names the profile too.
    ASSERT_EQ(m_logon(0, "ME@example.org", nullptr, 0x1002, 0, &session), 0u);
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);

    WriteProfiles("Password=secret\n");
    EXPECT_EQ(m_logon(0, "test", "wrong", 0, 0, &session), 3u);
    ASSERT_EQ(m_logon(0, "test", "secret", 0, 0, &session), 0u);
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
}

TEST_F(ProviderTest, WalkReadsEveryMessageWithPeekThenEnds) {
    LHANDLE session = 0;
    ASSERT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 0u);
    std::vector<std::string> newBefore = FilesIn(m_store + "/new");
    std::vector<std::string> ids;
    std::vector<std::string> subjects;
    std::vector<std::string> bodies;
    char id[512] = "";
    ULONG rc = 0;
    while ((rc = m_findNext(session, 0, nullptr, id, MAPI_LONG_MSGID, 0, id)) == 0) {
        ids.push_back(id);
        lpMapiMessage msg = nullptr;
        ASSERT_EQ(m_readMail(session, 0, id, MAPI_PEEK, 0, &msg), 0u);
        ASSERT_NE(msg, nullptr);
        subjects.push_back(msg->lpszSubject != nullptr ? msg->lpszSubject : "");
        bodies.push_back(msg->lpszNoteText != nullptr ? msg->lpszNoteText : "");
        EXPECT_EQ((msg->flFlags & MAPI_UNREAD) != 0, ids.back() != SampleIds()[1]);
        if (ids.size() == 1) {
            ASSERT_NE(msg->lpOriginator, nullptr);
            EXPECT_STREQ(msg->lpOriginator->lpszName, "Ann Smith");
            ASSERT_NE(msg->lpszDateReceived, nullptr);
            EXPECT_EQ(std::string(msg->lpszDateReceived).size(), 16u);  // YYYY/MM/DD HH:MM
            ASSERT_EQ(msg->nRecipCount, 1u);
            EXPECT_EQ(msg->lpRecips[0].ulRecipClass, uint32_t{MAPI_TO});
        }
        if (ids.size() == 2) {
            ASSERT_EQ(msg->nFileCount, 2u);
            EXPECT_STREQ(msg->lpFiles[0].lpszFileName, "a.txt");
            EXPECT_EQ(ReadFile(msg->lpFiles[0].lpszPathName), "first file");
            EXPECT_EQ(ReadFile(msg->lpFiles[1].lpszPathName), "%PDF-");
            // The caller owns the temporary files; releasing the buffer leaves them.
            std::string p0 = msg->lpFiles[0].lpszPathName;
            std::string p1 = msg->lpFiles[1].lpszPathName;
            EXPECT_EQ(m_freeBuffer(msg), 0u);
            EXPECT_TRUE(fs::exists(p0) && fs::exists(p1));
            fs::remove(p0);
            fs::remove(p1);
            continue;
        }
        EXPECT_EQ(m_freeBuffer(msg), 0u);
    }
    EXPECT_EQ(rc, 16u);  // MAPI_E_NO_MESSAGES
    EXPECT_EQ(ids, SampleIds());
    EXPECT_EQ(subjects, (std::vector<std::string>{"Plain", "Files", "Caf\xE9",
                                                  "\xDC"
                                                  "ber",
                                                  "??", "Html"}));
    EXPECT_EQ(bodies[0], "Hello there.\r\n");
    EXPECT_EQ(bodies[2],
              "Cr\xE8me br\xFBl\xE9"
              "e\r\n");
    EXPECT_EQ(bodies[3],
              "Gr\xFC\xDF"
              "e \x80");
    EXPECT_EQ(bodies[5], "Big news");
    // Reading with MAPI_PEEK changed nothing on disk.
    EXPECT_EQ(FilesIn(m_store + "/new"), newBefore);
    // Without MAPI_LONG_MSGID the id must fit 64 bytes; ours do.
    char shortId[64];
    EXPECT_EQ(m_findNext(session, 0, nullptr, nullptr, 0, 0, shortId), 0u);
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
}

TEST_F(ProviderTest, ReadWithoutPeekMarksReadAndEnvelopeOnlySkipsBody) {
    LHANDLE session = 0;
    ASSERT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 0u);
    const std::string plain = SampleIds()[0];
    const std::string multi = SampleIds()[1];
    lpMapiMessage msg = nullptr;
    ASSERT_EQ(m_readMail(session, 0, plain.c_str(), MAPI_ENVELOPE_ONLY, 0, &msg), 0u);
    EXPECT_STREQ(msg->lpszSubject, "Plain");
    EXPECT_TRUE(msg->lpszNoteText == nullptr || *msg->lpszNoteText == '\0');
    EXPECT_EQ(m_freeBuffer(msg), 0u);
    EXPECT_TRUE(fs::exists(m_store + "/cur/" + plain + ":2,S"));
    EXPECT_FALSE(fs::exists(m_store + "/new/" + plain));
    ASSERT_EQ(m_readMail(session, 0, plain.c_str(), MAPI_PEEK, 0, &msg), 0u);
    EXPECT_EQ(msg->flFlags & MAPI_UNREAD, 0u);
    EXPECT_EQ(m_freeBuffer(msg), 0u);
    // Envelope only: no attachments (and so no temporary files for the caller to delete).
    ASSERT_EQ(m_readMail(session, 0, multi.c_str(), MAPI_ENVELOPE_ONLY | MAPI_PEEK, 0, &msg), 0u);
    EXPECT_EQ(msg->nFileCount, 0u);
    EXPECT_EQ(msg->lpFiles, nullptr);
    EXPECT_EQ(m_freeBuffer(msg), 0u);
    // A damaged file is still delivered with what could be read.
    {
        std::ofstream junk(m_store + "/new/1700000009.junk.host", std::ios::binary);
        junk << "Subject: Kept\nFrom: <<<\nContent-Type: multipart/mixed; boundary=\n\n"
             << std::string("\0\xff\x80--\n", 7);
    }
    ASSERT_EQ(m_readMail(session, 0, "1700000009.junk.host", MAPI_PEEK, 0, &msg), 0u);
    EXPECT_STREQ(msg->lpszSubject, "Kept");
    EXPECT_EQ(m_freeBuffer(msg), 0u);
    EXPECT_EQ(m_readMail(session, 0, "no-such-id", MAPI_PEEK, 0, &msg), 17u);
    EXPECT_EQ(m_freeBuffer(reinterpret_cast<void*>(&session)), 2u);  // not ours: refused
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
}

TEST_F(ProviderTest, DeleteRemovesTheFileAndTheWalkGoesOn) {
    LHANDLE session = 0;
    ASSERT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 0u);
    const std::vector<std::string> ids = SampleIds();
    ASSERT_EQ(m_deleteMail(session, 0, ids[1].c_str(), 0, 0), 0u);
    EXPECT_TRUE(FilesIn(m_store + "/cur").empty());
    EXPECT_EQ(m_deleteMail(session, 0, ids[1].c_str(), 0, 0), 17u);
    char next[512];
    ASSERT_EQ(m_findNext(session, 0, nullptr, ids[1].c_str(), MAPI_LONG_MSGID, 0, next), 0u);
    EXPECT_EQ(next, ids[2]);
    ASSERT_EQ(m_findNext(session, 0, nullptr, ids[0].c_str(), MAPI_LONG_MSGID, 0, next), 0u);
    EXPECT_EQ(next, ids[2]);
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
}

TEST_F(ProviderTest, ResolveNameAnswersAddressBookEntries) {
    LHANDLE session = 0;
    ASSERT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 0u);
    lpMapiRecipDesc recip = nullptr;
    ASSERT_EQ(m_resolveName(session, 0, "bob", 0, 0, &recip), 0u);
    EXPECT_STREQ(recip->lpszName, "Bob Brown");
    EXPECT_STREQ(recip->lpszAddress, "bob@example.org");
    EXPECT_EQ(m_freeBuffer(recip), 0u);
    EXPECT_EQ(m_resolveName(session, 0, "ann", 0, 0, &recip), 21u);
    EXPECT_EQ(m_resolveName(session, 0, "ann smith", 0, 0, &recip), 0u);
    EXPECT_EQ(m_freeBuffer(recip), 0u);
    EXPECT_EQ(m_resolveName(session, 0, "nobody", 0, 0, &recip), 14u);
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
}

namespace {

MapiMessage OutgoingSample(MapiRecipDesc* recips) {
    recips[0] = MapiRecipDesc{
        0, MAPI_TO, const_cast<char*>("Bob"), const_cast<char*>("bob@example.org"), 0, nullptr};
    recips[1] =
        MapiRecipDesc{0, MAPI_BCC, nullptr, const_cast<char*>("hidden@example.org"), 0, nullptr};
    MapiMessage msg = {};
    msg.lpszSubject = const_cast<char*>("(High Priority) R\xE9union");
    msg.lpszNoteText = const_cast<char*>("Bring the notes, Andr\xE9.\r\n\r\n-- \r\nMe");
    msg.nRecipCount = 2;
    msg.lpRecips = recips;
    return msg;
}

}  // namespace

TEST_F(ProviderTest, SendWritesTheMailIntoTheSentMaildir) {
    LHANDLE session = 0;
    ASSERT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 0u);
    MapiRecipDesc recips[2];
    MapiMessage msg = OutgoingSample(recips);
    ASSERT_EQ(m_sendMail(session, 0, &msg, 0, 0), 0u);
    std::vector<std::string> sent = FilesIn(m_sent + "/cur");
    ASSERT_EQ(sent.size(), 1u);
    std::string text = ReadFile(m_sent + "/cur/" + sent[0]);
    EXPECT_NE(text.find("From: Me <me@example.org>"), std::string::npos);
    EXPECT_NE(text.find("To: Bob <bob@example.org>"), std::string::npos);
    EXPECT_NE(text.find("Subject: (High Priority) =?UTF-8?"), std::string::npos) << text;
    EXPECT_NE(text.find("charset=utf-8"), std::string::npos);
    EXPECT_EQ(text.find("Disposition-Notification-To"), std::string::npos);

    msg.flFlags = MAPI_RECEIPT_REQUESTED;
    recips[0].lpszAddress = nullptr;
    recips[0].lpszName = const_cast<char*>("Nobody Known");
    EXPECT_EQ(m_sendMail(session, 0, &msg, 0, 0), 14u);
    EXPECT_EQ(FilesIn(m_sent + "/cur").size(), 1u);  // nothing half-sent
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
}

TEST_F(ProviderTest, SendOverSmtpToALoopbackServer) {
    if (std::system("/usr/bin/python3 -c 'import aiosmtpd' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    }
    std::string sink = m_dir + "/sink";
    std::string portFile = m_dir + "/port";
    std::string stopFile = m_dir + "/stop";
    std::string cmd = std::string("/usr/bin/python3 '") + TM_SMTP_SINK + "' '" + sink + "' '" +
                      portFile + "' '" + stopFile + "' >/dev/null 2>&1 &";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (int i = 0; i < 200 && !fs::exists(portFile); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(portFile)) << "SMTP server did not start";
    std::string port = ReadFile(portFile);
    WriteProfiles("Transport=smtp\nSmtpUrl=smtp://127.0.0.1:" + port + "\n");

    LHANDLE session = 0;
    ASSERT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 0u);
    MapiRecipDesc recips[2];
    MapiMessage msg = OutgoingSample(recips);
    ULONG rc = m_sendMail(session, 0, &msg, 0, 0);
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
    std::ofstream(stopFile) << "stop";
    ASSERT_EQ(rc, 0u);

    std::vector<std::string> got = FilesIn(sink + "/new");
    ASSERT_EQ(got.size(), 1u);
    std::string text = ReadFile(sink + "/new/" + got[0]);
    EXPECT_NE(text.find("X-MailFrom: me@example.org"), std::string::npos);
    EXPECT_NE(text.find("hidden@example.org"), std::string::npos);  // in X-RcptTo only
    EXPECT_EQ(text.find("Bcc:"), std::string::npos);
    EXPECT_NE(text.find("Bring the notes, Andr=C3=A9."), std::string::npos);
    // A copy stays in the sent folder.
    EXPECT_EQ(FilesIn(m_sent + "/cur").size(), 1u);

    // The server gone: a network failure, nothing stored as sent.
    ASSERT_EQ(m_logon(0, "Test", nullptr, 0x1002, 0, &session), 0u);
    for (int i = 0; i < 100 && m_sendMail(session, 0, &msg, 0, 0) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // server still stopping
    }
    EXPECT_EQ(m_sendMail(session, 0, &msg, 0, 0), 23u);  // MAPI_E_NETWORK_FAILURE
    EXPECT_EQ(m_logoff(session, 0, 0, 0), 0u);
}

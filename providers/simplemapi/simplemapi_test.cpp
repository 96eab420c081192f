// Unit tests of the Simple MAPI library's pieces: Maildir order and flags, MIME reading,
// address book, outgoing mail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_util.h"
#include "providers/simplemapi/address_book.h"
#include "providers/simplemapi/maildir_store.h"
#include "providers/simplemapi/mapi_buffer.h"
#include "providers/simplemapi/mime_reader.h"
#include "providers/simplemapi/mime_writer.h"
#include "providers/simplemapi/simple_mapi.h"
#include "providers/simplemapi/text_codec.h"

namespace fs = std::filesystem;
using namespace mapi;

namespace {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "mapitestXXXXXX").string();
        char* made = mkdtemp(tmpl.data());
        EXPECT_NE(made, nullptr);
        m_path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

std::string MakeMaildir(const TempDir& dir) {
    std::string root = dir.Path() + "/Maildir";
    for (const char* s : {"/new", "/cur", "/tmp"}) {
        fs::create_directories(root + s);
    }
    return root;
}

}  // namespace

TEST(MaildirStore, WalksInDeliveryOrderAndEndsWithNoMessages) {
    TempDir dir;
    std::string root = MakeMaildir(dir);
    WriteFile(root + "/new/1700000300.b.host", "x");
    WriteFile(root + "/cur/1700000100.z.host:2,S", "x");
    WriteFile(root + "/new/1700000100.a.host", "x");
    WriteFile(root + "/cur/1700000200.c.host:2,", "x");
    WriteFile(root + "/new/.hidden", "x");
    CMaildirStore store(root);
    std::vector<std::string> ids;
    std::string id;
    while (store.FindNext(id, &id) == SUCCESS_SUCCESS) {
        ids.push_back(id);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"1700000100.a.host", "1700000100.z.host",
                                             "1700000200.c.host", "1700000300.b.host"}));
    EXPECT_EQ(store.FindNext(ids.back(), &id), MAPI_E_NO_MESSAGES);
    EXPECT_EQ(store.FindNext("nonsense", &id), MAPI_E_INVALID_MESSAGE);
}

TEST(MaildirStore, SeenKeepsIdAndDeletedSeedStillContinuesTheWalk) {
    TempDir dir;
    std::string root = MakeMaildir(dir);
    WriteFile(root + "/new/1700000001.a.host", "x");
    WriteFile(root + "/cur/1700000002.b.host:2,F", "x");
    WriteFile(root + "/new/1700000003.c.host", "x");
    CMaildirStore store(root);
    ASSERT_EQ(store.MarkSeen("1700000001.a.host"), SUCCESS_SUCCESS);
    EXPECT_TRUE(fs::exists(root + "/cur/1700000001.a.host:2,S"));
    ASSERT_EQ(store.MarkSeen("1700000002.b.host"), SUCCESS_SUCCESS);
    EXPECT_TRUE(fs::exists(root + "/cur/1700000002.b.host:2,FS"));
    std::string path;
    bool seen = false;
    int64_t when = 0;
    platform::FileStamp stamp;
    ASSERT_EQ(store.Locate("1700000002.b.host", &path, &seen, &when, &stamp), SUCCESS_SUCCESS);
    EXPECT_TRUE(seen);
    EXPECT_EQ(when, 1700000002);
    EXPECT_EQ(stamp.size, 1);

    ASSERT_EQ(store.Delete("1700000002.b.host"), SUCCESS_SUCCESS);
    EXPECT_FALSE(fs::exists(root + "/cur/1700000002.b.host:2,FS"));
    EXPECT_EQ(store.Delete("1700000002.b.host"), MAPI_E_INVALID_MESSAGE);
    std::string next;
    ASSERT_EQ(store.FindNext("1700000002.b.host", &next), SUCCESS_SUCCESS);
    EXPECT_EQ(next, "1700000003.c.host");

    // A message renamed by another program meanwhile is found at its new place.
    ASSERT_EQ(store.Locate("1700000003.c.host", &path, &seen, &when, &stamp), SUCCESS_SUCCESS);
    EXPECT_FALSE(seen);
    fs::rename(root + "/new/1700000003.c.host", root + "/cur/1700000003.c.host:2,RS");
    ASSERT_EQ(store.Locate("1700000003.c.host", &path, &seen, &when, &stamp), SUCCESS_SUCCESS);
    EXPECT_EQ(path, root + "/cur/1700000003.c.host:2,RS");
    EXPECT_TRUE(seen);
    // ... and one removed meanwhile is not found any more.
    fs::remove(root + "/cur/1700000003.c.host:2,RS");
    EXPECT_EQ(store.Locate("1700000003.c.host", &path, &seen, &when, &stamp),
              MAPI_E_INVALID_MESSAGE);
}

TEST(MaildirStore, DeliveryWritesWholeFilesIntoNewOrCur) {
    TempDir dir;
    std::string root = dir.Path() + "/Sent";
    std::string id;
    ASSERT_EQ(DeliverToMaildir(root, "Subject: a\n\nbody\n", true, &id), SUCCESS_SUCCESS);
    EXPECT_TRUE(fs::exists(root + "/cur/" + id + ":2,S"));
    ASSERT_EQ(DeliverToMaildir(root, "Subject: b\n\nbody\n", false, &id), SUCCESS_SUCCESS);
    EXPECT_TRUE(fs::exists(root + "/new/" + id));
    EXPECT_TRUE(fs::is_empty(root + "/tmp"));
}

namespace {

IncomingMessage Parse(const std::string& text, uint32_t codePage = 1252, bool native = false,
                      bool envelope = false) {
    ReadOptions o;
    o.codePage = codePage;
    o.nativeText = native;
    o.envelopeOnly = envelope;
    IncomingMessage m;
    ParseMessage(text, o, &m);
    return m;
}

}  // namespace

TEST(MimeReader, PlainMessageHeadersAndBody) {
    IncomingMessage m = Parse(
        "From: \"Ann Smith\" <ann@example.org>\n"
        "To: bob@example.org, Carl <carl@example.org>\n"
        "Cc: Dee <dee@example.org>\n"
        "Subject: Hello\n"
        "Date: Thu, 05 Jul 2001 09:03:00 +0000\n"
        "Message-ID: <abc@example.org>\n"
        "Disposition-Notification-To: ann@example.org\n"
        "\n"
        "Line one\nLine two\n");
    EXPECT_EQ(m.subject, "Hello");
    ASSERT_TRUE(m.hasOriginator);
    EXPECT_EQ(m.originator.name, "Ann Smith");
    EXPECT_EQ(m.originator.address, "ann@example.org");
    ASSERT_EQ(m.recips.size(), 3u);
    EXPECT_EQ(m.recips[0].recipClass, uint32_t{MAPI_TO});
    EXPECT_EQ(m.recips[0].address, "bob@example.org");
    EXPECT_EQ(m.recips[1].name, "Carl");
    EXPECT_EQ(m.recips[2].recipClass, uint32_t{MAPI_CC});
    EXPECT_EQ(m.noteText, "Line one\r\nLine two\r\n");
    EXPECT_TRUE(m.receiptRequested);
    EXPECT_EQ(m.conversationId, "abc@example.org");
    EXPECT_EQ(m.dateText, FormatMapiDate(994323780));
    EXPECT_TRUE(m.attachments.empty());

    IncomingMessage env = Parse("Subject: S\nTo: a@b.c\n\nbody\n", 1252, false, true);
    EXPECT_EQ(env.subject, "S");
    EXPECT_TRUE(env.noteText.empty());
}

TEST(MimeReader, MultipartWithAttachmentsAndEncodings) {
    IncomingMessage m = Parse(
        "From: =?ISO-8859-1?Q?Ren=E9?= <rene@example.org>\n"
        "To: x@example.org\n"
        "Subject: =?UTF-8?B?R3LDvMOfZQ==?=\n"
        "MIME-Version: 1.0\n"
        "Content-Type: multipart/mixed; boundary=\"XX\"\n"
        "\n"
        "--XX\n"
        "Content-Type: text/plain; charset=iso-8859-1\n"
        "Content-Transfer-Encoding: quoted-printable\n"
        "\n"
        "Caf=E9 cr=E8me\n"
        "--XX\n"
        "Content-Type: application/octet-stream; name=\"a b.bin\"\n"
        "Content-Disposition: attachment; filename=\"a b.bin\"\n"
        "Content-Transfer-Encoding: base64\n"
        "\n"
        "AAECAw==\n"
        "--XX\n"
        "Content-Type: image/png\n"
        "Content-Disposition: attachment; filename=\"../../etc/x.png\"\n"
        "\n"
        "png\n"
        "--XX--\n");
    EXPECT_EQ(m.originator.name, "Ren\xE9");
    EXPECT_EQ(m.subject,
              "Gr\xFC\xDF"
              "e");
    EXPECT_EQ(m.noteText, "Caf\xE9 cr\xE8me");
    ASSERT_EQ(m.attachments.size(), 2u);
    EXPECT_EQ(m.attachments[0].fileName, "a b.bin");
    EXPECT_EQ(m.attachments[0].diskName, "a_b.bin");
    EXPECT_EQ(m.attachments[0].data, std::string("\x00\x01\x02\x03", 4));
    // A file name cannot lead the temporary file out of its folder.
    EXPECT_EQ(m.attachments[1].diskName.find('/'), std::string::npos);
    EXPECT_NE(m.attachments[1].diskName.rfind("etc_x.png"), std::string::npos);
}

TEST(MimeReader, AlternativePrefersPlainAndHtmlOnlyGetsReadableText) {
    IncomingMessage alt = Parse(
        "Subject: a\nContent-Type: multipart/alternative; boundary=B\n\n"
        "--B\nContent-Type: text/plain\n\nplain text\n"
        "--B\nContent-Type: text/html\n\n<p>html</p>\n--B--\n");
    EXPECT_EQ(alt.noteText, "plain text");
    EXPECT_TRUE(alt.attachments.empty());

    IncomingMessage html = Parse(
        "Subject: a\nContent-Type: text/html; charset=utf-8\n\n"
        "<html><head><style>p{}</style><script>x()</script></head><body>"
        "<p>Hello&nbsp;<b>World</b> &amp; you</p><ul><li>one</li><li>two</li></ul>"
        "<a href=\"http://e.org/\">link</a>&#233;</body></html>\n");
    EXPECT_EQ(html.noteText, "Hello World & you\r\n\r\n* one\r\n* two\r\nlink <http://e.org/>\xE9");
}

TEST(MimeReader, JapaneseTextConvertedOrKeptInItsOwnEncoding) {
    // "日本" in ISO-2022-JP, subject as an encoded word, body 7-bit.
    std::string jis = "\x1b$BF|K\\\x1b(B";
    std::string msg =
        "Subject: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=\n"
        "Content-Type: text/plain; charset=ISO-2022-JP\n\n" +
        jis + "\n";
    IncomingMessage sjis = Parse(msg, 932);
    EXPECT_EQ(sjis.subject, "\x93\xfa\x96\x7b");
    EXPECT_EQ(sjis.noteText, "\x93\xfa\x96\x7b\r\n");
    // Native text keeps an ISO-2022-JP body; its headers, which the desktop's converter
    // never reads as ISO-2022-JP, come in Shift_JIS.
    IncomingMessage native = Parse(msg, 932, true);
    EXPECT_EQ(native.subject, "\x93\xfa\x96\x7b");
    EXPECT_EQ(native.noteText, jis + "\r\n");
    // The option has no effect on other code pages: text is converted ('?' for what the
    // page lacks).
    IncomingMessage latin = Parse(msg, 1252, true);
    EXPECT_EQ(latin.noteText, "??\r\n");
}

TEST(MimeReader, NativeTextOnlyInEncodingsTheDesktopConverterRecognises) {
    // EUC-JP "日本" from "山田": handed over as Shift_JIS, headers too.
    IncomingMessage euc = Parse(
        "From: =?EUC-JP?B?u7PFxA==?= <yamada@example.jp>\n"
        "Subject: =?EUC-JP?B?xvzL3A==?=\n"
        "Content-Type: text/plain; charset=EUC-JP\nContent-Transfer-Encoding: 8bit\n\n"
        "\xC6\xFC\xCB\xDC\n",
        932, true);
    EXPECT_EQ(euc.noteText, "\x93\xfa\x96\x7b\r\n");
    EXPECT_EQ(euc.subject, "\x93\xfa\x96\x7b");
    EXPECT_EQ(euc.originator.name, "\x8e\x52\x93\x63");

    // UTF-8 "こんにちは。" that cannot pass for Shift_JIS: body and headers stay UTF-8
    // ("日本語" cannot pass either).
    const std::string hello =
        "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF\xE3\x80\x82";
    const std::string nihongo = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
    std::string utf8Message =
        "Subject: =?UTF-8?B?5pel5pys6Kqe?=\n"
        "Content-Type: text/plain; charset=UTF-8\n\n" +
        hello + "\n";
    IncomingMessage utf8 = Parse(utf8Message, 932, true);
    EXPECT_EQ(utf8.noteText, hello + "\r\n");
    EXPECT_EQ(utf8.subject, nihongo);
    // ... but a subject that could pass for Shift_JIS ("日本") would be left raw by the
    // converter: all headers come in Shift_JIS then.
    IncomingMessage shortSubject = Parse(
        "Subject: =?UTF-8?B?5pel5pys?=\nContent-Type: text/plain; charset=UTF-8\n\n" + hello + "\n",
        932, true);
    EXPECT_EQ(shortSubject.noteText, hello + "\r\n");
    EXPECT_EQ(shortSubject.subject, "\x93\xfa\x96\x7b");
    // A UTF-8 body that could pass for Shift_JIS ("日本", no line end) is converted here.
    IncomingMessage lookAlike = Parse(
        "Subject: =?UTF-8?B?5pel5pys6Kqe?=\nContent-Type: text/plain; charset=UTF-8\n\n"
        "\xE6\x97\xA5\xE6\x9C\xAC",
        932, true);
    EXPECT_EQ(lookAlike.noteText, "\x93\xfa\x96\x7b");
    EXPECT_EQ(lookAlike.subject, "\x93\xfa\x96\x7b\x8c\xea");
    // Parts in different encodings are converted here too.
    IncomingMessage mixed = Parse(
        "Subject: x\nContent-Type: multipart/mixed; boundary=B\n\n"
        "--B\nContent-Type: text/plain; charset=ISO-2022-JP\n\n\x1b$BF|K\\\x1b(B\n"
        "--B\nContent-Type: text/plain; charset=UTF-8\n\n" +
            hello + "\n--B--\n",
        932, true);
    EXPECT_EQ(mixed.noteText,
              "\x93\xfa\x96\x7b\r\n\r\n\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\x81\x42");
}

TEST(MimeReader, MultipartWithoutUsableBoundaryIsReadAsOneText) {
    // No boundary parameter, one cut short at its quote, one the body never uses: the body
    // is one text.
    for (const char* contentType :
         {"multipart/mixed", "multipart/mixed; boundary=\"abc", "multipart/mixed; boundary=XYZ"}) {
        IncomingMessage m = Parse(std::string("Subject: s\nContent-Type: ") + contentType +
                                  "\n\n--abc\nContent-Type: text/plain\n\nthe text\n--abc--\n");
        EXPECT_NE(m.noteText.find("the text"), std::string::npos) << contentType;
        EXPECT_TRUE(m.attachments.empty()) << contentType;
    }
    IncomingMessage latin =
        Parse("Subject: s\nContent-Type: multipart/alternative; charset=iso-8859-1\n\nCaf\xE9\n");
    EXPECT_EQ(latin.noteText, "Caf\xE9\r\n");
    // Inside a multipart with a good boundary, beside another part.
    IncomingMessage nested = Parse(
        "Subject: s\nContent-Type: multipart/mixed; boundary=OUT\n\n"
        "--OUT\nContent-Type: text/plain\n\nfirst\n"
        "--OUT\nContent-Type: multipart/alternative; boundary=IN\n\ninner text\n--OUT--\n");
    EXPECT_EQ(nested.noteText, "first\r\n\r\ninner text");
}

TEST(MimeReader, HeaderBlockWithoutEmptyLineKeepsTheTextAfterIt) {
    IncomingMessage top = Parse("From: a@b.c\nSubject: s\nDear Bob: hi there\nmore\n");
    EXPECT_EQ(top.subject, "s");
    EXPECT_EQ(top.originator.address, "a@b.c");
    EXPECT_EQ(top.noteText, "Dear Bob: hi there\r\nmore\r\n");
    IncomingMessage crlf = Parse("Subject: s\r\nBody text\r\n");
    EXPECT_EQ(crlf.noteText, "Body text\r\n");
    // A part's headers likewise; "second: line" is text of the part.
    IncomingMessage part = Parse(
        "Subject: mp\nContent-Type: multipart/mixed; boundary=B\n\n"
        "--B\nContent-Type: text/plain\nfirst line of part\nsecond: line\n"
        "--B\nContent-Type: text/plain\n\nsecond part\n--B--\n");
    EXPECT_EQ(part.noteText, "first line of part\r\nsecond: line\r\n\r\nsecond part");
    // An mbox "From " line at the top is no body.
    IncomingMessage mbox = Parse("From a@b.c Mon Dec  7 10:00:00 2026\nSubject: s\n\nbody\n");
    EXPECT_EQ(mbox.subject, "s");
    EXPECT_EQ(mbox.noteText, "body\r\n");
}

TEST(MimeReader, UnreadableContentTypeIsPlainText) {
    IncomingMessage text = Parse("Subject: s\nContent-Type: text\n\nbody of text\n");
    EXPECT_EQ(text.noteText, "body of text\r\n");
    EXPECT_TRUE(text.attachments.empty());
    IncomingMessage charset =
        Parse("Subject: s\nContent-Type: text; charset=utf-8\n\nCaf\xC3\xA9\n");
    EXPECT_EQ(charset.noteText, "Caf\xE9\r\n");
    IncomingMessage parts = Parse(
        "Subject: s\nContent-Type: multipart/mixed; boundary=B\n\n"
        "--B\nContent-Type: @@garbage\n\none\n--B\nContent-Type: /plain\n\ntwo\n"
        "--B\nContent-Type: text/\n\nthree\n--B\nContent-Type: application/octet-stream\n\n"
        "data\n--B--\n");
    EXPECT_EQ(parts.noteText, "one\r\n\r\ntwo\r\n\r\nthree");
    ASSERT_EQ(parts.attachments.size(), 1u);
    EXPECT_EQ(parts.attachments[0].data, "data");
}

TEST(MimeReader, InlineHtmlOutsideAlternativeIsListedUnlessItIsTheText) {
    IncomingMessage mixed = Parse(
        "Subject: s\nContent-Type: multipart/mixed; boundary=B\n\n"
        "--B\nContent-Type: text/plain\n\nplain\n"
        "--B\nContent-Type: text/html\n\n<p>html</p>\n--B--\n");
    EXPECT_EQ(mixed.noteText, "plain");
    ASSERT_EQ(mixed.attachments.size(), 1u);
    EXPECT_EQ(mixed.attachments[0].data, "<p>html</p>");
    EXPECT_EQ(mixed.attachments[0].diskName, "attachment1.html");
    // The HTML of an alternative beside it is not.
    IncomingMessage both = Parse(
        "Subject: s\nContent-Type: multipart/mixed; boundary=B\n\n"
        "--B\nContent-Type: multipart/alternative; boundary=A\n\n"
        "--A\nContent-Type: text/plain\n\nplain\n--A\nContent-Type: text/html\n\n<p>alt</p>\n"
        "--A--\n--B\nContent-Type: text/html\n\n<p>extra</p>\n--B--\n");
    EXPECT_EQ(both.noteText, "plain");
    ASSERT_EQ(both.attachments.size(), 1u);
    EXPECT_EQ(both.attachments[0].data, "<p>extra</p>");
    // Without plain text the first HTML part is the text, the second an attachment.
    IncomingMessage html = Parse(
        "Subject: s\nContent-Type: multipart/mixed; boundary=B\n\n"
        "--B\nContent-Type: text/html\n\n<p>one</p>\n"
        "--B\nContent-Type: text/html\n\n<p>two</p>\n--B--\n");
    EXPECT_EQ(html.noteText, "one");
    ASSERT_EQ(html.attachments.size(), 1u);
    EXPECT_EQ(html.attachments[0].data, "<p>two</p>");
}

TEST(MimeReader, OriginatorWithEmptyAddressKeepsItsName) {
    for (const char* from :
         {"MAILER DAEMON <>", "\"MAILER DAEMON\" <>", "=?UTF-8?Q?MAILER_DAEMON?= <>"}) {
        IncomingMessage m = Parse(std::string("From: ") + from + "\nSubject: s\n\nbounce\n");
        ASSERT_TRUE(m.hasOriginator) << from;
        EXPECT_EQ(m.originator.name, "MAILER DAEMON") << from;
        EXPECT_EQ(m.originator.address, "") << from;
    }
    EXPECT_FALSE(Parse("From: <>\nSubject: s\n\nx\n").hasOriginator);
}

TEST(MimeReader, DamagedInputStillGivesWhatCouldBeRead) {
    IncomingMessage noHeaders = Parse("just some text without headers\n");
    EXPECT_FALSE(noHeaders.noteText.empty());

    IncomingMessage truncated = Parse(
        "Subject: cut\nFrom: a@b.c\nContent-Type: multipart/mixed; boundary=Q\n\n"
        "--Q\nContent-Type: text/plain\nContent-Transfer-Encoding: base64\n\nSGVsbG8gd29y");
    EXPECT_EQ(truncated.subject, "cut");
    EXPECT_EQ(truncated.originator.address, "a@b.c");

    IncomingMessage binary = Parse(std::string("Subject: \x01\x02\x80\xff\n\n\0\0abc", 19));
    EXPECT_EQ(binary.subject.find('\x01'), std::string::npos);
}

TEST(MapiBuffer, MessageIsOneRegisteredBlock) {
    IncomingMessage m = Parse("From: a@b.c\nTo: d@e.f\nSubject: s\n\nbody\n");
    m.attachments.push_back(AttachmentData{"f.txt", "f.txt", "data"});
    size_t before = LiveMapiBuffers();
    MapiMessage* msg = BuildMapiMessage(m, {"/tmp/x-f.txt"});
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(LiveMapiBuffers(), before + 1);
    EXPECT_STREQ(msg->lpszSubject, "s");
    EXPECT_STREQ(msg->lpOriginator->lpszAddress, "a@b.c");
    ASSERT_EQ(msg->nRecipCount, 1u);
    EXPECT_STREQ(msg->lpRecips[0].lpszAddress, "d@e.f");
    ASSERT_EQ(msg->nFileCount, 1u);
    EXPECT_STREQ(msg->lpFiles[0].lpszPathName, "/tmp/x-f.txt");
    EXPECT_STREQ(msg->lpFiles[0].lpszFileName, "f.txt");
    EXPECT_TRUE(FreeMapiBuffer(msg));
    EXPECT_FALSE(FreeMapiBuffer(msg));  // a second release is refused, not a double free
    int local = 0;
    EXPECT_FALSE(FreeMapiBuffer(&local));
    EXPECT_EQ(LiveMapiBuffers(), before);
}

TEST(AddressBook, ResolvesExactThenUniqueSubstring) {
    CAddressBook book;
    book.Parse(
        "# team\n"
        "Ann Smith <ann@example.org>\n"
        "\"Smith, Bob\" <bob@example.org>\n"
        "carl@example.org\n"
        "Ann Smithers <anns@example.org>\n"
        "broken line\n",
        1252);
    EXPECT_EQ(book.Size(), 4u);
    AddressEntry e;
    ASSERT_EQ(book.Resolve("ann smith", &e), SUCCESS_SUCCESS);  // exact beats substring
    EXPECT_EQ(e.address, "ann@example.org");
    ASSERT_EQ(book.Resolve("BOB@example.org", &e), SUCCESS_SUCCESS);
    EXPECT_EQ(e.name, "Smith, Bob");
    ASSERT_EQ(book.Resolve("carl", &e), SUCCESS_SUCCESS);
    EXPECT_EQ(e.address, "carl@example.org");
    EXPECT_EQ(book.Resolve("smith", &e), MAPI_E_AMBIGUOUS_RECIPIENT);
    EXPECT_EQ(book.Resolve("zed", &e), MAPI_E_UNKNOWN_RECIPIENT);
    EXPECT_EQ(book.Resolve("  ", &e), MAPI_E_UNKNOWN_RECIPIENT);
}

TEST(MimeWriter, BuildsEncodedMailWithBccOnlyInTheEnvelope) {
    MapiProfile profile;
    profile.address = "me@example.org";
    profile.displayName = "M\xE9";
    CAddressBook book;
    book.Parse("Zoe Zed <zoe@example.org>\n", 1252);
    MapiRecipDesc recips[4] = {};
    recips[0].ulRecipClass = MAPI_TO;
    recips[0].lpszName = const_cast<char*>("Ann");
    recips[0].lpszAddress = const_cast<char*>("SMTP:ann@example.org");
    recips[1].ulRecipClass = MAPI_CC;
    recips[1].lpszName = const_cast<char*>("Zoe");
    recips[2].ulRecipClass = MAPI_BCC;
    recips[2].lpszAddress = const_cast<char*>("hidden@example.org");
    recips[3].ulRecipClass = MAPI_ORIG;
    recips[3].lpszAddress = const_cast<char*>("ignored@example.org");
    MapiMessage msg = {};
    msg.lpszSubject = const_cast<char*>("Caf\xE9");
    msg.lpszNoteText = const_cast<char*>(
        "Gr\xFC\xDF"
        "e\r\nzweite Zeile\r\n");
    msg.flFlags = MAPI_RECEIPT_REQUESTED;
    msg.nRecipCount = 4;
    msg.lpRecips = recips;
    OutgoingMail mail;
    ASSERT_EQ(BuildOutgoingMail(msg, profile, book, 1252, &mail), SUCCESS_SUCCESS);
    EXPECT_EQ(mail.from, "me@example.org");
    EXPECT_EQ(mail.recipients, (std::vector<std::string>{"ann@example.org", "zoe@example.org",
                                                         "hidden@example.org"}));
    EXPECT_NE(mail.stored.find("Bcc: hidden@example.org"), std::string::npos);
    EXPECT_EQ(mail.wire.find("hidden@example.org"), std::string::npos);
    EXPECT_NE(mail.wire.find("\r\n"), std::string::npos);
    EXPECT_NE(mail.stored.find("Subject: =?"), std::string::npos);
    EXPECT_NE(mail.stored.find("Disposition-Notification-To: me@example.org"), std::string::npos);

    // Reading the stored copy back gives the same text.
    IncomingMessage back = Parse(mail.stored);
    EXPECT_EQ(back.subject, "Caf\xE9");
    EXPECT_EQ(back.noteText,
              "Gr\xFC\xDF"
              "e\r\nzweite Zeile\r\n");
    EXPECT_EQ(back.originator.name, "M\xE9");
    EXPECT_TRUE(back.receiptRequested);

    // Failures: unknown name, bad class, no recipients, no own address.
    recips[1].lpszName = const_cast<char*>("Nobody");
    EXPECT_EQ(BuildOutgoingMail(msg, profile, book, 1252, &mail), MAPI_E_UNKNOWN_RECIPIENT);
    recips[1].lpszName = const_cast<char*>("Zoe");
    recips[0].ulRecipClass = 9;
    EXPECT_EQ(BuildOutgoingMail(msg, profile, book, 1252, &mail), MAPI_E_BAD_RECIPTYPE);
    msg.nRecipCount = 0;
    EXPECT_EQ(BuildOutgoingMail(msg, profile, book, 1252, &mail), MAPI_E_INVALID_RECIPS);
    profile.address.clear();
    EXPECT_EQ(BuildOutgoingMail(msg, profile, book, 1252, &mail), MAPI_E_FAILURE);
}

TEST(TextCodec, LineEndsAndCodePages) {
    EXPECT_EQ(ToCrLf("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(ToLf("a\r\nb\rc\n"), "a\nb\nc\n");
    EXPECT_EQ(Utf8ToCodePage("\xE2\x82\xAC \xE6\x97\xA5", 1252), "\x80 ?");
    EXPECT_EQ(Utf8ToCodePage("\xE6\x97\xA5", 932), "\x93\xfa");
    EXPECT_EQ(ToUtf8("\xE9", "unknown-charset"), "\xC3\xA9");
}

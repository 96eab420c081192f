// Inbox walks, categories, reading and sending of the VIM library's store.
#include "providers/vim/vim_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_util.h"
#include "providers/vim/vim.h"

namespace vim {
namespace {

namespace fs = std::filesystem;

size_t FilesIn(const std::string& folder) {
    size_t count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vimstXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        m_po = m_root + "/po";
        PostOfficeConfig config;
        config.domain = "po.example";
        ASSERT_EQ(CPostOffice::Create(m_po, config), 0);
        CPostOffice office;
        ASSERT_EQ(office.Open(m_po), 0);
        ASSERT_EQ(office.AddUser("ann", "Ann Lee", "a"), 0);
        ASSERT_EQ(office.AddUser("bob", "Bob Brown", "b"), 0);
        ASSERT_EQ(office.AddBookEntry("People", "Bobby", "bob"), 0);
        m_inbox = m_po + "/accounts/ann";
    }
    void TearDown() override { fs::remove_all(m_root); }

    void Deliver(const std::string& name, const std::string& subject) {
        std::ofstream(m_inbox + "/new/" + name)
            << "From: Carl <carl@example.org>\nTo: ann@po.example\nSubject: " << subject
            << "\n\nBody of " << subject << "\n";
    }

    std::string m_root;
    std::string m_po;
    std::string m_inbox;
};

TEST_F(StoreTest, WalksInBatchesInDeliveryOrderWhileMailArrives) {
    for (int i = 0; i < 23; ++i) {
        Deliver(std::to_string(1700000000 + i * 10) + ".m" + std::to_string(i) + ".host",
                "S" + std::to_string(i));
    }
    CMailbox box(m_inbox);
    VIMPOS position{};
    std::vector<CMailbox::Listed> batch;
    bool more = false;
    std::vector<uint32_t> times;
    ASSERT_EQ(box.Enumerate(&position, 10, &batch, &more), 0);
    EXPECT_EQ(batch.size(), 10u);
    EXPECT_TRUE(more);
    for (const auto& listed : batch)
        times.push_back(listed.ref.key1);
    // Mail arriving between batches: later in the order it is walked, earlier it is not.
    Deliver("1700000005.early.host", "Early");
    Deliver("1800000000.late.host", "Late");
    ASSERT_EQ(box.Enumerate(&position, 10, &batch, &more), 0);
    EXPECT_EQ(batch.size(), 10u);
    EXPECT_TRUE(more);
    for (const auto& listed : batch)
        times.push_back(listed.ref.key1);
    ASSERT_EQ(box.Enumerate(&position, 10, &batch, &more), 0);
    EXPECT_EQ(batch.size(), 4u);
    EXPECT_FALSE(more);
    for (const auto& listed : batch)
        times.push_back(listed.ref.key1);
    ASSERT_EQ(times.size(), 24u);
    for (size_t i = 0; i < 23; ++i) {
        EXPECT_EQ(times[i], 1700000000u + i * 10);
    }
    EXPECT_EQ(times[23], 1800000000u);
    EXPECT_TRUE(batch[0].unread);

    // References stay valid in a new session (a new mailbox object).
    CMailbox later(m_inbox);
    std::string id, path;
    bool seen = true;
    int64_t delivery = 0;
    ASSERT_EQ(later.Locate(batch[0].ref, &id, &path, &seen, &delivery), 0);
    EXPECT_FALSE(seen);
    EXPECT_EQ(delivery, 1700000200);
    ASSERT_EQ(later.MarkRead(batch[0].ref), 0);
    ASSERT_EQ(later.Locate(batch[0].ref, &id, &path, &seen, &delivery), 0);
    EXPECT_TRUE(seen);
    EXPECT_EQ(later.Locate(VIMREF{1, 2}, &id, &path, &seen, &delivery), VIMSTS_NO_SUCH_MESSAGE);
    VIMPOS bogus{1, 2};
    EXPECT_EQ(later.Enumerate(&bogus, 10, &batch, &more), VIMSTS_BAD_PARAM);
}

TEST_F(StoreTest, TrashMovesTheMessageAndOtherCategoriesAreKept) {
    Deliver("1700000000.a.host", "A");
    Deliver("1700000010.b.host", "B");
    CMailbox box(m_inbox);
    VIMPOS position{};
    std::vector<CMailbox::Listed> batch;
    bool more = false;
    ASSERT_EQ(box.Enumerate(&position, 10, &batch, &more), 0);
    ASSERT_EQ(batch.size(), 2u);
    ASSERT_EQ(box.SetCategory(batch[0].ref, "trash"), 0);
    EXPECT_EQ(FilesIn(m_inbox + "/new") + FilesIn(m_inbox + "/cur"), 1u);
    EXPECT_EQ(FilesIn(m_inbox + "/.Trash/cur"), 1u);
    EXPECT_TRUE(fs::exists(m_inbox + "/.Trash/cur/1700000000.a.host:2,"));
    ASSERT_EQ(box.SetCategory(batch[1].ref, "Work"), 0);
    EXPECT_EQ(box.CategoryOf("1700000010.b.host"), "Work");
    ASSERT_EQ(box.SetCategory(batch[1].ref, "Home"), 0);
    EXPECT_EQ(box.CategoryOf("1700000010.b.host"), "Home");
    EXPECT_EQ(box.SetCategory(batch[1].ref, ""), VIMSTS_BAD_PARAM);
    EXPECT_EQ(box.SetCategory(batch[0].ref, "Work"), VIMSTS_NO_SUCH_MESSAGE);
}

TEST(Incoming, HeaderItemsAndRecipientsOfAMessage) {
    const std::string mail =
        "From: Carl Cole <carl@example.org>\nTo: Ann <ann@po.example>, bob@po.example\n"
        "Cc: dee@example.org\nSubject: Report\nDate: Mon, 07 Dec 2026 15:00:00 +0000\n"
        "X-Priority: 1\nDisposition-Notification-To: carl@example.org\nMIME-Version: 1.0\n"
        "Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: text/plain\n\n"
        "Line one\nLine two\n--B\nContent-Type: text/plain; name=rfc822.txt\n"
        "Content-Disposition: attachment; filename=rfc822.txt\n\nheaders\n--B\n"
        "Content-Type: application/pdf\nContent-Disposition: attachment; filename=r.pdf\n\n"
        "PDF\n--B--\n";
    CIncoming message;
    message.Load(mail, 1252, 0);
    VIMADDRESS from{};
    char subject[256];
    uint32_t date[3] = {};
    uint16_t priority = 9;
    uint16_t receipt = 9;
    VIMATTRDESC header[] = {{VIM_ITEM_ORIGINATOR, sizeof from, &from},
                            {VIM_ITEM_SUBJECT, sizeof subject, subject},
                            {VIM_ITEM_DATE, sizeof date, date},
                            {VIM_ITEM_PRIORITY, 2, &priority},
                            {VIM_ITEM_READ_CONFIRM, 2, &receipt}};
    ASSERT_EQ(message.GetHeader(5, header), 0);
    EXPECT_STREQ(from.displayName, "Carl Cole");
    EXPECT_STREQ(from.address, "carl@example.org");
    EXPECT_EQ(from.recordType, 101u);
    EXPECT_EQ(from.addressBlock, 55u);
    EXPECT_STREQ(subject, "Report");
    // 15:00 UTC is 10:00 in New York.
    EXPECT_EQ(date[1], (2026u << 16) | (12u << 8) | 7u);
    EXPECT_EQ(date[2], 10u << 24);
    EXPECT_EQ(priority, 2);
    EXPECT_EQ(receipt, 1);
    uint32_t unknown = 0;
    VIMATTRDESC odd{999, 4, &unknown};
    EXPECT_EQ(message.GetHeader(1, &odd), VIMSTS_UNSUPPORTED);
    char tiny[4];
    VIMATTRDESC cut{VIM_ITEM_SUBJECT, sizeof tiny, tiny};
    ASSERT_EQ(message.GetHeader(1, &cut), 0);
    EXPECT_STREQ(tiny, "Rep");

    VIMPOS position{};
    std::vector<VIMITEMDESC> items;
    for (;;) {
        VIMITEMDESC item{};
        uint16_t count = 1;
        uint16_t more = 0;
        ASSERT_EQ(message.EnumerateItems(&position, &count, &item, &more), 0);
        if (count == 0)
            break;
        items.push_back(item);
        if (more == 0)
            break;
    }
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].itemClass, uint32_t{VIM_CLASS_TEXT});
    EXPECT_EQ(items[1].itemClass, uint32_t{VIM_CLASS_FILE});
    EXPECT_STREQ(items[1].name, "rfc822.txt");
    EXPECT_STREQ(items[2].name, "r.pdf");
    std::string text;
    ASSERT_EQ(message.ItemContents(items[0].ref, &text), 0);
    EXPECT_EQ(text, "Line one\r\nLine two");
    ASSERT_EQ(message.ItemContents(items[2].ref, &text), 0);
    EXPECT_EQ(text, "PDF");
    EXPECT_EQ(message.ItemContents(VIMREF{9, 0}, &text), VIMSTS_NO_SUCH_ITEM);

    auto recipients = [&](uint32_t cls) {
        std::vector<std::string> found;
        VIMPOS at{};
        for (;;) {
            VIMADDRESS record{};
            VIMATTRDESC desc{VIM_ATTR_RECIPIENT, sizeof record, &record};
            uint16_t count = 1;
            uint16_t more = 0;
            if (message.EnumerateRecipients(cls, &at, 1, &desc, &count, &more) != 0 || count == 0)
                break;
            found.push_back(std::string(record.displayName) + "|" + record.address);
            if (more == 0)
                break;
        }
        return found;
    };
    EXPECT_EQ(recipients(VIM_CLASS_TO),
              (std::vector<std::string>{"Ann|ann@po.example", "|bob@po.example"}));
    EXPECT_EQ(recipients(VIM_CLASS_CC), (std::vector<std::string>{"|dee@example.org"}));
    EXPECT_TRUE(recipients(VIM_CLASS_BCC).empty());
}

TEST(Incoming, DamagedMessagesStillAnswer) {
    for (const std::string& bytes : {std::string(), std::string("\0\0\0", 3),
                                     std::string("Subject: x\n"), std::string("no header")}) {
        CIncoming message;
        message.Load(bytes, 1252, 0);
        uint32_t date[3] = {};
        char subject[256];
        VIMATTRDESC header[] = {{VIM_ITEM_DATE, sizeof date, date},
                                {VIM_ITEM_SUBJECT, sizeof subject, subject}};
        EXPECT_EQ(message.GetHeader(2, header), 0);
        EXPECT_EQ(date[1], VIM_DATE_NONE);
    }
}

VIMADDRESS Address(const char* display, const char* address, const char* book = "") {
    VIMADDRESS record{};
    record.recordType = VIM_RECORD_ADDRESS;
    record.entityBlock = VIM_BLOCK_START;
    record.addressBlock = VIM_BLOCK_START;
    std::strcpy(record.bookName, book);
    std::strcpy(record.displayName, display);
    std::strcpy(record.address, address);
    return record;
}

TEST_F(StoreTest, SendsToAccountsAndThroughTheGateway) {
    CSession session;
    EXPECT_EQ(session.Open(m_po, "ann", "wrong", VIM_CHARSET_ANSI), VIMSTS_BAD_PASSWORD);
    EXPECT_EQ(session.Open(m_po, "nobody", "a", VIM_CHARSET_ANSI), VIMSTS_UNKNOWN_USER);
    EXPECT_EQ(session.Open(m_root + "/none", "ann", "a", VIM_CHARSET_ANSI), VIMSTS_NO_POST_OFFICE);
    ASSERT_EQ(session.Open(m_po, "ann", "a", VIM_CHARSET_ANSI), 0);

    COutgoing message;
    const char subject[] = "Hello";
    ASSERT_EQ(message.SetHeader(VIM_ITEM_SUBJECT, sizeof subject, subject), 0);
    const uint16_t high = 2;
    ASSERT_EQ(message.SetHeader(VIM_ITEM_PRIORITY, 2, &high), 0);
    ASSERT_EQ(message.SetRecipient(VIM_CLASS_TO, Address("Bob", "bob")), 0);
    ASSERT_EQ(message.SetRecipient(VIM_CLASS_CC, Address("", "dee@example.org at Internet-Mail")),
              0);
    const char body[] = "Body text\r\n";
    VIMDATA data{sizeof body - 1, body};
    ASSERT_EQ(message.SetItem(VIM_CLASS_TEXT, "VIM_UNWRAPPED_TEXT", nullptr, nullptr, &data), 0);
    ASSERT_EQ(session.Send(message), 0);

    const std::string bobNew = m_po + "/accounts/bob/new";
    ASSERT_EQ(FilesIn(bobNew), 1u);
    EXPECT_EQ(FilesIn(m_po + "/accounts/bob/tmp"), 0u);
    EXPECT_EQ(FilesIn(m_po + "/gateway/new"), 1u);
    std::string stored;
    ASSERT_EQ(platform::ReadWholeFile(fs::directory_iterator(bobNew)->path().string(), &stored), 0);
    EXPECT_NE(stored.find("From: Ann Lee <ann@po.example>"), std::string::npos) << stored;
    EXPECT_NE(stored.find("bob@po.example"), std::string::npos);
    EXPECT_NE(stored.find("Cc: dee@example.org"), std::string::npos);
    EXPECT_NE(stored.find("X-Priority: 1"), std::string::npos);
    EXPECT_NE(stored.find("Body text"), std::string::npos);

    // An address-book entry by its name; an unknown recipient stops the whole send.
    COutgoing second;
    ASSERT_EQ(second.SetRecipient(VIM_CLASS_TO, Address("Bobby", "", "People")), 0);
    ASSERT_EQ(session.Send(second), 0);
    EXPECT_EQ(FilesIn(bobNew), 2u);
    ASSERT_EQ(second.SetRecipient(VIM_CLASS_TO, Address("", "zed")), 0);
    EXPECT_EQ(session.Send(second), VIMSTS_UNKNOWN_RECIPIENT);
    COutgoing other;
    ASSERT_EQ(other.SetRecipient(VIM_CLASS_TO, Address("", "x@example.org at Elsewhere")), 0);
    EXPECT_EQ(session.Send(other), VIMSTS_UNKNOWN_RECIPIENT);
    COutgoing bare;
    ASSERT_EQ(bare.SetRecipient(VIM_CLASS_TO, Address("", "x@example.org")), 0);
    EXPECT_EQ(session.Send(bare), VIMSTS_UNKNOWN_RECIPIENT);
    EXPECT_EQ(session.Send(COutgoing{}), VIMSTS_NO_RECIPIENTS);
    EXPECT_EQ(FilesIn(bobNew), 2u);
    EXPECT_EQ(FilesIn(m_po + "/accounts/bob/tmp"), 0u);
    EXPECT_EQ(FilesIn(m_po + "/gateway/new"), 1u);
}

TEST_F(StoreTest, AFailedGatewayLeavesNoMessageInAnyInbox) {
    // The gateway drop is a file, so the gateway cannot take the message.
    std::ofstream(m_root + "/blocked") << "x";
    std::ofstream(m_po + "/postoffice.ini", std::ios::app)
        << "GatewayDrop=" << m_root << "/blocked\n";
    CSession session;
    ASSERT_EQ(session.Open(m_po, "ann", "a", VIM_CHARSET_ANSI), 0);
    COutgoing message;
    ASSERT_EQ(message.SetRecipient(VIM_CLASS_TO, Address("", "bob")), 0);
    ASSERT_EQ(message.SetRecipient(VIM_CLASS_TO, Address("", "d@example.org at internet-mail")), 0);
    EXPECT_EQ(session.Send(message), VIMSTS_SEND_FAILED);
    EXPECT_EQ(FilesIn(m_po + "/accounts/bob/new"), 0u);
    EXPECT_EQ(FilesIn(m_po + "/accounts/bob/tmp"), 0u);
}

}  // namespace
}  // namespace vim

// The message state: file bytes, damaged files, lookups and their indexes.
#include "conduit/core/message_mgr.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <set>
#include <vector>

#include "conduit/core/codes.h"
#include "conduit/core/fake_host_test_util.h"
#include "platform/file_util.h"

namespace torrim {
namespace {

class MessageMgrTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/conduit_state_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_path = m_dir + "/mail.dat";
    }
    void TearDown() override {
        (void)platform::RemoveFile(m_path);
        rmdir(m_dir.c_str());
    }
    std::string ReadFile() {
        std::string data;
        EXPECT_EQ(platform::ReadWholeFile(m_path, &data), 0);
        return data;
    }

    std::string m_dir;
    std::string m_path;
};

std::unique_ptr<CMessage> MakeMessage(uint32_t recordId, std::string subject, uint32_t date = 0) {
    auto message = std::make_unique<CMessage>();
    message->SetRecordId(recordId);
    message->SetSubject(std::move(subject));
    message->m_date = date;
    return message;
}

TEST(MessageTest, TextsAreKeptApartAndMaySetFromTheirOwnViews) {
    CMessage message;
    EXPECT_TRUE(message.Body().empty());
    message.SetBody("body");
    message.SetFromName("Ann");
    message.SetFromAddress(std::string(70000, 'a'));  // past 16-bit offsets
    message.SetSubject("Lunch");
    message.SetConversationId("c1");
    message.SetDesktopId("id");
    // A text set from another text of the same message, then shortened from itself.
    message.SetFromName(message.Subject());
    message.SetBody(message.Body().substr(1));
    EXPECT_EQ(message.FromName(), "Lunch");
    EXPECT_EQ(message.Body(), "ody");
    EXPECT_EQ(message.FromAddress(), std::string(70000, 'a'));
    EXPECT_EQ(message.Subject(), "Lunch");
    EXPECT_EQ(message.ConversationId(), "c1");
    EXPECT_EQ(message.DesktopId(), "id");
    message.SetFromAddress("");
    message.SetBody(std::string("a\0b", 3));
    EXPECT_EQ(message.Body(), std::string("a\0b", 3));
    EXPECT_TRUE(message.FromAddress().empty());
    // Both sides of the change from short to long offsets.
    for (size_t total : {65533u, 65534u, 65535u, 65536u}) {
        CMessage edge;
        edge.SetSubject("s");
        edge.SetBody(std::string(total - 2, 'b'));
        edge.SetConversationId("c");
        EXPECT_EQ(edge.Subject(), "s") << total;
        EXPECT_EQ(edge.Body(), std::string(total - 2, 'b')) << total;
        EXPECT_EQ(edge.ConversationId(), "c") << total;
        EXPECT_TRUE(edge.FromName().empty()) << total;
    }
}

TEST(MessageTest, RecipientListsKeepOrderKindsAndTextsInAnyLookupOrder) {
    CMessage message;
    EXPECT_FALSE(message.m_pRecipients->Lookup(0));
    const int kinds[] = {RECIPIENT_TO, RECIPIENT_CC, 0, RECIPIENT_BCC, RECIPIENT_TO};
    for (int i = 0; i < 1000; ++i) {
        message.AddRecipient(kinds[i % 5], i % 3 == 0 ? "" : "Name " + std::to_string(i),
                             "a" + std::to_string(i) + "@x");
    }
    EXPECT_EQ(message.m_pRecipients->Count(), 1000u);
    EXPECT_EQ(message.m_counts[COUNT_TO], 400);
    EXPECT_EQ(message.m_counts[COUNT_CC], 200);
    EXPECT_EQ(message.m_counts[COUNT_BCC], 200);
    // Backwards and in jumps, so that no remembered position is trusted beyond its use.
    for (uint32_t key : {999u, 0u, 500u, 499u, 998u, 1u}) {
        const auto recipient = message.m_pRecipients->Lookup(key);
        ASSERT_TRUE(recipient) << key;
        EXPECT_EQ(recipient->m_kind, kinds[key % 5]) << key;
        EXPECT_EQ(recipient->m_address, "a" + std::to_string(key) + "@x");
        EXPECT_EQ(recipient->m_name, key % 3 == 0 ? "" : "Name " + std::to_string(key));
    }
    EXPECT_FALSE(message.m_pRecipients->Lookup(1000));
    uint32_t position = 0;
    std::vector<std::string> bcc;
    while (const auto recipient = message.m_pRecipients->NextOfKind(RECIPIENT_BCC, &position)) {
        bcc.emplace_back(recipient->m_address);
    }
    ASSERT_EQ(bcc.size(), 200u);
    EXPECT_EQ(bcc.front(), "a3@x");
    EXPECT_EQ(bcc.back(), "a998@x");
    EXPECT_EQ(position, 1000u);
    position = 996;
    EXPECT_EQ(message.m_pRecipients->NextOfKind(RECIPIENT_CC, &position)->m_address, "a996@x");
    EXPECT_EQ(position, 997u);
    EXPECT_FALSE(message.m_pRecipients->NextOfKind(RECIPIENT_CC, &position));
    EXPECT_EQ(position, 1000u);

    // The archive form carries them over whole.
    platform::CArchive out = platform::CArchive::ForStoring();
    message.Serialize(out);
    const std::string bytes = out.Bytes();
    CMessage back;
    platform::CArchive in = platform::CArchive::ForLoading(bytes);
    back.Serialize(in);
    ASSERT_TRUE(in.Ok());
    ASSERT_EQ(back.m_pRecipients->Count(), 1000u);
    for (uint32_t key = 0; key < 1000; ++key) {
        const auto a = message.m_pRecipients->Lookup(key);
        const auto b = back.m_pRecipients->Lookup(key);
        ASSERT_TRUE(b);
        ASSERT_EQ(a->m_kind, b->m_kind);
        ASSERT_EQ(a->m_name, b->m_name);
        ASSERT_EQ(a->m_address, b->m_address);
    }
    message.m_pRecipients->RemoveAll();
    EXPECT_EQ(message.m_pRecipients->Count(), 0u);
}

TEST_F(MessageMgrTest, EmptyStateIsFourZeroBytes) {
    ASSERT_EQ(platform::WriteFileAtomic(m_path, std::string(4, '\0')), 0);
    CMessageMgr state;
    EXPECT_EQ(state.Load(m_path), 0);
    EXPECT_EQ(state.Count(), 0u);
    EXPECT_EQ(state.Save(m_path), 0);
    EXPECT_EQ(ReadFile(), std::string(4, '\0'));
}

TEST_F(MessageMgrTest, GoldenBytesOfOneMessage) {
    CMessageMgr state;
    auto message = MakeMessage(0x01020304, std::string(300, 's'), 0xF0000000u);
    message->SetDesktopId("id");
    message->m_category = 3;
    message->SetBody("b");
    message->AddRecipient(RECIPIENT_CC, "N", "a@b");
    message->m_desktopKey1 = 9;  // not saved
    state.Append(std::move(message));
    ASSERT_EQ(state.Save(m_path), 0);

    std::string expected("\x01\x00\x00\x00", 4);     // count
    expected += std::string("\x04\x03\x02\x01", 4);  // record id
    expected += std::string("\x02id", 3);            // desktop id
    expected += std::string("\x03\0\0\0", 4);        // category
    expected += std::string(12, '\0');               // read x2, on handheld
    expected += std::string("\x00\x00\x00\xF0", 4);  // date, above 2^31
    expected += std::string("\xFF\x2C\x01", 3) + std::string(300, 's');
    expected += std::string("\x00\x00\x01", 3) + "b";    // names, address, body
    expected += std::string("\x01\0\0\0", 4);            // priority normal
    expected += std::string(16, '\0');                   // confirm x2, signature, truncated
    expected += std::string(1, '\0');                    // conversation id
    expected += std::string("\0\0\0\0\x01\0\0\0", 8);    // To, Cc counters
    expected += std::string(12, '\0');                   // Bcc and back-end counters
    expected += std::string("\x01\0\0\0\x02\0\0\0", 8);  // one recipient, Cc
    expected += std::string(
        "\x01N\x03"
        "a@b",
        6);
    EXPECT_EQ(ReadFile(), expected);

    CMessageMgr loaded;
    ASSERT_EQ(loaded.Load(m_path), 0);
    const CMessage* back = loaded.Lookup(0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->m_date, 0xF0000000u);
    EXPECT_EQ(back->Subject(), std::string(300, 's'));
    EXPECT_EQ(back->m_desktopKey1, 0);
    EXPECT_EQ(back->m_pRecipients->Lookup(0)->m_address, "a@b");
    EXPECT_EQ(loaded.Save(m_path), 0);
    EXPECT_EQ(ReadFile(), expected);
}

TEST_F(MessageMgrTest, LoadReportsMissingAndNeverKeepsEarlierState) {
    CMessageMgr state;
    state.Append(MakeMessage(5, "old"));
    EXPECT_EQ(state.Load(m_path), ERR_STATE_FILE_MISSING);
    EXPECT_EQ(state.Count(), 0u);
    EXPECT_EQ(state.FindByRecordId(5), -1);
}

TEST_F(MessageMgrTest, FileCutAtEveryOffsetFailsCleanlyWithCompleteMessagesOnly) {
    CMessageMgr state;
    for (uint32_t i = 1; i <= 3; ++i) {
        auto message = MakeMessage(i, "subject " + std::to_string(i));
        message->AddRecipient(RECIPIENT_TO, "", "x@y");
        state.Append(std::move(message));
    }
    ASSERT_EQ(state.Save(m_path), 0);
    const std::string full = ReadFile();
    for (size_t cut = 0; cut < full.size(); ++cut) {
        ASSERT_EQ(platform::WriteFileAtomic(m_path, full.substr(0, cut)), 0);
        CHostServices* noHost = nullptr;
        CMessageMgr loaded(noHost);
        EXPECT_NE(loaded.Load(m_path), 0) << "cut at " << cut;
        for (uint32_t key = 0; key < loaded.Count(); ++key) {
            const CMessage* message = loaded.Lookup(key);
            ASSERT_NE(message, nullptr);
            EXPECT_EQ(message->m_pRecipients->Count(), 1u);  // no half-read message
            EXPECT_EQ(loaded.FindByRecordId(key + 1), key);
        }
    }
}

TEST_F(MessageMgrTest, AbsurdCountsFailWithoutAllocating) {
    ASSERT_EQ(platform::WriteFileAtomic(m_path, std::string("\xFF\xFF\xFF\x7F", 4)), 0);
    CMessageMgr state;
    EXPECT_EQ(state.Load(m_path), 3);  // end of file: that many messages cannot be there
    ASSERT_EQ(platform::WriteFileAtomic(m_path, std::string("\xFF\xFF\xFF\xFF", 4)), 0);
    EXPECT_NE(state.Load(m_path), 0);
    EXPECT_EQ(state.Count(), 0u);
}

TEST_F(MessageMgrTest, FailedSaveKeepsThePreviousFile) {
    CMessageMgr state;
    state.Append(MakeMessage(1, "kept"));
    ASSERT_EQ(state.Save(m_path), 0);
    const std::string before = ReadFile();
    state.Append(MakeMessage(2, "new"));
    platform::FailNextAtomicWriteForTesting(ENOSPC);
    EXPECT_EQ(state.Save(m_path), 13);  // disk full
    EXPECT_EQ(ReadFile(), before);
}

TEST_F(MessageMgrTest, SavingTheBytesTheFileHoldsLeavesItUntouched) {
    {
        CMessageMgr state;
        state.Append(MakeMessage(1, "one"));
        state.Append(MakeMessage(2, std::string(70000, 'l')));  // longer than one buffer
        ASSERT_EQ(state.Save(m_path), 0);
    }
    auto stampOf = [this] {
        platform::FileStamp stamp;
        EXPECT_TRUE(platform::GetFileStamp(m_path, &stamp));
        return stamp;
    };
    auto onlyFile = [this] {
        return std::distance(std::filesystem::directory_iterator(m_dir),
                             std::filesystem::directory_iterator()) == 1;
    };
    const std::string original = ReadFile();
    const platform::FileStamp loadedStamp = stampOf();

    CMessageMgr state;
    ASSERT_EQ(state.Load(m_path), 0);
    ASSERT_EQ(state.Save(m_path), 0);  // nothing changed: same inode, same time
    EXPECT_EQ(stampOf(), loadedStamp);
    EXPECT_TRUE(onlyFile());

    // A change is written, under a new inode; saving it again leaves that file alone.
    state.Lookup(0)->m_readOnDesktop = 1;
    ASSERT_EQ(state.Save(m_path), 0);
    const platform::FileStamp changedStamp = stampOf();
    EXPECT_NE(changedStamp, loadedStamp);
    EXPECT_NE(ReadFile(), original);
    const std::string changed = ReadFile();
    ASSERT_EQ(state.Save(m_path), 0);
    EXPECT_EQ(stampOf(), changedStamp);

    // A file replaced behind the state's back is written again, even with the same bytes
    // the state last saw in it.
    ASSERT_EQ(platform::WriteFileAtomic(m_path, original), 0);
    state.Lookup(0)->m_readOnDesktop = 0;
    ASSERT_EQ(state.Save(m_path), 0);
    EXPECT_EQ(ReadFile(), original);
    ASSERT_EQ(platform::WriteFileAtomic(m_path, "other"), 0);
    ASSERT_EQ(state.Save(m_path), 0);
    EXPECT_EQ(ReadFile(), original);

    // A file others may read is replaced by one only its owner may read.
    ASSERT_EQ(chmod(m_path.c_str(), 0644), 0);
    ASSERT_EQ(state.Save(m_path), 0);
    uint32_t mode = 0;
    ASSERT_EQ(platform::FileMode(m_path, &mode), 0);
    EXPECT_EQ(mode, 0600u);
    EXPECT_EQ(ReadFile(), original);

    // A failed save of a change leaves the previous file and no temporary file; the next
    // save of the same state is then written, not skipped.
    state.Lookup(1)->m_readOnDesktop = 1;
    platform::FailNextAtomicWriteForTesting(ENOSPC);
    EXPECT_EQ(state.Save(m_path), 13);
    EXPECT_EQ(ReadFile(), original);
    EXPECT_TRUE(onlyFile());
    ASSERT_EQ(state.Save(m_path), 0);
    CMessageMgr again;
    ASSERT_EQ(again.Load(m_path), 0);
    EXPECT_EQ(again.Lookup(1)->m_readOnDesktop, 1);

    // A file with bytes after the state is not the state's bytes: it is rewritten.
    ASSERT_EQ(platform::WriteFileAtomic(m_path, original + "x"), 0);
    CMessageMgr trailing;
    ASSERT_EQ(trailing.Load(m_path), 0);
    ASSERT_EQ(trailing.Save(m_path), 0);
    EXPECT_EQ(ReadFile(), original);
}

TEST_F(MessageMgrTest, SaveDropsMessagesGoneFromTheDesktop) {
    CMessageMgr state;
    state.Append(MakeMessage(1, "a"));
    state.Append(MakeMessage(2, "b"));
    state.Append(MakeMessage(3, "c"));
    state.Lookup(1)->m_goneFromDesktop = 1;
    ASSERT_EQ(state.Save(m_path), 0);
    CMessageMgr loaded;
    ASSERT_EQ(loaded.Load(m_path), 0);
    ASSERT_EQ(loaded.Count(), 2u);
    EXPECT_EQ(loaded.Lookup(1)->RecordId(), 3u);
}

TEST(MessageMgrLookupTest, FindMatchingAccepts0To59sAfterRejects60sAfterAndAnyBefore) {
    CMessageMgr state;
    auto stored = MakeMessage(0, "Lunch", 1000 + 60);
    stored->SetFromAddress("a@b");
    state.Append(std::move(stored));
    CMessage handheld;
    handheld.SetSubject("Lunch");
    handheld.SetFromAddress("a@b");
    handheld.m_date = 1000;
    EXPECT_EQ(state.FindMatching(handheld), nullptr);
    handheld.m_date = 1001;  // stored 59 s after
    EXPECT_EQ(state.FindMatching(handheld), state.Lookup(0));
    handheld.m_date = 1060;  // same second
    EXPECT_EQ(state.FindMatching(handheld), state.Lookup(0));
    handheld.m_date = 1061;  // stored 1 s before
    EXPECT_EQ(state.FindMatching(handheld), nullptr);
    handheld.m_date = 0xFFFFFFF0u;  // far later
    EXPECT_EQ(state.FindMatching(handheld), nullptr);
    handheld.m_date = 1001;
    handheld.m_category = 3;
    EXPECT_EQ(state.FindMatching(handheld), nullptr);
}

TEST(MessageMgrLookupTest, FindMatchingComparesCutBodiesOfTruncatedMessages) {
    CMessageMgr state;
    auto stored = MakeMessage(0, "s");
    stored->SetBody("Hello wor");
    stored->m_truncated = 1;
    state.Append(std::move(stored));
    state.Append(MakeMessage(0, "s"));  // empty body, not truncated
    CMessage given;
    given.SetSubject("s");
    given.SetBody("Hello world");
    EXPECT_EQ(state.FindMatching(given), state.Lookup(0));
    state.Lookup(0)->m_onHandheld = 1;
    EXPECT_EQ(state.FindMatching(given), nullptr);
    given.SetBody("");
    EXPECT_EQ(state.FindMatching(given), state.Lookup(1));
}

TEST(MessageMgrLookupTest, DateAndSubjectMatchBindsOnlyTheDesktopCopyWithTheSameText) {
    // Three entries of one date and subject: a filed handheld-only message, and the copies
    // of two desktop messages that differ in their text or their sender.
    CMessageMgr state;
    auto add = [&state](int32_t category, const char* from, const char* body) {
        auto entry = MakeMessage(0, "Build failed", 1000);
        entry->m_category = category;
        entry->SetFromName("Robot");
        entry->SetFromAddress(from);
        entry->SetBody(body);
        state.Append(std::move(entry));
    };
    add(3, "ci@x", "run 1");
    add(0, "ci@x", "run 1");
    add(0, "ci@x", "run 2");
    add(2, "ops@x", "run 2");
    CMessage probe;
    probe.SetSubject("Build failed");
    probe.m_date = 1000;
    probe.SetFromName("Robot");
    probe.SetFromAddress("ci@x");
    probe.SetBody("run 2");
    EXPECT_EQ(state.FindByDateAndSubject(probe), state.Lookup(2));
    probe.SetBody("run 1");
    EXPECT_EQ(state.FindByDateAndSubject(probe), state.Lookup(1));  // never the filed one
    probe.SetBody("run 3");
    EXPECT_EQ(state.FindByDateAndSubject(probe), nullptr);
    probe.SetBody("run 2");
    probe.SetFromAddress("ops@x");
    EXPECT_EQ(state.FindByDateAndSubject(probe), state.Lookup(3));
    probe.SetFromName("Ops");
    EXPECT_EQ(state.FindByDateAndSubject(probe), nullptr);
    // The only candidate is not taken when its text differs either.
    CMessageMgr single;
    single.Append(MakeMessage(0, "Build failed", 1000));
    probe.SetFromName("");
    probe.SetFromAddress("");
    EXPECT_EQ(single.FindByDateAndSubject(probe), nullptr);
    probe.SetBody("");
    EXPECT_EQ(single.FindByDateAndSubject(probe), single.Lookup(0));
}

TEST(MessageMgrLookupTest, IndexesFollowFieldChangesAndReplacements) {
    CMessageMgr state;
    state.Append(MakeMessage(10, "a", 5));
    state.Append(MakeMessage(20, "b", 5));
    state.Append(MakeMessage(10, "c", 5));
    EXPECT_EQ(state.FindByRecordId(10), 0);
    state.Lookup(0)->SetRecordId(30);
    EXPECT_EQ(state.FindByRecordId(10), 2);
    EXPECT_EQ(state.FindByRecordId(30), 0);
    state.Lookup(1)->SetDesktopId("D1");
    EXPECT_EQ(state.FindByDesktopId("D1"), state.Lookup(1));
    EXPECT_EQ(state.FindByDesktopId("d1"), nullptr);
    CMessage probe;
    probe.SetSubject("b");
    probe.m_date = 5;
    EXPECT_EQ(state.FindByDateAndSubject(probe), nullptr);  // it has a desktop id now
    probe.SetSubject("c");
    EXPECT_EQ(state.FindByDateAndSubject(probe), state.Lookup(2));
    state.Lookup(2)->SetSubject("z");
    EXPECT_EQ(state.FindByDateAndSubject(probe), nullptr);
    EXPECT_TRUE(state.ReplaceAt(2, MakeMessage(40, "c", 5)));
    EXPECT_EQ(state.FindByRecordId(10), -1);
    EXPECT_EQ(state.FindByRecordId(40), 2);
    EXPECT_FALSE(state.ReplaceAt(9, MakeMessage(50, "x")));
    EXPECT_EQ(state.FindByRecordId(50), -1);
    // A message taken out keeps working without its former manager.
    std::unique_ptr<CMessage> taken = state.Remove(1);
    taken->SetRecordId(99);
    EXPECT_EQ(state.FindByRecordId(99), -1);
}

TEST(MessageMgrLookupTest, KeysGoBeyondSixteenBits) {
    CMessageMgr state;
    for (uint32_t i = 0; i < 70000; ++i) {
        state.Append(MakeMessage(i + 1, ""));
    }
    EXPECT_EQ(state.Count(), 70000u);
    EXPECT_EQ(state.FindByRecordId(70000), 69999);
    EXPECT_EQ(state.Lookup(65536)->RecordId(), 65537u);
}

// The lookups as plain scans over the keys in order: what the indexes must agree with.
int64_t ScanRecordId(const CMessageMgr& state, uint32_t id, uint32_t maxKey) {
    for (uint32_t key = 0; key <= maxKey; ++key) {
        const CMessage* m = state.Lookup(key);
        if (m != nullptr && m->RecordId() == id)
            return key;
    }
    return -1;
}

template <typename Pred>
CMessage* ScanFirst(const CMessageMgr& state, uint32_t maxKey, Pred pred) {
    for (uint32_t key = 0; key <= maxKey; ++key) {
        CMessage* m = state.Lookup(key);
        if (m != nullptr && pred(*m))
            return m;
    }
    return nullptr;
}

TEST(MessageMgrLookupTest, IndexedLookupsReturnWhatAScanReturnsThroughRandomChanges) {
    const char* texts[] = {"", "a", "b", "Lunch", "Re: Lunch"};
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
        CMessageMgr state;
        uint32_t maxKey = 0;
        for (int step = 0; step < 3000; ++step) {
            const uint32_t key = pick(60);
            CMessage* m = state.Lookup(key);
            switch (pick(7)) {
                case 0:
                case 1: {
                    auto fresh = MakeMessage(pick(6), texts[pick(5)], 1000 + pick(130));
                    fresh->SetDesktopId(texts[pick(5)]);
                    fresh->SetFromAddress(pick(2) ? "a@b" : "c@d");
                    fresh->SetBody(pick(2) ? "" : "b");
                    fresh->m_category = static_cast<int32_t>(pick(4));
                    fresh->m_onHandheld = static_cast<int32_t>(pick(2));
                    state.Append(std::move(fresh));
                    break;
                }
                case 2:
                    (void)state.Remove(key);  // the key may be missing
                    break;
                case 3:
                    if (m != nullptr)
                        m->SetRecordId(pick(6));
                    break;
                case 4:
                    if (m != nullptr)
                        m->SetDesktopId(texts[pick(5)]);
                    break;
                case 5:
                    if (m != nullptr)
                        m->SetSubject(texts[pick(5)]);
                    break;
                default:
                    (void)state.ReplaceAt(key, MakeMessage(pick(6), texts[pick(5)], 1000));
                    break;
            }
            if (step % 500 == 499) {
                // A state read back from its archive form has its indexes built in bulk.
                platform::CArchive out = platform::CArchive::ForStoring();
                state.Serialize(out);
                const std::string bytes = out.Bytes();
                state.RemoveAll();
                platform::CArchive in = platform::CArchive::ForLoading(bytes);
                state.Serialize(in);
                ASSERT_TRUE(in.Ok());
            }
            maxKey = std::max(maxKey, state.Count() + 60);
            const uint32_t id = pick(6);
            ASSERT_EQ(state.FindByRecordId(id), ScanRecordId(state, id, maxKey)) << seed;
            const std::string text = texts[pick(5)];
            ASSERT_EQ(state.FindByDesktopId(text), ScanFirst(state, maxKey, [&](const CMessage& c) {
                          return c.DesktopId() == text;
                      }));
            CMessage probe;
            probe.SetSubject(text);
            probe.m_date = 1000 + pick(130);
            probe.SetFromAddress(pick(2) ? "a@b" : "c@d");
            probe.SetBody(pick(2) ? "" : "b");
            ASSERT_EQ(state.FindByDateAndSubject(probe),
                      ScanFirst(state, maxKey, [&](const CMessage& c) {
                          return c.m_date == probe.m_date && c.Subject() == text &&
                                 c.DesktopId().empty() && c.m_desktopKey1 == 0 &&
                                 c.m_desktopKey2 == 0 && (c.m_category == 0 || c.m_category == 2) &&
                                 c.FromAddress() == probe.FromAddress() && c.Body() == probe.Body();
                      }));
            ASSERT_EQ(state.FindMatching(probe), ScanFirst(state, maxKey, [&](const CMessage& c) {
                          const int64_t d = int64_t{c.m_date} - int64_t{probe.m_date};
                          return c.m_onHandheld == 0 && d >= 0 && d < 60 && c.Subject() == text &&
                                 c.FromAddress() == probe.FromAddress() &&
                                 c.m_category == probe.m_category && c.Body() == probe.Body();
                      }));
        }
    }
}

TEST(MessageMgrLookupTest, SortedEntriesAgreeWithAnOrderedSetAcrossBlockSplitsAndMerges) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        std::mt19937 rng(seed);
        CSortedEntries entries;
        std::set<uint64_t> expected;
        // Few distinct values with many keys each, as record id 0 or an empty text give.
        auto draw = [&rng] { return (uint64_t{rng() % 4} << 32) | (rng() % 5000); };
        for (int step = 0; step < 40000; ++step) {
            // Grow to a few thousand entries first, then shrink to nothing.
            const bool grow = step < 20000 ? rng() % 4 != 0 : rng() % 4 == 0;
            // Some entries come past every other one, as appended keys do.
            const uint64_t entry = rng() % 8 == 0 ? (uint64_t{4} << 32) | step : draw();
            if (step == 10000 || step == 30000) {
                // Replaced in bulk by the same entries, shuffled and some twice.
                std::vector<uint64_t> all(expected.begin(), expected.end());
                all.insert(all.end(), all.begin(), all.begin() + all.size() / 3);
                std::shuffle(all.begin(), all.end(), rng);
                entries.Assign(std::move(all));
            }
            if (grow) {
                entries.Insert(entry);
                expected.insert(entry);
            } else {
                const auto it = expected.lower_bound(entry);
                const uint64_t victim = it != expected.end() ? *it : entry;
                entries.Erase(victim);
                expected.erase(victim);
            }
            if (step % 97 != 0)
                continue;
            ASSERT_EQ(entries.Size(), expected.size()) << step;
            const uint64_t low = draw();
            const uint64_t high = low + rng() % 3000;
            std::vector<uint64_t> seen;
            entries.Scan(low, high, [&seen](uint64_t e) {
                seen.push_back(e);
                return false;
            });
            ASSERT_EQ(seen,
                      std::vector<uint64_t>(expected.lower_bound(low), expected.upper_bound(high)))
                << step;
            // A visit that answers true stops the scan at that entry.
            uint64_t first = 0;
            const bool stopped = entries.Scan(low, high, [&first](uint64_t e) {
                first = e;
                return true;
            });
            ASSERT_EQ(stopped, !seen.empty());
            if (stopped) {
                ASSERT_EQ(first, seen.front());
            }
        }
    }
}

}  // namespace
}  // namespace torrim

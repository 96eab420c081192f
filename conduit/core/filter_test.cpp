// The filter decision and the filter's archive form.
#include "conduit/core/filter.h"

#include <gtest/gtest.h>

#include "conduit/core/message.h"

namespace torrim {
namespace {

CFilter Filter(int32_t mode, int32_t highPriority = 1) {
    CFilter filter;
    filter.m_mode = mode;
    filter.m_highPriority = highPriority;
    return filter;
}

void AddWord(CFilter& filter, int32_t field, const char* word) {
    filter.m_words->Add(std::make_unique<CFilterType>(field, word));
    (field == FIELD_TO     ? filter.m_toCount
     : field == FIELD_FROM ? filter.m_fromCount
                           : filter.m_subjectCount)++;
}

std::unique_ptr<CMessage> Message(const char* from, const char* subject, int32_t priority = 1) {
    auto message = std::make_unique<CMessage>();
    message->SetFromName(from);
    message->SetFromAddress("someone@example.com");
    message->SetSubject(subject);
    message->m_priority = priority;
    return message;
}

TEST(FilterTest, AllUnreadAndSendOnlyModes) {
    auto message = Message("Ann", "Hi");
    EXPECT_EQ(PassesFilter(Filter(FILTER_ALL), *message), 1);
    EXPECT_EQ(PassesFilter(Filter(FILTER_UNREAD_ONLY), *message), 1);
    message->m_readOnHandheld = 1;
    EXPECT_EQ(PassesFilter(Filter(FILTER_UNREAD_ONLY), *message), 0);
    message->m_priority = 0;
    EXPECT_EQ(PassesFilter(Filter(FILTER_UNREAD_ONLY), *message), 0);  // unread rule first
    EXPECT_EQ(PassesFilter(Filter(FILTER_SEND_ONLY, 1), *message), 1);
    EXPECT_EQ(PassesFilter(Filter(FILTER_SEND_ONLY, 0), *message), 0);
    message->m_priority = 1;
    EXPECT_EQ(PassesFilter(Filter(FILTER_SEND_ONLY, 1), *message), 0);
}

TEST(FilterTest, WordModesWithoutWords) {
    auto message = Message("Ann", "Hi");
    EXPECT_EQ(PassesFilter(Filter(FILTER_RETRIEVE_MATCHING), *message), 0);
    EXPECT_EQ(PassesFilter(Filter(FILTER_IGNORE_MATCHING), *message), 1);
    auto urgent = Message("Ann", "Hi", 0);
    EXPECT_EQ(PassesFilter(Filter(FILTER_RETRIEVE_MATCHING, 1), *urgent), 1);
}

TEST(FilterTest, IgnoreDropsOnlyWhenEveryFieldWithWordsMatches) {
    CFilter filter = Filter(FILTER_IGNORE_MATCHING);
    AddWord(filter, FIELD_FROM, "smith");
    AddWord(filter, FIELD_SUBJECT, "lunch");
    EXPECT_EQ(PassesFilter(filter, *Message("Bob SMITH", "Lunch plans")), 0);
    EXPECT_EQ(PassesFilter(filter, *Message("Bob Smith", "Budget")), 1);
    EXPECT_EQ(PassesFilter(filter, *Message("Jones", "lunch")), 1);
    CFilter retrieve = Filter(FILTER_RETRIEVE_MATCHING);
    AddWord(retrieve, FIELD_TO, "team");
    auto toTeam = Message("X", "Y");
    toTeam->AddRecipient(RECIPIENT_CC, "Team", "team@x");  // Cc does not count
    EXPECT_EQ(PassesFilter(retrieve, *toTeam), 0);
    toTeam->AddRecipient(RECIPIENT_TO, "", "dev-TEAM@x");
    EXPECT_EQ(PassesFilter(retrieve, *toTeam), 1);
}

TEST(FilterTest, ArchiveFormRoundTrips) {
    CFilter filter = Filter(FILTER_IGNORE_MATCHING, 0);
    filter.m_signatureText = "sig";
    filter.m_maxSize = 1234;
    AddWord(filter, FIELD_SUBJECT, "w");
    platform::CArchive out = platform::CArchive::ForStoring();
    filter.Serialize(out);
    const std::string expected = std::string("\x03sig\xD2\x04\0\0d\0\0\0\0\0\0\0", 16) +
                                 std::string(8, '\0') + std::string("\x01\0\0\0", 4) +
                                 std::string("\x01\0\0\0\x02\0\0\0\x01w", 10);
    EXPECT_EQ(out.Bytes(), expected);
    platform::CArchive in = platform::CArchive::ForLoading(std::string_view(out.Bytes()));
    CFilter back;
    back.Serialize(in);
    ASSERT_TRUE(in.Ok());
    EXPECT_EQ(back.m_maxSize, 1234);
    EXPECT_EQ(back.m_subjectCount, 1);
    ASSERT_EQ(back.m_words->Count(), 1u);
    EXPECT_EQ(back.m_words->Lookup(0)->m_word, "w");
    for (size_t cut = 0; cut < expected.size(); ++cut) {
        platform::CArchive part =
            platform::CArchive::ForLoading(std::string_view(expected).substr(0, cut));
        CFilter partial;
        partial.Serialize(part);
        EXPECT_FALSE(part.Ok()) << cut;
    }
}

}  // namespace
}  // namespace torrim

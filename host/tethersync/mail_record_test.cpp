// Handheld mail records and preference blocks: golden bytes, round trips, rejection.
#include "host/tethersync/mail_record.h"

#include <gtest/gtest.h>

namespace tethersync {
namespace {

TEST(MailRecord, GoldenBytesAndRoundTrip) {
    HandheldMail m;
    m.year = 2001;
    m.month = 3;
    m.day = 1;
    m.hour = 14;
    m.minute = 5;
    m.read = true;
    m.confirmDelivery = true;
    m.priority = 2;
    m.addressing = 1;
    m.texts[SUBJECT] = "Hi";
    m.texts[TO] = "a@b\nc@d";
    m.texts[BODY] = "x\ny";
    std::string record;
    ASSERT_TRUE(PackMail(m, &record));
    const std::string expected = std::string("\xC2\x61\x0E\x05\x99\x00", 6) +
                                 std::string("Hi\0\0a@b\nc@d\0\0\0\0\0x\ny\0", 20);
    EXPECT_EQ(record, expected);

    HandheldMail back;
    ASSERT_TRUE(UnpackMail(record, &back));
    EXPECT_EQ(back.year, 2001);
    EXPECT_EQ(back.month, 3);
    EXPECT_EQ(back.minute, 5);
    EXPECT_TRUE(back.read);
    EXPECT_FALSE(back.signature);
    EXPECT_TRUE(back.confirmDelivery);
    EXPECT_EQ(back.priority, 2);
    EXPECT_EQ(back.addressing, 1);
    EXPECT_EQ(back.texts, m.texts);

    HandheldMail undated;
    ASSERT_TRUE(PackMail(undated, &record));
    EXPECT_EQ(record.substr(0, 4), std::string(4, '\0'));
    EXPECT_EQ(record.size(), 6u + 8u);
}

TEST(MailRecord, RefusesWhatDoesNotFitOrParse) {
    HandheldMail m;
    m.texts[BODY].assign(32767 - 6 - 8 + 1, 'x');
    std::string record;
    EXPECT_FALSE(PackMail(m, &record));
    m.texts[BODY].pop_back();
    ASSERT_TRUE(PackMail(m, &record));
    EXPECT_EQ(record.size(), 32767u);
    m.texts[SUBJECT] = std::string("a\0b", 3);
    EXPECT_FALSE(PackMail(m, &record));

    // Every proper prefix of a record misses a terminator or the header.
    HandheldMail ok;
    ok.texts[FROM] = "me";
    ASSERT_TRUE(PackMail(ok, &record));
    HandheldMail out;
    for (size_t cut = 0; cut < record.size(); ++cut)
        EXPECT_FALSE(UnpackMail(std::string_view(record).substr(0, cut), &out)) << cut;
}

TEST(MailPreferences, BlockLayoutAndSignature) {
    MailPreferences p;
    p.mode = 2;
    p.highPriority = 1;
    p.filterKind = 1;
    p.truncation = 4000;
    p.toWords = "boss";
    p.subjectWords = "urgent";
    std::string block;
    ASSERT_TRUE(PackPreferences(p, &block));
    EXPECT_EQ(block, std::string("\x02\x01\x01\x00\x0F\xA0"
                                 "boss\0\0urgent\0",
                                 19));
    MailPreferences back;
    ASSERT_TRUE(UnpackPreferences(block, &back));
    EXPECT_EQ(back.truncation, 4000);
    EXPECT_EQ(back.toWords, "boss");
    EXPECT_EQ(back.fromWords, "");
    EXPECT_FALSE(UnpackPreferences(std::string_view(block).substr(0, 18), &back));
    EXPECT_EQ(PackSignature("Regards"), std::string("Regards\0", 8));
    EXPECT_EQ(UnpackSignature(std::string("Regards\0junk", 12)), "Regards");
}

TEST(Categories, NamesAndNumbers) {
    EXPECT_EQ(ParseCategory("outbox"), 1);
    EXPECT_EQ(ParseCategory("15"), 15);
    EXPECT_EQ(ParseCategory("16"), -1);
    EXPECT_EQ(ParseCategory("Inbox"), -1);
    EXPECT_EQ(CategoryName(3), "filed");
    EXPECT_EQ(ToLineFeeds("a\r\nb\rc\n"), "a\nb\nc\n");
}

}  // namespace
}  // namespace tethersync

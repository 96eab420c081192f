// Password scrambling: stored form, round trips, and hostile stored texts.
#include "conduit/core/password.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/code_page.h"

namespace torrim {
namespace {

TEST(PasswordTest, StoredFormIsThirtyTwoGroupsOfOneToThreeDigits) {
    for (const char* clear : {"a", "secret", "0123456789012345678901234567890123456789"}) {
        const std::string stored = EncodePassword(clear);
        EXPECT_TRUE(std::regex_match(stored, std::regex("(#[0-9]{1,3}){32}"))) << stored;
        const std::regex group("#([0-9]+)");
        for (auto it = std::sregex_iterator(stored.begin(), stored.end(), group);
             it != std::sregex_iterator(); ++it) {
            EXPECT_LE(std::stoi((*it)[1]), 255);
        }
    }
}

TEST(PasswordTest, RoundTripsAndCutsFortyCharactersToThirtyTwo) {
    const std::string forty = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN";
    bool cut = false;
    const std::string stored = EncodePassword(forty, &cut);
    EXPECT_TRUE(cut);
    EXPECT_EQ(DecodePassword(stored), forty.substr(0, 32));
    EXPECT_EQ(DecodePassword(EncodePassword("pa ss#word!", &cut)), "pa ss#word!");
    EXPECT_FALSE(cut);
    // Different passwords give different stored forms.
    EXPECT_NE(EncodePassword("abc"), EncodePassword("abd"));
}

TEST(PasswordTest, EmptyAndForeignStoredTextsGiveEmptyPassword) {
    EXPECT_EQ(EncodePassword(""), "");
    EXPECT_EQ(DecodePassword(""), "");
    EXPECT_EQ(DecodePassword("plain"), "");
    EXPECT_EQ(DecodePassword(" #1#2"), "");
}

TEST(PasswordTest, MalformedGroupsAreReadBoundedAndNeverReuseEarlierContents) {
    // Very long digit runs, signs and garbage must neither overflow nor crash.
    std::string hostile = "#" + std::string(5000, '9') + "#-1#abc#+7##" + std::string(100, '#');
    const std::string first = DecodePassword(hostile);
    EXPECT_LE(first.size(), 32u);
    EXPECT_EQ(DecodePassword(hostile), first);  // same input, same answer
    // A short stored text decodes the same however often it is decoded.
    const std::string shortStored = EncodePassword("xyz").substr(0, 12);
    EXPECT_EQ(DecodePassword(shortStored), DecodePassword(shortStored));
}

TEST(PasswordTest, CutKeepsDoubleByteCharactersWhole) {
    const uint32_t saved = platform::ActiveCodePage();
    platform::SetActiveCodePage(932);
    // 31 single bytes, then a two-byte character that would straddle byte 32.
    const std::string clear = std::string(31, 'a') + "\x82\xA0";
    bool cut = false;
    EXPECT_EQ(DecodePassword(EncodePassword(clear, &cut)), std::string(31, 'a'));
    EXPECT_TRUE(cut);
    platform::SetActiveCodePage(saved);
}

}  // namespace
}  // namespace torrim

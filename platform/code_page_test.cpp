// Lead-byte classes, character-safe cutting and case folding of the code pages.
#include "platform/code_page.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

class CodePageTest : public ::testing::Test {
protected:
    void TearDown() override { SetActiveCodePage(1252); }
};

TEST_F(CodePageTest, LeadByteClassesOfDoubleBytePages) {
    EXPECT_TRUE(IsLeadByteOf(932, 0x81));
    EXPECT_TRUE(IsLeadByteOf(932, 0x9F));
    EXPECT_FALSE(IsLeadByteOf(932, 0xA0));  // half-width katakana are single bytes
    EXPECT_FALSE(IsLeadByteOf(932, 0xDF));
    EXPECT_TRUE(IsLeadByteOf(932, 0xE0));
    EXPECT_TRUE(IsLeadByteOf(932, 0xFC));
    EXPECT_FALSE(IsLeadByteOf(932, 0xFD));
    EXPECT_FALSE(IsLeadByteOf(932, 0x80));
    for (uint32_t cp : {936u, 949u, 950u}) {
        EXPECT_FALSE(IsLeadByteOf(cp, 0x80)) << cp;
        EXPECT_TRUE(IsLeadByteOf(cp, 0x81)) << cp;
        EXPECT_TRUE(IsLeadByteOf(cp, 0xFE)) << cp;
        EXPECT_FALSE(IsLeadByteOf(cp, 0xFF)) << cp;
    }
    for (int b = 0; b < 256; ++b)
        EXPECT_FALSE(IsLeadByteOf(1252, static_cast<uint8_t>(b)));
    SetActiveCodePage(932);
    EXPECT_TRUE(IsLeadByte(0x82));
    SetActiveCodePage(1252);
    EXPECT_FALSE(IsLeadByte(0x82));
}

TEST_F(CodePageTest, ValidCutLengthNeverSplitsDoubleByteCharacters) {
    SetActiveCodePage(932);
    // "ab" then two double-byte characters.
    const std::string text = "ab\x83\x41\x83\x43";
    EXPECT_EQ(ValidCutLength(text, 0), 0u);
    EXPECT_EQ(ValidCutLength(text, 2), 2u);
    EXPECT_EQ(ValidCutLength(text, 3), 2u);
    EXPECT_EQ(ValidCutLength(text, 4), 4u);
    EXPECT_EQ(ValidCutLength(text, 5), 4u);
    EXPECT_EQ(ValidCutLength(text, 6), 6u);
    EXPECT_EQ(ValidCutLength(text, 100), 6u);
    // Stops at the first NUL.
    EXPECT_EQ(ValidCutLength(std::string("abc\0def", 7), 6), 3u);
    // A lone lead byte at the end counts as one byte.
    EXPECT_EQ(ValidCutLength("a\x83", 6), 2u);
    SetActiveCodePage(1252);
    EXPECT_EQ(ValidCutLength(text, 3), 3u);
}

TEST_F(CodePageTest, CaseFoldingLeavesTrailBytesAlone) {
    SetActiveCodePage(932);
    // 0x83 0x41 is a katakana whose trail byte is 'A'; 0x82 0x60 is full-width 'A'.
    EXPECT_EQ(LowerMb("AB\x83\x41Z"), "ab\x83\x41z");
    EXPECT_EQ(UpperMb("ab\x83\x61z"), "AB\x83\x61Z");
    EXPECT_EQ(LowerMb("\x82\x60\x82\x79"), "\x82\x81\x82\x9A");
    EXPECT_EQ(UpperMb("\x82\x81\x82\x9A"), "\x82\x60\x82\x79");
    EXPECT_EQ(CompareNoCaseMb("\x83\x41", "\x83\x61"), -1);  // different characters
    EXPECT_EQ(CompareNoCaseMb("Sync.INI", "sync.ini"), 0);
    // Searching only matches at character boundaries.
    EXPECT_EQ(FindNoCaseMb("\x83\x41"
                           "a",
                           "a"),
              2u);
    EXPECT_EQ(FindNoCaseMb("x\x83\x41", "A"), std::string::npos);
    EXPECT_EQ(FindCharMb("\x83\x5C\\", '\\'), 2u);
    EXPECT_EQ(FindCharMb("\x83\x5C", '\\'), std::string::npos);
    EXPECT_EQ(FindFirstOfMb("\x83[x]", "[]"), 3u);
}

TEST_F(CodePageTest, WesternPageFoldsAccentedLetters) {
    SetActiveCodePage(1252);
    EXPECT_EQ(LowerMb("M\xDCLLER \x8A\x9F"), "m\xFCller \x9A\xFF");
    EXPECT_EQ(UpperMb("\xE9\xF7\xDF"), "\xC9\xF7\xDF");  // division sign and sharp s stay
    EXPECT_EQ(FindNoCaseMb("Re: Budget Report", "REPORT"), 11u);
    EXPECT_EQ(FindNoCaseMb("abc", ""), 0u);
    EXPECT_LT(CompareNoCaseMb("apple", "Banana"), 0);
    EXPECT_GT(CompareNoCaseMb("\xE9", "z"), 0);  // unsigned byte order
}

}  // namespace
}  // namespace platform

// Tests of the score functions, the detector and the three converters.
#include "conduit/japanese/japanese_encoding.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace torrim::japanese {
namespace {

class JapaneseEncoding : public ::testing::Test {
protected:
    void SetUp() override { BuildCp932CodeSet(&m_codeSet); }

    std::string Detect(const std::string& s) const {
        return DetectEncoding(s.data(), s.size(), m_codeSet)->name;
    }
    int Sjis(const std::string& s) const { return ScoreShiftJis(s.data(), s.size(), m_codeSet); }
    int Iso(const std::string& s) const { return ScoreIso2022Jp(s.data(), s.size(), m_codeSet); }
    int Utf8(const std::string& s) const { return ScoreUtf8(s.data(), s.size(), m_codeSet); }

    Cp932CodeSet m_codeSet{};
};

// Runs a converter into a buffer of exactly length + 1 bytes and checks what it reports.
std::string Convert(ConvertFunction convert, const std::string& in) {
    std::vector<char> out(in.size() + 1, '\x7F');
    const size_t written = convert(out.data(), in.data(), in.size());
    EXPECT_LE(written, in.size());
    EXPECT_EQ(out[written], '\0');
    return std::string(out.data(), written);
}

std::string U8(const std::string& s) {
    return Convert(Utf8ToShiftJis, s);
}
std::string Jis(const std::string& s) {
    return Convert(Iso2022JpToShiftJis, s);
}

TEST_F(JapaneseEncoding, DetectionPicksTheFirstCertainRowElseTheBest) {
    EXPECT_EQ(Detect(""), "Shift_JIS");
    EXPECT_EQ(Detect("plain ASCII text\r\n"), "Shift_JIS");
    EXPECT_EQ(Detect("\x82\xA0\x82\xA2 kana"), "Shift_JIS");
    EXPECT_EQ(Detect("\x1B$B0!\x1B(B"), "ISO-2022-JP-2");
    // "あ。" in UTF-8: E3 81 82 E3 80 82 has a lead byte before '\n', so not Shift_JIS.
    EXPECT_EQ(Detect("\xE3\x81\x82\xE3\x80\x82\n"), "UTF-8");
    // "あい" in UTF-8 forms the defined pairs E381 82E3 8184 and stays Shift_JIS.
    EXPECT_EQ(Detect("\xE3\x81\x82\xE3\x81\x84"), "Shift_JIS");
    // Shift_JIS with an undefined pair (75) is still the best.
    EXPECT_EQ(Sjis("\x85\x40"), 75);
    EXPECT_EQ(Detect("\x85\x40"), "Shift_JIS");
    // UTF-8 with the euro sign, which has no code (50), wins over a Shift_JIS score of 0.
    EXPECT_EQ(Detect("\xE2\x82\xAC\xE3\x80\x82\n"), "UTF-8");
    // Nothing fits at all: the first row.
    EXPECT_EQ(Detect("\x1B\xFF"), "Shift_JIS");
}

TEST_F(JapaneseEncoding, ShiftJisScore) {
    EXPECT_EQ(Sjis("abc \xB1\xDF \x80\xA0\xFD\xFE\xFF"), 100);
    EXPECT_EQ(Sjis("\x88\x9F\x82\xA0"), 100);
    EXPECT_EQ(Sjis("\x88\x9F\x85\x40\x82\xA0"), 75);
    EXPECT_EQ(Sjis("ab\x1B"), 0);
    EXPECT_EQ(Sjis("ab\x88"), 0) << "lead byte at the end";
    EXPECT_EQ(Sjis("\x88\x0A"), 0) << "lead byte before a byte that cannot trail";
    EXPECT_EQ(Sjis(std::string("\x88\x00", 2)), 0);
}

TEST_F(JapaneseEncoding, Iso2022JpScore) {
    EXPECT_EQ(Iso("\x1B$B0!\x1B(B"), 100);
    EXPECT_EQ(Iso("no escape"), 0);
    EXPECT_EQ(Iso("\x1B$B0!\x1B(B\x80"), 0);
    // A high byte far into a long text (past the block scan) still counts.
    std::string longText(1000, 'a');
    longText[3] = '\x1B';
    EXPECT_EQ(Iso(longText), 100);
    longText[997] = '\xA1';
    EXPECT_EQ(Iso(longText), 0);
}

TEST_F(JapaneseEncoding, Utf8Score) {
    EXPECT_EQ(Utf8("\xE3\x81\x82\xE4\xB8\x80 ascii \xC2\xA7"), 100);
    EXPECT_EQ(Utf8("\xE2\x82\xAC"), 50) << "U+20AC has no code";
    EXPECT_EQ(Utf8("\xF0\x9F\x98\x80"), 25) << "above U+FFFF";
    EXPECT_EQ(Utf8("\xF8\x88\x80\x80\x80"), 25) << "5-byte form";
    EXPECT_EQ(Utf8("\xE2\x82\xAC\xF0\x9F\x98\x80"), 25);
    EXPECT_EQ(Utf8("\xFC\x84\x80\x80\x80\x80"), 25) << "6-byte form";
    EXPECT_EQ(Utf8("\xFD\xBF\xBF\xBF\xBF\xBF"), 25) << "U+7FFFFFFF";
    EXPECT_EQ(Utf8("\xFC\x80\x80\x80\x80\x80"), 0) << "overlong 6-byte form";
    EXPECT_EQ(Utf8("\xC0\x80"), 0) << "overlong";
    EXPECT_EQ(Utf8("\xE0\x81\x81"), 0) << "overlong";
    EXPECT_EQ(Utf8("\x80"), 0) << "lone continuation byte";
    EXPECT_EQ(Utf8("\xFE"), 0);
    EXPECT_EQ(Utf8("ab\xE3\x81"), 0) << "truncated";
    EXPECT_EQ(Utf8("\xE3\x41\x41"), 0) << "continuation byte missing";
    EXPECT_EQ(Utf8("\xE3\x81\xC2"), 0) << "continuation byte missing";
    EXPECT_EQ(Utf8(std::string("a\0b", 3)), 50) << "U+0000 has no code";
}

TEST_F(JapaneseEncoding, Utf8ConvertsCharactersByTheirCodes) {
    EXPECT_EQ(U8("\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86"), "\x82\xA0\x82\xA2\x82\xA4");
    EXPECT_EQ(U8("\xE4\xB8\x80 \\~"), "\x88\xEA \\~");
    EXPECT_EQ(U8("\xEF\xBD\xB1\xEF\xBE\x9F"), "\xB1\xDF") << "half-width katakana";
    EXPECT_EQ(U8("\xE2\x85\xB0\xEF\xBF\xA2"), "\xEE\xEF\x81\xCA") << "duplicates";
    EXPECT_EQ(U8("\xC2\xA7"), "\x81\x98") << "U+00A7 has a double-byte code";
    EXPECT_EQ(U8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST_F(JapaneseEncoding, Utf8WritesQuestionMarksForWhatHasNoCode) {
    EXPECT_EQ(U8("\xE2\x82\xAC"), "?") << "U+20AC";
    EXPECT_EQ(U8("\xF0\x9F\x98\x80x"), "?x") << "above U+FFFF";
    EXPECT_EQ(U8("\xC0\x80x"), "?x") << "overlong: one ? for both bytes";
    EXPECT_EQ(U8("\x80x"), "?x") << "lone continuation byte";
    EXPECT_EQ(U8("\xFFx"), "?x");
    // A raw byte that would lead a double-byte code would swallow the next character.
    EXPECT_EQ(U8("\xC3\xA3x"), "?x") << "U+00E3";
    EXPECT_EQ(U8("\xC2\x81x"), "?x") << "U+0081";
    EXPECT_EQ(U8("\xC3\xBCx"), "?x") << "U+00FC";
    // Other unmapped bytes of U+0080-U+00FF stay themselves.
    EXPECT_EQ(U8("\xC2\x80\xC2\xA0\xC3\x80\xC3\xBD\xC3\xBF"), "\x80\xA0\xC0\xFD\xFF");
}

TEST_F(JapaneseEncoding, Utf8BrokenSequencesLoseNoPlainText) {
    EXPECT_EQ(U8("ab\xE3"), "ab?") << "truncated final sequence";
    EXPECT_EQ(U8("ab\xE3\x81"), "ab?");
    EXPECT_EQ(U8("ab\xE3"
                 "A"),
              "ab?A")
        << "non-continuation byte comes before the end";
    EXPECT_EQ(U8("\xE3\x41\x41"), "?AA");
    EXPECT_EQ(U8("\xE3\x81\xC2\xA7"), "?\x81\x98") << "the breaking byte opens the next";
    EXPECT_EQ(U8("\xE3\x81\xC2"), "??");
}

TEST_F(JapaneseEncoding, Iso2022JpModes) {
    EXPECT_EQ(Jis("\x1B$B\x30\x21\x1B(BA"),
              "\x88\x9F"
              "A")
        << "JIS pair 0x30 0x21";
    EXPECT_EQ(Jis("\x1B$@\x31\x21\x24\x22"), "\x89\x40\x82\xA0") << "odd and even rows";
    EXPECT_EQ(Jis("\x1B$B\x60\x21\x74\x26"), "\xE0\x9F\xEA\xA4") << "rows above 0x5E";
    EXPECT_EQ(Jis("\x1B"
                  "K\x30\x21"),
              "\x88\x9F");
    EXPECT_EQ(Jis("\x1B$B\x30\x21 \x30\x21"), "\x88\x9F \x88\x9F") << "space passes";
    EXPECT_EQ(Jis("\x1B$B\x30\x21\n\x30\x21"), "\x88\x9F\n\x30\x21") << "LF back to ASCII";
    EXPECT_EQ(Jis("\x1B$B\x30\x21\x30"), "\x88\x9F\x30") << "odd byte at the end";
    EXPECT_EQ(Jis("\x0E\x31\x60\x0F\x31"), "\xB1\x60\x31") << "kana by SO/SI";
    EXPECT_EQ(Jis("\x1B(I\x31\x5F\x1B(B\x31"), "\xB1\xDF\x31") << "kana by ESC ( I";
    EXPECT_EQ(Jis("\x1B,A\x21\x61\x7E\x1B.A\x21"), "\xA1\x61\xFE\xA1") << "upper half";
    EXPECT_EQ(Jis("\x1B$B\x1B$Z\x30\x21"), "\x88\x9F") << "unknown ESC $ keeps the mode";
    EXPECT_EQ(Jis("\x1B$B\x1B"
                  "Z\x30\x21"),
              "\x30\x21")
        << "unknown ESC goes to ASCII";
    EXPECT_EQ(Jis("\x0E\x1B$B\x0F\x30\x21"), "\x88\x9F") << "SI only leaves kana";
}

TEST_F(JapaneseEncoding, Iso2022JpUnfinishedEscapeEndsTheOutput) {
    EXPECT_EQ(Jis("ab\x1B"), "ab");
    EXPECT_EQ(Jis("ab\x1B$"), "ab");
    EXPECT_EQ(Jis("ab\x1B("), "ab");
    EXPECT_EQ(Jis("ab\x1B,"), "ab");
}

// Random text from pieces of one encoding (7-bit with escapes, or UTF-8) or of all, whole
// and broken, with a few random bytes.
std::string RandomText(std::mt19937& rng) {
    static const std::vector<std::string> ISO = {
        "\x1B", "\x1B$B", "\x1B(I", "\x1B(B", "\x1B,A", "\x0E", "\x0F", "\n", "ab", "0!", "~"};
    static const std::vector<std::string> UTF8 = {"\n",
                                                  "ab",
                                                  "\xE3\x81\x82\xE3\x80\x82",
                                                  "\xE2\x82\xAC",
                                                  "\xF0\x9F\x98\x80",
                                                  "\xC3\xA3",
                                                  "\xE4\xB8\x80\n"};
    static const std::vector<std::string> OTHER = {
        "\x82\xA0", "\x85\x40", "\xB1", "\x80", "\xFC", "\xFF", "\xE3", "\xE3\x81", "\xC0\x80"};
    const uint32_t flavour = rng() % 3;
    std::string text;
    const size_t pieces = rng() % 24;
    for (size_t k = 0; k < pieces; ++k) {
        const uint32_t pick = rng() % 20;
        if (pick == 0) {
            text += static_cast<char>(rng());
        } else if (flavour == 0) {
            text += ISO[rng() % ISO.size()];
        } else if (flavour == 1) {
            text += UTF8[rng() % UTF8.size()];
        } else {
            const auto& set = pick % 3 == 0 ? ISO : pick % 3 == 1 ? UTF8 : OTHER;
            text += set[rng() % set.size()];
        }
    }
    return text;
}

// On any input: every converter stays within length + 1 bytes and ends with a NUL, and
// DetectAndConvert makes the same choice and output as DetectEncoding and the converter.
TEST_F(JapaneseEncoding, ConvertersStayInBoundsAndDetectAndConvertAgrees) {
    std::mt19937 rng(932);
    std::map<std::string, int> chosen;
    for (int round = 0; round < 20000; ++round) {
        const std::string in = RandomText(rng);
        const size_t length = in.size();
        for (const EncodingDetector& row : EncodingDetectorTable) {
            std::vector<char> out(length + 2, '\x5A');
            const size_t written = row.convert(out.data(), in.data(), length);
            ASSERT_LE(written, length) << row.name;
            ASSERT_EQ(out[written], '\0') << row.name;
            ASSERT_EQ(out[length + 1], '\x5A') << row.name << " wrote past length + 1";
        }
        const EncodingDetector* detected = DetectEncoding(in.data(), length, m_codeSet);
        ++chosen[detected->name];
        std::vector<char> expected(length + 1);
        const size_t expectedLength = detected->convert(expected.data(), in.data(), length);
        std::vector<char> out(length + 2, '\x5A');
        size_t written = 0;
        ASSERT_EQ(DetectAndConvert(out.data(), in.data(), length, m_codeSet, &written), detected);
        ASSERT_EQ(written, expectedLength);
        ASSERT_EQ(std::string(out.data(), written + 1),
                  std::string(expected.data(), expectedLength + 1));
        ASSERT_EQ(out[length + 1], '\x5A');
    }
    for (const EncodingDetector& row : EncodingDetectorTable) {
        EXPECT_GT(chosen[row.name], 1000) << row.name << " too rarely chosen to be tested";
    }
}

}  // namespace
}  // namespace torrim::japanese

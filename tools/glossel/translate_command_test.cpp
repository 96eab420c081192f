// The translate command: piece boundaries, and the program run on real files.
#include "tools/glossel/translate_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "intl/test_support.h"

namespace {

using glossel::testing::CTempDir;
using glossel::testing::ReadBytes;
using glossel::testing::WriteBytes;
using Bytes = std::vector<uint8_t>;

TEST(WholeCharactersTest, PiecesEndBetweenCharacters) {
    const unsigned char sjis[] = {'a', 0x82, 0xA0, 0x82};
    EXPECT_EQ(glossel_cli::WholeCharacters(932, sjis, 4, false), 3u);
    EXPECT_EQ(glossel_cli::WholeCharacters(932, sjis, 4, true), 4u);
    EXPECT_EQ(glossel_cli::WholeCharacters(932, sjis, 2, false), 1u);
    // 0x82 after the lead 0x81 is a trail, not a lead waiting for the next piece.
    const unsigned char trailLooksLikeLead[] = {0x81, 0x82, 'x'};
    EXPECT_EQ(glossel_cli::WholeCharacters(932, trailLooksLikeLead, 3, false), 3u);
    EXPECT_EQ(glossel_cli::WholeCharacters(932, trailLooksLikeLead, 2, false), 2u);
    EXPECT_EQ(glossel_cli::WholeCharacters(1200, sjis, 3, false), 2u);
    EXPECT_EQ(glossel_cli::WholeCharacters(1252, sjis, 3, false), 3u);
}

class TranslateCommandTest : public ::testing::Test {
protected:
    int Run(const std::string& arguments) {
        const std::string command = std::string(GLOSSEL_CLI) + " " + arguments + " --tables " +
                                    GLOSSEL_TABLE_DIR + " 2>" + m_dir.File("stderr");
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    CTempDir m_dir;
};

TEST_F(TranslateCommandTest, FilesRoundTripAcrossPieceBoundaries) {
    // Large enough for several pieces, with double-byte characters everywhere.
    Bytes sjis;
    for (int i = 0; i < 900000; ++i) {
        sjis.push_back('a' + i % 26);
        sjis.push_back(0x82);
        sjis.push_back(static_cast<uint8_t>(0x9F + i % 80));  // hiragana
    }
    WriteBytes(m_dir.File("in.sjis"), sjis);
    ASSERT_EQ(Run("translate --from shift_jis --to 1200 -o " + m_dir.File("out.u16") + " " +
                  m_dir.File("in.sjis")),
              0);
    const Bytes unicode = ReadBytes(m_dir.File("out.u16"));
    ASSERT_EQ(unicode.size(), 4u * 900000);
    EXPECT_EQ(unicode[2], 0x9F - 0x9F + 0x41);  // 0x829F -> U+3041
    EXPECT_EQ(unicode[3], 0x30);
    ASSERT_EQ(Run("translate --from=utf-16le --to=932 --output=" + m_dir.File("back.sjis") + " " +
                  m_dir.File("out.u16")),
              0);
    EXPECT_EQ(ReadBytes(m_dir.File("back.sjis")), sjis);
}

TEST_F(TranslateCommandTest, PipesAndErrors) {
    WriteBytes(m_dir.File("in.txt"), Bytes{'c', 'a', 'f', 0xE9});
    ASSERT_EQ(Run("translate --from 1252 --to iso-8859-5 < " + m_dir.File("in.txt") + " > " +
                  m_dir.File("out.txt")),
              0);
    EXPECT_EQ(ReadBytes(m_dir.File("out.txt")), (Bytes{'c', 'a', 'f', 'e'}));
    EXPECT_EQ(Run("translate --from klingon --to 1252 " + m_dir.File("in.txt")), 2);
    EXPECT_EQ(Run("translate --to 1252 " + m_dir.File("in.txt")), 2);
    EXPECT_EQ(Run("translate --from 1252 --to 1200 " + m_dir.File("missing")), 1);
    // A failed run leaves an existing output file as it was.
    WriteBytes(m_dir.File("keep"), Bytes{'k'});
    EXPECT_EQ(Run("translate --from 1252 --to 1200 -o " + m_dir.File("keep") + " " +
                  m_dir.File("missing")),
              1);
    EXPECT_EQ(ReadBytes(m_dir.File("keep")), Bytes{'k'});
    EXPECT_EQ(Run("translate --help > " + m_dir.File("help")), 0);
    EXPECT_NE(glossel::testing::ReadText(m_dir.File("help")).find("--from"), std::string::npos);
}

TEST_F(TranslateCommandTest, ReplacedOutputKeepsItsMode) {
    WriteBytes(m_dir.File("in.txt"), Bytes{'b', 'c', 'a', '\n'});
    for (const char* command : {"translate --from 1252 --to 1252 -o ", "sort -o "}) {
        SCOPED_TRACE(command);
        const std::string out = m_dir.File("shared.txt");
        WriteBytes(out, Bytes{'o', 'l', 'd'});
        ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
        ASSERT_EQ(Run(command + out + " " + m_dir.File("in.txt")), 0);
        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_NE(ReadBytes(out), (Bytes{'o', 'l', 'd'}));
    }
}

TEST_F(TranslateCommandTest, Utf8IsReadAndWrittenThroughUnicodeAcrossPieces) {
    // More than one piece, with two-, three- and four-byte characters cut at every offset.
    std::string text;
    while (text.size() < (3u << 20))
        text += "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 ";
    WriteBytes(m_dir.File("in.utf8"), Bytes(text.begin(), text.end()));
    ASSERT_EQ(Run("translate --from utf-8 --to 1200 -o " + m_dir.File("out.u16") + " " +
                  m_dir.File("in.utf8")),
              0);
    const Bytes unicode = ReadBytes(m_dir.File("out.u16"));
    ASSERT_GE(unicode.size(), 16u);
    EXPECT_EQ(unicode[6], 0xE9);  // U+00E9
    EXPECT_EQ(unicode[7], 0x00);
    ASSERT_EQ(Run("translate --from 1200 --to UTF8 -o " + m_dir.File("back.utf8") + " " +
                  m_dir.File("out.u16")),
              0);
    const Bytes back = ReadBytes(m_dir.File("back.utf8"));
    EXPECT_TRUE(back == Bytes(text.begin(), text.end()));
    WriteBytes(m_dir.File("cafe.utf8"), Bytes{'c', 'a', 'f', 0xC3, 0xA9});
    ASSERT_EQ(Run("translate --from utf-8 --to 1252 -o " + m_dir.File("cafe.1252") + " " +
                  m_dir.File("cafe.utf8")),
              0);
    EXPECT_EQ(ReadBytes(m_dir.File("cafe.1252")), (Bytes{'c', 'a', 'f', 0xE9}));
    // Malformed UTF-8 is refused with its offset, and nothing is written.
    WriteBytes(m_dir.File("bad.utf8"), Bytes{'o', 'k', 0xC3, 'x'});
    EXPECT_EQ(Run("translate --from utf-8 --to 1252 -o " + m_dir.File("bad.out") + " " +
                  m_dir.File("bad.utf8")),
              1);
    EXPECT_NE(glossel::testing::ReadText(m_dir.File("stderr")).find("not UTF-8 (byte offset 2)"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("bad.out")));
}

TEST_F(TranslateCommandTest, ADamagedTableFileIsCalledDamaged) {
    const Bytes tables = ReadBytes(std::string(GLOSSEL_TABLE_DIR) + "/CCINTL.TB");
    ASSERT_GT(tables.size(), 4096u);
    std::filesystem::create_directory(m_dir.File("cut"));
    WriteBytes(m_dir.File("cut") + "/CCINTL.TB", Bytes(tables.begin(), tables.begin() + 4096));
    WriteBytes(m_dir.File("in.txt"), Bytes{'a'});
    const std::string command = std::string(GLOSSEL_CLI) + " translate --from 1252 --to 1200 " +
                                "--tables " + m_dir.File("cut") + " " + m_dir.File("in.txt") +
                                " >/dev/null 2>" + m_dir.File("damaged");
    EXPECT_NE(std::system(command.c_str()), 0);
    const std::string message = glossel::testing::ReadText(m_dir.File("damaged"));
    EXPECT_NE(message.find("damaged"), std::string::npos) << message;
    EXPECT_EQ(message.find("cannot open"), std::string::npos) << message;
}

}  // namespace

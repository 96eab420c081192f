// Atomic replacement, modes and case-insensitive names of files.
#include "platform/file_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace platform {
namespace {

class FileUtilTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/platform_file_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string m_dir;
};

TEST_F(FileUtilTest, AtomicWriteReplacesAndSetsMode) {
    std::string path = JoinPath(m_dir, "Sync.ini");
    ASSERT_EQ(WriteFileAtomic(path, "one", 0600), 0);
    std::string data;
    ASSERT_EQ(ReadWholeFile(path, &data), 0);
    EXPECT_EQ(data, "one");
    uint32_t mode = 0;
    ASSERT_EQ(FileMode(path, &mode), 0);
    EXPECT_EQ(mode, 0600u);
    // A replaced file keeps its mode; the mode given is for new files.
    ASSERT_EQ(WriteFileAtomic(path, "two", 0644), 0);
    ASSERT_EQ(ReadWholeFile(path, &data), 0);
    EXPECT_EQ(data, "two");
    ASSERT_EQ(FileMode(path, &mode), 0);
    EXPECT_EQ(mode, 0600u);
    // Only the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(FileUtilTest, FailedWriteLeavesPreviousFile) {
    std::string path = JoinPath(m_dir, "users.dat");
    ASSERT_EQ(WriteFileAtomic(path, "previous contents"), 0);
    FailNextAtomicWriteForTesting(ENOSPC);
    EXPECT_EQ(WriteFileAtomic(path, "new contents that never land"), ENOSPC);
    std::string data;
    ASSERT_EQ(ReadWholeFile(path, &data), 0);
    EXPECT_EQ(data, "previous contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir),
                            std::filesystem::directory_iterator()),
              1);
    // A missing folder fails without creating anything.
    EXPECT_EQ(WriteFileAtomic(JoinPath(m_dir, "no/such"), "x"), ENOENT);
}

TEST_F(FileUtilTest, ReadingReportsMissingAndOversizedFiles) {
    std::string data = "stale";
    EXPECT_EQ(ReadWholeFile(JoinPath(m_dir, "missing"), &data), ENOENT);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(ReadWholeFile(m_dir, &data), EISDIR);
    std::string path = JoinPath(m_dir, "big");
    ASSERT_EQ(WriteFileAtomic(path, std::string(100, 'x')), 0);
    EXPECT_EQ(ReadWholeFile(path, &data, 99), EFBIG);
    EXPECT_EQ(ReadWholeFile(path, &data, 100), 0);
    EXPECT_EQ(data.size(), 100u);
    // Whole contents whatever the size: empty, larger than one read step, and a file that
    // tells no size (its contents made as it is read).
    ASSERT_EQ(WriteFileAtomic(path, ""), 0);
    EXPECT_EQ(ReadWholeFile(path, &data), 0);
    EXPECT_TRUE(data.empty());
    std::string large;
    for (int i = 0; i < 50000; ++i)
        large += std::to_string(i % 10) + "abc";
    ASSERT_EQ(WriteFileAtomic(path, large), 0);
    EXPECT_EQ(ReadWholeFile(path, &data), 0);
    EXPECT_EQ(data, large);
    EXPECT_EQ(ReadWholeFile(path, &data, large.size() - 1), EFBIG);
    EXPECT_EQ(ReadWholeFile("/proc/self/status", &data), 0);
    EXPECT_NE(data.find("Name:"), std::string::npos);
    EXPECT_EQ(ReadWholeFile("/proc/self/status", &data, 10), EFBIG);
}

TEST_F(FileUtilTest, NamesMatchExistingFilesIgnoringCase) {
    ASSERT_EQ(WriteFileAtomic(JoinPath(m_dir, "Sync.ini"), "x"), 0);
    EXPECT_EQ(FindCaseInsensitive(m_dir, "sync.ini"), m_dir + "/Sync.ini");
    EXPECT_EQ(FindCaseInsensitive(m_dir, "SYNC.INI"), m_dir + "/Sync.ini");
    EXPECT_EQ(FindCaseInsensitive(m_dir + "/", "new.ini"), m_dir + "/new.ini");
    EXPECT_EQ(ResolveCaseInsensitive(m_dir + "/sync.INI"), m_dir + "/Sync.ini");
    EXPECT_EQ(JoinPath("a", "b"), "a/b");
    EXPECT_EQ(JoinPath("a/", "b"), "a/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
}

TEST_F(FileUtilTest, CreateDirectoriesMakesParents) {
    std::string deep = JoinPath(m_dir, "a/b/c");
    EXPECT_EQ(CreateDirectories(deep, 0700), 0);
    EXPECT_TRUE(DirectoryExists(deep));
    EXPECT_EQ(CreateDirectories(deep), 0);
    EXPECT_FALSE(FileExists(deep));
    ASSERT_EQ(WriteFileAtomic(JoinPath(m_dir, "file"), "x"), 0);
    EXPECT_NE(CreateDirectories(JoinPath(m_dir, "file/sub")), 0);
}

TEST_F(FileUtilTest, StreamedReplacementCommitsOrLeavesThePreviousFile) {
    const std::string path = JoinPath(m_dir, "state.dat");
    ASSERT_EQ(WriteFileAtomic(path, "previous"), 0);
    auto onlyFile = [this] {
        return std::distance(std::filesystem::directory_iterator(m_dir),
                             std::filesystem::directory_iterator()) == 1;
    };
    std::string data;
    {
        CAtomicFileWriter writer;
        ASSERT_EQ(writer.Open(path, 0600), 0);
        EXPECT_EQ(writer.Write("new ", 4), 0);
        EXPECT_EQ(writer.Write("bytes", 5), 0);
        writer.Discard();
        ASSERT_EQ(ReadWholeFile(path, &data), 0);
        EXPECT_EQ(data, "previous");
        EXPECT_TRUE(onlyFile());
    }
    {
        CAtomicFileWriter writer;  // dropped without Commit: the same as Discard
        ASSERT_EQ(writer.Open(path, 0600), 0);
        EXPECT_EQ(writer.Write("x", 1), 0);
    }
    EXPECT_TRUE(onlyFile());
    {
        CAtomicFileWriter writer;
        ASSERT_EQ(writer.Open(path, 0600), 0);
        FailNextAtomicWriteForTesting(EIO);  // taken by the next writer opened, not this one
        EXPECT_EQ(writer.Write("new ", 4), 0);
        EXPECT_EQ(writer.Write("bytes", 5), 0);
        ASSERT_EQ(writer.Commit(), 0);
        ASSERT_EQ(ReadWholeFile(path, &data), 0);
        EXPECT_EQ(data, "new bytes");
        uint32_t mode = 0;
        ASSERT_EQ(FileMode(path, &mode), 0);
        EXPECT_EQ(mode, 0600u);
    }
    {
        CAtomicFileWriter writer;
        ASSERT_EQ(writer.Open(path), 0);
        EXPECT_EQ(writer.Write("lost", 4), 0);
        EXPECT_EQ(writer.Commit(), EIO);
        ASSERT_EQ(ReadWholeFile(path, &data), 0);
        EXPECT_EQ(data, "new bytes");
        EXPECT_TRUE(onlyFile());
    }
    CAtomicFileWriter nowhere;
    EXPECT_EQ(nowhere.Open(JoinPath(m_dir, "no/such")), ENOENT);
    EXPECT_NE(nowhere.Write("x", 1), 0);
    EXPECT_NE(nowhere.Commit(), 0);
}

TEST_F(FileUtilTest, DigestsDependOnTheBytesNotOnHowTheyWereSplit) {
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += static_cast<char>(i * 7 + i / 13);
    CDigestBuilder whole;
    whole.Add(text.data(), text.size());
    for (size_t piece : {1, 3, 8, 9, 64, 999}) {
        CDigestBuilder split;
        for (size_t at = 0; at < text.size(); at += piece)
            split.Add(text.data() + at, std::min(piece, text.size() - at));
        EXPECT_EQ(split.Finish(), whole.Finish()) << piece;
    }
    EXPECT_EQ(whole.Finish().size, 1000u);
    // One byte changed, one byte more, or a zero byte more all give another digest.
    std::string changed = text;
    changed[500] ^= 1;
    for (const std::string& other : {changed, text + "x", text + std::string(1, '\0')}) {
        CDigestBuilder d;
        d.Add(other.data(), other.size());
        EXPECT_NE(d.Finish(), whole.Finish());
    }
    // The reader's digest is that of the file's bytes.
    const std::string path = JoinPath(m_dir, "digest");
    ASSERT_EQ(WriteFileAtomic(path, text), 0);
    CFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    EXPECT_EQ(reader.Size(), text.size());
    char buffer[77];
    std::string back;
    while (size_t n = reader.Read(buffer, sizeof buffer))
        back.append(buffer, n);
    EXPECT_EQ(reader.Error(), 0);
    EXPECT_EQ(back, text);
    EXPECT_EQ(reader.Digest(), whole.Finish());
    FileStamp stamp;
    ASSERT_TRUE(GetFileStamp(path, &stamp));
    EXPECT_EQ(reader.Stamp(), stamp);
    EXPECT_EQ(reader.Open(JoinPath(m_dir, "missing")), ENOENT);
    EXPECT_EQ(reader.Open(m_dir), EISDIR);
}

}  // namespace
}  // namespace platform

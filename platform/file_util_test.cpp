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
    ASSERT_EQ(WriteFileAtomic(path, "two", 0644), 0);
    ASSERT_EQ(ReadWholeFile(path, &data), 0);
    EXPECT_EQ(data, "two");
    ASSERT_EQ(FileMode(path, &mode), 0);
    EXPECT_EQ(mode, 0644u);
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

}  // namespace
}  // namespace platform

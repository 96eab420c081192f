// Handles, positioned reads and the log line of the file library.
#include "intl/filekit/filekit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "intl/test_support.h"

namespace {

using glossel::testing::CTempDir;

TEST(FilekitTest, ReadsSeeksAndReportsShortReads) {
    CTempDir dir;
    glossel::testing::WriteBytes(dir.File("data"), {'0', '1', '2', '3', '4', '5'});
    int32_t handle = 0;
    ASSERT_EQ(cFileOpen(dir.File("data").c_str(), 0x41, &handle), CFILE_OK);
    int64_t position = -1;
    ASSERT_EQ(cFileSeek(handle, 0, CFILE_SEEK_END, &position), CFILE_OK);
    EXPECT_EQ(position, 6);
    ASSERT_EQ(cFileSeek(handle, 2, CFILE_SEEK_START, &position), CFILE_OK);
    char buffer[8] = {};
    uint32_t got = 0;
    ASSERT_EQ(cFileRead(handle, buffer, 3, &got), CFILE_OK);
    EXPECT_EQ(std::string(buffer, got), "234");
    EXPECT_EQ(cFileRead(handle, buffer, 5, &got), CFILE_ERR_END_OF_FILE);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(cFileSeek(handle, -1, CFILE_SEEK_START, nullptr), CFILE_ERR_BAD_ARGUMENT);
    EXPECT_EQ(cFileSeek(handle, 0, 7, nullptr), CFILE_ERR_BAD_ARGUMENT);
    EXPECT_EQ(cFileClose(handle), CFILE_OK);
    EXPECT_EQ(cFileClose(handle), CFILE_ERR_BAD_HANDLE);
    EXPECT_EQ(cFileRead(handle, buffer, 1, &got), CFILE_ERR_BAD_HANDLE);
    EXPECT_EQ(cFileRead(0, buffer, 1, &got), CFILE_ERR_BAD_HANDLE);
}

TEST(FilekitTest, OpenErrors) {
    CTempDir dir;
    int32_t handle = 0;
    EXPECT_EQ(cFileOpen(dir.File("missing").c_str(), 0x41, &handle), CFILE_ERR_NOT_FOUND);
    EXPECT_EQ(cFileOpen(dir.File("missing").c_str(), 0x80, &handle), CFILE_ERR_BAD_ARGUMENT);
    EXPECT_EQ(cFileOpen(nullptr, 0x41, &handle), CFILE_ERR_BAD_ARGUMENT);
}

TEST(FilekitTest, LogLinesAreBuiltCutAndAppended) {
    CTempDir dir;
    tccIntlNftRecord record;
    std::memset(&record, 0, sizeof record);
    record.message = "cIntl (1252->MacScript0)";
    record.source = "cIntl";
    char line[CFILE_NFT_BUFFER_SIZE];
    ASSERT_EQ(cFileBuildNftBuffer(0, &record, line), CFILE_OK);
    const std::string text = line;
    EXPECT_EQ(text.substr(21), "cIntl: cIntl (1252->MacScript0)\n");
    EXPECT_EQ(text[4], '-');
    EXPECT_EQ(text.substr(19, 2), "Z ");

    const std::string longMessage(500, 'm');
    record.message = longMessage.c_str();
    ASSERT_EQ(cFileBuildNftBuffer(0, &record, line), CFILE_OK);
    EXPECT_EQ(std::strlen(line), CFILE_NFT_BUFFER_SIZE - 1u);
    EXPECT_EQ(line[CFILE_NFT_BUFFER_SIZE - 2], '\n');

    const std::string log = dir.File("CCNFT.LG");
    ASSERT_EQ(cFileWriteToFile(log.c_str(), "one\n"), CFILE_OK);
    ASSERT_EQ(cFileWriteToFile(log.c_str(), "two\n"), CFILE_OK);
    EXPECT_EQ(glossel::testing::ReadText(log), "one\ntwo\n");
    EXPECT_EQ(cFileWriteToFile(dir.File("no/such/dir").c_str(), "x"), CFILE_ERR_NOT_FOUND);
}

}  // namespace

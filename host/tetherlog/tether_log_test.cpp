// The sync log: file lines, the heading query and the private log file.
#include "host/tetherlog/tether_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/file_util.h"

namespace tetherlog {
namespace {

TEST(FormatLogLine, StampActivityAndTextTabSeparated) {
    EXPECT_EQ(FormatLogLine(981028800, 21, "Mail"), "2001-02-01 12:00:00\t21\tMail\n");
    EXPECT_EQ(FormatLogLine(0, -1, ""), "1970-01-01 00:00:00\t-1\t\n");
}

TEST(CTetherLog, QueryWaitsForAProblemLineAndRestartsWithEachConduit) {
    char pattern[] = "/tmp/tetherlog_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    std::string path = dir + "/sync.log";

    CTetherLog log;
    std::vector<std::pair<std::string, int32_t>> echoed;
    log.SetEcho(
        [](const char* text, int32_t activity, void* ctx) {
            static_cast<std::vector<std::pair<std::string, int32_t>>*>(ctx)->emplace_back(text,
                                                                                          activity);
        },
        &echoed);
    ASSERT_EQ(log.Begin(path), 0);
    EXPECT_FALSE(log.Query());
    ASSERT_EQ(log.AddLine("", LOG_ACTIVITY_SYNC_STARTED), 0);
    EXPECT_FALSE(log.Query());  // the start line is no reason to skip the heading
    ASSERT_EQ(log.AddLine("-- Mail", LOG_ACTIVITY_TEXT), 0);
    EXPECT_TRUE(log.Query());
    ASSERT_EQ(log.AddLine("Mail", LOG_ACTIVITY_SYNC_FAILED), 0);
    EXPECT_TRUE(log.Query());
    ASSERT_EQ(log.AddLine("", LOG_ACTIVITY_SYNC_STARTED), 0);
    EXPECT_FALSE(log.Query());  // the next conduit writes its own heading
    EXPECT_EQ(log.ActivityCount(LOG_ACTIVITY_SYNC_STARTED), 2);
    EXPECT_EQ(log.ActivityCount(LOG_ACTIVITY_SYNC_FAILED), 1);
    log.End();
    ASSERT_EQ(echoed.size(), 4u);
    EXPECT_EQ(echoed[1], (std::pair<std::string, int32_t>("-- Mail", -1)));

    // Appended, private, one line each.
    ASSERT_EQ(log.Begin(path), 0);
    EXPECT_EQ(log.ActivityCount(LOG_ACTIVITY_SYNC_STARTED), 0);
    ASSERT_EQ(log.AddLine("again", 20), 0);
    log.End();
    std::string text;
    ASSERT_EQ(platform::ReadWholeFile(path, &text), 0);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    EXPECT_NE(text.find("\t-1\t-- Mail\n"), std::string::npos);
    EXPECT_NE(text.find("\t20\tagain\n"), std::string::npos);
    uint32_t mode = 0;
    ASSERT_EQ(platform::FileMode(path, &mode), 0);
    EXPECT_EQ(mode & 0777, 0600u);

    // A folder that does not exist: the operation runs without a file.
    EXPECT_EQ(log.Begin(dir + "/missing/sync.log"), TETHERLOG_ERR_WRITE);
    EXPECT_EQ(log.AddLine("x", -1), 0);
    log.End();
    std::filesystem::remove_all(dir);
}

TEST(CTetherLog, ALineTheLogFileRefusesIsReportedOnTheFailureStream) {
    // /dev/full takes the open and refuses every write with ENOSPC, as a full disk does.
    CTetherLog log;
    std::FILE* failures = std::tmpfile();
    ASSERT_NE(failures, nullptr);
    log.SetFailureStreamForTesting(failures);
    ASSERT_EQ(log.Begin("/dev/full"), 0);
    EXPECT_EQ(log.AddLine("Mail", LOG_ACTIVITY_SYNC_FAILED), TETHERLOG_ERR_WRITE);
    EXPECT_EQ(log.AddLine("   - second", LOG_ACTIVITY_TEXT), TETHERLOG_ERR_WRITE);
    log.End();
    std::rewind(failures);
    std::string text;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), failures)) > 0)
        text.append(buffer, n);
    std::fclose(failures);
    EXPECT_NE(text.find("tetherlog: cannot write the sync log /dev/full: "), std::string::npos)
        << text;
    EXPECT_NE(text.find("\t21\tMail\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\t-1\t   - second\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("cannot write", text.find("cannot write") + 1), std::string::npos)
        << "the reason is given once: " << text;
}

}  // namespace
}  // namespace tetherlog

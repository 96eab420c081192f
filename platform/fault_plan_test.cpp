// The fault plan of the file calls, run with TETHER_FAULT_PLAN=fail:3:ENOSPC (set by the
// build): the third file call and every later one fail with ENOSPC.
#include "platform/fault_plan.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/file_util.h"

namespace {

TEST(FaultPlan, FailsTheNthFileCallAndEveryLaterOneLeavingTheOldFile) {
    ASSERT_TRUE(platform::FaultPlanActive());
    char pattern[] = "/tmp/fault_plan_test_XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::string path = dir + "/state";
    {
        // Created without the platform layer, so the plan's count starts at the replacement.
        FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("old", f);
        std::fclose(f);
    }
    // Calls 1 and 2 (write, fsync) pass; call 3 (the rename) fails.
    EXPECT_EQ(platform::WriteFileAtomic(path, "new", 0600), ENOSPC);
    std::string text;
    ASSERT_EQ(platform::ReadWholeFile(path, &text), 0);
    EXPECT_EQ(text, "old");
    // A full disk stays full: later writes fail at once, and the temporary file of the
    // failed replacement was removed.
    platform::CAppendFile journal;
    ASSERT_EQ(journal.Open(dir + "/journal"), 0);
    EXPECT_EQ(journal.Append("line\n", true), ENOSPC);
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        files += e.path().filename().string().rfind("state.tmp", 0) == 0 ? 1 : 0;
    EXPECT_EQ(files, 0u);
    EXPECT_EQ(platform::RemoveFile(path), 0);
    std::filesystem::remove_all(dir);
}

}  // namespace

// Starting programs: exit status, signals and missing programs.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace platform {
namespace {

TEST(ProcessTest, ExitStatusSignalAndMissingProgram) {
    int code = -5;
    ASSERT_EQ(RunProcessAndWait({"sh", "-c", "exit 3"}, &code), 0);
    EXPECT_EQ(code, 3);
    ASSERT_EQ(RunProcessAndWait({"/bin/sh", "-c", "test \"$1\" = 'a b/c'", "sh", "a b/c"}, &code),
              0);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(RunProcessAndWait({"sh", "-c", "kill -TERM $$"}, &code), 0);
    EXPECT_EQ(code, 128 + 15);
    EXPECT_EQ(RunProcessAndWait({"/nonexistent/program"}, &code), ENOENT);
    EXPECT_EQ(RunProcessAndWait({}, &code), EINVAL);
}

}  // namespace
}  // namespace platform

// Locks on lock files: exclusion within and across processes, release at exit.
#include "platform/file_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string TempDir() {
    char pattern[] = "/tmp/file_lock_test_XXXXXX";
    return mkdtemp(pattern);
}

TEST(FileLock, SecondLockIsRefusedUntilTheFirstIsReleased) {
    const std::string dir = TempDir();
    const std::string path = dir + "/sync.lock";
    platform::CFileLock first, second;
    ASSERT_EQ(first.TryLock(path), 0);
    EXPECT_TRUE(first.Held());
    EXPECT_EQ(second.TryLock(path), EWOULDBLOCK);
    EXPECT_FALSE(second.Held());
    first.Unlock();
    EXPECT_EQ(second.TryLock(path), 0);
    EXPECT_NE(platform::CFileLock().TryLock(dir + "/missing/sync.lock"), 0);
    std::filesystem::remove_all(dir);
}

TEST(FileLock, ALockHeldByAKilledProcessIsFree) {
    const std::string dir = TempDir();
    const std::string path = dir + "/sync.lock";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::CFileLock lock;
        char c = lock.TryLock(path) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    platform::CFileLock mine;
    EXPECT_EQ(mine.TryLock(path), EWOULDBLOCK);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(mine.TryLock(path), 0);
    close(ready[0]);
    close(ready[1]);
    std::filesystem::remove_all(dir);
}

}  // namespace

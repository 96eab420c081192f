// Program start through posix_spawn and waitpid.
#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace platform {

int32_t RunProcessAndWait(const std::vector<std::string>& argv, int* exitCode) {
    if (argv.empty() || argv[0].empty())
        return EINVAL;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    // posix_spawnp reports a program that cannot be executed as its result, not as an exit
    // status of 127, so a missing program is told apart from a failing one.
    int err = ::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
    if (err != 0)
        return err;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return errno;
    }
    if (WIFEXITED(status)) {
        *exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        *exitCode = 128 + WTERMSIG(status);
    } else {
        *exitCode = -1;
    }
    return 0;
}

}  // namespace platform

// The fault plan of the file calls: one counter per process, found by every copy of the
// platform layer (each shared library links its own) through the environment.
#include "platform/fault_plan.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {
namespace {

enum class PlanKind { None, Count, Abort, Fail, Once };

struct FaultState {
    PlanKind kind = PlanKind::None;
    uint64_t at = 0;
    int32_t error = 0;
    uint64_t calls = 0;
    char report[512] = {};
};

// The variable that holds the shared state's address, with the process id so that a child
// process (which inherits the environment) never takes its parent's address.
constexpr const char* STATE_VARIABLE = "TETHER_FAULT_STATE";

const char* CallName(FileCall call) {
    switch (call) {
        case FileCall::Write:
            return "write";
        case FileCall::Fsync:
            return "fsync";
        case FileCall::Rename:
            return "rename";
        case FileCall::Unlink:
            return "unlink";
    }
    return "?";
}

int32_t ParseErrno(const std::string& text) {
    if (text == "ENOSPC")
        return ENOSPC;
    if (text == "EIO")
        return EIO;
    if (text == "EDQUOT")
        return EDQUOT;
    int value = std::atoi(text.c_str());
    return value > 0 ? value : EIO;
}

void WriteReport() {
    const char* found = std::getenv(STATE_VARIABLE);
    if (found == nullptr)
        return;
    void* address = nullptr;
    long pid = 0;
    if (std::sscanf(found, "%ld:%p", &pid, &address) != 2 || pid != static_cast<long>(getpid()))
        return;
    const FaultState* state = static_cast<const FaultState*>(address);
    if (state->report[0] == '\0')
        return;
    // Plain calls: the report is not a counted file call.
    int fd = ::open(state->report, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    char line[64];
    int n = std::snprintf(line, sizeof(line), "calls %llu\n",
                          static_cast<unsigned long long>(state->calls));
    (void)!::write(fd, line, static_cast<size_t>(n));
    ::close(fd);
}

FaultState* NewState() {
    auto* state = new FaultState();  // lives as long as the process
    const char* plan = std::getenv("TETHER_FAULT_PLAN");
    std::string text = plan != nullptr ? plan : "";
    auto field = [&](size_t index) {
        size_t start = 0;
        for (size_t i = 0; i < index && start != std::string::npos; ++i) {
            start = text.find(':', start);
            if (start != std::string::npos)
                ++start;
        }
        if (start == std::string::npos)
            return std::string();
        return text.substr(start, text.find(':', start) - start);
    };
    const std::string kind = field(0);
    state->at = std::strtoull(field(1).c_str(), nullptr, 10);
    if (kind == "count")
        state->kind = PlanKind::Count;
    else if (kind == "abort")
        state->kind = PlanKind::Abort;
    else if (kind == "fail")
        state->kind = PlanKind::Fail;
    else if (kind == "once")
        state->kind = PlanKind::Once;
    state->error = ParseErrno(field(2));
    if (const char* report = std::getenv("TETHER_FAULT_REPORT"))
        std::snprintf(state->report, sizeof(state->report), "%s", report);
    char value[64];
    std::snprintf(value, sizeof(value), "%ld:%p", static_cast<long>(getpid()),
                  static_cast<void*>(state));
    setenv(STATE_VARIABLE, value, 1);
    std::atexit(&WriteReport);
    return state;
}

FaultState* State() {
    static FaultState* mine = nullptr;
    if (mine != nullptr)
        return mine;
    if (const char* found = std::getenv(STATE_VARIABLE)) {
        void* address = nullptr;
        long pid = 0;
        if (std::sscanf(found, "%ld:%p", &pid, &address) == 2 &&
            pid == static_cast<long>(getpid()) && address != nullptr) {
            mine = static_cast<FaultState*>(address);
            return mine;
        }
    }
    mine = NewState();
    return mine;
}

}  // namespace

bool FaultPlanActive() {
    static const bool active = std::getenv("TETHER_FAULT_PLAN") != nullptr;
    return active;
}

int32_t FileCallFault(FileCall call) {
    if (!FaultPlanActive())
        return 0;
    FaultState* state = State();
    const uint64_t n = ++state->calls;
    switch (state->kind) {
        case PlanKind::Abort:
            if (n == state->at) {
                std::fprintf(stderr, "fault plan: killed at file call %llu (%s)\n",
                             static_cast<unsigned long long>(n), CallName(call));
                std::fflush(stderr);
                ::kill(::getpid(), SIGKILL);
            }
            return 0;
        case PlanKind::Fail:
            // A full disk refuses what needs room; removing and renaming still work.
            if (n == state->at)
                return state->error;
            return n > state->at && (call == FileCall::Write || call == FileCall::Fsync)
                       ? state->error
                       : 0;
        case PlanKind::Once:
            return n == state->at ? state->error : 0;
        default:
            return 0;
    }
}

}  // namespace platform

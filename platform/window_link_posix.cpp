// Window endpoints as Unix datagram sockets named after a hash of the window title.
#include "platform/window_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/bytes.h"
#include "platform/file_util.h"
#include "platform/paths.h"

namespace platform {
namespace {

constexpr size_t MESSAGE_BYTES = 20;

// FNV-1a: a stable, short file name for any title.
std::string EndpointPath(const std::string& title) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : title) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char name[32];
    std::snprintf(name, sizeof name, "w%016llx.sock", static_cast<unsigned long long>(h));
    return JoinPath(RuntimeFolder(), name);
}

bool FillAddress(const std::string& path, sockaddr_un* addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path)
        return false;
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A datagram socket connected to the endpoint of `path`, or -1 with errno set.
int ConnectTo(const std::string& path) {
    sockaddr_un addr{};
    if (!FillAddress(path, &addr)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

}  // namespace

std::string RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        return JoinPath(runtime, "tethermail");
    return JoinPath(PlatformHome(), "run");
}

std::unique_ptr<CWindowEndpoint> CWindowEndpoint::Create(const std::string& title, int32_t* error) {
    *error = CreateDirectories(RuntimeFolder(), 0700);
    if (*error != 0)
        return nullptr;
    std::string path = EndpointPath(title);
    int probe = ConnectTo(path);
    if (probe >= 0) {
        ::close(probe);
        *error = EADDRINUSE;
        return nullptr;
    }
    // Nobody listens there: whatever file is left belongs to a process that ended.
    if (errno == ECONNREFUSED)
        (void)::unlink(path.c_str());
    sockaddr_un addr{};
    if (!FillAddress(path, &addr)) {
        *error = ENAMETOOLONG;
        return nullptr;
    }
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        *error = errno;
        ::close(fd);
        return nullptr;
    }
    *error = 0;
    return std::unique_ptr<CWindowEndpoint>(new CWindowEndpoint(fd, path));
}

CWindowEndpoint::~CWindowEndpoint() {
    ::close(m_fd);
    (void)::unlink(m_path.c_str());
}

bool CWindowEndpoint::Receive(PostedMessage* out, int timeoutMs) {
    for (;;) {
        uint8_t buf[64];
        ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n == static_cast<ssize_t>(MESSAGE_BYTES)) {
            out->message = GetU32LE(buf);
            out->wParam = static_cast<uint64_t>(GetU32LE(buf + 4)) |
                          (static_cast<uint64_t>(GetU32LE(buf + 8)) << 32);
            out->lParam = static_cast<int64_t>(static_cast<uint64_t>(GetU32LE(buf + 12)) |
                                               (static_cast<uint64_t>(GetU32LE(buf + 16)) << 32));
            return true;
        }
        if (n >= 0)
            continue;  // not a message: dropped
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        if (timeoutMs <= 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        int ready = ::poll(&p, 1, timeoutMs);
        if (ready <= 0)
            return false;
        timeoutMs = 0;  // one wait only; what arrived is read above
    }
}

bool WindowExists(const std::string& title) {
    int fd = ConnectTo(EndpointPath(title));
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool PostWindowMessage(const std::string& title, uint32_t message, uint64_t wParam,
                       int64_t lParam) {
    int fd = ConnectTo(EndpointPath(title));
    if (fd < 0)
        return false;
    uint8_t buf[MESSAGE_BYTES];
    PutU32LE(buf, message);
    PutU32LE(buf + 4, static_cast<uint32_t>(wParam));
    PutU32LE(buf + 8, static_cast<uint32_t>(wParam >> 32));
    PutU32LE(buf + 12, static_cast<uint32_t>(static_cast<uint64_t>(lParam)));
    PutU32LE(buf + 16, static_cast<uint32_t>(static_cast<uint64_t>(lParam) >> 32));
    ssize_t n;
    do {
        n = ::send(fd, buf, sizeof buf, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    return n == static_cast<ssize_t>(sizeof buf);
}

}  // namespace platform

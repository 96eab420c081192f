// Top-level windows known across processes by their title, and messages posted to them.
//
// A process that shows a window whose title other programs look for creates a
// CWindowEndpoint for that title; others test for it with WindowExists and post messages to
// it with PostWindowMessage. Each endpoint is a Unix datagram socket in the per-user folder
// RuntimeFolder() (mode 0700), named after a hash of the title. An endpoint left behind by a
// process that ended does not count as a window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// $XDG_RUNTIME_DIR/tethermail when XDG_RUNTIME_DIR is set, else PlatformHome()/run.
std::string RuntimeFolder();

struct PostedMessage {
    uint32_t message = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
};

class CWindowEndpoint {
public:
    // The endpoint for `title`, or null with a positive errno value in *error (EADDRINUSE
    // when a live endpoint of that title exists).
    static std::unique_ptr<CWindowEndpoint> Create(const std::string& title, int32_t* error);
    ~CWindowEndpoint();  // removes the endpoint
    CWindowEndpoint(const CWindowEndpoint&) = delete;
    CWindowEndpoint& operator=(const CWindowEndpoint&) = delete;

    // A descriptor that becomes readable when a message is waiting (for event loops).
    int Descriptor() const { return m_fd; }
    // The next waiting message; false when none arrives within timeoutMs (0 = do not wait).
    // Datagrams that are not messages are dropped.
    bool Receive(PostedMessage* out, int timeoutMs = 0);

private:
    CWindowEndpoint(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    int m_fd;
    std::string m_path;
};

// Whether a live endpoint with exactly this title exists.
bool WindowExists(const std::string& title);

// Posts a message to the endpoint of `title` without waiting for it to be handled; false
// when there is no such endpoint.
bool PostWindowMessage(const std::string& title, uint32_t message, uint64_t wParam, int64_t lParam);

}  // namespace platform

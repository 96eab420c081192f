// The sync log of one operation.
#include "host/tetherlog/tether_log.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/file_util.h"
#include "platform/local_time.h"

namespace tetherlog {

std::string FormatLogLine(int64_t secondsSince1970, int32_t activity, std::string_view text) {
    platform::LocalTime t{};
    char stamp[64];
    if (platform::UtcToLocal(secondsSince1970, &t)) {
        std::snprintf(stamp, sizeof(stamp), "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
    } else {
        std::snprintf(stamp, sizeof(stamp), "0000-00-00 00:00:00");
    }
    std::string line = stamp;
    line += '\t';
    line += std::to_string(activity);
    line += '\t';
    line += text;
    line += '\n';
    return line;
}

CTetherLog& CTetherLog::Default() {
    static CTetherLog log;
    return log;
}

int32_t CTetherLog::Begin(const std::string& path) {
    End();
    m_problemLogged = false;
    m_counts.clear();
    if (path.empty())
        return TETHERLOG_ERR_NONE;
    // The log names mail (senders, subjects): a new file is private from the start.
    m_path = path;
    m_writeFailed = false;
    return m_file.Open(path, 0600) == 0 ? TETHERLOG_ERR_NONE : TETHERLOG_ERR_WRITE;
}

void CTetherLog::End() {
    m_file.Close();
}

void CTetherLog::SetEcho(TetherlogEchoHook hook, void* context) {
    m_echo = hook;
    m_echoContext = context;
}

int32_t CTetherLog::AddLine(std::string_view text, int32_t activity) {
    ++m_counts[activity];
    if (activity == LOG_ACTIVITY_SYNC_STARTED) {
        m_problemLogged = false;  // each conduit's part of the log gets its own heading
    } else if (activity != LOG_ACTIVITY_SYNC_FINISHED && activity != LOG_ACTIVITY_SYNC_FAILED) {
        m_problemLogged = true;
    }
    if (m_echo != nullptr) {
        std::string copy(text);
        m_echo(copy.c_str(), activity, m_echoContext);
    }
    if (!m_file.IsOpen())
        return TETHERLOG_ERR_NONE;
    int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    const std::string line = FormatLogLine(now, activity, text);
    const int32_t e = m_file.Append(line, false);
    if (e == 0)
        return TETHERLOG_ERR_NONE;
    // A line the log cannot take (a full disk) is not lost without a word: it goes to the
    // failure stream, after one line that says why.
    if (m_failureStream != nullptr) {
        if (!m_writeFailed)
            std::fprintf(m_failureStream, "tetherlog: cannot write the sync log %s: %s\n",
                         m_path.c_str(), std::strerror(e));
        std::fprintf(m_failureStream, "tetherlog: %s", line.c_str());
        std::fflush(m_failureStream);
    }
    m_writeFailed = true;
    return TETHERLOG_ERR_WRITE;
}

int32_t CTetherLog::ActivityCount(int32_t activity) const {
    auto it = m_counts.find(activity);
    return it == m_counts.end() ? 0 : it->second;
}

}  // namespace tetherlog

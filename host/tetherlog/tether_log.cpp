// The sync log of one operation.
#include "host/tetherlog/tether_log.h"

#include <chrono>
#include <cstdio>

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
    if (!platform::FileExists(path) && platform::WriteFileAtomic(path, "", 0600) != 0)
        return TETHERLOG_ERR_WRITE;
    m_file.open(path, std::ios::out | std::ios::app | std::ios::binary);
    return m_file.is_open() ? TETHERLOG_ERR_NONE : TETHERLOG_ERR_WRITE;
}

void CTetherLog::End() {
    if (m_file.is_open())
        m_file.close();
    m_file.clear();
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
    if (!m_file.is_open())
        return TETHERLOG_ERR_NONE;
    int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    m_file << FormatLogLine(now, activity, text);
    m_file.flush();
    return m_file.good() ? TETHERLOG_ERR_NONE : TETHERLOG_ERR_WRITE;
}

int32_t CTetherLog::ActivityCount(int32_t activity) const {
    auto it = m_counts.find(activity);
    return it == m_counts.end() ? 0 : it->second;
}

}  // namespace tetherlog

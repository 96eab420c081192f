// The sync log of one operation: lines with activity codes, appended to a file with a
// time stamp and echoed to the host as they come.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

#include "host/tetherlog/tetherlog.h"
#include "platform/file_util.h"

namespace tetherlog {

// One line as written to the log file: "YYYY-MM-DD HH:MM:SS<TAB>activity<TAB>text", local
// time. Line ends inside the text are written as they are.
std::string FormatLogLine(int64_t secondsSince1970, int32_t activity, std::string_view text);

class CTetherLog {
public:
    static CTetherLog& Default();

    [[nodiscard]] int32_t Begin(const std::string& path);
    void End();
    void SetEcho(TetherlogEchoHook hook, void* context);
    [[nodiscard]] int32_t AddLine(std::string_view text, int32_t activity);
    bool Query() const { return m_problemLogged; }
    int32_t ActivityCount(int32_t activity) const;
    // Where a line that cannot be written to the log file is reported instead (standard
    // error unless a test says otherwise).
    void SetFailureStreamForTesting(std::FILE* stream) { m_failureStream = stream; }

private:
    platform::CAppendFile m_file;
    std::string m_path;
    bool m_writeFailed = false;  // the log file refused a line in this operation
    std::FILE* m_failureStream = stderr;
    bool m_problemLogged = false;
    std::map<int32_t, int32_t> m_counts;
    TetherlogEchoHook m_echo = nullptr;
    void* m_echoContext = nullptr;
};

}  // namespace tetherlog

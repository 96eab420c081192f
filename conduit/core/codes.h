// Result codes of the conduit; 0 is success. Codes and log texts share one number space.
#pragma once

#include <cstdint>

namespace torrim {

inline constexpr int32_t RESULT_OK = 0;
inline constexpr int32_t RESULT_FAILURE = -1;

inline constexpr int32_t ERR_NO_WRITE_BUFFER = 4104;
inline constexpr int32_t ERR_NO_BUFFER = 4106;
inline constexpr int32_t ERR_CANNOT_PACK = 4111;
inline constexpr int32_t ERR_CANNOT_UNPACK = 4112;
inline constexpr int32_t ERR_UNSUPPORTED_ACTION = 4114;

inline constexpr int32_t ERR_INFO_BAD_TYPE = 4208;
inline constexpr int32_t ERR_INFO_NO_OUT = 4209;
inline constexpr int32_t ERR_INFO_BAD_SIZE = 4211;
inline constexpr int32_t ERR_INFO_NO_IN = 4212;
inline constexpr int32_t ERR_INFO_BAD_REQUEST = 4213;
inline constexpr int32_t ERR_INFO_NO_NAME = 4214;
inline constexpr int32_t ERR_INFO_NO_OUT_SIZE = 4215;

inline constexpr int32_t MAIL_ERR_UNAVAILABLE = 4352;
inline constexpr int32_t ERR_STATE_FILE_MISSING = 4354;

// Codes of the sync library that the conduit interprets.
inline constexpr int32_t SYNC_NOT_FOUND = 16387;
inline constexpr int32_t SYNC_HANDHELD_FULL = 16403;
inline constexpr int32_t SYNC_NO_ROOM = 16404;
inline constexpr int32_t SYNC_CONNECTION_LOST_BIT = 0x2000;

// Activity codes that go with each log line.
enum LogActivity : int32_t {
    LOG_TEXT = -1,
    LOG_READ_FAILED = 8,
    LOG_WRITE_FAILED = 9,
    LOG_PURGE_FAILED = 10,
    LOG_DESKTOP_MAIL_FAILED = 13,
    LOG_SAVE_FAILED = 17,
    LOG_SYNC_STARTED = 19,
    LOG_SYNC_FINISHED = 20,
    LOG_SYNC_FAILED = 21,
    LOG_CONFIG_WARNING = 22,
};

}  // namespace torrim

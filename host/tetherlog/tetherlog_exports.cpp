// The exported C calls of libtetherlog.so.
#include "host/tetherlog/tether_log.h"
#include "host/tetherlog/tetherlog.h"
#include "platform/export_guard.h"

namespace {

template <typename F>
int32_t Guard(F&& f) {
    return platform::GuardExport(TETHERLOG_ERR_GENERIC, std::forward<F>(f));
}

tetherlog::CTetherLog& L() {
    return tetherlog::CTetherLog::Default();
}

}  // namespace

extern "C" {

int32_t LogAddLine(const char* text, int32_t activity, int32_t reserved) {
    (void)reserved;  // always 0
    return Guard([&] {
        if (text == nullptr)
            return TETHERLOG_ERR_BAD_ARGUMENT;
        return L().AddLine(text, activity);
    });
}
int32_t LogQuery(void) {
    return Guard([&] { return L().Query() ? 1 : 0; });
}
int32_t TetherlogBegin(const char* path) {
    return Guard([&] { return L().Begin(path == nullptr ? std::string() : std::string(path)); });
}
int32_t TetherlogEnd(void) {
    return Guard([&] {
        L().End();
        return TETHERLOG_ERR_NONE;
    });
}
void TetherlogSetEcho(TetherlogEchoHook hook, void* context) {
    L().SetEcho(hook, context);
}
int32_t TetherlogActivityCount(int32_t activity) {
    return Guard([&] { return L().ActivityCount(activity); });
}

}  // extern "C"

// The exported C calls of libsyncor.so: each one guards against an escaping exception.
#include "host/syncor/sync_session.h"
#include "host/syncor/syncor.h"
#include "platform/export_guard.h"

namespace {

template <typename F>
int32_t Guard(F&& f) {
    return platform::GuardExport(SYNC_ERR_GENERIC, std::forward<F>(f));
}

syncor::CSyncSession& S() {
    return syncor::CSyncSession::Default();
}

// A conduit call: a failure of the image's own file ends the operation (see Outcome).
template <typename F>
int32_t Checked(F&& f) {
    return S().Outcome(Guard(std::forward<F>(f)));  // Outcome throws nothing
}

}  // namespace

extern "C" {

int32_t SyncRegisterConduit(int32_t* handle) {
    return Checked([&] { return S().Register(handle); });
}
int32_t SyncUnregisterConduit(int32_t handle) {
    return Checked([&] { return S().Unregister(handle); });
}
int32_t SyncOpenDatabase(const char* name, int32_t card, uint8_t* handle, uint8_t mode) {
    (void)mode;  // every open database may be read and written
    return Checked([&] { return S().OpenDatabase(name, card, handle); });
}
int32_t SyncCreateDatabase(CreateDatabaseRequest* request) {
    return Checked([&] { return S().CreateDatabase(request); });
}
int32_t SyncCloseDatabase(uint8_t handle) {
    return Checked([&] { return S().CloseDatabase(handle); });
}
int32_t SyncClearChangeMarks(uint8_t handle) {
    return Checked([&] { return S().ClearChangeMarks(handle); });
}
int32_t SyncWriteRecord(RecordRequest* request) {
    return Checked([&] { return S().WriteRecord(request); });
}
int32_t SyncDeleteRecord(RecordRequest* request) {
    return Checked([&] { return S().DeleteRecord(request); });
}
int32_t SyncReadRecordWithId(RecordRequest* request) {
    return Checked([&] { return S().ReadRecordWithId(request); });
}
int32_t SyncReadNextChangedRecord(RecordRequest* request) {
    return Checked([&] { return S().ReadNextChanged(request); });
}
int32_t SyncPurgeDeletedRecords(uint8_t handle) {
    return Checked([&] { return S().PurgeDeleted(handle); });
}
int32_t SyncUserNotice(const char* text) {
    return Checked([&] { return S().UserNotice(text); });
}
int32_t SyncReadAppPreference(PreferenceRequest* request) {
    return Checked([&] { return S().ReadAppPreference(request); });
}
int32_t SyncReadNextRecInCategory(RecordRequest* request) {
    return Checked([&] { return S().ReadNextInCategory(request); });
}
int32_t SyncPurgeAllRecsInCategory(uint8_t handle, int16_t category) {
    return Checked([&] { return S().PurgeCategory(handle, category); });
}
int32_t SyncGetDBRecordCount(uint8_t handle, uint16_t* count) {
    return Checked([&] { return S().RecordCount(handle, count); });
}
int32_t SyncReadPositionXMap(IdListRequest* request) {
    return Checked([&] { return S().ReadIdList(request); });
}
int32_t SyncResetRecordIndex(uint8_t handle) {
    return Checked([&] { return S().ResetRecordIndex(handle); });
}
int32_t SyncYieldCycles(uint16_t cycles) {
    return Checked([&] { return S().Yield(cycles); });
}

int32_t SyncHostAttachImage(const char* path) {
    return Guard([&] { return path == nullptr ? SYNC_ERR_BAD_ARGUMENT : S().Attach(path); });
}
int32_t SyncHostDetachImage(void) {
    return Guard([&] { return S().Detach(); });
}
void SyncHostSetHooks(SyncYieldHook yieldHook, SyncNoticeHook noticeHook, void* context) {
    S().SetHooks(yieldHook, noticeHook, context);
}
int32_t SyncHostGetStatus(SyncHostStatus* status) {
    return Guard([&] {
        if (status == nullptr)
            return SYNC_ERR_BAD_ARGUMENT;
        S().GetStatus(status);
        return SYNC_ERR_NONE;
    });
}

}  // extern "C"

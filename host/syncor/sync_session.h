// The running sync operation: the attached image, open database handles with their
// iteration cursors, registrations, counters, the fault plan and the host's hooks.
// The C calls of syncor.h are thin wrappers over one CSyncSession.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "host/syncor/handheld_image.h"
#include "host/syncor/syncor.h"

namespace syncor {

class CSyncSession {
public:
    // The session the exported calls use.
    static CSyncSession& Default();

    [[nodiscard]] int32_t Attach(const std::string& path);
    int32_t Detach();
    void SetHooks(SyncYieldHook yieldHook, SyncNoticeHook noticeHook, void* context);
    void GetStatus(SyncHostStatus* status) const;

    [[nodiscard]] int32_t Register(int32_t* handle);
    [[nodiscard]] int32_t Unregister(int32_t handle);
    [[nodiscard]] int32_t OpenDatabase(const char* name, int32_t card, uint8_t* handle);
    [[nodiscard]] int32_t CreateDatabase(CreateDatabaseRequest* request);
    [[nodiscard]] int32_t CloseDatabase(uint8_t handle);
    [[nodiscard]] int32_t ClearChangeMarks(uint8_t handle);
    [[nodiscard]] int32_t WriteRecord(RecordRequest* request);
    [[nodiscard]] int32_t DeleteRecord(RecordRequest* request);
    [[nodiscard]] int32_t ReadRecordWithId(RecordRequest* request);
    [[nodiscard]] int32_t ReadNextChanged(RecordRequest* request);
    [[nodiscard]] int32_t PurgeDeleted(uint8_t handle);
    [[nodiscard]] int32_t UserNotice(const char* text);
    [[nodiscard]] int32_t ReadAppPreference(PreferenceRequest* request);
    [[nodiscard]] int32_t ReadNextInCategory(RecordRequest* request);
    [[nodiscard]] int32_t PurgeCategory(uint8_t handle, int16_t category);
    [[nodiscard]] int32_t RecordCount(uint8_t handle, uint16_t* count);
    [[nodiscard]] int32_t ReadIdList(IdListRequest* request);
    [[nodiscard]] int32_t ResetRecordIndex(uint8_t handle);
    [[nodiscard]] int32_t Yield(uint16_t cycles);

    // The answer of a conduit call as the conduit gets it. When the image's file failed
    // (SYNC_ERR_IO: disk full, I/O error; SYNC_ERR_CORRUPT_IMAGE: damage found) the failure
    // is recorded in the status and the call, like every later one of the operation,
    // answers SYNC_ERR_HOST_IO: its bit 13 makes the conduit stop at once instead of
    // reporting each record as a full handheld. Every other code passes unchanged.
    [[nodiscard]] int32_t Outcome(int32_t code);

private:
    struct OpenDatabaseSlot {
        bool open = false;
        int64_t dbId = 0;
        int64_t cursor = 0;  // position of the last record read by an iteration
    };

    // Counts one handheld call and applies the fault plan; non-zero ends the call.
    [[nodiscard]] int32_t BeginCall();
    // The open slot of handle, or null.
    OpenDatabaseSlot* Slot(uint8_t handle);
    // BeginCall, then the open slot of handle into *slot (SYNC_ERR_BAD_HANDLE when none).
    [[nodiscard]] int32_t BeginSlotCall(uint8_t handle, OpenDatabaseSlot** slot);
    // BeginCall, then the request (SYNC_ERR_BAD_ARGUMENT when null) and the open slot of its
    // database handle into *slot.
    template <typename Request>
    [[nodiscard]] int32_t BeginRequestCall(const Request* request, OpenDatabaseSlot** slot) {
        if (int32_t e = BeginCall())
            return e;
        if (request == nullptr)
            return SYNC_ERR_BAD_ARGUMENT;
        *slot = Slot(request->dbHandle);
        return *slot != nullptr ? SYNC_ERR_NONE : SYNC_ERR_BAD_HANDLE;
    }
    // Copies a record into the caller's request (size-checked).
    [[nodiscard]] static int32_t FillRequest(const RecordData& record, RecordRequest* request);
    [[nodiscard]] int32_t NextInto(RecordRequest* request, RecordFilter filter);

    std::unique_ptr<CHandheldImage> m_pImage;
    std::array<OpenDatabaseSlot, 256> m_slots{};  // index = handle; 0 is never used
    std::set<int32_t> m_registrations;
    int32_t m_nextRegistration = 1;
    SyncHostStatus m_status{};
    SyncYieldHook m_yieldHook = nullptr;
    SyncNoticeHook m_noticeHook = nullptr;
    void* m_hookContext = nullptr;
};

}  // namespace syncor

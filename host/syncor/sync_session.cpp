// The running sync operation behind the exported Syncor calls.
#include "host/syncor/sync_session.h"

#include <cstring>
#include <vector>

#include "platform/bytes.h"

namespace syncor {

CSyncSession& CSyncSession::Default() {
    static CSyncSession session;
    return session;
}

int32_t CSyncSession::Attach(const std::string& path) {
    Detach();
    auto image = std::make_unique<CHandheldImage>();
    // Before a sync the whole image is checked, indexes against tables included: damage
    // inside a page would otherwise surface half-way through the operation.
    int32_t e = image->Open(path, ImageCheck::Integrity);
    if (e == SYNC_ERR_NOT_FOUND)
        e = SYNC_ERR_IO;
    if (e != SYNC_ERR_NONE)
        return e;
    m_pImage = std::move(image);
    m_status = SyncHostStatus{};
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::Detach() {
    m_slots = {};
    m_registrations.clear();
    // The counters stay: the host reads them after the operation (databases left open...).
    if (m_pImage)
        m_pImage->Close();
    m_pImage.reset();
    return SYNC_ERR_NONE;
}

void CSyncSession::SetHooks(SyncYieldHook yieldHook, SyncNoticeHook noticeHook, void* context) {
    m_yieldHook = yieldHook;
    m_noticeHook = noticeHook;
    m_hookContext = context;
}

void CSyncSession::GetStatus(SyncHostStatus* status) const {
    *status = m_status;
}

int32_t CSyncSession::BeginCall() {
    if (!m_pImage)
        return SYNC_ERR_NO_IMAGE;
    ++m_status.handheldCalls;
    if (m_status.imageFault != 0)
        return SYNC_ERR_HOST_IO;
    if (m_status.connectionLost)
        return SYNC_ERR_LOST_CONNECTION;
    int64_t limit = m_pImage->FaultAfter();
    if (limit >= 0 && m_status.handheldCalls > static_cast<uint64_t>(limit)) {
        m_status.connectionLost = 1;
        return SYNC_ERR_LOST_CONNECTION;
    }
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::Outcome(int32_t code) {
    if (code != SYNC_ERR_IO && code != SYNC_ERR_CORRUPT_IMAGE)
        return code;
    if (!m_pImage)
        return code;
    if (m_status.imageFault == 0) {
        m_status.imageFault = code;
        m_status.imageErrno = m_pImage->SystemErrno();
    }
    return SYNC_ERR_HOST_IO;
}

CSyncSession::OpenDatabaseSlot* CSyncSession::Slot(uint8_t handle) {
    if (handle == 0 || !m_slots[handle].open)
        return nullptr;
    return &m_slots[handle];
}

int32_t CSyncSession::BeginSlotCall(uint8_t handle, OpenDatabaseSlot** slot) {
    if (int32_t e = BeginCall())
        return e;
    *slot = Slot(handle);
    return *slot != nullptr ? SYNC_ERR_NONE : SYNC_ERR_BAD_HANDLE;
}

int32_t CSyncSession::Register(int32_t* handle) {
    if (int32_t e = BeginCall())
        return e;
    if (handle == nullptr)
        return SYNC_ERR_BAD_ARGUMENT;
    int32_t h = m_nextRegistration++;
    if (m_nextRegistration <= 0)
        m_nextRegistration = 1;
    m_registrations.insert(h);
    *handle = h;
    m_status.registeredConduits = static_cast<int32_t>(m_registrations.size());
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::Unregister(int32_t handle) {
    if (int32_t e = BeginCall())
        return e;
    if (m_registrations.erase(handle) == 0)
        return SYNC_ERR_NOT_REGISTERED;
    m_status.registeredConduits = static_cast<int32_t>(m_registrations.size());
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::OpenDatabase(const char* name, int32_t card, uint8_t* handle) {
    if (int32_t e = BeginCall())
        return e;
    if (name == nullptr || handle == nullptr)
        return SYNC_ERR_BAD_ARGUMENT;
    if (card != 0)
        return SYNC_ERR_NOT_FOUND;  // the image has one memory card
    DatabaseInfo info;
    if (int32_t e = m_pImage->FindDatabase(name, &info))
        return e;
    for (int h = 1; h < 256; ++h) {
        if (!m_slots[h].open) {
            m_slots[h] = OpenDatabaseSlot{true, info.dbId, 0};
            ++m_status.openDatabases;
            *handle = static_cast<uint8_t>(h);
            return SYNC_ERR_NONE;
        }
    }
    return SYNC_ERR_TOO_MANY_OPEN;
}

int32_t CSyncSession::CreateDatabase(CreateDatabaseRequest* request) {
    if (int32_t e = BeginCall())
        return e;
    if (request == nullptr)
        return SYNC_ERR_BAD_ARGUMENT;
    if (request->cardNumber != 0)
        return SYNC_ERR_BAD_ARGUMENT;
    int free = 0;
    for (int h = 1; h < 256 && free == 0; ++h)
        if (!m_slots[h].open)
            free = h;
    if (free == 0)
        return SYNC_ERR_TOO_MANY_OPEN;
    DatabaseInfo wanted, created;
    size_t nameLength = strnlen(request->name, sizeof(request->name));
    if (nameLength == sizeof(request->name))
        return SYNC_ERR_BAD_ARGUMENT;  // no terminator
    wanted.name.assign(request->name, nameLength);
    wanted.creator = request->creator;
    wanted.type = request->dbType;
    wanted.card = request->cardNumber;
    if (int32_t e = m_pImage->CreateDatabase(wanted, &created))
        return e;
    m_slots[free] = OpenDatabaseSlot{true, created.dbId, 0};
    ++m_status.openDatabases;
    request->dbHandle = static_cast<uint8_t>(free);
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::CloseDatabase(uint8_t handle) {
    OpenDatabaseSlot* slot = nullptr;
    if (int32_t e = BeginSlotCall(handle, &slot))
        return e;
    *slot = OpenDatabaseSlot{};
    --m_status.openDatabases;
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::ClearChangeMarks(uint8_t handle) {
    OpenDatabaseSlot* slot = nullptr;
    if (int32_t e = BeginSlotCall(handle, &slot))
        return e;
    return m_pImage->ClearChangeMarks(slot->dbId);
}

int32_t CSyncSession::FillRequest(const RecordData& record, RecordRequest* request) {
    request->recordId = record.id;
    request->attributes = record.attributes;
    request->category = record.category;
    request->recordSize = static_cast<uint32_t>(record.data.size());
    if (record.data.empty())
        return SYNC_ERR_NONE;
    // Never write beyond what the caller said its buffer holds.
    if (request->buffer == nullptr || request->bufferSize < record.data.size())
        return SYNC_ERR_BUFFER_TOO_SMALL;
    std::memcpy(request->buffer, record.data.data(), record.data.size());
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::WriteRecord(RecordRequest* request) {
    OpenDatabaseSlot* slot = nullptr;
    if (int32_t e = BeginRequestCall(request, &slot))
        return e;
    // The caller's buffer holds bufferSize bytes: a record said to be larger would be
    // read beyond it.
    if (request->recordSize > SYNC_MAX_RECORD_SIZE || request->recordSize > request->bufferSize ||
        request->category < 0 || request->category > 15 ||
        (request->recordSize > 0 && request->buffer == nullptr))
        return SYNC_ERR_BAD_ARGUMENT;
    RecordData record;
    record.id = request->recordId;
    record.category = request->category;
    record.attributes = request->attributes & SYNC_REC_MODIFIED;
    record.data.assign(reinterpret_cast<const char*>(request->buffer), request->recordSize);
    if (int32_t e = m_pImage->WriteRecord(slot->dbId, &record))
        return e;
    request->recordId = record.id;
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::DeleteRecord(RecordRequest* request) {
    OpenDatabaseSlot* slot = nullptr;
    if (int32_t e = BeginRequestCall(request, &slot))
        return e;
    return m_pImage->RemoveRecord(slot->dbId, request->recordId);
}

int32_t CSyncSession::ReadRecordWithId(RecordRequest* request) {
    OpenDatabaseSlot* slot = nullptr;
    if (int32_t e = BeginRequestCall(request, &slot))
        return e;
    RecordData record;
    if (int32_t e = m_pImage->ReadRecord(slot->dbId, request->recordId, &record))
        return e;
    return FillRequest(record, request);
}

int32_t CSyncSession::NextInto(RecordRequest* request, RecordFilter filter) {
    if (request == nullptr)
        return SYNC_ERR_BAD_ARGUMENT;
    OpenDatabaseSlot* slot = Slot(request->dbHandle);
    if (slot == nullptr)
        return SYNC_ERR_BAD_HANDLE;
    if (filter == RecordFilter::CategoryNotDeleted &&
        (request->category < 0 || request->category > 15))
        return SYNC_ERR_BAD_ARGUMENT;
    RecordData record;
    if (int32_t e =
            m_pImage->NextRecord(slot->dbId, slot->cursor, filter, request->category, &record))
        return e;
    // The cursor moves even when the caller's buffer is too small, so a caller can never
    // loop forever on one record.
    slot->cursor = record.position;
    return FillRequest(record, request);
}

int32_t CSyncSession::ReadNextChanged(RecordRequest* request) {
    if (int32_t e = BeginCall())
        return e;
    return NextInto(request, RecordFilter::Changed);
}

int32_t CSyncSession::ReadNextInCategory(RecordRequest* request) {
    if (int32_t e = BeginCall())
        return e;
    return NextInto(request, RecordFilter::CategoryNotDeleted);
}

int32_t CSyncSession::PurgeDeleted(uint8_t handle) {
    OpenDatabaseSlot* slot = nullptr;
    if (int32_t e = BeginSlotCall(handle, &slot))
        return e;
    return m_pImage->PurgeDeleted(slot->dbId);
}

int32_t CSyncSession::UserNotice(const char* text) {
    if (int32_t e = BeginCall())
        return e;
    if (text == nullptr)
        return SYNC_ERR_BAD_ARGUMENT;
    ++m_status.notices;
    if (m_noticeHook != nullptr)
        m_noticeHook(text, m_hookContext);
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::ReadAppPreference(PreferenceRequest* request) {
    if (int32_t e = BeginCall())
        return e;
    if (request == nullptr)
        return SYNC_ERR_BAD_ARGUMENT;
    Preference pref;
    if (int32_t e = m_pImage->ReadPreference(request->creator, request->preferenceId,
                                             request->backedUp != 0, &pref))
        return e;
    size_t n = pref.data.size();
    if (request->requestedLength != 0xFFFF && n > request->requestedLength)
        n = request->requestedLength;
    if (n > request->bufferSize)
        n = request->bufferSize;
    if (n > 0 && request->buffer == nullptr)
        return SYNC_ERR_BAD_ARGUMENT;
    if (n > 0)
        std::memcpy(request->buffer, pref.data.data(), n);
    request->version = pref.version;
    request->bytesRead = static_cast<uint16_t>(n);
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::PurgeCategory(uint8_t handle, int16_t category) {
    OpenDatabaseSlot* slot = nullptr;
    if (int32_t e = BeginSlotCall(handle, &slot))
        return e;
    return m_pImage->PurgeCategory(slot->dbId, category);
}

int32_t CSyncSession::RecordCount(uint8_t handle, uint16_t* count) {
    OpenDatabaseSlot* slot = nullptr;
    if (int32_t e = BeginSlotCall(handle, &slot))
        return e;
    if (count == nullptr)
        return SYNC_ERR_BAD_ARGUMENT;
    uint32_t n = 0;
    if (int32_t e = m_pImage->CountRecords(slot->dbId, &n))
        return e;
    *count = static_cast<uint16_t>(n > 0xFFFF ? 0xFFFF : n);
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::ReadIdList(IdListRequest* request) {
    OpenDatabaseSlot* slot = nullptr;
    if (int32_t e = BeginRequestCall(request, &slot))
        return e;
    request->idsReturned = 0;
    if (request->idsWanted == 0)
        return SYNC_ERR_NONE;
    // The byte size is only 16 bits wide, so a caller that computed it for 16384 ids or
    // more has a wrapped size: answer what fits in the buffer it really has, and let the
    // caller come back for the rest through firstPosition.
    uint32_t room = request->bufferSize / 4u;
    if (request->buffer == nullptr || room == 0)
        return SYNC_ERR_BAD_ARGUMENT;
    uint32_t wanted = request->idsWanted < room ? request->idsWanted : room;
    std::vector<uint32_t> ids;
    if (int32_t e = m_pImage->IdSlice(slot->dbId, request->firstPosition, wanted, &ids))
        return e;
    for (size_t i = 0; i < ids.size(); ++i)
        platform::PutU32BE(request->buffer + 4 * i, ids[i]);
    request->idsReturned = static_cast<uint16_t>(ids.size());
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::ResetRecordIndex(uint8_t handle) {
    OpenDatabaseSlot* slot = nullptr;
    if (int32_t e = BeginSlotCall(handle, &slot))
        return e;
    slot->cursor = 0;
    return SYNC_ERR_NONE;
}

int32_t CSyncSession::Yield(uint16_t cycles) {
    // Outside an operation there is nobody to hand time to.
    if (!m_pImage)
        return SYNC_ERR_NONE;
    if (int32_t e = BeginCall())
        return e;
    ++m_status.yieldCalls;
    if (m_yieldHook != nullptr)
        m_yieldHook(cycles, m_hookContext);
    return SYNC_ERR_NONE;
}

}  // namespace syncor

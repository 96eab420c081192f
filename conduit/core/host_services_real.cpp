// The host services over the sync host libraries.
#include "conduit/core/host_services_real.h"

#include <climits>
#include <string>

#include "host/intlkit/intlkit.h"
#include "host/profstore/profstore.h"
#include "host/tamarackcmn/tamarack_cmn.h"
#include "host/tetherlog/tetherlog.h"

namespace torrim {
namespace {

constexpr const char* LANGUAGE_LIBRARY = "Rescat.dll";
constexpr int32_t STRING_BUFFER = 4096;

}  // namespace

CRealHostServices& CRealHostServices::Instance() {
    static CRealHostServices services;
    return services;
}

int32_t CRealHostServices::RegisterConduit(int32_t* handle) {
    return SyncRegisterConduit(handle);
}
int32_t CRealHostServices::UnregisterConduit(int32_t handle) {
    return SyncUnregisterConduit(handle);
}
int32_t CRealHostServices::OpenDatabase(const char* name, int32_t card, uint8_t* handle,
                                        uint8_t mode) {
    return SyncOpenDatabase(name, card, handle, mode);
}
int32_t CRealHostServices::CreateDatabase(CreateDatabaseRequest* request) {
    return SyncCreateDatabase(request);
}
int32_t CRealHostServices::CloseDatabase(uint8_t handle) {
    return SyncCloseDatabase(handle);
}
int32_t CRealHostServices::ClearChangeMarks(uint8_t handle) {
    return SyncClearChangeMarks(handle);
}
int32_t CRealHostServices::WriteRecord(RecordRequest* request) {
    return SyncWriteRecord(request);
}
int32_t CRealHostServices::DeleteRecord(RecordRequest* request) {
    return SyncDeleteRecord(request);
}
int32_t CRealHostServices::ReadRecordWithId(RecordRequest* request) {
    return SyncReadRecordWithId(request);
}
int32_t CRealHostServices::ReadNextChangedRecord(RecordRequest* request) {
    return SyncReadNextChangedRecord(request);
}
int32_t CRealHostServices::PurgeDeletedRecords(uint8_t handle) {
    return SyncPurgeDeletedRecords(handle);
}
int32_t CRealHostServices::UserNotice(const char* text) {
    return SyncUserNotice(text);
}
int32_t CRealHostServices::ReadAppPreference(PreferenceRequest* request) {
    return SyncReadAppPreference(request);
}
int32_t CRealHostServices::ReadNextRecInCategory(RecordRequest* request) {
    return SyncReadNextRecInCategory(request);
}
int32_t CRealHostServices::PurgeAllRecsInCategory(uint8_t handle, int16_t category) {
    return SyncPurgeAllRecsInCategory(handle, category);
}
int32_t CRealHostServices::GetDBRecordCount(uint8_t handle, uint16_t* count) {
    return SyncGetDBRecordCount(handle, count);
}
int32_t CRealHostServices::ReadPositionXMap(IdListRequest* request) {
    return SyncReadPositionXMap(request);
}
int32_t CRealHostServices::ResetRecordIndex(uint8_t handle) {
    return SyncResetRecordIndex(handle);
}
void CRealHostServices::YieldCycles(uint16_t cycles) {
    (void)SyncYieldCycles(cycles);  // yielding has no outcome the conduit could act on
}

int32_t CRealHostServices::LogAddLine(const char* text, int32_t activity) {
    return ::LogAddLine(text, activity, 0);
}
int32_t CRealHostServices::LogQuery() {
    return ::LogQuery();
}

int32_t CRealHostServices::UserOfFolder(const char* folder, int32_t* user) {
    return ProfUserOfFolder(folder, user);
}
int32_t CRealHostServices::ReadText(int32_t user, const char* section, const char* key,
                                    char* buffer, int32_t* size, const char* def) {
    return ProfReadText(user, section, key, buffer, size, def);
}
int32_t CRealHostServices::ReadNumber(int32_t user, const char* section, const char* key,
                                      int16_t* value, int16_t def) {
    return ProfReadNumber(user, section, key, value, def);
}
int32_t CRealHostServices::WriteText(int32_t user, const char* section, const char* key,
                                     const char* value) {
    return ProfWriteText(user, section, key, value);
}

void CRealHostServices::OpenLanguageLibrary() {
    if (m_languageDepth++ == 0) {
        m_languageModule = CmnOpenLanguageLibrary(LANGUAGE_LIBRARY, nullptr, &m_defaultModule);
    }
}

void CRealHostServices::ReleaseLanguageLibrary() {
    if (m_languageDepth > 0 && --m_languageDepth == 0) {
        (void)CmnReleaseLanguageLibrary(m_languageModule, m_defaultModule);  // 1 or 0: no error
        m_languageModule = nullptr;
        m_defaultModule = nullptr;
    }
}

std::string CRealHostServices::LoadString(uint32_t id) {
    // Outside an entry point's scope the library is opened for this one look-up.
    const bool temporary = m_languageDepth == 0;
    if (temporary) {
        OpenLanguageLibrary();
    }
    std::string text(STRING_BUFFER, '\0');
    const int32_t length = CmnLoadString(m_languageModule, id, text.data(), STRING_BUFFER);
    text.resize(length > 0 && length < STRING_BUFFER ? static_cast<size_t>(length) : 0);
    if (temporary) {
        ReleaseLanguageLibrary();
    }
    return text;
}

size_t CRealHostServices::ValidateNumberDec(std::string_view text, size_t limit) {
    // The host call reads a terminated text and an int32 limit.
    const std::string terminated(text);
    const int32_t bounded = static_cast<int32_t>(std::min<size_t>(limit, INT32_MAX));
    const int32_t length = ::ValidateNumberDec(terminated.c_str(), bounded);
    return length > 0 ? std::min(static_cast<size_t>(length), text.size()) : 0;
}

}  // namespace torrim

// The conduit's one door to the sync host: the handheld databases, the sync log, the
// per-user settings, the language resource library and safe text cutting. Production code
// uses CRealHostServices (the host libraries' C calls); tests hand in a fake.
//
// Result codes are those of the host libraries: 0 success; 16387 not found (also the end
// of an iteration); 16403/16404 the handheld is full; any code with bit 13 (0x2000) set
// means the handheld connection is lost. Request records and their buffers belong to the
// caller and are only used during the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/syncor/syncor.h"

namespace torrim {

class CHostServices {
public:
    virtual ~CHostServices() = default;

    // ---- handheld (sync library) ----
    virtual int32_t RegisterConduit(int32_t* handle) = 0;
    virtual int32_t UnregisterConduit(int32_t handle) = 0;
    virtual int32_t OpenDatabase(const char* name, int32_t card, uint8_t* handle, uint8_t mode) = 0;
    virtual int32_t CreateDatabase(CreateDatabaseRequest* request) = 0;
    virtual int32_t CloseDatabase(uint8_t handle) = 0;
    virtual int32_t ClearChangeMarks(uint8_t handle) = 0;
    virtual int32_t WriteRecord(RecordRequest* request) = 0;
    virtual int32_t DeleteRecord(RecordRequest* request) = 0;
    virtual int32_t ReadRecordWithId(RecordRequest* request) = 0;
    virtual int32_t ReadNextChangedRecord(RecordRequest* request) = 0;
    virtual int32_t PurgeDeletedRecords(uint8_t handle) = 0;
    virtual int32_t UserNotice(const char* text) = 0;
    virtual int32_t ReadAppPreference(PreferenceRequest* request) = 0;
    virtual int32_t ReadNextRecInCategory(RecordRequest* request) = 0;
    virtual int32_t PurgeAllRecsInCategory(uint8_t handle, int16_t category) = 0;
    virtual int32_t GetDBRecordCount(uint8_t handle, uint16_t* count) = 0;
    virtual int32_t ReadPositionXMap(IdListRequest* request) = 0;
    virtual int32_t ResetRecordIndex(uint8_t handle) = 0;
    // Hands time to the host (the conduit always passes 100).
    virtual void YieldCycles(uint16_t cycles) = 0;

    // ---- sync log ----
    virtual int32_t LogAddLine(const char* text, int32_t activity) = 0;
    // Non-zero when a problem line was already written in this operation.
    virtual int32_t LogQuery() = 0;

    // ---- per-user settings ----
    virtual int32_t UserOfFolder(const char* folder, int32_t* user) = 0;
    // Reads into buffer (in: *size bytes; out: length copied), cut to *size - 1 bytes.
    virtual int32_t ReadText(int32_t user, const char* section, const char* key, char* buffer,
                             int32_t* size, const char* def) = 0;
    virtual int32_t ReadNumber(int32_t user, const char* section, const char* key, int16_t* value,
                               int16_t def) = 0;
    virtual int32_t WriteText(int32_t user, const char* section, const char* key,
                              const char* value) = 0;

    // ---- language resource library ----
    // Opens the conduit's language library and makes it the source of LoadString until
    // the matching ReleaseLanguageLibrary. Calls nest; every open is released.
    virtual void OpenLanguageLibrary() = 0;
    virtual void ReleaseLanguageLibrary() = 0;
    // The text of string `id`, empty when it is missing.
    virtual std::string LoadString(uint32_t id) = 0;

    // ---- text ----
    // The longest length <= limit (and <= the text's length up to a NUL) that does not split
    // a double-byte character of the active code page.
    virtual size_t ValidateNumberDec(std::string_view text, size_t limit) = 0;
};

// Keeps the language library open for one scope (an export's duration).
class CResourceScope {
public:
    explicit CResourceScope(CHostServices& host) : m_host(host) { m_host.OpenLanguageLibrary(); }
    ~CResourceScope() { m_host.ReleaseLanguageLibrary(); }
    CResourceScope(const CResourceScope&) = delete;
    CResourceScope& operator=(const CResourceScope&) = delete;

private:
    CHostServices& m_host;
};

inline constexpr uint16_t YIELD_CYCLES = 100;

}  // namespace torrim

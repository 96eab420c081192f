// The host services over the sync host libraries' C calls.
#pragma once

#include "conduit/core/host_services.h"

namespace torrim {

class CRealHostServices : public CHostServices {
public:
    // The library's one instance.
    static CRealHostServices& Instance();

    int32_t RegisterConduit(int32_t* handle) override;
    int32_t UnregisterConduit(int32_t handle) override;
    int32_t OpenDatabase(const char* name, int32_t card, uint8_t* handle, uint8_t mode) override;
    int32_t CreateDatabase(CreateDatabaseRequest* request) override;
    int32_t CloseDatabase(uint8_t handle) override;
    int32_t ClearChangeMarks(uint8_t handle) override;
    int32_t WriteRecord(RecordRequest* request) override;
    int32_t DeleteRecord(RecordRequest* request) override;
    int32_t ReadRecordWithId(RecordRequest* request) override;
    int32_t ReadNextChangedRecord(RecordRequest* request) override;
    int32_t PurgeDeletedRecords(uint8_t handle) override;
    int32_t UserNotice(const char* text) override;
    int32_t ReadAppPreference(PreferenceRequest* request) override;
    int32_t ReadNextRecInCategory(RecordRequest* request) override;
    int32_t PurgeAllRecsInCategory(uint8_t handle, int16_t category) override;
    int32_t GetDBRecordCount(uint8_t handle, uint16_t* count) override;
    int32_t ReadPositionXMap(IdListRequest* request) override;
    int32_t ResetRecordIndex(uint8_t handle) override;
    void YieldCycles(uint16_t cycles) override;

    int32_t LogAddLine(const char* text, int32_t activity) override;
    int32_t LogQuery() override;

    int32_t UserOfFolder(const char* folder, int32_t* user) override;
    int32_t ReadText(int32_t user, const char* section, const char* key, char* buffer,
                     int32_t* size, const char* def) override;
    int32_t ReadNumber(int32_t user, const char* section, const char* key, int16_t* value,
                       int16_t def) override;
    int32_t WriteText(int32_t user, const char* section, const char* key,
                      const char* value) override;

    void OpenLanguageLibrary() override;
    void ReleaseLanguageLibrary() override;
    std::string LoadString(uint32_t id) override;

    size_t ValidateNumberDec(std::string_view text, size_t limit) override;

private:
    CRealHostServices() = default;

    int m_languageDepth = 0;
    void* m_languageModule = nullptr;
    void* m_defaultModule = nullptr;
};

}  // namespace torrim

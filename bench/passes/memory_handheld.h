// A handheld kept in memory, for measuring the passes without the image's per-call
// commit: records with ids, categories and attributes in index order, behind the same
// host interface (texts and character cuts still come from the real host services).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "tests/passes/passes_scenario_util.h"

namespace torrim {

class CMemoryHandheldHost : public CScenarioHost {
public:
    struct Record {
        int16_t category = 0;
        uint8_t attributes = 0;
        std::string data;
    };
    std::map<uint32_t, Record> records;  // id order is index order here
    uint32_t nextId = 1;
    uint32_t cursor = 0;  // last id visited by the iterations

    int32_t RegisterConduit(int32_t* h) override {
        *h = 1;
        return 0;
    }
    int32_t UnregisterConduit(int32_t) override { return 0; }
    int32_t OpenDatabase(const char*, int32_t, uint8_t* h, uint8_t) override {
        *h = 1;
        return 0;
    }
    int32_t CreateDatabase(CreateDatabaseRequest* r) override {
        r->dbHandle = 1;
        return 0;
    }
    int32_t CloseDatabase(uint8_t) override { return 0; }
    int32_t ClearChangeMarks(uint8_t) override {
        for (auto& [id, r] : records) {
            r.attributes &= static_cast<uint8_t>(~SYNC_REC_MODIFIED);
        }
        return 0;
    }
    int32_t WriteRecord(RecordRequest* r) override {
        if (r->recordId == 0) {
            r->recordId = nextId++;
        }
        Record& record = records[r->recordId];
        record.category = r->category;
        record.attributes = r->attributes & SYNC_REC_MODIFIED;
        record.data.assign(reinterpret_cast<const char*>(r->buffer), r->recordSize);
        return 0;
    }
    int32_t DeleteRecord(RecordRequest* r) override {
        return records.erase(r->recordId) != 0 ? 0 : SYNC_ERR_NOT_FOUND;
    }
    int32_t ReadRecordWithId(RecordRequest* r) override {
        const auto it = records.find(r->recordId);
        return it == records.end() ? SYNC_ERR_NOT_FOUND : Fill(it, r);
    }
    int32_t ReadNextChangedRecord(RecordRequest* r) override {
        for (auto it = records.upper_bound(cursor); it != records.end(); ++it) {
            if ((it->second.attributes & (SYNC_REC_MODIFIED | SYNC_REC_DELETED)) != 0) {
                return Fill(it, r);
            }
        }
        return SYNC_ERR_NOT_FOUND;
    }
    int32_t PurgeDeletedRecords(uint8_t) override {
        std::erase_if(records,
                      [](const auto& e) { return (e.second.attributes & SYNC_REC_DELETED) != 0; });
        return 0;
    }
    int32_t ReadAppPreference(PreferenceRequest*) override { return SYNC_ERR_NOT_FOUND; }
    int32_t ReadNextRecInCategory(RecordRequest* r) override {
        for (auto it = records.upper_bound(cursor); it != records.end(); ++it) {
            if (it->second.category == r->category &&
                (it->second.attributes & SYNC_REC_DELETED) == 0) {
                return Fill(it, r);
            }
        }
        return SYNC_ERR_NOT_FOUND;
    }
    int32_t PurgeAllRecsInCategory(uint8_t, int16_t category) override {
        std::erase_if(records, [&](const auto& e) { return e.second.category == category; });
        return 0;
    }
    int32_t GetDBRecordCount(uint8_t, uint16_t* count) override {
        *count = static_cast<uint16_t>(std::min<size_t>(records.size(), 65535));
        return 0;
    }
    int32_t ReadPositionXMap(IdListRequest* r) override {
        auto it = records.begin();
        std::advance(it, std::min<size_t>(r->firstPosition, records.size()));
        uint16_t n = 0;
        for (; it != records.end() && n < r->idsWanted && (n + 1u) * 4u <= r->bufferSize; ++it) {
            platform::PutU32BE(r->buffer + 4 * n++, it->first);
        }
        r->idsReturned = n;
        return 0;
    }
    int32_t ResetRecordIndex(uint8_t) override {
        cursor = 0;
        return 0;
    }
    void YieldCycles(uint16_t) override {}

private:
    int32_t Fill(std::map<uint32_t, Record>::iterator it, RecordRequest* r) {
        cursor = it->first;
        r->recordId = it->first;
        r->category = it->second.category;
        r->attributes = it->second.attributes;
        r->recordSize = static_cast<uint32_t>(it->second.data.size());
        if (r->recordSize > r->bufferSize) {
            return SYNC_ERR_BUFFER_TOO_SMALL;
        }
        std::memcpy(r->buffer, it->second.data.data(), it->second.data.size());
        return 0;
    }
};

}  // namespace torrim

// A handheld image: one SQLite file holding the handheld's user name, capacity, fault
// plan, databases, records and application preferences.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace syncor {

class CTransaction;
class CStatementCache;

// Record data as stored (and as the handheld's applications see it).
struct RecordData {
    uint32_t id = 0;
    uint8_t attributes = 0;  // SYNC_REC_DELETED | SYNC_REC_MODIFIED
    int16_t category = 0;    // 0-15
    int64_t position = 0;    // index order; grows with each new record
    std::string data;        // at most SYNC_MAX_RECORD_SIZE bytes
};

struct DatabaseInfo {
    int64_t dbId = 0;
    std::string name;
    uint32_t creator = 0;
    uint32_t type = 0;
    uint8_t card = 0;
};

struct Preference {
    uint32_t creator = 0;
    uint16_t id = 0;
    bool backedUp = true;
    uint16_t version = 0;
    std::string data;
};

// Which records NextRecord answers.
enum class RecordFilter { Changed, CategoryNotDeleted, Any };

// How much of an image Open checks: Light the identity, version, size, tables and meta;
// Full also every page's structure (quick check); Integrity also that every index agrees
// with its table and every constraint holds (the check before a sync, which catches damage
// inside pages that the quick check passes).
enum class ImageCheck { Full, Light, Integrity };

// Bytes of capacity a record, a database and a preference take besides their data.
inline constexpr uint64_t RECORD_OVERHEAD = 16;
inline constexpr uint64_t DATABASE_OVERHEAD = 64;
inline constexpr uint64_t PREFERENCE_OVERHEAD = 16;

// One open image. Every call answers a SYNC_ERR_* code (syncor.h); every change is one
// SQLite transaction, committed (to the write-ahead log) before the call returns. Values read back
// from the file are checked: a damaged file gives SYNC_ERR_CORRUPT_IMAGE, never a crash.
class CHandheldImage {
public:
    CHandheldImage();
    ~CHandheldImage();
    CHandheldImage(const CHandheldImage&) = delete;
    CHandheldImage& operator=(const CHandheldImage&) = delete;

    // Creates a new image at path for the handheld user userName with capacity bytes:
    // the file is created with mode 0600 and holds the Mail database "MailDB" (creator
    // 'mail', type 'DATA'). SYNC_ERR_EXISTS when a file is already there.
    [[nodiscard]] static int32_t Create(const std::string& path, const std::string& userName,
                                        uint64_t capacity);

    // Opens an existing image and checks that it is a sound one. Light checks only what
    // can be seen without reading every page (identity, layout, length); Full reads every
    // page as well.
    [[nodiscard]] int32_t Open(const std::string& path, ImageCheck check = ImageCheck::Full);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }

    const std::string& UserName() const { return m_userName; }
    // The errno of the last failed file call of the image's SQLite layer (0 when none).
    int SystemErrno() const;
    uint64_t Capacity() const { return m_capacity; }
    // Calls after which the connection is lost; -1 when no fault is planned.
    int64_t FaultAfter() const { return m_faultAfter; }
    [[nodiscard]] int32_t SetFaultAfter(int64_t calls);
    [[nodiscard]] int32_t SetCapacity(uint64_t capacity);
    [[nodiscard]] int32_t UsedBytes(uint64_t* used);

    [[nodiscard]] int32_t FindDatabase(const std::string& name, DatabaseInfo* info);
    [[nodiscard]] int32_t CreateDatabase(const DatabaseInfo& wanted, DatabaseInfo* created);
    [[nodiscard]] int32_t ListDatabases(std::vector<DatabaseInfo>* out);

    [[nodiscard]] int32_t ReadRecord(int64_t dbId, uint32_t id, RecordData* out);
    // Writes record->data with record->attributes and category: id 0 makes a new record
    // (its id and position are stored back into *record); an existing id is replaced in
    // place (same position); a missing non-zero id is created with that id.
    [[nodiscard]] int32_t WriteRecord(int64_t dbId, RecordData* record);
    // Changes attributes and category of a record without touching its data.
    [[nodiscard]] int32_t SetRecordState(int64_t dbId, uint32_t id, uint8_t attributes,
                                         int16_t category);
    [[nodiscard]] int32_t RemoveRecord(int64_t dbId, uint32_t id);
    // The first record after position afterPosition that passes the filter.
    [[nodiscard]] int32_t NextRecord(int64_t dbId, int64_t afterPosition, RecordFilter filter,
                                     int16_t category, RecordData* out);
    [[nodiscard]] int32_t ListRecords(int64_t dbId, std::vector<RecordData>* out);
    [[nodiscard]] int32_t ClearChangeMarks(int64_t dbId);
    [[nodiscard]] int32_t PurgeDeleted(int64_t dbId);
    [[nodiscard]] int32_t PurgeCategory(int64_t dbId, int16_t category);
    [[nodiscard]] int32_t CountRecords(int64_t dbId, uint32_t* count);
    // Up to maxIds record ids starting at index first, in index order.
    [[nodiscard]] int32_t IdSlice(int64_t dbId, uint32_t first, uint32_t maxIds,
                                  std::vector<uint32_t>* ids);

    [[nodiscard]] int32_t ReadPreference(uint32_t creator, uint16_t id, bool backedUp,
                                         Preference* out);
    [[nodiscard]] int32_t WritePreference(const Preference& pref);

private:
    [[nodiscard]] int32_t LoadMeta();
    [[nodiscard]] int32_t SetMeta(const char* key, int64_t value);
    [[nodiscard]] int32_t FitsCapacity(int64_t growth, bool* fits);
    [[nodiscard]] int32_t NewRecordId(int64_t dbId, uint32_t* id);
    [[nodiscard]] int32_t DataVersion(int64_t* version);
    // Commits tx and adds growth bytes to the kept used-byte sum.
    [[nodiscard]] int32_t CommitGrowth(CTransaction& tx, int64_t growth);
    // Removes the records of a database that meet `condition` (SQL over the records'
    // columns, where ?2 stands for `value`), keeping the used-room sum true.
    [[nodiscard]] int32_t PurgeWhere(int64_t dbId, const char* condition, int64_t value);
    void AdjustUsed(int64_t growth);

    sqlite3* m_db = nullptr;
    std::string m_userName;
    uint64_t m_capacity = 0;
    int64_t m_faultAfter = -1;
    // The used-byte sum as last counted and kept up to date by this connection's changes,
    // valid while m_usedKnown and the file's data version is still m_dataVersion.
    bool m_usedKnown = false;
    uint64_t m_used = 0;
    int64_t m_dataVersion = 0;
    // Prepared statements of this connection, kept from one call to the next.
    std::unique_ptr<CStatementCache> m_statements;
};

// Four-character codes as numbers ('mail' = 0x6D61696C).
constexpr uint32_t FourCc(const char (&s)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}

inline constexpr const char* MAIL_DATABASE_NAME = "MailDB";
inline constexpr uint32_t MAIL_CREATOR = FourCc("mail");
inline constexpr uint32_t MAIL_DATABASE_TYPE = FourCc("DATA");

}  // namespace syncor

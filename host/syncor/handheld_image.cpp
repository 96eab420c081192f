// The handheld image over SQLite: schema, checks of what is read back, capacity.
#include "host/syncor/handheld_image.h"

#include <sqlite3.h>

#include <cerrno>
#include <memory>
#include <unordered_map>
#include <vector>

#include "host/syncor/fault_vfs.h"
#include "host/syncor/syncor.h"
#include "platform/file_util.h"

namespace syncor {
namespace {

// Marks a file as a handheld image ("THIM") and the layout of its tables.
constexpr int32_t APPLICATION_ID = 0x5448494D;
constexpr int32_t SCHEMA_VERSION = 1;
constexpr uint32_t FIRST_RECORD_ID = 0x10001;

constexpr const char* SCHEMA_SQL =
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value NOT NULL);"
    "CREATE TABLE databases(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,"
    " creator INTEGER NOT NULL, type INTEGER NOT NULL, card INTEGER NOT NULL);"
    "CREATE TABLE records(position INTEGER PRIMARY KEY AUTOINCREMENT,"
    " db INTEGER NOT NULL, id INTEGER NOT NULL, category INTEGER NOT NULL,"
    " attributes INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(db, id));"
    "CREATE TABLE preferences(creator INTEGER NOT NULL, id INTEGER NOT NULL,"
    " backed_up INTEGER NOT NULL, version INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(creator, id, backed_up));";

// The records' small columns in their order: walks, counts, id lists, purges and the change
// marks read this index instead of every record's data. Images made before it existed get
// it when they are opened.
constexpr const char* SCAN_INDEX_SQL =
    "CREATE INDEX IF NOT EXISTS records_scan ON records(db, position, category, attributes, id)";

// Turns an SQLite result into ours: damage is told apart from other failures.
int32_t FromSqlite(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return SYNC_ERR_NONE;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
        case SQLITE_MISMATCH:
            return SYNC_ERR_CORRUPT_IMAGE;
        case SQLITE_NOMEM:
            return SYNC_ERR_GENERIC;
        default:
            return SYNC_ERR_IO;
    }
}

}  // namespace

// The prepared statements of one connection by their text. A sync runs the same few
// statements thousands of times; preparing each anew cost more than running it.
class CStatementCache {
public:
    ~CStatementCache() { Clear(); }
    // A statement for `sql` not in use elsewhere, or nullptr.
    sqlite3_stmt* Take(const char* sql) {
        auto it = m_free.find(sql);
        if (it == m_free.end() || it->second.empty())
            return nullptr;
        sqlite3_stmt* stmt = it->second.back();
        it->second.pop_back();
        return stmt;
    }
    // Keeps a statement, reset and with its values cleared, for the next use.
    void Give(const std::string& sql, sqlite3_stmt* stmt) {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        m_free[sql].push_back(stmt);
    }
    void Clear() {
        for (auto& entry : m_free)
            for (sqlite3_stmt* stmt : entry.second)
                sqlite3_finalize(stmt);
        m_free.clear();
    }

private:
    std::unordered_map<std::string, std::vector<sqlite3_stmt*>> m_free;
};

namespace {

// One prepared statement; finalized when it goes out of scope, or given back to the
// connection's cache.
class CStatement {
public:
    CStatement(sqlite3* db, const char* sql) {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    CStatement(sqlite3* db, CStatementCache* cache, const char* sql) : m_cache(cache), m_sql(sql) {
        if (m_cache != nullptr)
            m_stmt = m_cache->Take(sql);
        if (m_stmt == nullptr)
            m_rc = sqlite3_prepare_v3(
                db, sql, -1, m_cache != nullptr ? SQLITE_PREPARE_PERSISTENT : 0, &m_stmt, nullptr);
    }
    ~CStatement() {
        if (m_cache != nullptr && m_stmt != nullptr && m_rc == SQLITE_OK)
            m_cache->Give(m_sql, m_stmt);
        else
            sqlite3_finalize(m_stmt);
    }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    // A statement that failed to prepare means the tables are not ours.
    int32_t PrepareError() const {
        return m_rc == SQLITE_OK                 ? SYNC_ERR_NONE
               : FromSqlite(m_rc) == SYNC_ERR_IO ? SYNC_ERR_CORRUPT_IMAGE
                                                 : FromSqlite(m_rc);
    }
    CStatement& Bind(int i, int64_t v) {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    CStatement& BindText(int i, const std::string& v) {
        sqlite3_bind_text(m_stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    CStatement& BindBlob(int i, const std::string& v) {
        sqlite3_bind_blob(m_stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return sqlite3_step(m_stmt); }
    // For a query that answers one row: SYNC_ERR_NONE with the row ready to read,
    // SYNC_ERR_NOT_FOUND when there is none, or the preparation or step error.
    int32_t FirstRow() {
        if (int32_t e = PrepareError())
            return e;
        const int rc = Step();
        if (rc == SQLITE_DONE)
            return SYNC_ERR_NOT_FOUND;
        return rc == SQLITE_ROW ? SYNC_ERR_NONE : FromSqlite(rc);
    }
    bool IsInteger(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_INTEGER; }
    int64_t Int(int col) const { return sqlite3_column_int64(m_stmt, col); }
    int Type(int col) const { return sqlite3_column_type(m_stmt, col); }
    std::string Bytes(int col) const {
        const void* p = sqlite3_column_blob(m_stmt, col);
        int n = sqlite3_column_bytes(m_stmt, col);
        return p == nullptr || n <= 0
                   ? std::string()
                   : std::string(static_cast<const char*>(p), static_cast<size_t>(n));
    }

private:
    CStatementCache* m_cache = nullptr;
    std::string m_sql;
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_OK;
};

// Runs a statement without results; 0 or our code.
int32_t Exec(sqlite3* db, const char* sql) {
    return FromSqlite(sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
}

// Runs a prepared statement that yields no rows.
int32_t Run(CStatement& st) {
    if (int32_t e = st.PrepareError())
        return e;
    int rc = st.Step();
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SYNC_ERR_NONE : FromSqlite(rc);
}

// Reads one record row: position, id, category, attributes, data. Every value is checked,
// since the file may come from anywhere.
int32_t ReadRecordRow(const CStatement& st, RecordData* out) {
    if (!st.IsInteger(0) || !st.IsInteger(1) || !st.IsInteger(2) || !st.IsInteger(3))
        return SYNC_ERR_CORRUPT_IMAGE;
    int64_t id = st.Int(1), category = st.Int(2), attributes = st.Int(3);
    if (id <= 0 || id > UINT32_MAX || category < 0 || category > 15 || attributes < 0 ||
        attributes > 255)
        return SYNC_ERR_CORRUPT_IMAGE;
    int type = st.Type(4);
    if (type != SQLITE_BLOB && type != SQLITE_NULL)
        return SYNC_ERR_CORRUPT_IMAGE;
    std::string data = st.Bytes(4);
    if (data.size() > SYNC_MAX_RECORD_SIZE)
        return SYNC_ERR_CORRUPT_IMAGE;
    out->position = st.Int(0);
    out->id = static_cast<uint32_t>(id);
    out->category = static_cast<int16_t>(category);
    out->attributes = static_cast<uint8_t>(attributes);
    out->data = std::move(data);
    return SYNC_ERR_NONE;
}

}  // namespace

// Keeps a transaction open until Commit; rolled back otherwise.
class CTransaction {
public:
    explicit CTransaction(sqlite3* db) : m_db(db) { m_rc = Exec(db, "BEGIN IMMEDIATE"); }
    ~CTransaction() {
        if (m_rc == SYNC_ERR_NONE && !m_done)
            (void)Exec(m_db, "ROLLBACK");  // nothing to report
    }
    int32_t BeginError() const { return m_rc; }
    int32_t Commit() {
        m_done = true;
        return Exec(m_db, "COMMIT");
    }

private:
    sqlite3* m_db;
    int32_t m_rc;
    bool m_done = false;
};

namespace {
constexpr const char* RECORD_COLUMNS = "position, id, category, attributes, data";

}  // namespace

CHandheldImage::CHandheldImage() = default;

CHandheldImage::~CHandheldImage() {
    Close();
}

void CHandheldImage::Close() {
    m_statements.reset();  // finalized before the connection closes
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_userName.clear();
    m_capacity = 0;
    m_faultAfter = -1;
    m_usedKnown = false;
    m_used = 0;
    m_dataVersion = 0;
}

int32_t CHandheldImage::Create(const std::string& path, const std::string& userName,
                               uint64_t capacity) {
    if (userName.empty() || capacity == 0 || capacity > INT64_MAX)
        return SYNC_ERR_BAD_ARGUMENT;
    if (platform::FileExists(path) || platform::DirectoryExists(path))
        return SYNC_ERR_EXISTS;
    // An empty file made first gives the image mode 0600 from the start: it holds mail.
    if (platform::WriteFileAtomic(path, "", 0600) != 0)
        return SYNC_ERR_IO;
    InstallFaultVfsIfPlanned();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    int32_t result = FromSqlite(rc);
    if (result == SYNC_ERR_NONE) {
        std::string sql = "BEGIN;" + std::string(SCHEMA_SQL) + SCAN_INDEX_SQL + ";" +
                          "PRAGMA application_id = " + std::to_string(APPLICATION_ID) + ";" +
                          "PRAGMA user_version = " + std::to_string(SCHEMA_VERSION) + ";";
        result = Exec(db, sql.c_str());
    }
    if (result == SYNC_ERR_NONE) {
        CStatement st(db,
                      "INSERT INTO meta(key, value) VALUES ('user_name', ?1),"
                      " ('capacity', ?2), ('fault_after', -1), ('next_record_id', ?3)");
        st.BindText(1, userName).Bind(2, static_cast<int64_t>(capacity)).Bind(3, FIRST_RECORD_ID);
        result = Run(st);
    }
    if (result == SYNC_ERR_NONE) {
        CStatement st(db, "INSERT INTO databases(name, creator, type, card) VALUES (?1,?2,?3,0)");
        st.BindText(1, MAIL_DATABASE_NAME).Bind(2, MAIL_CREATOR).Bind(3, MAIL_DATABASE_TYPE);
        result = Run(st);
    }
    if (result == SYNC_ERR_NONE)
        result = Exec(db, "COMMIT");
    sqlite3_close_v2(db);
    if (result != SYNC_ERR_NONE)
        (void)platform::RemoveFile(path);  // never leave half an image
    return result;
}

int32_t CHandheldImage::Open(const std::string& path, ImageCheck check) {
    Close();
    if (!platform::FileExists(path))
        return SYNC_ERR_NOT_FOUND;
    InstallFaultVfsIfPlanned();
    int rc = sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        int32_t e = FromSqlite(rc);
        Close();
        return e;
    }
    sqlite3_busy_timeout(m_db, 2000);
    m_statements = std::make_unique<CStatementCache>();
    // Foreign or damaged files are refused before anything is written to them.
    int32_t result = SYNC_ERR_NONE;
    {
        CStatement st(m_db, m_statements.get(), "PRAGMA application_id");
        if (st.PrepareError() != SYNC_ERR_NONE || st.Step() != SQLITE_ROW ||
            st.Int(0) != APPLICATION_ID)
            result = SYNC_ERR_CORRUPT_IMAGE;
    }
    if (result == SYNC_ERR_NONE) {
        CStatement st(m_db, m_statements.get(), "PRAGMA user_version");
        if (st.PrepareError() != SYNC_ERR_NONE || st.Step() != SQLITE_ROW ||
            st.Int(0) != SCHEMA_VERSION)
            result = SYNC_ERR_CORRUPT_IMAGE;
    }
    if (result == SYNC_ERR_NONE) {
        // A file cut short reads its missing tail as zeros: its size must be whole pages.
        // Changes not yet copied back from a write-ahead log left by an interrupted session
        // may make the database longer than the file; then the file may not be longer.
        CStatement size(m_db, m_statements.get(), "PRAGMA page_size");
        CStatement count(m_db, m_statements.get(), "PRAGMA page_count");
        platform::FileStamp stamp;
        platform::FileStamp walStamp;
        const bool pendingLog =
            platform::GetFileStamp(path + "-wal", &walStamp) && walStamp.size > 0;
        if (size.PrepareError() != SYNC_ERR_NONE || count.PrepareError() != SYNC_ERR_NONE ||
            size.Step() != SQLITE_ROW || count.Step() != SQLITE_ROW ||
            !platform::GetFileStamp(path, &stamp) || size.Int(0) <= 0 ||
            stamp.size % size.Int(0) != 0 ||
            (pendingLog ? stamp.size > size.Int(0) * count.Int(0)
                        : stamp.size != size.Int(0) * count.Int(0)))
            result = SYNC_ERR_CORRUPT_IMAGE;
    }
    // The full check reads every page; a caller that only looks at the image's identity
    // may leave it to the next full open.
    if (result == SYNC_ERR_NONE && check != ImageCheck::Light) {
        CStatement st(
            m_db, m_statements.get(),
            check == ImageCheck::Integrity ? "PRAGMA integrity_check(1)" : "PRAGMA quick_check(1)");
        if (st.PrepareError() != SYNC_ERR_NONE || st.Step() != SQLITE_ROW || st.Bytes(0) != "ok")
            result = SYNC_ERR_CORRUPT_IMAGE;
    }
    if (result == SYNC_ERR_NONE) {
        // Each table must have the columns we use.
        for (const char* probe :
             {"SELECT key, value FROM meta LIMIT 0",
              "SELECT id, name, creator, type, card FROM databases LIMIT 0",
              "SELECT position, db, id, category, attributes, data FROM records LIMIT 0",
              "SELECT creator, id, backed_up, version, data FROM preferences LIMIT 0"}) {
            CStatement st(m_db, m_statements.get(), probe);
            if (st.PrepareError() != SYNC_ERR_NONE)
                result = SYNC_ERR_CORRUPT_IMAGE;
        }
    }
    if (result == SYNC_ERR_NONE)
        result = LoadMeta();
    // An image that cannot take the index (a file that may not be written) works without
    // it, only slower.
    if (result == SYNC_ERR_NONE)
        (void)Exec(m_db, SCAN_INDEX_SQL);
    if (result == SYNC_ERR_NONE) {
        // A write-ahead log with synchronous=NORMAL commits each change without waiting for
        // the disk: a power loss may take back the last commits, but the image stays
        // consistent, and a sync writes thousands of records one call at a time.
        CStatement mode(m_db, m_statements.get(), "PRAGMA journal_mode = WAL");
        if (mode.PrepareError() != SYNC_ERR_NONE || mode.Step() != SQLITE_ROW)
            result = SYNC_ERR_IO;
        else
            result = Exec(m_db, "PRAGMA synchronous = NORMAL");
    }
    if (result != SYNC_ERR_NONE)
        Close();
    return result;
}

int CHandheldImage::SystemErrno() const {
    const int e = m_db != nullptr ? sqlite3_system_errno(m_db) : 0;
    return e != 0 ? e : LastInjectedErrno();
}

int32_t CHandheldImage::LoadMeta() {
    bool haveUser = false, haveCapacity = false;
    CStatement st(m_db, m_statements.get(), "SELECT key, value FROM meta");
    if (int32_t e = st.PrepareError())
        return e;
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        std::string key = st.Bytes(0);
        if (key == "user_name") {
            if (st.Type(1) != SQLITE_TEXT)
                return SYNC_ERR_CORRUPT_IMAGE;
            m_userName = st.Bytes(1);
            haveUser = !m_userName.empty();
        } else if (key == "capacity") {
            if (!st.IsInteger(1) || st.Int(1) <= 0)
                return SYNC_ERR_CORRUPT_IMAGE;
            m_capacity = static_cast<uint64_t>(st.Int(1));
            haveCapacity = true;
        } else if (key == "fault_after") {
            if (!st.IsInteger(1))
                return SYNC_ERR_CORRUPT_IMAGE;
            m_faultAfter = st.Int(1) < 0 ? -1 : st.Int(1);
        }
    }
    if (rc != SQLITE_DONE)
        return FromSqlite(rc);
    return haveUser && haveCapacity ? SYNC_ERR_NONE : SYNC_ERR_CORRUPT_IMAGE;
}

int32_t CHandheldImage::SetMeta(const char* key, int64_t value) {
    CStatement st(m_db, m_statements.get(),
                  "INSERT OR REPLACE INTO meta(key, value) VALUES (?1, ?2)");
    st.BindText(1, key).Bind(2, value);
    return Run(st);
}

int32_t CHandheldImage::SetFaultAfter(int64_t calls) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    if (calls < 0)
        calls = -1;
    int32_t e = SetMeta("fault_after", calls);
    if (e == SYNC_ERR_NONE)
        m_faultAfter = calls;
    return e;
}

int32_t CHandheldImage::SetCapacity(uint64_t capacity) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    if (capacity == 0 || capacity > INT64_MAX)
        return SYNC_ERR_BAD_ARGUMENT;
    int32_t e = SetMeta("capacity", static_cast<int64_t>(capacity));
    if (e == SYNC_ERR_NONE)
        m_capacity = capacity;
    return e;
}

int32_t CHandheldImage::DataVersion(int64_t* version) {
    CStatement st(m_db, m_statements.get(), "PRAGMA data_version");
    if (int32_t e = st.PrepareError())
        return e;
    int rc = st.Step();
    if (rc != SQLITE_ROW)
        return FromSqlite(rc);
    *version = st.Int(0);
    return SYNC_ERR_NONE;
}

void CHandheldImage::AdjustUsed(int64_t growth) {
    if (!m_usedKnown)
        return;
    if (growth < 0 && static_cast<uint64_t>(-growth) > m_used)
        m_usedKnown = false;  // cannot happen with a true count: count again next time
    else
        m_used += static_cast<uint64_t>(growth);
}

int32_t CHandheldImage::CommitGrowth(CTransaction& tx, int64_t growth) {
    int32_t e = tx.Commit();
    if (e == SYNC_ERR_NONE)
        AdjustUsed(growth);
    else
        m_usedKnown = false;
    return e;
}

int32_t CHandheldImage::UsedBytes(uint64_t* used) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    // The sum is kept from one call to the next and counted again only when another
    // connection changed the file since (its data version moved on) or after a change
    // whose size is not known here; counting it on every write made a sync quadratic.
    int64_t version = 0;
    if (int32_t e = DataVersion(&version))
        return e;
    if (m_usedKnown && version == m_dataVersion) {
        *used = m_used;
        return SYNC_ERR_NONE;
    }
    m_usedKnown = false;
    CStatement st(m_db,
                  "SELECT (SELECT COALESCE(SUM(LENGTH(data)), 0) + ?1 * COUNT(*) FROM records)"
                  " + (SELECT ?2 * COUNT(*) FROM databases)"
                  " + (SELECT COALESCE(SUM(LENGTH(data)), 0) + ?3 * COUNT(*) FROM preferences)");
    st.Bind(1, RECORD_OVERHEAD).Bind(2, DATABASE_OVERHEAD).Bind(3, PREFERENCE_OVERHEAD);
    if (int32_t e = st.PrepareError())
        return e;
    int rc = st.Step();
    if (rc != SQLITE_ROW)
        return FromSqlite(rc);
    if (!st.IsInteger(0) || st.Int(0) < 0)
        return SYNC_ERR_CORRUPT_IMAGE;
    *used = static_cast<uint64_t>(st.Int(0));
    m_used = *used;
    m_dataVersion = version;
    m_usedKnown = true;
    return SYNC_ERR_NONE;
}

int32_t CHandheldImage::FitsCapacity(int64_t growth, bool* fits) {
    uint64_t used = 0;
    if (int32_t e = UsedBytes(&used))
        return e;
    *fits = growth <= 0 || used + static_cast<uint64_t>(growth) <= m_capacity;
    return SYNC_ERR_NONE;
}

int32_t CHandheldImage::FindDatabase(const std::string& name, DatabaseInfo* info) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    CStatement st(m_db, m_statements.get(),
                  "SELECT id, name, creator, type, card FROM databases WHERE name = ?1");
    st.BindText(1, name);
    if (int32_t e = st.FirstRow())
        return e;
    if (!st.IsInteger(0) || !st.IsInteger(2) || !st.IsInteger(3) || !st.IsInteger(4) ||
        st.Int(2) < 0 || st.Int(2) > UINT32_MAX || st.Int(3) < 0 || st.Int(3) > UINT32_MAX ||
        st.Int(4) < 0 || st.Int(4) > 255)
        return SYNC_ERR_CORRUPT_IMAGE;
    info->dbId = st.Int(0);
    info->name = st.Bytes(1);
    info->creator = static_cast<uint32_t>(st.Int(2));
    info->type = static_cast<uint32_t>(st.Int(3));
    info->card = static_cast<uint8_t>(st.Int(4));
    return SYNC_ERR_NONE;
}

int32_t CHandheldImage::CreateDatabase(const DatabaseInfo& wanted, DatabaseInfo* created) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    if (wanted.name.empty() || wanted.name.size() > 31 ||
        wanted.name.find('\0') != std::string::npos)
        return SYNC_ERR_BAD_ARGUMENT;
    CTransaction tx(m_db);
    if (int32_t e = tx.BeginError())
        return e;
    DatabaseInfo existing;
    int32_t e = FindDatabase(wanted.name, &existing);
    if (e == SYNC_ERR_NONE)
        return SYNC_ERR_EXISTS;
    if (e != SYNC_ERR_NOT_FOUND)
        return e;
    bool fits = false;
    if ((e = FitsCapacity(static_cast<int64_t>(DATABASE_OVERHEAD), &fits)))
        return e;
    if (!fits)
        return SYNC_ERR_NO_ROOM;
    CStatement st(m_db, m_statements.get(),
                  "INSERT INTO databases(name, creator, type, card) VALUES (?1,?2,?3,?4)");
    st.BindText(1, wanted.name).Bind(2, wanted.creator).Bind(3, wanted.type).Bind(4, wanted.card);
    if ((e = Run(st)))
        return e;
    *created = wanted;
    created->dbId = sqlite3_last_insert_rowid(m_db);
    return CommitGrowth(tx, static_cast<int64_t>(DATABASE_OVERHEAD));
}

int32_t CHandheldImage::ListDatabases(std::vector<DatabaseInfo>* out) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    out->clear();
    CStatement st(m_db, m_statements.get(), "SELECT name FROM databases ORDER BY id");
    if (int32_t e = st.PrepareError())
        return e;
    std::vector<std::string> names;
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW)
        names.push_back(st.Bytes(0));
    if (rc != SQLITE_DONE)
        return FromSqlite(rc);
    for (const std::string& name : names) {
        DatabaseInfo info;
        if (int32_t e = FindDatabase(name, &info))
            return e;
        out->push_back(info);
    }
    return SYNC_ERR_NONE;
}

int32_t CHandheldImage::ReadRecord(int64_t dbId, uint32_t id, RecordData* out) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    std::string sql =
        std::string("SELECT ") + RECORD_COLUMNS + " FROM records WHERE db = ?1 AND id = ?2";
    CStatement st(m_db, m_statements.get(), sql.c_str());
    st.Bind(1, dbId).Bind(2, id);
    if (int32_t e = st.FirstRow())
        return e;
    return ReadRecordRow(st, out);
}

int32_t CHandheldImage::NewRecordId(int64_t dbId, uint32_t* id) {
    CStatement st(m_db, m_statements.get(), "SELECT value FROM meta WHERE key = 'next_record_id'");
    if (int32_t e = st.PrepareError())
        return e;
    int64_t next = FIRST_RECORD_ID;
    if (st.Step() == SQLITE_ROW && st.IsInteger(0) && st.Int(0) > 0 && st.Int(0) <= UINT32_MAX)
        next = st.Int(0);
    // Skip ids in use (a damaged counter, or an id a caller chose itself).
    for (int tries = 0; tries < 1000000; ++tries) {
        RecordData existing;
        int32_t e = ReadRecord(dbId, static_cast<uint32_t>(next), &existing);
        if (e == SYNC_ERR_NOT_FOUND) {
            *id = static_cast<uint32_t>(next);
            return SetMeta("next_record_id", next >= UINT32_MAX ? FIRST_RECORD_ID : next + 1);
        }
        if (e != SYNC_ERR_NONE && e != SYNC_ERR_CORRUPT_IMAGE)
            return e;
        next = next >= UINT32_MAX ? FIRST_RECORD_ID : next + 1;
    }
    return SYNC_ERR_NO_ROOM;
}

int32_t CHandheldImage::WriteRecord(int64_t dbId, RecordData* record) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    if (record->data.size() > SYNC_MAX_RECORD_SIZE || record->category < 0 || record->category > 15)
        return SYNC_ERR_BAD_ARGUMENT;
    CTransaction tx(m_db);
    if (int32_t e = tx.BeginError())
        return e;
    RecordData existing;
    int32_t e = SYNC_ERR_NOT_FOUND;
    if (record->id != 0) {
        e = ReadRecord(dbId, record->id, &existing);
        if (e != SYNC_ERR_NONE && e != SYNC_ERR_NOT_FOUND)
            return e;
    }
    bool replace = e == SYNC_ERR_NONE;
    int64_t growth = replace ? static_cast<int64_t>(record->data.size()) -
                                   static_cast<int64_t>(existing.data.size())
                             : static_cast<int64_t>(record->data.size() + RECORD_OVERHEAD);
    bool fits = false;
    if ((e = FitsCapacity(growth, &fits)))
        return e;
    if (!fits)
        return replace ? SYNC_ERR_FULL : SYNC_ERR_NO_ROOM;
    if (replace) {
        CStatement st(m_db,
                      "UPDATE records SET category = ?3, attributes = ?4, data = ?5"
                      " WHERE db = ?1 AND id = ?2");
        st.Bind(1, dbId).Bind(2, record->id).Bind(3, record->category);
        st.Bind(4, record->attributes).BindBlob(5, record->data);
        if ((e = Run(st)))
            return e;
        record->position = existing.position;
    } else {
        if (record->id == 0 && (e = NewRecordId(dbId, &record->id)))
            return e;
        CStatement st(m_db,
                      "INSERT INTO records(db, id, category, attributes, data)"
                      " VALUES (?1, ?2, ?3, ?4, ?5)");
        st.Bind(1, dbId).Bind(2, record->id).Bind(3, record->category);
        st.Bind(4, record->attributes).BindBlob(5, record->data);
        if ((e = Run(st)))
            return e;
        record->position = sqlite3_last_insert_rowid(m_db);
    }
    return CommitGrowth(tx, growth);
}

int32_t CHandheldImage::SetRecordState(int64_t dbId, uint32_t id, uint8_t attributes,
                                       int16_t category) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    if (category < 0 || category > 15)
        return SYNC_ERR_BAD_ARGUMENT;
    CStatement st(m_db,
                  "UPDATE records SET attributes = ?3, category = ?4"
                  " WHERE db = ?1 AND id = ?2");
    st.Bind(1, dbId).Bind(2, id).Bind(3, attributes).Bind(4, category);
    if (int32_t e = Run(st))
        return e;
    return sqlite3_changes(m_db) == 0 ? SYNC_ERR_NOT_FOUND : SYNC_ERR_NONE;
}

int32_t CHandheldImage::RemoveRecord(int64_t dbId, uint32_t id) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    CStatement st(m_db, m_statements.get(),
                  "DELETE FROM records WHERE db = ?1 AND id = ?2 RETURNING LENGTH(data)");
    st.Bind(1, dbId).Bind(2, id);
    if (int32_t e = st.FirstRow())
        return e;
    const int64_t length = st.IsInteger(0) ? st.Int(0) : -1;
    const int rc = st.Step();
    if (rc != SQLITE_DONE)
        return FromSqlite(rc);
    if (length < 0)
        m_usedKnown = false;
    else
        AdjustUsed(-(length + static_cast<int64_t>(RECORD_OVERHEAD)));
    return SYNC_ERR_NONE;
}

int32_t CHandheldImage::NextRecord(int64_t dbId, int64_t afterPosition, RecordFilter filter,
                                   int16_t category, RecordData* out) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    std::string sql =
        std::string("SELECT ") + RECORD_COLUMNS + " FROM records WHERE db = ?1 AND position > ?2";
    if (filter == RecordFilter::Changed)
        sql += " AND (attributes & 192) != 0";
    if (filter == RecordFilter::CategoryNotDeleted)
        sql += " AND category = ?3 AND (attributes & 128) = 0";
    sql += " ORDER BY position LIMIT 1";
    CStatement st(m_db, m_statements.get(), sql.c_str());
    st.Bind(1, dbId).Bind(2, afterPosition);
    if (filter == RecordFilter::CategoryNotDeleted)
        st.Bind(3, category);
    if (int32_t e = st.FirstRow())
        return e;
    return ReadRecordRow(st, out);
}

int32_t CHandheldImage::ListRecords(int64_t dbId, std::vector<RecordData>* out) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    out->clear();
    std::string sql =
        std::string("SELECT ") + RECORD_COLUMNS + " FROM records WHERE db = ?1 ORDER BY position";
    CStatement st(m_db, m_statements.get(), sql.c_str());
    st.Bind(1, dbId);
    if (int32_t e = st.PrepareError())
        return e;
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        RecordData r;
        if (int32_t e = ReadRecordRow(st, &r))
            return e;
        out->push_back(std::move(r));
    }
    return FromSqlite(rc);
}

int32_t CHandheldImage::ClearChangeMarks(int64_t dbId) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    // Only marked rows are written: an update of every row would copy the whole database
    // into the write-ahead log on each sync.
    CStatement st(m_db,
                  "UPDATE records SET attributes = attributes & ~64"
                  " WHERE db = ?1 AND (attributes & 64) != 0");
    st.Bind(1, dbId);
    return Run(st);
}

int32_t CHandheldImage::PurgeWhere(int64_t dbId, const char* condition, int64_t value) {
    // The room the records take is measured and they are removed in one transaction, so
    // the kept sum stays true without counting every record again.
    CTransaction tx(m_db);
    if (int32_t e = tx.BeginError())
        return e;
    const std::string where = std::string(" FROM records WHERE db = ?1 AND ") + condition;
    CStatement size(m_db,
                    ("SELECT COALESCE(SUM(LENGTH(data)), 0) + ?3 * COUNT(*)" + where).c_str());
    size.Bind(1, dbId).Bind(2, value).Bind(3, RECORD_OVERHEAD);
    if (int32_t e = size.PrepareError())
        return e;
    int rc = size.Step();
    if (rc != SQLITE_ROW)
        return FromSqlite(rc);
    const int64_t removed = size.IsInteger(0) ? size.Int(0) : -1;
    CStatement st(m_db, m_statements.get(), ("DELETE" + where).c_str());
    st.Bind(1, dbId).Bind(2, value);
    if (int32_t e = Run(st))
        return e;
    if (removed < 0) {
        m_usedKnown = false;  // counted again when next needed
        return tx.Commit();
    }
    return CommitGrowth(tx, -removed);
}

int32_t CHandheldImage::PurgeDeleted(int64_t dbId) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    return PurgeWhere(dbId, "(attributes & 128) != 0", 0);  // the value is not used
}

int32_t CHandheldImage::PurgeCategory(int64_t dbId, int16_t category) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    if (category < 0 || category > 15)
        return SYNC_ERR_BAD_ARGUMENT;
    return PurgeWhere(dbId, "category = ?2", category);
}

int32_t CHandheldImage::CountRecords(int64_t dbId, uint32_t* count) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    CStatement st(m_db, m_statements.get(), "SELECT COUNT(*) FROM records WHERE db = ?1");
    st.Bind(1, dbId);
    if (int32_t e = st.PrepareError())
        return e;
    int rc = st.Step();
    if (rc != SQLITE_ROW)
        return FromSqlite(rc);
    *count = static_cast<uint32_t>(st.Int(0) > UINT32_MAX ? UINT32_MAX : st.Int(0));
    return SYNC_ERR_NONE;
}

int32_t CHandheldImage::IdSlice(int64_t dbId, uint32_t first, uint32_t maxIds,
                                std::vector<uint32_t>* ids) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    ids->clear();
    CStatement st(m_db,
                  "SELECT id FROM records WHERE db = ?1 ORDER BY position"
                  " LIMIT ?2 OFFSET ?3");
    st.Bind(1, dbId).Bind(2, maxIds).Bind(3, first);
    if (int32_t e = st.PrepareError())
        return e;
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        if (!st.IsInteger(0) || st.Int(0) <= 0 || st.Int(0) > UINT32_MAX)
            return SYNC_ERR_CORRUPT_IMAGE;
        ids->push_back(static_cast<uint32_t>(st.Int(0)));
    }
    return FromSqlite(rc);
}

int32_t CHandheldImage::ReadPreference(uint32_t creator, uint16_t id, bool backedUp,
                                       Preference* out) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    CStatement st(m_db,
                  "SELECT version, data FROM preferences"
                  " WHERE creator = ?1 AND id = ?2 AND backed_up = ?3");
    st.Bind(1, creator).Bind(2, id).Bind(3, backedUp ? 1 : 0);
    if (int32_t e = st.FirstRow())
        return e;
    if (!st.IsInteger(0) || st.Int(0) < 0 || st.Int(0) > 0xFFFF)
        return SYNC_ERR_CORRUPT_IMAGE;
    if (st.Type(1) != SQLITE_BLOB && st.Type(1) != SQLITE_NULL)
        return SYNC_ERR_CORRUPT_IMAGE;
    std::string data = st.Bytes(1);
    if (data.size() > SYNC_MAX_RECORD_SIZE)
        return SYNC_ERR_CORRUPT_IMAGE;
    out->creator = creator;
    out->id = id;
    out->backedUp = backedUp;
    out->version = static_cast<uint16_t>(st.Int(0));
    out->data = std::move(data);
    return SYNC_ERR_NONE;
}

int32_t CHandheldImage::WritePreference(const Preference& pref) {
    if (m_db == nullptr)
        return SYNC_ERR_NO_IMAGE;
    if (pref.data.size() > SYNC_MAX_RECORD_SIZE)
        return SYNC_ERR_BAD_ARGUMENT;
    CTransaction tx(m_db);
    if (int32_t e = tx.BeginError())
        return e;
    Preference existing;
    int32_t e = ReadPreference(pref.creator, pref.id, pref.backedUp, &existing);
    if (e != SYNC_ERR_NONE && e != SYNC_ERR_NOT_FOUND)
        return e;
    bool replace = e == SYNC_ERR_NONE;
    int64_t growth = replace ? static_cast<int64_t>(pref.data.size()) -
                                   static_cast<int64_t>(existing.data.size())
                             : static_cast<int64_t>(pref.data.size() + PREFERENCE_OVERHEAD);
    bool fits = false;
    if ((e = FitsCapacity(growth, &fits)))
        return e;
    if (!fits)
        return replace ? SYNC_ERR_FULL : SYNC_ERR_NO_ROOM;
    CStatement st(m_db,
                  "INSERT OR REPLACE INTO preferences(creator, id, backed_up, version, data)"
                  " VALUES (?1, ?2, ?3, ?4, ?5)");
    st.Bind(1, pref.creator).Bind(2, pref.id).Bind(3, pref.backedUp ? 1 : 0);
    st.Bind(4, pref.version).BindBlob(5, pref.data);
    if ((e = Run(st)))
        return e;
    return CommitGrowth(tx, growth);
}

}  // namespace syncor

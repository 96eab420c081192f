// The context behind a library handle, the in-memory table directories, and
// the table access that every operation of the library builds on: handle
// validation, the translation-table cache, the language-table search, and the
// normalisation and replacement tables, all loaded from "CCINTL.TB" on first use.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "include/glossel/glossel.h"
#include "intl/table_layout.h"

namespace glossel {

// Result codes (same values as the CC_INTL_* macros of the public header).
constexpr int32_t INTL_OK = 0;
constexpr int32_t INTL_ERR_NO_MEMORY = 2;
constexpr int32_t INTL_ERR_BAD_HANDLE = 3073;
constexpr int32_t INTL_ERR_BAD_TABLE_FILE = 3074;
constexpr int32_t INTL_ERR_NO_XLAT_TABLE = 3075;
constexpr int32_t INTL_ERR_NO_LANG_TABLE = 3076;
constexpr int32_t INTL_ERR_BUFFER_TOO_SMALL = 3077;
constexpr int32_t INTL_ERR_NOT_COLLATION = 3078;

constexpr uint16_t CONTEXT_MAGIC = 0x4453;
// "No entry" in the recency list (entry counts stay far below it).
constexpr uint16_t NO_ENTRY = 0xFFFF;

// A translation directory entry as held in memory: the 14 bytes of the file
// widened by the cache fields.
struct XlatEntry {
    uint32_t offset = 0;  // file offset of the table
    uint32_t size = 0;    // size of the whole table in bytes
    int16_t source = 0;
    int16_t destination = 0;
    uint16_t nextLoaded = NO_ENTRY;   // next entry in the recency list
    uint16_t fullLoad = 0;            // non-zero when the whole table is in memory
    std::unique_ptr<uint8_t[]> data;  // loaded bytes, null while not loaded
    uint32_t loadedSize = 0;          // bytes in `data` (512 for a partly loaded 932 table)
    // A direct index over all 65536 keys that the translation builds from the
    // whole table on first use, so that lookups above 0xFF need no binary
    // search (same results as the pair search). Freed together with `data`.
    std::unique_ptr<uint16_t[]> dense;
};

// A language directory entry as held in memory: the 32 bytes of the file
// widened by the three loaded tables.
struct LangEntry {
    uint16_t type = 0;  // 0x8003: collation table
    uint32_t mainOffset = 0;
    uint32_t mainSize = 0;
    char language[2] = {0, 0};
    uint16_t kind = 0;          // low 2 bits of the stored value
    uint32_t secondOffset = 0;  // 0: no second table
    uint32_t secondSize = 0;
    uint32_t thirdOffset = 0;  // 0: no third table
    uint32_t thirdSize = 0;
    std::unique_ptr<uint8_t[]> mainData;
    std::unique_ptr<uint8_t[]> secondData;
    std::unique_ptr<uint8_t[]> thirdData;
};

// The loaded tables of the entry found for one kind, kept so that a caller
// comparing many strings gets them without a directory search. `main` is null
// while that kind has not been fetched; cleared whenever tables are unloaded.
struct LangViews {
    const uint8_t* main = nullptr;
    const uint8_t* second = nullptr;  // null: no second table
    const uint8_t* third = nullptr;   // null: no third table
    uint32_t mainSize = 0;
    uint32_t secondSize = 0;
    uint32_t thirdSize = 0;
    uint16_t type = 0;
};

// Comparison keys of the 256 bytes of one single-byte set under one kind's
// language tables, so that comparing text of that set is a lookup per byte
// with no translation table in between. A key orders as the byte's character
// does on the first pass: its weight in the high 16 bits, and for a weight of
// 4095 its Unicode value in the low 16 bits (such characters sort by value).
// A key of 0xA0000000 or more marks a byte whose character starts a
// contraction or an expansion: only the general pass handles it. `unicode`
// keeps the byte part of the (set -> 1200) table for the general pass. Built
// by the first comparison that found the tables; cleared whenever tables are
// unloaded.
struct ByteKeys {
    bool valid = false;
    int16_t set = 0;
    uint32_t key[256] = {};
    uint8_t unicode[512] = {};  // u16 little-endian per byte
};

}  // namespace glossel

// The context a handle points at. Created by ccIntlInit, destroyed by
// ccIntlTerminate; used by one thread at a time.
struct tccIntlCtxtStruct {
    uint16_t magic = 0;         // CONTEXT_MAGIC while live
    int32_t file = 0;           // file library handle of the open table file
    std::string logPath;        // full name of "CCNFT.LG" beside the table file
    char language[2] = {0, 0};  // lower-cased language code
    std::vector<glossel::XlatEntry> xlatDir;
    uint16_t xlatCount = 0;
    std::vector<glossel::LangEntry> langDir;
    uint16_t langCount = 0;
    uint16_t lastLang = 0;            // index of the language entry found last
    glossel::LangViews langViews[4];  // by kind; filled by GetLangTables
    glossel::ByteKeys byteKeys[4];    // by kind; filled by the comparison of byte sets
    uint32_t normOffset = 0;
    std::unique_ptr<uint8_t[]> normData;
    uint16_t normSize = 0;
    uint32_t replOffset = 0;
    std::unique_ptr<uint8_t[]> replData;
    uint16_t replSize = 0;
    uint16_t cacheLimit = 0;                 // most translation tables loaded at once; 0 = no limit
    uint16_t cacheCount = 0;                 // translation tables in the recency list
    uint16_t cacheHead = glossel::NO_ENTRY;  // most recently used translation table
};

namespace glossel {

// A loaded table as plain bytes. Valid until the table is evicted from the
// cache, reloaded, unloaded or the context terminated (see GetXlatTable).
struct TableView {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
};

// --- Context life cycle (the exports are thin wrappers over these) ---------

// Creates a context: opens "CCINTL.TB" in `directory`, reads and checks the
// header and both directories. Returns 0 and the new live context in *out,
// 2 (no memory), 3074 (version other than 3, or a directory or table that lies
// beyond the end of the file or is shorter than its layout), or a file library
// error; *out is untouched on failure.
[[nodiscard]] int32_t CreateContext(const char* directory, uint16_t cacheLimit,
                                    const char* language, tccIntlCtxtStruct** out);

// Unloads everything, closes the file and frees the context. 3073 for a handle
// that is not live; otherwise the close result.
[[nodiscard]] int32_t DestroyContext(tccIntlCtxtStruct* ctx);

// Frees every loaded table; the recency list is emptied and its count reset.
void UnloadTables(tccIntlCtxtStruct* ctx);

// True when `handle` is a context created by CreateContext and not yet
// destroyed. Never dereferences a handle that is not registered, so a
// terminated or foreign pointer is safe to pass. Every export that takes a
// handle calls this first and answers 3073 when it is false.
[[nodiscard]] inline bool IsLiveContext(const tccIntlCtxtStruct* handle);

// The slow half of IsLiveContext: the registry look-up under its lock, for a
// handle that is not in its slot of the lock-free table.
[[nodiscard]] bool IsRegisteredContext(const tccIntlCtxtStruct* handle);

namespace detail {
// A direct-mapped copy of part of the registry that every export reads
// without the lock: a live context is placed in the slot its address hashes
// to when that slot is free (else it is only in the registry, found the slow
// way). Slots are written only under the lock, and a context's slot is
// cleared before the context is freed, so a slot never holds a dead handle.
constexpr size_t LIVE_SLOTS = 256;
extern std::atomic<const tccIntlCtxtStruct*> g_liveSlots[LIVE_SLOTS];

inline size_t LiveSlotOf(const tccIntlCtxtStruct* handle) {
    const auto bits = reinterpret_cast<uintptr_t>(handle);
    return ((bits >> 4) ^ (bits >> 12)) & (LIVE_SLOTS - 1);
}
}  // namespace detail

// Inline, so that the common case (the handle is in its slot) costs the
// exports no call.
inline bool IsLiveContext(const tccIntlCtxtStruct* handle) {
    if (handle != nullptr &&
        detail::g_liveSlots[detail::LiveSlotOf(handle)].load(std::memory_order_acquire) == handle) {
        return handle->magic == CONTEXT_MAGIC;
    }
    return IsRegisteredContext(handle);
}

// --- Translation tables ----------------------------------------------------

// Index of the first directory entry for (source, destination) in *index, or
// 3075 when there is none. With `load`, the table is loaded (its first 512
// bytes only when a side is 932) and a load error is returned.
[[nodiscard]] int32_t FindXlatTable(tccIntlCtxtStruct* ctx, int16_t source, int16_t destination,
                                    bool load, uint16_t* index);

// Loads the table of entry `index` (in full when `full`, else a table with a
// side 932 gets only its first 512 bytes) after making room in the cache.
// 0, 2 or a file library error; a failed load leaves the entry unloaded.
[[nodiscard]] int32_t LoadXlatTable(tccIntlCtxtStruct* ctx, uint16_t index, bool full);

// Frees a partly loaded table and loads it in full; it becomes the most
// recently used table.
[[nodiscard]] int32_t ReloadXlatTableFull(tccIntlCtxtStruct* ctx, uint16_t index);

// The bytes of entry `index` now in memory (empty when not loaded).
[[nodiscard]] TableView XlatTableView(const tccIntlCtxtStruct* ctx, uint16_t index);

// Find + load in one: the table (source -> destination) in *view, loaded in
// full when `full`. 3075 when the file has no such table, else load errors.
// The table sizes were checked when the context was created, so the view
// holds at least:
//   set -> 1200: 512 bytes (256 u16, the Unicode value of each byte);
//   1200 -> set: 256 bytes (byte of U+0000-U+00FF), then 4-byte pairs;
//   1200 -> 932: 512 bytes (256 u16 output strings), then 4-byte pairs;
//   932 -> 1200: 512 bytes; with `full` 512 + 49 * 189 * 2 bytes (the grid);
//   0x43A4 -> 1200: 512 bytes, then 4-byte pairs.
// Loading a table may evict the least recently used one once the cache holds
// `cacheLimit` tables; the table used just before is never the one evicted
// (the limit is at least 2), so two views taken one after the other stay valid.
[[nodiscard]] int32_t GetXlatTable(tccIntlCtxtStruct* ctx, int16_t source, int16_t destination,
                                   bool full, TableView* view);

// --- Language tables -------------------------------------------------------

// Finds the language entry of the context's language and `kind` (0-3): the
// entry found last is tried first, then the directory is scanned in groups of
// four. *index receives it; 3076 when there is none. With `load`, its main
// table and (when their offsets are non-zero) its second and third tables are
// loaded; load errors (2, file errors) are returned.
[[nodiscard]] int32_t FindLangTable(tccIntlCtxtStruct* ctx, uint16_t kind, bool load,
                                    uint16_t* index);

struct LangTables {
    uint16_t type = 0;  // the entry's table type (0x8003: collation)
    TableView main;     // u16 weights from U+0000
    TableView second;   // 6-byte expansion records; empty when absent
    TableView third;    // 6-byte contraction records; empty when absent
};

// Find with load, then the entry's tables as views (valid until unload or
// terminate; language tables are never evicted). 3076 or load errors.
[[nodiscard]] int32_t GetLangTables(tccIntlCtxtStruct* ctx, uint16_t kind, LangTables* out);

// --- Normalisation and replacement tables ---------------------------------

// Loads the table once per context (on first use) and returns it. The
// normalisation table is a u16 per Unicode value from U+0000; the replacement
// table is a pair table (Unicode -> substitute byte). 0, 2 or a file error.
[[nodiscard]] int32_t LoadNormTable(tccIntlCtxtStruct* ctx, TableView* out);
[[nodiscard]] int32_t LoadReplTable(tccIntlCtxtStruct* ctx, TableView* out);

// --- Missing translations ---------------------------------------------------

// Writes "cIntl (<source>-><destination>)" to the context's "CCNFT.LG" unless
// this pair is the one logged last in this process. Never fails.
void LogMissingTranslation(const tccIntlCtxtStruct* ctx, int16_t source, int16_t destination);

// The name of a character set as the log writes it ("Unicode", "932",
// "MacScript0", "ISO88591".."ISO88599", "ISO646", else the number in decimal).
[[nodiscard]] std::string CharacterSetLogName(int16_t set);

// --- Byte helpers shared by the operations ---------------------------------

inline uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Binary search of a pair table (4-byte records: u16 key, u16 value, sorted by
// key): the value for `key`, or 0x003F when the key is absent. `bytes` is the
// size of the pair part; a trailing partial record is ignored.
[[nodiscard]] uint16_t PairSearch(const uint8_t* pairs, uint32_t bytes, uint16_t key);

// Runs an export's body; an exception escaping it (in practice bad_alloc)
// becomes the library's generic failure code 2.
template <typename Body>
int32_t GuardedExport(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return INTL_ERR_NO_MEMORY;
    }
}

}  // namespace glossel

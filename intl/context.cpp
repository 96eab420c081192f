// Context life cycle, the live-context registry, the translation-table cache,
// the language search and the missing-translation log.
#include "intl/context.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "intl/filekit/filekit.h"
#include "intl/table_layout.h"

namespace glossel {
namespace {

// Every live context, so that a terminated or foreign handle is recognised
// without reading the memory it points at.
std::mutex g_registryLock;
std::unordered_set<const tccIntlCtxtStruct*>& Registry() {
    static auto* registry = new std::unordered_set<const tccIntlCtxtStruct*>();
    return *registry;
}

// The pair of character sets written to the log last, shared by all contexts
// (source in the high 16 bits). Starts as (0, 0), a pair that is never logged.
std::atomic<uint32_t> g_lastLoggedPair{0};

using detail::g_liveSlots;
using detail::LiveSlotOf;

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool FitsInFile(uint64_t offset, uint64_t size, uint64_t fileSize) {
    return offset <= fileSize && size <= fileSize - offset;
}

// Allocates `size` bytes (at least one) without throwing; null on failure.
std::unique_ptr<uint8_t[]> Allocate(uint32_t size) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
}

// Seek, allocate and read one table. 0, 2 or a file library error; *out stays
// null on failure.
int32_t ReadTable(int32_t file, uint32_t offset, uint32_t size, std::unique_ptr<uint8_t[]>* out) {
    int32_t rc = cFileSeek(file, offset, CFILE_SEEK_START, nullptr);
    if (rc != 0) {
        return rc;
    }
    std::unique_ptr<uint8_t[]> buffer = Allocate(size);
    if (!buffer) {
        return INTL_ERR_NO_MEMORY;
    }
    rc = cFileRead(file, buffer.get(), size, nullptr);
    if (rc != 0) {
        return rc;
    }
    *out = std::move(buffer);
    return INTL_OK;
}

// Smallest size the translation layouts allow, so that the translation can
// index the fixed parts without further checks. 0 for pairs that the
// translation never looks up.
uint32_t MinimumXlatSize(int16_t source, int16_t destination) {
    if (destination == SET_UNICODE && source != SET_UNICODE) {
        return source == SET_SJIS ? SJIS_GRID_TABLE_SIZE : SINGLE_PART_U16_SIZE;
    }
    if (source == SET_UNICODE && destination != SET_UNICODE) {
        return destination == SET_SJIS ? SINGLE_PART_U16_SIZE : SINGLE_PART_BYTE_SIZE;
    }
    return 0;
}

bool IsPartialLoadSet(const XlatEntry& entry) {
    return entry.source == SET_SJIS || entry.destination == SET_SJIS;
}

// Removes `index` from the recency list if it is linked there.
void Unlink(tccIntlCtxtStruct* ctx, uint16_t index) {
    uint16_t previous = NO_ENTRY;
    for (uint16_t current = ctx->cacheHead; current != NO_ENTRY;
         current = ctx->xlatDir[current].nextLoaded) {
        if (current == index) {
            if (previous == NO_ENTRY) {
                ctx->cacheHead = ctx->xlatDir[current].nextLoaded;
            } else {
                ctx->xlatDir[previous].nextLoaded = ctx->xlatDir[current].nextLoaded;
            }
            ctx->xlatDir[current].nextLoaded = NO_ENTRY;
            --ctx->cacheCount;
            return;
        }
        previous = current;
    }
}

void FreeXlat(XlatEntry& entry) {
    entry.data.reset();
    entry.dense.reset();
    entry.loadedSize = 0;
    entry.fullLoad = 0;
}

// Before every load: with a full cache, a table already in the list becomes
// the most recently used one; otherwise the least recently used table (the
// last of the list, which never holds more than cacheLimit entries) is freed
// and leaves the list.
void MakeRoom(tccIntlCtxtStruct* ctx, uint16_t index) {
    if (ctx->cacheLimit == 0 || ctx->cacheCount < ctx->cacheLimit) {
        return;
    }
    uint16_t previous = NO_ENTRY;
    uint16_t beforePrevious = NO_ENTRY;
    uint16_t current = ctx->cacheHead;
    for (uint16_t steps = 0; current != NO_ENTRY && steps < ctx->cacheLimit; ++steps) {
        if (current == index) {
            if (previous != NO_ENTRY) {
                ctx->xlatDir[previous].nextLoaded = ctx->xlatDir[current].nextLoaded;
                ctx->xlatDir[current].nextLoaded = ctx->cacheHead;
                ctx->cacheHead = current;
            }
            return;
        }
        beforePrevious = previous;
        previous = current;
        current = ctx->xlatDir[current].nextLoaded;
    }
    if (previous == NO_ENTRY) {
        return;
    }
    XlatEntry& victim = ctx->xlatDir[previous];
    if (beforePrevious == NO_ENTRY) {
        ctx->cacheHead = victim.nextLoaded;
    } else {
        ctx->xlatDir[beforePrevious].nextLoaded = victim.nextLoaded;
    }
    victim.nextLoaded = NO_ENTRY;
    FreeXlat(victim);
    --ctx->cacheCount;
}

int32_t ReadHeaderAndDirectories(tccIntlCtxtStruct* ctx, uint64_t fileSize) {
    if (fileSize < HEADER_SIZE) {
        return INTL_ERR_BAD_TABLE_FILE;
    }
    uint8_t header[HEADER_SIZE];
    int32_t rc = cFileRead(ctx->file, header, HEADER_SIZE, nullptr);
    if (rc != 0) {
        return rc;
    }
    if (ReadU16(header + HEADER_VERSION) != TABLE_FILE_VERSION) {
        return INTL_ERR_BAD_TABLE_FILE;
    }

    // Translation directory.
    const uint32_t xlatOffset = ReadU32(header + HEADER_XLAT_OFFSET);
    const uint16_t xlatCount = (ReadU32(header + HEADER_XLAT_SIZE) & 0xFFFF) / XLAT_ENTRY_SIZE;
    const uint32_t xlatBytes = uint32_t{xlatCount} * XLAT_ENTRY_SIZE;
    if (!FitsInFile(xlatOffset, xlatBytes, fileSize)) {
        return INTL_ERR_BAD_TABLE_FILE;
    }
    std::vector<uint8_t> raw(xlatBytes);
    if (xlatBytes != 0) {
        if ((rc = cFileSeek(ctx->file, xlatOffset, CFILE_SEEK_START, nullptr)) != 0 ||
            (rc = cFileRead(ctx->file, raw.data(), xlatBytes, nullptr)) != 0) {
            return rc;
        }
    }
    ctx->xlatDir.resize(xlatCount);
    for (uint16_t i = 0; i < xlatCount; ++i) {
        const uint8_t* p = raw.data() + size_t{i} * XLAT_ENTRY_SIZE;
        XlatEntry& entry = ctx->xlatDir[i];
        entry.offset = ReadU32(p + XLAT_OFFSET);
        entry.size = ReadU32(p + XLAT_SIZE);
        entry.source = static_cast<int16_t>(ReadU16(p + XLAT_SOURCE));
        entry.destination = static_cast<int16_t>(ReadU16(p + XLAT_DESTINATION));
        if (!FitsInFile(entry.offset, entry.size, fileSize) ||
            entry.size < MinimumXlatSize(entry.source, entry.destination)) {
            return INTL_ERR_BAD_TABLE_FILE;
        }
    }
    ctx->xlatCount = xlatCount;

    // Language directory.
    const uint32_t langOffset = ReadU32(header + HEADER_LANG_OFFSET);
    const uint16_t langCount = (ReadU32(header + HEADER_LANG_SIZE) & 0xFFFF) / LANG_ENTRY_SIZE;
    const uint32_t langBytes = uint32_t{langCount} * LANG_ENTRY_SIZE;
    if (!FitsInFile(langOffset, langBytes, fileSize)) {
        return INTL_ERR_BAD_TABLE_FILE;
    }
    raw.assign(langBytes, 0);
    if (langBytes != 0) {
        if ((rc = cFileSeek(ctx->file, langOffset, CFILE_SEEK_START, nullptr)) != 0 ||
            (rc = cFileRead(ctx->file, raw.data(), langBytes, nullptr)) != 0) {
            return rc;
        }
    }
    ctx->langDir.resize(langCount);
    for (uint16_t i = 0; i < langCount; ++i) {
        const uint8_t* p = raw.data() + size_t{i} * LANG_ENTRY_SIZE;
        LangEntry& entry = ctx->langDir[i];
        entry.type = ReadU16(p + LANG_TYPE);
        entry.mainOffset = ReadU32(p + LANG_MAIN_OFFSET);
        entry.mainSize = ReadU32(p + LANG_MAIN_SIZE);
        entry.language[0] = static_cast<char>(p[LANG_LANGUAGE]);
        entry.language[1] = static_cast<char>(p[LANG_LANGUAGE + 1]);
        entry.kind = ReadU16(p + LANG_KIND) & 3;
        entry.secondOffset = ReadU32(p + LANG_SECOND_OFFSET);
        entry.secondSize = ReadU32(p + LANG_SECOND_SIZE);
        entry.thirdOffset = ReadU32(p + LANG_THIRD_OFFSET);
        entry.thirdSize = ReadU32(p + LANG_THIRD_SIZE);
        if (!FitsInFile(entry.mainOffset, entry.mainSize, fileSize) ||
            (entry.secondOffset != 0 &&
             !FitsInFile(entry.secondOffset, entry.secondSize, fileSize)) ||
            (entry.thirdOffset != 0 && !FitsInFile(entry.thirdOffset, entry.thirdSize, fileSize))) {
            return INTL_ERR_BAD_TABLE_FILE;
        }
    }
    ctx->langCount = langCount;

    ctx->normOffset = ReadU32(header + HEADER_NORM_OFFSET);
    ctx->normSize = static_cast<uint16_t>(ReadU32(header + HEADER_NORM_SIZE) & 0xFFFF);
    ctx->replOffset = ReadU32(header + HEADER_REPL_OFFSET);
    ctx->replSize = static_cast<uint16_t>(ReadU32(header + HEADER_REPL_SIZE) & 0xFFFF);
    if ((ctx->normSize != 0 && !FitsInFile(ctx->normOffset, ctx->normSize, fileSize)) ||
        (ctx->replSize != 0 && !FitsInFile(ctx->replOffset, ctx->replSize, fileSize))) {
        return INTL_ERR_BAD_TABLE_FILE;
    }
    return INTL_OK;
}

int32_t OpenAndRead(tccIntlCtxtStruct* ctx, const std::string& tablePath) {
    int32_t rc = cFileOpen(tablePath.c_str(), CFILE_MODE_READ | CFILE_MODE_SHARED, &ctx->file);
    if (rc != 0) {
        ctx->file = 0;
        return rc;
    }
    // The file size bounds every offset and size the file states, so that a
    // damaged file is refused here instead of causing huge allocations later.
    int64_t fileSize = 0;
    if ((rc = cFileSeek(ctx->file, 0, CFILE_SEEK_END, &fileSize)) != 0 ||
        (rc = cFileSeek(ctx->file, 0, CFILE_SEEK_START, nullptr)) != 0) {
        return rc;
    }
    return ReadHeaderAndDirectories(ctx, static_cast<uint64_t>(fileSize));
}

}  // namespace

namespace detail {
std::atomic<const tccIntlCtxtStruct*> g_liveSlots[LIVE_SLOTS];
}  // namespace detail

bool IsRegisteredContext(const tccIntlCtxtStruct* handle) {
    if (handle == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(g_registryLock);
    if (Registry().count(handle) == 0 || handle->magic != CONTEXT_MAGIC) {
        return false;
    }
    // Its slot may have been freed since it was created.
    std::atomic<const tccIntlCtxtStruct*>& slot = g_liveSlots[LiveSlotOf(handle)];
    if (slot.load(std::memory_order_relaxed) == nullptr) {
        slot.store(handle, std::memory_order_release);
    }
    return true;
}

int32_t CreateContext(const char* directory, uint16_t cacheLimit, const char* language,
                      tccIntlCtxtStruct** out) {
    if (out == nullptr) {
        return INTL_ERR_BAD_HANDLE;
    }
    std::unique_ptr<tccIntlCtxtStruct> ctx(new (std::nothrow) tccIntlCtxtStruct());
    if (!ctx) {
        return INTL_ERR_NO_MEMORY;
    }
    for (int i = 0; i < 2 && language != nullptr && language[i] != '\0'; ++i) {
        char c = language[i];
        ctx->language[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    std::string prefix = directory != nullptr ? directory : "";
    if (!prefix.empty() && prefix.back() != '/') {
        prefix += '/';
    }
    ctx->logPath = prefix + LOG_FILE_NAME;

    const int32_t rc = OpenAndRead(ctx.get(), prefix + TABLE_FILE_NAME);
    if (rc != 0) {
        if (ctx->file != 0) {
            // The context is discarded; its close result adds nothing to the
            // error already being returned.
            (void)cFileClose(ctx->file);
        }
        return rc;
    }
    ctx->cacheLimit = cacheLimit == 1 ? 2 : cacheLimit;
    ctx->lastLang = 0;
    ctx->magic = CONTEXT_MAGIC;
    try {
        std::lock_guard<std::mutex> guard(g_registryLock);
        Registry().insert(ctx.get());
        std::atomic<const tccIntlCtxtStruct*>& slot = g_liveSlots[LiveSlotOf(ctx.get())];
        if (slot.load(std::memory_order_relaxed) == nullptr) {
            slot.store(ctx.get(), std::memory_order_release);
        }
    } catch (...) {
        (void)cFileClose(ctx->file);  // as above: the allocation failure is what counts
        return INTL_ERR_NO_MEMORY;
    }
    *out = ctx.release();
    return INTL_OK;
}

int32_t DestroyContext(tccIntlCtxtStruct* ctx) {
    {
        std::lock_guard<std::mutex> guard(g_registryLock);
        if (ctx == nullptr || Registry().erase(ctx) == 0 || ctx->magic != CONTEXT_MAGIC) {
            return INTL_ERR_BAD_HANDLE;
        }
        std::atomic<const tccIntlCtxtStruct*>& slot = g_liveSlots[LiveSlotOf(ctx)];
        if (slot.load(std::memory_order_relaxed) == ctx) {
            slot.store(nullptr, std::memory_order_release);
        }
    }
    UnloadTables(ctx);
    ctx->magic = 0;
    const int32_t rc = cFileClose(ctx->file);
    delete ctx;
    return rc;
}

void UnloadTables(tccIntlCtxtStruct* ctx) {
    for (XlatEntry& entry : ctx->xlatDir) {
        FreeXlat(entry);
        entry.nextLoaded = NO_ENTRY;
    }
    ctx->cacheHead = NO_ENTRY;
    ctx->cacheCount = 0;
    for (LangEntry& entry : ctx->langDir) {
        entry.mainData.reset();
        entry.secondData.reset();
        entry.thirdData.reset();
    }
    for (LangViews& views : ctx->langViews) {
        views = LangViews{};
    }
    for (ByteKeys& keys : ctx->byteKeys) {
        keys.valid = false;
    }
    ctx->normData.reset();
    ctx->replData.reset();
}

int32_t LoadXlatTable(tccIntlCtxtStruct* ctx, uint16_t index, bool full) {
    MakeRoom(ctx, index);
    XlatEntry& entry = ctx->xlatDir[index];
    if (entry.data) {
        return INTL_OK;
    }
    uint32_t bytes = entry.size;
    if (IsPartialLoadSet(entry) && !full) {
        bytes = std::min<uint32_t>(bytes, SINGLE_PART_U16_SIZE);
    }
    const int32_t rc = ReadTable(ctx->file, entry.offset, bytes, &entry.data);
    if (rc != 0) {
        return rc;
    }
    entry.loadedSize = bytes;
    entry.fullLoad = full ? 1 : 0;
    if (ctx->cacheLimit != 0) {
        entry.nextLoaded = ctx->cacheHead;
        ctx->cacheHead = index;
        ++ctx->cacheCount;
    }
    return INTL_OK;
}

int32_t ReloadXlatTableFull(tccIntlCtxtStruct* ctx, uint16_t index) {
    XlatEntry& entry = ctx->xlatDir[index];
    if (entry.data) {
        // Leaves the recency list with its data, so that the load below links
        // it at the head exactly once.
        if (ctx->cacheLimit != 0) {
            Unlink(ctx, index);
        }
        FreeXlat(entry);
    }
    return LoadXlatTable(ctx, index, true);
}

int32_t FindXlatTable(tccIntlCtxtStruct* ctx, int16_t source, int16_t destination, bool load,
                      uint16_t* index) {
    for (uint16_t i = 0; i < ctx->xlatCount; ++i) {
        const XlatEntry& entry = ctx->xlatDir[i];
        if (entry.source == source && entry.destination == destination) {
            *index = i;
            return load ? LoadXlatTable(ctx, i, false) : INTL_OK;
        }
    }
    return INTL_ERR_NO_XLAT_TABLE;
}

TableView XlatTableView(const tccIntlCtxtStruct* ctx, uint16_t index) {
    const XlatEntry& entry = ctx->xlatDir[index];
    return TableView{entry.data.get(), entry.data ? entry.loadedSize : 0};
}

int32_t GetXlatTable(tccIntlCtxtStruct* ctx, int16_t source, int16_t destination, bool full,
                     TableView* view) {
    uint16_t index = 0;
    int32_t rc = FindXlatTable(ctx, source, destination, true, &index);
    if (rc != 0) {
        return rc;
    }
    const XlatEntry& entry = ctx->xlatDir[index];
    if (full && entry.loadedSize < entry.size) {
        if ((rc = ReloadXlatTableFull(ctx, index)) != 0) {
            return rc;
        }
    }
    *view = XlatTableView(ctx, index);
    return INTL_OK;
}

int32_t FindLangTable(tccIntlCtxtStruct* ctx, uint16_t kind, bool load, uint16_t* index) {
    kind &= 3;
    auto matchesLanguage = [ctx](const LangEntry& entry) {
        return entry.language[0] == ctx->language[0] && entry.language[1] == ctx->language[1];
    };
    uint16_t found = NO_ENTRY;
    if (ctx->lastLang < ctx->langCount && matchesLanguage(ctx->langDir[ctx->lastLang]) &&
        ctx->langDir[ctx->lastLang].kind == kind) {
        found = ctx->lastLang;
    } else {
        // The entries of one language form a group of four starting at a
        // multiple of four, so an entry of another language skips its group.
        for (uint32_t i = 0; i < ctx->langCount;) {
            const LangEntry& entry = ctx->langDir[i];
            if (!matchesLanguage(entry)) {
                i += 4;
            } else if (entry.kind != kind) {
                i += 1;
            } else {
                found = static_cast<uint16_t>(i);
                ctx->lastLang = found;
                break;
            }
        }
    }
    if (found == NO_ENTRY) {
        return INTL_ERR_NO_LANG_TABLE;
    }
    *index = found;
    if (!load) {
        return INTL_OK;
    }
    LangEntry& entry = ctx->langDir[found];
    if (entry.mainData) {
        return INTL_OK;
    }
    int32_t rc = ReadTable(ctx->file, entry.mainOffset, entry.mainSize, &entry.mainData);
    if (rc == 0 && entry.secondOffset != 0) {
        rc = ReadTable(ctx->file, entry.secondOffset, entry.secondSize, &entry.secondData);
    }
    if (rc == 0 && entry.thirdOffset != 0) {
        rc = ReadTable(ctx->file, entry.thirdOffset, entry.thirdSize, &entry.thirdData);
    }
    if (rc != 0) {
        // All or nothing, so that a later use loads the whole entry again.
        entry.mainData.reset();
        entry.secondData.reset();
        entry.thirdData.reset();
    }
    return rc;
}

int32_t GetLangTables(tccIntlCtxtStruct* ctx, uint16_t kind, LangTables* out) {
    uint16_t index = 0;
    const int32_t rc = FindLangTable(ctx, kind, true, &index);
    if (rc != 0) {
        return rc;
    }
    const LangEntry& entry = ctx->langDir[index];
    out->type = entry.type;
    out->main = TableView{entry.mainData.get(), entry.mainSize};
    out->second =
        entry.secondData ? TableView{entry.secondData.get(), entry.secondSize} : TableView{};
    out->third = entry.thirdData ? TableView{entry.thirdData.get(), entry.thirdSize} : TableView{};
    LangViews& views = ctx->langViews[kind & 3];
    views.type = out->type;
    views.main = out->main.data;
    views.mainSize = out->main.size;
    views.second = out->second.data;
    views.secondSize = out->second.size;
    views.third = out->third.data;
    views.thirdSize = out->third.size;
    return INTL_OK;
}

int32_t LoadNormTable(tccIntlCtxtStruct* ctx, TableView* out) {
    if (!ctx->normData) {
        const int32_t rc = ReadTable(ctx->file, ctx->normOffset, ctx->normSize, &ctx->normData);
        if (rc != 0) {
            return rc;
        }
    }
    *out = TableView{ctx->normData.get(), ctx->normSize};
    return INTL_OK;
}

int32_t LoadReplTable(tccIntlCtxtStruct* ctx, TableView* out) {
    if (!ctx->replData) {
        const int32_t rc = ReadTable(ctx->file, ctx->replOffset, ctx->replSize, &ctx->replData);
        if (rc != 0) {
            return rc;
        }
    }
    *out = TableView{ctx->replData.get(), ctx->replSize};
    return INTL_OK;
}

std::string CharacterSetLogName(int16_t set) {
    const uint16_t value = static_cast<uint16_t>(set);
    if (set == SET_UNICODE) {
        return "Unicode";
    }
    if (set == SET_MAC_ROMAN) {
        return "MacScript0";
    }
    if (value >= 0x8591 && value <= 0x8599) {
        return "ISO8859" + std::to_string(value - 0x8590);
    }
    if (set == SET_ISO646) {
        return "ISO646";
    }
    return std::to_string(set);
}

void LogMissingTranslation(const tccIntlCtxtStruct* ctx, int16_t source, int16_t destination) {
    const uint32_t pair =
        (uint32_t{static_cast<uint16_t>(source)} << 16) | static_cast<uint16_t>(destination);
    if (g_lastLoggedPair.exchange(pair) == pair) {
        return;
    }
    char message[200];
    std::snprintf(message, sizeof message, "cIntl (%s->%s)", CharacterSetLogName(source).c_str(),
                  CharacterSetLogName(destination).c_str());
    char tag[200] = "cIntl";
    tccIntlNftRecord record;
    std::memset(&record, 0, sizeof record);
    record.message = message;
    record.source = tag;
    char line[CFILE_NFT_BUFFER_SIZE];
    // Logging never fails the translation, so neither result is examined.
    (void)cFileBuildNftBuffer(0, &record, line);
    (void)cFileWriteToFile(ctx->logPath.c_str(), line);
}

uint16_t PairSearch(const uint8_t* pairs, uint32_t bytes, uint16_t key) {
    uint32_t low = 0;
    uint32_t high = bytes / 4;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        const uint16_t middleKey = ReadU16(pairs + size_t{middle} * 4);
        if (middleKey < key) {
            low = middle + 1;
        } else if (middleKey > key) {
            high = middle;
        } else {
            return ReadU16(pairs + size_t{middle} * 4 + 2);
        }
    }
    return 0x003F;
}

}  // namespace glossel

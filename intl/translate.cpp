// Translation paths: plain copy, single-byte sets through Unicode, and the
// double-byte path of code page 932 with its grid and pair tables.
#include "intl/translate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <vector>

#include "intl/table_layout.h"

namespace glossel {
namespace {

constexpr uint16_t QUESTION_MARK = 0x003F;

// Little-endian stores of Unicode units.
inline void StoreU16(uint8_t* at, uint16_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(at, &value, 2);
    } else {
        at[0] = static_cast<uint8_t>(value & 0xFF);
        at[1] = static_cast<uint8_t>(value >> 8);
    }
}
inline void StoreU64(uint8_t* at, uint64_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(at, &value, 8);
    } else {
        for (int i = 0; i < 8; ++i) {
            at[i] = static_cast<uint8_t>(value >> (8 * i));
        }
    }
}

bool IsDoubleByteSet(int16_t set) {
    return set == SET_SJIS || set == SET_SJIS_PAIRS;
}

bool SameAddress(const uint8_t* a, const uint8_t* b) {
    return a == b;
}

// True when the two byte ranges share at least one byte.
bool Overlap(const uint8_t* a, uint64_t aLength, const uint8_t* b, uint64_t bLength) {
    if (aLength == 0 || bLength == 0) {
        return false;
    }
    const std::less<const uint8_t*> before;
    return before(a, b + bLength) && before(b, a + aLength);
}

// Plain copy for the identity and missing-table cases. The copy may need the
// whole input length even where the translation would need less.
int32_t CopyBytes(const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
                  uint32_t* destinationLength) {
    if (*destinationLength < sourceLength) {
        *destinationLength = 0;
        return INTL_ERR_BUFFER_TOO_SMALL;
    }
    if (!SameAddress(source, destination) && sourceLength != 0) {
        std::memmove(destination, source, sourceLength);
    }
    *destinationLength = sourceLength;
    return INTL_OK;
}

int32_t CopyAndLog(tccIntlCtxtStruct* ctx, int16_t loggedSource, int16_t loggedDestination,
                   const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
                   uint32_t* destinationLength) {
    const int32_t rc = CopyBytes(source, sourceLength, destination, destinationLength);
    if (rc == INTL_OK) {
        LogMissingTranslation(ctx, loggedSource, loggedDestination);
    }
    return rc;
}

constexpr uint32_t DENSE_KEYS = 0x10000;

// The direct index of entry `index` (whole table loaded), built on first use:
// for a Unicode -> byte table the byte of every value, for a table with a
// u16 single part and a pair part the u16 of every key. Each entry is what
// the byte part or the pair search gives, so results do not change. Null
// when memory is short; callers then search the pairs.
const uint16_t* DenseIndex(tccIntlCtxtStruct* ctx, uint16_t index, bool byteTable) {
    XlatEntry& entry = ctx->xlatDir[index];
    if (!entry.dense) {
        std::unique_ptr<uint16_t[]> dense(new (std::nothrow) uint16_t[DENSE_KEYS]);
        if (!dense) {
            return nullptr;
        }
        const uint8_t* data = entry.data.get();
        const uint32_t fixedPart = byteTable ? SINGLE_PART_BYTE_SIZE : SINGLE_PART_U16_SIZE;
        const uint8_t* pairs = data + fixedPart;
        const uint32_t pairBytes = entry.loadedSize - fixedPart;
        for (uint32_t key = 0; key < 0x100; ++key) {
            dense[key] = byteTable ? data[key] : ReadU16(data + 2 * key);
        }
        std::fill(dense.get() + 0x100, dense.get() + DENSE_KEYS, QUESTION_MARK);
        for (uint32_t at = 0; at + PAIR_SIZE <= pairBytes; at += PAIR_SIZE) {
            const uint16_t key = ReadU16(pairs + at);
            if (key >= 0x100) {
                const uint16_t value = PairSearch(pairs, pairBytes, key);
                dense[key] = byteTable ? (value & 0xFF) : value;
            }
        }
        entry.dense = std::move(dense);
    }
    return entry.dense.get();
}

// A Unicode -> byte table: 256 bytes for U+0000-U+00FF, then pairs; looked
// up through its direct index when there is one.
struct ByteTable {
    const uint8_t* bytes = nullptr;
    const uint8_t* pairs = nullptr;
    uint32_t pairBytes = 0;
    const uint16_t* dense = nullptr;

    ByteTable(tccIntlCtxtStruct* ctx, uint16_t index) {
        const TableView view = XlatTableView(ctx, index);
        bytes = view.data;
        pairs = view.data + SINGLE_PART_BYTE_SIZE;
        pairBytes = view.size - SINGLE_PART_BYTE_SIZE;
        dense = DenseIndex(ctx, index, true);
    }
    ByteTable() = default;

    uint8_t Lookup(uint16_t u) const {
        if (dense != nullptr) {
            return static_cast<uint8_t>(dense[u]);
        }
        return u < 0x100 ? bytes[u] : static_cast<uint8_t>(PairSearch(pairs, pairBytes, u));
    }
};

// Substitutes from the replacement table for characters the destination
// lacks, loaded on the first use within a translation.
class CReplacer {
public:
    explicit CReplacer(tccIntlCtxtStruct* ctx) : m_pCtx(ctx) {}

    // The byte for `u` when the destination gave "?": the substitute's low
    // byte, or "?" itself. Returns 0 or a load error.
    [[nodiscard]] int32_t Replace(uint16_t u, uint8_t* byte) {
        if (!m_loaded) {
            const int32_t rc = LoadReplTable(m_pCtx, &m_table);
            if (rc != 0) {
                return rc;
            }
            m_loaded = true;
        }
        *byte = static_cast<uint8_t>(PairSearch(m_table.data, m_table.size, u) & 0xFF);
        return INTL_OK;
    }

private:
    tccIntlCtxtStruct* m_pCtx;
    TableView m_table;
    bool m_loaded = false;
};

// --- General path ------------------------------------------------------------

int32_t UnicodeToSingle(tccIntlCtxtStruct* ctx, const uint8_t* source, uint32_t sourceLength,
                        int16_t destinationSet, uint8_t* destination, uint32_t* destinationLength) {
    const uint32_t units = sourceLength / 2;
    if (*destinationLength < units) {
        *destinationLength = 0;
        return INTL_ERR_BUFFER_TOO_SMALL;
    }
    uint16_t index = 0;
    int32_t rc = FindXlatTable(ctx, SET_UNICODE, destinationSet, true, &index);
    if (rc == INTL_ERR_NO_XLAT_TABLE) {
        return CopyAndLog(ctx, SET_UNICODE, destinationSet, source, sourceLength, destination,
                          destinationLength);
    }
    *destinationLength = 0;
    if (rc != 0) {
        return rc;
    }
    const ByteTable table(ctx, index);
    CReplacer replacer(ctx);
    // Output index i never passes input index 2i, so this is safe in place.
    for (uint32_t i = 0; i < units; ++i) {
        const uint16_t u = ReadU16(source + 2 * size_t{i});
        uint8_t b = table.Lookup(u);
        if (b == QUESTION_MARK && u != QUESTION_MARK) {
            if ((rc = replacer.Replace(u, &b)) != 0) {
                *destinationLength = i;
                return rc;
            }
        }
        destination[i] = b;
    }
    *destinationLength = units;
    return INTL_OK;
}

int32_t SingleToUnicode(tccIntlCtxtStruct* ctx, int16_t sourceSet, const uint8_t* source,
                        uint32_t sourceLength, uint8_t* destination, uint32_t* destinationLength) {
    if (*destinationLength < 2 * uint64_t{sourceLength}) {
        *destinationLength = 0;
        return INTL_ERR_BUFFER_TOO_SMALL;
    }
    TableView view;
    const int32_t rc = GetXlatTable(ctx, sourceSet, SET_UNICODE, false, &view);
    if (rc == INTL_ERR_NO_XLAT_TABLE) {
        return CopyAndLog(ctx, sourceSet, SET_UNICODE, source, sourceLength, destination,
                          destinationLength);
    }
    *destinationLength = 0;
    if (rc != 0) {
        return rc;
    }
    uint16_t units[256];
    for (int b = 0; b < 256; ++b) {
        units[b] = ReadU16(view.data + 2 * b);
    }
    if (SameAddress(source, destination)) {
        // From the last byte to the first, so that expansion in place never
        // overwrites a byte not yet read.
        for (uint32_t i = sourceLength; i-- > 0;) {
            StoreU16(destination + 2 * size_t{i}, units[source[i]]);
        }
    } else {
        uint32_t i = 0;
        for (; i + 4 <= sourceLength; i += 4) {
            const uint64_t four =
                uint64_t{units[source[i]]} | (uint64_t{units[source[i + 1]]} << 16) |
                (uint64_t{units[source[i + 2]]} << 32) | (uint64_t{units[source[i + 3]]} << 48);
            StoreU64(destination + 2 * size_t{i}, four);
        }
        for (; i < sourceLength; ++i) {
            StoreU16(destination + 2 * size_t{i}, units[source[i]]);
        }
    }
    *destinationLength = 2 * sourceLength;
    return INTL_OK;
}

int32_t SingleToSingle(tccIntlCtxtStruct* ctx, int16_t sourceSet, const uint8_t* source,
                       uint32_t sourceLength, int16_t destinationSet, uint8_t* destination,
                       uint32_t* destinationLength) {
    const uint32_t capacity = *destinationLength;
    if (capacity < sourceLength) {
        *destinationLength = 0;
        return INTL_ERR_BUFFER_TOO_SMALL;
    }
    TableView first;
    int32_t rc = GetXlatTable(ctx, sourceSet, SET_UNICODE, false, &first);
    if (rc == INTL_ERR_NO_XLAT_TABLE) {
        return CopyAndLog(ctx, sourceSet, SET_UNICODE, source, sourceLength, destination,
                          destinationLength);
    }
    *destinationLength = 0;
    if (rc != 0) {
        return rc;
    }
    uint16_t secondIndex = 0;
    rc = FindXlatTable(ctx, SET_UNICODE, destinationSet, true, &secondIndex);
    if (rc == INTL_ERR_NO_XLAT_TABLE) {
        *destinationLength = capacity;
        return CopyAndLog(ctx, SET_UNICODE, destinationSet, source, sourceLength, destination,
                          destinationLength);
    }
    if (rc != 0) {
        return rc;
    }
    const ByteTable table(ctx, secondIndex);
    CReplacer replacer(ctx);
    for (uint32_t i = 0; i < sourceLength; ++i) {
        const uint16_t u = ReadU16(first.data + 2 * size_t{source[i]});
        uint8_t b = table.Lookup(u);
        if (b == QUESTION_MARK && u != QUESTION_MARK) {
            if ((rc = replacer.Replace(u, &b)) != 0) {
                *destinationLength = i;
                return rc;
            }
        }
        destination[i] = b;
    }
    *destinationLength = sourceLength;
    return INTL_OK;
}

// --- Double-byte path -----------------------------------------------------------

// Most bytes the double-byte path can write for `sourceLength` input bytes:
// a Unicode unit becomes at most two bytes, anything else at most two bytes
// per input byte unless the destination is a single-byte set.
uint64_t DoubleByteBound(int16_t sourceSet, int16_t destinationSet, uint32_t sourceLength) {
    if (sourceSet == SET_UNICODE) {
        return sourceLength & ~1u;
    }
    if (destinationSet == SET_UNICODE || IsDoubleByteSet(destinationSet)) {
        return 2 * uint64_t{sourceLength};
    }
    return sourceLength;
}

// One table of the double-byte path, refetched after a full reload.
struct PathTable {
    uint16_t index = 0;
    TableView view;
};

int32_t EnsureFull(tccIntlCtxtStruct* ctx, PathTable* table) {
    const XlatEntry& entry = ctx->xlatDir[table->index];
    if (entry.loadedSize >= entry.size) {
        return INTL_OK;
    }
    const int32_t rc = ReloadXlatTableFull(ctx, table->index);
    if (rc != 0) {
        return rc;
    }
    table->view = XlatTableView(ctx, table->index);
    return INTL_OK;
}

// Grid index of the first trail byte (0x40) of each lead byte's row; -1 for
// bytes that are no lead. A valid trail makes every code of leads 0xEF-0xFC
// fall at or above 0xEF40, so the row depends on the lead alone.
struct GridRows {
    int32_t start[256] = {};
    constexpr GridRows() {
        for (int b = 0; b < 256; ++b) {
            start[b] = IsSjisLeadByte(static_cast<uint8_t>(b))
                           ? static_cast<int32_t>(SjisGridIndex(static_cast<uint8_t>(b), 0x40))
                           : -1;
        }
    }
};
constexpr GridRows GRID_ROWS;

// A lead byte forms a double-byte code only with a trail byte after it.
inline bool StartsDoubleByte(const uint8_t* source, uint32_t position, uint32_t length) {
    return IsSjisLeadByte(source[position]) && position + 1 < length &&
           IsSjisTrailByte(source[position + 1]);
}

// The part of a u16 table (single part, then pairs) above the first 256
// keys: direct index once built, pair search otherwise. Loads the whole table
// first when only its single part is in memory.
class CWideLookup {
public:
    CWideLookup(tccIntlCtxtStruct* ctx, PathTable* table) : m_pCtx(ctx), m_pTable(table) {}

    [[nodiscard]] int32_t Find(uint16_t key, uint16_t* value) {
        if (m_pDense == nullptr && !m_searchPairs) {
            const int32_t rc = EnsureFull(m_pCtx, m_pTable);
            if (rc != 0) {
                return rc;
            }
            m_pDense = DenseIndex(m_pCtx, m_pTable->index, false);
            m_searchPairs = m_pDense == nullptr;
        }
        if (m_pDense != nullptr) {
            *value = m_pDense[key];
        } else {
            const TableView& view = m_pTable->view;
            *value =
                PairSearch(view.data + SINGLE_PART_U16_SIZE, view.size - SINGLE_PART_U16_SIZE, key);
        }
        return INTL_OK;
    }

private:
    tccIntlCtxtStruct* m_pCtx;
    PathTable* m_pTable;
    const uint16_t* m_pDense = nullptr;
    bool m_searchPairs = false;
};

// Reads characters of a double-byte or single-byte source and yields their
// Unicode values through the path's first table.
class CSourceReader {
public:
    CSourceReader(tccIntlCtxtStruct* ctx, PathTable* table, bool doubleByteSource, bool grid,
                  const uint8_t* source, uint32_t length)
        : m_pCtx(ctx),
          m_pTable(table),
          m_pairs(ctx, table),
          m_doubleByte(doubleByteSource),
          m_grid(grid),
          m_pSource(source),
          m_length(length) {}

    bool AtEnd() const { return m_position >= m_length; }

    // The next character's Unicode value. A lead byte at the end of the input
    // or before a byte outside 0x40-0xFC is read alone, as a single byte.
    [[nodiscard]] int32_t Next(uint16_t* u) {
        const uint8_t b = m_pSource[m_position];
        if (m_doubleByte && StartsDoubleByte(m_pSource, m_position, m_length)) {
            const uint8_t trail = m_pSource[m_position + 1];
            int32_t rc = 0;
            if (m_grid) {
                if ((rc = EnsureFull(m_pCtx, m_pTable)) != 0) {
                    return rc;
                }
                *u = ReadU16(m_pTable->view.data + SINGLE_PART_U16_SIZE +
                             2 * (GRID_ROWS.start[b] + trail - 0x40));
            } else if ((rc = m_pairs.Find(static_cast<uint16_t>((b << 8) | trail), u)) != 0) {
                return rc;
            }
            m_position += 2;
            return INTL_OK;
        }
        *u = ReadU16(m_pTable->view.data + 2 * size_t{b});
        m_position += 1;
        return INTL_OK;
    }

private:
    tccIntlCtxtStruct* m_pCtx;
    PathTable* m_pTable;
    CWideLookup m_pairs;
    bool m_doubleByte;
    bool m_grid;
    const uint8_t* m_pSource;
    uint32_t m_length;
    uint32_t m_position = 0;
};

// Unicode -> bytes through the path's second table: output strings for 932,
// one byte for other sets. Writes one or two bytes at *out.
class CUnicodeWriter {
public:
    CUnicodeWriter(tccIntlCtxtStruct* ctx, PathTable* table, bool doubleByteDestination)
        : m_pTable(table),
          m_strings(ctx, table),
          m_doubleByte(doubleByteDestination),
          m_replacer(ctx) {
        if (!m_doubleByte) {
            m_bytes = ByteTable(ctx, table->index);
        }
    }

    [[nodiscard]] int32_t Write(uint16_t u, uint8_t* out, uint32_t* written) {
        uint8_t first = 0;
        uint8_t second = 0;
        if (m_doubleByte) {
            uint16_t outputString = 0;
            if (u < 0x100) {
                outputString = ReadU16(m_pTable->view.data + 2 * size_t{u});
            } else {
                const int32_t rc = m_strings.Find(u, &outputString);
                if (rc != 0) {
                    return rc;
                }
            }
            first = static_cast<uint8_t>(outputString & 0xFF);
            second = static_cast<uint8_t>(outputString >> 8);
        } else {
            first = m_bytes.Lookup(u);
        }
        if (second != 0) {
            out[0] = first;
            out[1] = second;
            *written = 2;
            return INTL_OK;
        }
        if (first == QUESTION_MARK && u != QUESTION_MARK) {
            const int32_t rc = m_replacer.Replace(u, &first);
            if (rc != 0) {
                return rc;
            }
        }
        out[0] = first;
        *written = 1;
        return INTL_OK;
    }

private:
    PathTable* m_pTable;
    CWideLookup m_strings;
    ByteTable m_bytes;
    bool m_doubleByte;
    CReplacer m_replacer;
};

// 932 -> 1200 through the grid: the hot loop of the double-byte path. The
// table is loaded in full when the first double-byte code needs it.
int32_t ShiftJisToUnicode(tccIntlCtxtStruct* ctx, PathTable* table, const uint8_t* source,
                          uint32_t sourceLength, uint8_t* destination, uint32_t* written) {
    uint16_t single[256];
    for (int b = 0; b < 256; ++b) {
        single[b] = ReadU16(table->view.data + 2 * b);
    }
    uint32_t i = 0;
    uint32_t o = 0;
    // Single bytes up to the first double-byte code, which needs the grid.
    while (i < sourceLength && !StartsDoubleByte(source, i, sourceLength)) {
        StoreU16(destination + o, single[source[i]]);
        i += 1;
        o += 2;
    }
    if (i < sourceLength) {
        const int32_t rc = EnsureFull(ctx, table);
        if (rc != 0) {
            *written = o;
            return rc;
        }
        const uint8_t* grid = table->view.data + SINGLE_PART_U16_SIZE;
        // Both candidates are read and one is chosen, which keeps the loop
        // free of hard-to-predict branches on mixed text; a single byte reads
        // grid entry 0, which always exists.
        while (i + 1 < sourceLength) {
            const uint8_t b = source[i];
            const uint8_t trail = source[i + 1];
            const int32_t rowStart = GRID_ROWS.start[b];
            const bool pair = (rowStart >= 0) & IsSjisTrailByte(trail);
            const uint32_t index = pair ? static_cast<uint32_t>(rowStart + trail - 0x40) : 0;
            const uint16_t fromGrid = ReadU16(grid + 2 * index);
            StoreU16(destination + o, pair ? fromGrid : single[b]);
            o += 2;
            i += pair ? 2 : 1;
        }
        if (i < sourceLength) {
            StoreU16(destination + o, single[source[i]]);
            o += 2;
        }
    }
    *written = o;
    return INTL_OK;
}

// 1200 -> 932: output strings. Two input bytes give at most two output
// bytes, so this is safe in place.
int32_t UnicodeToShiftJis(tccIntlCtxtStruct* ctx, PathTable* table, const uint8_t* source,
                          uint32_t sourceLength, uint8_t* destination, uint32_t* written) {
    CWideLookup strings(ctx, table);
    CReplacer replacer(ctx);
    uint32_t o = 0;
    for (uint32_t i = 0; i + 1 < sourceLength; i += 2) {
        const uint16_t u = ReadU16(source + i);
        uint16_t outputString = 0;
        int32_t rc = 0;
        if (u < 0x100) {
            outputString = ReadU16(table->view.data + 2 * size_t{u});
        } else if ((rc = strings.Find(u, &outputString)) != 0) {
            *written = o;
            return rc;
        }
        if (outputString > 0xFF) {
            destination[o] = static_cast<uint8_t>(outputString & 0xFF);
            destination[o + 1] = static_cast<uint8_t>(outputString >> 8);
            o += 2;
            continue;
        }
        uint8_t b = static_cast<uint8_t>(outputString);
        if (b == QUESTION_MARK && u != QUESTION_MARK && (rc = replacer.Replace(u, &b)) != 0) {
            *written = o;
            return rc;
        }
        destination[o++] = b;
    }
    *written = o;
    return INTL_OK;
}

int32_t FindPathTable(tccIntlCtxtStruct* ctx, int16_t source, int16_t destination,
                      PathTable* table) {
    const int32_t rc = FindXlatTable(ctx, source, destination, true, &table->index);
    if (rc == 0) {
        table->view = XlatTableView(ctx, table->index);
    }
    return rc;
}

// The double-byte path; `*destinationLength` counts the bytes written even
// when a table fails to load part-way.
int32_t DoubleBytePath(tccIntlCtxtStruct* ctx, int16_t sourceSet, const uint8_t* source,
                       uint32_t sourceLength, int16_t destinationSet, uint8_t* destination,
                       uint32_t* destinationLength) {
    *destinationLength = 0;
    uint32_t written = 0;
    int32_t rc = 0;

    if (sourceSet == SET_UNICODE || destinationSet == SET_UNICODE) {
        PathTable table;
        if ((rc = FindPathTable(ctx, sourceSet, destinationSet, &table)) != 0) {
            return rc;
        }
        if (sourceSet == SET_UNICODE) {
            rc = UnicodeToShiftJis(ctx, &table, source, sourceLength, destination, &written);
            *destinationLength = written;
            return rc;
        }
        // 932 -> 1200. In place, the unread input first moves to the upper
        // half of the buffer (the capacity holds twice the input), where the
        // output, two bytes per character of one or two bytes, never reaches it.
        if (SameAddress(source, destination) && sourceLength != 0) {
            std::memmove(destination + sourceLength, source, sourceLength);
            source = destination + sourceLength;
        }
        rc = ShiftJisToUnicode(ctx, &table, source, sourceLength, destination, &written);
        *destinationLength = written;
        return rc;
    }

    // Neither side Unicode: through Unicode with two tables. Shift_JIS text
    // bound for a single-byte set reads its double-byte codes by pair search.
    const int16_t firstSource =
        (sourceSet == SET_SJIS && !IsDoubleByteSet(destinationSet)) ? SET_SJIS_PAIRS : sourceSet;
    PathTable first;
    PathTable second;
    if ((rc = FindPathTable(ctx, firstSource, SET_UNICODE, &first)) != 0 ||
        (rc = FindPathTable(ctx, SET_UNICODE, destinationSet, &second)) != 0) {
        return rc;
    }
    // Loading the second table never evicts the first (the cache keeps the
    // table used just before), but it may have moved in the recency list.
    first.view = XlatTableView(ctx, first.index);
    const bool destinationIsSjis = destinationSet == SET_SJIS;
    if (destinationIsSjis && SameAddress(source, destination) && sourceLength != 0) {
        std::memmove(destination + sourceLength, source, sourceLength);
        source = destination + sourceLength;
    }
    CSourceReader reader(ctx, &first, IsDoubleByteSet(sourceSet),
                         ctx->xlatDir[first.index].source == SET_SJIS, source, sourceLength);
    CUnicodeWriter writer(ctx, &second, destinationIsSjis);
    while (!reader.AtEnd()) {
        uint16_t u = 0;
        uint32_t count = 0;
        if ((rc = reader.Next(&u)) != 0 ||
            (rc = writer.Write(u, destination + written, &count)) != 0) {
            *destinationLength = written;
            return rc;
        }
        written += count;
    }
    *destinationLength = written;
    return INTL_OK;
}

int32_t TranslateNonOverlapping(tccIntlCtxtStruct* ctx, int16_t sourceSet, const uint8_t* source,
                                uint32_t sourceLength, int16_t destinationSet, uint8_t* destination,
                                uint32_t* destinationLength) {
    if (sourceSet == SET_SJIS || destinationSet == SET_SJIS) {
        if (*destinationLength < DoubleByteBound(sourceSet, destinationSet, sourceLength)) {
            *destinationLength = 0;
            return INTL_ERR_BUFFER_TOO_SMALL;
        }
        const uint32_t capacity = *destinationLength;
        const int32_t rc = DoubleBytePath(ctx, sourceSet, source, sourceLength, destinationSet,
                                          destination, destinationLength);
        if (rc == INTL_ERR_NO_XLAT_TABLE) {
            *destinationLength = capacity;
            return CopyAndLog(ctx, sourceSet, destinationSet, source, sourceLength, destination,
                              destinationLength);
        }
        return rc;
    }
    if (sourceSet == SET_UNICODE) {
        return UnicodeToSingle(ctx, source, sourceLength, destinationSet, destination,
                               destinationLength);
    }
    if (destinationSet == SET_UNICODE) {
        return SingleToUnicode(ctx, sourceSet, source, sourceLength, destination,
                               destinationLength);
    }
    return SingleToSingle(ctx, sourceSet, source, sourceLength, destinationSet, destination,
                          destinationLength);
}

}  // namespace

int32_t TranslateStr(tccIntlCtxtStruct* ctx, int16_t sourceSet, const uint8_t* source,
                     uint32_t sourceLength, int16_t destinationSet, uint8_t* destination,
                     uint32_t* destinationLength) {
    if (destinationLength == nullptr) {
        return INTL_ERR_BUFFER_TOO_SMALL;
    }
    if ((source == nullptr && sourceLength != 0) ||
        (destination == nullptr && *destinationLength != 0)) {
        *destinationLength = 0;
        return INTL_ERR_BUFFER_TOO_SMALL;
    }
    if (sourceSet == destinationSet || sourceSet == SET_NONE || destinationSet == SET_NONE) {
        return CopyBytes(source, sourceLength, destination, destinationLength);
    }
    // The paths handle a buffer translated in place (same start); any other
    // overlap is translated from a copy of the input.
    if (!SameAddress(source, destination) &&
        Overlap(source, sourceLength, destination, *destinationLength)) {
        const std::vector<uint8_t> copy(source, source + sourceLength);
        return TranslateNonOverlapping(ctx, sourceSet, copy.data(), sourceLength, destinationSet,
                                       destination, destinationLength);
    }
    return TranslateNonOverlapping(ctx, sourceSet, source, sourceLength, destinationSet,
                                   destination, destinationLength);
}

}  // namespace glossel

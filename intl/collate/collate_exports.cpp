// The library's exports for comparison, normalisation, split points, the
// highest character and Unicode packing: argument checks, table look-ups
// through the context, then the algorithms of collation.h and
// unicode_compression.h.
#include <cstdint>
#include <cstring>

#include "include/glossel/glossel.h"
#include "intl/collate/collation.h"
#include "intl/collate/unicode_compression.h"
#include "intl/context.h"

namespace glossel {
namespace {

ByteView View(TableView table) {
    return table.data == nullptr ? ByteView{} : ByteView(table.data, table.size);
}

// The table (from -> to) as bytes. A set without such a table in the file
// answers 3075: its bytes cannot be weighed or normalised without knowing
// which characters they are (taking them as Latin-1 would misread every other
// set), so the caller returns the code and writes nothing.
int32_t XlatTable(tccIntlCtxtStruct* ctx, int16_t from, int16_t to, ByteView* out) {
    TableView table;
    const int32_t rc = GetXlatTable(ctx, from, to, false, &table);
    if (rc != INTL_OK)
        return rc;
    *out = View(table);
    return INTL_OK;
}

// The language tables of `kind` through the context's search, as views.
int32_t SearchCollationTables(tccIntlCtxtStruct* ctx, uint16_t kind, bool requireCollation,
                              CollationTables* out) {
    LangTables tables;
    const int32_t rc = GetLangTables(ctx, kind, &tables);
    if (rc != INTL_OK)
        return rc;
    if (requireCollation && tables.type != 0x8003)
        return INTL_ERR_NOT_COLLATION;
    *out = {View(tables.main), View(tables.second), View(tables.third)};
    return INTL_OK;
}

// Sorting calls this millions of times with the same kind: once a kind's
// tables have been fetched, the context keeps their views (until the tables
// are unloaded) and they are used without a search (inlined, so that the
// views stay in registers).
[[gnu::always_inline]] inline int32_t CollationTablesOf(tccIntlCtxtStruct* ctx, uint16_t kind,
                                                        bool requireCollation,
                                                        CollationTables* out) {
    const LangViews& views = ctx->langViews[kind & COLLATE_KIND_MASK];
    if (views.main != nullptr) {
        if (requireCollation && views.type != 0x8003)
            return INTL_ERR_NOT_COLLATION;
        out->main = ByteView(views.main, views.mainSize);
        out->second = ByteView(views.second, views.secondSize);
        out->third = ByteView(views.third, views.thirdSize);
        return INTL_OK;
    }
    return SearchCollationTables(ctx, kind, requireCollation, out);
}

ByteView Input(const uint8_t* data, uint32_t length) {
    return data == nullptr ? ByteView{} : ByteView(data, length);
}

int32_t NormalizeMulti(tccIntlCtxtStruct* ctx, int16_t set, uint8_t* text, uint32_t length) {
    TableView norm;
    int32_t rc = LoadNormTable(ctx, &norm);
    if (rc != INTL_OK)
        return rc;
    ByteView toUnicode;
    ByteView fromUnicode;
    if ((rc = XlatTable(ctx, set, SET_UNICODE, &toUnicode)) != INTL_OK)
        return rc;
    if ((rc = XlatTable(ctx, SET_UNICODE, set, &fromUnicode)) != INTL_OK)
        return rc;
    NormalizeMultiByteText(U16Table(View(norm)), ByteToUnicode(toUnicode), fromUnicode, text,
                           length);
    return INTL_OK;
}

// Keeps the byte keys of `set` under `kind` for the shortcut, built from the
// tables just found.
void KeepByteKeys(tccIntlCtxtStruct* ctx, int16_t set, uint16_t kind, ByteView toUnicode,
                  ByteView main) {
    ByteKeys& keys = ctx->byteKeys[kind & COLLATE_KIND_MASK];
    if ((keys.valid && keys.set == set) || toUnicode.size() < sizeof(keys.unicode))
        return;
    std::memcpy(keys.unicode, toUnicode.data(), sizeof(keys.unicode));
    ComposeByteKeys(ByteToUnicode(toUnicode), main, keys.key);
    keys.set = set;
    keys.valid = true;
}

// Every case of the comparison, in the order its checks answer.
[[gnu::noinline]] int32_t StrCmpGeneral(tccIntlCtxtStruct* handle, int16_t characterSet,
                                        const uint8_t* lhs, uint32_t lhsLength, const uint8_t* rhs,
                                        uint32_t rhsLength, uint16_t flags, int16_t* result) {
    if (!IsLiveContext(handle))
        return INTL_ERR_BAD_HANDLE;
    if (result == nullptr || (lhs == nullptr && lhsLength > 0) ||
        (rhs == nullptr && rhsLength > 0)) {
        return INTL_ERR_BUFFER_TOO_SMALL;
    }
    const ByteView left = Input(lhs, lhsLength);
    const ByteView right = Input(rhs, rhsLength);
    if (characterSet == SET_SJIS) {
        *result = CompareMultiByteText(left, right, flags);
        return INTL_OK;
    }
    const bool unicode = characterSet == SET_UNICODE;
    ByteView toUnicode;
    int32_t rc = INTL_OK;
    if (!unicode) {
        if ((rc = XlatTable(handle, characterSet, SET_UNICODE, &toUnicode)) != INTL_OK) {
            return rc;
        }
    }
    CollationTables tables;
    rc = CollationTablesOf(handle, flags & COLLATE_KIND_MASK, true, &tables);
    if (rc != INTL_OK)
        return rc;
    if (!unicode)
        KeepByteKeys(handle, characterSet, flags, toUnicode, tables.main);
    CollationView view{tables, U16Table(), ByteToUnicode(toUnicode), unicode};
    bool expansionMet = false;
    int16_t order = ComparePass(view, left, right, flags, false, &expansionMet);
    if (order == 0 && expansionMet) {
        // The tie-breaking pass is the only user of the normalisation table.
        TableView norm;
        if ((rc = LoadNormTable(handle, &norm)) != INTL_OK)
            return rc;
        view.normalisation = U16Table(View(norm));
        order = ComparePass(view, left, right, flags, true, &expansionMet);
    }
    *result = order;
    return INTL_OK;
}

// Text of a single-byte set through its kept keys, resuming the first pass
// at a contraction or an expansion: QUICK_UNDECIDED when only the general
// path can tell.
int CompareBytesKept(tccIntlCtxtStruct* handle, int16_t characterSet, const uint8_t* lhs,
                     uint32_t lhsLength, const uint8_t* rhs, uint32_t rhsLength, uint16_t flags) {
    const uint16_t kind = flags & COLLATE_KIND_MASK;
    const ByteKeys& keys = handle->byteKeys[kind];
    const LangViews& views = handle->langViews[kind];
    if (!keys.valid || keys.set != characterSet || views.main == nullptr || views.type != 0x8003)
        return QUICK_UNDECIDED;
    size_t resumeAt = SIZE_MAX;
    const int order =
        QuickCompareBytes(keys.key, lhs, lhsLength, rhs, rhsLength, flags, &resumeAt);
    if (order != QUICK_UNDECIDED || resumeAt == SIZE_MAX)
        return order;
    const CollationTables tables{ByteView(views.main, views.mainSize),
                                 ByteView(views.second, views.secondSize),
                                 ByteView(views.third, views.thirdSize)};
    const int16_t resumed =
        FirstPassFromBytes(tables, ByteToUnicode(ByteView(keys.unicode, sizeof(keys.unicode))),
                           ByteView(lhs, lhsLength), ByteView(rhs, rhsLength), flags, resumeAt);
    return resumed != 0 ? resumed : QUICK_UNDECIDED;
}

// Unicode text near a contraction or an expansion resumes the first pass at
// the difference, as does text of a single-byte set whose keys are kept;
// anything else takes the general path.
[[gnu::noinline]] int32_t StrCmpSlow(tccIntlCtxtStruct* handle, int16_t characterSet,
                                     const uint8_t* lhs, uint32_t lhsLength, const uint8_t* rhs,
                                     uint32_t rhsLength, uint16_t flags, int16_t* result) {
    return GuardedExport([&]() -> int32_t {
        if (characterSet == SET_UNICODE && result != nullptr && lhs != nullptr && rhs != nullptr &&
            IsLiveContext(handle)) {
            const LangViews& views = handle->langViews[flags & COLLATE_KIND_MASK];
            if (views.main != nullptr && views.type == 0x8003) {
                const int order = QuickCompareUnicode(views, lhs, lhsLength, rhs, rhsLength, flags);
                if (order != QUICK_UNDECIDED) {
                    *result = static_cast<int16_t>(order);
                    return INTL_OK;
                }
            }
        } else if (characterSet != SET_SJIS && result != nullptr && lhs != nullptr &&
                   rhs != nullptr && IsLiveContext(handle)) {
            const int order =
                CompareBytesKept(handle, characterSet, lhs, lhsLength, rhs, rhsLength, flags);
            if (order != QUICK_UNDECIDED) {
                *result = static_cast<int16_t>(order);
                return INTL_OK;
            }
        }
        return StrCmpGeneral(handle, characterSet, lhs, lhsLength, rhs, rhsLength, flags, result);
    });
}

}  // namespace
}  // namespace glossel

using namespace glossel;

extern "C" {

GLOSSEL_EXPORT int32_t ccIntlStrCmp(tccIntlCtxtStruct* handle, int16_t characterSet,
                                    const uint8_t* lhs, uint32_t lhsLength, const uint8_t* rhs,
                                    uint32_t rhsLength, uint16_t flags, int16_t* result) {
    // The case sorting repeats, kept free of calls so that it needs no
    // registers saved: Unicode text, or text of a single-byte set whose keys
    // are kept, a handle in its slot of the live table, the kind's tables
    // already kept, decided by the plain-weight shortcut. Nothing here can
    // throw. Everything else goes to StrCmpSlow.
    if (characterSet != SET_SJIS && result != nullptr && lhs != nullptr && rhs != nullptr &&
        handle != nullptr &&
        detail::g_liveSlots[detail::LiveSlotOf(handle)].load(std::memory_order_acquire) == handle &&
        handle->magic == CONTEXT_MAGIC) {
        const LangViews& views = handle->langViews[flags & COLLATE_KIND_MASK];
        if (views.main != nullptr && views.type == 0x8003) {
            int order = QUICK_UNDECIDED;
            if (characterSet == SET_UNICODE) {
                order = QuickCompareUnicode<LangViews, false>(views, lhs, lhsLength, rhs,
                                                              rhsLength, flags);
            } else {
                const ByteKeys& keys = handle->byteKeys[flags & COLLATE_KIND_MASK];
                size_t resumeAt = 0;
                if (keys.valid && keys.set == characterSet) {
                    order = QuickCompareBytes(keys.key, lhs, lhsLength, rhs, rhsLength, flags,
                                              &resumeAt);
                }
            }
            if (order != QUICK_UNDECIDED) {
                *result = static_cast<int16_t>(order);
                return INTL_OK;
            }
        }
    }
    return StrCmpSlow(handle, characterSet, lhs, lhsLength, rhs, rhsLength, flags, result);
}

GLOSSEL_EXPORT int32_t ccIntlNormalizeStr(tccIntlCtxtStruct* handle, int16_t characterSet,
                                          uint8_t* text, uint32_t length) {
    return GuardedExport([&]() -> int32_t {
        if (!IsLiveContext(handle))
            return INTL_ERR_BAD_HANDLE;
        if (text == nullptr && length > 0)
            return INTL_ERR_BUFFER_TOO_SMALL;
        if (characterSet == SET_SJIS || characterSet == SET_SJIS_PAIRS) {
            return NormalizeMulti(handle, characterSet, text, length);
        }
        TableView norm;
        int32_t rc = LoadNormTable(handle, &norm);
        if (rc != INTL_OK)
            return rc;
        if (characterSet == SET_UNICODE) {
            NormalizeUnicodeText(U16Table(View(norm)), text, length);
            return INTL_OK;
        }
        ByteView toUnicode;
        ByteView fromUnicode;
        if ((rc = XlatTable(handle, characterSet, SET_UNICODE, &toUnicode)) != INTL_OK) {
            return rc;
        }
        if ((rc = XlatTable(handle, SET_UNICODE, characterSet, &fromUnicode)) != INTL_OK) {
            return rc;
        }
        NormalizeByteText(U16Table(View(norm)), ByteToUnicode(toUnicode),
                          UnicodeToByte(fromUnicode), text, length);
        return INTL_OK;
    });
}

GLOSSEL_EXPORT int32_t ccIntlNormalizeMultiStr(tccIntlCtxtStruct* handle, int16_t characterSet,
                                               uint8_t* text, uint32_t length) {
    return GuardedExport([&]() -> int32_t {
        if (!IsLiveContext(handle))
            return INTL_ERR_BAD_HANDLE;
        if (text == nullptr && length > 0)
            return INTL_ERR_BUFFER_TOO_SMALL;
        return NormalizeMulti(handle, characterSet, text, length);
    });
}

GLOSSEL_EXPORT int32_t ccIntlSplitStr(tccIntlCtxtStruct* handle, int16_t characterSet,
                                      const uint8_t* text, uint16_t splitPos, uint16_t* position) {
    return GuardedExport([&]() -> int32_t {
        if (!IsLiveContext(handle))
            return INTL_ERR_BAD_HANDLE;
        if (position == nullptr)
            return INTL_ERR_BUFFER_TOO_SMALL;
        // Double-byte text has no contractions; reading it byte by byte could
        // move the split between a lead byte and its trail.
        if (characterSet == SET_SJIS || characterSet == SET_SJIS_PAIRS ||
            characterSet == SET_NONE) {
            *position = splitPos;
            return INTL_OK;
        }
        const bool unicode = characterSet == SET_UNICODE;
        if (unicode)
            splitPos = static_cast<uint16_t>(splitPos & ~1u);
        CollationTables tables;
        int32_t rc = CollationTablesOf(handle, 0, false, &tables);
        if (rc != INTL_OK)
            return rc;
        const uint16_t length = *position;
        if (tables.third.empty() || text == nullptr) {
            *position = splitPos;
            return INTL_OK;
        }
        ByteView toUnicode;
        if (!unicode) {
            if ((rc = XlatTable(handle, characterSet, SET_UNICODE, &toUnicode)) != INTL_OK) {
                return rc;
            }
        }
        *position =
            SplitPosition(tables, ByteToUnicode(toUnicode), unicode, text, length, splitPos);
        return INTL_OK;
    });
}

GLOSSEL_EXPORT int32_t ccIntlHighestChar(tccIntlCtxtStruct* handle, int16_t characterSet,
                                         uint16_t flags, uint8_t* highest) {
    return GuardedExport([&]() -> int32_t {
        if (highest == nullptr)
            return INTL_ERR_BUFFER_TOO_SMALL;
        if (characterSet == SET_UNICODE || characterSet == SET_SJIS || characterSet == SET_NONE) {
            *highest = 0xFF;
            return INTL_OK;
        }
        if (!IsLiveContext(handle)) {
            *highest = 0xFF;
            return INTL_ERR_BAD_HANDLE;
        }
        // The flags are the kind itself; the directory holds kinds 0-3 only.
        if (flags > COLLATE_KIND_MASK)
            return INTL_ERR_NO_LANG_TABLE;
        CollationTables tables;
        int32_t rc = CollationTablesOf(handle, flags, true, &tables);
        if (rc != INTL_OK)
            return rc;
        ByteView toUnicode;
        if ((rc = XlatTable(handle, characterSet, SET_UNICODE, &toUnicode)) != INTL_OK) {
            return rc;
        }
        *highest = HighestCharOf(tables, ByteToUnicode(toUnicode));
        return INTL_OK;
    });
}

GLOSSEL_EXPORT int32_t ccIntlCompressUnicode(const uint16_t* units, uint32_t unitsLength,
                                             uint8_t* output, uint32_t* outputLength) {
    return GuardedExport([&]() -> int32_t {
        if (outputLength == nullptr)
            return INTL_ERR_BUFFER_TOO_SMALL;
        const size_t count = unitsLength / 2;
        if ((output == nullptr && *outputLength > 0) || (units == nullptr && count > 0)) {
            *outputLength = 0;
            return INTL_ERR_BUFFER_TOO_SMALL;
        }
        return CompressUnicode(units, count, output, outputLength);
    });
}

GLOSSEL_EXPORT int32_t ccIntlDecompressUnicode(const uint8_t* compressed, uint16_t* output,
                                               uint32_t capacity) {
    return GuardedExport([&]() -> int32_t {
        if (compressed == nullptr)
            return INTL_ERR_BUFFER_TOO_SMALL;
        return DecompressUnicode(compressed, output, output == nullptr ? 0 : capacity);
    });
}

GLOSSEL_EXPORT uint32_t ccIntlGetCompUnicodeNoOfBytes(const uint8_t* compressed) {
    if (compressed == nullptr)
        return 0;
    return GetCompUnicodeNoOfBytes(compressed);
}

}  // extern "C"

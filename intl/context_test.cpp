// Context life cycle, table-file checks, the translation-table cache and the
// language search.
#include "intl/context.h"

#include <vector>

#include <gtest/gtest.h>

#include "intl/table_layout.h"
#include "intl/test_support.h"

namespace glossel {
namespace {

using testing::CTempDir;
using testing::WriteTableFile;

std::vector<uint8_t> Filled(size_t size, uint8_t value) {
    return std::vector<uint8_t>(size, value);
}

// Five single-byte -> Unicode tables, each filled with its own byte value.
TableFileContents FiveTables() {
    TableFileContents contents;
    for (int i = 0; i < 5; ++i) {
        contents.xlat.push_back({static_cast<int16_t>(1250 + i), SET_UNICODE,
                                 Filled(512, static_cast<uint8_t>(i + 1))});
    }
    contents.replacement = EncodePairs({{0x2019, '\''}});
    contents.normalisation = Filled(20, 0);
    return contents;
}

class ContextTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_pCtx != nullptr) {
            EXPECT_EQ(DestroyContext(m_pCtx), 0);
        }
    }
    int32_t Open(uint16_t cacheLimit, const char* language = "en") {
        return CreateContext(m_dir.Path().c_str(), cacheLimit, language, &m_pCtx);
    }
    // The recency list from head to tail.
    std::vector<uint16_t> RecencyList() const {
        std::vector<uint16_t> list;
        for (uint16_t i = m_pCtx->cacheHead; i != NO_ENTRY && list.size() < 100;
             i = m_pCtx->xlatDir[i].nextLoaded) {
            list.push_back(i);
        }
        return list;
    }
    std::vector<uint16_t> Loaded() const {
        std::vector<uint16_t> loaded;
        for (uint16_t i = 0; i < m_pCtx->xlatCount; ++i) {
            if (m_pCtx->xlatDir[i].data) {
                loaded.push_back(i);
            }
        }
        return loaded;
    }

    CTempDir m_dir;
    tccIntlCtxtStruct* m_pCtx = nullptr;
};

TEST_F(ContextTest, OpensWithOrWithoutTrailingSlashAndLowerCasesLanguage) {
    WriteTableFile(m_dir.Path(), FiveTables());
    for (const std::string& dir : {m_dir.Path(), m_dir.Path() + "/"}) {
        tccIntlCtxtStruct* ctx = nullptr;
        ASSERT_EQ(CreateContext(dir.c_str(), 0, "DE", &ctx), 0) << dir;
        EXPECT_TRUE(IsLiveContext(ctx));
        EXPECT_EQ(ctx->language[0], 'd');
        EXPECT_EQ(ctx->language[1], 'e');
        EXPECT_EQ(ctx->logPath, m_dir.File("CCNFT.LG"));
        EXPECT_EQ(ctx->xlatCount, 5);
        EXPECT_EQ(DestroyContext(ctx), 0);
        EXPECT_FALSE(IsLiveContext(ctx));
    }
}

TEST_F(ContextTest, NullOrEmptyDirectoryMeansTheCurrentFolder) {
    WriteTableFile(m_dir.Path(), FiveTables());
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.Path());
    for (const char* directory : {static_cast<const char*>(nullptr), ""}) {
        tccIntlCtxtStruct* ctx = nullptr;
        ASSERT_EQ(CreateContext(directory, 0, "en", &ctx), 0);
        EXPECT_EQ(ctx->logPath, "CCNFT.LG");
        EXPECT_EQ(DestroyContext(ctx), 0);
    }
    std::filesystem::current_path(previous);
}

TEST_F(ContextTest, RefusesOtherVersionsAndMissingFile) {
    tccIntlCtxtStruct* ctx = nullptr;
    EXPECT_NE(CreateContext(m_dir.Path().c_str(), 0, "en", &ctx), 0);  // no file yet
    for (uint16_t version : {2, 4}) {
        TableFileContents contents = FiveTables();
        contents.version = version;
        WriteTableFile(m_dir.Path(), contents);
        EXPECT_EQ(CreateContext(m_dir.Path().c_str(), 0, "en", &ctx), 3074) << version;
    }
    EXPECT_EQ(ctx, nullptr);
}

// Every cut of a valid file, and directories that point past its end, are
// refused at creation instead of being read later.
TEST_F(ContextTest, TruncatedOrLyingFilesAreRefused) {
    TableFileContents contents = FiveTables();
    contents.xlat.push_back({SET_SJIS, SET_UNICODE, Filled(SJIS_GRID_TABLE_SIZE, 0)});
    contents.lang.push_back({0x8003, {'e', 'n'}, 0, Filled(8, 1), Filled(6, 2), Filled(6, 3)});
    const std::vector<uint8_t> good = WriteTableFile(m_dir.Path(), contents);
    ASSERT_EQ(Open(0), 0);
    ASSERT_EQ(DestroyContext(m_pCtx), 0);
    m_pCtx = nullptr;

    for (size_t cut = 0; cut < good.size(); cut += (cut < 400 ? 1 : 997)) {
        testing::WriteBytes(m_dir.File("CCINTL.TB"), {good.begin(), good.begin() + cut});
        tccIntlCtxtStruct* ctx = nullptr;
        EXPECT_NE(CreateContext(m_dir.Path().c_str(), 0, "en", &ctx), 0) << cut;
        EXPECT_EQ(ctx, nullptr);
    }

    auto expectRefused = [&](size_t at, uint32_t value, const char* what) {
        std::vector<uint8_t> bad = good;
        for (int i = 0; i < 4; ++i) {
            bad[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
        testing::WriteBytes(m_dir.File("CCINTL.TB"), bad);
        tccIntlCtxtStruct* ctx = nullptr;
        EXPECT_EQ(CreateContext(m_dir.Path().c_str(), 0, "en", &ctx), 3074) << what;
    };
    const size_t firstEntry = HEADER_SIZE;
    const size_t gridEntry = HEADER_SIZE + 5 * XLAT_ENTRY_SIZE;
    const size_t langEntry = HEADER_SIZE + 6 * XLAT_ENTRY_SIZE;
    expectRefused(HEADER_XLAT_OFFSET, 0xFFFFFFF0u, "directory offset");
    expectRefused(HEADER_XLAT_SIZE, 0xFFFF, "directory count");
    expectRefused(HEADER_LANG_SIZE, 0xFFE0, "language count");
    expectRefused(HEADER_REPL_OFFSET, static_cast<uint32_t>(good.size()), "replacement offset");
    expectRefused(firstEntry + XLAT_OFFSET, static_cast<uint32_t>(good.size() - 100), "offset");
    expectRefused(firstEntry + XLAT_SIZE, 0x7FFFFFFF, "table size");
    expectRefused(firstEntry + XLAT_SIZE, 511, "table shorter than its byte part");
    expectRefused(gridEntry + XLAT_SIZE, SJIS_GRID_TABLE_SIZE - 1, "932 table shorter than grid");
    expectRefused(langEntry + LANG_THIRD_SIZE, 0xFFFFFF, "third language table");
}

TEST_F(ContextTest, RegistryRejectsTerminatedAndForeignHandles) {
    WriteTableFile(m_dir.Path(), FiveTables());
    ASSERT_EQ(Open(0), 0);
    tccIntlCtxtStruct* dead = m_pCtx;
    EXPECT_EQ(DestroyContext(dead), 0);
    m_pCtx = nullptr;
    EXPECT_FALSE(IsLiveContext(dead));
    EXPECT_EQ(DestroyContext(dead), 3073);
    EXPECT_EQ(DestroyContext(nullptr), 3073);
    int notAContext = 0;
    EXPECT_FALSE(IsLiveContext(reinterpret_cast<tccIntlCtxtStruct*>(&notAContext)));
    EXPECT_EQ(CreateContext(m_dir.Path().c_str(), 0, "en", nullptr), 3073);
}

// More contexts than the lock-free table of live handles has slots, so some
// share a slot and are found through the registry; terminating half of them
// frees slots that the survivors then take over.
TEST_F(ContextTest, ManyContextsStayLiveUntilTerminated) {
    WriteTableFile(m_dir.Path(), FiveTables());
    std::vector<tccIntlCtxtStruct*> contexts(300, nullptr);
    for (tccIntlCtxtStruct*& ctx : contexts)
        ASSERT_EQ(CreateContext(m_dir.Path().c_str(), 0, "en", &ctx), 0);
    for (tccIntlCtxtStruct* ctx : contexts)
        EXPECT_TRUE(IsLiveContext(ctx));
    for (size_t i = 0; i < contexts.size(); i += 2)
        EXPECT_EQ(DestroyContext(contexts[i]), 0);
    for (int round = 0; round < 2; ++round) {
        for (size_t i = 0; i < contexts.size(); ++i)
            EXPECT_EQ(IsLiveContext(contexts[i]), i % 2 == 1) << i;
    }
    for (size_t i = 1; i < contexts.size(); i += 2)
        EXPECT_EQ(DestroyContext(contexts[i]), 0);
    for (tccIntlCtxtStruct* ctx : contexts) {
        EXPECT_FALSE(IsLiveContext(ctx));
        EXPECT_EQ(DestroyContext(ctx), 3073);
    }
}

TEST_F(ContextTest, CacheLimitOneBehavesAsTwoAndEvictsLeastRecent) {
    WriteTableFile(m_dir.Path(), FiveTables());
    ASSERT_EQ(Open(1), 0);
    EXPECT_EQ(m_pCtx->cacheLimit, 2);
    uint16_t index = 0;
    ASSERT_EQ(FindXlatTable(m_pCtx, 1250, SET_UNICODE, true, &index), 0);
    ASSERT_EQ(FindXlatTable(m_pCtx, 1251, SET_UNICODE, true, &index), 0);
    EXPECT_EQ(RecencyList(), (std::vector<uint16_t>{1, 0}));
    // Using 0 again makes it the most recent; loading 2 then evicts 1.
    ASSERT_EQ(FindXlatTable(m_pCtx, 1250, SET_UNICODE, true, &index), 0);
    ASSERT_EQ(FindXlatTable(m_pCtx, 1252, SET_UNICODE, true, &index), 0);
    EXPECT_EQ(RecencyList(), (std::vector<uint16_t>{2, 0}));
    EXPECT_EQ(Loaded(), (std::vector<uint16_t>{0, 2}));
    EXPECT_EQ(m_pCtx->cacheCount, 2);
    // An evicted table loads again, once in the list.
    ASSERT_EQ(FindXlatTable(m_pCtx, 1251, SET_UNICODE, true, &index), 0);
    EXPECT_EQ(RecencyList(), (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(XlatTableView(m_pCtx, 1).data[0], 2);
    EXPECT_EQ(XlatTableView(m_pCtx, 1).size, 512u);
}

TEST_F(ContextTest, CacheLimitZeroNeverEvicts) {
    WriteTableFile(m_dir.Path(), FiveTables());
    ASSERT_EQ(Open(0), 0);
    uint16_t index = 0;
    for (int16_t set = 1250; set < 1255; ++set) {
        ASSERT_EQ(FindXlatTable(m_pCtx, set, SET_UNICODE, true, &index), 0);
    }
    EXPECT_EQ(Loaded().size(), 5u);
    EXPECT_EQ(m_pCtx->cacheCount, 0);
    EXPECT_EQ(FindXlatTable(m_pCtx, 1255, SET_UNICODE, true, &index), 3075);
}

TEST_F(ContextTest, UnloadLeavesAnEmptyConsistentCache) {
    WriteTableFile(m_dir.Path(), FiveTables());
    ASSERT_EQ(Open(3), 0);
    uint16_t index = 0;
    for (int round = 0; round < 3; ++round) {
        for (int16_t set = 1250; set < 1255; ++set) {
            ASSERT_EQ(FindXlatTable(m_pCtx, set, SET_UNICODE, true, &index), 0);
            const std::vector<uint16_t> list = RecencyList();
            EXPECT_LE(list.size(), 3u);
            EXPECT_EQ(list.size(), m_pCtx->cacheCount);
            EXPECT_EQ(list.size(), Loaded().size());
        }
        TableView view;
        ASSERT_EQ(LoadReplTable(m_pCtx, &view), 0);
        UnloadTables(m_pCtx);
        EXPECT_EQ(m_pCtx->cacheCount, 0);
        EXPECT_TRUE(RecencyList().empty());
        EXPECT_TRUE(Loaded().empty());
        EXPECT_EQ(m_pCtx->replData, nullptr);
    }
}

TEST_F(ContextTest, PartialLoadOf932AndFullReloadMovesToHead) {
    TableFileContents contents = FiveTables();
    std::vector<uint8_t> grid = Filled(SJIS_GRID_TABLE_SIZE, 0);
    grid.back() = 0x77;
    contents.xlat.push_back({SET_SJIS, SET_UNICODE, grid});
    WriteTableFile(m_dir.Path(), contents);
    ASSERT_EQ(Open(2), 0);
    uint16_t sjis = 0;
    uint16_t other = 0;
    ASSERT_EQ(FindXlatTable(m_pCtx, SET_SJIS, SET_UNICODE, true, &sjis), 0);
    EXPECT_EQ(XlatTableView(m_pCtx, sjis).size, 512u);
    ASSERT_EQ(FindXlatTable(m_pCtx, 1250, SET_UNICODE, true, &other), 0);
    ASSERT_EQ(ReloadXlatTableFull(m_pCtx, sjis), 0);
    const TableView full = XlatTableView(m_pCtx, sjis);
    ASSERT_EQ(full.size, SJIS_GRID_TABLE_SIZE);
    EXPECT_EQ(full.data[full.size - 1], 0x77);
    EXPECT_EQ(RecencyList(), (std::vector<uint16_t>{sjis, other}));
    EXPECT_EQ(m_pCtx->cacheCount, 2);
}

TEST_F(ContextTest, LanguageSearchSkipsGroupsAndRemembersLastFound) {
    TableFileContents contents = FiveTables();
    for (const char* language : {"de", "fr"}) {
        for (uint16_t kind = 0; kind < 4; ++kind) {
            LangTableSpec langTable;
            langTable.language[0] = language[0];
            langTable.language[1] = language[1];
            langTable.kind = kind;
            langTable.main = Filled(4, static_cast<uint8_t>(kind + (language[0] == 'f' ? 10 : 0)));
            if (kind == 2) {
                langTable.third = Filled(6, 9);
            }
            contents.lang.push_back(langTable);
        }
    }
    WriteTableFile(m_dir.Path(), contents);
    ASSERT_EQ(Open(0, "FR"), 0);
    LangTables tables;
    ASSERT_EQ(GetLangTables(m_pCtx, 2, &tables), 0);
    EXPECT_EQ(m_pCtx->lastLang, 6);
    EXPECT_EQ(tables.type, 0x8003);
    EXPECT_EQ(tables.main.data[0], 12);
    EXPECT_EQ(tables.second.data, nullptr);
    ASSERT_EQ(tables.third.size, 6u);
    ASSERT_EQ(GetLangTables(m_pCtx, 3, &tables), 0);
    EXPECT_EQ(tables.main.data[0], 13);
    EXPECT_EQ(tables.third.data, nullptr);
    uint16_t index = 0;
    EXPECT_EQ(FindLangTable(m_pCtx, 7, false, &index), 0);  // kind from the low 2 bits
    EXPECT_EQ(index, 7);
}

TEST_F(ContextTest, MissingLanguageAnswers3076) {
    WriteTableFile(m_dir.Path(), FiveTables());
    ASSERT_EQ(Open(0, "xx"), 0);
    uint16_t index = 0;
    EXPECT_EQ(FindLangTable(m_pCtx, 0, true, &index), 3076);
    TableView norm;
    ASSERT_EQ(LoadNormTable(m_pCtx, &norm), 0);
    EXPECT_EQ(norm.size, 20u);
}

TEST(PairSearchTest, FindsKeysAndAnswersQuestionMarkOtherwise) {
    const std::vector<uint8_t> pairs = EncodePairs({{0x0100, 1}, {0x2019, 2}, {0xFFFF, 3}});
    EXPECT_EQ(PairSearch(pairs.data(), 12, 0x0100), 1);
    EXPECT_EQ(PairSearch(pairs.data(), 12, 0x2019), 2);
    EXPECT_EQ(PairSearch(pairs.data(), 12, 0xFFFF), 3);
    EXPECT_EQ(PairSearch(pairs.data(), 12, 0x2018), 0x3F);
    EXPECT_EQ(PairSearch(pairs.data(), 11, 0xFFFF), 0x3F);  // partial record ignored
    EXPECT_EQ(PairSearch(nullptr, 0, 1), 0x3F);
}

TEST(LogNameTest, NamesFollowTheIdentifierTable) {
    EXPECT_EQ(CharacterSetLogName(1200), "Unicode");
    EXPECT_EQ(CharacterSetLogName(932), "932");
    EXPECT_EQ(CharacterSetLogName(SET_SJIS_PAIRS), "17316");
    EXPECT_EQ(CharacterSetLogName(SET_MAC_ROMAN), "MacScript0");
    EXPECT_EQ(CharacterSetLogName(static_cast<int16_t>(0x8591)), "ISO88591");
    EXPECT_EQ(CharacterSetLogName(static_cast<int16_t>(0x8599)), "ISO88599");
    EXPECT_EQ(CharacterSetLogName(SET_ISO646), "ISO646");
    EXPECT_EQ(CharacterSetLogName(1252), "1252");
    EXPECT_EQ(CharacterSetLogName(static_cast<int16_t>(0x9000)), "-28672");
}

}  // namespace
}  // namespace glossel

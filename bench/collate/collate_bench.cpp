// Sorting 1,000,000 words with ccIntlStrCmp (as Unicode text and as code page
// 1252 text) against ICU's ucol_strcoll, ICU's sort keys and glibc's strcoll,
// and Unicode compression against ICU's SCSU converter.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "include/glossel/glossel.h"
#include "intl/collate/collation.h"
#include "intl/collate/unicode_compression.h"
#include "intl/context.h"
#include "intl/table_writer.h"
#include "intl/test_support.h"
#include "tools/cctb/language/language_tables.h"

namespace {

constexpr size_t WORD_COUNT = 1000000;

std::string ToUtf8(const std::u16string& s) {
    std::string out(s.size() * 3 + 1, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length,
                reinterpret_cast<const UChar*>(s.data()), static_cast<int32_t>(s.size()), &status);
    out.resize(static_cast<size_t>(length));
    return out;
}

// German-looking words of 1-4 syllables, with capitals, umlauts and "ß".
const std::vector<std::u16string>& Words() {
    static const std::vector<std::u16string> words = [] {
        static const char16_t* const syllables[] = {
            u"an",  u"be", u"ch", u"der", u"ei", u"fa",  u"ge", u"hö",  u"isch", u"ja", u"ke",
            u"lü",  u"ma", u"ne", u"or",  u"pf", u"qu",  u"ra", u"sch", u"ßen",  u"te", u"ung",
            u"ver", u"wä", u"xy", u"zu",  u"st", u"sse", u"Ö",  u"Ü",   u"ä",    u"ck"};
        std::mt19937 rng(42);
        std::vector<std::u16string> out;
        out.reserve(WORD_COUNT);
        for (size_t i = 0; i < WORD_COUNT; ++i) {
            std::u16string word;
            const size_t n = 1 + rng() % 4;
            for (size_t s = 0; s < n; ++s)
                word += syllables[rng() % std::size(syllables)];
            if (rng() % 3 == 0)
                word[0] = static_cast<char16_t>(u_toupper(word[0]));
            out.push_back(std::move(word));
        }
        return out;
    }();
    return words;
}

// A context over a table file holding the compiled language tables.
tccIntlCtxtStruct* Context() {
    static tccIntlCtxtStruct* ctx = [] {
        std::vector<cctb::TableBlob> blobs;
        std::string error;
        if (!cctb::BuildLanguageTables(&blobs, &error))
            abort();
        glossel::TableFileContents contents;
        contents.xlat.push_back(
            {1252, 1200, glossel::SingleToUnicodeTable(glossel::testing::Cp1252())});
        for (const cctb::TableBlob& blob : blobs) {
            glossel::LangTableSpec langTable;
            langTable.type = blob.type;
            langTable.language[0] = blob.language[0];
            langTable.language[1] = blob.language[1];
            langTable.kind = blob.kind;
            langTable.main = blob.main;
            langTable.second = blob.second;
            langTable.third = blob.third;
            contents.lang.push_back(langTable);
        }
        std::vector<uint8_t> bytes;
        if (!glossel::BuildTableFile(contents, &bytes, &error))
            abort();
        char pattern[] = "/tmp/collate_benchXXXXXX";
        if (mkdtemp(pattern) == nullptr)
            abort();
        std::ofstream(std::string(pattern) + "/CCINTL.TB", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        tccIntlCtxtStruct* out = nullptr;
        if (glossel::CreateContext(pattern, 0, "de", &out) != 0)
            abort();
        std::filesystem::remove_all(pattern);  // the open file stays readable
        return out;
    }();
    return ctx;
}

template <typename Word, typename Less>
void SortWords(benchmark::State& state, const std::vector<Word>& words, Less less) {
    uint64_t comparisons = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<const Word*> order;
        order.reserve(words.size());
        for (const Word& w : words)
            order.push_back(&w);
        state.ResumeTiming();
        std::sort(order.begin(), order.end(), [&](const Word* a, const Word* b) {
            ++comparisons;
            return less(*a, *b);
        });
        benchmark::DoNotOptimize(order.data());
    }
    state.counters["comparisons"] = static_cast<double>(comparisons);
    state.counters["cmp_per_s"] =
        benchmark::Counter(static_cast<double>(comparisons), benchmark::Counter::kIsRate);
}

void BM_Sort_ccIntlStrCmp(benchmark::State& state) {
    tccIntlCtxtStruct* ctx = Context();
    const uint16_t kind = 2;  // accents and case count, as ICU's default strength
    SortWords(state, Words(), [&](const std::u16string& a, const std::u16string& b) {
        int16_t result = 0;
        (void)ccIntlStrCmp(ctx, 1200, reinterpret_cast<const uint8_t*>(a.data()),
                           static_cast<uint32_t>(2 * a.size()),
                           reinterpret_cast<const uint8_t*>(b.data()),
                           static_cast<uint32_t>(2 * b.size()), kind, &result);
        return result < 0;
    });
}

// The same words in code page 1252 (every character of them is Latin-1).
const std::vector<std::string>& Words1252() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> out;
        out.reserve(WORD_COUNT);
        for (const std::u16string& w : Words()) {
            std::string bytes;
            for (char16_t c : w)
                bytes.push_back(static_cast<char>(c));
            out.push_back(std::move(bytes));
        }
        return out;
    }();
    return words;
}

void BM_Sort_ccIntlStrCmp_1252(benchmark::State& state) {
    tccIntlCtxtStruct* ctx = Context();
    SortWords(state, Words1252(), [&](const std::string& a, const std::string& b) {
        int16_t result = 0;
        (void)ccIntlStrCmp(ctx, 1252, reinterpret_cast<const uint8_t*>(a.data()),
                           static_cast<uint32_t>(a.size()),
                           reinterpret_cast<const uint8_t*>(b.data()),
                           static_cast<uint32_t>(b.size()), 2, &result);
        return result < 0;
    });
}

// ICU's sort keys: one key per word (built inside the timed run), then the
// sort compares keys bytewise.
void BM_Sort_ucol_sortkeys(benchmark::State& state) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* coll = ucol_open("de", &status);
    uint64_t comparisons = 0;
    for (auto _ : state) {
        std::vector<std::string> keys;
        keys.reserve(Words().size());
        uint8_t buffer[512];
        for (const std::u16string& w : Words()) {
            const int32_t n =
                ucol_getSortKey(coll, reinterpret_cast<const UChar*>(w.data()),
                                static_cast<int32_t>(w.size()), buffer, sizeof(buffer));
            keys.emplace_back(reinterpret_cast<const char*>(buffer),
                              static_cast<size_t>(std::min<int32_t>(n, sizeof(buffer))));
        }
        std::vector<const std::string*> order;
        order.reserve(keys.size());
        for (const std::string& k : keys)
            order.push_back(&k);
        std::sort(order.begin(), order.end(), [&](const std::string* a, const std::string* b) {
            ++comparisons;
            return std::strcmp(a->c_str(), b->c_str()) < 0;
        });
        benchmark::DoNotOptimize(order.data());
    }
    state.counters["comparisons"] = static_cast<double>(comparisons);
    state.counters["cmp_per_s"] =
        benchmark::Counter(static_cast<double>(comparisons), benchmark::Counter::kIsRate);
    ucol_close(coll);
}

void BM_Sort_ucol_strcoll(benchmark::State& state) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* coll = ucol_open("de", &status);
    SortWords(state, Words(), [&](const std::u16string& a, const std::u16string& b) {
        return ucol_strcoll(coll, reinterpret_cast<const UChar*>(a.data()),
                            static_cast<int32_t>(a.size()),
                            reinterpret_cast<const UChar*>(b.data()),
                            static_cast<int32_t>(b.size())) == UCOL_LESS;
    });
    ucol_close(coll);
}

void BM_Sort_glibc_strcoll(benchmark::State& state) {
    if (std::setlocale(LC_COLLATE, "de_DE.UTF-8") == nullptr) {
        state.SkipWithError("locale de_DE.UTF-8 missing");
        return;
    }
    static const std::vector<std::string> utf8 = [] {
        std::vector<std::string> out;
        for (const std::u16string& w : Words())
            out.push_back(ToUtf8(w));
        return out;
    }();
    SortWords(state, utf8, [](const std::string& a, const std::string& b) {
        return std::strcoll(a.c_str(), b.c_str()) < 0;
    });
    std::setlocale(LC_COLLATE, "C");
}

// Binary order of the same words: the cost of the sort and its memory
// traffic alone, the floor under every collator.
void BM_Sort_binary_floor(benchmark::State& state) {
    SortWords(state, Words(),
              [](const std::u16string& a, const std::u16string& b) { return a < b; });
}

BENCHMARK(BM_Sort_binary_floor)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Sort_ccIntlStrCmp)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Sort_ccIntlStrCmp_1252)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Sort_ucol_strcoll)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Sort_ucol_sortkeys)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Sort_glibc_strcoll)->Unit(benchmark::kMillisecond)->Iterations(2);

// The comparison alone, over 4096 neighbouring word pairs that stay in cache.
template <typename Compare>
void ComparePairs(benchmark::State& state, Compare compare) {
    const std::vector<std::u16string>& words = Words();
    constexpr size_t PAIRS = 4096;
    int sink = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < PAIRS; ++i)
            sink += compare(words[i], words[i + 1]);
    }
    benchmark::DoNotOptimize(sink);
    state.counters["cmp_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * PAIRS), benchmark::Counter::kIsRate);
}

void BM_Compare_ccIntlStrCmp(benchmark::State& state) {
    tccIntlCtxtStruct* ctx = Context();
    ComparePairs(state, [&](const std::u16string& a, const std::u16string& b) {
        int16_t result = 0;
        (void)ccIntlStrCmp(ctx, 1200, reinterpret_cast<const uint8_t*>(a.data()),
                           static_cast<uint32_t>(2 * a.size()),
                           reinterpret_cast<const uint8_t*>(b.data()),
                           static_cast<uint32_t>(2 * b.size()), 2, &result);
        return static_cast<int>(result);
    });
}

void BM_Compare_ccIntlStrCmp_1252(benchmark::State& state) {
    tccIntlCtxtStruct* ctx = Context();
    const std::vector<std::string>& words = Words1252();
    constexpr size_t PAIRS = 4096;
    int sink = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < PAIRS; ++i) {
            int16_t result = 0;
            (void)ccIntlStrCmp(ctx, 1252, reinterpret_cast<const uint8_t*>(words[i].data()),
                               static_cast<uint32_t>(words[i].size()),
                               reinterpret_cast<const uint8_t*>(words[i + 1].data()),
                               static_cast<uint32_t>(words[i + 1].size()), 2, &result);
            sink += result;
        }
    }
    benchmark::DoNotOptimize(sink);
    state.counters["cmp_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * PAIRS), benchmark::Counter::kIsRate);
}

// The general comparison (CompareText) alone: no shortcut, no handle check,
// no table look-up.
void BM_Compare_algorithm_only(benchmark::State& state) {
    glossel::LangTables tables;
    if (glossel::GetLangTables(Context(), 2, &tables) != 0)
        abort();
    glossel::CollationView view;
    view.tables = {glossel::ByteView(tables.main.data, tables.main.size),
                   glossel::ByteView(tables.second.data, tables.second.size),
                   glossel::ByteView(tables.third.data, tables.third.size)};
    view.unicode = true;
    ComparePairs(state, [&](const std::u16string& a, const std::u16string& b) {
        return static_cast<int>(glossel::CompareText(
            view, glossel::ByteView(reinterpret_cast<const uint8_t*>(a.data()), 2 * a.size()),
            glossel::ByteView(reinterpret_cast<const uint8_t*>(b.data()), 2 * b.size()), 2));
    });
}

void BM_Compare_ucol_strcoll(benchmark::State& state) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* coll = ucol_open("de", &status);
    ComparePairs(state, [&](const std::u16string& a, const std::u16string& b) {
        return static_cast<int>(ucol_strcoll(
            coll, reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
            reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size())));
    });
    ucol_close(coll);
}

void BM_Compare_glibc_strcoll(benchmark::State& state) {
    if (std::setlocale(LC_COLLATE, "de_DE.UTF-8") == nullptr) {
        state.SkipWithError("locale de_DE.UTF-8 missing");
        return;
    }
    std::vector<std::string> utf8;
    for (size_t i = 0; i <= 4096; ++i)
        utf8.push_back(ToUtf8(Words()[i]));
    int sink = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < 4096; ++i)
            sink += std::strcoll(utf8[i].c_str(), utf8[i + 1].c_str());
    }
    benchmark::DoNotOptimize(sink);
    state.counters["cmp_per_s"] = benchmark::Counter(static_cast<double>(state.iterations() * 4096),
                                                     benchmark::Counter::kIsRate);
    std::setlocale(LC_COLLATE, "C");
}

BENCHMARK(BM_Compare_ccIntlStrCmp);
BENCHMARK(BM_Compare_ccIntlStrCmp_1252);
BENCHMARK(BM_Compare_algorithm_only);
BENCHMARK(BM_Compare_ucol_strcoll);
BENCHMARK(BM_Compare_glibc_strcoll);

// --- Compression ------------------------------------------------------------

enum Sample { ENGLISH, GERMAN, RUSSIAN, GREEK, JAPANESE, MIXED };

const std::u16string& SampleText(int which) {
    static const char16_t* const sentences[] = {
        u"The quick brown fox jumps over the lazy dog while the mail is synchronised. ",
        u"Größere Änderungen übernehmen wir später; die Straße bleibt gesperrt. ",
        u"Съешь же ещё этих мягких французских булок, да выпей чаю. ",
        u"Ξεσκεπάζω την ψυχοφθόρα βδελυγμία, είπε ο ταχυδρόμος. ",
        u"いろはにほへと ちりぬるを、日本語の文章を圧縮して送信します。",
    };
    static std::u16string texts[6];
    std::u16string& text = texts[which];
    if (text.empty()) {
        while (text.size() < 128 * 1024) {
            if (which == MIXED) {
                for (const char16_t* s : sentences)
                    text += s;
            } else {
                text += sentences[which];
            }
        }
    }
    return text;
}

// Compresses the sample text into an output buffer of `capacity(text length)` bytes.
template <typename Capacity>
void CompressInto(benchmark::State& state, Capacity capacity) {
    const std::u16string& text = SampleText(static_cast<int>(state.range(0)));
    std::vector<uint8_t> out(capacity(text.size()));
    uint32_t length = 0;
    for (auto _ : state) {
        length = static_cast<uint32_t>(out.size());
        (void)ccIntlCompressUnicode(reinterpret_cast<const uint16_t*>(text.data()),
                                    static_cast<uint32_t>(2 * text.size()), out.data(), &length);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * text.size()));
    state.counters["ratio"] = static_cast<double>(length) / (2.0 * text.size());
}

void BM_Compress_ccIntl(benchmark::State& state) {
    CompressInto(state, [](size_t n) { return 8 + 4 * n; });
}

// The same with an output buffer only as large as the text itself, so the
// capacity, not the worst case, bounds every run.
void BM_Compress_ccIntl_TextSizedOutput(benchmark::State& state) {
    CompressInto(state, [](size_t n) { return 2 * n; });
}

void BM_Compress_SCSU(benchmark::State& state) {
    const std::u16string& text = SampleText(static_cast<int>(state.range(0)));
    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open("SCSU", &status);
    std::vector<char> out(8 + 4 * text.size());
    int32_t length = 0;
    for (auto _ : state) {
        status = U_ZERO_ERROR;
        length = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()),
                                 reinterpret_cast<const UChar*>(text.data()),
                                 static_cast<int32_t>(text.size()), &status);
        benchmark::DoNotOptimize(out.data());
    }
    ucnv_close(conv);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * text.size()));
    state.counters["ratio"] = static_cast<double>(length) / (2.0 * text.size());
}

void BM_Decompress_ccIntl(benchmark::State& state) {
    const std::u16string& text = SampleText(static_cast<int>(state.range(0)));
    std::vector<uint8_t> packed(8 + 4 * text.size());
    uint32_t length = static_cast<uint32_t>(packed.size());
    (void)ccIntlCompressUnicode(reinterpret_cast<const uint16_t*>(text.data()),
                                static_cast<uint32_t>(2 * text.size()), packed.data(), &length);
    std::vector<uint16_t> out(text.size());
    for (auto _ : state) {
        (void)ccIntlDecompressUnicode(packed.data(), out.data(), static_cast<uint32_t>(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * text.size()));
}

void BM_Decompress_SCSU(benchmark::State& state) {
    const std::u16string& text = SampleText(static_cast<int>(state.range(0)));
    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open("SCSU", &status);
    std::vector<char> packed(8 + 4 * text.size());
    const int32_t length = ucnv_fromUChars(conv, packed.data(), static_cast<int32_t>(packed.size()),
                                           reinterpret_cast<const UChar*>(text.data()),
                                           static_cast<int32_t>(text.size()), &status);
    std::vector<UChar> out(text.size() + 16);
    for (auto _ : state) {
        status = U_ZERO_ERROR;
        ucnv_toUChars(conv, out.data(), static_cast<int32_t>(out.size()), packed.data(), length,
                      &status);
        benchmark::DoNotOptimize(out.data());
    }
    ucnv_close(conv);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * text.size()));
}

void Samples(benchmark::internal::Benchmark* b) {
    b->ArgName("text");
    for (int s = ENGLISH; s <= MIXED; ++s)
        b->Arg(s);
}

BENCHMARK(BM_Compress_ccIntl)->Apply(Samples);
BENCHMARK(BM_Compress_ccIntl_TextSizedOutput)->Apply(Samples);
BENCHMARK(BM_Compress_SCSU)->Apply(Samples);
BENCHMARK(BM_Decompress_ccIntl)->Apply(Samples);
BENCHMARK(BM_Decompress_SCSU)->Apply(Samples);

}  // namespace

BENCHMARK_MAIN();

// Detection plus conversion to Shift_JIS of a few MB of generated Japanese mail text, in
// UTF-8 and in ISO-2022-JP, beside glibc iconv and ICU converting the same bytes to CP932.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ucnv.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "conduit/japanese/japanese_encoding.h"
#include "conduit/japanese/japanese_text_converter.h"

namespace {

using namespace torrim::japanese;

constexpr size_t TEXT_CHARACTERS = 1500000;  // about 4 MB of UTF-8

void AppendUtf8(std::string* s, uint32_t value) {
    if (value < 0x80) {
        *s += static_cast<char>(value);
    } else if (value < 0x800) {
        *s += static_cast<char>(0xC0 | value >> 6);
        *s += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        *s += static_cast<char>(0xE0 | value >> 12);
        *s += static_cast<char>(0x80 | (value >> 6 & 0x3F));
        *s += static_cast<char>(0x80 | (value & 0x3F));
    }
}

// Characters of one class that have a single code, so that every converter must agree.
std::vector<uint16_t> SingleCodeCharacters(uint16_t firstCode, uint16_t lastCode) {
    std::map<uint16_t, int> rowsPerValue;
    for (const Cp932Row& row : Cp932ReverseTable) {
        ++rowsPerValue[row.unicode];
    }
    std::vector<uint16_t> values;
    for (const Cp932Row& row : Cp932ReverseTable) {
        if (row.code >= firstCode && row.code <= lastCode && rowsPerValue[row.unicode] == 1) {
            values.push_back(row.unicode);
        }
    }
    return values;
}

// Mail-like Japanese: mostly hiragana, then kanji, katakana, punctuation, some ASCII, and a
// line break every 30-40 characters.
std::string MakeUtf8Text() {
    const std::vector<uint16_t> hiragana = SingleCodeCharacters(0x829F, 0x82F1);
    const std::vector<uint16_t> katakana = SingleCodeCharacters(0x8340, 0x8396);
    const std::vector<uint16_t> kanji = SingleCodeCharacters(0x889F, 0x9872);
    const char* const ascii[] = {"OK", "2024", "mail", "PDF", "10:30", "A-3"};
    std::mt19937 rng(932);
    std::string text;
    size_t column = 0;
    for (size_t i = 0; i < TEXT_CHARACTERS; ++i) {
        const uint32_t pick = rng() % 100;
        if (pick < 50) {
            AppendUtf8(&text, hiragana[rng() % hiragana.size()]);
        } else if (pick < 80) {
            AppendUtf8(&text, kanji[rng() % kanji.size()]);
        } else if (pick < 88) {
            AppendUtf8(&text, katakana[rng() % katakana.size()]);
        } else if (pick < 94) {
            AppendUtf8(&text, pick % 2 ? 0x3001 : 0x3002);
        } else {
            text += ascii[rng() % 6];
            text += ' ';
        }
        if (++column >= 30 + rng() % 10) {
            text += "\r\n";
            column = 0;
        }
    }
    return text;
}

std::string IconvAll(iconv_t cd, const std::string& in) {
    std::string out(in.size() * 2 + 16, '\0');
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
        std::fprintf(stderr, "iconv failed at byte %zu\n", in.size() - inLeft);
        std::exit(1);
    }
    out.resize(out.size() - outLeft);
    return out;
}

struct Inputs {
    std::string utf8;
    std::string iso2022jp;
    std::string expected;  // the Shift_JIS form of both
};

const Inputs& GetInputs() {
    static const Inputs inputs = [] {
        Inputs in;
        in.utf8 = MakeUtf8Text();
        iconv_t toIso = iconv_open("ISO-2022-JP", "UTF-8");
        iconv_t toSjis = iconv_open("CP932", "UTF-8");
        in.iso2022jp = IconvAll(toIso, in.utf8);
        in.expected = IconvAll(toSjis, in.utf8);
        iconv_close(toIso);
        iconv_close(toSjis);
        return in;
    }();
    return inputs;
}

const std::string& Input(bool iso) {
    return iso ? GetInputs().iso2022jp : GetInputs().utf8;
}

void CheckOutput(benchmark::State& state, const char* out, size_t length) {
    const std::string& expected = GetInputs().expected;
    if (length != expected.size() || expected.compare(0, length, out, length) != 0) {
        state.SkipWithError("output differs from the expected Shift_JIS");
    }
}

// DetectEncoding and then the chosen converter, with the code set built per text as the
// converter object does.
void BM_DetectThenConvert(benchmark::State& state) {
    const std::string& in = Input(state.range(0) != 0);
    std::vector<char> out(in.size() + 1);
    size_t length = 0;
    for (auto _ : state) {
        Cp932CodeSet codeSet;
        BuildCp932CodeSet(&codeSet);
        const EncodingDetector* detector = DetectEncoding(in.data(), in.size(), codeSet);
        length = detector->convert(out.data(), in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
    }
    CheckOutput(state, out.data(), length);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.SetLabel(std::to_string(in.size()) + " bytes in");
}

// The same choice and output in one call, which decodes UTF-8 once (as the converter
// object converts a message body).
void BM_DetectAndConvert(benchmark::State& state) {
    const std::string& in = Input(state.range(0) != 0);
    std::vector<char> out(in.size() + 1);
    size_t length = 0;
    for (auto _ : state) {
        Cp932CodeSet codeSet;
        BuildCp932CodeSet(&codeSet);
        benchmark::DoNotOptimize(
            DetectAndConvert(out.data(), in.data(), in.size(), codeSet, &length));
    }
    CheckOutput(state, out.data(), length);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.SetLabel(std::to_string(in.size()) + " bytes in");
}

// The whole converter object on one message body, as the mail back-end uses it.
void BM_ConverterObject(benchmark::State& state) {
    const std::string& in = Input(state.range(0) != 0);
    std::string body = in;
    for (auto _ : state) {
        char* pointer = body.data();
        CJapaneseTextConverter converter;
        converter.AddBodySlot(&pointer);
        converter.ConvertAll();
        benchmark::DoNotOptimize(pointer);
        converter.RestoreAll();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.SetLabel(std::to_string(in.size()) + " bytes in");
}

void BM_Iconv(benchmark::State& state) {
    const bool iso = state.range(0) != 0;
    const std::string& in = Input(iso);
    iconv_t cd = iconv_open("CP932", iso ? "ISO-2022-JP" : "UTF-8");
    std::string out;
    for (auto _ : state) {
        out = IconvAll(cd, in);
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    CheckOutput(state, out.data(), out.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.SetLabel(std::to_string(in.size()) + " bytes in");
}

void BM_Icu(benchmark::State& state) {
    const bool iso = state.range(0) != 0;
    const std::string& in = Input(iso);
    UErrorCode error = U_ZERO_ERROR;
    UConverter* source = ucnv_open(iso ? "ISO-2022-JP" : "UTF-8", &error);
    UConverter* target = ucnv_open("windows-31j", &error);
    if (U_FAILURE(error)) {
        state.SkipWithError(u_errorName(error));
        return;
    }
    std::vector<char> out(in.size() * 2 + 16);
    std::vector<UChar> pivot(8192);
    size_t length = 0;
    for (auto _ : state) {
        char* targetPtr = out.data();
        const char* sourcePtr = in.data();
        UChar* pivotSource = pivot.data();
        UChar* pivotTarget = pivot.data();
        error = U_ZERO_ERROR;
        ucnv_convertEx(target, source, &targetPtr, out.data() + out.size(), &sourcePtr,
                       in.data() + in.size(), pivot.data(), &pivotSource, &pivotTarget,
                       pivot.data() + pivot.size(), true, true, &error);
        length = static_cast<size_t>(targetPtr - out.data());
        benchmark::DoNotOptimize(out.data());
    }
    ucnv_close(source);
    ucnv_close(target);
    if (U_FAILURE(error)) {
        state.SkipWithError(u_errorName(error));
        return;
    }
    CheckOutput(state, out.data(), length);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.SetLabel(std::to_string(in.size()) + " bytes in");
}

// Argument 0: UTF-8 input; 1: ISO-2022-JP input.
BENCHMARK(BM_DetectThenConvert)
    ->ArgName("iso2022jp")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectAndConvert)->ArgName("iso2022jp")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConverterObject)->ArgName("iso2022jp")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Iconv)->ArgName("iso2022jp")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Icu)->ArgName("iso2022jp")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Translation speed of the library against the C library's iconv and ICU's
// converters on the same input, with memcpy as the ceiling.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ucnv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "intl/context.h"
#include "intl/translate.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t INPUT_SIZE = 1 << 20;

uint32_t NextRandom(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

// Western European text: words of ASCII letters with about one character in
// seven from the upper half (accented letters, typographic quotes, euro).
Bytes MakeWindowsText() {
    static const uint8_t upper[] = {0xE9, 0xE8, 0xE0, 0xFC, 0xF6, 0xE4, 0xDF, 0xE7, 0xF1,
                                    0xC9, 0x92, 0x93, 0x94, 0x96, 0x80, 0xA0, 0xB0, 0xE2};
    Bytes text;
    uint32_t state = 1;
    while (text.size() < INPUT_SIZE) {
        const uint32_t r = NextRandom(&state);
        if (r % 7 == 0) {
            text.push_back(upper[r % sizeof upper]);
        } else if (r % 6 == 0) {
            text.push_back(' ');
        } else {
            text.push_back(static_cast<uint8_t>('a' + r % 26));
        }
    }
    return text;
}

// Japanese text: level-1 kanji, hiragana and some ASCII, in Shift_JIS.
Bytes MakeShiftJisText() {
    Bytes text;
    uint32_t state = 7;
    while (text.size() + 2 <= INPUT_SIZE) {
        const uint32_t r = NextRandom(&state);
        switch (r % 10) {
            case 0:
            case 1:
                text.push_back(static_cast<uint8_t>('a' + r % 26));
                break;
            case 2:
            case 3:
            case 4:
                text.push_back(0x82);
                text.push_back(static_cast<uint8_t>(0x9F + (r >> 4) % 83));
                break;
            default: {
                text.push_back(static_cast<uint8_t>(0x89 + (r >> 4) % 15));
                uint8_t trail = static_cast<uint8_t>(0x40 + (r >> 9) % 188);
                if (trail >= 0x7F) {
                    ++trail;  // 0x7F is no trail byte
                }
                text.push_back(trail);
            }
        }
    }
    return text;
}

Bytes IconvConvert(const char* to, const char* from, const Bytes& in) {
    iconv_t cd = iconv_open(to, from);
    Bytes out(4 * in.size() + 16);
    char* input = reinterpret_cast<char*>(const_cast<uint8_t*>(in.data()));
    size_t inputLeft = in.size();
    char* output = reinterpret_cast<char*>(out.data());
    size_t outputLeft = out.size();
    iconv(cd, &input, &inputLeft, &output, &outputLeft);
    iconv_close(cd);
    out.resize(out.size() - outputLeft);
    return out;
}

struct Fixture {
    tccIntlCtxtStruct* ctx = nullptr;
    Bytes windows = MakeWindowsText();
    Bytes windowsUnicode = IconvConvert("UTF-16LE", "CP1252", windows);
    Bytes sjis = MakeShiftJisText();
    Bytes sjisUnicode = IconvConvert("UTF-16LE", "CP932", sjis);
    Fixture() {
        if (glossel::CreateContext(GLOSSEL_TABLE_DIR, 0, "en", &ctx) != 0) {
            std::fprintf(stderr, "cannot open %s/CCINTL.TB\n", GLOSSEL_TABLE_DIR);
            std::exit(1);
        }
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

const Bytes& Input(int16_t from, int16_t to) {
    Fixture& data = Data();
    if (from == 1252) {
        return data.windows;
    }
    if (from == 932) {
        return data.sjis;
    }
    return to == 1252 ? data.windowsUnicode : data.sjisUnicode;
}

void Glossel(benchmark::State& state, int16_t from, int16_t to) {
    const Bytes& in = Input(from, to);
    Bytes out(2 * in.size());
    for (auto _ : state) {
        uint32_t length = static_cast<uint32_t>(out.size());
        if (glossel::TranslateStr(Data().ctx, from, in.data(), static_cast<uint32_t>(in.size()), to,
                                  out.data(), &length) != 0) {
            state.SkipWithError("translation failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

const char* IconvName(int16_t set) {
    return set == 1252 ? "CP1252" : set == 932 ? "CP932" : "UTF-16LE";
}

void Iconv(benchmark::State& state, int16_t from, int16_t to) {
    const Bytes& in = Input(from, to);
    Bytes out(2 * in.size());
    iconv_t cd = iconv_open(IconvName(to), IconvName(from));
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* input = reinterpret_cast<char*>(const_cast<uint8_t*>(in.data()));
        size_t inputLeft = in.size();
        char* output = reinterpret_cast<char*>(out.data());
        size_t outputLeft = out.size();
        if (iconv(cd, &input, &inputLeft, &output, &outputLeft) == static_cast<size_t>(-1)) {
            state.SkipWithError("iconv failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void Icu(benchmark::State& state, int16_t from, int16_t to) {
    const Bytes& in = Input(from, to);
    UErrorCode status = U_ZERO_ERROR;
    const int16_t other = from == 1200 ? to : from;
    UConverter* converter =
        ucnv_open(other == 1252 ? "windows-1252" : "ibm-943_P15A-2003", &status);
    Bytes out(2 * in.size() + 16);
    for (auto _ : state) {
        status = U_ZERO_ERROR;
        if (from == 1200) {
            ucnv_fromUChars(converter, reinterpret_cast<char*>(out.data()),
                            static_cast<int32_t>(out.size()),
                            reinterpret_cast<const UChar*>(in.data()),
                            static_cast<int32_t>(in.size() / 2), &status);
        } else {
            ucnv_toUChars(converter, reinterpret_cast<UChar*>(out.data()),
                          static_cast<int32_t>(out.size() / 2),
                          reinterpret_cast<const char*>(in.data()), static_cast<int32_t>(in.size()),
                          &status);
        }
        if (U_FAILURE(status)) {
            state.SkipWithError(u_errorName(status));
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    ucnv_close(converter);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void Memcpy(benchmark::State& state) {
    const Bytes& in = Data().windows;
    Bytes out(in.size());
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

#define DIRECTION(name, from, to)               \
    BENCHMARK_CAPTURE(Glossel, name, from, to); \
    BENCHMARK_CAPTURE(Iconv, name, from, to);   \
    BENCHMARK_CAPTURE(Icu, name, from, to);

DIRECTION(cp1252_to_unicode, 1252, 1200)
DIRECTION(unicode_to_cp1252, 1200, 1252)
DIRECTION(cp932_to_unicode, 932, 1200)
DIRECTION(unicode_to_cp932, 1200, 932)
BENCHMARK(Memcpy);

}  // namespace

BENCHMARK_MAIN();

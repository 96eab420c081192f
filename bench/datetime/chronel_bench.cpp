// Date and time formatting through libchronel.so against strftime writing the same text
// ("%x" in de_DE, "%X" in en_US), in the same run.
#include <benchmark/benchmark.h>
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "chronel/chronel.h"

namespace {

// 1024 moments spread over several decades, so that every digit count occurs.
struct Moments {
    std::tm tms[1024];
    ccTm cc[1024];
    Moments() {
        for (int i = 0; i < 1024; ++i) {
            std::tm t{};
            t.tm_year = 70 + (i * 7) % 60;
            t.tm_mon = (i * 5) % 12;
            t.tm_mday = 1 + (i * 11) % 28;
            t.tm_hour = (i * 13) % 24;
            t.tm_min = (i * 17) % 60;
            t.tm_sec = (i * 19) % 60;
            tms[i] = t;
            ccTm c{};
            c.tm_sec = t.tm_sec;
            c.tm_min = t.tm_min;
            c.tm_hour = t.tm_hour;
            c.tm_mday = t.tm_mday;
            c.tm_mon = t.tm_mon;
            c.tm_year = t.tm_year;
            cc[i] = c;
        }
    }
};

const Moments& AllMoments() {
    static const Moments moments;
    return moments;
}

tccDTCtxtCountryInfoStruct GermanDate() {
    tccDTCtxtCountryInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.dateOrder = CCDT_ORDER_DMY;
    info.dateFlags = 0xE0;
    info.dateSep = '.';
    return info;
}

tccDTCtxtCountryInfoStruct AmericanTime() {
    tccDTCtxtCountryInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.timeFieldFlags = 0xE0;
    info.timeSep = ':';
    std::strcpy(info.amString, " AM");
    std::strcpy(info.pmString, " PM");
    return info;
}

class CThreadLocale {
public:
    explicit CThreadLocale(const char* name) : m_locale(newlocale(LC_ALL_MASK, name, nullptr)) {
        if (m_locale != nullptr) {
            m_previous = uselocale(m_locale);
        }
    }
    ~CThreadLocale() {
        if (m_locale != nullptr) {
            uselocale(m_previous);
            freelocale(m_locale);
        }
    }
    bool Ok() const { return m_locale != nullptr; }

private:
    locale_t m_locale;
    locale_t m_previous = nullptr;
};

void BM_ChronelDate(benchmark::State& state) {
    const Moments& m = AllMoments();
    const tccDTCtxtCountryInfoStruct info = GermanDate();
    unsigned char buffer[64];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            ccDTCtxtGetDateString(&info, &m.cc[i++ & 1023], buffer, sizeof buffer));
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChronelDate);

void BM_StrftimeDate(benchmark::State& state) {
    CThreadLocale locale("de_DE.UTF-8");
    if (!locale.Ok()) {
        state.SkipWithError("de_DE.UTF-8 is not installed");
        return;
    }
    const Moments& m = AllMoments();
    char buffer[64];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::strftime(buffer, sizeof buffer, "%x", &m.tms[i++ & 1023]));
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StrftimeDate);

void BM_ChronelTime(benchmark::State& state) {
    const Moments& m = AllMoments();
    const tccDTCtxtCountryInfoStruct info = AmericanTime();
    unsigned char buffer[64];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            ccDTCtxtGetTimeString(&info, &m.cc[i++ & 1023], buffer, sizeof buffer));
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChronelTime);

void BM_StrftimeTime(benchmark::State& state) {
    CThreadLocale locale("en_US.UTF-8");
    if (!locale.Ok()) {
        state.SkipWithError("en_US.UTF-8 is not installed");
        return;
    }
    const Moments& m = AllMoments();
    char buffer[64];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::strftime(buffer, sizeof buffer, "%X", &m.tms[i++ & 1023]));
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StrftimeTime);

// Reading the settings from the locale: the platform folder is an empty temporary one, so
// there is no registry key.
void BM_GetCountryInfoFromLocale(benchmark::State& state) {
    char folder[] = "/tmp/chronel_bench_XXXXXX";
    if (mkdtemp(folder) == nullptr || setenv("TETHER_PLATFORM_HOME", folder, 1) != 0) {
        state.SkipWithError("no temporary folder");
        return;
    }
    CThreadLocale locale("de_DE.UTF-8");
    if (!locale.Ok()) {
        state.SkipWithError("de_DE.UTF-8 is not installed");
        return;
    }
    tccDTCtxtCountryInfoStruct info;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ccDTCtxtGetCountryInfo(&info));
    }
    state.SetItemsProcessed(state.iterations());
    rmdir(folder);
}
BENCHMARK(BM_GetCountryInfoFromLocale);

}  // namespace

BENCHMARK_MAIN();

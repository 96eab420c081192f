// First synchronize of 1,000 / 10,000 / 50,000 desktop messages onto an empty handheld,
// and a re-synchronize with no change on either side, over the real handheld image and
// over a handheld kept in memory (the passes alone). Reports time per message, the peak
// resident memory of the process and the state file's size. Run one benchmark per
// process (--benchmark_filter) for a peak memory figure of its own.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/passes/memory_handheld.h"
#include "tests/passes/passes_scenario_util.h"

namespace torrim {
namespace {

// A memory figure of the process in bytes from /proc/self/status, 0 when unknown.
double StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0) {
            return std::stod(line.substr(length)) * 1024.0;
        }
    }
    return 0;
}

// Peak resident set size (VmHWM).
double PeakRss() {
    return StatusBytes("VmHWM:");
}

// Resident set size now (VmRSS): taken once the scripted desktop is filled, it is the part
// of the peak that belongs to the benchmark's own desktop and the process, not the sync.
double Rss() {
    return StatusBytes("VmRSS:");
}

void Fill(CScenario& s, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        DesktopMail mail;
        mail.from = "sender" + std::to_string(i % 97) + "@example.org";
        mail.subject = "Subject number " + std::to_string(i);
        mail.body = "Body of message " + std::to_string(i) + "\r\nwith a second line of text.";
        mail.date = 1700000000u + static_cast<uint32_t>(i) * 61u;
        s.desktop.Add(std::move(mail));
    }
    (void)s.SetCapacity(uint64_t{1} << 32);
}

void FirstSync(benchmark::State& state) {
    const int64_t count = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<CScenario>();
        Fill(*s, count);
        state.counters["rss_before_sync"] = Rss();
        state.ResumeTiming();
        s->Sync();
        state.PauseTiming();
        if (s->result != 0 || s->Records().size() != static_cast<size_t>(count)) {
            state.SkipWithError("sync did not copy every message");
        }
        state.counters["state_bytes"] =
            static_cast<double>(std::filesystem::file_size(s->StatePath()));
        s.reset();
        state.ResumeTiming();
    }
    state.counters["per_message"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["peak_rss"] = PeakRss();
}

void NoChangeResync(benchmark::State& state) {
    const int64_t count = state.range(0);
    CScenario s;
    Fill(s, count);
    s.Sync();
    for (auto _ : state) {
        s.Sync();
        if (s.result != 0 || s.host.m_log.size() != 2) {
            state.SkipWithError("re-sync changed something");
        }
    }
    state.counters["per_message"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["state_bytes"] = static_cast<double>(std::filesystem::file_size(s.StatePath()));
    state.counters["peak_rss"] = PeakRss();
}

// The same operations with the handheld in memory.
struct MemoryScenario {
    MemoryScenario() {
        char pattern[] = "/tmp/passes_bench_XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            dir = pattern;
        }
        std::filesystem::create_directories(dir + "/user/Mail");
        (void)platform::WriteFileAtomic(dir + "/user/Sync.ini", "[Mail]\n");
        std::memset(&props, 0, sizeof(props));
        std::strncpy(props.conduitFolder, (dir + "/user/Mail").c_str(),
                     sizeof(props.conduitFolder) - 1);
        props.databaseName = "MailDB";
    }
    ~MemoryScenario() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    int32_t Sync() {
        host.m_log.clear();
        CScriptedConduit conduit(host, settings, props, desktop);
        return conduit.Run();
    }
    std::string dir;
    CMemoryHandheldHost host;
    CScriptedDesktop desktop;
    MailSettings settings;
    SyncProperties props;
};

void FillDesktop(CScriptedDesktop& desktop, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        DesktopMail mail;
        mail.from = "sender" + std::to_string(i % 97) + "@example.org";
        mail.subject = "Subject number " + std::to_string(i);
        mail.body = "Body of message " + std::to_string(i) + "\r\nwith a second line of text.";
        mail.date = 1700000000u + static_cast<uint32_t>(i) * 61u;
        desktop.Add(std::move(mail));
    }
}

void MemoryFirstSync(benchmark::State& state) {
    const int64_t count = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<MemoryScenario>();
        FillDesktop(s->desktop, count);
        state.counters["rss_before_sync"] = Rss();
        state.ResumeTiming();
        if (s->Sync() != 0 || s->host.records.size() != static_cast<size_t>(count)) {
            state.SkipWithError("sync did not copy every message");
        }
        state.PauseTiming();
        // The in-memory handheld is the benchmark's too: its record bytes and map nodes.
        double handheld = 0;
        for (const auto& entry : s->host.records) {
            handheld += static_cast<double>(entry.second.data.capacity() + sizeof(entry) + 32);
        }
        state.counters["handheld_bytes"] = handheld;
        state.counters["state_bytes"] =
            static_cast<double>(std::filesystem::file_size(s->dir + "/user/Mail/mail.dat"));
        s.reset();
        state.ResumeTiming();
    }
    state.counters["per_message"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["peak_rss"] = PeakRss();
}

void MemoryNoChangeResync(benchmark::State& state) {
    const int64_t count = state.range(0);
    MemoryScenario s;
    FillDesktop(s.desktop, count);
    (void)s.Sync();
    for (auto _ : state) {
        if (s.Sync() != 0 || s.host.m_log.size() != 2) {
            state.SkipWithError("re-sync changed something");
        }
    }
    state.counters["per_message"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["state_bytes"] =
        static_cast<double>(std::filesystem::file_size(s.dir + "/user/Mail/mail.dat"));
    state.counters["peak_rss"] = PeakRss();
}

BENCHMARK(MemoryFirstSync)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(MemoryNoChangeResync)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

BENCHMARK(FirstSync)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(NoChangeResync)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace torrim

BENCHMARK_MAIN();

// First synchronize of 1,000 / 10,000 / 50,000 desktop messages onto an empty handheld,
// and a re-synchronize with no change on either side, over the real handheld image and
// over a handheld kept in memory (the passes alone). Reports time per message, the peak
// resident memory during the sync, the resident memory before it (the process and the
// benchmark's own desktop and handheld), the growth between the two and the state file's
// size. Run one benchmark per process (--benchmark_filter) for figures of its own.
#include <benchmark/benchmark.h>
#include <malloc.h>

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

// Starts a new peak (VmHWM) at the current resident size, so that the peak read after the
// sync is the sync's own and not that of filling the desktop, of an earlier sync or of the
// benchmark's checks. False where the kernel does not allow it (the peak then also covers
// what came before).
bool ResetPeakRss() {
    // Heap pages freed by the setup (a first sync before a re-sync) go back to the system
    // first; otherwise the sync would reuse them unseen and its growth would look smaller.
    (void)malloc_trim(0);
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

// The peak counters: the peak during the sync, the resident size before it, and their
// difference: what the sync itself held at its highest, to be compared with the state
// file's size.
void SetPeakCounters(benchmark::State& state, double before, double peak) {
    state.counters["rss_before_sync"] = before;
    state.counters["peak_rss"] = peak;
    state.counters["sync_peak_growth"] = peak - before;
}

// One operation over the handheld image, with the language library open throughout as
// the entry points keep it.
void SyncInScope(CScenario& s) {
    CResourceScope scope(s.host);
    s.Sync();
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
        (void)ResetPeakRss();
        const double before = Rss();
        state.ResumeTiming();
        SyncInScope(*s);
        state.PauseTiming();
        SetPeakCounters(state, before, PeakRss());
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
}

void NoChangeResync(benchmark::State& state) {
    const int64_t count = state.range(0);
    CScenario s;
    Fill(s, count);
    SyncInScope(s);
    (void)ResetPeakRss();
    const double before = Rss();
    for (auto _ : state) {
        SyncInScope(s);
        if (s.result != 0 || s.host.m_log.size() != 2) {
            state.SkipWithError("re-sync changed something");
        }
    }
    SetPeakCounters(state, before, PeakRss());
    state.counters["per_message"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["state_bytes"] = static_cast<double>(std::filesystem::file_size(s.StatePath()));
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
        // As the entry points do, the language library stays open for the whole operation
        // instead of being opened for each text looked up.
        CResourceScope scope(host);
        CScriptedConduit conduit(host, settings, props, desktop);
        return conduit.Run();
    }
    std::string dir;
    CMemoryHandheldHost host;
    CScriptedDesktop desktop;
    MailSettings settings;
    SyncProperties props;
};

// bodyLines > 0 gives each body that many more lines of 60 bytes, for mail of a more
// usual size than the two-line bodies (which make the per-message costs stand out).
void FillDesktop(CScriptedDesktop& desktop, int64_t count, int64_t bodyLines = 0) {
    const std::string line = "\r\nA line of text of the kind a mail body is made of, quite long.";
    for (int64_t i = 0; i < count; ++i) {
        DesktopMail mail;
        mail.from = "sender" + std::to_string(i % 97) + "@example.org";
        mail.subject = "Subject number " + std::to_string(i);
        mail.body = "Body of message " + std::to_string(i) + "\r\nwith a second line of text.";
        for (int64_t l = 0; l < bodyLines; ++l) {
            mail.body += line;
        }
        mail.date = 1700000000u + static_cast<uint32_t>(i) * 61u;
        desktop.Add(std::move(mail));
    }
}

void MemoryFirstSync(benchmark::State& state) {
    const int64_t count = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<MemoryScenario>();
        FillDesktop(s->desktop, count, state.range(1));
        (void)ResetPeakRss();
        const double before = Rss();
        state.ResumeTiming();
        const int32_t result = s->Sync();
        state.PauseTiming();
        SetPeakCounters(state, before, PeakRss());
        if (result != 0 || s->host.records.size() != static_cast<size_t>(count)) {
            state.SkipWithError("sync did not copy every message");
        }
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
}

void MemoryNoChangeResync(benchmark::State& state) {
    const int64_t count = state.range(0);
    MemoryScenario s;
    FillDesktop(s.desktop, count, state.range(1));
    (void)s.Sync();
    (void)ResetPeakRss();
    const double before = Rss();
    for (auto _ : state) {
        if (s.Sync() != 0 || s.host.m_log.size() != 2) {
            state.SkipWithError("re-sync changed something");
        }
    }
    state.counters["per_message"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    SetPeakCounters(state, before, PeakRss());
    state.counters["state_bytes"] =
        static_cast<double>(std::filesystem::file_size(s.dir + "/user/Mail/mail.dat"));
}

// Arguments: message count, extra body lines (50 lines: bodies of about 3 KB).
BENCHMARK(MemoryFirstSync)
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({50000, 0})
    ->Args({10000, 50})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(MemoryNoChangeResync)
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({50000, 0})
    ->Args({10000, 50})
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

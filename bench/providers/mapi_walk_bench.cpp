// Inbox walk of the Simple MAPI library over a 10,000-message Maildir (find-next, read
// with MAPI_PEEK, free, attachment files removed, as the conduit does), measured in the
// same run as mbsync copying the same Maildir to an empty one and re-running with no
// change. Prints the ratios at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "platform/library.h"
#include "providers/simplemapi/simple_mapi.h"

namespace fs = std::filesystem;

namespace {

constexpr int MESSAGE_COUNT = 10000;

struct Setup {
    std::string dir;
    std::string store;
    bool mbsync = false;
    void* lib = nullptr;
    LPMAPILOGON logon = nullptr;
    LPMAPILOGOFF logoff = nullptr;
    LPMAPIFINDNEXT findNext = nullptr;
    LPMAPIREADMAIL readMail = nullptr;
    LPMAPIFREEBUFFER freeBuffer = nullptr;
};

std::string Words(std::mt19937& rng, size_t bytes) {
    static const char* const kWords[] = {"meeting",  "report", "handheld", "the",    "and",
                                         "schedule", "Caf=E9", "tomorrow", "please", "notes"};
    std::string out;
    size_t line = 0;
    while (out.size() < bytes) {
        const char* w = kWords[rng() % 10];
        out += w;
        line += std::strlen(w) + 1;
        if (line > 66) {
            out += "\n";
            line = 0;
        } else {
            out += " ";
        }
    }
    return out + "\n";
}

void BuildMaildir(Setup* s) {
    std::mt19937 rng(42);
    for (const char* sub : {"/new", "/cur", "/tmp"}) {
        fs::create_directories(s->store + sub);
    }
    for (int i = 0; i < MESSAGE_COUNT; ++i) {
        std::string name = std::to_string(1700000000 + i) + ".M" + std::to_string(i) + "P1.bench";
        bool seen = i % 3 == 0;
        std::string path = s->store + (seen ? "/cur/" + name + ":2,S" : "/new/" + name);
        size_t bodyBytes = 200 + (rng() % 100 < 90 ? rng() % 4000 : rng() % 40000);
        std::string head = "From: Sender " + std::to_string(i % 97) + " <s" +
                           std::to_string(i % 97) + "@example.org>\nTo: me@example.org\n" +
                           "Subject: Message " + std::to_string(i) +
                           "\nDate: Tue, 14 Nov 2023 22:13:20 +0000\nMessage-ID: <" +
                           std::to_string(i) + "@bench>\nMIME-Version: 1.0\n";
        std::string text;
        if (i % 5 == 0) {
            std::string attachment;
            size_t attBytes = 2000 + rng() % 20000;
            for (size_t k = 0; k < attBytes; k += 76) {
                attachment +=
                    "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAx\n";
            }
            text = head + "Content-Type: multipart/mixed; boundary=BND\n\n--BND\n" +
                   "Content-Type: text/plain; charset=iso-8859-1\n" +
                   "Content-Transfer-Encoding: quoted-printable\n\n" + Words(rng, bodyBytes) +
                   "--BND\nContent-Type: application/octet-stream\n" +
                   "Content-Disposition: attachment; filename=data.bin\n" +
                   "Content-Transfer-Encoding: base64\n\n" + attachment + "--BND--\n";
        } else {
            text = head + "Content-Type: text/plain; charset=iso-8859-1\n" +
                   "Content-Transfer-Encoding: quoted-printable\n\n" + Words(rng, bodyBytes);
        }
        std::ofstream(path, std::ios::binary) << text;
    }
}

Setup& TheSetup() {
    static Setup* s = [] {
        auto* setup = new Setup();
        std::string tmpl = (fs::temp_directory_path() / "mapibenchXXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) {
            std::abort();
        }
        setup->dir = tmpl;
        setup->store = setup->dir + "/Maildir";
        BuildMaildir(setup);
        std::ofstream(setup->dir + "/profiles.ini")
            << "[Bench]\nStore=" << setup->store << "\nAddress=me@example.org\nDefault=1\n";
        setenv("TETHER_MAPI_PROFILES", (setup->dir + "/profiles.ini").c_str(), 1);
        std::string error;
        setup->lib = platform::LoadLibraryByName("Mapi32.dll", &error);
        if (setup->lib == nullptr) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        auto get = [&](const char* n) { return platform::GetProcAddress(setup->lib, n); };
        setup->logon = reinterpret_cast<LPMAPILOGON>(get("MAPILogon"));
        setup->logoff = reinterpret_cast<LPMAPILOGOFF>(get("MAPILogoff"));
        setup->findNext = reinterpret_cast<LPMAPIFINDNEXT>(get("MAPIFindNext"));
        setup->readMail = reinterpret_cast<LPMAPIREADMAIL>(get("MAPIReadMail"));
        setup->freeBuffer = reinterpret_cast<LPMAPIFREEBUFFER>(get("MAPIFreeBuffer"));
        setup->mbsync = std::system("command -v mbsync >/dev/null 2>&1") == 0;
        std::ofstream(setup->dir + "/mbsyncrc")
            << "MaildirStore far\nPath " << setup->dir << "/far/\nInbox " << setup->dir
            << "/far/\n\nMaildirStore near\nPath " << setup->dir << "/near/\nInbox " << setup->dir
            << "/near/\n\nChannel bench\nFar :far:\nNear :near:\n"
            << "Create Near\nSync Pull\nSyncState *\n";
        return setup;
    }();
    return *s;
}

int64_t Walk(Setup& s) {
    LHANDLE session = 0;
    if (s.logon(0, "Bench", nullptr, 0x1002, 0, &session) != 0) {
        std::abort();
    }
    char id[512] = "";
    int64_t count = 0;
    while (s.findNext(session, 0, nullptr, id, MAPI_LONG_MSGID, 0, id) == 0) {
        lpMapiMessage msg = nullptr;
        if (s.readMail(session, 0, id, MAPI_PEEK, 0, &msg) == 0) {
            for (ULONG f = 0; f < msg->nFileCount; ++f) {
                std::remove(msg->lpFiles[f].lpszPathName);
            }
            s.freeBuffer(msg);
            ++count;
        }
    }
    s.logoff(session, 0, 0, 0);
    return count;
}

// The walk keeps no state between runs, so every run is both a first and a no-change walk.
void BM_MapiWalkFirst(benchmark::State& state) {
    Setup& s = TheSetup();
    for (auto _ : state) {
        int64_t n = Walk(s);
        if (n != MESSAGE_COUNT) {
            state.SkipWithError("walk did not see every message");
        }
    }
    state.counters["messages"] = MESSAGE_COUNT;
}

void RunMbsync(Setup& s) {
    std::string cmd = "mbsync -q -c '" + s.dir + "/mbsyncrc' bench >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "mbsync failed\n");
    }
}

// mbsync renames the source files to record its UIDs, so it gets its own copy.
void FreshMbsyncCopy(Setup& s) {
    fs::remove_all(s.dir + "/far");
    fs::remove_all(s.dir + "/near");
    fs::copy(s.store, s.dir + "/far", fs::copy_options::recursive);
    for (const char* sub : {"/cur", "/new", "/tmp"}) {
        fs::create_directories(s.dir + "/near" + sub);  // the empty Maildir copied into
    }
}

void BM_MbsyncFirstCopy(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.mbsync) {
        state.SkipWithError("mbsync (package isync) is not installed");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        FreshMbsyncCopy(s);
        state.ResumeTiming();
        RunMbsync(s);
    }
}

void BM_MbsyncNoChange(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.mbsync) {
        state.SkipWithError("mbsync (package isync) is not installed");
        return;
    }
    FreshMbsyncCopy(s);
    RunMbsync(s);
    for (auto _ : state) {
        RunMbsync(s);
    }
}

BENCHMARK(BM_MapiWalkFirst)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MbsyncFirstCopy)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MbsyncNoChange)->Unit(benchmark::kMillisecond)->Iterations(3);

// Keeps each benchmark's time per iteration for the ratios.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (!r.error_occurred) {
                m_ms[r.benchmark_name()] = r.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Get(const std::string& prefix) const {
        for (const auto& [name, ms] : m_ms) {
            if (name.rfind(prefix, 0) == 0) {
                return ms;
            }
        }
        return 0;
    }

private:
    std::map<std::string, double> m_ms;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double walk = reporter.Get("BM_MapiWalkFirst");
    double first = reporter.Get("BM_MbsyncFirstCopy");
    double again = reporter.Get("BM_MbsyncNoChange");
    if (walk > 0 && first > 0 && again > 0) {
        std::printf("walk / mbsync first copy = %.2f\nwalk / mbsync no-change run = %.2f\n",
                    walk / first, walk / again);
    }
    fs::remove_all(TheSetup().dir);
    benchmark::Shutdown();
    return 0;
}

// Speed of the conduit core: packing and unpacking a typical record, loading and saving a
// large state, and the state lookups (with the plain linear scans they replace, measured in
// the same run as the reference).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "conduit/core/fake_host_test_util.h"
#include "conduit/core/filter.h"
#include "conduit/core/mail_settings.h"
#include "conduit/core/message_mgr.h"
#include "conduit/core/record_converter.h"
#include "platform/file_util.h"

namespace torrim {
namespace {

constexpr uint32_t STATE_SIZE = 10000;

std::unique_ptr<CMessage> SampleMessage(uint32_t i, size_t bodySize) {
    auto message = std::make_unique<CMessage>();
    message->SetRecordId(i + 1);
    message->SetSubject("Quarterly report number " + std::to_string(i));
    message->SetDesktopId("desktop-id-" + std::to_string(i));
    message->SetFromName("Ann Lee");
    message->SetFromAddress("ann.lee@example.org");
    message->m_date = 1000000000u + i * 37;
    message->m_category = 0;
    std::string body;
    while (body.size() < bodySize) {
        body += "The quick brown fox jumps over the lazy dog.\r\n";
    }
    body.resize(bodySize);
    message->SetBody(body);
    message->AddRecipient(RECIPIENT_TO, "Bob", "bob@example.org");
    message->AddRecipient(RECIPIENT_CC, "", "team@example.org");
    return message;
}

void FillState(CMessageMgr& state) {
    for (uint32_t i = 0; i < STATE_SIZE; ++i) {
        state.Append(SampleMessage(i, 400));
    }
}

void BM_PackUnpack4KRecord(benchmark::State& bench) {
    CFakeHost host;
    MailSettings settings;
    settings.SetUserAccount("bob@example.org");
    CMailRecordConverter converter(host, settings);
    CFilter prefs;
    prefs.m_maxSize = 8000;
    auto message = SampleMessage(1, 4000);
    std::vector<uint8_t> buffer(MAX_RECORD_SIZE);
    for (auto _ : bench) {
        RecordRequest request;
        std::memset(&request, 0, sizeof(request));
        request.buffer = buffer.data();
        request.bufferSize = MAX_RECORD_SIZE;
        benchmark::DoNotOptimize(converter.PackRecord(&prefs, *message, request));
        CMessage back;
        benchmark::DoNotOptimize(converter.UnpackRecord(&prefs, back, request));
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * 4000 * 2);
}
BENCHMARK(BM_PackUnpack4KRecord);

class TempState {
public:
    TempState() {
        char pattern[] = "/tmp/conduit_bench_XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            m_dir = pattern;
        }
        m_path = m_dir + "/mail.dat";
    }
    ~TempState() {
        (void)platform::RemoveFile(m_path);
        rmdir(m_dir.c_str());
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_dir;
    std::string m_path;
};

void BM_SaveState10000(benchmark::State& bench) {
    TempState file;
    CMessageMgr state;
    FillState(state);
    for (auto _ : bench) {
        if (state.Save(file.Path()) != 0) {
            bench.SkipWithError("save failed");
        }
    }
}
BENCHMARK(BM_SaveState10000)->Unit(benchmark::kMillisecond);

void BM_LoadState10000(benchmark::State& bench) {
    TempState file;
    {
        CMessageMgr state;
        FillState(state);
        if (state.Save(file.Path()) != 0) {
            bench.SkipWithError("save failed");
            return;
        }
    }
    CMessageMgr state;
    for (auto _ : bench) {
        if (state.Load(file.Path()) != 0) {
            bench.SkipWithError("load failed");
        }
    }
}
BENCHMARK(BM_LoadState10000)->Unit(benchmark::kMillisecond);

// The worst case for both: the entry sought is the last one.
void BM_FindByRecordId10000(benchmark::State& bench) {
    CMessageMgr state;
    FillState(state);
    for (auto _ : bench) {
        benchmark::DoNotOptimize(state.FindByRecordId(STATE_SIZE));
    }
}
BENCHMARK(BM_FindByRecordId10000);

void BM_FindByRecordId10000LinearScan(benchmark::State& bench) {
    CMessageMgr state;
    FillState(state);
    for (auto _ : bench) {
        int64_t found = -1;
        for (uint32_t key = 0; key < state.Count(); ++key) {
            if (state.Lookup(key)->RecordId() == STATE_SIZE) {
                found = key;
                break;
            }
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_FindByRecordId10000LinearScan);

void BM_FindMatching10000(benchmark::State& bench) {
    CMessageMgr state;
    FillState(state);
    auto probe = SampleMessage(STATE_SIZE - 1, 400);
    for (auto _ : bench) {
        benchmark::DoNotOptimize(state.FindMatching(*probe));
    }
}
BENCHMARK(BM_FindMatching10000);

void BM_FindMatching10000LinearScan(benchmark::State& bench) {
    CMessageMgr state;
    FillState(state);
    auto probe = SampleMessage(STATE_SIZE - 1, 400);
    for (auto _ : bench) {
        const CMessage* found = nullptr;
        for (uint32_t key = 0; key < state.Count() && found == nullptr; ++key) {
            const CMessage* c = state.Lookup(key);
            if (c->m_onHandheld == 0 &&
                static_cast<int64_t>(c->m_date) - static_cast<int64_t>(probe->m_date) < 60 &&
                c->Subject() == probe->Subject() && c->FromAddress() == probe->FromAddress() &&
                c->m_category == probe->m_category && c->Body() == probe->Body()) {
                found = c;
            }
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_FindMatching10000LinearScan);

}  // namespace
}  // namespace torrim

BENCHMARK_MAIN();

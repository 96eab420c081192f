// The journal of sent outbox mail.
#include "conduit/core/sent_journal.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>

#include "platform/file_util.h"

namespace torrim {
namespace {

// A journal holds the records of one interrupted outbox at most; anything larger is not ours.
constexpr size_t JOURNAL_MAX_BYTES = 16u << 20;

}  // namespace

int32_t CSentJournal::Load() {
    m_entries.clear();
    std::string text;
    const int32_t e = platform::ReadWholeFile(m_path, &text, JOURNAL_MAX_BYTES);
    if (e == ENOENT)
        return 0;
    if (e != 0)
        return e;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break;  // an append cut short: that record's delete never happened either
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        unsigned long id = 0;
        uint64_t checksum = 0;
        char tail = 0;
        if (std::sscanf(line.c_str(), "sent %lu %16" SCNx64 "%c", &id, &checksum, &tail) == 2 &&
            id <= UINT32_MAX)
            m_entries.emplace_back(static_cast<uint32_t>(id), checksum);
    }
    return 0;
}

bool CSentJournal::Contains(uint32_t recordId, uint64_t checksum) const {
    for (const auto& [id, sum] : m_entries)
        if (id == recordId && sum == checksum)
            return true;
    return false;
}

int32_t CSentJournal::Add(uint32_t recordId, uint64_t checksum) {
    char line[64];
    std::snprintf(line, sizeof(line), "sent %" PRIu32 " %016" PRIx64 "\n", recordId, checksum);
    platform::CAppendFile file;
    int32_t e = file.Open(m_path, 0600);
    if (e == 0)
        e = file.Append(line, true);
    if (e == 0)
        m_entries.emplace_back(recordId, checksum);
    return e;
}

int32_t CSentJournal::Clear() {
    m_entries.clear();
    const int32_t e = platform::RemoveFile(m_path);
    return e == ENOENT ? 0 : e;
}

uint64_t CSentJournal::Checksum(const void* data, size_t size) {
    platform::CDigestBuilder digest;
    digest.Add(data, size);
    const platform::FileDigest d = digest.Finish();
    return d.hash ^ (d.size * 0x9E3779B97F4A7C15ull);
}

}  // namespace torrim

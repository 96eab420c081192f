// The journal of sent outbox mail: which handheld outbox records were sent but perhaps not
// yet deleted, so that a record whose delete was lost is never sent a second time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace torrim {

// The file beside the state file: the state file's name with this added ("mail.dat.sent").
inline constexpr const char* SENT_JOURNAL_SUFFIX = ".sent";

// One line per sent record, "sent <record id> <checksum, 16 hex digits>\n", appended and
// flushed to disk after the send and before the record is deleted. The state file is not
// touched by it.
class CSentJournal {
public:
    explicit CSentJournal(std::string path) : m_path(std::move(path)) {}

    // Reads the entries; a missing file is an empty journal. Lines that do not parse (the
    // tail of an append cut by a crash) are ignored. 0 or a positive errno value.
    [[nodiscard]] int32_t Load();
    // Whether the record with this id and these bytes was sent.
    bool Contains(uint32_t recordId, uint64_t checksum) const;
    // Appends an entry and flushes it to disk; 0 or a positive errno value.
    [[nodiscard]] int32_t Add(uint32_t recordId, uint64_t checksum);
    // Drops every entry (removes the file); 0 or a positive errno value.
    [[nodiscard]] int32_t Clear();
    bool Empty() const { return m_entries.empty(); }

    // The checksum of a record's packed bytes.
    static uint64_t Checksum(const void* data, size_t size);

private:
    std::string m_path;
    std::vector<std::pair<uint32_t, uint64_t>> m_entries;
};

}  // namespace torrim

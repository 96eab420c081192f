// The message state: every message the conduit remembers between sync operations, under
// keys 0, 1, 2, ..., and its state file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "conduit/core/message.h"
#include "platform/archive.h"
#include "platform/file_util.h"

namespace torrim {

class CHostServices;

// A sorted set of 64-bit entries kept in blocks of a few hundred, each a sorted array, in
// ascending order across blocks: about 10 bytes an entry instead of a tree node's 48, and
// an insertion or removal costs a binary search plus moving at most one block's entries.
class CSortedEntries {
public:
    void Insert(uint64_t entry);
    // Replaces the entries with these (in any order, duplicates dropped), in full blocks.
    void Assign(std::vector<uint64_t> entries);
    void Erase(uint64_t entry);  // nothing when it is not there
    void Clear() {
        m_blocks.clear();
        m_lasts.clear();
    }
    size_t Size() const;
    // Calls visit(entry) for the entries from `low` to `high` (both included) in ascending
    // order until it returns true; true when it did.
    template <typename Visit>
    bool Scan(uint64_t low, uint64_t high, Visit visit) const {
        for (size_t b = FirstBlockReaching(low); b < m_blocks.size(); ++b) {
            const std::vector<uint64_t>& block = m_blocks[b];
            // Only the first block visited may hold entries below `low`.
            for (auto it = block.front() < low ? std::lower_bound(block.begin(), block.end(), low)
                                               : block.begin();
                 it != block.end(); ++it) {
                if (*it > high) {
                    return false;
                }
                if (visit(*it)) {
                    return true;
                }
            }
        }
        return false;
    }

private:
    static constexpr size_t BLOCK_ENTRIES = 512;  // a full block is split in two halves
    // The first block whose last entry is at least `entry` (the count when there is none).
    size_t FirstBlockReaching(uint64_t entry) const;
    std::vector<std::vector<uint64_t>> m_blocks;
    // The last entry of each block, side by side, so that finding a block reads one array.
    std::vector<uint64_t> m_lasts;
};

// State file format: message count (int32), then each message's saved fields and its
// recipients (see CMessage::Serialize), little-endian, no header.
class CMessageMgr : public platform::CObject {
public:
    // host (may be null) receives a yield before each message while the state is loaded or
    // saved, and cuts bodies at character boundaries for FindMatching.
    explicit CMessageMgr(CHostServices* host = nullptr);
    ~CMessageMgr() override;
    CMessageMgr(const CMessageMgr&) = delete;
    CMessageMgr& operator=(const CMessageMgr&) = delete;

    uint32_t Count() const { return m_count; }
    // Stores the message under key = count (replacing one already there).
    void Append(std::unique_ptr<CMessage> message);
    // Replaces the message at key, deleting the old one; false (and message deleted) when
    // the key does not exist.
    bool ReplaceAt(uint32_t key, std::unique_ptr<CMessage> message);
    // The message at key, or nullptr.
    CMessage* Lookup(uint32_t key) const;
    // Takes the message at key out of the state (nullptr when missing).
    std::unique_ptr<CMessage> Remove(uint32_t key);
    void RemoveAll();

    // Lookups. "First" is the lowest key, which is also the map's iteration order.
    // The key of the first message with that record id, or -1.
    int64_t FindByRecordId(uint32_t recordId) const;
    // The first message whose desktop id equals the text byte for byte.
    CMessage* FindByDesktopId(std::string_view desktopId) const;
    // The first desktop copy (category 0 or 2) with an empty desktop id and both desktop
    // keys 0 whose date, subject, sender (name and address) and body are those of the given
    // message.
    CMessage* FindByDateAndSubject(const CMessage& message) const;
    // The first message not on the handheld, dated at the same time as the given one or
    // less than 60 seconds after it, with the same subject, sender address and category, and the
    // same body, or, when it was stored cut, a body equal to the start of the given one.
    CMessage* FindMatching(const CMessage& message) const;

    // Empties the state, then reads the file. 0; 4354 when the file does not exist; else a
    // file error cause (1 generic, 5 access denied, ...) or an archive error cause (3 end
    // of file, 1 invalid data). After an error the state holds the messages read in full
    // before it.
    [[nodiscard]] int32_t Load(const std::string& path);
    // Drops every message gone from the desktop, then replaces the file atomically; on any
    // failure the previous file stays as it was. When the bytes are exactly those of the
    // file as this state last read or wrote it, and the file has not changed since, the
    // file is left untouched instead. 0 or a file error cause.
    [[nodiscard]] int32_t Save(const std::string& path);

    const char* ClassName() const override { return "CMessageMgr"; }
    // Storing writes the count and every message in key order (the caller drops gone
    // messages first); loading appends the messages read.
    void Serialize(platform::CArchive& archive) override;

    // Called by CMessage when an indexed field of a message held here changes.
    void OnRecordIdChange(uint32_t key, uint32_t oldId, uint32_t newId);
    void OnDesktopIdChange(uint32_t key, std::string_view oldId, std::string_view newId);
    void OnSubjectChange(uint32_t key, std::string_view oldSubject, std::string_view newSubject);

private:
    // An index entry: the indexed value (a record id, or the low 32 bits of a text's hash)
    // in the high half and the key in the low half, so that the entries of one value sit
    // together in ascending key order and every insertion or removal costs O(log n), also
    // for values most messages share (an empty desktop id, record id 0).
    using Index = CSortedEntries;

    void Store(uint32_t key, std::unique_ptr<CMessage> message);
    // Makes the three indexes anew from the messages held.
    void RebuildIndexes();
    void AddToIndexes(uint32_t key, const CMessage& message);
    void RemoveFromIndexes(uint32_t key, const CMessage& message);
    void Yield() const;
    static uint64_t Entry(uint32_t value, uint32_t key) {
        return (static_cast<uint64_t>(value) << 32) | key;
    }
    static uint32_t TextValue(std::string_view text);
    static void Move(Index& index, uint32_t oldValue, uint32_t newValue, uint32_t key);
    // The first key holding value for which accept(message) is true, in key order.
    template <typename Accept>
    CMessage* FirstOf(const Index& index, uint32_t value, Accept accept) const;

    CHostServices* m_host;
    // The message of each key, null where a key is missing; m_count of them are present.
    std::vector<std::unique_ptr<CMessage>> m_messages;
    uint32_t m_count = 0;
    // Lookups walk the candidates of one value instead of scanning the whole state; texts
    // are indexed by hash, so candidates are compared in full before they are returned.
    Index m_byRecordId;
    Index m_byDesktopId;
    Index m_bySubject;
    // While a load appends messages, the indexes wait for RebuildIndexes.
    bool m_indexesDeferred = false;
    // The state file as last read in full or written here: where, which bytes (digest) and
    // which file (stamp), so that saving the same bytes again can leave it alone.
    bool m_fileKnown = false;
    std::string m_filePath;
    platform::FileDigest m_fileDigest;
    platform::FileStamp m_fileStamp;
};

// Maps a positive errno value to the file error cause the conduit reports.
int32_t FileErrorCause(int32_t errnoValue);

}  // namespace torrim

// The message state, its lookups and its state file.
#include "conduit/core/message_mgr.h"

#include <algorithm>
#include <cerrno>
#include <functional>

#include "conduit/core/codes.h"
#include "conduit/core/host_services.h"
#include "platform/code_page.h"
#include "platform/file_util.h"

namespace torrim {
namespace {

// Smallest archive form of a message: 17 numbers (the recipient count among them) and 6
// empty texts.
constexpr size_t MIN_MESSAGE_BYTES = 17 * 4 + 6 * 1;
// The state file holds mail: only its owner may read it.
constexpr uint32_t STATE_FILE_MODE = 0600;

size_t HashText(std::string_view text) {
    return std::hash<std::string_view>{}(text);
}

// The state file as the archive reads it, through the reader's bounded pieces.
class CReaderSource : public platform::CArchiveSource {
public:
    explicit CReaderSource(platform::CFileReader& reader) : m_reader(reader) {}
    uint64_t Size() const override { return m_reader.Size(); }
    size_t Read(void* dst, size_t size) override { return m_reader.Read(dst, size); }

private:
    platform::CFileReader& m_reader;
};

// The archive's bytes straight into the temporary file of an atomic replacement.
class CWriterSink : public platform::CArchiveSink {
public:
    explicit CWriterSink(platform::CAtomicFileWriter& writer) : m_writer(writer) {}
    bool Write(const void* data, size_t size) override { return m_writer.Write(data, size) == 0; }

private:
    platform::CAtomicFileWriter& m_writer;
};

[[maybe_unused]] const bool g_registered = platform::RegisterClass(
    "CMessageMgr", 1, [] { return std::unique_ptr<platform::CObject>(new CMessageMgr()); });

}  // namespace

int32_t FileErrorCause(int32_t errnoValue) {
    switch (errnoValue) {
        case 0:
            return 0;
        case ENOENT:
            return 2;  // file not found
        case ENOTDIR:
        case ENAMETOOLONG:
            return 3;  // bad path
        case EMFILE:
        case ENFILE:
            return 4;  // too many open files
        case EACCES:
        case EPERM:
        case EROFS:
            return 5;  // access denied
        case EISDIR:
            return 6;  // invalid file
        case EIO:
            return 10;  // hard I/O error
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return 13;  // disk full
        default:
            return 1;  // generic
    }
}

size_t CSortedEntries::FirstBlockReaching(uint64_t entry) const {
    return static_cast<size_t>(std::lower_bound(m_lasts.begin(), m_lasts.end(), entry) -
                               m_lasts.begin());
}

void CSortedEntries::Insert(uint64_t entry) {
    size_t b = FirstBlockReaching(entry);
    if (b == m_blocks.size()) {
        // Past every entry: where the ascending keys of appended messages go. A full last
        // block is left full and the entry starts the next one, so that entries added in
        // ascending order fill their blocks.
        if (m_blocks.empty() || m_blocks.back().size() >= BLOCK_ENTRIES) {
            m_blocks.emplace_back().reserve(BLOCK_ENTRIES);
            m_blocks.back().push_back(entry);
            m_lasts.push_back(entry);
            return;
        }
        --b;
    }
    auto it = std::lower_bound(m_blocks[b].begin(), m_blocks[b].end(), entry);
    if (it != m_blocks[b].end() && *it == entry) {
        return;
    }
    if (m_blocks[b].size() >= BLOCK_ENTRIES) {
        // A full block is split in two halves of their own, each with room to grow.
        std::vector<uint64_t>& full = m_blocks[b];
        const auto middle = full.begin() + static_cast<std::ptrdiff_t>(full.size() / 2);
        std::vector<uint64_t> lower;
        lower.reserve(BLOCK_ENTRIES);
        lower.assign(full.begin(), middle);
        std::vector<uint64_t> upper;
        upper.reserve(BLOCK_ENTRIES);
        upper.assign(middle, full.end());
        full = std::move(lower);
        const auto at = static_cast<std::ptrdiff_t>(b) + 1;
        m_lasts[b] = full.back();
        m_lasts.insert(m_lasts.begin() + at, upper.back());
        m_blocks.insert(m_blocks.begin() + at, std::move(upper));
        if (entry > m_lasts[b]) {
            ++b;
        }
        it = std::lower_bound(m_blocks[b].begin(), m_blocks[b].end(), entry);
    }
    m_blocks[b].insert(it, entry);
    m_lasts[b] = m_blocks[b].back();
}

void CSortedEntries::Assign(std::vector<uint64_t> entries) {
    Clear();
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    for (size_t at = 0; at < entries.size(); at += BLOCK_ENTRIES) {
        const size_t end = std::min(entries.size(), at + BLOCK_ENTRIES);
        m_blocks.emplace_back(entries.begin() + static_cast<std::ptrdiff_t>(at),
                              entries.begin() + static_cast<std::ptrdiff_t>(end));
        m_lasts.push_back(entries[end - 1]);
    }
}

void CSortedEntries::Erase(uint64_t entry) {
    const size_t b = FirstBlockReaching(entry);
    if (b == m_blocks.size()) {
        return;
    }
    std::vector<uint64_t>& block = m_blocks[b];
    const auto it = std::lower_bound(block.begin(), block.end(), entry);
    if (it == block.end() || *it != entry) {
        return;
    }
    block.erase(it);
    if (block.empty()) {
        m_blocks.erase(m_blocks.begin() + static_cast<std::ptrdiff_t>(b));
        m_lasts.erase(m_lasts.begin() + static_cast<std::ptrdiff_t>(b));
    } else {
        m_lasts[b] = block.back();
    }
}

size_t CSortedEntries::Size() const {
    size_t size = 0;
    for (const auto& block : m_blocks) {
        size += block.size();
    }
    return size;
}

CMessageMgr::CMessageMgr(CHostServices* host) : m_host(host) {}

CMessageMgr::~CMessageMgr() {
    RemoveAll();
}

void CMessageMgr::Yield() const {
    if (m_host != nullptr) {
        m_host->YieldCycles(YIELD_CYCLES);
    }
}

uint32_t CMessageMgr::TextValue(std::string_view text) {
    return static_cast<uint32_t>(HashText(text));
}

void CMessageMgr::Move(Index& index, uint32_t oldValue, uint32_t newValue, uint32_t key) {
    index.Erase(Entry(oldValue, key));
    index.Insert(Entry(newValue, key));
}

void CMessageMgr::AddToIndexes(uint32_t key, const CMessage& message) {
    m_byRecordId.Insert(Entry(message.m_recordId, key));
    m_byDesktopId.Insert(Entry(TextValue(message.DesktopId()), key));
    m_bySubject.Insert(Entry(TextValue(message.Subject()), key));
}

void CMessageMgr::RemoveFromIndexes(uint32_t key, const CMessage& message) {
    m_byRecordId.Erase(Entry(message.m_recordId, key));
    m_byDesktopId.Erase(Entry(TextValue(message.DesktopId()), key));
    m_bySubject.Erase(Entry(TextValue(message.Subject()), key));
}

void CMessageMgr::OnRecordIdChange(uint32_t key, uint32_t oldId, uint32_t newId) {
    Move(m_byRecordId, oldId, newId, key);
}

void CMessageMgr::OnDesktopIdChange(uint32_t key, std::string_view oldId, std::string_view newId) {
    Move(m_byDesktopId, TextValue(oldId), TextValue(newId), key);
}

void CMessageMgr::OnSubjectChange(uint32_t key, std::string_view oldSubject,
                                  std::string_view newSubject) {
    Move(m_bySubject, TextValue(oldSubject), TextValue(newSubject), key);
}

template <typename Accept>
CMessage* CMessageMgr::FirstOf(const Index& index, uint32_t value, Accept accept) const {
    CMessage* found = nullptr;
    index.Scan(Entry(value, 0), Entry(value, UINT32_MAX), [&](uint64_t entry) {
        CMessage* candidate = m_messages[static_cast<uint32_t>(entry)].get();
        if (accept(*candidate)) {
            found = candidate;
            return true;
        }
        return false;
    });
    return found;
}

void CMessageMgr::Store(uint32_t key, std::unique_ptr<CMessage> message) {
    if (key >= m_messages.size()) {
        m_messages.resize(static_cast<size_t>(key) + 1);
    }
    std::unique_ptr<CMessage>& slot = m_messages[key];
    if (slot != nullptr) {
        RemoveFromIndexes(key, *slot);
        slot->m_pOwner = nullptr;
    } else {
        ++m_count;
    }
    message->m_pOwner = this;
    message->m_ownerKey = key;
    if (!m_indexesDeferred) {
        AddToIndexes(key, *message);
    }
    slot = std::move(message);
}

void CMessageMgr::Append(std::unique_ptr<CMessage> message) {
    // Keys are handed out by count: after removals the key may still be taken by a later
    // message, which is then replaced.
    Store(Count(), std::move(message));
}

bool CMessageMgr::ReplaceAt(uint32_t key, std::unique_ptr<CMessage> message) {
    if (Lookup(key) == nullptr) {
        return false;
    }
    Store(key, std::move(message));
    return true;
}

CMessage* CMessageMgr::Lookup(uint32_t key) const {
    return key < m_messages.size() ? m_messages[key].get() : nullptr;
}

std::unique_ptr<CMessage> CMessageMgr::Remove(uint32_t key) {
    if (Lookup(key) == nullptr) {
        return nullptr;
    }
    std::unique_ptr<CMessage> message = std::move(m_messages[key]);
    --m_count;
    while (!m_messages.empty() && m_messages.back() == nullptr) {
        m_messages.pop_back();
    }
    RemoveFromIndexes(key, *message);
    message->m_pOwner = nullptr;
    return message;
}

void CMessageMgr::RemoveAll() {
    for (auto& message : m_messages) {
        if (message != nullptr) {
            message->m_pOwner = nullptr;
        }
    }
    m_messages.clear();
    m_count = 0;
    m_byRecordId.Clear();
    m_byDesktopId.Clear();
    m_bySubject.Clear();
}

int64_t CMessageMgr::FindByRecordId(uint32_t recordId) const {
    int64_t key = -1;
    m_byRecordId.Scan(Entry(recordId, 0), Entry(recordId, UINT32_MAX), [&key](uint64_t entry) {
        key = static_cast<uint32_t>(entry);
        return true;
    });
    return key;
}

CMessage* CMessageMgr::FindByDesktopId(std::string_view desktopId) const {
    return FirstOf(m_byDesktopId, TextValue(desktopId), [desktopId](const CMessage& candidate) {
        return candidate.DesktopId() == desktopId;
    });
}

CMessage* CMessageMgr::FindByDateAndSubject(const CMessage& message) const {
    // Date and subject alone do not tell two messages apart (dates often come to the minute
    // only): a message bound to another's entry would take over that message's handheld
    // record, and a deletion of that record would delete the wrong desktop message.
    return FirstOf(m_bySubject, TextValue(message.Subject()), [&message](const CMessage& c) {
        return c.m_date == message.m_date && c.Subject() == message.Subject() &&
               c.DesktopId().empty() && c.m_desktopKey1 == 0 && c.m_desktopKey2 == 0 &&
               (c.m_category == CATEGORY_INBOX || c.m_category == CATEGORY_DELETED) &&
               c.FromAddress() == message.FromAddress() && c.FromName() == message.FromName() &&
               c.Body() == message.Body();
    });
}

CMessage* CMessageMgr::FindMatching(const CMessage& message) const {
    return FirstOf(m_bySubject, TextValue(message.Subject()), [this, &message](const CMessage& c) {
        if (c.m_onHandheld != 0) {
            return false;
        }
        // The stored copy may be dated the same second as the given one or up to a minute
        // later, never earlier; the difference is taken in 64 bits so that it never wraps.
        const int64_t difference =
            static_cast<int64_t>(c.m_date) - static_cast<int64_t>(message.m_date);
        if (difference < 0 || difference >= 60) {
            return false;
        }
        if (c.Subject() != message.Subject() || c.FromAddress() != message.FromAddress() ||
            c.m_category != message.m_category) {
            return false;
        }
        if (c.Body() == message.Body()) {
            return true;
        }
        if (c.m_truncated != 0 && message.Body().size() > c.Body().size()) {
            const size_t limit = c.Body().size();
            const size_t cut = m_host != nullptr ? m_host->ValidateNumberDec(message.Body(), limit)
                                                 : platform::ValidCutLength(message.Body(), limit);
            return message.Body().substr(0, cut) == c.Body();
        }
        return false;
    });
}

void CMessageMgr::Serialize(platform::CArchive& archive) {
    if (archive.IsStoring()) {
        int32_t count = static_cast<int32_t>(Count());
        archive.I32(count);
        for (auto& message : m_messages) {
            if (message != nullptr) {
                Yield();
                message->Serialize(archive);
            }
        }
        return;
    }
    int32_t count = 0;
    if (!archive.LoadCount(count, MIN_MESSAGE_BYTES)) {
        return;
    }
    // The indexes are built once at the end, in full blocks, instead of one entry at a
    // time.
    m_indexesDeferred = true;
    for (int32_t i = 0; i < count; ++i) {
        Yield();
        auto message = std::make_unique<CMessage>();
        message->Serialize(archive);
        if (!archive.Ok()) {
            // A message cut short is dropped whole: the state keeps only complete ones.
            break;
        }
        Append(std::move(message));
    }
    m_indexesDeferred = false;
    RebuildIndexes();
}

void CMessageMgr::RebuildIndexes() {
    auto build = [this](Index& index, auto valueOf) {
        std::vector<uint64_t> entries;
        entries.reserve(m_count);
        for (uint32_t key = 0; key < m_messages.size(); ++key) {
            if (m_messages[key] != nullptr) {
                entries.push_back(Entry(valueOf(*m_messages[key]), key));
            }
        }
        index.Assign(std::move(entries));
    };
    build(m_byRecordId, [](const CMessage& m) { return m.m_recordId; });
    build(m_byDesktopId, [](const CMessage& m) { return TextValue(m.DesktopId()); });
    build(m_bySubject, [](const CMessage& m) { return TextValue(m.Subject()); });
}

int32_t CMessageMgr::Load(const std::string& path) {
    RemoveAll();
    m_fileKnown = false;
    platform::CFileReader reader;
    const int32_t openError = reader.Open(path);
    if (openError == ENOENT) {
        return ERR_STATE_FILE_MISSING;
    }
    if (openError != 0) {
        return FileErrorCause(openError);
    }
    CReaderSource source(reader);
    platform::CArchive archive = platform::CArchive::ForLoading(source);
    Serialize(archive);
    if (reader.Error() != 0) {
        return FileErrorCause(reader.Error());
    }
    if (archive.Ok() && archive.Remaining() == 0) {
        // Every byte of the file was read: its digest tells a later save whether the bytes
        // it would write are the ones already there.
        m_fileKnown = true;
        m_filePath = path;
        m_fileDigest = reader.Digest();
        m_fileStamp = reader.Stamp();
    }
    return archive.Error();
}

int32_t CMessageMgr::Save(const std::string& path) {
    for (uint32_t key = static_cast<uint32_t>(m_messages.size()); key-- > 0;) {
        const CMessage* message = m_messages[key].get();
        if (message != nullptr && message->m_goneFromDesktop != 0) {
            (void)Remove(key);  // deleted here: it is gone from the desktop
        }
    }
    // The new state streams into a temporary file that replaces the old one only once it
    // is complete on disk, so a failure part-way leaves the previous state file intact.
    platform::CAtomicFileWriter writer;
    const int32_t openError = writer.Open(path, STATE_FILE_MODE);
    if (openError != 0) {
        return FileErrorCause(openError);
    }
    CWriterSink sink(writer);
    platform::CArchive archive = platform::CArchive::ForStoring(sink);
    Serialize(archive);
    if (!archive.Flush()) {
        return FileErrorCause(writer.Error() != 0 ? writer.Error() : EIO);
    }
    const platform::FileDigest digest = writer.Digest();
    platform::FileStamp stamp;
    uint32_t mode = 0;
    if (m_fileKnown && path == m_filePath && digest == m_fileDigest &&
        platform::GetFileStamp(path, &stamp) && stamp == m_fileStamp &&
        platform::FileMode(path, &mode) == 0 && mode == STATE_FILE_MODE) {
        // The file on disk, untouched since it was read or written here and readable by its
        // owner alone, already holds exactly these bytes: replacing it would only cost a
        // flush to disk.
        writer.Discard();
        return 0;
    }
    m_fileKnown = false;
    const int32_t commitError = writer.Commit();
    if (commitError != 0) {
        return FileErrorCause(commitError);
    }
    m_fileKnown = platform::GetFileStamp(path, &m_fileStamp);
    m_filePath = path;
    m_fileDigest = digest;
    return 0;
}

}  // namespace torrim

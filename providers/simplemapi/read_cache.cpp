// Cache of converted messages: one checked file per message in a per-store folder.
#include "providers/simplemapi/read_cache.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/file_safety.h"
#include "platform/file_util.h"
#include "providers/simplemapi/problem_report.h"

namespace mapi {

namespace {

// "TMRC" and the format version; a different version is a miss, never an error.
// Version 2 holds the attachments' contents and a 64-bit XXH3 checksum. Version 3 has the
// same layout; its texts come from the reader that keeps the text of messages with a
// broken boundary, header block or Content-Type, so entries of version 2 are read again.
constexpr char MAGIC[] = {'T', 'M', 'R', 'C', 3};
constexpr size_t MAGIC_SIZE = sizeof(MAGIC);
constexpr size_t CHECKSUM_SIZE = 8;
// Entries larger than this are not read (a note text is cut far below it by any handheld).
constexpr size_t MAX_ENTRY_BYTES = size_t{64} << 20;

// Damage check of an entry: fast over large attachment contents.
uint64_t Checksum(std::string_view data) {
    return XXH3_64bits(data.data(), data.size());
}

// Names the per-store folder and the entry files: short texts, stable across versions.
uint64_t Fnv1a(std::string_view data) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : data) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string Hex(uint64_t v) {
    static const char DIGITS[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4) {
        out[static_cast<size_t>(i)] = DIGITS[v & 15];
    }
    return out;
}

void PutU64(std::string* out, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}
void PutU32(std::string* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}
void PutText(std::string* out, const std::string& text) {
    PutU32(out, static_cast<uint32_t>(text.size()));
    out->append(text);
}

// Reads little-endian fields from an entry; every read checks the remaining length.
class CReader {
public:
    explicit CReader(std::string_view data) : m_data(data) {}
    bool U64(uint64_t* v) {
        if (m_data.size() < 8) {
            return false;
        }
        *v = 0;
        for (int i = 7; i >= 0; --i) {
            *v = (*v << 8) | static_cast<unsigned char>(m_data[static_cast<size_t>(i)]);
        }
        m_data.remove_prefix(8);
        return true;
    }
    bool U32(uint32_t* v) {
        uint64_t wide = 0;
        if (m_data.size() < 4) {
            return false;
        }
        for (int i = 3; i >= 0; --i) {
            wide = (wide << 8) | static_cast<unsigned char>(m_data[static_cast<size_t>(i)]);
        }
        m_data.remove_prefix(4);
        *v = static_cast<uint32_t>(wide);
        return true;
    }
    bool Text(std::string* out) {
        uint32_t n = 0;
        if (!U32(&n) || n > m_data.size()) {
            return false;
        }
        out->assign(m_data.substr(0, n));
        m_data.remove_prefix(n);
        return true;
    }
    bool AtEnd() const { return m_data.empty(); }

private:
    std::string_view m_data;
};

void PutRecipient(std::string* out, const RecipientText& r) {
    PutU32(out, r.recipClass);
    PutText(out, r.name);
    PutText(out, r.address);
}

bool GetRecipient(CReader* in, RecipientText* r) {
    return in->U32(&r->recipClass) && in->Text(&r->name) && in->Text(&r->address);
}

// The key fields in their stored order.
std::string EncodeKey(const ReadCacheKey& key) {
    std::string out;
    PutText(&out, key.id);
    PutU64(&out, static_cast<uint64_t>(key.size));
    PutU64(&out, static_cast<uint64_t>(key.mtimeNs));
    PutU64(&out, static_cast<uint64_t>(key.inode));
    PutU32(&out, key.codePage);
    PutU32(&out, key.nativeText ? 1 : 0);
    PutU64(&out, static_cast<uint64_t>(key.fallbackTime));
    return out;
}

}  // namespace

std::string SealCacheEntry(const ReadCacheKey& key, std::string_view fields) {
    std::string out(MAGIC, MAGIC_SIZE);
    out += EncodeKey(key);
    out.append(fields);
    PutU64(&out, Checksum(out));
    return out;
}

std::string EncodeCacheEntry(const ReadCacheKey& key, const IncomingMessage& m) {
    std::string out;
    PutText(&out, m.subject);
    PutText(&out, m.noteText);
    PutU32(&out,
           (m.hasDate ? 1u : 0u) | (m.receiptRequested ? 2u : 0u) | (m.hasOriginator ? 4u : 0u));
    PutU64(&out, static_cast<uint64_t>(m.date));
    PutText(&out, m.conversationId);
    PutRecipient(&out, m.originator);
    PutU32(&out, static_cast<uint32_t>(m.recips.size()));
    for (const RecipientText& r : m.recips) {
        PutRecipient(&out, r);
    }
    PutU32(&out, static_cast<uint32_t>(m.attachments.size()));
    for (const AttachmentData& a : m.attachments) {
        PutText(&out, a.fileName);
        PutText(&out, a.diskName);
        PutText(&out, a.data);
    }
    return SealCacheEntry(key, out);
}

bool DecodeCacheEntry(const std::string& bytes, const ReadCacheKey& key, CachedMessage* out) {
    if (bytes.size() < MAGIC_SIZE + CHECKSUM_SIZE ||
        bytes.compare(0, MAGIC_SIZE, std::string_view(MAGIC, MAGIC_SIZE)) != 0) {
        return false;
    }
    std::string_view body(bytes.data(), bytes.size() - CHECKSUM_SIZE);
    uint64_t sum = 0;
    CReader tail(std::string_view(bytes).substr(bytes.size() - CHECKSUM_SIZE));
    if (!tail.U64(&sum) || sum != Checksum(body)) {
        return false;
    }
    body.remove_prefix(MAGIC_SIZE);
    const std::string expectedKey = EncodeKey(key);
    if (body.substr(0, expectedKey.size()) != expectedKey) {
        return false;  // another message, or the file or the options changed
    }
    body.remove_prefix(expectedKey.size());
    CReader in(body);
    CachedMessage result;
    IncomingMessage& m = result.message;
    uint32_t bits = 0;
    uint32_t count = 0;
    uint64_t date = 0;
    if (!in.Text(&m.subject) || !in.Text(&m.noteText) || !in.U32(&bits) || !in.U64(&date) ||
        !in.Text(&m.conversationId) || !GetRecipient(&in, &m.originator) || !in.U32(&count)) {
        return false;
    }
    // The date text is local time: it is formatted again, so that a change of time zone
    // since the entry was written shows.
    m.date = static_cast<int64_t>(date);
    if ((bits & 1) != 0 && m.date != 0) {
        m.dateText = FormatMapiDate(m.date);
        m.hasDate = !m.dateText.empty();
    }
    m.receiptRequested = (bits & 2) != 0;
    m.hasOriginator = (bits & 4) != 0;
    // Each recipient takes at least 12 bytes: a count beyond that is damage.
    if (count > body.size() / 12) {
        return false;
    }
    m.recips.resize(count);
    for (RecipientText& r : m.recips) {
        if (!GetRecipient(&in, &r)) {
            return false;
        }
    }
    if (!in.U32(&count) || count > body.size() / 12) {
        return false;
    }
    m.attachments.resize(count);
    for (AttachmentData& a : m.attachments) {
        if (!in.Text(&a.fileName) || !in.Text(&a.diskName) || !in.Text(&a.data)) {
            return false;
        }
    }
    if (!in.AtEnd()) {
        return false;
    }
    *out = std::move(result);
    return true;
}

std::string CReadCache::FolderForStore(const std::string& storePath) {
    std::string base;
    if (const char* v = std::getenv("TETHER_MAPI_CACHE"); v != nullptr && *v != '\0') {
        if (std::string_view(v) == "none") {
            return "";
        }
        base = v;
    } else if (const char* x = std::getenv("XDG_CACHE_HOME"); x != nullptr && *x == '/') {
        base = platform::JoinPath(x, "tethermail/mapi");
    } else if (const char* h = std::getenv("HOME"); h != nullptr && *h == '/') {
        base = platform::JoinPath(h, ".cache/tethermail/mapi");
    } else {
        return "";
    }
    std::error_code ec;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(storePath, ec);
    return platform::JoinPath(base, Hex(Fnv1a(ec ? storePath : canonical.string())));
}

std::string CReadCache::EntryPath(const std::string& id) const {
    return platform::JoinPath(m_folder, Hex(Fnv1a(id)));
}

bool CReadCache::FolderUsable() const {
    if (m_folderState != 0) {
        return m_folderState > 0;
    }
    if (!platform::DirectoryExists(m_folder)) {
        return false;  // nothing to read yet; Store creates it
    }
    const size_t slash = m_folder.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : m_folder.substr(0, slash);
    if (platform::IsPrivateFolder(m_folder) && platform::IsPrivateFolder(parent)) {
        m_folderState = 1;
        return true;
    }
    m_folderState = -1;
    ReportProblem("the cache folder " + m_folder +
                  " (or the one above it) belongs to another user or others may write to it; "
                  "it is not used");
    return false;
}

bool CReadCache::Lookup(const ReadCacheKey& key, CachedMessage* out) const {
    if (!Enabled() || !FolderUsable()) {
        return false;
    }
    std::string bytes;
    if (platform::ReadWholeFile(EntryPath(key.id), &bytes, MAX_ENTRY_BYTES) != 0) {
        return false;
    }
    return DecodeCacheEntry(bytes, key, out);
}

void CReadCache::Store(const ReadCacheKey& key, const IncomingMessage& message) const {
    if (!Enabled()) {
        return;
    }
    if (!m_folderMade) {
        if (platform::CreateDirectories(m_folder, 0700) != 0) {
            return;
        }
        m_folderMade = true;  // a folder removed later only costs the entries' writes
    }
    if (!FolderUsable()) {
        return;
    }
    const std::string entry = EncodeCacheEntry(key, message);
    if (entry.size() > MAX_ENTRY_BYTES) {
        return;
    }
    // The entry is written straight to its own name as a new file: its checksum makes a
    // reader that meets it half-written take it for a miss, so no renaming is needed. A
    // stale entry is removed first (never truncated and rewritten in place: the file
    // system would flush such a file to disk on close). No flush to disk either: a file
    // torn by a crash fails its checksum and is only a miss.
    const std::string path = EntryPath(key.id);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        (void)platform::RemoveFile(path);
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        return;  // another writer is at it, or the folder is not writable: not cached
    }
    const bool written = platform::WriteAll(fd, entry.data(), entry.size()) == 0;
    if (::close(fd) != 0 || !written) {
        (void)platform::RemoveFile(path);  // the entry is simply not cached
    }
}

void CReadCache::Forget(const std::string& id) const {
    if (Enabled() && FolderUsable()) {
        (void)platform::RemoveFile(EntryPath(id));  // absent already is fine
    }
}

}  // namespace mapi

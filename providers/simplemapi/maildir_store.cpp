// Maildir listing, order, flags and delivery.
#include "providers/simplemapi/maildir_store.h"

#include <glib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <random>
#include <system_error>

#include "platform/file_safety.h"
#include "platform/file_util.h"
#include "providers/simplemapi/simple_mapi.h"

namespace fs = std::filesystem;

namespace mapi {

namespace {

// The decimal delivery time that starts a conventional unique name, or -1.
int64_t LeadingTime(const std::string& id) {
    int64_t value = 0;
    size_t i = 0;
    while (i < id.size() && i < 18 && id[i] >= '0' && id[i] <= '9') {
        value = value * 10 + (id[i] - '0');
        ++i;
    }
    if (i == 0 || i >= id.size() || id[i] != '.') {
        return -1;
    }
    return value;
}

int64_t MtimeSeconds(const fs::path& p) {
    std::error_code ec;
    fs::file_time_type t = fs::last_write_time(p, ec);
    if (ec) {
        return 0;
    }
    auto sys = std::chrono::file_clock::to_sys(t);
    return std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
}

bool EntryLess(int64_t ka, const std::string& ia, int64_t kb, const std::string& ib) {
    if (ka != kb) {
        return ka < kb;
    }
    return ia < ib;
}

}  // namespace

CMaildirStore::CMaildirStore(std::string root)
    : m_root(std::move(root)),
      m_newPath(platform::JoinPath(m_root, "new")),
      m_curPath(platform::JoinPath(m_root, "cur")) {}

bool CMaildirStore::IsValid() const {
    return platform::DirectoryExists(platform::JoinPath(m_root, "new")) &&
           platform::DirectoryExists(platform::JoinPath(m_root, "cur"));
}

std::string CMaildirStore::IdOfName(const std::string& name) {
    return name.substr(0, name.find(':'));
}

std::string CMaildirStore::FlagsOfName(const std::string& name) {
    size_t pos = name.find(":2,");
    if (pos == std::string::npos) {
        return "";
    }
    return name.substr(pos + 3);
}

void CMaildirStore::ReadStamps(platform::FileStamp* newStamp, platform::FileStamp* curStamp) const {
    // A folder that cannot be looked at gets the empty stamp.
    (void)platform::GetFileStamp(m_newPath, newStamp);
    (void)platform::GetFileStamp(m_curPath, curStamp);
}

bool CMaildirStore::Rescan() {
    std::vector<Entry> entries;
    platform::FileStamp newStamp;
    platform::FileStamp curStamp;
    // Stamps first: a change made while the folders are read is then seen next time.
    ReadStamps(&newStamp, &curStamp);
    for (bool cur : {false, true}) {
        std::error_code ec;
        fs::directory_iterator it(platform::JoinPath(m_root, cur ? "cur" : "new"), ec);
        if (ec) {
            return false;
        }
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec) {
                return false;
            }
            std::string name = it->path().filename().string();
            if (name.empty() || name[0] == '.') {
                continue;
            }
            std::error_code tec;
            if (!it->is_regular_file(tec)) {
                continue;
            }
            Entry e;
            e.name = name;
            e.id = IdOfName(name);
            e.inCur = cur;
            auto known = m_knownKeys.find(e.id);
            if (known != m_knownKeys.end()) {
                e.key = known->second;
            } else {
                e.key = LeadingTime(e.id);
                if (e.key < 0) {
                    e.key = MtimeSeconds(it->path());
                }
            }
            entries.push_back(std::move(e));
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return EntryLess(a.key, a.id, b.key, b.id); });
    m_entries.clear();
    m_index.clear();
    for (Entry& e : entries) {
        // The same id in new/ and cur/ (a half-finished move by another program): the
        // first one listed is used.
        if (m_index.count(e.id) != 0) {
            continue;
        }
        m_knownKeys.emplace(e.id, e.key);
        m_index.emplace(e.id, m_entries.size());
        m_entries.push_back(std::move(e));
    }
    m_newStamp = newStamp;
    m_curStamp = curStamp;
    m_scanned = true;
    return true;
}

bool CMaildirStore::RefreshIfChanged() {
    if (!m_scanned) {
        return Rescan();
    }
    platform::FileStamp newStamp;
    platform::FileStamp curStamp;
    ReadStamps(&newStamp, &curStamp);
    if (newStamp != m_newStamp || curStamp != m_curStamp) {
        return Rescan();
    }
    return true;
}

std::string CMaildirStore::PathOf(const Entry& e) const {
    return platform::JoinPath(platform::JoinPath(m_root, e.inCur ? "cur" : "new"), e.name);
}

CMaildirStore::Entry* CMaildirStore::Find(const std::string& id) {
    auto it = m_index.find(id);
    if (it == m_index.end() || m_entries[it->second].deleted) {
        return nullptr;
    }
    return &m_entries[it->second];
}

CMaildirStore::Entry* CMaildirStore::FindFresh(const std::string& id) {
    if (!RefreshIfChanged()) {
        return nullptr;
    }
    Entry* e = Find(id);
    if (e != nullptr && platform::FileExists(PathOf(*e))) {
        return e;
    }
    // Another program renamed or removed it after our listing.
    if (!Rescan()) {
        return nullptr;
    }
    return Find(id);
}

int32_t CMaildirStore::FindNext(const std::string& seed, std::string* id) {
    if (!RefreshIfChanged()) {
        return MAPI_E_FAILURE;
    }
    size_t pos = 0;
    if (!seed.empty()) {
        int64_t key = 0;
        auto known = m_knownKeys.find(seed);
        if (known != m_knownKeys.end()) {
            key = known->second;
        } else {
            key = LeadingTime(seed);
            if (key < 0) {
                return MAPI_E_INVALID_MESSAGE;
            }
        }
        auto it = std::upper_bound(m_entries.begin(), m_entries.end(), 0, [&](int, const Entry& e) {
            return EntryLess(key, seed, e.key, e.id);
        });
        pos = static_cast<size_t>(it - m_entries.begin());
    }
    while (pos < m_entries.size() && m_entries[pos].deleted) {
        ++pos;
    }
    if (pos >= m_entries.size()) {
        return MAPI_E_NO_MESSAGES;
    }
    *id = m_entries[pos].id;
    return SUCCESS_SUCCESS;
}

int32_t CMaildirStore::Locate(const std::string& id, std::string* path, bool* seen,
                              int64_t* deliveryTime, platform::FileStamp* stamp) {
    // A message's file is looked for where the listing last saw it: when it is still there
    // it is that message (names are unique), and one look at the file answers both where
    // it is and what it is. Otherwise the folders are read again.
    Entry* e = m_scanned ? Find(id) : nullptr;
    if (e == nullptr || !platform::GetFileStamp(PathOf(*e), stamp)) {
        e = FindFresh(id);
        if (e == nullptr || !platform::GetFileStamp(PathOf(*e), stamp)) {
            return MAPI_E_INVALID_MESSAGE;
        }
    }
    *path = PathOf(*e);
    *seen = e->inCur && FlagsOfName(e->name).find('S') != std::string::npos;
    *deliveryTime = e->key;
    return SUCCESS_SUCCESS;
}

int32_t CMaildirStore::MarkSeen(const std::string& id) {
    Entry* e = FindFresh(id);
    if (e == nullptr) {
        return MAPI_E_INVALID_MESSAGE;
    }
    std::string flags = e->inCur ? FlagsOfName(e->name) : "";
    if (e->inCur && flags.find('S') != std::string::npos) {
        return SUCCESS_SUCCESS;
    }
    flags.push_back('S');
    std::sort(flags.begin(), flags.end());
    std::string newName = e->id + ":2," + flags;
    std::string from = PathOf(*e);
    std::string to = platform::JoinPath(platform::JoinPath(m_root, "cur"), newName);
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec) {
        return ec == std::errc::no_such_file_or_directory ? MAPI_E_INVALID_MESSAGE : MAPI_E_FAILURE;
    }
    e->name = newName;
    e->inCur = true;
    // Our own rename changed the folders; take the new stamps so that it does not cost a
    // full re-read.
    ReadStamps(&m_newStamp, &m_curStamp);
    return SUCCESS_SUCCESS;
}

int32_t CMaildirStore::Delete(const std::string& id) {
    Entry* e = FindFresh(id);
    if (e == nullptr) {
        return MAPI_E_INVALID_MESSAGE;
    }
    int32_t err = platform::RemoveFile(PathOf(*e));
    if (err != 0 && err != ENOENT) {
        return MAPI_E_FAILURE;
    }
    e->deleted = true;
    ReadStamps(&m_newStamp, &m_curStamp);
    return SUCCESS_SUCCESS;
}

int32_t DeliverToMaildir(const std::string& root, const std::string& data, bool seen,
                         std::string* id) {
    for (const char* sub : {"tmp", "new", "cur"}) {
        if (platform::CreateDirectories(platform::JoinPath(root, sub), 0700) != 0) {
            return MAPI_E_FAILURE;
        }
    }
    static std::atomic<uint64_t> counter{0};
    std::random_device rd;
    uint64_t random = (static_cast<uint64_t>(rd()) << 32) ^ rd();
    auto now = std::chrono::system_clock::now().time_since_epoch();
    int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    int64_t micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count() % 1000000;
    std::string host = g_get_host_name();
    // '/' and ':' cannot appear in the unique part of a Maildir name.
    std::string safeHost;
    for (char c : host) {
        if (c == '/') {
            safeHost += "\\057";
        } else if (c == ':') {
            safeHost += "\\072";
        } else {
            safeHost += c;
        }
    }
    char unique[128];
    g_snprintf(unique, sizeof unique, "%lld.M%lldQ%lluR%016llx.", static_cast<long long>(seconds),
               static_cast<long long>(micros), static_cast<unsigned long long>(++counter),
               static_cast<unsigned long long>(random));
    std::string name = std::string(unique) + safeHost;
    // Written and flushed under tmp/ first, so that new/ and cur/ only ever hold whole
    // messages; the rename into place is the delivery. The file in tmp/ is held while it
    // is written, so another logon's sweep never takes it for a crash's leftover.
    std::string tmpPath = platform::JoinPath(platform::JoinPath(root, "tmp"), name);
    std::string finalPath = seen
                                ? platform::JoinPath(platform::JoinPath(root, "cur"), name + ":2,S")
                                : platform::JoinPath(platform::JoinPath(root, "new"), name);
    int32_t err = platform::WriteThroughTemporary(tmpPath, finalPath, data, 0600);
    if (err != 0) {
        return err == ENOSPC ? MAPI_E_DISK_FULL : MAPI_E_FAILURE;
    }
    *id = name;
    return SUCCESS_SUCCESS;
}

bool IsOwnDeliveryName(std::string_view name) {
    // "<seconds>.M<microseconds>Q<counter>R<16 hex digits>.<host>", as DeliverToMaildir
    // names its files.
    size_t i = 0;
    auto digits = [&](size_t least) {
        size_t start = i;
        while (i < name.size() && name[i] >= '0' && name[i] <= '9') {
            ++i;
        }
        return i - start >= least;
    };
    auto literal = [&](char c) { return i < name.size() && name[i++] == c; };
    if (!digits(1) || !literal('.') || !literal('M') || !digits(1) || !literal('Q') || !digits(1) ||
        !literal('R')) {
        return false;
    }
    for (size_t n = 0; n < 16; ++n, ++i) {
        if (i >= name.size() || !g_ascii_isxdigit(name[i])) {
            return false;
        }
    }
    return literal('.');
}

int RemoveMaildirLeftovers(const std::string& root) {
    return platform::RemoveLeftoverFiles(platform::JoinPath(root, "tmp"), IsOwnDeliveryName,
                                         LEFTOVER_AGE_SECONDS);
}

}  // namespace mapi

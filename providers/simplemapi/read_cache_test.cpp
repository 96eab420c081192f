// Tests of the converted-message cache through a session: hits, invalidation, damaged
// entries, and reads that give the same message with and without the cache.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <xxhash.h>

#include "platform/file_util.h"
#include "providers/simplemapi/mapi_buffer.h"
#include "providers/simplemapi/mapi_session.h"
#include "providers/simplemapi/read_cache.h"
#include "providers/simplemapi/simple_mapi.h"

namespace fs = std::filesystem;
using namespace mapi;

namespace {

const char PLAIN[] =
    "From: Ann <ann@example.org>\nTo: Bob <bob@example.org>, c@example.org\n"
    "Cc: Dee <dee@example.org>\nSubject: =?utf-8?q?Caf=C3=A9?=\n"
    "Date: Thu, 05 Jul 2001 09:03:00 +0000\nMessage-ID: <p@example.org>\n"
    "Disposition-Notification-To: ann@example.org\n\nLine one\nLine two\n";
const char MULTI[] =
    "From: bob@example.org\nTo: ann@example.org\nSubject: Files\nMIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: text/plain\n\nSee.\n"
    "--B\nContent-Type: text/plain; name=a.txt\nContent-Disposition: attachment; "
    "filename=a.txt\n\nfirst file\n--B--\n";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Everything a reader sees of a message, attachment contents included; removes the files.
std::string Dump(const MapiMessage* m) {
    auto text = [](const char* s) { return std::string(s != nullptr ? s : "(null)"); };
    auto recip = [&](const MapiRecipDesc& r) {
        return std::to_string(r.ulRecipClass) + ":" + text(r.lpszName) + "<" + text(r.lpszAddress) +
               ">";
    };
    std::string out = text(m->lpszSubject) + "|" + text(m->lpszNoteText) + "|" +
                      text(m->lpszDateReceived) + "|" + text(m->lpszConversationID) + "|" +
                      std::to_string(m->flFlags) + "|" +
                      (m->lpOriginator != nullptr ? recip(*m->lpOriginator) : "-");
    for (ULONG i = 0; i < m->nRecipCount; ++i) {
        out += "|" + recip(m->lpRecips[i]);
    }
    for (ULONG i = 0; i < m->nFileCount; ++i) {
        out +=
            "|file " + text(m->lpFiles[i].lpszFileName) + "=" + ReadAll(m->lpFiles[i].lpszPathName);
        std::error_code ec;
        fs::remove(m->lpFiles[i].lpszPathName, ec);
    }
    return out;
}

class ReadCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "mapicacheXXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
        m_store = m_dir + "/Maildir";
        for (const char* s : {"/new", "/cur", "/tmp"}) {
            fs::create_directories(m_store + s);
        }
        std::ofstream(m_dir + "/profiles.ini") << "[P]\nStore=" << m_store << "\nDefault=1\n";
        setenv("TETHER_MAPI_CACHE", (m_dir + "/cache").c_str(), 1);
        std::ofstream(m_store + "/new/1700000001.plain.host", std::ios::binary) << PLAIN;
        std::ofstream(m_store + "/cur/1700000002.multi.host:2,S", std::ios::binary) << MULTI;
    }
    void TearDown() override {
        unsetenv("TETHER_MAPI_CACHE");
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::unique_ptr<CMapiSession> Open() {
        std::unique_ptr<CMapiSession> s;
        EXPECT_EQ(CMapiSession::Open(m_dir + "/profiles.ini", "", "", 1252, &s), 0);
        return s;
    }
    std::string Read(CMapiSession* s, const char* id, FLAGS flags = MAPI_PEEK) {
        MapiMessage* m = nullptr;
        EXPECT_EQ(s->ReadMail(id, flags, &m), 0);
        if (m == nullptr) {
            return "";
        }
        std::string d = Dump(m);
        EXPECT_TRUE(FreeMapiBuffer(m));
        return d;
    }
    // Rewrites the file in place with `from` replaced by the same-length `to`, keeping its
    // size, inode and modification time; answers that time.
    static fs::file_time_type RewriteKeepingIdentity(const std::string& path, std::string text,
                                                     const std::string& from,
                                                     const std::string& to) {
        const auto stamp = fs::last_write_time(path);
        text.replace(text.find(from), from.size(), to);
        {
            std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
            f << text;
        }
        fs::last_write_time(path, stamp);
        return stamp;
    }
    std::string EntryOf(const std::string& id) {
        return CReadCache(CReadCache::FolderForStore(m_store)).EntryPathForTesting(id);
    }
    std::string m_dir;
    std::string m_store;
};

TEST_F(ReadCacheTest, CachedReadsEqualUncachedOnesForEveryReadKind) {
    const char* ids[] = {"1700000001.plain.host", "1700000002.multi.host"};
    const FLAGS kinds[] = {MAPI_PEEK, MAPI_PEEK | MAPI_ENVELOPE_ONLY,
                           MAPI_PEEK | MAPI_SUPPRESS_ATTACH};
    setenv("TETHER_MAPI_CACHE", "none", 1);
    auto plain = Open();
    std::vector<std::string> expected;
    for (const char* id : ids) {
        for (FLAGS f : kinds) {
            expected.push_back(Read(plain.get(), id, f));
        }
    }
    EXPECT_FALSE(fs::exists(m_dir + "/cache"));
    EXPECT_NE(expected[3].find("|file a.txt=first file"), std::string::npos);

    setenv("TETHER_MAPI_CACHE", (m_dir + "/cache").c_str(), 1);
    auto cached = Open();
    for (int round = 0; round < 2; ++round) {  // fills the cache, then reads from it
        size_t k = 0;
        for (const char* id : ids) {
            for (FLAGS f : kinds) {
                EXPECT_EQ(Read(cached.get(), id, f), expected[k]) << id << " flags " << f;
                ++k;
            }
        }
        EXPECT_TRUE(fs::exists(EntryOf(ids[0])));
    }
    // A read without MAPI_PEEK still marks the message read, cached or not (flags: receipt
    // requested, plus unread before the read).
    EXPECT_NE(Read(cached.get(), ids[0], 0).find("|3|"), std::string::npos);
    EXPECT_TRUE(fs::exists(m_store + "/cur/1700000001.plain.host:2,S"));
    EXPECT_NE(Read(cached.get(), ids[0]).find("|2|"), std::string::npos);
}

TEST_F(ReadCacheTest, UnchangedFileIsServedFromCacheAndAnyChangeInvalidates) {
    auto s = Open();
    const std::string path = m_store + "/new/1700000001.plain.host";
    const std::string first = Read(s.get(), "1700000001.plain.host");
    ASSERT_NE(first.find("Line one"), std::string::npos);

    // Same size, same inode, same modification time: the entry answers, which shows that
    // the file was not parsed again.
    const auto stamp = RewriteKeepingIdentity(path, PLAIN, "Line one", "Line ONE");
    EXPECT_EQ(Read(s.get(), "1700000001.plain.host"), first);

    // A new modification time is a miss: the new text shows and is cached.
    fs::last_write_time(path, stamp + std::chrono::seconds(5));
    const std::string changed = Read(s.get(), "1700000001.plain.host");
    EXPECT_NE(changed.find("Line ONE"), std::string::npos);
    EXPECT_EQ(Read(s.get(), "1700000001.plain.host"), changed);

    // Another code page is another conversion.
    std::unique_ptr<CMapiSession> japanese;
    ASSERT_EQ(CMapiSession::Open(m_dir + "/profiles.ini", "", "", 932, &japanese), 0);
    const std::string onJapanese = Read(japanese.get(), "1700000001.plain.host");
    EXPECT_NE(onJapanese.find("Caf?"), std::string::npos);
    EXPECT_NE(Read(s.get(), "1700000001.plain.host").find("Caf\xE9"), std::string::npos);

    // Deleting the message removes its entry.
    ASSERT_TRUE(fs::exists(EntryOf("1700000001.plain.host")));
    EXPECT_EQ(s->DeleteMail("1700000001.plain.host"), 0);
    EXPECT_FALSE(fs::exists(EntryOf("1700000001.plain.host")));
}

TEST_F(ReadCacheTest, AttachmentsAreServedFromTheCacheAsFreshFiles) {
    auto s = Open();
    const char* id = "1700000002.multi.host";
    const std::string path = m_store + "/cur/1700000002.multi.host:2,S";
    const std::string first = Read(s.get(), id);
    ASSERT_NE(first.find("|file a.txt=first file"), std::string::npos);

    // The attachment changed in place with the file's identity kept: the answer still
    // comes from the entry (no parse), written to a new temporary file for each read.
    const auto stamp = RewriteKeepingIdentity(path, MULTI, "first file", "FIRST FILE");
    MapiMessage* a = nullptr;
    MapiMessage* b = nullptr;
    ASSERT_EQ(s->ReadMail(id, MAPI_PEEK, &a), 0);
    ASSERT_EQ(s->ReadMail(id, MAPI_PEEK, &b), 0);
    ASSERT_EQ(a->nFileCount, 1u);
    ASSERT_EQ(b->nFileCount, 1u);
    EXPECT_STRNE(a->lpFiles[0].lpszPathName, b->lpFiles[0].lpszPathName);
    EXPECT_EQ(Dump(a), first);
    EXPECT_EQ(Dump(b), first);
    EXPECT_TRUE(FreeMapiBuffer(a));
    EXPECT_TRUE(FreeMapiBuffer(b));

    // Once the file's identity changes, the new contents are read.
    fs::last_write_time(path, stamp + std::chrono::seconds(5));
    EXPECT_NE(Read(s.get(), id).find("|file a.txt=FIRST FILE"), std::string::npos);
}

TEST_F(ReadCacheTest, DamagedOrForeignEntriesAreIgnored) {
    auto s = Open();
    const std::string id = "1700000001.plain.host";
    const std::string good = Read(s.get(), id.c_str());
    const std::string entryPath = EntryOf(id);
    const std::string entry = ReadAll(entryPath);
    ASSERT_FALSE(entry.empty());

    // Every cut and a flipped byte anywhere fail to decode; the read parses the file.
    platform::FileStamp stamp;
    ASSERT_TRUE(platform::GetFileStamp(m_store + "/new/" + id, &stamp));
    ReadCacheKey key{id, stamp.size, stamp.mtimeNs, stamp.inode, 1252, false, 1700000001};
    CachedMessage out;
    ASSERT_TRUE(DecodeCacheEntry(entry, key, &out));
    for (size_t cut = 0; cut < entry.size(); ++cut) {
        EXPECT_FALSE(DecodeCacheEntry(entry.substr(0, cut), key, &out)) << cut;
    }
    for (size_t at = 0; at < entry.size(); at += 7) {
        std::string bad = entry;
        bad[at] = static_cast<char>(bad[at] ^ 0x20);
        EXPECT_FALSE(DecodeCacheEntry(bad, key, &out)) << at;
    }
    ReadCacheKey other = key;
    other.id = "another";
    EXPECT_FALSE(DecodeCacheEntry(entry, other, &out));
    // An entry of version 2, written by the earlier reader, whole and with its checksum.
    std::string earlier = entry.substr(0, entry.size() - 8);
    earlier[4] = 2;
    const uint64_t sum = XXH3_64bits(earlier.data(), earlier.size());
    for (int i = 0; i < 8; ++i) {
        earlier.push_back(static_cast<char>(sum >> (8 * i)));
    }
    EXPECT_FALSE(DecodeCacheEntry(earlier, key, &out));

    std::ofstream(entryPath, std::ios::binary | std::ios::trunc) << entry.substr(0, 40);
    EXPECT_EQ(Read(s.get(), id.c_str()), good);
    EXPECT_EQ(ReadAll(entryPath), entry);  // written again whole
    // An entry of another message under this name (a hash collision) is a miss too.
    (void)Read(s.get(), "1700000002.multi.host");  // only creates the other entry
    fs::copy_file(EntryOf("1700000002.multi.host"), entryPath,
                  fs::copy_options::overwrite_existing);
    EXPECT_EQ(Read(s.get(), id.c_str()), good);
}

}  // namespace

namespace {

TEST_F(ReadCacheTest, AFolderOthersMayWriteToIsNotUsed) {
    const char* id = "1700000001.plain.host";
    const std::string first = Read(Open().get(), id);
    ASSERT_TRUE(fs::exists(EntryOf(id)));
    // Same size, inode and time, other text: only an entry from the cache still shows the
    // first text.
    RewriteKeepingIdentity(m_store + "/new/" + id, PLAIN, "Line one", "Line 111");
    EXPECT_EQ(Read(Open().get(), id), first);

    const fs::path folder = fs::path(EntryOf(id)).parent_path();
    for (const fs::path& open : {folder, folder.parent_path()}) {
        SCOPED_TRACE(open.string());
        fs::permissions(open, fs::perms::all);
        testing::internal::CaptureStderr();
        const std::string read = Read(Open().get(), id);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(read.find("Line 111"), std::string::npos) << read;
        EXPECT_NE(said.find("is not used"), std::string::npos) << said;
        fs::permissions(open, fs::perms::owner_all, fs::perm_options::replace);
    }
    // Nor is anything written into such a folder.
    fs::remove(EntryOf(id));
    fs::permissions(folder, fs::perms::all);
    testing::internal::CaptureStderr();
    (void)Read(Open().get(), id);
    (void)testing::internal::GetCapturedStderr();
    EXPECT_FALSE(fs::exists(EntryOf(id)));
    // Nor one that belongs to another user (only the super-user can set one up).
    if (::geteuid() == 0) {
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
        ASSERT_EQ(::chown(folder.c_str(), 54321, 54321), 0);
        testing::internal::CaptureStderr();
        (void)Read(Open().get(), id);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("is not used"), std::string::npos);
        EXPECT_FALSE(fs::exists(EntryOf(id)));
    }
}

}  // namespace

// Cache of converted messages (envelope and note text), so that re-reading a message whose
// file has not changed needs no MIME parse.
#pragma once

#include <cstdint>
#include <string>

#include "providers/simplemapi/mime_reader.h"

namespace mapi {

// What a cached entry must match to be used: the message file's identity and the options
// that shape the converted text.
struct ReadCacheKey {
    std::string id;  // message id
    int64_t size = 0;
    int64_t mtimeNs = 0;
    int64_t inode = 0;
    uint32_t codePage = 0;
    bool nativeText = false;
    int64_t fallbackTime = 0;
};

// A cached message: everything but the attachments' contents, which stay in the mail file.
struct CachedMessage {
    IncomingMessage message;  // attachments always empty here
    uint32_t attachmentCount = 0;
};

// One file per message in a folder of its own per store, written atomically (new file,
// rename) and checked by a checksum when read; a damaged, foreign or stale file is a miss.
// Holds no entries in memory between calls. Every failure is silent: the cache only saves
// work, and the caller then reads the mail file itself.
class CReadCache {
public:
    // `folder` "" disables the cache.
    explicit CReadCache(std::string folder) : m_folder(std::move(folder)) {}

    // The folder for a store: env TETHER_MAPI_CACHE, else $XDG_CACHE_HOME/tethermail/mapi,
    // else $HOME/.cache/tethermail/mapi, then one sub-folder named by a hash of the store
    // path. "" (no cache) when TETHER_MAPI_CACHE is "none" or none of these is set. A
    // folder owned by another user or writable by others is not used (see FolderUsable).
    static std::string FolderForStore(const std::string& storePath);

    bool Enabled() const { return !m_folder.empty(); }
    // true and *out filled when an entry for `key` exists and is intact.
    bool Lookup(const ReadCacheKey& key, CachedMessage* out) const;
    // Stores a fully read message (body included) under `key`.
    void Store(const ReadCacheKey& key, const IncomingMessage& message) const;
    // Removes the entry of a message id (deleted messages).
    void Forget(const std::string& id) const;

    // Path of the entry file of an id (tests damage it).
    std::string EntryPathForTesting(const std::string& id) const { return EntryPath(id); }

private:
    std::string EntryPath(const std::string& id) const;
    // True when the folder exists and it and the folder above it are private (ours, and
    // nobody else may write to them): entries in a folder others control could be planted
    // or read, so such a folder is never used. Checked once per object.
    bool FolderUsable() const;
    std::string m_folder;
    mutable bool m_folderMade = false;  // created (or found) by this object
    mutable int m_folderState = 0;      // 0 not checked yet, 1 usable, -1 refused
};

// Encoding of an entry, exposed for tests: Decode fails on any damage. SealCacheEntry wraps
// encoded message fields with the header, key and checksum (the fuzz target uses it to
// reach the field decoder).
std::string EncodeCacheEntry(const ReadCacheKey& key, const IncomingMessage& message);
std::string SealCacheEntry(const ReadCacheKey& key, std::string_view fields);
bool DecodeCacheEntry(const std::string& bytes, const ReadCacheKey& key, CachedMessage* out);

}  // namespace mapi

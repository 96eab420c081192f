// A Maildir folder as a Simple MAPI inbox: stable ids, a stable order, read marks, deletion
// and delivery.
//
// Message id: the unique part of the file name (everything before the first ':'), so the
// id stays the same when the flags in the name change or the file moves from new/ to cur/.
// Order: by delivery time, then by id. The delivery time is the decimal number that
// starts a conventional unique name ("1700000000.M12P34.host"); for other names it is the
// file's modification time.
//
// Memory: only names and order keys are held (no message contents). The listing is cached
// and read again when new/ or cur/ changed on disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file_util.h"

namespace mapi {

class CMaildirStore {
public:
    explicit CMaildirStore(std::string root);

    // True when root/new and root/cur exist.
    bool IsValid() const;
    const std::string& Root() const { return m_root; }

    // The id of the message after `seed` (the first message when seed is empty).
    // 0; MAPI_E_NO_MESSAGES after the last; MAPI_E_INVALID_MESSAGE for a seed that was
    // never part of the folder; MAPI_E_FAILURE when the folder cannot be read.
    [[nodiscard]] int32_t FindNext(const std::string& seed, std::string* id);

    // The message's current path, whether it carries the Seen flag, and the identity of
    // its file (size, time, inode) as found there. 0 or MAPI_E_INVALID_MESSAGE.
    [[nodiscard]] int32_t Locate(const std::string& id, std::string* path, bool* seen,
                                 int64_t* deliveryTime, platform::FileStamp* stamp);

    // Sets the Seen flag (moves new/ to cur/ with ":2,S"). 0, MAPI_E_INVALID_MESSAGE or
    // MAPI_E_FAILURE.
    [[nodiscard]] int32_t MarkSeen(const std::string& id);

    // Removes the message file. 0, MAPI_E_INVALID_MESSAGE or MAPI_E_FAILURE.
    [[nodiscard]] int32_t Delete(const std::string& id);

    // The id part of a Maildir file name.
    static std::string IdOfName(const std::string& name);
    // The flags ("" when none) of a Maildir file name ("x:2,FS" -> "FS").
    static std::string FlagsOfName(const std::string& name);

private:
    struct Entry {
        int64_t key = 0;
        std::string id;
        std::string name;  // file name within its folder
        bool inCur = false;
        bool deleted = false;
    };

    [[nodiscard]] bool Rescan();
    [[nodiscard]] bool RefreshIfChanged();
    void ReadStamps(platform::FileStamp* newStamp, platform::FileStamp* curStamp) const;
    std::string PathOf(const Entry& e) const;
    Entry* Find(const std::string& id);
    // Looks the id up, re-reading the folder once when its file is not where it was.
    Entry* FindFresh(const std::string& id);

    std::string m_root;
    std::vector<Entry> m_entries;  // sorted by (key, id)
    std::unordered_map<std::string, size_t> m_index;
    // Order keys of every id seen in this session, so that a seed deleted meanwhile still
    // has its place in the order.
    std::unordered_map<std::string, int64_t> m_knownKeys;
    bool m_scanned = false;
    // The folders' identities (modification time included) when last listed.
    platform::FileStamp m_newStamp{};
    platform::FileStamp m_curStamp{};
    std::string m_newPath;
    std::string m_curPath;
};

// Delivers `data` into the Maildir at `root` (creating tmp/, new/ and cur/ when missing):
// written to tmp/ and flushed, then renamed into new/, or into cur/ with ":2,S" when
// `seen`. 0 or MAPI_E_DISK_FULL / MAPI_E_FAILURE. *id receives the new message's id.
[[nodiscard]] int32_t DeliverToMaildir(const std::string& root, const std::string& data, bool seen,
                                       std::string* id);

// Files in a Maildir's tmp/ that nobody read or wrote for this long belong to deliveries
// that died (the Maildir convention).
constexpr int64_t LEFTOVER_AGE_SECONDS = 36 * 3600;

// True for the names DeliverToMaildir gives its files.
bool IsOwnDeliveryName(std::string_view name);

// Removes what killed deliveries left in root/tmp: our own delivery files at once (unless
// a live delivery still holds them), any other file after LEFTOVER_AGE_SECONDS without
// use. Answers the number of files removed; new/ and cur/ are never touched.
int RemoveMaildirLeftovers(const std::string& root);

}  // namespace mapi

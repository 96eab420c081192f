// One sync operation: the handheld image, its desktop user, each conduit library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_lock.h"

namespace tethersync {

// Exit statuses of the program.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_SYNC_FAILED = 1;  // a conduit ended with an error
inline constexpr int EXIT_USAGE = 2;        // bad command line
inline constexpr int EXIT_DATA = 3;         // missing or damaged image, users.dat, settings
inline constexpr int EXIT_BUSY = 4;         // another sync holds the user's or the image's lock

// Sync actions handed to a conduit.
inline constexpr int32_t ACTION_SYNCHRONIZE = 0;
inline constexpr int32_t ACTION_DESKTOP_OVERWRITES = 3;
inline constexpr int32_t ACTION_HANDHELD_OVERWRITES = 4;
inline constexpr int32_t ACTION_DO_NOTHING = 6;

// The sync action for a users.dat action code: 0 synchronize, 2 desktop overwrites
// handheld, 4 handheld overwrites desktop, anything else (1 and 3 included) nothing.
int32_t SyncActionOfCode(uint32_t code);

// The name of the user's sync log file in the user's folder.
inline constexpr const char* SYNC_LOG_FILE = "SyncLog.txt";
// The lock file of a desktop user (in the user's folder) and the suffix of an image's lock
// file (beside the image): a sync, and every command that writes the image, holds them.
inline constexpr const char* USER_LOCK_FILE = "sync.lock";
inline constexpr const char* IMAGE_LOCK_SUFFIX = ".lock";
// The conduit's folder in the user's folder and its state file there.
inline constexpr const char* CONDUIT_FOLDER = "mail";
inline constexpr const char* STATE_FILE = "mail.dat";

// Takes the image's lock without waiting. EXIT_OK when held (kept in *lock), EXIT_BUSY when
// another process holds it, EXIT_DATA when the lock file cannot be made; the reason is
// printed. A missing image folder is left for the image's own open to report (EXIT_OK,
// nothing held).
int LockImage(const std::string& imagePath, platform::CFileLock* lock);

// The conduit libraries of an operation: explicit ones when given; else the entries of
// $TETHER_CONDUIT_PATH (colon-separated files, or folders whose "*.so" files export
// OpenConduit); else "libtorrim.so" through the platform's library search. Each entry is a
// path or a library name.
std::vector<std::string> FindConduits(const std::vector<std::string>& explicitConduits);

struct SyncOutcome {
    int exitStatus = EXIT_OK;
    int conduitsRun = 0;
};

// What a sync is asked to do besides the sync itself.
struct SyncRequest {
    // Move the user's state file aside (named with a time stamp) before the conduits run,
    // so that they rebuild their links from the records' content; logged. When set,
    // repairUser must name the image's owner.
    bool repair = false;
    std::string repairUser;
};

// Runs one operation on the image; prints progress and log lines as they come.
SyncOutcome RunSync(const std::string& imagePath, const std::vector<std::string>& conduits,
                    const SyncRequest& request = {});

}  // namespace tethersync

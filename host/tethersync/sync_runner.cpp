// One sync operation: attach the image, find the desktop user, run each conduit with a
// SyncProperties record, and tell from the log and the results whether it went well.
#include "host/tethersync/sync_runner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "host/profstore/profstore.h"
#include "host/syncor/handheld_image.h"
#include "host/syncor/syncor.h"
#include "host/tetherlog/tetherlog.h"
#include "platform/file_util.h"
#include "platform/library.h"
#include "platform/local_time.h"
#include "platform/paths.h"
#include "setup/users/user_mgr.h"
#include "torrim/torrim.h"

namespace tethersync {
namespace {

using GetConduitVersionFn = int32_t (*)();
using GetConduitInfoFn = int32_t (*)(int32_t, void*, void*, uint32_t*);
using OpenConduitFn = int32_t (*)(void (*)(const char*), void*);

// The progress callback carries no context: it reports into the running operation.
struct ProgressState {
    bool noUnload = false;
};
ProgressState* g_pProgress = nullptr;

void OnProgress(const char* text) {
    if (text == nullptr)
        return;
    if (std::strcmp(text, "NoUnload") == 0) {
        if (g_pProgress != nullptr)
            g_pProgress->noUnload = true;
        return;
    }
    std::cout << "progress: " << text << std::endl;
}

void OnLogLine(const char* text, int32_t activity, void*) {
    std::cout << "log [" << activity << "] " << text << std::endl;
}

void OnNotice(const char* text, void*) {
    std::cout << "notice: " << text << std::endl;
}

void OnYield(uint16_t, void*) {}

bool ExportsOpenConduit(const std::string& path) {
    void* lib = platform::LoadLibraryByName(path);
    if (lib == nullptr)
        return false;
    bool found = platform::GetProcAddress(lib, "OpenConduit") != nullptr;
    platform::FreeLibrary(lib);
    return found;
}

struct ConduitResult {
    bool ran = false;
    bool failed = false;
};

ConduitResult RunConduit(const std::string& conduit, int32_t action, const std::string& userName,
                         const std::string& userFolder) {
    ConduitResult result;
    std::string error;
    void* lib = platform::LoadLibraryByName(conduit, &error);
    if (lib == nullptr) {
        std::cerr << "tethersync: cannot load conduit " << conduit << ": " << error << "\n";
        result.failed = true;
        return result;
    }
    auto getVersion =
        reinterpret_cast<GetConduitVersionFn>(platform::GetProcAddress(lib, "GetConduitVersion"));
    auto getInfo =
        reinterpret_cast<GetConduitInfoFn>(platform::GetProcAddress(lib, "GetConduitInfo"));
    auto openConduit =
        reinterpret_cast<OpenConduitFn>(platform::GetProcAddress(lib, "OpenConduit"));
    if (getVersion == nullptr || openConduit == nullptr) {
        std::cerr << "tethersync: " << conduit
                  << " is not a conduit (GetConduitVersion or OpenConduit missing)\n";
        platform::FreeLibrary(lib);
        result.failed = true;
        return result;
    }
    int32_t version = getVersion();
    std::string name = conduit;
    if (getInfo != nullptr) {
        uint32_t request[20] = {1, 80};  // version 1, size 80
        char answer[80] = {};
        uint32_t size = sizeof(answer);
        if (getInfo(0, request, answer, &size) == 0)
            name.assign(answer, strnlen(answer, 80));
        uint32_t defaultAction = 0;
        size = sizeof(defaultAction);
        // A conduit's own default applies when the user has no action for it.
        if (action < 0) {
            action = getInfo(2, nullptr, &defaultAction, &size) == 0
                         ? static_cast<int32_t>(defaultAction)
                         : ACTION_DO_NOTHING;
        }
    }
    if (action < 0)
        action = ACTION_DO_NOTHING;
    std::cout << "conduit: " << name << " (version " << (version >> 8) << "." << (version & 0xFF)
              << "), action " << action << std::endl;
    // A new user has no action of its own, and the conduit's default is to do nothing.
    if (action == ACTION_DO_NOTHING)
        std::cout << "sync: the sync action of \"" << userName << "\" for " << name
                  << " is \"do nothing\": no mail is synchronized. Change it with: tethersync "
                     "action set --user \""
                  << userName << "\" synchronize" << std::endl;

    // The conduit keeps its files in a folder of its own below the user's folder; the
    // folder is handed on with a trailing '/' so that a file name can follow it directly.
    std::string conduitFolder = platform::JoinPath(userFolder, CONDUIT_FOLDER) + "/";
    if (platform::CreateDirectories(conduitFolder, 0700) != 0 ||
        conduitFolder.size() >= sizeof(SyncProperties::conduitFolder)) {
        std::cerr << "tethersync: cannot use the conduit folder " << conduitFolder << "\n";
        platform::FreeLibrary(lib);
        result.failed = true;
        return result;
    }
    static const char DATABASE_NAME[] = "MailDB";
    SyncProperties props;
    std::memset(&props, 0, sizeof(props));
    props.syncAction = action;
    std::memcpy(props.conduitFolder, conduitFolder.c_str(), conduitFolder.size() + 1);
    props.databaseName = DATABASE_NAME;
    props.creator = syncor::MAIL_CREATOR;
    props.cardNumber = 0;
    props.databaseType = syncor::MAIL_DATABASE_TYPE;
    props.preferenceSelector = 0;

    ProgressState progress;
    g_pProgress = &progress;
    int32_t failuresBefore = TetherlogActivityCount(LOG_ACTIVITY_SYNC_FAILED);
    int32_t code = openConduit(&OnProgress, &props);
    g_pProgress = nullptr;
    result.ran = true;
    result.failed = code != 0 || TetherlogActivityCount(LOG_ACTIVITY_SYNC_FAILED) > failuresBefore;
    std::cout << "conduit: " << name << " returned " << code << std::endl;
    // A conduit that asked to stay loaded keeps its library for the rest of the process.
    if (progress.noUnload)
        std::cout << "conduit: " << name << " stays loaded (NoUnload)" << std::endl;
    else
        platform::FreeLibrary(lib);
    return result;
}

}  // namespace

int32_t SyncActionOfCode(uint32_t code) {
    switch (code) {
        case 0:
            return ACTION_SYNCHRONIZE;
        case 2:
            return ACTION_DESKTOP_OVERWRITES;
        case 4:
            return ACTION_HANDHELD_OVERWRITES;
        default:
            return ACTION_DO_NOTHING;
    }
}

std::vector<std::string> FindConduits(const std::vector<std::string>& explicitConduits) {
    if (!explicitConduits.empty())
        return explicitConduits;
    std::vector<std::string> found;
    const char* env = std::getenv("TETHER_CONDUIT_PATH");
    if (env != nullptr && *env != '\0') {
        std::string list = env;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(':', start);
            if (end == std::string::npos)
                end = list.size();
            std::string entry = list.substr(start, end - start);
            start = end + 1;
            if (entry.empty())
                continue;
            if (platform::DirectoryExists(entry)) {
                std::vector<std::string> inFolder;
                std::error_code ec;
                for (const auto& f : std::filesystem::directory_iterator(entry, ec)) {
                    std::string p = f.path().string();
                    if (p.size() > 3 && p.compare(p.size() - 3, 3, ".so") == 0 &&
                        ExportsOpenConduit(p))
                        inFolder.push_back(p);
                }
                std::sort(inFolder.begin(), inFolder.end());
                found.insert(found.end(), inFolder.begin(), inFolder.end());
            } else {
                found.push_back(entry);
            }
        }
        return found;
    }
    found.push_back("Torrim.dll");
    return found;
}

int LockImage(const std::string& imagePath, platform::CFileLock* lock) {
    const std::string lockPath = imagePath + IMAGE_LOCK_SUFFIX;
    const int32_t e = lock->TryLock(lockPath);
    if (e == 0 || e == ENOENT)
        return EXIT_OK;  // a missing folder: the image's open says that it is missing
    if (e == EWOULDBLOCK) {
        std::cerr << "tethersync: the handheld image " << imagePath
                  << " is in use by another sync or command (" << lockPath
                  << " is locked); nothing was done, try again when it has finished\n";
        return EXIT_BUSY;
    }
    std::cerr << "tethersync: cannot lock the handheld image: cannot open " << lockPath << ": "
              << std::strerror(e) << "\n";
    return EXIT_DATA;
}

namespace {

// The user's settings file, when it exists, must be readable and sound: a file that cannot
// be read is not "no mail configured". Prints the reason; EXIT_OK or EXIT_DATA.
int CheckSettingsFile(const std::string& userFolder) {
    const std::string path =
        platform::ResolveCaseInsensitive(platform::JoinPath(userFolder, "Sync.ini"));
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        return EXIT_OK;  // not set up yet: the conduit says so in the log
    // The user store's own limit: a settings file above 1 MiB or holding NUL bytes is damaged.
    constexpr size_t SETTINGS_MAX = 1u << 20;
    std::string text;
    const int32_t e = platform::ReadWholeFile(path, &text, SETTINGS_MAX);
    if (e != 0 && e != EFBIG) {
        std::cerr << "tethersync: cannot read the user's settings " << path << ": "
                  << std::strerror(e) << "; nothing was synchronized\n";
        return EXIT_DATA;
    }
    if (e == EFBIG || text.find('\0') != std::string::npos) {
        std::cerr << "tethersync: the user's settings " << path
                  << " are damaged (NUL bytes or larger than 1 MiB); nothing was synchronized\n";
        return EXIT_DATA;
    }
    return EXIT_OK;
}

// "YYYYMMDD-HHMMSS" in local time, for the name of a file moved aside.
std::string TimeStamp() {
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    platform::LocalTime t{};
    char text[32] = "00000000-000000";
    if (platform::UtcToLocal(now, &t))
        std::snprintf(text, sizeof(text), "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
    return text;
}

// Moves the state file aside for a repair. EXIT_OK (with *movedTo set, or empty when there
// was no state file) or EXIT_DATA.
int MoveStateAside(const std::string& userFolder, std::string* statePath, std::string* movedTo) {
    *statePath = platform::JoinPath(platform::JoinPath(userFolder, CONDUIT_FOLDER), STATE_FILE);
    movedTo->clear();
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(*statePath, ec)))
        return EXIT_OK;
    std::string target = *statePath + ".damaged-" + TimeStamp();
    for (int i = 2; std::filesystem::exists(std::filesystem::symlink_status(target, ec)); ++i)
        target = *statePath + ".damaged-" + TimeStamp() + "-" + std::to_string(i);
    if (int32_t e = platform::RenameFile(*statePath, target)) {
        std::cerr << "tethersync: cannot move the state file " << *statePath
                  << " aside: " << std::strerror(e) << "; nothing was done\n";
        return EXIT_DATA;
    }
    *movedTo = target;
    return EXIT_OK;
}

}  // namespace

SyncOutcome RunSync(const std::string& imagePath, const std::vector<std::string>& conduits,
                    const SyncRequest& request) {
    SyncOutcome outcome;
    // One sync at a time per image and per desktop user: the locks are taken before
    // anything is read or written, and a second sync refuses at once.
    platform::CFileLock imageLock;
    if (int r = LockImage(imagePath, &imageLock)) {
        outcome.exitStatus = r;
        return outcome;
    }
    // The handheld says whose it is.
    std::string handheldUser;
    {
        // Only the owner is read here; the sync's own open reads the whole image.
        syncor::CHandheldImage image;
        int32_t e = image.Open(imagePath, syncor::ImageCheck::Light);
        if (e != 0) {
            std::cerr << "tethersync: cannot use the handheld image " << imagePath << ": "
                      << (e == SYNC_ERR_CORRUPT_IMAGE ? "it is damaged or not a handheld image"
                          : e == SYNC_ERR_NOT_FOUND   ? "no such file"
                                                      : "it cannot be read")
                      << " (code " << e << ")\n";
            outcome.exitStatus = EXIT_DATA;
            return outcome;
        }
        handheldUser = image.UserName();
    }
    if (request.repair && request.repairUser != handheldUser) {
        std::cerr << "tethersync: the handheld image " << imagePath << " belongs to \""
                  << handheldUser << "\", not to \"" << request.repairUser
                  << "\"; nothing was done\n";
        outcome.exitStatus = EXIT_DATA;
        return outcome;
    }
    users::CUserMgr mgr;
    std::string dataFolder = platform::DesktopDataFolder();
    int32_t loaded = mgr.LoadUsers(dataFolder + "/");
    if (loaded != 0) {
        const std::string usersPath =
            platform::ResolveCaseInsensitive(platform::JoinPath(dataFolder, "users.dat"));
        std::error_code ec;
        const bool exists = std::filesystem::exists(std::filesystem::symlink_status(usersPath, ec));
        std::cerr << "tethersync: cannot read the desktop users " << usersPath << ": "
                  << (!exists ? "the file is missing"
                      : loaded == users::USERS_CANNOT_OPEN
                          ? "the file exists but cannot be read"
                          : "the file is damaged (code " + std::to_string(loaded) + ")")
                  << "; nothing was synchronized\n";
        outcome.exitStatus = EXIT_DATA;
        return outcome;
    }
    users::CUser* user = mgr.FindUserByName(handheldUser);
    if (user == nullptr || user->m_userDirectory.empty()) {
        std::cerr << "tethersync: no desktop user named \"" << handheldUser
                  << "\" (add one with: tethersync user add)\n";
        outcome.exitStatus = EXIT_DATA;
        return outcome;
    }
    std::string userFolder = platform::JoinPath(dataFolder, user->m_userDirectory);
    // The user's action for Mail: the first list, else the second, else the conduit's own.
    uint32_t code = 0;
    int32_t action = -1;
    if (user->GetPref1(users::MAIL_CREATOR, &code) >= 0 ||
        user->GetPref2(users::MAIL_CREATOR, &code) >= 0)
        action = SyncActionOfCode(code);

    // A folder that has gone held the user's settings and mail state: an empty new one
    // would pass for a user who never synchronized.
    if (!platform::DirectoryExists(userFolder)) {
        std::cerr << "tethersync: the folder of desktop user \"" << handheldUser << "\" ("
                  << userFolder
                  << ") is missing; it is not created again (restore it from a backup)\n";
        outcome.exitStatus = EXIT_DATA;
        return outcome;
    }
    platform::CFileLock userLock;
    const std::string userLockPath = platform::JoinPath(userFolder, USER_LOCK_FILE);
    if (int32_t e = userLock.TryLock(userLockPath)) {
        if (e == EWOULDBLOCK) {
            std::cerr << "tethersync: desktop user \"" << handheldUser
                      << "\" is being synchronized by another sync (" << userLockPath
                      << " is locked); nothing was done, try again when it has finished\n";
            outcome.exitStatus = EXIT_BUSY;
        } else {
            std::cerr << "tethersync: cannot lock desktop user \"" << handheldUser
                      << "\": cannot open " << userLockPath << ": " << std::strerror(e) << "\n";
            outcome.exitStatus = EXIT_DATA;
        }
        return outcome;
    }
    if (int r = CheckSettingsFile(userFolder)) {
        outcome.exitStatus = r;
        return outcome;
    }
    int32_t e = SyncHostAttachImage(imagePath.c_str());
    if (e != 0) {
        std::cerr << "tethersync: cannot use the handheld image " << imagePath << ": "
                  << (e == SYNC_ERR_CORRUPT_IMAGE ? "it is damaged or not a handheld image"
                                                  : "it cannot be read")
                  << " (code " << e << "); nothing was synchronized\n";
        outcome.exitStatus = EXIT_DATA;
        return outcome;
    }
    std::string statePath, movedTo;
    if (request.repair) {
        if (int r = MoveStateAside(userFolder, &statePath, &movedTo)) {
            (void)SyncHostDetachImage();  // nothing was written
            outcome.exitStatus = r;
            return outcome;
        }
    }
    SyncHostSetHooks(&OnYield, &OnNotice, nullptr);
    TetherlogSetEcho(&OnLogLine, nullptr);
    std::string logPath = platform::JoinPath(userFolder, SYNC_LOG_FILE);
    if (TetherlogBegin(logPath.c_str()) != 0)
        std::cerr << "tethersync: warning: cannot write the sync log " << logPath << "\n";
    if (ProfSetOperationUser(static_cast<int32_t>(user->m_userId)) != 0)
        std::cerr << "tethersync: warning: the user store does not know the user\n";
    std::cout << "sync: handheld of \"" << handheldUser << "\", desktop folder " << userFolder
              << std::endl;
    if (request.repair) {
        const std::string what =
            movedTo.empty()
                ? "Repair: there was no Desktop file " + statePath + " to move aside."
                : "Repair: the Desktop file " + statePath + " was moved aside to " + movedTo + ".";
        (void)LogAddLine(what.c_str(), LOG_ACTIVITY_TEXT, 0);  // echoed even without a file
        (void)LogAddLine(
            "Repair: this sync rebuilds the links between handheld records and desktop "
            "messages by their content; outbox, filed and draft mail stay on the handheld, "
            "inbox copies that match no desktop message are replaced.",
            LOG_ACTIVITY_TEXT, 0);
    }

    bool failed = false;
    for (const std::string& conduit : conduits) {
        ConduitResult r = RunConduit(conduit, action, user->m_userName, userFolder);
        if (r.ran)
            ++outcome.conduitsRun;
        failed = failed || r.failed;
    }
    SyncHostStatus status{};
    (void)SyncHostGetStatus(&status);  // always answers for a non-null record
    int exitStatus = failed ? EXIT_SYNC_FAILED : EXIT_OK;
    if (status.imageFault == SYNC_ERR_CORRUPT_IMAGE) {
        std::cerr << "tethersync: the handheld image " << imagePath
                  << " is damaged (found during the sync); the sync stopped\n";
        exitStatus = EXIT_DATA;
    } else if (status.imageFault != 0) {
        std::cerr << "tethersync: the handheld image " << imagePath << " could not be written: "
                  << (status.imageErrno != 0 ? std::strerror(status.imageErrno) : "I/O error")
                  << "; the sync stopped\n";
        exitStatus = EXIT_SYNC_FAILED;
    } else if (status.connectionLost) {
        std::cout << "sync: the connection to the handheld was lost" << std::endl;
        exitStatus = EXIT_SYNC_FAILED;
    }
    if (request.repair && exitStatus == EXIT_OK)
        (void)LogAddLine("Repair: done; the links are rebuilt.", LOG_ACTIVITY_TEXT, 0);
    (void)SyncHostDetachImage();    // always succeeds
    (void)TetherlogEnd();           // always succeeds
    (void)ProfSetOperationUser(0);  // clearing never fails
    TetherlogSetEcho(nullptr, nullptr);
    if (conduits.empty())
        std::cout << "sync: no conduit installed" << std::endl;
    std::cout << (exitStatus != EXIT_OK ? "sync: ended with an error" : "sync: done") << std::endl;
    outcome.exitStatus = exitStatus;
    return outcome;
}

}  // namespace tethersync

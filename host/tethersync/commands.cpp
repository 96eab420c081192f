// The commands of the tethersync program: sync, handheld images, desktop users, handheld
// mail and preferences, the Mail sync action, the sync log, and the demo.
#include "host/tethersync/commands.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <system_error>
#include <utility>

#include "conduit/core/password.h"
#include "host/profstore/prof_store.h"
#include "host/syncor/handheld_image.h"
#include "host/syncor/syncor.h"
#include "host/tethersync/args.h"
#include "host/tethersync/mail_record.h"
#include "host/tethersync/sync_runner.h"
#include "platform/code_page.h"
#include "platform/file_lock.h"
#include "platform/file_safety.h"
#include "platform/file_util.h"
#include "platform/library.h"
#include "platform/local_time.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/terminal_text.h"
#include "platform/process.h"
#include "setup/users/user_mgr.h"
#include "setup/wizard/mail_inf_default.h"

namespace tethersync {

namespace {
// The command being run ("mail compose"), for the pointer to its own --help.
std::string g_command;
}  // namespace

int Usage(const std::string& message) {
    std::cerr << "tethersync: " << message << " (see tethersync "
              << (g_command.empty() ? "" : g_command + " ") << "--help)\n";
    return EXIT_USAGE;
}

int DataError(const std::string& message) {
    std::cerr << "tethersync: " << message << "\n";
    return EXIT_DATA;
}

namespace {

constexpr uint64_t DEFAULT_CAPACITY = 2u << 20;

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v > max)
        return false;
    *value = v;
    return true;
}

std::string DataFolder() {
    return platform::DesktopDataFolder();
}

// --image, else $TETHER_IMAGE, else "handheld.img" in the desktop data folder.
std::string ImagePath(CArgs& args) {
    if (auto image = args.Option("--image"))
        return *image;
    const char* env = std::getenv("TETHER_IMAGE");
    if (env != nullptr && *env != '\0')
        return env;
    return platform::JoinPath(DataFolder(), "handheld.img");
}

std::string ImageErrorText(int32_t e) {
    switch (e) {
        case SYNC_ERR_NOT_FOUND:
            return "no such file";
        case SYNC_ERR_CORRUPT_IMAGE:
            return "it is damaged or not a handheld image";
        case SYNC_ERR_EXISTS:
            return "a file is already there";
        default:
            return "it cannot be read or written (code " + std::to_string(e) + ")";
    }
}

// Opens the image and its Mail database, or prints why not.
int OpenMail(const std::string& path, syncor::CHandheldImage* image, syncor::DatabaseInfo* db) {
    int32_t e = image->Open(path);
    if (e != 0)
        return DataError("cannot use the handheld image " + path + ": " + ImageErrorText(e));
    e = image->FindDatabase(syncor::MAIL_DATABASE_NAME, db);
    if (e != 0)
        return DataError("the handheld image has no Mail database (code " + std::to_string(e) +
                         ")");
    return EXIT_OK;
}

// Loads users.dat; a missing file is an empty list only when allowed. A damaged file is
// an error and is never written over.
int LoadUsers(users::CUserMgr* mgr, bool missingIsEmpty) {
    std::string root = DataFolder() + "/";
    bool exists = platform::FileExists(platform::ResolveCaseInsensitive(root + "users.dat"));
    int32_t e = mgr->LoadUsers(root);
    if (e == 0)
        return EXIT_OK;
    if (!exists && missingIsEmpty)
        return EXIT_OK;
    if (!exists)
        return DataError("no desktop users yet (" + root +
                         "users.dat); add one with: tethersync user add NAME");
    return DataError("the desktop user list " + root + "users.dat is damaged or unreadable (code " +
                     std::to_string(e) + "); it was left as it is");
}

// The user named by --user, or the only user when there is exactly one.
int FindUser(CArgs& args, users::CUserMgr* mgr, users::CUser** user) {
    if (int r = LoadUsers(mgr, false))
        return r;
    if (auto name = args.Option("--user")) {
        *user = mgr->FindUserByName(*name);
        if (*user == nullptr)
            return DataError("no desktop user named \"" + *name + "\"");
        return EXIT_OK;
    }
    if (mgr->Count() == 1) {
        *user = mgr->Users().front().get();
        return EXIT_OK;
    }
    return Usage("more than one desktop user: name one with --user NAME");
}

// ---- help ----------------------------------------------------------------------------

const std::map<std::string, std::string>& HelpTexts() {
    static const std::map<std::string, std::string> texts = {
        {"", R"(usage: tethersync COMMAND [ARGS]

Runs a sync between a handheld image and the desktop, and manages both sides.

Commands:
  sync            run one sync operation with the installed conduits
  repair          move a damaged mail state file aside and rebuild it with a sync
  image create    create a handheld image for a handheld user name
  image info      show an image's user, capacity, databases and fault plan
  image set       change an image's capacity or fault plan
  user add        add a desktop user
  user list       list the desktop users
  user set        set a value of a user's "Mail" settings
  user remove     remove a desktop user and its folder
  profile add     add a Simple MAPI profile over a Maildir (and SMTP)
  profile list    list the Simple MAPI profiles
  profile remove  remove a Simple MAPI profile
  mail compose    write a mail into the handheld outbox
  mail list       list handheld mail
  mail show       show one handheld mail
  mail read       mark a handheld mail read (or unread)
  mail delete     delete a handheld mail (marks it deleted)
  mail move       move a handheld mail to another category
  prefs set       set the handheld Mail preferences
  prefs show      show the handheld Mail preferences
  action set      set the Mail sync action of a desktop user
  log             show a user's sync log
  demo            run a sync on sample data in a temporary folder

Each command takes --help. The handheld image is --image PATH, else $TETHER_IMAGE, else
handheld.img in the desktop data folder ($TETHER_DATA_DIR, else ~/.local/share/tethermail).

Exit status: 0 success, 1 the sync ended with an error, 2 bad command line,
3 missing, unreadable or damaged data (image, users.dat, settings, a user's folder),
4 another sync or command is using the same handheld image or desktop user.
)"},
        {"sync", R"(usage: tethersync sync [--image PATH] [--conduit LIBRARY]...

Runs one sync operation: finds the desktop user named like the handheld's user, then loads
each conduit library and runs it with that user's sync action. Conduits: the --conduit
options; else the entries of $TETHER_CONDUIT_PATH (colon-separated files, or folders whose
.so files are conduits); else libtorrim.so from the library search path. Log lines and
progress are shown as they come; the log also goes to SyncLog.txt in the user's folder.
Exit status 1 when a conduit reports an error, the connection is lost or the image cannot
be written; 3 when the image, users.dat, the user's Sync.ini or folder is missing,
unreadable or damaged (nothing is written then); 4 when another sync holds the image's lock
(IMAGE.lock) or the user's (sync.lock in the user's folder).
)"},
        {"repair", R"(usage: tethersync repair --user NAME [--image PATH] [--conduit LIBRARY]...

For a Mail state file (mail.dat in the user's mail folder) that cannot be read: moves it
aside as mail.dat.damaged-YYYYMMDD-HHMMSS and runs a sync that rebuilds it, matching the
handheld's records to the desktop messages by their content. Outbox, filed and draft mail
stay on the handheld; inbox copies that match no desktop message are copied again. What
was done is written to the sync log. The image must belong to the user NAME.
)"},
        {"image create",
         R"(usage: tethersync image create --user HANDHELD_USER [--capacity BYTES] [--image PATH]

Creates a new handheld image (mode 0600) for the handheld user name, with an empty Mail
database. The default capacity is 2097152 bytes. An existing file is never replaced. The
desktop data folder is created (mode 0700) when the image goes there and it is missing.
A sync pairs the image with the desktop user of the same name.
)"},
        {"image info", R"(usage: tethersync image info [--image PATH]

Shows the handheld user, capacity, bytes used, fault plan and databases of an image.
)"},
        {"image set",
         R"(usage: tethersync image set [--capacity BYTES] [--fault-after N|none] [--image PATH]

--capacity: bytes the handheld holds; writes that do not fit are refused as a full handheld.
--fault-after: the connection is lost after N handheld calls of each sync (for tests);
"none" removes the plan.
)"},
        {"user add", R"(usage: tethersync user add NAME

Adds a desktop user with a new id and a folder in the desktop data folder.
)"},
        {"user list", R"(usage: tethersync user list

Lists the desktop users: id, name, folder and Mail sync action.
)"},
        {"user set", R"(usage: tethersync user set [--user NAME] KEY VALUE

Sets KEY of the "Mail" section of the user's Sync.ini (for example System, Interface,
UserAccount, Profile, PostOffice, Gateway, Password). Mail Setup normally writes these.
A Password is stored scrambled, as the conduit reads it (at most 32 bytes are kept).
For a Simple MAPI profile (see tethersync profile add): System NAME_OF_YOUR_CHOICE,
Interface MAPI32, Profile PROFILE_NAME.
)"},
        {"mail compose",
         R"(usage: tethersync mail compose --to ADDRESSES [--cc ADDRESSES] [--bcc ADDRESSES]
                          [--subject TEXT] [--body TEXT | --body-file FILE]
                          [--priority high|normal|low] [--signature] [--confirm-read]
                          [--confirm-delivery] [--image PATH]

Writes a new mail into the handheld outbox, as the handheld's Mail application would.
Several addresses are separated by line feeds or commas.
)"},
        {"mail list", R"(usage: tethersync mail list [--category NAME|NUMBER] [--image PATH]

Lists handheld mail: id, category, marks (R read, M modified, D deleted), date, sender or
recipient, subject. Categories: inbox (0), outbox (1), deleted (2), filed (3), draft (4).
)"},
        {"mail show", R"(usage: tethersync mail show ID [--image PATH]

Shows every field of one handheld mail.
)"},
        {"mail read", R"(usage: tethersync mail read ID [--unread] [--image PATH]

Marks a handheld mail read (or unread) as the handheld's user would.
)"},
        {"mail delete", R"(usage: tethersync mail delete ID [--image PATH]

Deletes a handheld mail as the handheld's user would: it is marked deleted until the next sync.
)"},
        {"mail move", R"(usage: tethersync mail move ID CATEGORY [--image PATH]

Moves a handheld mail to another category (name or number 0-15).
)"},
        {"prefs set", R"(usage: tethersync prefs set [--pref 1|2] [--mode all|send|filter|unread]
                       [--high-priority on|off] [--filter ignore|retrieve] [--truncate BYTES]
                       [--to-words WORDS] [--from-words WORDS] [--subject-words WORDS]
                       [--signature TEXT] [--image PATH]

Sets the handheld Mail preferences; options not given keep their values (defaults: mode all,
truncation 4000). The signature is preference 3.
)"},
        {"prefs show", R"(usage: tethersync prefs show [--pref 1|2] [--image PATH]

Shows the handheld Mail preferences.
)"},
        {"action set",
         R"(usage: tethersync action set [--user NAME] [--list 1|2|both] synchronize|overwrite|nothing

Sets the Mail sync action of a desktop user in users.dat (both lists unless --list):
synchronize (code 0), overwrite = desktop overwrites handheld (code 2), nothing (code 3).
)"},
        {"log", R"(usage: tethersync log [--user NAME]

Shows the user's sync log (SyncLog.txt in the user's folder).
)"},
        {"demo", R"(usage: tethersync demo [--keep]

Creates, in a new temporary folder, a desktop user whose Mail settings name a Simple MAPI
profile "Demo" over a Maildir of sample messages (plain, with attachments, Latin-1, UTF-8,
a long report, high priority, Japanese ISO-2022-JP, a newsletter the handheld's filter
leaves behind), and a handheld image with two mails in its outbox and a filter preference.
It runs a sync with the installed conduit (the test conduit when libtorrim.so is not
built) and shows the handheld mail, the log and the sent mail; then it marks one mail read
and deletes another on the handheld and syncs again, showing the Maildir before and after.
With the mail conduit it then does the same with Lotus cc:Mail through VIM: a post office
with two accounts and an address book (made with the postoffice program), mail sent from
the handheld to the other account and to an Internet address through the gateway.
--keep leaves the folder in place.
)"},
    };
    return texts;
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

int ShowHelp(const std::string& command) {
    auto it = HelpTexts().find(command);
    auto setup = SetupCommands().find(command);
    std::cout << (it != HelpTexts().end()          ? it->second
                  : setup != SetupCommands().end() ? std::string(setup->second.help)
                                                   : HelpTexts().at(""));
    return EXIT_OK;
}

// ---- image ---------------------------------------------------------------------------

int ImageCreate(CArgs args) {
    std::string path = ImagePath(args);
    auto user = args.Option("--user");
    auto capacityText = args.Option("--capacity");
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    if (!user || user->empty())
        return Usage("image create needs --user HANDHELD_USER");
    uint64_t capacity = DEFAULT_CAPACITY;
    if (capacityText && (!ParseNumber(*capacityText, INT64_MAX, &capacity) || capacity == 0))
        return Usage("--capacity needs a positive number of bytes");
    // On a fresh account the data folder does not exist yet; it will hold settings with a
    // password and mail, so only its owner may enter it.
    if (std::filesystem::path(path).parent_path() == std::filesystem::path(DataFolder()) &&
        platform::CreateDirectories(DataFolder(), 0700) != 0)
        return DataError("cannot create the desktop data folder " + DataFolder());
    platform::CFileLock lock;
    if (int r = LockImage(path, &lock))
        return r;
    int32_t e = syncor::CHandheldImage::Create(path, *user, capacity);
    if (e != 0)
        return DataError("cannot create the handheld image " + path + ": " + ImageErrorText(e));
    std::cout << "created handheld image " << path << " for \"" << *user << "\"\n";
    return EXIT_OK;
}

int ImageInfo(CArgs args) {
    std::string path = ImagePath(args);
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    syncor::CHandheldImage image;
    int32_t e = image.Open(path);
    if (e != 0)
        return DataError("cannot use the handheld image " + path + ": " + ImageErrorText(e));
    uint64_t used = 0;
    std::vector<syncor::DatabaseInfo> dbs;
    if ((e = image.UsedBytes(&used)) || (e = image.ListDatabases(&dbs)))
        return DataError("the handheld image cannot be read: " + ImageErrorText(e));
    std::cout << "image:    " << path << "\nuser:     " << image.UserName()
              << "\ncapacity: " << image.Capacity() << " bytes (" << used << " used)\n"
              << "fault:    "
              << (image.FaultAfter() < 0 ? std::string("none")
                                         : "after " + std::to_string(image.FaultAfter()) + " calls")
              << "\n";
    for (const auto& db : dbs) {
        uint32_t count = 0;
        if ((e = image.CountRecords(db.dbId, &count)))
            return DataError("the handheld image cannot be read: " + ImageErrorText(e));
        std::cout << "database: " << db.name << ", " << count << " records\n";
    }
    return EXIT_OK;
}

int ImageSet(CArgs args) {
    std::string path = ImagePath(args);
    auto capacityText = args.Option("--capacity");
    auto faultText = args.Option("--fault-after");
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    if (!capacityText && !faultText)
        return Usage("image set needs --capacity or --fault-after");
    uint64_t capacity = 0, fault = 0;
    if (capacityText && (!ParseNumber(*capacityText, INT64_MAX, &capacity) || capacity == 0))
        return Usage("--capacity needs a positive number of bytes");
    if (faultText && *faultText != "none" && !ParseNumber(*faultText, INT32_MAX, &fault))
        return Usage("--fault-after needs a number of calls or none");
    platform::CFileLock lock;
    if (int r = LockImage(path, &lock))
        return r;
    syncor::CHandheldImage image;
    int32_t e = image.Open(path);
    if (e != 0)
        return DataError("cannot use the handheld image " + path + ": " + ImageErrorText(e));
    if (capacityText && (e = image.SetCapacity(capacity)))
        return DataError("cannot change the capacity: " + ImageErrorText(e));
    if (faultText &&
        (e = image.SetFaultAfter(*faultText == "none" ? -1 : static_cast<int64_t>(fault))))
        return DataError("cannot change the fault plan: " + ImageErrorText(e));
    return EXIT_OK;
}

// ---- users ---------------------------------------------------------------------------

std::string ActionName(const users::CUser& user) {
    uint32_t code = 0;
    if (user.GetPref1(users::MAIL_CREATOR, &code) < 0 &&
        user.GetPref2(users::MAIL_CREATOR, &code) < 0)
        return "not set (the conduit's default)";
    switch (SyncActionOfCode(code)) {
        case ACTION_SYNCHRONIZE:
            return "synchronize (" + std::to_string(code) + ")";
        case ACTION_DESKTOP_OVERWRITES:
            return "desktop overwrites handheld (" + std::to_string(code) + ")";
        case ACTION_HANDHELD_OVERWRITES:
            return "handheld overwrites desktop (" + std::to_string(code) + ")";
        default:
            return "do nothing (" + std::to_string(code) + ")";
    }
}

int UserAdd(CArgs args) {
    std::vector<std::string> rest = args.Positionals();
    if (!args.Error().empty())
        return Usage(args.Error());
    if (rest.size() != 1 || rest[0].empty())
        return Usage("user add needs one NAME");
    if (platform::CreateDirectories(DataFolder(), 0700) != 0)
        return DataError("cannot create the desktop data folder " + DataFolder());
    // Mail Setup offers the mail systems that "mail.inf" lists; a desktop without one gets
    // the list of the client libraries installed here.
    const std::string mailInf =
        platform::ResolveCaseInsensitive(platform::JoinPath(DataFolder(), "mail.inf"));
    if (!platform::FileExists(mailInf)) {
        if (platform::WriteFileAtomic(mailInf, velkin::DEFAULT_MAIL_INF, 0644) != 0)
            return DataError("cannot write " + mailInf);
        std::cout << "installed " << mailInf << "\n";
    }
    users::CUserMgr mgr;
    if (int r = LoadUsers(&mgr, true))
        return r;
    mgr.SetRootDirectory(DataFolder() + "/");
    if (mgr.FindUserByName(rest[0]) != nullptr)
        return DataError("a desktop user named \"" + rest[0] + "\" already exists");
    auto user = std::make_unique<users::CUser>();
    user->m_userName = rest[0];
    users::CUser* added = user.get();
    if (mgr.AddUser(user) != 0)
        return DataError("cannot create the user's folder in " + DataFolder());
    if (mgr.SaveUsers() != 0) {
        // The new folder is not listed anywhere: an empty folder left behind would hold the
        // name for nobody. A folder that is not empty was not ours to remove.
        std::error_code ec;
        std::filesystem::remove(platform::JoinPath(DataFolder(), added->m_userDirectory), ec);
        return DataError("cannot write " + DataFolder() +
                         "/users.dat (is the disk full?); the user was not added");
    }
    std::cout << "added desktop user \"" << added->m_userName << "\" (id " << added->m_userId
              << ", folder " << platform::JoinPath(DataFolder(), added->m_userDirectory) << ")\n";
    return EXIT_OK;
}

int UserList(CArgs args) {
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    users::CUserMgr mgr;
    if (int r = LoadUsers(&mgr, true))
        return r;
    if (mgr.Count() == 0)
        std::cout << "no desktop users\n";
    for (const auto& u : mgr.Users())
        std::cout << u->m_userId << "\t" << u->m_userName << "\t" << u->m_userDirectory
                  << "\tMail: " << ActionName(*u) << "\n";
    return EXIT_OK;
}

int UserSet(CArgs args) {
    users::CUserMgr mgr;
    users::CUser* user = nullptr;
    std::optional<std::string> name = args.Option("--user");
    std::vector<std::string> rest = args.Positionals();
    if (!args.Error().empty())
        return Usage(args.Error());
    if (rest.size() != 2 || rest[0].empty())
        return Usage("user set needs KEY VALUE");
    CArgs pick(name ? std::vector<std::string>{"--user", *name} : std::vector<std::string>{});
    if (int r = FindUser(pick, &mgr, &user))
        return r;
    // The conduit reads the password in its scrambled form only.
    std::string value = rest[1];
    if (platform::CompareNoCaseMb(rest[0], "Password") == 0) {
        bool cut = false;
        value = torrim::EncodePassword(rest[1], &cut);
        if (cut)
            std::cerr << "tethersync: warning: only the first 32 bytes of the password are kept\n";
    }
    profstore::CProfStore store(DataFolder());
    int32_t e = store.WriteText(static_cast<int32_t>(user->m_userId), "Mail", rest[0].c_str(),
                                value.c_str());
    if (e != 0)
        return DataError("cannot write the user's Sync.ini (code " + std::to_string(e) + ")");
    return EXIT_OK;
}

// ---- mail ----------------------------------------------------------------------------

std::string JoinAddresses(const std::vector<std::string>& values) {
    std::string out;
    for (const std::string& v : values) {
        size_t start = 0;
        while (start <= v.size()) {
            size_t end = v.find_first_of(",\n", start);
            if (end == std::string::npos)
                end = v.size();
            std::string one = v.substr(start, end - start);
            size_t a = one.find_first_not_of(" \t"), b = one.find_last_not_of(" \t");
            if (a != std::string::npos) {
                if (!out.empty())
                    out += '\n';
                out += one.substr(a, b - a + 1);
            }
            start = end + 1;
        }
    }
    return out;
}

int MailCompose(CArgs args) {
    std::string path = ImagePath(args);
    std::vector<std::string> to = args.Options("--to"), cc = args.Options("--cc"),
                             bcc = args.Options("--bcc");
    auto subject = args.Option("--subject");
    auto body = args.Option("--body");
    auto bodyFile = args.Option("--body-file");
    auto priority = args.Option("--priority");
    HandheldMail mail;
    mail.signature = args.Flag("--signature");
    mail.confirmRead = args.Flag("--confirm-read");
    mail.confirmDelivery = args.Flag("--confirm-delivery");
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    if (JoinAddresses(to).empty() && JoinAddresses(cc).empty() && JoinAddresses(bcc).empty())
        return Usage("mail compose needs at least one address in --to (or --cc, --bcc)");
    if (body && bodyFile)
        return Usage("give --body or --body-file, not both");
    if (priority) {
        if (*priority == "high")
            mail.priority = 0;
        else if (*priority == "normal")
            mail.priority = 1;
        else if (*priority == "low")
            mail.priority = 2;
        else
            return Usage("--priority is high, normal or low");
    }
    std::string bodyText = body.value_or("");
    if (bodyFile && platform::ReadWholeFile(*bodyFile, &bodyText, 1 << 20) != 0)
        return DataError("cannot read " + *bodyFile);
    // Text typed on a UTF-8 terminal is stored in the handheld's code page.
    mail.texts[SUBJECT] = platform::TerminalToAnsi(ToLineFeeds(subject.value_or("")));
    mail.texts[TO] = platform::TerminalToAnsi(JoinAddresses(to));
    mail.texts[CC] = platform::TerminalToAnsi(JoinAddresses(cc));
    mail.texts[BCC] = platform::TerminalToAnsi(JoinAddresses(bcc));
    mail.texts[BODY] = platform::TerminalToAnsi(ToLineFeeds(bodyText));
    int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    platform::LocalTime t{};
    if (platform::UtcToLocal(now, &t) && t.year >= 1904 && t.year < 1904 + 128) {
        mail.year = t.year;
        mail.month = t.month;
        mail.day = t.day;
        mail.hour = t.hour;
        mail.minute = t.minute;
    }
    syncor::RecordData record;
    if (!PackMail(mail, &record.data))
        return Usage("the mail does not fit in one handheld record (32767 bytes) or holds a NUL");
    platform::CFileLock lock;
    if (int r = LockImage(path, &lock))
        return r;
    syncor::CHandheldImage image;
    syncor::DatabaseInfo db;
    if (int r = OpenMail(path, &image, &db))
        return r;
    record.category = CATEGORY_OUTBOX;
    record.attributes = SYNC_REC_MODIFIED;  // new on the handheld
    int32_t e = image.WriteRecord(db.dbId, &record);
    if (e == SYNC_ERR_NO_ROOM)
        return DataError("the handheld is full");
    if (e != 0)
        return DataError("cannot write the mail: " + ImageErrorText(e));
    std::cout << "mail " << record.id << " is in the handheld outbox\n";
    return EXIT_OK;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

std::string DateText(const HandheldMail& m) {
    if (m.year == 0)
        return "-";
    char buffer[40];
    std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d %02d:%02d", m.year, m.month, m.day,
                  m.hour, m.minute);
    return buffer;
}

std::string Marks(uint8_t attributes, const HandheldMail* m) {
    std::string marks;
    marks += m != nullptr && m->read ? 'R' : '-';
    marks += (attributes & SYNC_REC_MODIFIED) ? 'M' : '-';
    marks += (attributes & SYNC_REC_DELETED) ? 'D' : '-';
    return marks;
}

int MailList(CArgs args) {
    std::string path = ImagePath(args);
    auto categoryText = args.Option("--category");
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    int16_t category = -1;
    if (categoryText && (category = ParseCategory(*categoryText)) < 0)
        return Usage("unknown category " + *categoryText);
    syncor::CHandheldImage image;
    syncor::DatabaseInfo db;
    if (int r = OpenMail(path, &image, &db))
        return r;
    std::vector<syncor::RecordData> records;
    int32_t e = image.ListRecords(db.dbId, &records);
    if (e != 0)
        return DataError("the handheld image cannot be read: " + ImageErrorText(e));
    int shown = 0;
    for (const auto& r : records) {
        if (category >= 0 && r.category != category)
            continue;
        HandheldMail m;
        bool ok = UnpackMail(r.data, &m);
        std::string who = !ok                             ? ""
                          : r.category == CATEGORY_OUTBOX ? "to " + FirstLine(m.texts[TO])
                                                          : FirstLine(m.texts[FROM]);
        std::cout << r.id << "\t" << CategoryName(r.category) << "\t"
                  << Marks(r.attributes, ok ? &m : nullptr) << "\t" << (ok ? DateText(m) : "-")
                  << "\t" << platform::AnsiToTerminal(who) << "\t"
                  << (ok ? platform::AnsiToTerminal(FirstLine(m.texts[SUBJECT]))
                         : "(not a mail record)")
                  << "\n";
        ++shown;
    }
    if (shown == 0)
        std::cout << "no mail\n";
    return EXIT_OK;
}

// One mail named by its ID argument, read from the image's mail database.
struct TakenMail {
    platform::CFileLock lock;       // held by the commands that change the mail
    std::vector<std::string> rest;  // the positional arguments, the ID first
    syncor::CHandheldImage image;
    syncor::DatabaseInfo db;
    syncor::RecordData record;
};

// Reads one mail by the ID argument; a command that changes it takes the image's lock first.
int TakeMail(CArgs& args, TakenMail* taken, size_t positionals, bool write) {
    std::vector<std::string>* rest = &taken->rest;
    syncor::CHandheldImage* image = &taken->image;
    syncor::DatabaseInfo* db = &taken->db;
    syncor::RecordData* record = &taken->record;
    std::string path = ImagePath(args);
    *rest = args.Positionals();
    if (!args.Error().empty())
        return Usage(args.Error());
    if (rest->size() != positionals)
        return Usage("wrong number of arguments");
    uint64_t id = 0;
    if (!ParseNumber((*rest)[0], UINT32_MAX, &id) || id == 0)
        return Usage("ID is a record id");
    if (write) {
        if (int r = LockImage(path, &taken->lock))
            return r;
    }
    if (int r = OpenMail(path, image, db))
        return r;
    int32_t e = image->ReadRecord(db->dbId, static_cast<uint32_t>(id), record);
    if (e == SYNC_ERR_NOT_FOUND)
        return DataError("no handheld mail with id " + (*rest)[0]);
    if (e != 0)
        return DataError("the handheld image cannot be read: " + ImageErrorText(e));
    return EXIT_OK;
}

int MailShow(CArgs args) {
    TakenMail taken;
    if (int r = TakeMail(args, &taken, 1, false))
        return r;
    auto& [lock, rest, image, db, record] = taken;
    HandheldMail m;
    if (!UnpackMail(record.data, &m))
        return DataError("record " + rest[0] + " is not a mail record");
    static const char* const LABELS[MAIL_TEXT_COUNT] = {"Subject", "From",     "To",      "Cc",
                                                        "Bcc",     "Reply-To", "Sent-To", "Body"};
    std::cout << "Id: " << record.id << "\nCategory: " << CategoryName(record.category)
              << "\nMarks: " << Marks(record.attributes, &m) << "\nDate: " << DateText(m)
              << "\nPriority: "
              << (m.priority == 0   ? "high"
                  : m.priority == 2 ? "low"
                                    : "normal")
              << "\nSignature: " << (m.signature ? "yes" : "no")
              << "\nConfirm read: " << (m.confirmRead ? "yes" : "no")
              << "\nConfirm delivery: " << (m.confirmDelivery ? "yes" : "no") << "\n";
    for (int i = 0; i < BODY; ++i)
        if (!m.texts[i].empty())
            std::cout << LABELS[i] << ": " << platform::AnsiToTerminal(m.texts[i]) << "\n";
    std::cout << "\n" << platform::AnsiToTerminal(m.texts[BODY]) << "\n";
    return EXIT_OK;
}

int MailRead(CArgs args) {
    bool unread = args.Flag("--unread");
    TakenMail taken;
    if (int r = TakeMail(args, &taken, 1, true))
        return r;
    auto& [lock, rest, image, db, record] = taken;
    HandheldMail m;
    if (!UnpackMail(record.data, &m))
        return DataError("record " + rest[0] + " is not a mail record");
    m.read = !unread;
    if (!PackMail(m, &record.data))
        return DataError("record " + rest[0] + " cannot be rewritten");
    record.attributes |= SYNC_REC_MODIFIED;
    int32_t e = image.WriteRecord(db.dbId, &record);
    if (e != 0)
        return DataError("cannot write the mail: " + ImageErrorText(e));
    return EXIT_OK;
}

int MailDelete(CArgs args) {
    TakenMail taken;
    if (int r = TakeMail(args, &taken, 1, true))
        return r;
    auto& [lock, rest, image, db, record] = taken;
    int32_t e = image.SetRecordState(db.dbId, record.id,
                                     record.attributes | SYNC_REC_DELETED | SYNC_REC_MODIFIED,
                                     record.category);
    if (e != 0)
        return DataError("cannot delete the mail: " + ImageErrorText(e));
    return EXIT_OK;
}

int MailMove(CArgs args) {
    TakenMail taken;
    if (int r = TakeMail(args, &taken, 2, true))
        return r;
    auto& [lock, rest, image, db, record] = taken;
    int16_t category = ParseCategory(rest[1]);
    if (category < 0)
        return Usage("unknown category " + rest[1]);
    int32_t e =
        image.SetRecordState(db.dbId, record.id, record.attributes | SYNC_REC_MODIFIED, category);
    if (e != 0)
        return DataError("cannot move the mail: " + ImageErrorText(e));
    return EXIT_OK;
}

// ---- preferences ---------------------------------------------------------------------

int PrefsSet(CArgs args) {
    std::string path = ImagePath(args);
    auto pref = args.Option("--pref");
    auto mode = args.Option("--mode");
    auto high = args.Option("--high-priority");
    auto filter = args.Option("--filter");
    auto truncate = args.Option("--truncate");
    auto toWords = args.Option("--to-words");
    auto fromWords = args.Option("--from-words");
    auto subjectWords = args.Option("--subject-words");
    auto signature = args.Option("--signature");
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    uint16_t id = 1;
    if (pref && *pref != "1" && *pref != "2")
        return Usage("--pref is 1 or 2");
    if (pref)
        id = static_cast<uint16_t>(std::stoi(*pref));
    static const std::map<std::string, uint8_t> MODES = {
        {"all", 0}, {"send", 1}, {"filter", 2}, {"unread", 3}};
    if (mode && !MODES.count(*mode))
        return Usage("--mode is all, send, filter or unread");
    if (high && *high != "on" && *high != "off")
        return Usage("--high-priority is on or off");
    if (filter && *filter != "ignore" && *filter != "retrieve")
        return Usage("--filter is ignore or retrieve");
    uint64_t truncation = 0;
    if (truncate && !ParseNumber(*truncate, 0xFFFF, &truncation))
        return Usage("--truncate is a number of bytes up to 65535");

    platform::CFileLock lock;
    if (int r = LockImage(path, &lock))
        return r;
    syncor::CHandheldImage image;
    syncor::DatabaseInfo db;
    if (int r = OpenMail(path, &image, &db))
        return r;
    bool blockOptions = mode || high || filter || truncate || toWords || fromWords || subjectWords;
    if (blockOptions || !signature) {
        MailPreferences prefs;
        syncor::Preference stored;
        int32_t e = image.ReadPreference(syncor::MAIL_CREATOR, id, true, &stored);
        if (e == 0 && !UnpackPreferences(stored.data, &prefs))
            return DataError(
                "the stored Mail preferences are damaged; set every field to replace them");
        if (e != 0 && e != SYNC_ERR_NOT_FOUND)
            return DataError("the handheld image cannot be read: " + ImageErrorText(e));
        if (mode)
            prefs.mode = MODES.at(*mode);
        if (high)
            prefs.highPriority = *high == "on" ? 1 : 0;
        if (filter)
            prefs.filterKind = *filter == "retrieve" ? 1 : 0;
        if (truncate)
            prefs.truncation = static_cast<uint16_t>(truncation);
        if (toWords)
            prefs.toWords = ToLineFeeds(*toWords);
        if (fromWords)
            prefs.fromWords = ToLineFeeds(*fromWords);
        if (subjectWords)
            prefs.subjectWords = ToLineFeeds(*subjectWords);
        syncor::Preference block;
        block.creator = syncor::MAIL_CREATOR;
        block.id = id;
        if (!PackPreferences(prefs, &block.data))
            return Usage("the filter words are too long or hold a NUL");
        if ((e = image.WritePreference(block)))
            return DataError("cannot write the preferences: " + ImageErrorText(e));
    }
    if (signature) {
        syncor::Preference block;
        block.creator = syncor::MAIL_CREATOR;
        block.id = 3;
        block.data = PackSignature(ToLineFeeds(*signature));
        if (block.data.size() > SYNC_MAX_RECORD_SIZE)
            return Usage("the signature is too long");
        if (int32_t e = image.WritePreference(block))
            return DataError("cannot write the signature: " + ImageErrorText(e));
    }
    return EXIT_OK;
}

int PrefsShow(CArgs args) {
    std::string path = ImagePath(args);
    auto pref = args.Option("--pref");
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    if (pref && *pref != "1" && *pref != "2")
        return Usage("--pref is 1 or 2");
    uint16_t id = pref ? static_cast<uint16_t>(std::stoi(*pref)) : 1;
    syncor::CHandheldImage image;
    syncor::DatabaseInfo db;
    if (int r = OpenMail(path, &image, &db))
        return r;
    syncor::Preference stored;
    int32_t e = image.ReadPreference(syncor::MAIL_CREATOR, id, true, &stored);
    MailPreferences prefs;
    if (e == SYNC_ERR_NOT_FOUND) {
        std::cout << "preference " << id << ": not set (defaults)\n";
    } else if (e != 0) {
        return DataError("the handheld image cannot be read: " + ImageErrorText(e));
    } else if (!UnpackPreferences(stored.data, &prefs)) {
        return DataError("the stored Mail preferences are damaged");
    } else {
        static const char* const MODE_NAMES[] = {"all", "send", "filter", "unread"};
        std::cout << "preference " << id << ":\nmode: "
                  << (prefs.mode < 4 ? MODE_NAMES[prefs.mode] : std::to_string(prefs.mode))
                  << "\nhigh priority: " << (prefs.highPriority ? "on" : "off")
                  << "\nfilter: " << (prefs.filterKind ? "retrieve" : "ignore")
                  << "\ntruncate: " << prefs.truncation << "\nto words: " << prefs.toWords
                  << "\nfrom words: " << prefs.fromWords
                  << "\nsubject words: " << prefs.subjectWords << "\n";
    }
    e = image.ReadPreference(syncor::MAIL_CREATOR, 3, true, &stored);
    if (e == 0)
        std::cout << "signature: " << UnpackSignature(stored.data) << "\n";
    return EXIT_OK;
}

// ---- action, log ---------------------------------------------------------------------

int ActionSet(CArgs args) {
    auto name = args.Option("--user");
    auto list = args.Option("--list");
    std::vector<std::string> rest = args.Positionals();
    if (!args.Error().empty())
        return Usage(args.Error());
    if (rest.size() != 1)
        return Usage("action set needs one of synchronize, overwrite, nothing");
    uint32_t code = 0;
    if (rest[0] == "synchronize")
        code = 0;
    else if (rest[0] == "overwrite")
        code = 2;
    else if (rest[0] == "nothing")
        code = 3;
    else
        return Usage("the action is synchronize, overwrite or nothing");
    if (list && *list != "1" && *list != "2" && *list != "both")
        return Usage("--list is 1, 2 or both");
    users::CUserMgr mgr;
    users::CUser* user = nullptr;
    CArgs pick(name ? std::vector<std::string>{"--user", *name} : std::vector<std::string>{});
    if (int r = FindUser(pick, &mgr, &user))
        return r;
    bool ok = true;
    if (!list || *list != "2")
        ok = user->SetPref1(users::MAIL_CREATOR, code) == 1 && ok;
    if (!list || *list != "1")
        ok = user->SetPref2(users::MAIL_CREATOR, code) == 1 && ok;
    if (!ok || mgr.SaveUsers() != 0)
        return DataError("cannot write " + DataFolder() + "/users.dat");
    std::cout << "Mail action of \"" << user->m_userName << "\": " << ActionName(*user) << "\n";
    return EXIT_OK;
}

int ShowLog(CArgs args) {
    users::CUserMgr mgr;
    users::CUser* user = nullptr;
    auto name = args.Option("--user");
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    CArgs pick(name ? std::vector<std::string>{"--user", *name} : std::vector<std::string>{});
    if (int r = FindUser(pick, &mgr, &user))
        return r;
    std::string path =
        platform::JoinPath(platform::JoinPath(DataFolder(), user->m_userDirectory), SYNC_LOG_FILE);
    std::string text;
    int32_t e = platform::ReadWholeFile(path, &text);
    if (e == ENOENT) {
        std::cout << "no sync log yet\n";
        return EXIT_OK;
    }
    if (e != 0)
        return DataError("cannot read " + path);
    std::cout << (text.empty() ? "the sync log is empty\n" : text);
    return EXIT_OK;
}

// ---- sync, demo ----------------------------------------------------------------------

int Sync(CArgs args) {
    std::string path = ImagePath(args);
    std::vector<std::string> conduits = args.Options("--conduit");
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    return RunSync(path, FindConduits(conduits)).exitStatus;
}

int Repair(CArgs args) {
    std::string path = ImagePath(args);
    std::vector<std::string> conduits = args.Options("--conduit");
    auto user = args.Option("--user");
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    if (!user || user->empty())
        return Usage("repair needs --user NAME");
    SyncRequest request;
    request.repair = true;
    request.repairUser = *user;
    return RunSync(path, FindConduits(conduits), request).exitStatus;
}

// The demo's desktop inbox: Maildir file names and messages of the kinds a real inbox holds.
std::vector<std::pair<std::string, std::string>> DemoInbox() {
    std::string report;
    for (int i = 1; i <= 80; ++i)
        report += "Line " + std::to_string(i) +
                  " of the quarterly report: figures, forecasts and the usual remarks.\n";
    const std::string head = "To: Demo User <demo.user@example.org>\nMIME-Version: 1.0\n";
    return {
        {"1796720400.demo1.tethersync",
         "From: Ann Lee <ann.lee@example.org>\n" + head +
             "Subject: Welcome to the desktop inbox\nDate: Tue, 08 Dec 2026 09:00:00 +0000\n"
             "Message-ID: <demo1@example.org>\nContent-Type: text/plain; charset=us-ascii\n\n"
             "This message waits in the desktop Maildir; a sync copies it to the handheld.\n"},
        {"1796724000.demo2.tethersync",
         "From: Bob <bob@example.org>\n" + head +
             "Subject: Plans for Friday\nDate: Tue, 08 Dec 2026 10:00:00 +0000\n"
             "Message-ID: <demo2@example.org>\nContent-Type: text/plain; charset=us-ascii\n\n"
             "Lunch at noon, as usual?\n"},
        {"1796727600.demo3.tethersync",
         "From: Carol White <carol@example.org>\n" + head +
             "Subject: Photos from the trip\nDate: Tue, 08 Dec 2026 11:00:00 +0000\n"
             "Message-ID: <demo3@example.org>\n"
             "Content-Type: multipart/mixed; boundary=\"demo-boundary\"\n\n"
             "--demo-boundary\nContent-Type: text/plain; charset=us-ascii\n\n"
             "Two pictures and the itinerary are attached.\n"
             "--demo-boundary\nContent-Type: image/jpeg; name=\"beach.jpg\"\n"
             "Content-Disposition: attachment; filename=\"beach.jpg\"\n"
             "Content-Transfer-Encoding: base64\n\n/9j/4AAQSkZJRgABAQ==\n"
             "--demo-boundary\nContent-Type: text/plain; name=\"itinerary.txt\"\n"
             "Content-Disposition: attachment; filename=\"itinerary.txt\"\n\n"
             "Day 1: arrive. Day 2: beach.\n--demo-boundary--\n"},
        {"1796731200.demo4.tethersync",
         "From: =?iso-8859-1?q?Ren=E9e_Dupr=E9?= <renee@example.fr>\n" + head +
             "Subject: =?iso-8859-1?q?Caf=E9_cr=E8me?=\nDate: Tue, 08 Dec 2026 12:00:00 +0000\n"
             "Message-ID: <demo4@example.fr>\nContent-Type: text/plain; charset=iso-8859-1\n"
             "Content-Transfer-Encoding: quoted-printable\n\n"
             "Le caf=E9 est pr=EAt. =C0 bient=F4t!\n"},
        {"1796734800.demo5.tethersync",
         "From: =?utf-8?q?J=C3=B6rg?= <joerg@example.de>\n" + head +
             "Subject: =?utf-8?b?R3LDvMOfZSBhdXMgTcO8bmNoZW4=?=\n"
             "Date: Tue, 08 Dec 2026 13:00:00 +0000\nMessage-ID: <demo5@example.de>\n"
             "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64\n\n"
             "R3LDvMOfZSEgRGFzIFRyZWZmZW4gaXN0IGFtIE1vbnRhZyB1bSAxMCBVaHIgaW0gQ2Fmw6kuCg==\n"},
        {"1796738400.demo6.tethersync",
         "From: Finance <finance@example.org>\n" + head +
             "Subject: Quarterly report\nDate: Tue, 08 Dec 2026 14:00:00 +0000\n"
             "Message-ID: <demo6@example.org>\nContent-Type: text/plain; charset=us-ascii\n\n" +
             report},
        {"1796742000.demo7.tethersync",
         "From: Facilities <facilities@example.org>\n" + head +
             "Subject: Server room is too warm\nDate: Tue, 08 Dec 2026 15:00:00 +0000\n"
             "Message-ID: <demo7@example.org>\nX-Priority: 1 (Highest)\nImportance: high\n"
             "Content-Type: text/plain; charset=us-ascii\n\nPlease check the cooling now.\n"},
        {"1796745600.demo8.tethersync",
         "From: Taro Yamada <taro@example.jp>\n" + head +
             "Subject: =?ISO-2022-JP?B?GyRCMnE1RCRON28bKEI=?=\n"
             "Date: Tue, 08 Dec 2026 16:00:00 +0000\nMessage-ID: <demo8@example.jp>\n"
             "Content-Type: text/plain; charset=ISO-2022-JP\n\n"
             "\x1b$BL@F|$N2q5D$O==;~$+$i$G$9!#\x1b(B\n"
             "\x1b$B$h$m$7$/$*4j$$$7$^$9!#\x1b(B\n"},
        {"1796749200.demo9.tethersync",
         "From: News <news@example.org>\n" + head +
             "Subject: Weekly newsletter\nDate: Tue, 08 Dec 2026 17:00:00 +0000\n"
             "Message-ID: <demo9@example.org>\nContent-Type: text/plain; charset=us-ascii\n\n"
             "Left on the desktop by the handheld's filter.\n"},
    };
}

// Ids of the handheld inbox mail, in list order.
std::vector<std::string> DemoInboxIds(const std::string& path) {
    std::vector<std::string> ids;
    syncor::CHandheldImage image;
    syncor::DatabaseInfo db;
    std::vector<syncor::RecordData> records;
    if (OpenMail(path, &image, &db) != 0 || image.ListRecords(db.dbId, &records) != 0)
        return ids;
    for (const auto& r : records)
        if (r.category == CATEGORY_INBOX)
            ids.push_back(std::to_string(r.id));
    return ids;
}

// The files of a Maildir's new/ and cur/ folders: name (with its flags) and subject.
void ShowMaildir(const std::string& maildir) {
    std::vector<std::pair<std::string, std::string>> files;
    std::error_code ec;
    for (const char* sub : {"new", "cur"}) {
        for (const auto& f : std::filesystem::directory_iterator(maildir + "/" + sub, ec)) {
            std::string text;
            std::string subject;
            if (platform::ReadWholeFile(f.path().string(), &text, 1 << 20) == 0) {
                size_t at = text.find("\nSubject: ");
                if (at != std::string::npos)
                    subject = text.substr(at + 10, text.find('\n', at + 10) - at - 10);
            }
            files.emplace_back(std::string(sub) + "/" + f.path().filename().string(), subject);
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& [name, subject] : files)
        std::cout << "  " << name << "\t" << subject << "\n";
}

// Every message of a Maildir's cur/ and new/ folders, as stored.
void ShowSentMail(const std::string& maildir) {
    std::error_code ec;
    for (const char* sub : {"/cur", "/new"}) {
        for (const auto& f : std::filesystem::directory_iterator(maildir + sub, ec)) {
            std::string text;
            if (platform::ReadWholeFile(f.path().string(), &text, 1 << 20) == 0)
                std::cout << "---- " << f.path().filename().string() << "\n" << text;
        }
    }
    std::cout << std::flush;
}

// A value as the shell reads it back unchanged.
std::string ShellQuoted(const std::string& value) {
    std::string quoted = "'";
    for (char c : value)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs one command line of the demo, echoing it.
int DemoStep(const std::vector<std::string>& command) {
    std::cout << "\n$ tethersync";
    for (const std::string& a : command)
        std::cout << " " << (a.find(' ') != std::string::npos ? "\"" + a + "\"" : a);
    std::cout << std::endl;
    return Main(command);
}

// Runs the post office tool (beside this program, else from PATH), echoing it.
int DemoPostOffice(const std::vector<std::string>& arguments) {
    std::error_code ec;
    std::filesystem::path tool =
        std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "postoffice";
    std::vector<std::string> argv = {ec || !std::filesystem::exists(tool) ? "postoffice"
                                                                          : tool.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::cout << "\n$ postoffice";
    for (const std::string& a : arguments)
        std::cout << " " << (a.find(' ') != std::string::npos ? "\"" + a + "\"" : a);
    std::cout << std::endl;
    int exitCode = 0;
    if (platform::RunProcessAndWait(argv, &exitCode) != 0) {
        std::cerr << "tethersync: the postoffice program cannot be started\n";
        return EXIT_DATA;
    }
    return exitCode == 0 ? EXIT_OK : EXIT_DATA;
}

// The VIM run of the demo: a post office with two accounts and an address book; the
// handheld sends to the other account (named as in the book) and to an Internet address
// through the gateway, and receives the account's inbox.
int DemoVim(const std::filesystem::path& dir, const std::vector<std::string>& syncStep) {
    std::cout << "\n# ---- the same with Lotus cc:Mail through VIM, over a post office ----\n";
    const std::string image = (dir / "vim-handheld.img").string();
    setenv("TETHER_IMAGE", image.c_str(), 1);
    const std::string po = (dir / "postoffice").string();
    const std::string passwordFile = (dir / "password.txt").string();
    if (platform::WriteFileAtomic(passwordFile, "demo\n", 0600) != 0)
        return DataError("cannot write " + passwordFile);
    const std::vector<std::vector<std::string>> office = {
        {"create", po, "--name", "Demo Post Office", "--domain", "example.org"},
        {"adduser", po, "demo.user", "--display-name", "Demo User", "--password-file",
         passwordFile},
        {"adduser", po, "ann.lee", "--display-name", "Ann Lee", "--password-file", passwordFile},
        {"addbook", po, "Colleagues", "ann.lee", "--name", "Ann Lee"},
        {"list", po},
    };
    for (const auto& step : office)
        if (int r = DemoPostOffice(step))
            return r;
    const std::string inbox = po + "/accounts/demo.user";
    const auto inboxMail = DemoInbox();
    for (size_t i = 0; i < inboxMail.size() && i < 3; ++i)
        if (platform::WriteFileAtomic(platform::JoinPath(inbox + "/new", inboxMail[i].first),
                                      inboxMail[i].second, 0600) != 0)
            return DataError("cannot write the demo post office");
    // A second desktop user with a handheld of its own.
    const std::string user = "Demo VIM User";
    const std::vector<std::vector<std::string>> steps = {
        {"user", "add", user},
        {"user", "set", "--user", user, "System", "Lotus cc:Mail"},
        {"user", "set", "--user", user, "Interface", "VIM32"},
        {"user", "set", "--user", user, "UserAccount", "demo.user"},
        {"user", "set", "--user", user, "Password", "demo"},
        {"user", "set", "--user", user, "PostOffice", po},
        {"action", "set", "--user", user, "synchronize"},
        {"image", "create", "--user", user, "--capacity", "1048576"},
        {"mail", "compose", "--to", "Ann Lee", "--subject", "Plans", "--body",
         "The plans are ready."},
        {"mail", "compose", "--to", "friend@example.net", "--subject", "Hello from the handheld",
         "--body", "Sent through the Internet gateway."},
    };
    for (const auto& step : steps)
        if (int r = DemoStep(step))
            return r;
    int result = DemoStep(syncStep);
    (void)DemoStep({"mail", "list"});  // shows the handheld after the sync; cannot fail here
    (void)DemoStep({"log", "--user", user});
    std::cout << "\n# Ann Lee's inbox in the post office (" << po << "/accounts/ann.lee):\n";
    ShowMaildir(po + "/accounts/ann.lee");
    std::cout << "\n# the gateway's outgoing Internet mail (" << po << "/gateway):\n";
    ShowSentMail(po + "/gateway");
    return result;
}

// Mail Setup for the demo user: velkin answered by a script picks the profile-based mail
// system (the demo's one profile), tests its logon and writes the user's "Sync.ini".
// Without velkin the settings are written directly.
int DemoMailSetup(const std::string& dir, const std::string& user) {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::filesystem::path velkin = self.parent_path() / "velkin";
    if (ec || !std::filesystem::exists(velkin, ec)) {
        std::cout << "\n(velkin is not built: the demo writes the mail settings itself)\n";
        for (const auto& step : std::vector<std::vector<std::string>>{
                 {"user", "set", "System", "TetherSync Maildir (profiles)"},
                 {"user", "set", "Interface", "MAPI32"},
                 {"user", "set", "Profile", "Demo"}})
            if (int r = DemoStep(step))
                return r;
        return EXIT_OK;
    }
    const std::string script = dir + "/mail-setup.script";
    const std::string text =
        "# Mail Setup for the demo user\n"
        "expect 129\n"
        "select 1006 TetherSync Maildir (profiles)\n"
        "next\n"
        "expect 381\n"
        "finish\n";
    if (platform::WriteFileAtomic(script, text, 0600) != 0)
        return DataError("cannot write " + script);
    std::cout << "\n$ velkin --script mail-setup.script -u \"" << user << "\"\n" << text
              << std::flush;
    int status = 0;
    if (platform::RunProcessAndWait({velkin.string(), "--script", script, "-u", user}, &status) !=
            0 ||
        status != 0)
        return DataError("velkin could not set up the demo user's mail (exit " +
                         std::to_string(status) + ")");
    users::CUserMgr mgr;
    if (int r = LoadUsers(&mgr, true))
        return r;
    if (const users::CUser* u = mgr.FindUserByName(user)) {
        std::string settings;
        const std::string path = platform::JoinPath(
            platform::JoinPath(DataFolder(), u->m_userDirectory), "Sync.ini");
        if (platform::ReadWholeFile(path, &settings, 1 << 20) == 0)
            std::cout << "\n# " << path << ":\n" << settings;
    }
    return EXIT_OK;
}

int Demo(CArgs args) {
    bool keep = args.Flag("--keep");
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    std::error_code ec;
    // Never a temporary folder that others could use to swap the demo's files.
    std::filesystem::path base = platform::TemporaryFolder();
    if (base.empty())
        return DataError("no safe temporary folder ($TMPDIR and /tmp may be changed by others)");
    std::filesystem::path dir;
    std::random_device random;
    for (int i = 0; i < 100 && dir.empty(); ++i) {
        std::filesystem::path candidate = base / ("tethersync-demo-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate, ec) && !ec)
            dir = candidate;
    }
    if (dir.empty())
        return DataError("cannot create a temporary folder in " + base.string());
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ec);
    // Everything the demo touches lives in the temporary folder.
    setenv("TETHER_DATA_DIR", (dir / "data").c_str(), 1);
    setenv("TETHER_PLATFORM_HOME", (dir / "home").c_str(), 1);
    setenv("TETHER_MAPI_CACHE", (dir / "cache").c_str(), 1);
    std::string image = (dir / "handheld.img").string();
    setenv("TETHER_IMAGE", image.c_str(), 1);
    std::cout << "demo folder: " << dir.string() << std::endl;

    std::vector<std::string> conduits = FindConduits({});
    bool testConduit = false;
    std::string error;
    void* torrim =
        conduits.empty() ? nullptr : platform::LoadLibraryByName(conduits.front(), &error);
    if (torrim != nullptr) {
        platform::FreeLibrary(torrim);
    } else {
        void* test = platform::LoadLibraryByName("TetherTestConduit.dll", &error);
        if (test == nullptr) {
            std::cerr << "tethersync: neither the mail conduit nor the test conduit is built: "
                      << error << "\n";
            return EXIT_DATA;
        }
        platform::FreeLibrary(test);
        std::cout << "(the mail conduit is not built yet: the demo uses the test conduit)\n";
        testConduit = true;
        conduits = {"TetherTestConduit.dll"};
    }

    // The desktop side: a Simple MAPI profile over a Maildir with two messages in its inbox.
    std::string maildir = (dir / "Maildir").string();
    for (const char* sub : {"cur", "new", "tmp", ".Sent/cur", ".Sent/new", ".Sent/tmp"})
        if (platform::CreateDirectories(platform::JoinPath(maildir, sub), 0700) != 0)
            return DataError("cannot create the demo Maildir in " + dir.string());
    std::string profiles =
        platform::JoinPath(platform::JoinPath(platform::PlatformHome(), "mapi"), "profiles.ini");
    if (platform::CreateDirectories(platform::JoinPath(platform::PlatformHome(), "mapi"), 0700) !=
        0)
        return DataError("cannot create " + platform::PlatformHome());
    const std::vector<std::pair<const char*, std::string>> profile = {
        {"Store", maildir},           {"Transport", "maildir"},
        {"Sent", maildir + "/.Sent"}, {"Address", "demo.user@example.org"},
        {"DisplayName", "Demo User"}, {"Default", "1"}};
    for (const auto& [key, value] : profile)
        if (!platform::WritePrivateProfileString("Demo", key, value.c_str(), profiles))
            return DataError("cannot write " + profiles);
    for (const auto& [name, text] : DemoInbox())
        if (platform::WriteThroughTemporary(platform::JoinPath(maildir + "/tmp", name),
                                            platform::JoinPath(maildir + "/new", name), text,
                                            0600) != 0)
            return DataError("cannot write the demo Maildir");

    const std::string user = "Demo User";
    if (int r = DemoStep({"user", "add", user}))
        return r;
    if (int r = DemoMailSetup(dir.string(), user))
        return r;
    std::vector<std::vector<std::string>> steps = {
        {"action", "set", "synchronize"},
        {"image", "create", "--user", user, "--capacity", "1048576"},
        {"prefs", "set", "--mode", "filter", "--filter", "ignore", "--subject-words", "newsletter",
         "--truncate", "4000", "--signature", "Sent from my handheld"},
        {"mail", "compose", "--to", "ann.lee@example.org", "--subject", "Lunch on Friday?",
         "--body", "Shall we meet at noon?\nBring the plans.", "--signature"},
        {"mail", "compose", "--to", "bob@example.org", "--cc", "ann.lee@example.org", "--subject",
         "Status", "--body", "All done.", "--priority", "high"},
        {"mail", "list"},
    };
    for (const auto& step : steps)
        if (int r = DemoStep(step))
            return r;
    std::vector<std::string> syncStep = {"sync"};
    for (const std::string& c : conduits) {
        syncStep.push_back("--conduit");
        syncStep.push_back(c);
    }
    int result = DemoStep(syncStep);
    (void)DemoStep({"mail", "list"});  // shows the handheld after the sync; cannot fail here
    (void)DemoStep({"log"});
    if (!testConduit) {
        std::cout << "\n# the mail sent from the handheld outbox (" << maildir << "/.Sent):\n";
        ShowSentMail(maildir + "/.Sent");
    }

    // The handheld user reads the first inbox mail and deletes the second; the next sync
    // carries both changes to the desktop.
    std::vector<std::string> inboxIds = DemoInboxIds(image);
    if (inboxIds.size() >= 2) {
        if (!testConduit) {
            std::cout << "\n# the desktop Maildir before the second sync:\n";
            ShowMaildir(maildir);
        }
        (void)DemoStep({"mail", "read", inboxIds[0]});  // shown by the list after the sync
        (void)DemoStep({"mail", "delete", inboxIds[1]});
        if (int second = DemoStep(syncStep); result == 0)
            result = second;
        (void)DemoStep({"mail", "list"});
        (void)DemoStep({"log"});
        if (!testConduit) {
            std::cout << "\n# the desktop Maildir after the second sync (S = read; the deleted "
                         "mail is gone):\n";
            ShowMaildir(maildir);
        }
    }
    // The VIM run needs the mail conduit itself (not another conduit named by the path).
    if (!testConduit && conduits.size() == 1 &&
        platform::SharedObjectName(conduits.front()) == "libtorrim.so") {
        if (int vim = DemoVim(dir, syncStep); result == 0)
            result = vim;
    }
    if (keep) {
        std::cout << "\nthe demo folder is kept: " << dir.string()
                  << "\nto go on in it, run these lines in your shell:\n";
        for (const char* name :
             {"TETHER_DATA_DIR", "TETHER_PLATFORM_HOME", "TETHER_MAPI_CACHE", "TETHER_IMAGE"})
            std::cout << "export " << name << "=" << ShellQuoted(std::getenv(name)) << "\n";
    } else {
        std::filesystem::remove_all(dir, ec);
    }
    return result;
}

using CommandFn = std::function<int(CArgs)>;

}  // namespace

int Main(const std::vector<std::string>& args) {
    static const std::map<std::string, CommandFn> COMMANDS = [] {
        std::map<std::string, CommandFn> all = {
            {"sync", Sync},
            {"repair", Repair},
            {"image create", ImageCreate},
            {"image info", ImageInfo},
            {"image set", ImageSet},
            {"user add", UserAdd},
            {"user list", UserList},
            {"user set", UserSet},
            {"mail compose", MailCompose},
            {"mail list", MailList},
            {"mail show", MailShow},
            {"mail read", MailRead},
            {"mail delete", MailDelete},
            {"mail move", MailMove},
            {"prefs set", PrefsSet},
            {"prefs show", PrefsShow},
            {"action set", ActionSet},
            {"log", ShowLog},
            {"demo", Demo},
        };
        for (const auto& [name, entry] : SetupCommands())
            all.emplace(name, entry.run);
        return all;
    }();
    if (args.empty()) {
        (void)ShowHelp("");  // showing help cannot fail
        return EXIT_USAGE;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help")
        return ShowHelp("");
    std::string name = args[0];
    size_t used = 1;
    if (!COMMANDS.count(name) && args.size() > 1 && COMMANDS.count(name + " " + args[1])) {
        name += " " + args[1];
        used = 2;
    }
    auto it = COMMANDS.find(name);
    if (it == COMMANDS.end()) {
        bool group = false;
        for (const auto& [key, fn] : COMMANDS)
            if (key.rfind(name + " ", 0) == 0)
                group = true;
        if (group && (args.size() == 1 || WantsHelp(args))) {
            for (const auto& [key, fn] : COMMANDS)
                if (key.rfind(name + " ", 0) == 0)
                    std::cout << "tethersync " << key << "\n";
            return args.size() == 1 ? EXIT_USAGE : EXIT_OK;
        }
        return Usage("unknown command " + name);
    }
    std::vector<std::string> rest(args.begin() + static_cast<long>(used), args.end());
    if (WantsHelp(rest))
        return ShowHelp(name);
    // The demo runs commands through here too: each one's errors name that command.
    std::string outer = std::exchange(g_command, name);
    int status = it->second(CArgs(rest));
    g_command = std::move(outer);
    return status;
}

}  // namespace tethersync

// The commands that take a new user from the demo to real use: Simple MAPI profiles over
// the user's own Maildir (and SMTP), and removing a desktop user again.
#include <cerrno>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "host/tethersync/commands.h"
#include "host/tethersync/sync_runner.h"
#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "providers/simplemapi/mapi_profile.h"
#include "setup/users/user_mgr.h"

namespace tethersync {
namespace {

// "" when `folder` is a Maildir (a folder with cur/, new/ and tmp/), else why not.
std::string MaildirProblem(const std::string& folder) {
    if (!platform::DirectoryExists(folder))
        return "there is no folder " + folder;
    std::string missing;
    for (const char* sub : {"cur", "new", "tmp"})
        if (!platform::DirectoryExists(platform::JoinPath(folder, sub)))
            missing += std::string(missing.empty() ? "" : ", ") + sub + "/";
    if (!missing.empty())
        return folder + " is not a Maildir (it has no " + missing + ")";
    return "";
}

// A folder given on the command line, made absolute: the conduit runs elsewhere.
std::string Absolute(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(folder, ec);
    return ec ? folder : p.lexically_normal().string();
}

bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Reads the profile file; a missing file is empty. false (with the message printed) when it
// exists but cannot be read: it is then never written over.
bool ReadProfiles(const std::string& path, platform::CProfile* ini, int* status) {
    std::string text;
    int32_t e = platform::ReadWholeFile(path, &text, 1 << 20);
    if (e != 0 && e != ENOENT) {
        *status = DataError("cannot read the profile file " + path + " (" +
                            std::error_code(e, std::generic_category()).message() +
                            "); it was left as it is");
        return false;
    }
    ini->Parse(text);
    return true;
}

// Writes the profile file in one step (mode 0600: it may hold passwords).
int WriteProfiles(const std::string& path, const platform::CProfile& ini) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (!folder.empty() && platform::CreateDirectories(folder, 0700) != 0)
        return DataError("cannot create the folder " + folder);
    int32_t e = platform::WriteFileAtomic(path, ini.Serialize(), 0600);
    if (e != 0)
        return DataError("cannot write the profile file " + path + " (" +
                         std::error_code(e, std::generic_category()).message() + ")");
    return EXIT_OK;
}

int ProfileAdd(CArgs args) {
    auto maildir = args.Option("--maildir");
    auto sent = args.Option("--sent");
    auto smtp = args.Option("--smtp");
    auto smtpUser = args.Option("--smtp-user");
    auto smtpPassword = args.Option("--smtp-password");
    auto address = args.Option("--address");
    auto displayName = args.Option("--name");
    bool startTls = args.Flag("--starttls");
    bool makeDefault = args.Flag("--default");
    bool create = args.Flag("--create");
    std::vector<std::string> rest = args.Positionals();
    if (!args.Error().empty())
        return Usage(args.Error());
    if (rest.size() != 1 || rest[0].empty())
        return Usage("profile add needs one profile NAME");
    const std::string& name = rest[0];
    if (name.find_first_of("[]\r\n") != std::string::npos)
        return Usage("a profile name holds no brackets or line breaks");
    if (!maildir || maildir->empty())
        return Usage("profile add needs --maildir FOLDER (the Maildir of your inbox)");
    if (!address || address->find('@') == std::string::npos)
        return Usage("profile add needs --address with your own e-mail address");
    if (smtp && smtp->rfind("smtp://", 0) != 0 && smtp->rfind("smtps://", 0) != 0)
        return Usage("--smtp is a URL: smtp://HOST[:PORT] or smtps://HOST[:PORT]");
    if (!smtp && (smtpUser || smtpPassword || startTls))
        return Usage("--smtp-user, --smtp-password and --starttls go with --smtp URL");
    for (const auto* value :
         {&maildir, &sent, &smtp, &smtpUser, &smtpPassword, &address, &displayName})
        if (*value && HoldsLineBreak(**value))
            return Usage("a value holds a line break");
    // A password read from the standard input stays out of the shell's history and the
    // process list.
    if (smtpPassword && *smtpPassword == "-") {
        std::string line;
        std::getline(std::cin, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        smtpPassword = line;
    }

    std::string store = Absolute(*maildir);
    if (create && !platform::DirectoryExists(store)) {
        for (const char* sub : {"cur", "new", "tmp"})
            if (platform::CreateDirectories(platform::JoinPath(store, sub), 0700) != 0)
                return DataError("cannot create the Maildir " + store);
        std::cout << "created the Maildir " << store << "\n";
    }
    if (std::string problem = MaildirProblem(store); !problem.empty())
        return DataError(problem + (create ? "" : "; --create makes a new, empty Maildir"));
    std::string sentFolder = sent ? Absolute(*sent) : platform::JoinPath(store, ".Sent");
    // The sent folder's own sub-folders are made on the first delivery; a folder that is
    // there must be a Maildir, though.
    if (sent && platform::DirectoryExists(sentFolder))
        if (std::string problem = MaildirProblem(sentFolder); !problem.empty())
            return DataError(problem);

    std::string path = mapi::ProfileFilePath();
    platform::CProfile ini;
    int status = EXIT_OK;
    if (!ReadProfiles(path, &ini, &status))
        return status;
    if (ini.HasSection(name))
        return DataError("a profile named \"" + name + "\" is already in " + path +
                         "; remove it first with: tethersync profile remove \"" + name + "\"");
    ini.SetValue(name, "Store", store);
    ini.SetValue(name, "Transport", smtp ? "smtp" : "maildir");
    ini.SetValue(name, "Sent", sentFolder);
    if (smtp) {
        ini.SetValue(name, "SmtpUrl", *smtp);
        if (smtpUser)
            ini.SetValue(name, "SmtpUser", *smtpUser);
        if (smtpPassword)
            ini.SetValue(name, "SmtpPassword", *smtpPassword);
        if (startTls)
            ini.SetValue(name, "SmtpStartTls", "1");
    }
    ini.SetValue(name, "Address", *address);
    if (displayName)
        ini.SetValue(name, "DisplayName", *displayName);
    if (makeDefault) {
        // Only one profile is the default: logons that name none take the first one marked.
        for (const std::string& other : ini.SectionNames())
            if (platform::CompareNoCaseMb(other, name) != 0)
                ini.DeleteKey(other, "Default");
        ini.SetValue(name, "Default", "1");
    }
    if (int r = WriteProfiles(path, ini))
        return r;
    std::cout << "added the Simple MAPI profile \"" << name << "\" (" << path << ")\n"
              << "use it for a desktop user with:\n"
              << "  tethersync user set System \"Simple MAPI\"\n"
              << "  tethersync user set Interface MAPI32\n"
              << "  tethersync user set Profile \"" << name << "\"\n";
    return EXIT_OK;
}

int ProfileList(CArgs args) {
    if (const std::string problem = args.NothingLeft(); !problem.empty())
        return Usage(problem);
    std::string path = mapi::ProfileFilePath();
    std::vector<mapi::MapiProfile> profiles = mapi::LoadProfiles(path);
    if (profiles.empty()) {
        std::cout << "no Simple MAPI profiles (" << path
                  << "); add one with: tethersync profile add NAME --maildir FOLDER "
                     "--address ADDRESS\n";
        return EXIT_OK;
    }
    std::cout << "profiles in " << path << ":\n";
    for (const mapi::MapiProfile& p : profiles) {
        std::cout << p.name << (p.isDefault ? " (default)" : "") << "\n  maildir: " << p.store;
        if (std::string problem = MaildirProblem(p.store); !problem.empty())
            std::cout << "  [" << problem << "]";
        std::cout << "\n  sent:    " << p.sent << "\n  address: " << p.address
                  << (p.displayName.empty() ? "" : " (" + p.displayName + ")") << "\n";
        if (p.transport == "smtp")
            std::cout << "  smtp:    " << p.smtpUrl
                      << (p.smtpUser.empty() ? "" : ", user " + p.smtpUser)
                      << (p.smtpPassword.empty() ? "" : ", password set")
                      << (p.smtpStartTls ? ", STARTTLS" : "") << "\n";
        else
            std::cout << "  sending: into the sent folder only (no SMTP)\n";
    }
    return EXIT_OK;
}

int ProfileRemove(CArgs args) {
    std::vector<std::string> rest = args.Positionals();
    if (!args.Error().empty())
        return Usage(args.Error());
    if (rest.size() != 1 || rest[0].empty())
        return Usage("profile remove needs one profile NAME");
    std::string path = mapi::ProfileFilePath();
    platform::CProfile ini;
    int status = EXIT_OK;
    if (!ReadProfiles(path, &ini, &status))
        return status;
    if (!ini.HasSection(rest[0]))
        return DataError("no profile named \"" + rest[0] + "\" in " + path);
    ini.DeleteSection(rest[0]);
    if (int r = WriteProfiles(path, ini))
        return r;
    std::cout << "removed the profile \"" << rest[0] << "\"; its Maildir was left as it is\n";
    return EXIT_OK;
}

int UserRemove(CArgs args) {
    std::vector<std::string> rest = args.Positionals();
    if (!args.Error().empty())
        return Usage(args.Error());
    if (rest.size() != 1 || rest[0].empty())
        return Usage("user remove needs one NAME");
    std::string data = platform::DesktopDataFolder();
    users::CUserMgr mgr;
    int32_t e = mgr.LoadUsers(data + "/");
    if (e == users::USERS_CANNOT_OPEN)
        return DataError("no desktop users yet (" + data + "/users.dat)");
    if (e != 0)
        return DataError("the desktop user list " + data + "/users.dat is damaged (code " +
                         std::to_string(e) + "); it was left as it is");
    users::CUser* found = mgr.FindUserByName(rest[0]);
    if (found == nullptr)
        return DataError("no desktop user named \"" + rest[0] + "\"");
    std::unique_ptr<users::CUser> user = mgr.RemoveUser(found->m_userId);
    if (mgr.SaveUsers() != 0)
        return DataError("cannot write " + data + "/users.dat");
    // The folder holds only what this system wrote for the user (settings, sync log, the
    // conduit's state); a name that leads out of the data folder is never followed.
    const std::string& folder = user->m_userDirectory;
    bool inside =
        !folder.empty() && folder.find('/') == std::string::npos && folder != "." && folder != "..";
    bool shared = false;
    for (const auto& other : mgr.Users())
        if (platform::CompareNoCaseMb(other->m_userDirectory, folder) == 0)
            shared = true;
    std::string where = platform::JoinPath(data, folder);
    std::error_code ec;
    if (inside && !shared)
        std::filesystem::remove_all(where, ec);
    std::cout << "removed the desktop user \"" << user->m_userName << "\"";
    if (inside && !shared && !ec)
        std::cout << " and its folder " << where;
    std::cout << "\n";
    if (ec)
        return DataError("cannot remove the folder " + where + ": " + ec.message());
    return EXIT_OK;
}

}  // namespace

const std::map<std::string, CommandEntry>& SetupCommands() {
    static const std::map<std::string, CommandEntry> commands = {
        {"profile add",
         {ProfileAdd,
          R"(usage: tethersync profile add NAME --maildir FOLDER --address ADDRESS [--name TEXT]
                           [--sent FOLDER] [--create] [--default]
                           [--smtp URL [--smtp-user USER] [--smtp-password PASSWORD|-]
                            [--starttls]]

Adds a Simple MAPI profile: the mail system that a desktop user's Mail settings name with
Interface MAPI32 and Profile NAME.
--maildir: the Maildir of your inbox (a folder with cur/, new/ and tmp/); --create makes
  a new, empty one when the folder does not exist.
--address, --name: your own address and name, the sender of the mail you send.
--sent: the Maildir that receives sent mail (default: FOLDER/.Sent).
--smtp: send through this server (smtp://HOST[:PORT], smtps://HOST[:PORT]) and keep a copy
  in the sent folder; without it, sent mail only goes into the sent folder.
--smtp-password -: read the password from the standard input.
--default: the profile used when the settings name none.
The profile file ($TETHER_MAPI_PROFILES, else mapi/profiles.ini in the platform folder) is
written in one step with mode 0600. An existing profile of that name is never replaced.
)"}},
        {"profile list", {ProfileList, R"(usage: tethersync profile list

Lists the Simple MAPI profiles: Maildir (and whether it is one), sent folder, own address
and how mail is sent. Passwords are not shown.
)"}},
        {"profile remove", {ProfileRemove, R"(usage: tethersync profile remove NAME

Removes a Simple MAPI profile from the profile file. The Maildir is left as it is.
)"}},
        {"user remove", {UserRemove, R"(usage: tethersync user remove NAME

Removes a desktop user from users.dat and deletes the user's folder in the desktop data
folder (its Mail settings, sync log and the conduit's state). Handheld images and Maildirs
are left as they are.
)"}},
    };
    return commands;
}

}  // namespace tethersync

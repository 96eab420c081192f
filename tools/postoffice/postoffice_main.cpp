// postoffice: creates a VIM post office folder and manages its accounts and address books,
// so that nobody edits the user list or the books by hand.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_util.h"
#include "platform/terminal_text.h"
#include "providers/vim/post_office.h"
#include "providers/vim/vim.h"

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

const char* const USAGE =
    "usage: postoffice COMMAND FOLDER ...\n"
    "\n"
    "  create FOLDER [--name TEXT] [--domain DOMAIN] [--gateway NAME]\n"
    "                [--transport maildir|smtp] [--gateway-drop MAILDIR] [--smtp-url URL]\n"
    "      Creates a post office: settings, an empty user list, accounts/ and books/.\n"
    "      Accounts appear in mail as NAME@DOMAIN (default postoffice.invalid); addresses\n"
    "      \"someone@host at GATEWAY\" (default Internet-Mail) leave through the gateway:\n"
    "      into the Maildir --gateway-drop (default FOLDER/gateway) or by SMTP to --smtp-url.\n"
    "  adduser FOLDER NAME [--display-name TEXT] [--password-file FILE]\n"
    "      Adds an account with its inbox. The password is the first line of FILE, else it\n"
    "      is read from standard input (on a terminal asked for without echo); it is stored\n"
    "      as a salted hash.\n"
    "  passwd FOLDER NAME [--password-file FILE]\n"
    "      Sets an account's password, read as for adduser.\n"
    "  addbook FOLDER BOOK ADDRESS [--name TEXT]\n"
    "      Adds an entry to the address book BOOK (created when missing). ADDRESS is an\n"
    "      account name or \"someone@host at GATEWAY\".\n"
    "  list FOLDER\n"
    "      Shows the settings, the accounts and the address books.\n";

int Usage(const std::string& problem) {
    if (!problem.empty()) {
        std::fprintf(stderr, "postoffice: %s\n", problem.c_str());
    }
    std::fputs(USAGE, problem.empty() ? stdout : stderr);
    return problem.empty() ? EXIT_OK : EXIT_USAGE;
}

int Failed(const std::string& what, int32_t status) {
    std::fprintf(stderr, "postoffice: %s (VIM status %d)\n", what.c_str(), status);
    return EXIT_FAILED;
}

// Positional arguments and "--key value" options of one command.
struct Arguments {
    std::vector<std::string> positionals;
    std::vector<std::pair<std::string, std::string>> options;
    std::string error;

    const std::string* Option(const char* name) const {
        for (const auto& [key, value] : options) {
            if (key == name) {
                return &value;
            }
        }
        return nullptr;
    }
};

Arguments Parse(int argc, char** argv, int from, std::vector<std::string> known) {
    Arguments args;
    for (int i = from; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) == 0) {
            bool ok = false;
            for (const std::string& name : known) {
                ok = ok || name == arg;
            }
            if (!ok) {
                args.error = "unknown option " + arg;
                return args;
            }
            if (i + 1 >= argc) {
                args.error = arg + " needs a value";
                return args;
            }
            args.options.emplace_back(arg, argv[++i]);
        } else {
            args.positionals.push_back(arg);
        }
    }
    return args;
}

// The password: the first line of --password-file, else a line of standard input.
bool ReadPassword(const Arguments& args, std::string* password) {
    if (const std::string* file = args.Option("--password-file")) {
        if (platform::ReadWholeFile(*file, password, 4096) != 0) {
            return false;
        }
        password->resize(std::min(password->find('\n'), password->size()));
        if (!password->empty() && password->back() == '\r') {
            password->pop_back();
        }
        return true;
    }
    return platform::ReadSecretLine("Password: ", password);
}

int Open(const std::string& folder, vim::CPostOffice* office) {
    const int32_t status = office->Open(folder);
    if (status == VIMSTS_NO_POST_OFFICE) {
        return Failed(folder + " is no post office (or cannot be read)", status);
    }
    if (status != 0) {
        return Failed("the user list of " + folder + " is damaged", status);
    }
    return EXIT_OK;
}

int Create(const Arguments& args) {
    if (args.positionals.size() != 1) {
        return Usage("create needs FOLDER");
    }
    vim::PostOfficeConfig config;
    if (const std::string* v = args.Option("--name"))
        config.name = *v;
    if (const std::string* v = args.Option("--domain"))
        config.domain = *v;
    if (const std::string* v = args.Option("--gateway"))
        config.gateway = *v;
    if (const std::string* v = args.Option("--transport"))
        config.transport = *v;
    if (const std::string* v = args.Option("--gateway-drop"))
        config.gatewayDrop = *v;
    if (const std::string* v = args.Option("--smtp-url"))
        config.smtpUrl = *v;
    if (config.transport != "maildir" && config.transport != "smtp") {
        return Usage("--transport is maildir or smtp");
    }
    if (config.transport == "smtp" && config.smtpUrl.empty()) {
        return Usage("--transport smtp needs --smtp-url");
    }
    const int32_t status = vim::CPostOffice::Create(args.positionals[0], config);
    if (status == VIMSTS_BAD_PARAM) {
        return Failed(args.positionals[0] +
                          " already holds a post office, or a setting holds a "
                          "line break",
                      status);
    }
    if (status != 0) {
        return Failed("cannot create " + args.positionals[0], status);
    }
    std::printf("post office created in %s\n", args.positionals[0].c_str());
    return EXIT_OK;
}

int AddUser(const Arguments& args) {
    if (args.positionals.size() != 2) {
        return Usage("adduser needs FOLDER NAME");
    }
    vim::CPostOffice office;
    if (int r = Open(args.positionals[0], &office)) {
        return r;
    }
    if (!vim::IsValidName(args.positionals[1])) {
        return Usage(
            "an account name is 1-64 letters, digits, '.', '-', '_' (not starting with "
            "'.')");
    }
    std::string password;
    if (!ReadPassword(args, &password)) {
        return Usage("no password given on standard input");
    }
    const std::string* display = args.Option("--display-name");
    const int32_t status =
        office.AddUser(args.positionals[1], display != nullptr ? *display : "", password);
    if (status == VIMSTS_BAD_PARAM) {
        return Failed("the account " + args.positionals[1] + " exists already", status);
    }
    if (status != 0) {
        return Failed("cannot add the account", status);
    }
    std::printf("account %s added\n", args.positionals[1].c_str());
    return EXIT_OK;
}

int Passwd(const Arguments& args) {
    if (args.positionals.size() != 2) {
        return Usage("passwd needs FOLDER NAME");
    }
    vim::CPostOffice office;
    if (int r = Open(args.positionals[0], &office)) {
        return r;
    }
    std::string password;
    if (!ReadPassword(args, &password)) {
        return Usage("no password given on standard input");
    }
    const int32_t status = office.SetPassword(args.positionals[1], password);
    if (status == VIMSTS_UNKNOWN_USER) {
        return Failed("no account " + args.positionals[1], status);
    }
    if (status != 0) {
        return Failed("cannot change the password", status);
    }
    std::printf("password of %s changed\n", args.positionals[1].c_str());
    return EXIT_OK;
}

int AddBook(const Arguments& args) {
    if (args.positionals.size() != 3) {
        return Usage("addbook needs FOLDER BOOK ADDRESS");
    }
    vim::CPostOffice office;
    if (int r = Open(args.positionals[0], &office)) {
        return r;
    }
    const std::string* name = args.Option("--name");
    const int32_t status =
        office.AddBookEntry(args.positionals[1], name != nullptr ? *name : "", args.positionals[2]);
    if (status == VIMSTS_BAD_PARAM) {
        return Usage(
            "a book name is 1-64 letters, digits, '.', '-', '_'; names and addresses hold "
            "no line breaks or angle brackets");
    }
    if (status != 0) {
        return Failed("cannot write the address book", status);
    }
    std::printf("entry added to %s\n", args.positionals[1].c_str());
    return EXIT_OK;
}

int List(const Arguments& args) {
    if (args.positionals.size() != 1) {
        return Usage("list needs FOLDER");
    }
    vim::CPostOffice office;
    if (int r = Open(args.positionals[0], &office)) {
        return r;
    }
    const vim::PostOfficeConfig& config = office.Config();
    std::printf("name\t%s\ndomain\t%s\ngateway\t%s\ntransport\t%s\n", config.name.c_str(),
                config.domain.c_str(), config.gateway.c_str(), config.transport.c_str());
    for (const vim::UserEntry& user : office.Users()) {
        std::printf("account\t%s\t%s\n", user.name.c_str(), user.displayName.c_str());
    }
    for (const std::string& book : office.BookNames()) {
        std::vector<vim::BookEntry> entries;
        const int32_t status = office.LoadBook(book, 65001, &entries);
        std::printf(
            "book\t%s\t%s\n", book.c_str(),
            status == 0 ? (std::to_string(entries.size()) + " entries").c_str() : "damaged");
    }
    return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        return argc < 2 ? Usage("a command is needed") : Usage("");
    }
    const std::string command = argv[1];
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            return Usage("");
        }
    }
    if (command == "create") {
        Arguments args = Parse(
            argc, argv, 2,
            {"--name", "--domain", "--gateway", "--transport", "--gateway-drop", "--smtp-url"});
        return args.error.empty() ? Create(args) : Usage(args.error);
    }
    if (command == "adduser") {
        Arguments args = Parse(argc, argv, 2, {"--display-name", "--password-file"});
        return args.error.empty() ? AddUser(args) : Usage(args.error);
    }
    if (command == "passwd") {
        Arguments args = Parse(argc, argv, 2, {"--password-file"});
        return args.error.empty() ? Passwd(args) : Usage(args.error);
    }
    if (command == "addbook") {
        Arguments args = Parse(argc, argv, 2, {"--name"});
        return args.error.empty() ? AddBook(args) : Usage(args.error);
    }
    if (command == "list") {
        Arguments args = Parse(argc, argv, 2, {});
        return args.error.empty() ? List(args) : Usage(args.error);
    }
    return Usage("unknown command " + command);
}

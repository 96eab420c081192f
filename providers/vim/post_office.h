// A VIM post office: a folder holding the post office settings, the user list, one Maildir
// per account and the address books.
//
//   <post office>/postoffice.ini    [PostOffice] Name, Domain, Gateway, Transport,
//                                   GatewayDrop, SmtpUrl, SmtpUser, SmtpPassword, SmtpStartTls
//   <post office>/users             one account per line "name:password hash:Display Name"
//                                   (mode 0600; the hash is a salted crypt(3) hash)
//   <post office>/accounts/<name>/  the account's inbox (Maildir), with .Trash/ beside it
//   <post office>/books/<Book>.txt  address books, one entry per line "Name <address>"
//
// Results are the VIM status codes of providers/vim/vim.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vim {

struct UserEntry {
    std::string name;         // account name (letters, digits, '.', '-', '_')
    std::string hash;         // crypt(3) hash of the password with its salt
    std::string displayName;  // may be empty
};

struct BookEntry {
    std::string name;     // display name ("" when the line gives only an address)
    std::string address;  // an account of the post office, or "someone@host"
};

struct PostOfficeConfig {
    std::string name;                           // the post office's own name
    std::string domain = "postoffice.invalid";  // accounts are <name>@<domain> in mail headers
    std::string gateway = "Internet-Mail";      // " at <gateway>" addresses go to the Internet
    std::string transport = "maildir";          // "maildir" (the drop folder) or "smtp"
    std::string gatewayDrop;                    // Maildir the maildir transport delivers into
    std::string smtpUrl;
    std::string smtpUser;
    std::string smtpPassword;
    bool smtpStartTls = false;
};

// The user list's text to entries. 0, or VIMSTS_DAMAGED_FILE for a line that is not
// "name:hash[:display name]" with a valid account name, or for a name given twice.
// Empty lines and lines starting with '#' are skipped.
[[nodiscard]] int32_t ParseUserList(std::string_view text, std::vector<UserEntry>* out);
std::string FormatUserList(const std::vector<UserEntry>& users);

// An address book's text (UTF-8, converted to `codePage`) to entries. 0, or
// VIMSTS_DAMAGED_FILE for a NUL byte. Lines that name no address are skipped.
[[nodiscard]] int32_t ParseAddressBook(std::string_view text, uint32_t codePage,
                                       std::vector<BookEntry>* out);

// A new salted hash of a password ("" when hashing failed); whether a password matches one.
std::string HashPassword(std::string_view password);
bool CheckPassword(std::string_view password, const std::string& hash);

// True for a usable account or book name: 1-64 letters, digits, '.', '-', '_', not
// starting with '.'.
bool IsValidName(std::string_view name);

class CPostOffice {
public:
    // Reads the settings and the user list of the post office at `folder`.
    // 0; VIMSTS_NO_POST_OFFICE when the folder, its settings or its user list is missing
    // or cannot be read; VIMSTS_DAMAGED_FILE for a damaged user list.
    [[nodiscard]] int32_t Open(const std::string& folder);

    // Checks an account's password. 0, VIMSTS_UNKNOWN_USER (no such account, compared
    // ignoring case), VIMSTS_BAD_PASSWORD.
    [[nodiscard]] int32_t Authenticate(std::string_view user, std::string_view password,
                                       UserEntry* out) const;
    // The account of that name (ignoring case), or null.
    const UserEntry* FindUser(std::string_view name) const;
    // The account whose name or display name equals `text` ignoring case, or null.
    const UserEntry* FindUserByNameOrDisplay(std::string_view text) const;

    const std::string& Folder() const { return m_folder; }
    const PostOfficeConfig& Config() const { return m_config; }
    const std::vector<UserEntry>& Users() const { return m_users; }
    std::string AccountFolder(const UserEntry& user) const;
    std::string UserListPath() const;
    std::string BooksFolder() const;

    // Names of the address books (file names without ".txt"), sorted.
    std::vector<std::string> BookNames() const;
    // 0, VIMSTS_NO_SUCH_BOOK, VIMSTS_DAMAGED_FILE.
    [[nodiscard]] int32_t LoadBook(std::string_view name, uint32_t codePage,
                                   std::vector<BookEntry>* out) const;

    // ---- administration (the post office tool) ----
    // Creates the folder with its settings, an empty user list and the sub-folders.
    // 0, VIMSTS_BAD_PARAM (the folder already holds a post office), or VIMSTS_FAILURE.
    [[nodiscard]] static int32_t Create(const std::string& folder, const PostOfficeConfig& config);
    // 0, VIMSTS_BAD_PARAM (bad name or already there), VIMSTS_FAILURE.
    [[nodiscard]] int32_t AddUser(std::string_view name, std::string_view displayName,
                                  std::string_view password);
    // 0, VIMSTS_UNKNOWN_USER, VIMSTS_FAILURE.
    [[nodiscard]] int32_t SetPassword(std::string_view name, std::string_view password);
    // Appends "Name <address>" to the book (created when missing). 0, VIMSTS_BAD_PARAM,
    // VIMSTS_FAILURE.
    [[nodiscard]] int32_t AddBookEntry(std::string_view book, std::string_view name,
                                       std::string_view address);

private:
    [[nodiscard]] int32_t SaveUsers() const;

    std::string m_folder;
    PostOfficeConfig m_config;
    std::vector<UserEntry> m_users;
};

// The settings file of a post office folder.
std::string PostOfficeSettingsPath(const std::string& folder);

}  // namespace vim

// The post office folder: settings, user list with password hashes, accounts and books.
#include "providers/vim/post_office.h"

#include <crypt.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/profile.h"
#include "providers/simplemapi/address_book.h"
#include "providers/simplemapi/text_codec.h"
#include "providers/vim/vim.h"

namespace vim {
namespace {

namespace fs = std::filesystem;

constexpr const char* SETTINGS_FILE = "postoffice.ini";
constexpr const char* SECTION = "PostOffice";
constexpr const char* USERS_FILE = "users";
constexpr size_t MAX_LIST_BYTES = 16 << 20;
// yescrypt, the C library's strongest default; the salt comes from the system's random
// source.
constexpr const char* HASH_PREFIX = "$y$";

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return platform::CompareNoCaseMb(a, b) == 0;
}

std::string ReadSetting(const std::string& file, const char* key, const char* def) {
    char buffer[1024];
    platform::GetPrivateProfileString(SECTION, key, def, buffer, sizeof buffer, file);
    return buffer;
}

// Calls `line` for every line of `text` without its line end.
template <typename F>
void ForEachLine(std::string_view text, F line) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        line(text.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
}

}  // namespace

bool IsValidName(std::string_view name) {
    if (name.empty() || name.size() > 64 || name.front() == '.') {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == '_';
    });
}

int32_t ParseUserList(std::string_view text, std::vector<UserEntry>* out) {
    out->clear();
    int32_t result = 0;
    ForEachLine(text, [&](std::string_view line) {
        if (result != 0) {
            return;
        }
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (Trim(line).empty() || line.front() == '#') {
            return;
        }
        const size_t first = line.find(':');
        const size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
        UserEntry user;
        user.name = std::string(line.substr(0, first));
        if (first != std::string_view::npos) {
            user.hash = std::string(line.substr(first + 1, second == std::string_view::npos
                                                               ? std::string_view::npos
                                                               : second - first - 1));
        }
        if (second != std::string_view::npos) {
            user.displayName = std::string(line.substr(second + 1));
        }
        if (!IsValidName(user.name) || user.hash.empty() ||
            user.displayName.find('\0') != std::string::npos ||
            user.hash.find('\0') != std::string::npos) {
            result = VIMSTS_DAMAGED_FILE;
            return;
        }
        for (const UserEntry& other : *out) {
            if (EqualNoCase(other.name, user.name)) {
                result = VIMSTS_DAMAGED_FILE;
                return;
            }
        }
        out->push_back(std::move(user));
    });
    if (result != 0) {
        out->clear();
    }
    return result;
}

std::string FormatUserList(const std::vector<UserEntry>& users) {
    std::string text = "# Accounts of this post office: name:password hash:display name\n";
    for (const UserEntry& user : users) {
        text += user.name + ":" + user.hash + ":" + user.displayName + "\n";
    }
    return text;
}

int32_t ParseAddressBook(std::string_view text, uint32_t codePage, std::vector<BookEntry>* out) {
    out->clear();
    if (text.find('\0') != std::string_view::npos) {
        return VIMSTS_DAMAGED_FILE;
    }
    const std::string converted = mapi::Utf8ToCodePage(text, codePage);
    ForEachLine(converted, [&](std::string_view line) {
        mapi::AddressEntry entry;
        const std::string_view trimmed = Trim(line);
        if (mapi::ParseAddressLine(trimmed, &entry)) {
            out->push_back(BookEntry{std::move(entry.name), std::move(entry.address)});
        } else if (!trimmed.empty() && trimmed.front() != '#' &&
                   trimmed.find(' ') == std::string_view::npos) {
            // A bare account name.
            out->push_back(BookEntry{std::string(), std::string(trimmed)});
        }
    });
    return 0;
}

std::string HashPassword(std::string_view password) {
    if (password.find('\0') != std::string_view::npos) {
        return std::string();
    }
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (crypt_gensalt_rn(HASH_PREFIX, 0, nullptr, 0, salt, sizeof salt) == nullptr) {
        return std::string();
    }
    auto data = std::make_unique<crypt_data>();
    const std::string copy(password);
    const char* hash = crypt_rn(copy.c_str(), salt, data.get(), sizeof(crypt_data));
    if (hash == nullptr || hash[0] == '*') {
        return std::string();
    }
    return hash;
}

bool CheckPassword(std::string_view password, const std::string& hash) {
    if (hash.empty() || password.find('\0') != std::string_view::npos) {
        return false;
    }
    auto data = std::make_unique<crypt_data>();
    const std::string copy(password);
    const char* computed = crypt_rn(copy.c_str(), hash.c_str(), data.get(), sizeof(crypt_data));
    if (computed == nullptr || computed[0] == '*') {
        return false;
    }
    // Compared in full whatever the first difference, so the time taken tells nothing.
    const size_t size = std::strlen(computed);
    if (size != hash.size()) {
        return false;
    }
    unsigned char diff = 0;
    for (size_t i = 0; i < size; ++i) {
        diff |= static_cast<unsigned char>(computed[i] ^ hash[i]);
    }
    return diff == 0;
}

std::string PostOfficeSettingsPath(const std::string& folder) {
    return platform::JoinPath(folder, SETTINGS_FILE);
}

int32_t CPostOffice::Open(const std::string& folder) {
    m_folder = folder;
    m_users.clear();
    const std::string settings = PostOfficeSettingsPath(folder);
    if (folder.empty() || !platform::DirectoryExists(folder) || !platform::FileExists(settings)) {
        return VIMSTS_NO_POST_OFFICE;
    }
    std::string probe;
    if (platform::ReadWholeFile(settings, &probe, MAX_LIST_BYTES) != 0) {
        return VIMSTS_NO_POST_OFFICE;
    }
    m_config = PostOfficeConfig{};
    m_config.name = ReadSetting(settings, "Name", "");
    m_config.domain = ReadSetting(settings, "Domain", m_config.domain.c_str());
    m_config.gateway = ReadSetting(settings, "Gateway", m_config.gateway.c_str());
    m_config.transport = platform::LowerMb(ReadSetting(settings, "Transport", "maildir"));
    m_config.gatewayDrop =
        ReadSetting(settings, "GatewayDrop", platform::JoinPath(folder, "gateway").c_str());
    m_config.smtpUrl = ReadSetting(settings, "SmtpUrl", "");
    m_config.smtpUser = ReadSetting(settings, "SmtpUser", "");
    m_config.smtpPassword = ReadSetting(settings, "SmtpPassword", "");
    m_config.smtpStartTls = ReadSetting(settings, "SmtpStartTls", "0") == "1";

    std::string users;
    if (platform::ReadWholeFile(UserListPath(), &users, MAX_LIST_BYTES) != 0) {
        return VIMSTS_NO_POST_OFFICE;
    }
    return ParseUserList(users, &m_users);
}

const UserEntry* CPostOffice::FindUser(std::string_view name) const {
    for (const UserEntry& user : m_users) {
        if (EqualNoCase(user.name, name)) {
            return &user;
        }
    }
    return nullptr;
}

const UserEntry* CPostOffice::FindUserByNameOrDisplay(std::string_view text) const {
    text = Trim(text);
    if (const UserEntry* user = FindUser(text)) {
        return user;
    }
    for (const UserEntry& user : m_users) {
        if (!user.displayName.empty() && EqualNoCase(user.displayName, text)) {
            return &user;
        }
    }
    return nullptr;
}

int32_t CPostOffice::Authenticate(std::string_view user, std::string_view password,
                                  UserEntry* out) const {
    const UserEntry* entry = FindUser(Trim(user));
    if (entry == nullptr) {
        return VIMSTS_UNKNOWN_USER;
    }
    if (!CheckPassword(password, entry->hash)) {
        return VIMSTS_BAD_PASSWORD;
    }
    if (out != nullptr) {
        *out = *entry;
    }
    return 0;
}

std::string CPostOffice::AccountFolder(const UserEntry& user) const {
    return platform::JoinPath(platform::JoinPath(m_folder, "accounts"), user.name);
}

std::string CPostOffice::UserListPath() const {
    return platform::JoinPath(m_folder, USERS_FILE);
}

std::string CPostOffice::BooksFolder() const {
    return platform::JoinPath(m_folder, "books");
}

std::vector<std::string> CPostOffice::BookNames() const {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(BooksFolder(), error), end; !error && it != end;
         it.increment(error)) {
        const fs::path& path = it->path();
        if (path.extension() == ".txt" && IsValidName(path.stem().string()) &&
            platform::FileExists(path.string())) {
            names.push_back(path.stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

int32_t CPostOffice::LoadBook(std::string_view name, uint32_t codePage,
                              std::vector<BookEntry>* out) const {
    out->clear();
    if (!IsValidName(name)) {
        return VIMSTS_NO_SUCH_BOOK;
    }
    std::string text;
    const int32_t error = platform::ReadWholeFile(
        platform::JoinPath(BooksFolder(), std::string(name) + ".txt"), &text, MAX_LIST_BYTES);
    if (error != 0) {
        return error == EFBIG ? VIMSTS_DAMAGED_FILE : VIMSTS_NO_SUCH_BOOK;
    }
    return ParseAddressBook(text, codePage, out);
}

int32_t CPostOffice::Create(const std::string& folder, const PostOfficeConfig& config) {
    const std::string settings = PostOfficeSettingsPath(folder);
    if (platform::FileExists(settings)) {
        return VIMSTS_BAD_PARAM;
    }
    for (const char* sub : {"", "accounts", "books"}) {
        if (platform::CreateDirectories(platform::JoinPath(folder, sub), 0700) != 0) {
            return VIMSTS_FAILURE;
        }
    }
    std::string text = "[PostOffice]\n";
    text += "Name=" + config.name + "\n";
    text += "Domain=" + config.domain + "\n";
    text += "Gateway=" + config.gateway + "\n";
    text += "Transport=" + config.transport + "\n";
    if (!config.gatewayDrop.empty()) {
        text += "GatewayDrop=" + config.gatewayDrop + "\n";
    }
    if (!config.smtpUrl.empty()) {
        text += "SmtpUrl=" + config.smtpUrl + "\n";
    }
    for (const std::string& value : {config.name, config.domain, config.gateway, config.transport,
                                     config.gatewayDrop, config.smtpUrl}) {
        if (value.find_first_of("\r\n") != std::string::npos) {
            return VIMSTS_BAD_PARAM;
        }
    }
    // The user list first: a folder with settings is a post office, and it must be whole.
    if (platform::WriteFileAtomic(platform::JoinPath(folder, USERS_FILE), FormatUserList({}),
                                  0600) != 0 ||
        platform::WriteFileAtomic(settings, text, 0600) != 0) {
        return VIMSTS_FAILURE;
    }
    return 0;
}

int32_t CPostOffice::SaveUsers() const {
    return platform::WriteFileAtomic(UserListPath(), FormatUserList(m_users), 0600) == 0
               ? 0
               : VIMSTS_FAILURE;
}

int32_t CPostOffice::AddUser(std::string_view name, std::string_view displayName,
                             std::string_view password) {
    if (!IsValidName(name) || FindUser(name) != nullptr ||
        displayName.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        return VIMSTS_BAD_PARAM;
    }
    UserEntry user{std::string(name), HashPassword(password), std::string(displayName)};
    if (user.hash.empty()) {
        return VIMSTS_FAILURE;
    }
    const std::string account = AccountFolder(user);
    for (const std::string& sub :
         {std::string("tmp"), std::string("new"), std::string("cur"), std::string(".Trash/tmp"),
          std::string(".Trash/new"), std::string(".Trash/cur")}) {
        if (platform::CreateDirectories(platform::JoinPath(account, sub), 0700) != 0) {
            return VIMSTS_FAILURE;
        }
    }
    m_users.push_back(std::move(user));
    const int32_t result = SaveUsers();
    if (result != 0) {
        m_users.pop_back();
    }
    return result;
}

int32_t CPostOffice::SetPassword(std::string_view name, std::string_view password) {
    for (UserEntry& user : m_users) {
        if (EqualNoCase(user.name, name)) {
            const std::string hash = HashPassword(password);
            if (hash.empty()) {
                return VIMSTS_FAILURE;
            }
            const std::string previous = user.hash;
            user.hash = hash;
            const int32_t result = SaveUsers();
            if (result != 0) {
                user.hash = previous;
            }
            return result;
        }
    }
    return VIMSTS_UNKNOWN_USER;
}

int32_t CPostOffice::AddBookEntry(std::string_view book, std::string_view name,
                                  std::string_view address) {
    const std::string_view bad("\r\n\0<>", 5);
    if (!IsValidName(book) || address.empty() || Trim(address).empty() ||
        name.find_first_of(bad) != std::string_view::npos ||
        address.find_first_of(bad) != std::string_view::npos) {
        return VIMSTS_BAD_PARAM;
    }
    if (platform::CreateDirectories(BooksFolder(), 0700) != 0) {
        return VIMSTS_FAILURE;
    }
    const std::string path = platform::JoinPath(BooksFolder(), std::string(book) + ".txt");
    std::string text;
    const int32_t error = platform::ReadWholeFile(path, &text, MAX_LIST_BYTES);
    if (error != 0 && error != ENOENT) {
        return VIMSTS_FAILURE;
    }
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    if (name.empty()) {
        text += "<" + std::string(address) + ">\n";
    } else {
        text += "\"" + std::string(name) + "\" <" + std::string(address) + ">\n";
    }
    return platform::WriteFileAtomic(path, text, 0600) == 0 ? 0 : VIMSTS_FAILURE;
}

}  // namespace vim

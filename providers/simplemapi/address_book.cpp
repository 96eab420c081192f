// Address book file reading and name resolution.
#include "providers/simplemapi/address_book.h"

#include "platform/code_page.h"
#include "platform/file_util.h"
#include "providers/simplemapi/simple_mapi.h"
#include "providers/simplemapi/text_codec.h"

namespace mapi {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

}  // namespace

bool ParseAddressLine(std::string_view line, AddressEntry* out) {
    line = Trim(line);
    if (line.empty() || line.front() == '#') {
        return false;
    }
    size_t open = line.rfind('<');
    size_t close = line.rfind('>');
    if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
        std::string_view name = Trim(line.substr(0, open));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
            name = name.substr(1, name.size() - 2);
        }
        std::string_view address = Trim(line.substr(open + 1, close - open - 1));
        if (address.empty()) {
            return false;
        }
        out->name = std::string(name);
        out->address = std::string(address);
        return true;
    }
    if (line.find(' ') != std::string_view::npos || line.find('@') == std::string_view::npos) {
        return false;
    }
    out->name.clear();
    out->address = std::string(line);
    return true;
}

void CAddressBook::Load(const std::string& path, uint32_t codePage) {
    m_entries.clear();
    std::string text;
    if (path.empty() || platform::ReadWholeFile(path, &text, 16 << 20) != 0) {
        return;
    }
    Parse(text, codePage);
}

void CAddressBook::Parse(std::string_view text, uint32_t codePage) {
    m_entries.clear();
    std::string converted = Utf8ToCodePage(text, codePage);
    std::string_view rest = converted;
    while (!rest.empty()) {
        size_t eol = rest.find('\n');
        std::string_view line = rest.substr(0, eol);
        rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
        AddressEntry e;
        if (ParseAddressLine(line, &e)) {
            m_entries.push_back(std::move(e));
        }
    }
}

int32_t CAddressBook::Resolve(std::string_view text, AddressEntry* out) const {
    text = Trim(text);
    if (text.empty()) {
        return MAPI_E_UNKNOWN_RECIPIENT;
    }
    auto pick = [&](auto matches) -> int32_t {
        const AddressEntry* found = nullptr;
        for (const AddressEntry& e : m_entries) {
            if (!matches(e)) {
                continue;
            }
            if (found != nullptr && (platform::CompareNoCaseMb(found->address, e.address) != 0 ||
                                     found->name != e.name)) {
                return MAPI_E_AMBIGUOUS_RECIPIENT;
            }
            if (found == nullptr) {
                found = &e;
            }
        }
        if (found == nullptr) {
            return MAPI_E_UNKNOWN_RECIPIENT;
        }
        *out = *found;
        return SUCCESS_SUCCESS;
    };
    int32_t rc = pick([&](const AddressEntry& e) {
        return platform::CompareNoCaseMb(e.address, text) == 0 ||
               (!e.name.empty() && platform::CompareNoCaseMb(e.name, text) == 0);
    });
    if (rc != MAPI_E_UNKNOWN_RECIPIENT) {
        return rc;
    }
    return pick([&](const AddressEntry& e) {
        return platform::FindNoCaseMb(e.address, text) != std::string::npos ||
               platform::FindNoCaseMb(e.name, text) != std::string::npos;
    });
}

}  // namespace mapi

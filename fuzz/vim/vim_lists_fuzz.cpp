// The post office's user list and address book files of any content; what parses must
// write and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "providers/vim/post_office.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<vim::UserEntry> users;
    if (vim::ParseUserList(text, &users) == 0) {
        std::vector<vim::UserEntry> again;
        if (vim::ParseUserList(vim::FormatUserList(users), &again) != 0 ||
            again.size() != users.size()) {
            std::abort();
        }
    }
    std::vector<vim::BookEntry> entries;
    (void)vim::ParseAddressBook(text, 1252, &entries);
    (void)vim::ParseAddressBook(text, 932, &entries);
    return 0;
}

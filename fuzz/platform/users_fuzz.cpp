// Loads arbitrary bytes as "users.dat"; a list that loads must save and load to the same list.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "setup/users/user_mgr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    users::CUserMgr mgr;
    if (mgr.LoadUsersFromMemory(std::string_view(reinterpret_cast<const char*>(data), size)) != 0) {
        if (mgr.Count() != 0)
            std::abort();
        return 0;
    }
    std::string saved = mgr.SaveUsersToMemory();
    users::CUserMgr back;
    if (back.LoadUsersFromMemory(saved) != 0)
        std::abort();
    if (back.SaveUsersToMemory() != saved)
        std::abort();
    if (back.Count() != mgr.Count())
        std::abort();
    users::CUser* user = nullptr;
    for (int32_t rc = back.FirstUser(&user); rc == 0; rc = back.NextUser(&user)) {
        (void)back.MakeUserDirectoryName(user->m_userName);
    }
    return 0;
}

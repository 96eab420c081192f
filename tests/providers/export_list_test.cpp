// Each library exports exactly its C interface, and the headers hold as C.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

extern "C" int ProvidersHeaderLayoutChecked(void);

namespace {

std::set<std::string> DefinedFunctions(const std::string& file) {
    std::set<std::string> names;
    std::string cmd = "nm -D --defined-only '" + file + "' 2>/dev/null";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) {
        return names;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char address[64];
        char kind[8];
        char name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, kind, name) == 3 &&
            std::string(kind) == "T") {
            names.insert(name);
        }
    }
    pclose(pipe);
    return names;
}

}  // namespace

TEST(ProviderExports, EachLibraryExportsExactlyItsCInterface) {
    EXPECT_EQ(ProvidersHeaderLayoutChecked(), 1);
    EXPECT_EQ(
        DefinedFunctions(TM_LIB_MAPI32),
        (std::set<std::string>{"FreeProws", "HrQueryAllRows", "LAUNCHWIZARD", "MAPIAdminProfiles",
                               "MAPIDeleteMail", "MAPIFindNext", "MAPIFreeBuffer", "MAPIInitialize",
                               "MAPILogoff", "MAPILogon", "MAPIReadMail", "MAPIResolveName",
                               "MAPISendMail", "MAPIUninitialize"}));
    EXPECT_EQ(DefinedFunctions(TM_LIB_KERNEL32),
              (std::set<std::string>{"UTRegister", "UTUnRegister"}));
    EXPECT_EQ(DefinedFunctions(TM_LIB_THUNKMAP), (std::set<std::string>{"UTInit", "UTProc"}));
}

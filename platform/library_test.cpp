// Loading a library by its Windows name and reporting what is missing.
#include "platform/library.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace platform {
namespace {

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("TETHER_LIBRARY_PATH", "/nonexistent:" TM_TEST_LIBRARY_DIR, 1); }
    void TearDown() override { unsetenv("TETHER_LIBRARY_PATH"); }
};

TEST_F(LibraryTest, WindowsNamesMapToSharedObjects) {
    EXPECT_EQ(SharedObjectName("Mapi32.dll"), "libmapi32.so");
    EXPECT_EQ(SharedObjectName("VKLANG.DLL"), "libvklang.so");
    EXPECT_EQ(SharedObjectName("C:\\Lotus\\vim32.dll"), "libvim32.so");
    EXPECT_EQ(SharedObjectName("Thunkmap"), "libthunkmap.so");
    EXPECT_EQ(SharedObjectName("libtorrim.so"), "libtorrim.so");
    std::vector<std::string> dirs = LibrarySearchPath();
    ASSERT_GE(dirs.size(), 2u);
    EXPECT_EQ(dirs[0], "/nonexistent");
    EXPECT_EQ(dirs[1], TM_TEST_LIBRARY_DIR);
}

TEST_F(LibraryTest, LoadsByWindowsNameIgnoringCaseAndFindsEntryPoints) {
    // The file on disk is "libTmPlatTest.so".
    std::string error;
    void* lib = LoadLibraryByName("TMPLATTEST.DLL", &error);
    ASSERT_NE(lib, nullptr) << error;
    using Fn = int (*)(int);
    auto fn = reinterpret_cast<Fn>(GetProcAddress(lib, "TmPlatTestAnswer"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(3), 7);
    EXPECT_EQ(GetProcAddress(lib, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "TmPlatTestAnswer"), nullptr);
    FreeLibrary(lib);
    FreeLibrary(nullptr);
}

TEST_F(LibraryTest, MissingLibraryIsReportedNotFatal) {
    std::string error;
    EXPECT_EQ(LoadLibraryByName("NoSuchLib.dll", &error), nullptr);
    EXPECT_NE(error.find("libnosuchlib.so"), std::string::npos) << error;
    EXPECT_NE(error.find("/nonexistent"), std::string::npos) << error;
    EXPECT_EQ(LoadLibraryByName("NoSuchLib.dll"), nullptr);
}

}  // namespace
}  // namespace platform

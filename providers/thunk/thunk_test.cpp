// The thunk helper's dispatch when the Simple MAPI service is absent or incomplete, and
// how the argument-block cells reach the entries.
#include <gtest/gtest.h>

#include <string>

#include "providers/thunk/thunk_dispatcher.h"
#include "providers/thunk/thunk_registration.h"

using thunk::CThunkDispatcher;
using thunk::MapiEntries;

namespace {

std::string g_lastName;
FLAGS g_lastFlags = 0;

ULONG FakeLogon(uintptr_t, const char* profile, const char*, FLAGS flags, ULONG, LPLHANDLE out) {
    g_lastName = profile != nullptr ? profile : "";
    g_lastFlags = flags;
    *out = 42;
    return 0;
}

ULONG FakeLogoff(LHANDLE session, uintptr_t, FLAGS, ULONG) {
    return session == 42 ? 0 : 19;
}

ULONG FakeFindNext(LHANDLE session, uintptr_t, const char*, const char* seed, FLAGS flags, ULONG,
                   char* out) {
    g_lastFlags = flags;
    std::string next = std::string(seed) + "+";
    next.copy(out, next.size());
    out[next.size()] = '\0';
    return session == 42 ? 0 : 19;
}

}  // namespace

TEST(ThunkDispatcher, MissingLibraryOrEntryAnswersUnavailable) {
    CThunkDispatcher absent("NoSuchMapiLibrary.dll");
    ThunkCell init[1] = {1};
    EXPECT_EQ(absent.Dispatch(init, THUNK_INIT), uint32_t{THUNK_UNAVAILABLE});
    ThunkCell logon[2] = {reinterpret_cast<ThunkCell>("p"), reinterpret_cast<ThunkCell>("")};
    EXPECT_EQ(absent.Dispatch(logon, THUNK_LOGON), uint32_t{THUNK_UNAVAILABLE});
    EXPECT_EQ(absent.Dispatch(nullptr, THUNK_TERM), 0u);
    EXPECT_EQ(absent.Dispatch(nullptr, 11), 2u);  // unknown opcode: MAPI_E_FAILURE

    CThunkDispatcher partial("unused");
    MapiEntries entries;
    entries.logon = FakeLogon;
    entries.logoff = FakeLogoff;
    entries.findNext = FakeFindNext;
    partial.SetEntriesForTesting(entries);
    ASSERT_EQ(partial.Dispatch(logon, THUNK_LOGON), 0u);
    EXPECT_EQ(g_lastName, "p");
    EXPECT_EQ(g_lastFlags, 0x1002u);
    EXPECT_EQ(partial.Session(), 42u);
    char id[512] = "seed";
    ThunkCell find[3] = {reinterpret_cast<ThunkCell>(id), reinterpret_cast<ThunkCell>(id), 0x4000};
    ASSERT_EQ(partial.Dispatch(find, THUNK_FIND_NEXT), 0u);
    EXPECT_STREQ(id, "seed+");
    EXPECT_EQ(g_lastFlags, 0x4000u);
    ThunkCell del[1] = {reinterpret_cast<ThunkCell>(id)};
    EXPECT_EQ(partial.Dispatch(del, THUNK_DELETE), uint32_t{THUNK_UNAVAILABLE});
    EXPECT_EQ(partial.Dispatch(nullptr, THUNK_READ), 2u);  // a block is needed
    EXPECT_EQ(partial.Dispatch(nullptr, THUNK_LOGOFF), 0u);
    EXPECT_EQ(partial.Session(), 0u);
}

TEST(ThunkRegistration, EntryWithoutRegistrationAnswersUnavailable) {
    EXPECT_EQ(thunk::ThunkEntry(nullptr, THUNK_LOGOFF, nullptr), uint32_t{THUNK_UNAVAILABLE});
    UT32PROC entry = reinterpret_cast<UT32PROC>(1);
    int module = 0;
    EXPECT_EQ(thunk::RegisterThunk(&module, "NoSuchHelper.DLL", "UTInit", "UTProc", &entry, nullptr,
                                   nullptr),
              0);
    EXPECT_EQ(entry, nullptr);
    EXPECT_EQ(thunk::RegisterThunk(&module, nullptr, "UTInit", "UTProc", &entry, nullptr, nullptr),
              0);
}

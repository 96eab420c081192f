// The thunk path: registration through "Kernel32.Dll", then every opcode through the
// 32-bit entry to "Thunkmap.DLL" and on to the Simple MAPI library.
#include <filesystem>

#include "platform/library.h"
#include "providers/thunk/universal_thunk.h"
#include "tests/providers/provider_fixture.h"

namespace fs = std::filesystem;

namespace {

uint32_t Call(UT32PROC entry, ThunkCell* block, uint32_t opcode, std::vector<void*> pointerCells) {
    pointerCells.push_back(nullptr);
    return entry(block, opcode, pointerCells.data());
}

}  // namespace

TEST_F(ProviderTest, ThunkCarriesEveryOpcodeToTheLibrary) {
    void* kernel = platform::LoadLibraryByName("Kernel32.Dll");
    ASSERT_NE(kernel, nullptr);
    auto reg = reinterpret_cast<LPUTREGISTER>(platform::GetProcAddress(kernel, "UTRegister"));
    auto unreg = reinterpret_cast<LPUTUNREGISTER>(platform::GetProcAddress(kernel, "UTUnRegister"));
    ASSERT_TRUE(reg && unreg);
    int module = 0;
    UT32PROC entry = nullptr;
    EXPECT_EQ(reg(&module, "Missing.DLL", "UTInit", "UTProc", &entry, nullptr, nullptr), 0);
    EXPECT_EQ(entry, nullptr);
    ASSERT_EQ(reg(&module, "Thunkmap.DLL", "UTInit", "UTProc", &entry, nullptr, nullptr), 1);
    ASSERT_NE(entry, nullptr);
    UT32PROC second = nullptr;
    EXPECT_EQ(reg(&module, "Thunkmap.DLL", "UTInit", "UTProc", &second, nullptr, nullptr), 0);

    ThunkCell init[1] = {1};
    EXPECT_EQ(Call(entry, init, THUNK_INIT, {}), 0u);
    ThunkCell logon[2] = {reinterpret_cast<ThunkCell>("Test"), reinterpret_cast<ThunkCell>("")};
    ASSERT_EQ(Call(entry, logon, THUNK_LOGON, {&logon[0], &logon[1]}), 0u);

    // Find-next and read (peek) of the first two messages.
    char id[512] = "";
    ThunkCell find[3] = {reinterpret_cast<ThunkCell>(id), reinterpret_cast<ThunkCell>(id),
                         MAPI_LONG_MSGID};
    ASSERT_EQ(Call(entry, find, THUNK_FIND_NEXT, {&find[0], &find[1]}), 0u);
    EXPECT_EQ(std::string(id), SampleIds()[0]);
    lpMapiMessage msg = nullptr;
    ThunkCell read[3] = {reinterpret_cast<ThunkCell>(id), reinterpret_cast<ThunkCell>(&msg),
                         MAPI_PEEK};
    ASSERT_EQ(Call(entry, read, THUNK_READ, {&read[0], &read[1]}), 0u);
    ASSERT_NE(msg, nullptr);
    EXPECT_STREQ(msg->lpszSubject, "Plain");
    ThunkCell freeMsg[2] = {reinterpret_cast<ThunkCell>(&msg), 0};
    EXPECT_EQ(Call(entry, freeMsg, THUNK_FREE, {&freeMsg[0]}), 0u);
    EXPECT_EQ(msg, nullptr);

    // Marking read: envelope only, without peek.
    ThunkCell mark[3] = {reinterpret_cast<ThunkCell>(id), reinterpret_cast<ThunkCell>(&msg),
                         MAPI_ENVELOPE_ONLY};
    ASSERT_EQ(Call(entry, mark, THUNK_READ, {&mark[0], &mark[1]}), 0u);
    EXPECT_EQ(Call(entry, freeMsg, THUNK_FREE, {&freeMsg[0]}), 0u);
    EXPECT_TRUE(fs::exists(m_store + "/cur/" + SampleIds()[0] + ":2,S"));

    lpMapiRecipDesc recip = nullptr;
    ThunkCell resolve[2] = {reinterpret_cast<ThunkCell>("bob"),
                            reinterpret_cast<ThunkCell>(&recip)};
    ASSERT_EQ(Call(entry, resolve, THUNK_RESOLVE, {&resolve[0], &resolve[1]}), 0u);
    EXPECT_STREQ(recip->lpszAddress, "bob@example.org");
    ThunkCell freeRecip[2] = {reinterpret_cast<ThunkCell>(&recip), 1};
    EXPECT_EQ(Call(entry, freeRecip, THUNK_FREE, {&freeRecip[0]}), 0u);

    MapiRecipDesc to = {0, MAPI_TO, nullptr, const_cast<char*>("bob@example.org"), 0, nullptr};
    MapiMessage out = {};
    out.lpszSubject = const_cast<char*>("Via thunk");
    out.lpszNoteText = const_cast<char*>("text");
    out.nRecipCount = 1;
    out.lpRecips = &to;
    ThunkCell holder = reinterpret_cast<ThunkCell>(&out);
    ThunkCell send[1] = {reinterpret_cast<ThunkCell>(&holder)};
    ASSERT_EQ(Call(entry, send, THUNK_SEND, {&send[0]}), 0u);
    EXPECT_EQ(FilesIn(m_sent + "/cur").size(), 1u);

    ThunkCell del[1] = {reinterpret_cast<ThunkCell>(id)};
    ASSERT_EQ(Call(entry, del, THUNK_DELETE, {&del[0]}), 0u);
    EXPECT_FALSE(fs::exists(m_store + "/cur/" + SampleIds()[0] + ":2,S"));

    int extraValue = 0;
    ThunkCell extra[2] = {reinterpret_cast<ThunkCell>(&extraValue), 7};
    EXPECT_EQ(Call(entry, extra, THUNK_EXTRA, {&extra[0]}), 0u);
    // A translation list naming memory outside the block is refused.
    static int outside = 0;
    EXPECT_EQ(Call(entry, del, THUNK_DELETE, {&outside}), 2u);

    EXPECT_EQ(entry(nullptr, THUNK_LOGOFF, nullptr), 0u);
    EXPECT_EQ(Call(entry, find, THUNK_FIND_NEXT, {&find[0], &find[1]}), 19u);  // no session
    EXPECT_EQ(entry(nullptr, THUNK_TERM, nullptr), 0u);
    unreg(&module);
    EXPECT_EQ(entry(nullptr, THUNK_LOGOFF, nullptr), uint32_t{THUNK_UNAVAILABLE});
    // Registered again after the release.
    ASSERT_EQ(reg(&module, "Thunkmap.DLL", "UTInit", "UTProc", &entry, nullptr, nullptr), 1);
    unreg(&module);
    platform::FreeLibrary(kernel);
}

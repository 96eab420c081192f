// The helper library's side of the thunk: performs the Simple MAPI call each opcode names,
// on the Simple MAPI library loaded by its Windows name, and keeps the session.
#pragma once

#include <cstdint>
#include <string>

#include "providers/simplemapi/simple_mapi.h"
#include "providers/thunk/universal_thunk.h"

namespace thunk {

// Entry points of a Simple MAPI library.
struct MapiEntries {
    LPMAPILOGON logon = nullptr;
    LPMAPILOGOFF logoff = nullptr;
    LPMAPISENDMAIL sendMail = nullptr;
    LPMAPIFINDNEXT findNext = nullptr;
    LPMAPIREADMAIL readMail = nullptr;
    LPMAPIDELETEMAIL deleteMail = nullptr;
    LPMAPIRESOLVENAME resolveName = nullptr;
    LPMAPIFREEBUFFER freeBuffer = nullptr;
};

class CThunkDispatcher {
public:
    // `libraryName` is loaded on THUNK_INIT (or the first opcode that needs it).
    explicit CThunkDispatcher(std::string libraryName);
    ~CThunkDispatcher();
    CThunkDispatcher(const CThunkDispatcher&) = delete;
    CThunkDispatcher& operator=(const CThunkDispatcher&) = delete;

    // Uses the given entries instead of loading a library (tests).
    void SetEntriesForTesting(const MapiEntries& entries);

    // Performs `opcode` on the argument block `cells`. Returns the Simple MAPI result,
    // THUNK_UNAVAILABLE when the library or the entry is missing, MAPI_E_FAILURE for an
    // unknown opcode or a null block where cells are needed.
    uint32_t Dispatch(ThunkCell* cells, uint32_t opcode);

    LHANDLE Session() const { return m_session; }

private:
    bool EnsureLoaded();
    void Release();

    std::string m_libraryName;
    void* m_library = nullptr;
    bool m_injected = false;
    MapiEntries m_entries;
    LHANDLE m_session = 0;
};

}  // namespace thunk

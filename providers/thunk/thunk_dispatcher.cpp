// Opcode dispatch of the thunk helper.
#include "providers/thunk/thunk_dispatcher.h"

#include "platform/library.h"

namespace thunk {

namespace {

template <typename T>
T CellPtr(ThunkCell cell) {
    return reinterpret_cast<T>(cell);
}

constexpr FLAGS LOGON_FLAGS = MAPI_NEW_SESSION | MAPI_FORCE_DOWNLOAD;

}  // namespace

CThunkDispatcher::CThunkDispatcher(std::string libraryName)
    : m_libraryName(std::move(libraryName)) {}

CThunkDispatcher::~CThunkDispatcher() {
    Release();
}

void CThunkDispatcher::SetEntriesForTesting(const MapiEntries& entries) {
    Release();
    m_entries = entries;
    m_injected = true;
}

bool CThunkDispatcher::EnsureLoaded() {
    if (m_injected || m_library != nullptr) {
        return true;
    }
    m_library = platform::LoadLibraryByName(m_libraryName);
    if (m_library == nullptr) {
        return false;
    }
    auto get = [&](const char* name) { return platform::GetProcAddress(m_library, name); };
    m_entries.logon = reinterpret_cast<LPMAPILOGON>(get("MAPILogon"));
    m_entries.logoff = reinterpret_cast<LPMAPILOGOFF>(get("MAPILogoff"));
    m_entries.sendMail = reinterpret_cast<LPMAPISENDMAIL>(get("MAPISendMail"));
    m_entries.findNext = reinterpret_cast<LPMAPIFINDNEXT>(get("MAPIFindNext"));
    m_entries.readMail = reinterpret_cast<LPMAPIREADMAIL>(get("MAPIReadMail"));
    m_entries.deleteMail = reinterpret_cast<LPMAPIDELETEMAIL>(get("MAPIDeleteMail"));
    m_entries.resolveName = reinterpret_cast<LPMAPIRESOLVENAME>(get("MAPIResolveName"));
    m_entries.freeBuffer = reinterpret_cast<LPMAPIFREEBUFFER>(get("MAPIFreeBuffer"));
    return true;
}

void CThunkDispatcher::Release() {
    if (m_session != 0 && m_entries.logoff != nullptr) {
        // Closing down: the session ends with the helper whatever the answer.
        (void)m_entries.logoff(m_session, 0, 0, 0);
    }
    m_session = 0;
    if (m_library != nullptr) {
        platform::FreeLibrary(m_library);
        m_library = nullptr;
    }
    m_entries = MapiEntries();
    m_injected = false;
}

uint32_t CThunkDispatcher::Dispatch(ThunkCell* cells, uint32_t opcode) {
    if (opcode == THUNK_TERM) {
        Release();
        return SUCCESS_SUCCESS;
    }
    if (opcode == THUNK_EXTRA) {
        return SUCCESS_SUCCESS;
    }
    if (opcode > THUNK_EXTRA) {
        return MAPI_E_FAILURE;
    }
    if (!EnsureLoaded()) {
        return THUNK_UNAVAILABLE;
    }
    if (opcode == THUNK_INIT) {
        return SUCCESS_SUCCESS;
    }
    if (opcode != THUNK_LOGOFF && cells == nullptr) {
        return MAPI_E_FAILURE;
    }
    switch (opcode) {
        case THUNK_LOGON: {
            if (m_entries.logon == nullptr) {
                return THUNK_UNAVAILABLE;
            }
            LHANDLE session = 0;
            uint32_t rc = m_entries.logon(0, CellPtr<const char*>(cells[0]),
                                          CellPtr<const char*>(cells[1]), LOGON_FLAGS, 0, &session);
            if (rc == SUCCESS_SUCCESS) {
                if (m_session != 0 && m_entries.logoff != nullptr) {
                    // A second logon replaces the first session.
                    (void)m_entries.logoff(m_session, 0, 0, 0);
                }
                m_session = session;
            }
            return rc;
        }
        case THUNK_LOGOFF: {
            if (m_entries.logoff == nullptr) {
                return THUNK_UNAVAILABLE;
            }
            uint32_t rc = m_entries.logoff(m_session, 0, 0, 0);
            m_session = 0;
            return rc;
        }
        case THUNK_SEND: {
            if (m_entries.sendMail == nullptr) {
                return THUNK_UNAVAILABLE;
            }
            auto* holder = CellPtr<ThunkCell*>(cells[0]);
            if (holder == nullptr) {
                return MAPI_E_FAILURE;
            }
            return m_entries.sendMail(m_session, 0, CellPtr<lpMapiMessage>(*holder), 0, 0);
        }
        case THUNK_FIND_NEXT:
            if (m_entries.findNext == nullptr) {
                return THUNK_UNAVAILABLE;
            }
            return m_entries.findNext(m_session, 0, nullptr, CellPtr<const char*>(cells[0]),
                                      static_cast<FLAGS>(cells[2]), 0, CellPtr<char*>(cells[1]));
        case THUNK_DELETE:
            if (m_entries.deleteMail == nullptr) {
                return THUNK_UNAVAILABLE;
            }
            return m_entries.deleteMail(m_session, 0, CellPtr<const char*>(cells[0]), 0, 0);
        case THUNK_READ:
            if (m_entries.readMail == nullptr) {
                return THUNK_UNAVAILABLE;
            }
            return m_entries.readMail(m_session, 0, CellPtr<const char*>(cells[0]),
                                      static_cast<FLAGS>(cells[2]), 0,
                                      CellPtr<lpMapiMessage*>(cells[1]));
        case THUNK_RESOLVE:
            if (m_entries.resolveName == nullptr) {
                return THUNK_UNAVAILABLE;
            }
            return m_entries.resolveName(m_session, 0, CellPtr<const char*>(cells[0]), 0, 0,
                                         CellPtr<lpMapiRecipDesc*>(cells[1]));
        case THUNK_FREE: {
            if (m_entries.freeBuffer == nullptr) {
                return THUNK_UNAVAILABLE;
            }
            auto* holder = CellPtr<void**>(cells[0]);
            if (holder == nullptr) {
                return MAPI_E_FAILURE;
            }
            uint32_t rc = m_entries.freeBuffer(*holder);
            if (rc == SUCCESS_SUCCESS) {
                *holder = nullptr;
            }
            return rc;
        }
        default:
            return MAPI_E_FAILURE;
    }
}

}  // namespace thunk

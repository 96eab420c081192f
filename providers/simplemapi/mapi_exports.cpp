// The exported Simple MAPI entry points: session handles, one guard per export.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/code_page.h"
#include "providers/simplemapi/mapi_buffer.h"
#include "providers/simplemapi/mapi_profile.h"
#include "providers/simplemapi/mapi_session.h"
#include "providers/simplemapi/simple_mapi.h"

#define MAPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Sessions by handle. Handles count up from 1 and are never reused within a process, so
// a stale handle is refused rather than reaching another session.
struct SessionTable {
    std::mutex lock;
    std::map<LHANDLE, std::unique_ptr<mapi::CMapiSession>> sessions;
    LHANDLE next = 1;
};

SessionTable& Table() {
    static auto* table = new SessionTable();
    return *table;
}

// Runs `body` on the session of `handle` under the table lock; MAPI_E_INVALID_SESSION
// for an unknown handle. Any exception (memory exhausted) becomes MAPI_E_FAILURE.
template <typename Body>
ULONG WithSession(LHANDLE handle, Body body) {
    try {
        SessionTable& t = Table();
        std::lock_guard<std::mutex> guard(t.lock);
        auto it = t.sessions.find(handle);
        if (it == t.sessions.end()) {
            return MAPI_E_INVALID_SESSION;
        }
        return static_cast<ULONG>(body(*it->second));
    } catch (...) {
        return MAPI_E_FAILURE;
    }
}

}  // namespace

MAPI_EXPORT ULONG MAPILogon(uintptr_t /*ulUIParam*/, const char* lpszProfileName,
                            const char* lpszPassword, FLAGS /*flFlags*/, ULONG /*ulReserved*/,
                            LPLHANDLE lplhSession) {
    try {
        if (lplhSession == nullptr) {
            return MAPI_E_FAILURE;
        }
        *lplhSession = 0;
        std::unique_ptr<mapi::CMapiSession> session;
        int32_t rc = mapi::CMapiSession::Open(
            mapi::ProfileFilePath(), lpszProfileName != nullptr ? lpszProfileName : "",
            lpszPassword != nullptr ? lpszPassword : "", platform::ActiveCodePage(), &session);
        if (rc != SUCCESS_SUCCESS) {
            return static_cast<ULONG>(rc);
        }
        SessionTable& t = Table();
        std::lock_guard<std::mutex> guard(t.lock);
        LHANDLE handle = t.next++;
        t.sessions.emplace(handle, std::move(session));
        *lplhSession = handle;
        return SUCCESS_SUCCESS;
    } catch (...) {
        return MAPI_E_FAILURE;
    }
}

MAPI_EXPORT ULONG MAPILogoff(LHANDLE lhSession, uintptr_t /*ulUIParam*/, FLAGS /*flFlags*/,
                             ULONG /*ulReserved*/) {
    try {
        SessionTable& t = Table();
        std::lock_guard<std::mutex> guard(t.lock);
        return t.sessions.erase(lhSession) == 1 ? SUCCESS_SUCCESS : MAPI_E_INVALID_SESSION;
    } catch (...) {
        return MAPI_E_FAILURE;
    }
}

MAPI_EXPORT ULONG MAPIFindNext(LHANDLE lhSession, uintptr_t /*ulUIParam*/,
                               const char* lpszMessageType, const char* lpszSeedMessageID,
                               FLAGS flFlags, ULONG /*ulReserved*/, char* lpszMessageID) {
    return WithSession(lhSession, [&](mapi::CMapiSession& s) {
        return s.FindNext(lpszMessageType, lpszSeedMessageID, flFlags, lpszMessageID);
    });
}

MAPI_EXPORT ULONG MAPIReadMail(LHANDLE lhSession, uintptr_t /*ulUIParam*/,
                               const char* lpszMessageID, FLAGS flFlags, ULONG /*ulReserved*/,
                               lpMapiMessage* lppMessage) {
    return WithSession(lhSession, [&](mapi::CMapiSession& s) {
        return s.ReadMail(lpszMessageID, flFlags, lppMessage);
    });
}

MAPI_EXPORT ULONG MAPIDeleteMail(LHANDLE lhSession, uintptr_t /*ulUIParam*/,
                                 const char* lpszMessageID, FLAGS /*flFlags*/,
                                 ULONG /*ulReserved*/) {
    return WithSession(lhSession,
                       [&](mapi::CMapiSession& s) { return s.DeleteMail(lpszMessageID); });
}

MAPI_EXPORT ULONG MAPISendMail(LHANDLE lhSession, uintptr_t /*ulUIParam*/, lpMapiMessage lpMessage,
                               FLAGS flFlags, ULONG /*ulReserved*/) {
    return WithSession(lhSession,
                       [&](mapi::CMapiSession& s) { return s.SendMail(lpMessage, flFlags); });
}

MAPI_EXPORT ULONG MAPIResolveName(LHANDLE lhSession, uintptr_t /*ulUIParam*/, const char* lpszName,
                                  FLAGS /*flFlags*/, ULONG /*ulReserved*/,
                                  lpMapiRecipDesc* lppRecip) {
    return WithSession(lhSession,
                       [&](mapi::CMapiSession& s) { return s.ResolveName(lpszName, lppRecip); });
}

MAPI_EXPORT ULONG MAPIFreeBuffer(void* pv) {
    try {
        if (pv == nullptr) {
            return SUCCESS_SUCCESS;
        }
        return mapi::FreeMapiBuffer(pv) ? SUCCESS_SUCCESS : MAPI_E_FAILURE;
    } catch (...) {
        return MAPI_E_FAILURE;
    }
}

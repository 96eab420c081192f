// The exported MAPI profile administration: listing the profiles of the profile file and
// creating one (LAUNCHWIZARD). One guard per export.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/file_util.h"
#include "platform/profile.h"
#include "providers/simplemapi/mapi_admin.h"
#include "providers/simplemapi/mapi_profile.h"
#include "providers/simplemapi/simple_mapi.h"

#define MAPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// A table: the profile names and default flags as read when it was made.
struct CProfileTable {
    IMAPITable base;
    uint32_t refs = 1;
    std::vector<std::pair<std::string, bool>> rows;
};

struct CProfAdmin {
    IProfAdmin base;
    uint32_t refs = 1;
};

HRESULT NoInterface(void*, const void*, void** out) {
    if (out != nullptr)
        *out = nullptr;
    return MAPI_E_NO_SUPPORT;
}

uint32_t TableAddRef(IMAPITable* self) {
    return ++reinterpret_cast<CProfileTable*>(self)->refs;
}
uint32_t TableRelease(IMAPITable* self) {
    auto* t = reinterpret_cast<CProfileTable*>(self);
    uint32_t left = --t->refs;
    if (left == 0)
        delete t;
    return left;
}
HRESULT TableQueryInterface(IMAPITable* self, const void* iid, void** out) {
    return NoInterface(self, iid, out);
}
const IMAPITableVtbl TABLE_VTBL = {TableQueryInterface, TableAddRef, TableRelease};

uint32_t AdminAddRef(IProfAdmin* self) {
    return ++reinterpret_cast<CProfAdmin*>(self)->refs;
}
uint32_t AdminRelease(IProfAdmin* self) {
    auto* a = reinterpret_cast<CProfAdmin*>(self);
    uint32_t left = --a->refs;
    if (left == 0)
        delete a;
    return left;
}
HRESULT AdminQueryInterface(IProfAdmin* self, const void* iid, void** out) {
    return NoInterface(self, iid, out);
}
HRESULT AdminGetLastError(IProfAdmin*, HRESULT, uint32_t, void** error) {
    if (error != nullptr)
        *error = nullptr;
    return MAPI_E_NO_SUPPORT;
}
HRESULT AdminGetProfileTable(IProfAdmin* /*self*/, uint32_t flags, IMAPITable** table) {
    try {
        if (table == nullptr || flags != 0)
            return MAPI_E_INVALID_PARAMETER;
        *table = nullptr;
        auto* t = new CProfileTable();
        t->base.lpVtbl = &TABLE_VTBL;
        for (const mapi::MapiProfile& p : mapi::LoadProfiles(mapi::ProfileFilePath()))
            t->rows.emplace_back(p.name, p.isDefault);
        *table = &t->base;
        return S_OK;
    } catch (...) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
}
HRESULT AdminCreateProfile(IProfAdmin*, const char*, const char*, uintptr_t, uint32_t) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT AdminDeleteProfile(IProfAdmin*, const char*, uint32_t) {
    return MAPI_E_NO_SUPPORT;
}
const IProfAdminVtbl ADMIN_VTBL = {AdminQueryInterface, AdminAddRef,          AdminRelease,
                                   AdminGetLastError,   AdminGetProfileTable, AdminCreateProfile,
                                   AdminDeleteProfile};

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

}  // namespace

MAPI_EXPORT HRESULT MAPIInitialize(void* /*lpMapiInit*/) {
    return S_OK;
}

MAPI_EXPORT void MAPIUninitialize(void) {}

MAPI_EXPORT HRESULT MAPIAdminProfiles(uint32_t /*flags*/, IProfAdmin** out) {
    try {
        if (out == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        auto* a = new CProfAdmin();
        a->base.lpVtbl = &ADMIN_VTBL;
        *out = &a->base;
        return S_OK;
    } catch (...) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
}

// Found as "HrQueryAllRows@24" (the loader drops the stdcall decoration, which an ELF
// symbol cannot carry). The row set is one block: the SRowSet, then two SPropValue per
// row, then the names.
MAPI_EXPORT HRESULT HrQueryAllRows(IMAPITable* table, void* columns, void* restriction,
                                   void* sortOrder, int32_t rowsMax, SRowSet** rows) {
    try {
        if (rows == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *rows = nullptr;
        if (table == nullptr || table->lpVtbl != &TABLE_VTBL || columns != nullptr ||
            restriction != nullptr || sortOrder != nullptr || rowsMax != 0)
            return MAPI_E_INVALID_PARAMETER;
        const auto& src = reinterpret_cast<CProfileTable*>(table)->rows;
        const size_t n = src.size();
        size_t head = sizeof(SRowSet) + (n > 0 ? n - 1 : 0) * sizeof(SRow);
        head = (head + 15) & ~size_t(15);
        size_t size = head + n * 2 * sizeof(SPropValue);
        for (const auto& r : src)
            size += r.first.size() + 1;
        char* block = static_cast<char*>(std::calloc(1, size));
        if (block == nullptr)
            return MAPI_E_NOT_ENOUGH_MEMORY;
        auto* set = reinterpret_cast<SRowSet*>(block);
        auto* props = reinterpret_cast<SPropValue*>(block + head);
        char* text = block + head + n * 2 * sizeof(SPropValue);
        set->cRows = static_cast<uint32_t>(n);
        for (size_t i = 0; i < n; ++i) {
            SPropValue* p = props + 2 * i;
            std::memcpy(text, src[i].first.c_str(), src[i].first.size() + 1);
            p[0].ulPropTag = PR_DISPLAY_NAME_A;
            p[0].Value.lpszA = text;
            text += src[i].first.size() + 1;
            p[1].ulPropTag = PR_DEFAULT_PROFILE;
            p[1].Value.b = src[i].second ? 1 : 0;
            set->aRow[i].cValues = 2;
            set->aRow[i].lpProps = p;
        }
        *rows = set;
        return S_OK;
    } catch (...) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
}

// Found as "FreeProws@4".
MAPI_EXPORT void FreeProws(SRowSet* rows) {
    std::free(rows);
}

MAPI_EXPORT uint32_t LAUNCHWIZARD(uintptr_t /*hParentWnd*/, uint32_t /*ulFlags*/,
                                  const char** /*serviceNames*/, uint32_t cbBufferMax,
                                  char* lpszNewProfileName) {
    try {
        const std::string name = Env("TETHER_MAPI_NEW_PROFILE");
        if (name.empty())
            return MAPI_USER_ABORT;
        const std::string store = Env("TETHER_MAPI_NEW_STORE");
        if (store.empty() || lpszNewProfileName == nullptr || cbBufferMax == 0 ||
            name.size() >= cbBufferMax || name.find_first_of("[]\r\n") != std::string::npos)
            return MAPI_E_FAILURE;
        const std::string file = mapi::ProfileFilePath();
        std::vector<mapi::MapiProfile> existing = mapi::LoadProfiles(file);
        for (const auto& p : existing)
            if (p.name == name)
                return MAPI_E_FAILURE;
        size_t slash = file.rfind('/');
        if (slash != std::string::npos && slash > 0 &&
            platform::CreateDirectories(file.substr(0, slash), 0700) != 0)
            return MAPI_E_FAILURE;
        // The whole profile in one replacement of the file, so that a failure adds nothing.
        std::string text;
        (void)platform::ReadWholeFile(file, &text, 1 << 20);  // a missing file starts empty
        platform::CProfile profile;
        profile.Parse(text);
        profile.SetValue(name, "Store", store);
        profile.SetValue(name, "Transport", "maildir");
        const std::string address = Env("TETHER_MAPI_NEW_ADDRESS");
        if (!address.empty())
            profile.SetValue(name, "Address", address);
        if (existing.empty())
            profile.SetValue(name, "Default", "1");
        uint32_t mode = 0600;
        if (platform::FileExists(file))
            (void)platform::FileMode(file, &mode);  // keep the mode of an existing file
        if (platform::WriteFileAtomic(file, profile.Serialize(), mode) != 0)
            return MAPI_E_FAILURE;
        std::memcpy(lpszNewProfileName, name.c_str(), name.size() + 1);
        return SUCCESS_SUCCESS;
    } catch (...) {
        return MAPI_E_FAILURE;
    }
}

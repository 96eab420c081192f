// The wizard sheet: pages, settings, logon tests and MAPI profiles.
#include "setup/wizard/velkin_sheet.h"

#include "conduit/core/password.h"
#include "host/condreg/condreg.h"
#include "host/profstore/profstore.h"
#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/library.h"
#include "platform/profile.h"
#include "providers/simplemapi/mapi_admin.h"
#include "providers/simplemapi/simple_mapi.h"
#include "setup/users/user_mgr.h"
#include "setup/wizard/pages.h"

namespace velkin {
namespace {

// MAPI_NEW_SESSION together with the flag the wizard always adds.
constexpr uint32_t LOGON_FLAGS = 0x00100002;
constexpr uint32_t MAIL_ACTION_MISSING = 3;

// VIM entry points as the wizard calls them. Every status is taken as its low 16 bits.
using VimInitializeFn = uint32_t (*)();
using VimTerminateFn = uint32_t (*)();
using VimQueryCapabilityFn = uint32_t (*)(int64_t item, uint32_t size, void* value);
using VimOpenSessionFn = uint32_t (*)(const char* path, const char* name, const char* password,
                                      uint32_t version, uint32_t charSet, void** session);
using VimOpenMessageContainerFn = uint32_t (*)(void* session, const char* name, void** container);
using VimCloseFn = uint32_t (*)(void* handle);
using VimGetDefaultSessionInfoFn = uint32_t (*)(uint32_t pathSize, char* path, uint32_t nameSize,
                                                char* name);

constexpr int64_t VIM_CAPABILITY_VERSION = 106;
constexpr uint32_t VIM_CHARSET = 16;

// The directory part of a settings file path ("…/Sync.ini" in any letter case).
std::string SettingsDirectory(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    if (platform::CompareNoCaseMb(std::string_view(path).substr(slash + 1), "sync.ini") != 0)
        return path;
    return path.substr(0, slash);
}

template <typename Fn>
Fn Proc(void* library, const char* name) {
    return reinterpret_cast<Fn>(platform::GetProcAddress(library, name));
}

}  // namespace

std::string DataDirectory() {
    char buffer[256] = {};
    int32_t size = sizeof(buffer);
    if (CondregDataFolder(buffer, &size) < 0)
        return {};
    return std::string(buffer, static_cast<size_t>(size));
}

CVelkinPropertySheet::CVelkinPropertySheet(const CLanguage& lang, SheetOptions options)
    : m_lang(lang), m_options(std::move(options)), m_wizard(lang.String(IDS_CAPTION)) {
    auto program = std::make_unique<CEmailProgramPage>(*this);
    m_programPage = program.get();
    m_pages.push_back(std::move(program));
    m_pages.push_back(std::make_unique<CProfilePage>(*this));
    m_pages.push_back(std::make_unique<CLotusUserNamePage>(*this));
    m_pages.push_back(std::make_unique<CEudoraUserNamePage>(*this));
    m_pages.push_back(std::make_unique<CLotusPostOfficePage>(*this));
    m_pages.push_back(std::make_unique<CInternetGatewayPage>(*this));
    m_pages.push_back(std::make_unique<CActivationPage>(*this));
    m_pages.push_back(std::make_unique<CProfileCongratsPage>(*this));
    m_pages.push_back(std::make_unique<CEudoraCongratsPage>(*this));
    m_pages.push_back(std::make_unique<CVimCongratsPage>(*this));
    for (auto& p : m_pages)
        m_wizard.AddPage(p.get());

    if (m_options.configureMode && !m_options.setupDirectory.empty()) {
        m_settingsPath = platform::JoinPath(m_options.setupDirectory, "Sync.ini");
    } else {
        std::string data = DataDirectory();
        if (!data.empty())
            m_settingsPath =
                platform::JoinPath(platform::JoinPath(data, m_options.userDirectory), "Sync.ini");
    }
    LoadSettings();
}

CVelkinPropertySheet::~CVelkinPropertySheet() = default;

void CVelkinPropertySheet::LoadSettings() {
    m_userAccount.clear();
    m_system.clear();
    m_profile.clear();
    m_postOffice.clear();
    m_gateway.clear();
    m_password.clear();
    if (m_settingsPath.empty())
        return;
    int32_t user = 0;
    bool opened = ProfUserOfFolder(SettingsDirectory(m_settingsPath).c_str(), &user) == 0;
    if (!opened || !platform::FileExists(platform::ResolveCaseInsensitive(m_settingsPath)))
        return;
    auto read = [&](const char* key) {
        char buffer[256] = {};
        int32_t size = sizeof(buffer);
        if (ProfReadText(user, "Mail", key, buffer, &size, "") != 0)
            return std::string();
        return std::string(buffer, static_cast<size_t>(size));
    };
    SetUserAccount(read("UserAccount"));
    SetSystem(read("System"));
    SetProfile(read("Profile"));
    SetPostOffice(read("PostOffice"));
    SetGateway(read("Gateway"));
    SetPassword(read("Password"));  // stays encoded; the pages decode it
}

std::optional<std::string> CVelkinPropertySheet::SelectedInterface() const {
    const MailSystemEntry* e = m_programPage->Selected();
    if (e == nullptr)
        return std::nullopt;
    return e->interface;
}

bool CVelkinPropertySheet::OnWindowMessage(uint32_t message) {
    if (message != WM_CLOSE_SETUP)
        return false;
    m_wizard.End(1);
    return true;
}

std::string CVelkinPropertySheet::MapiLibraryName() const {
    return m_options.mapiLibrary.empty() ? S(IDS_MAPI_LIBRARY) : m_options.mapiLibrary;
}

std::string CVelkinPropertySheet::VimLibraryName() const {
    return m_options.vimLibrary.empty() ? S(IDS_VIM_LIBRARY) : m_options.vimLibrary;
}

// ---- Logon tests ---------------------------------------------------------------------------

int32_t CVelkinPropertySheet::TestLogon(ui::IFrontEnd& ui) {
    ui.BeginWaitCursor();
    m_record.system = m_system;
    m_record.profile = m_profile;
    m_record.userAccount = m_userAccount;
    m_record.password = m_password;
    m_record.postOffice = m_postOffice;
    m_record.gateway = m_gateway;
    if (std::optional<std::string> iface = SelectedInterface())
        m_record.interface = *iface;
    int32_t status = 0;
    if (platform::CompareNoCaseMb(m_record.interface, S(IDS_MAPI32)) == 0)
        status = MapiTest();
    else if (platform::CompareNoCaseMb(m_record.interface, S(IDS_VIM32)) == 0)
        status = VimTest(false);
    else if (platform::CompareNoCaseMb(m_record.interface, S(IDS_NOTESVIM32)) == 0)
        status = VimTest(true);
    ui.EndWaitCursor();
    m_logonFailed = status != 0;
    return status;
}

int32_t CVelkinPropertySheet::MapiTest() {
    void* library = platform::LoadLibraryByName(MapiLibraryName());
    auto logon = Proc<LPMAPILOGON>(library, "MAPILogon");
    if (library == nullptr || logon == nullptr) {
        platform::FreeLibrary(library);
        return LogonUnavailable;
    }
    LHANDLE session = 0;
    ULONG status;
    if (m_record.profile != NotApplicable())
        status = logon(0, m_record.profile.c_str(), nullptr, LOGON_FLAGS, 0, &session);
    else
        status = logon(0, m_record.userAccount.c_str(), m_record.password.c_str(), LOGON_FLAGS, 0,
                       &session);
    auto logoff = Proc<LPMAPILOGOFF>(library, "MAPILogoff");
    if (logoff != nullptr && session != 0)
        (void)logoff(session, 0, 0, 0);  // the test is over either way
    platform::FreeLibrary(library);
    return static_cast<int32_t>(status);
}

int32_t CVelkinPropertySheet::VimTest(bool notes) {
    std::string name = VimLibraryName();
    if (notes) {
        // Notes keeps its own VIM library in the folder that "lotus.ini" names.
        char buffer[1024] = {};
        platform::GetPrivateProfileString("Lotus Applications", "notes", "", buffer, sizeof(buffer),
                                          "lotus.ini");
        std::string notesFile = buffer;
        size_t slash = notesFile.rfind('/');
        if (!notesFile.empty() && slash != std::string::npos)
            name = platform::JoinPath(notesFile.substr(0, slash), platform::SharedObjectName(name));
    }
    void* library = platform::LoadLibraryByName(name);
    if (library == nullptr)
        return LogonUnavailable;
    void* session = nullptr;
    void* container = nullptr;
    bool initialized = false;
    int32_t status = 0;
    [&] {
        auto init = Proc<VimInitializeFn>(library, "VIMInitialize");
        if (init == nullptr) {
            status = LogonUnavailable;
            return;
        }
        status = static_cast<int32_t>(init() & 0xFFFF);
        if (status != 0)
            return;
        initialized = true;
        auto query = Proc<VimQueryCapabilityFn>(library, "VIMQueryCapability");
        auto open = Proc<VimOpenSessionFn>(library, "VIMOpenSession");
        if (query == nullptr) {
            status = LogonUnavailable;
            return;
        }
        uint32_t version = 0;
        status = static_cast<int32_t>(query(VIM_CAPABILITY_VERSION, 4, &version) & 0xFFFF);
        if (status != 0 || open == nullptr)
            return;
        if (notes) {
            char path[1024] = {};
            char user[1024] = {};
            if (auto info = Proc<VimGetDefaultSessionInfoFn>(library, "VIMGetDefaultSessionInfo"))
                (void)info(sizeof(path), path, sizeof(user), user);  // empty name when it fails
            status = static_cast<int32_t>(
                open(nullptr, user, m_record.password.c_str(), version, VIM_CHARSET, &session) &
                0xFFFF);
        } else {
            status = static_cast<int32_t>(
                open(m_record.postOffice.c_str(), m_record.userAccount.c_str(),
                     m_record.password.c_str(), version, VIM_CHARSET, &session) &
                0xFFFF);
        }
        if (status != 0) {
            session = nullptr;
            return;
        }
        auto openContainer = Proc<VimOpenMessageContainerFn>(library, "VIMOpenMessageContainer");
        if (openContainer == nullptr) {
            status = LogonUnavailable;
            return;
        }
        status = static_cast<int32_t>(openContainer(session, nullptr, &container) & 0xFFFF);
    }();
    if (status != 0)
        container = nullptr;
    if (container != nullptr)
        if (auto close = Proc<VimCloseFn>(library, "VIMCloseMessageContainer"))
            (void)close(container);  // closing: nothing left to decide
    if (session != nullptr)
        if (auto close = Proc<VimCloseFn>(library, "VIMCloseSession"))
            (void)close(session);  // likewise
    if (initialized)
        if (auto term = Proc<VimTerminateFn>(library, "VIMTerminate"))
            (void)term();  // likewise
    platform::FreeLibrary(library);
    return status;
}

// ---- MAPI profiles -------------------------------------------------------------------------

std::vector<ProfileRow> CVelkinPropertySheet::ReadProfileTable() const {
    std::vector<ProfileRow> result;
    void* library = platform::LoadLibraryByName(MapiLibraryName());
    if (library == nullptr)
        return result;
    auto admin = Proc<LPMAPIADMINPROFILES>(library, "MAPIAdminProfiles");
    auto init = Proc<LPMAPIINITIALIZE>(library, "MAPIInitialize");
    auto uninit = Proc<LPMAPIUNINITIALIZE>(library, "MAPIUninitialize");
    auto queryAll = Proc<LPHRQUERYALLROWS>(library, "HrQueryAllRows@24");
    auto freeRows = Proc<LPFREEPROWS>(library, "FreeProws@4");
    if (init != nullptr && init(nullptr) == S_OK) {
        IProfAdmin* profAdmin = nullptr;
        IMAPITable* table = nullptr;
        SRowSet* rows = nullptr;
        if (admin != nullptr && admin(0, &profAdmin) == S_OK && profAdmin != nullptr &&
            profAdmin->lpVtbl->GetProfileTable(profAdmin, 0, &table) == S_OK && table != nullptr &&
            queryAll != nullptr && queryAll(table, nullptr, nullptr, nullptr, 0, &rows) == S_OK &&
            rows != nullptr) {
            for (uint32_t r = 0; r < rows->cRows; ++r) {
                ProfileRow row;
                const SRow& src = rows->aRow[r];
                for (uint32_t v = 0; v < src.cValues; ++v) {
                    const SPropValue& p = src.lpProps[v];
                    if (PROP_TYPE(p.ulPropTag) == PT_STRING8 && p.Value.lpszA != nullptr)
                        row.names.emplace_back(p.Value.lpszA);
                    else if (PROP_TYPE(p.ulPropTag) == PT_BOOLEAN && p.Value.b != 0)
                        row.isDefault = true;
                }
                result.push_back(std::move(row));
            }
        }
        if (freeRows != nullptr && rows != nullptr)
            freeRows(rows);
        if (table != nullptr)
            table->lpVtbl->Release(table);
        if (profAdmin != nullptr)
            profAdmin->lpVtbl->Release(profAdmin);
        if (uninit != nullptr)
            uninit();
    }
    platform::FreeLibrary(library);
    return result;
}

int32_t CVelkinPropertySheet::CountProfiles() {
    int32_t count = 0;
    std::string last;
    for (const ProfileRow& row : ReadProfileTable()) {
        for (const std::string& name : row.names) {
            ++count;
            last = name;
        }
    }
    if (count > 1)
        return count;
    SetProfile(last);
    SetProfileStepSkipped(count);
    return count;
}

int32_t CVelkinPropertySheet::CreateProfile(ui::IFrontEnd& ui, bool firstTime) {
    void* library = platform::LoadLibraryByName(MapiLibraryName());
    if (library == nullptr)
        return 0;
    int32_t result = 0;
    if (m_profileStepSkipped != 0) {
        result = 0;
    } else if (firstTime &&
               ui.MessageBox(S(IDS_NO_PROFILE_1) + System() + S(IDS_NO_PROFILE_2), Caption(),
                             ui::MB_YESNO | ui::MB_ICONQUESTION) != ui::IDYES) {
        result = -1;
    } else if (auto launch = Proc<LPLAUNCHWIZARD>(library, "LAUNCHWIZARD")) {
        const char* services[4] = {"MSEMS", nullptr, nullptr, nullptr};
        char name[256] = {};
        result = static_cast<int32_t>(launch(0, 0, services, 255, name));
        if (result == 0)
            SetProfile(name);
    }
    platform::FreeLibrary(library);
    return result;
}

// ---- Settings ------------------------------------------------------------------------------

int32_t CVelkinPropertySheet::SaveSettings(ui::IFrontEnd& ui) {
    if (ui.Abandoned())
        return SAVE_NO_STORE;
    int32_t user = 0;
    if (m_settingsPath.empty() ||
        ProfUserOfFolder(SettingsDirectory(m_settingsPath).c_str(), &user) != 0)
        return SAVE_NO_STORE;
    const std::string na = NotApplicable();
    auto value = [&](const std::string& v) { return v == na ? std::string() : v; };
    // Each value is its own atomic replacement of the file; after a failed one the rest
    // are not tried, so the file never mixes values written after a failure.
    bool ok = true;
    auto write = [&](const char* key, const std::string& v) {
        ok = ok && ProfWriteText(user, "Mail", key, v.c_str()) == 0;
    };
    write("System", m_system);
    if (std::optional<std::string> iface = SelectedInterface())
        write("Interface", *iface);
    write("Profile", value(m_profile));
    write("UserAccount", value(m_userAccount));
    write("PostOffice", value(m_postOffice));
    write("Gateway", value(m_gateway));
    write("Password", torrim::EncodePassword(value(m_password)));

    if (!ok)
        return SAVE_WRITE_FAILED;
    if (!m_options.configureMode) {
        // The Mail sync action: a user whose action would skip mail gets it reset.
        std::string data = DataDirectory();
        users::CUserMgr mgr;
        if (!data.empty() && mgr.LoadUsers(data + "/") == users::USERS_OK) {
            const std::string mine =
                platform::LowerMb(platform::JoinPath(data, m_options.userDirectory));
            for (const auto& u : mgr.Users()) {
                if (u->m_userId <= 255 ||
                    platform::LowerMb(platform::JoinPath(data, u->m_userDirectory)) != mine)
                    continue;
                uint32_t a1 = MAIL_ACTION_MISSING;
                uint32_t a2 = MAIL_ACTION_MISSING;
                (void)u->GetPref1(users::MAIL_CREATOR, &a1);  // a missing one stays 3
                (void)u->GetPref2(users::MAIL_CREATOR, &a2);
                if (a1 != 1 && a1 != 3 && a2 != 1 && a2 != 3)
                    continue;
                (void)u->SetPref1(users::MAIL_CREATOR, 0);  // answers 1: the list holds it
                (void)u->SetPref2(users::MAIL_CREATOR, 0);
                if (m_options.installMode) {
                    if (mgr.SaveUsers() != users::USERS_OK)
                        ok = false;
                } else {
                    (void)ui.MessageBox(S(IDS_ACTION_DO_NOTHING), Caption(),
                                        ui::MB_OK | ui::MB_ICONINFORMATION);  // OK only
                }
                break;
            }
        }
    }
    return ok ? SAVE_OK : SAVE_WRITE_FAILED;
}

}  // namespace velkin

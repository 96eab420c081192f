// The wizard's start-up and its user choice.
#include "setup/app/mail_setup_app.h"

#include <cerrno>

#include "host/profstore/profstore.h"
#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "platform/window_link.h"

namespace velkin {
namespace {

constexpr size_t VALUE_LIMIT = 255;
const char* const MAIL_SETUP_TITLE = "Mail Setup";
const char* const USER_SELECTION_TITLE = "User Selection";

std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    return s.substr(b, e - b);
}

bool IsPrefix(char c) {
    return c == '/' || c == '\\' || c == '-';
}

// The user's "Mail" value `key` read by user name; empty on any failure.
std::string ReadByName(int32_t user, const char* key) {
    char buffer[256] = {};
    int32_t size = sizeof(buffer);
    if (ProfReadText(user, "Mail", key, buffer, &size, "") != 0)
        return {};
    return std::string(buffer, static_cast<size_t>(size));
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    cl.empty = args.empty();
    // The first value found for each letter, trying the prefixes in the order "/", "\",
    // "-"; an argument consumed as a value is not a switch.
    struct Found {
        bool present = false;
        bool hasValue = false;
        std::string value;
        int prefixRank = 3;
    };
    Found found[128];
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || !IsPrefix(a[0]))
            continue;
        unsigned char letter = static_cast<unsigned char>(a[1]);
        if (letter != 'I' && letter != 'i' && letter != 'C' && letter != 'c' && letter != 'u' &&
            letter != 'U')
            continue;
        const int rank = a[0] == '/' ? 0 : a[0] == '\\' ? 1 : 2;
        Found f;
        f.prefixRank = rank;
        if (letter == 'I' || letter == 'i') {
            if (a.size() != 2)
                continue;  // "/Intl" is a word, not the switch
            f.present = true;
        } else if (a.size() > 2) {
            f.present = f.hasValue = true;
            f.value = a.substr(2);
        } else if (i + 1 < args.size()) {
            f.present = f.hasValue = true;
            f.value = args[++i];
        } else {
            continue;  // a value switch at the end counts as absent
        }
        if (!found[letter].present || rank < found[letter].prefixRank)
            found[letter] = f;
    }
    auto value = [&](char letter, std::string* out) {
        const Found& f = found[static_cast<unsigned char>(letter)];
        if (!f.present || !f.hasValue)
            return false;
        std::string v = Trim(f.value);
        if (v.size() > VALUE_LIMIT)
            v.resize(platform::ValidCutLength(v, VALUE_LIMIT));
        *out = v;
        return true;
    };
    cl.installMode = found['I'].present || found['i'].present;
    cl.hasSetupDirectory = value('C', &cl.setupDirectory) || value('c', &cl.setupDirectory);
    cl.hasUserName = value('u', &cl.userName) || value('U', &cl.userName);
    return cl;
}

bool DeriveUserDirectory(const std::string& dataDirectory, const std::string& name,
                         std::string* directory) {
    users::CUserMgr mgr;
    if (mgr.LoadUsers(dataDirectory + "/") != users::USERS_OK)
        return false;
    const users::CUser* self = mgr.FindUserByName(name);
    if (self == nullptr)
        return false;
    // The stem: the same rule as new users' folders (an empty list adds no suffix).
    users::CUserMgr empty;
    std::string candidate = empty.MakeUserDirectoryName(name);
    // Unique among the other users: the named user's own folder is not a clash.
    for (uint32_t i = 0;; ++i) {
        bool taken = false;
        for (const auto& u : mgr.Users())
            if (u.get() != self && platform::CompareNoCaseMb(u->m_userDirectory, candidate) == 0)
                taken = true;
        if (!taken)
            break;
        std::string digits = std::to_string(i);
        size_t keep = platform::ValidCutLength(candidate, 8 - digits.size());
        candidate = candidate.substr(0, keep) + digits;
    }
    *directory = candidate;
    return true;
}

// ---- CUserSelectDlg ------------------------------------------------------------------------

CUserSelectDlg::CUserSelectDlg(const CLanguage& lang, const users::CUserMgr& mgr,
                               const users::CUser* proposed)
    : ui::CWindowLogic(lang.Template(IDD_USER_SELECT)), m_mgr(mgr), m_chosen(proposed) {}

void CUserSelectDlg::OnInitDialog(ui::IFrontEnd& ui) {
    for (const auto& u : m_mgr.Users())
        if (u->m_userId > 255)
            ui.AddItem(IDC_USER_LIST, u->m_userName);
    if (m_chosen != nullptr)
        ui.SetText(IDC_USER_LIST, m_chosen->m_userName);  // the first entry beginning with it
}

void CUserSelectDlg::OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) {
    if (id != IDC_USER_LIST || code != ui::CBN_SELCHANGE)
        return;
    if (const users::CUser* u = m_mgr.FindUserByName(ui.GetText(IDC_USER_LIST)))
        m_chosen = u;
}

bool CUserSelectDlg::OnWindowMessage(ui::IFrontEnd& ui, uint32_t message, uint64_t /*wParam*/,
                                     int64_t /*lParam*/) {
    if (message != WM_CLOSE_SETUP)
        return false;
    // The quit message ends the dialog's loop; nobody is chosen, as with Cancel.
    m_chosen = nullptr;
    ui.EndModal(ui::IDCANCEL);
    return true;
}

// ---- CCurrentSetupDlg ----------------------------------------------------------------------

CCurrentSetupDlg::CCurrentSetupDlg(const CLanguage& lang, std::string userName)
    : ui::CWindowLogic(lang.Template(IDD_CURRENT_SETUP)), m_userName(std::move(userName)) {}

void CCurrentSetupDlg::OnInitDialog(ui::IFrontEnd& ui) {
    int32_t user = 0;
    std::string system, iface, profile, account, postOffice, gateway;
    if (ProfUserOfName(m_userName.c_str(), &user) == 0) {
        system = ReadByName(user, "System");
        iface = ReadByName(user, "Interface");
        profile = ReadByName(user, "Profile");
        account = ReadByName(user, "UserAccount");
        if (platform::LowerMb(iface).find("vim32") != std::string::npos) {
            postOffice = ReadByName(user, "PostOffice");
            gateway = ReadByName(user, "Gateway");
        }
    }
    ui.SetText(IDC_VALUE_SYSTEM, system);
    ui.Show(IDC_LABEL_PROFILE, !profile.empty());
    if (!profile.empty())
        ui.SetText(IDC_VALUE_USER, profile);
    ui.Show(IDC_LABEL_USER, !account.empty());
    if (!account.empty())
        ui.SetText(IDC_VALUE_USER, account);
    bool vim = platform::LowerMb(iface).find("vim32") != std::string::npos;
    if (vim) {
        ui.Show(IDC_LABEL_USER, true);
        ui.Show(IDC_LABEL_POST_OFFICE, true);
        ui.Show(IDC_LABEL_GATEWAY, true);
        ui.SetText(IDC_VALUE_USER, account);
        ui.SetText(IDC_VALUE_POST_OFFICE, postOffice);
        ui.SetText(IDC_VALUE_GATEWAY, gateway);
    } else {
        ui.Show(IDC_LABEL_POST_OFFICE, false);
        ui.Show(IDC_LABEL_GATEWAY, false);
        ui.SetText(IDC_VALUE_POST_OFFICE, "");
        ui.SetText(IDC_VALUE_GATEWAY, "");
    }
}

// ---- CMailSetupApp -------------------------------------------------------------------------

bool CMailSetupApp::SelectUser(int32_t* exitCode) {
    std::string data = DataDirectory();
    users::CUserMgr mgr;
    (void)mgr.LoadUsers(data + "/");  // a missing or damaged list is an empty one
    std::unique_ptr<users::CUser> newUser = std::make_unique<users::CUser>();
    const users::CUser* added = nullptr;
    if (m_installMode) {
        platform::CRegistry& reg = platform::CRegistry::Default();
        std::optional<std::string> name =
            reg.GetString(platform::RegistryHive::CurrentUser, NEW_USER_KEY, "NewUser");
        if (name) {
            (void)reg.DeleteKey(platform::RegistryHive::CurrentUser, NEW_USER_KEY);  // read once
            std::string n = name->substr(0, 260);
            if (!n.empty()) {
                newUser->m_userName = n;
                users::CUser* raw = newUser.get();
                if (mgr.AddUser(newUser) == users::USERS_OK && mgr.SaveUsers() == users::USERS_OK) {
                    added = raw;
                    m_userName = raw->m_userName;
                    m_userDirectory = raw->m_userDirectory;
                }
            }
        }
    }
    const users::CUser* chosen = nullptr;
    if (mgr.Count() == 0) {
        *exitCode = ExitCodeNoUser;
        return false;
    }
    if (mgr.Count() == 1) {
        chosen = mgr.Users().front().get();
    } else {
        const users::CUser* proposed = added != nullptr ? added : mgr.Users().front().get();
        CUserSelectDlg dlg(m_lang, mgr, proposed);
        int32_t answer = m_ui.DoModal(dlg);
        if (answer != ui::IDOK || dlg.Chosen() == nullptr) {
            *exitCode = ExitCodeNoUser;
            return false;
        }
        chosen = dlg.Chosen();
    }
    if (m_userName.empty())
        m_userName = chosen->m_userName;
    if (m_userDirectory.empty())
        m_userDirectory = chosen->m_userDirectory.substr(0, 255);
    if (m_userName.empty() || m_userDirectory.empty()) {
        *exitCode = ExitCodeUserUnresolved;
        return false;
    }
    return true;
}

int32_t CMailSetupApp::Run(const std::vector<std::string>& args, SheetOptions sheetOptions) {
    std::string data = DataDirectory();
    m_helpPath = platform::JoinPath(data, "Torrim.hlp");

    // One wizard at a time: a visible one is brought forward instead.
    for (const char* title : {MAIL_SETUP_TITLE, USER_SELECTION_TITLE}) {
        if (platform::WindowExists(title)) {
            (void)platform::PostWindowMessage(title, WM_SHOW_SETUP, 0, 0);  // best effort
            return ExitCodeFinished;
        }
    }
    int32_t error = 0;
    std::unique_ptr<platform::CWindowEndpoint> window =
        platform::CWindowEndpoint::Create(MAIL_SETUP_TITLE, &error);
    if (window == nullptr && error == EADDRINUSE) {
        (void)platform::PostWindowMessage(MAIL_SETUP_TITLE, WM_SHOW_SETUP, 0, 0);  // best effort
        return ExitCodeFinished;
    }
    m_ui.SetInbox(window.get());

    CommandLine cl = ParseCommandLine(args);
    int32_t code = ExitCodeFinished;
    if (!cl.empty) {
        m_installMode = cl.installMode;
        if (cl.hasSetupDirectory) {
            m_configureMode = true;
            m_setupDirectory = cl.setupDirectory;
        } else if (cl.hasUserName) {
            m_userName = cl.userName;
            if (!DeriveUserDirectory(data, m_userName, &m_userDirectory)) {
                m_ui.SetInbox(nullptr);
                return ExitCodeUserUnresolved;
            }
        } else if (!SelectUser(&code)) {
            m_ui.SetInbox(nullptr);
            return code;
        }
    } else {
        if (!SelectUser(&code)) {
            m_ui.SetInbox(nullptr);
            return code;
        }
        std::string settings = platform::ResolveCaseInsensitive(
            platform::JoinPath(platform::JoinPath(data, m_userDirectory), "Sync.ini"));
        if (platform::FileExists(settings)) {
            int32_t user = 0;
            if (ProfUserOfName(m_userName.c_str(), &user) != 0) {
                m_ui.SetInbox(nullptr);
                return ExitCodeFinished;
            }
            if (!ReadByName(user, "System").empty()) {
                CCurrentSetupDlg dlg(m_lang, m_userName);
                if (m_ui.DoModal(dlg) != ui::IDOK) {
                    m_ui.SetInbox(nullptr);
                    return ExitCodeFinished;
                }
            }
        }
    }
    sheetOptions.installMode = m_installMode;
    sheetOptions.configureMode = m_configureMode;
    sheetOptions.setupDirectory = m_setupDirectory;
    sheetOptions.userDirectory = m_userDirectory;
    int32_t exitCode = RunSheet(std::move(sheetOptions));
    m_ui.SetInbox(nullptr);
    if (m_configureMode)
        (void)platform::PostWindowMessage(m_lang.String(IDS_CHANGE_ACTION_TITLE), WM_SETUP_DONE, 0,
                                          exitCode);  // nobody listening is fine
    return exitCode;
}

int32_t CMailSetupApp::RunSheet(SheetOptions options) {
    m_exitCode = ExitCodeFinished;
    CVelkinPropertySheet sheet(m_lang, std::move(options));
    int32_t result = m_ui.RunWizard(sheet.Wizard());
    if (result == ui::ID_WIZFINISH)
        m_exitCode = ExitCodeFinished;
    else if (result == ui::IDCANCEL)
        m_exitCode = ExitCodeCancelled;
    return m_exitCode;
}

}  // namespace velkin

// The wizard's pages and dialogs.
#include "setup/wizard/pages.h"

#include "conduit/core/password.h"
#include "host/condreg/condreg.h"
#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace velkin {
namespace {

// Fields hold at most 255 characters; the password fields only what the settings keep
// of a password (32 bytes), so that the logon test and the sync use the same password.
constexpr size_t FIELD_LIMIT = 255;
constexpr size_t PASSWORD_LIMIT = 32;

bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

}  // namespace

// ---- CWWGPropertyPage ----------------------------------------------------------------------

CWWGPropertyPage::CWWGPropertyPage(CVelkinPropertySheet& sheet, int32_t tmpl)
    : ui::CPageLogic(sheet.Lang().Template(tmpl)), m_sheet(sheet) {}

bool CWWGPropertyPage::OnQueryCancel(ui::IFrontEnd& ui) {
    std::string text = m_sheet.S(IDS_CANCEL_1) + m_sheet.S(IDS_CANCEL_2);
    return ui.MessageBox(text, m_sheet.Caption(), ui::MB_YESNO | ui::MB_ICONQUESTION) == ui::IDYES;
}

bool CWWGPropertyPage::OnWindowMessage(ui::IFrontEnd& /*ui*/, uint32_t message, uint64_t /*wParam*/,
                                       int64_t /*lParam*/) {
    return m_sheet.OnWindowMessage(message);
}

void CWWGPropertyPage::WarnFieldFull(ui::IFrontEnd& ui, uint32_t captionId) {
    (void)ui.MessageBox(m_sheet.S(IDS_FIELD_FULL), m_sheet.S(captionId),
                        ui::MB_OK | ui::MB_ICONEXCLAMATION);  // only an OK button
}

// ---- CActivationPage -----------------------------------------------------------------------

CActivationPage::CActivationPage(CVelkinPropertySheet& sheet, int32_t tmpl)
    : CWWGPropertyPage(sheet, tmpl) {}

bool CActivationPage::OnSetActive(ui::IFrontEnd& ui) {
    ui.SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_FINISH);
    ui.EnableWizardButtons(true);
    if (m_sheet.Options().installMode) {
        ui.SetFinishText(m_sheet.S(IDS_NEXT));
        ui.ShowBackButton(true);  // setting the Finish text hid it
    }
    return true;
}

bool CActivationPage::OnKillActive(ui::IFrontEnd& ui) {
    ui.SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
    return true;
}

int32_t CActivationPage::OnWizardBack(ui::IFrontEnd& /*ui*/) {
    return m_sheet.ProfileStepSkipped() == 1 ? IDD_EMAIL_PROGRAM : IDD_PROFILE;
}

bool CActivationPage::OnWizardFinish(ui::IFrontEnd& ui) {
    m_saveResult = m_sheet.SaveSettings(ui);
    if (m_saveResult != SAVE_OK && !ui.Abandoned()) {
        // The wizard still ends as finished; the person must know that nothing was kept.
        std::string text = m_sheet.S(IDS_NOT_SAVED);
        size_t at = text.find("%s");
        if (at != std::string::npos)
            text.replace(at, 2,
                         m_sheet.SettingsPath().empty() ? "Sync.ini" : m_sheet.SettingsPath());
        (void)ui.MessageBox(text, m_sheet.Caption(), ui::MB_OK | ui::MB_ICONHAND);  // OK only
    }
    return true;
}

// ---- CEmailProgramPage ---------------------------------------------------------------------

CEmailProgramPage::CEmailProgramPage(CVelkinPropertySheet& sheet)
    : CWWGPropertyPage(sheet, IDD_EMAIL_PROGRAM) {}

int16_t MailKindOf(const MailSystemEntry* e) {
    if (e == nullptr)
        return MailKindProfile;
    if (e->interface == "MAPI32") {
        if (e->enabledFields & 0x2)
            return MailKindProfile;
        return Contains(e->system, "Eudora") ? MailKindEudora : MailKindSimpleMapi;
    }
    if (e->interface == "VIM32")
        return MailKindVim;
    return MailKindProfile;
}

std::string DetectInstalledProgram() {
    char buffer[256] = {};
    platform::GetProfileString("CC:MAIL", "PROGVER", "", buffer, 255);
    std::string version = buffer;
    if (!version.empty()) {
        if (version == "700")
            return "Lotus cc:Mail 7.0";
        if (version == "200")
            return "Lotus cc:Mail 2.5";
        return "Lotus cc:Mail 6.0";
    }
    platform::CRegistry& reg = platform::CRegistry::Default();
    if (reg.GetString(platform::RegistryHive::CurrentUser,
                      "Software\\Qualcomm\\Eudora\\CommandLine", "Current"))
        return "Eudora";
    if (reg.GetDword(platform::RegistryHive::LocalMachine,
                     "Software\\Microsoft\\Office\\8.0\\Outlook", "Registered"))
        return "Microsoft Outlook";
    return {};
}

const MailSystemEntry* CEmailProgramPage::Selected() const {
    if (m_selection < 0 || m_selection >= static_cast<int32_t>(m_entries.size()))
        return nullptr;
    return &m_entries[m_selection];
}

void CEmailProgramPage::ReadControls(ui::IFrontEnd& ui) {
    m_text = ui.GetText(IDC_PROGRAM_LIST);
    m_selection = ui.GetSelection(IDC_PROGRAM_LIST);
}

void CEmailProgramPage::ApplySelection(ui::IFrontEnd& ui) {
    ReadControls(ui);
    m_sheet.SetMailKind(MailKindOf(Selected()));
    m_sheet.SetSystem(m_text);
}

int32_t CEmailProgramPage::FillProgramList(ui::IFrontEnd& ui) {
    std::string dataDir = DataDirectory();
    std::string path;
    if (!dataDir.empty()) {
        path = platform::JoinPath(dataDir, "mail.inf");
        std::string resolved = platform::ResolveCaseInsensitive(path);
        std::string text;
        if (platform::FileExists(resolved) &&
            platform::ReadWholeFile(resolved, &text, 1 << 20) == 0) {
            std::vector<MailSystemEntry> kept;
            int32_t r = ReadMailInf(text, m_sheet.Options().family, &kept);
            for (MailSystemEntry& e : kept) {
                ui.AddItem(IDC_PROGRAM_LIST, e.system);
                m_entries.push_back(std::move(e));
            }
            return r;
        }
    }
    std::string message;
    if (path.empty()) {
        char program[256] = {};
        int32_t size = sizeof(program);
        if (CondregHostProgramPath(program, &size) >= 0) {
            std::string p(program, static_cast<size_t>(size));
            size_t slash = p.rfind('/');
            path = (slash == std::string::npos ? std::string() : p.substr(0, slash + 1));
            if (path.empty() || path.back() != '/')
                path += '/';
            path += "mail.inf";
        }
    }
    if (!path.empty()) {
        message = m_sheet.S(IDS_MAIL_INF_MISSING);
        size_t at = message.find("%s");
        if (at != std::string::npos)
            message.replace(at, 2, path);
    } else {
        message = m_sheet.S(IDS_NO_CONFIGURATION);
    }
    (void)ui.MessageBox(message, m_sheet.Caption(), ui::MB_OK | ui::MB_ICONEXCLAMATION);  // OK only
    return MAIL_INF_MISSING;
}

bool CEmailProgramPage::OnSetActive(ui::IFrontEnd& ui) {
    ui.SetWizardButtons(ui::PSWIZB_NEXT);
    ReadControls(ui);
    if (!m_text.empty())
        return true;
    int32_t filled = FillProgramList(ui);
    if (filled == MAIL_INF_DAMAGED) {
        (void)ui.MessageBox(m_sheet.S(IDS_MAIL_INF_DAMAGED), m_sheet.Caption(),
                            ui::MB_OK | ui::MB_ICONEXCLAMATION);  // OK only
        m_sheet.Wizard().End(-1);
        return false;
    }
    if (filled == MAIL_INF_MISSING) {
        m_sheet.Wizard().End(-1);
        return false;
    }
    std::string name = m_sheet.System();
    if (name.empty())
        name = DetectInstalledProgram();
    int32_t select = -1;
    if (name.empty()) {
        select = m_entries.empty() ? -1 : 0;
    } else {
        for (size_t i = 0; i < m_entries.size() && select < 0; ++i) {
            const std::string& s = m_entries[i].system;
            if (s.size() >= name.size() &&
                platform::CompareNoCaseMb(std::string_view(s).substr(0, name.size()), name) == 0)
                select = static_cast<int32_t>(i);
        }
    }
    ui.SetSelection(IDC_PROGRAM_LIST, select);
    ApplySelection(ui);
    return true;
}

void CEmailProgramPage::OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) {
    if (id == IDC_PROGRAM_LIST && code == ui::CBN_SELCHANGE)
        ApplySelection(ui);
}

bool CEmailProgramPage::OnKillActive(ui::IFrontEnd& ui) {
    ReadControls(ui);
    ui.SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
    return true;
}

int32_t CEmailProgramPage::OnWizardNext(ui::IFrontEnd& ui) {
    ReadControls(ui);
    if (m_text.empty()) {
        (void)ui.MessageBox(m_sheet.S(IDS_NO_PROGRAM), m_sheet.Caption(),
                            ui::MB_OK | ui::MB_ICONEXCLAMATION);  // OK only
        ui.SetFocus(IDC_PROGRAM_LIST);
        return -1;
    }
    const std::string na = m_sheet.NotApplicable();
    int32_t next = -1;
    switch (m_sheet.MailKind()) {
        case MailKindProfile: {
            ui.BeginWaitCursor();
            int32_t n = m_sheet.CountProfiles();
            if (n > 1) {
                next = IDD_PROFILE;
            } else if (n == 1) {
                m_sheet.DisableWizardButtons(ui);
                int32_t status = m_sheet.TestLogon(ui);
                m_sheet.EnableWizardButtons(ui);
                next = status == 0 ? IDD_PROFILE_CONGRATS : -1;
            } else {
                bool first = true;
                for (;;) {
                    int32_t s = m_sheet.CreateProfile(ui, first);
                    first = false;
                    if (ui.Abandoned())
                        break;
                    const std::string system = m_sheet.System();
                    if (s == -1) {
                        std::string q =
                            m_sheet.S(IDS_NEED_PROFILE_1) + system + m_sheet.S(IDS_NEED_PROFILE_2);
                        if (ui.MessageBox(q, m_sheet.Caption(),
                                          ui::MB_YESNO | ui::MB_ICONQUESTION) != ui::IDYES)
                            break;
                    } else if (s == 0) {
                        m_sheet.DisableWizardButtons(ui);
                        m_sheet.SetProfileStepSkipped(1);
                        int32_t status = m_sheet.TestLogon(ui);
                        m_sheet.EnableWizardButtons(ui);
                        next = status == 0 ? IDD_PROFILE_CONGRATS : -1;
                        break;
                    } else {
                        std::string q = m_sheet.S(IDS_PROFILE_BAD_1) + system +
                                        m_sheet.S(IDS_PROFILE_BAD_2) + system +
                                        m_sheet.S(IDS_PROFILE_BAD_3);
                        if (ui.MessageBox(q, m_sheet.Caption(),
                                          ui::MB_YESNO | ui::MB_ICONQUESTION) != ui::IDYES)
                            break;
                    }
                }
            }
            ui.EndWaitCursor();
            m_sheet.SetGateway(na);
            m_sheet.SetPassword(na);
            m_sheet.SetPostOffice(na);
            m_sheet.SetUserAccount(na);
            break;
        }
        case MailKindVim:
            m_sheet.SetProfile(na);
            if (m_sheet.Gateway() == na)
                m_sheet.SetGateway("");
            if (m_sheet.Password() == na)
                m_sheet.SetPassword("");
            if (m_sheet.PostOffice() == na)
                m_sheet.SetPostOffice("");
            if (m_sheet.UserAccount() == na)
                m_sheet.SetUserAccount("");
            next = IDD_LOTUS_USER_NAME;
            break;
        case MailKindEudora:
        case MailKindSimpleMapi:
            m_sheet.SetProfile(na);
            m_sheet.SetGateway(na);
            m_sheet.SetPassword(na);
            m_sheet.SetPostOffice(na);
            m_sheet.SetUserAccount(na);
            next = IDD_EUDORA_CONGRATS;
            break;
        default:
            next = -1;
            break;
    }
    m_sheet.SetSystem(m_text);
    return next;
}

// ---- CProfilePage --------------------------------------------------------------------------

CProfilePage::CProfilePage(CVelkinPropertySheet& sheet) : CWWGPropertyPage(sheet, IDD_PROFILE) {}

bool CProfilePage::OnSetActive(ui::IFrontEnd& ui) {
    m_sheet.SetProfile(m_text);
    ui.SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
    if (!m_text.empty())
        return true;
    int32_t added = 0;
    std::string selected;
    for (const ProfileRow& row : m_sheet.ReadProfileTable()) {
        for (const std::string& name : row.names) {
            ui.AddItem(IDC_PROFILE_LIST, name);
            ++added;
            if (row.isDefault)
                selected = name;
        }
    }
    m_sheet.SetProfileStepSkipped(added);
    if (!selected.empty()) {
        std::vector<std::string> items = ui.Items(IDC_PROFILE_LIST);
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == selected)
                ui.SetSelection(IDC_PROFILE_LIST, static_cast<int32_t>(i));
    }
    if (ui.GetSelection(IDC_PROFILE_LIST) < 0)
        ui.SetSelection(IDC_PROFILE_LIST, 0);
    m_text = ui.GetText(IDC_PROFILE_LIST);
    return true;
}

bool CProfilePage::OnKillActive(ui::IFrontEnd& ui) {
    m_text = ui.GetText(IDC_PROFILE_LIST);
    return true;
}

void CProfilePage::OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) {
    if (id == IDC_PROFILE_LIST && code == ui::CBN_SELCHANGE)
        m_text = ui.GetText(IDC_PROFILE_LIST);
}

int32_t CProfilePage::OnWizardNext(ui::IFrontEnd& ui) {
    m_text = ui.GetText(IDC_PROFILE_LIST);
    m_sheet.SetProfile(m_text);
    m_sheet.DisableWizardButtons(ui);
    int32_t next = IDD_PROFILE_CONGRATS;
    if (m_sheet.TestLogon(ui) != 0) {
        (void)ui.MessageBox(m_sheet.S(IDS_PROFILE_INVALID), m_sheet.Caption(), ui::MB_OK);
        next = -1;
    }
    m_sheet.EnableWizardButtons(ui);
    return next;
}

// ---- CLotusUserNamePage --------------------------------------------------------------------

CLotusUserNamePage::CLotusUserNamePage(CVelkinPropertySheet& sheet)
    : CWWGPropertyPage(sheet, IDD_LOTUS_USER_NAME) {}

void CLotusUserNamePage::OnInitDialog(ui::IFrontEnd& ui) {
    ui.SetLimit(IDC_LOTUS_USER, FIELD_LIMIT);
    ui.SetLimit(IDC_LOTUS_PASSWORD, PASSWORD_LIMIT);
}

bool CLotusUserNamePage::OnSetActive(ui::IFrontEnd& ui) {
    ui.SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
    if (ui.GetText(IDC_LOTUS_USER).empty())
        ui.SetText(IDC_LOTUS_USER, m_sheet.UserAccount());
    if (ui.GetText(IDC_LOTUS_PASSWORD).empty()) {
        std::string clear = torrim::DecodePassword(m_sheet.Password());
        if (!clear.empty())
            ui.SetText(IDC_LOTUS_PASSWORD, clear);
    }
    m_user = ui.GetText(IDC_LOTUS_USER);
    m_password = ui.GetText(IDC_LOTUS_PASSWORD);
    if (m_selectUserName) {
        m_selectUserName = false;
        ui.SetFocus(IDC_LOTUS_USER, true);
    }
    return true;
}

bool CLotusUserNamePage::OnKillActive(ui::IFrontEnd& ui) {
    m_user = ui.GetText(IDC_LOTUS_USER);
    m_password = ui.GetText(IDC_LOTUS_PASSWORD);
    return true;
}

void CLotusUserNamePage::OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) {
    if (code == ui::EN_MAXTEXT && (id == IDC_LOTUS_USER || id == IDC_LOTUS_PASSWORD))
        WarnFieldFull(ui, IDS_USER_PASSWORD_CAPTION);
}

int32_t CLotusUserNamePage::OnWizardNext(ui::IFrontEnd& ui) {
    m_user = ui.GetText(IDC_LOTUS_USER);
    m_password = ui.GetText(IDC_LOTUS_PASSWORD);
    if (m_user.empty()) {
        (void)ui.MessageBox(m_sheet.S(IDS_NEED_USER_NAME), m_sheet.S(IDS_USER_IDENTITY),
                            ui::MB_OK | ui::MB_ICONEXCLAMATION);  // OK only
        ui.SetFocus(IDC_LOTUS_USER);
        return -1;
    }
    m_sheet.SetUserAccount(m_user);
    m_sheet.SetPassword(m_password);
    return IDD_LOTUS_POST_OFFICE;
}

// ---- CLotusPostOfficePage ------------------------------------------------------------------

CLotusPostOfficePage::CLotusPostOfficePage(CVelkinPropertySheet& sheet)
    : CWWGPropertyPage(sheet, IDD_LOTUS_POST_OFFICE) {}

void CLotusPostOfficePage::OnInitDialog(ui::IFrontEnd& ui) {
    ui.SetLimit(IDC_POST_OFFICE, FIELD_LIMIT);
}

bool CLotusPostOfficePage::OnSetActive(ui::IFrontEnd& ui) {
    ui.SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
    if (ui.GetText(IDC_POST_OFFICE).empty())
        ui.SetText(IDC_POST_OFFICE, m_sheet.PostOffice());
    m_postOffice = ui.GetText(IDC_POST_OFFICE);
    return true;
}

bool CLotusPostOfficePage::OnKillActive(ui::IFrontEnd& ui) {
    m_postOffice = ui.GetText(IDC_POST_OFFICE);
    return true;
}

void CLotusPostOfficePage::OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) {
    if (id == IDC_POST_OFFICE && code == ui::EN_MAXTEXT) {
        WarnFieldFull(ui, IDS_POST_OFFICE_CAPTION);
    } else if (id == IDC_BROWSE && code == ui::BN_CLICKED) {
        // The chooser opens at the folder in the field; the process's own current folder
        // is left alone.
        std::optional<std::string> chosen = ui.ChooseDirectory(ui.GetText(IDC_POST_OFFICE));
        if (chosen)
            ui.SetText(IDC_POST_OFFICE, platform::LowerMb(*chosen));
    }
}

int32_t CLotusPostOfficePage::OnWizardNext(ui::IFrontEnd& ui) {
    m_postOffice = ui.GetText(IDC_POST_OFFICE);
    m_sheet.SetPostOffice(m_postOffice);
    if (m_postOffice.empty()) {
        (void)ui.MessageBox(m_sheet.S(IDS_NO_POST_OFFICE), m_sheet.S(IDS_POST_OFFICE_CAPTION),
                            ui::MB_OK);  // OK only
        ui.SetFocus(IDC_POST_OFFICE);
        return -1;
    }
    int32_t s = m_sheet.TestLogon(ui);
    switch (s) {
        case 0:
            return IDD_INTERNET_GATEWAY;
        case 1:
        case 11:
        case 15:
        case 22: {
            CLogonFailedDlg dlg(m_sheet, s);
            if (ui.DoModal(dlg) == ui::IDOK)
                return IDD_INTERNET_GATEWAY;
            return s == 22 ? -1 : IDD_LOTUS_USER_NAME;
        }
        case LogonUnavailable:
            (void)ui.MessageBox(m_sheet.S(IDS_NO_VIM), m_sheet.S(IDS_POST_OFFICE_CAPTION),
                                ui::MB_OK);  // OK only
            return -1;
        default: {
            (void)ui.MessageBox(m_sheet.S(IDS_UNKNOWN_ERROR), m_sheet.S(IDS_USER_PASSWORD_CAPTION),
                                ui::MB_OK);  // OK only
            if (auto* page = dynamic_cast<CLotusUserNamePage*>(m_sheet.Page(IDD_LOTUS_USER_NAME)))
                page->SelectUserName();
            return IDD_LOTUS_USER_NAME;
        }
    }
}

// ---- CInternetGatewayPage ------------------------------------------------------------------

CInternetGatewayPage::CInternetGatewayPage(CVelkinPropertySheet& sheet)
    : CWWGPropertyPage(sheet, IDD_INTERNET_GATEWAY) {}

void CInternetGatewayPage::OnInitDialog(ui::IFrontEnd& ui) {
    ui.SetLimit(IDC_GATEWAY, FIELD_LIMIT);
}

bool CInternetGatewayPage::OnSetActive(ui::IFrontEnd& ui) {
    ui.SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
    if (ui.GetText(IDC_GATEWAY).empty() && !m_sheet.Gateway().empty())
        ui.SetText(IDC_GATEWAY, m_sheet.Gateway());
    m_gateway = ui.GetText(IDC_GATEWAY);
    return true;
}

bool CInternetGatewayPage::OnKillActive(ui::IFrontEnd& ui) {
    m_gateway = ui.GetText(IDC_GATEWAY);
    return true;
}

void CInternetGatewayPage::OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) {
    if (id == IDC_GATEWAY && code == ui::EN_MAXTEXT)
        WarnFieldFull(ui, IDS_GATEWAY_CAPTION);
}

int32_t CInternetGatewayPage::OnWizardNext(ui::IFrontEnd& ui) {
    m_gateway = ui.GetText(IDC_GATEWAY);
    int32_t next = IDD_VIM_CONGRATS;
    if (m_gateway.empty()) {
        CNoGatewayDlg dlg(m_sheet.Lang());
        if (ui.DoModal(dlg) != ui::IDOK) {
            ui.SetFocus(IDC_GATEWAY);
            next = -1;
        }
    }
    m_sheet.SetGateway(m_gateway);
    return next;
}

// ---- CEudoraUserNamePage -------------------------------------------------------------------

CEudoraUserNamePage::CEudoraUserNamePage(CVelkinPropertySheet& sheet)
    : CWWGPropertyPage(sheet, IDD_EUDORA_USER_NAME) {}

void CEudoraUserNamePage::OnInitDialog(ui::IFrontEnd& ui) {
    ui.SetLimit(IDC_EUDORA_USER, FIELD_LIMIT);
    ui.SetLimit(IDC_EUDORA_PASSWORD, PASSWORD_LIMIT);
}

bool CEudoraUserNamePage::OnSetActive(ui::IFrontEnd& ui) {
    ui.SetWizardButtons(ui::PSWIZB_BACK | ui::PSWIZB_NEXT);
    if (ui.GetText(IDC_EUDORA_USER).empty() && !m_sheet.UserAccount().empty())
        ui.SetText(IDC_EUDORA_USER, m_sheet.UserAccount());
    if (ui.GetText(IDC_EUDORA_PASSWORD).empty()) {
        std::string clear = torrim::DecodePassword(m_sheet.Password());
        if (!clear.empty())
            ui.SetText(IDC_EUDORA_PASSWORD, clear);
    }
    m_user = ui.GetText(IDC_EUDORA_USER);
    m_password = ui.GetText(IDC_EUDORA_PASSWORD);
    return true;
}

bool CEudoraUserNamePage::OnKillActive(ui::IFrontEnd& ui) {
    m_user = ui.GetText(IDC_EUDORA_USER);
    m_password = ui.GetText(IDC_EUDORA_PASSWORD);
    return true;
}

void CEudoraUserNamePage::OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) {
    if (code == ui::EN_MAXTEXT && (id == IDC_EUDORA_USER || id == IDC_EUDORA_PASSWORD))
        WarnFieldFull(ui, IDS_EUDORA_CAPTION);
}

int32_t CEudoraUserNamePage::OnWizardNext(ui::IFrontEnd& ui) {
    m_user = ui.GetText(IDC_EUDORA_USER);
    m_password = ui.GetText(IDC_EUDORA_PASSWORD);
    if (m_user.empty()) {
        (void)ui.MessageBox(m_sheet.S(IDS_NEED_USER_NAME), m_sheet.S(IDS_USER_IDENTITY),
                            ui::MB_OK | ui::MB_ICONEXCLAMATION);  // OK only
        ui.SetFocus(IDC_EUDORA_USER);
        return -1;
    }
    m_sheet.SetUserAccount(m_user);
    m_sheet.SetPassword(m_password);
    if (m_sheet.TestLogon(ui) == 0)
        return IDD_EUDORA_CONGRATS;
    (void)ui.MessageBox(m_sheet.S(IDS_BAD_USER_OR_PASSWORD), m_sheet.Caption(),
                        ui::MB_OK);  // OK only
    return -1;
}

// ---- Closing pages -------------------------------------------------------------------------

CProfileCongratsPage::CProfileCongratsPage(CVelkinPropertySheet& sheet)
    : CActivationPage(sheet, IDD_PROFILE_CONGRATS) {}

bool CProfileCongratsPage::OnSetActive(ui::IFrontEnd& ui) {
    (void)CActivationPage::OnSetActive(ui);  // always accepts
    ui.SetText(IDC_VALUE_PROFILE, m_sheet.Profile());
    ui.SetText(IDC_VALUE_SYSTEM, m_sheet.System());
    return true;
}

CEudoraCongratsPage::CEudoraCongratsPage(CVelkinPropertySheet& sheet)
    : CActivationPage(sheet, IDD_EUDORA_CONGRATS) {}

bool CEudoraCongratsPage::OnSetActive(ui::IFrontEnd& ui) {
    (void)CActivationPage::OnSetActive(ui);  // always accepts
    ui.SetText(IDC_VALUE_SYSTEM, m_sheet.System());
    return true;
}

bool CEudoraCongratsPage::OnWizardFinish(ui::IFrontEnd& ui) {
    if (Contains(m_sheet.System(), "Eudora")) {
        CEudoraNoteDlg note(m_sheet.Lang());
        (void)ui.DoModal(note);  // a note: however it is closed, Finish goes on
    } else {
        COutlookExpressNoteDlg note(m_sheet.Lang());
        (void)ui.DoModal(note);  // likewise
    }
    return CActivationPage::OnWizardFinish(ui);
}

CVimCongratsPage::CVimCongratsPage(CVelkinPropertySheet& sheet)
    : CActivationPage(sheet, IDD_VIM_CONGRATS) {}

bool CVimCongratsPage::OnSetActive(ui::IFrontEnd& ui) {
    (void)CActivationPage::OnSetActive(ui);  // always accepts
    ui.SetText(IDC_VALUE_USER, m_sheet.UserAccount());
    ui.SetText(IDC_VALUE_SYSTEM, m_sheet.System());
    ui.SetText(IDC_VALUE_POST_OFFICE, m_sheet.PostOffice());
    ui.SetText(IDC_VALUE_GATEWAY, m_sheet.Gateway());
    bool failed = m_sheet.LogonFailed();
    ui.Show(IDC_TEXT_1073, failed);
    ui.Show(IDC_TEXT_1090, failed);
    ui.Show(IDC_TEXT_1089, !failed);
    ui.Show(IDC_TEXT_1075, !failed);
    return true;
}

// ---- Dialogs -------------------------------------------------------------------------------

CLogonFailedDlg::CLogonFailedDlg(const CVelkinPropertySheet& sheet, int32_t status)
    : ui::CWindowLogic(sheet.Lang().Template(IDD_LOGON_FAILED)), m_sheet(sheet), m_status(status) {}

void CLogonFailedDlg::OnInitDialog(ui::IFrontEnd& ui) {
    if (m_status == 1 || m_status == 11 || m_status == 15) {
        ui.Show(IDC_FAILED_1087, false);
        ui.Show(IDC_FAILED_1088, false);
        ui.SetText(IDC_FAILED_1086,
                   m_sheet.S(m_status == 11 ? IDS_BAD_PASSWORD : IDS_BAD_USER_NAME));
    }
}

}  // namespace velkin

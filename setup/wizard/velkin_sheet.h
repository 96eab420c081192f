// The mail setup wizard's sheet: its ten pages, the current values that Finish stores,
// loading and saving the "Mail" settings, the logon tests and the MAPI profile calls.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "setup/wizard/mail_inf.h"
#include "setup/wizard/wizard_resources.h"
#include "ui/ui.h"

namespace velkin {

inline constexpr int16_t MailKindProfile = 1;
inline constexpr int16_t MailKindVim = 2;
inline constexpr int16_t MailKindEudora = 5;
inline constexpr int16_t MailKindSimpleMapi = 6;

// Logon test status when the mail library or one of its entry points is missing.
inline constexpr int32_t LogonUnavailable = 4352;

// SaveSettings results.
inline constexpr int32_t SAVE_OK = 0;
inline constexpr int32_t SAVE_NO_STORE = 1;      // the user's settings store cannot be opened
inline constexpr int32_t SAVE_WRITE_FAILED = 2;  // a value could not be written

// What the application object tells the sheet.
struct SheetOptions {
    bool installMode = false;
    bool configureMode = false;
    std::string setupDirectory;  // value of /C
    std::string userDirectory;   // the user's folder name below the data folder
    PlatformFamily family = PlatformFamily::WindowsNT;
    // Library names; empty: the language library's "mapi32.dll" and "vim32.dll".
    std::string mapiLibrary;
    std::string vimLibrary;
};

// What the logon tests read.
struct MailAccountRecord {
    std::string gateway, interface, profile, postOffice, system, userAccount, password;
};

// One row of the MAPI profile table: its profile names (8-bit string values) and whether
// a true boolean value marks it as the default.
struct ProfileRow {
    std::vector<std::string> names;
    bool isDefault = false;
};

class CEmailProgramPage;

class CVelkinPropertySheet {
public:
    CVelkinPropertySheet(const CLanguage& lang, SheetOptions options);
    ~CVelkinPropertySheet();
    CVelkinPropertySheet(const CVelkinPropertySheet&) = delete;
    CVelkinPropertySheet& operator=(const CVelkinPropertySheet&) = delete;

    ui::CWizard& Wizard() { return m_wizard; }
    const CLanguage& Lang() const { return m_lang; }
    const SheetOptions& Options() const { return m_options; }
    std::string S(uint32_t id) const { return m_lang.String(id); }
    std::string NotApplicable() const { return S(IDS_NOT_APPLICABLE); }
    std::string Caption() const { return S(IDS_CAPTION); }

    // Current values; each setter also updates the account record.
    void SetProfile(const std::string& v) { m_record.profile = m_profile = v; }
    void SetUserAccount(const std::string& v) { m_record.userAccount = m_userAccount = v; }
    void SetPassword(const std::string& v) { m_record.password = m_password = v; }
    void SetPostOffice(const std::string& v) { m_record.postOffice = m_postOffice = v; }
    void SetGateway(const std::string& v) { m_record.gateway = m_gateway = v; }
    void SetSystem(const std::string& v) { m_record.system = m_system = v; }
    std::string Profile() const { return m_profile; }
    std::string UserAccount() const { return m_userAccount; }
    std::string Password() const { return m_password; }
    std::string PostOffice() const { return m_postOffice; }
    std::string Gateway() const { return m_gateway; }
    std::string System() const { return m_system; }
    void SetMailKind(int16_t kind) { m_mailKind = kind; }
    int16_t MailKind() const { return m_mailKind; }
    void SetProfileStepSkipped(int32_t v) { m_profileStepSkipped = v; }
    int32_t ProfileStepSkipped() const { return m_profileStepSkipped; }
    bool LogonFailed() const { return m_logonFailed; }
    const MailAccountRecord& Record() const { return m_record; }

    void DisableWizardButtons(ui::IFrontEnd& ui) { ui.EnableWizardButtons(false); }
    void EnableWizardButtons(ui::IFrontEnd& ui) { ui.EnableWizardButtons(true); }

    // The logon test for the Interface of the entry selected on the program page: the MAPI
    // test for "MAPI32", the VIM test for "VIM32" and "notesvim32" (ignoring case), else 0.
    // Each test loads and unloads its library within the call.
    int32_t TestLogon(ui::IFrontEnd& ui);
    // Number of MAPI profiles; for 0 or 1 also sets Profile and ProfileStepSkipped.
    int32_t CountProfiles();
    // The profile table as the Simple MAPI library lists it; empty when it is missing.
    std::vector<ProfileRow> ReadProfileTable() const;
    // 0 = a profile was created (or nothing attempted), -1 = declined, else the profile
    // wizard's code.
    int32_t CreateProfile(ui::IFrontEnd& ui, bool firstTime);
    // Writes the "Mail" section (and checks the Mail sync action); SAVE_OK, or why nothing
    // (or not everything) was written.
    int32_t SaveSettings(ui::IFrontEnd& ui);
    // Reads the six current values from the settings file (all empty when it is missing).
    void LoadSettings();
    const std::string& SettingsPath() const { return m_settingsPath; }
    // The Interface of the entry selected on the program page; nothing when none is.
    std::optional<std::string> SelectedInterface() const;

    // Messages posted from outside: WM_CLOSE_SETUP ends the sheet with 1.
    bool OnWindowMessage(uint32_t message);

    CEmailProgramPage& ProgramPage() { return *m_programPage; }
    ui::CPageLogic* Page(int32_t tmpl) { return m_wizard.PageById(tmpl); }

private:
    int32_t MapiTest();
    int32_t VimTest(bool notes);
    std::string MapiLibraryName() const;
    std::string VimLibraryName() const;

    const CLanguage& m_lang;
    SheetOptions m_options;
    ui::CWizard m_wizard;
    std::vector<std::unique_ptr<ui::CPageLogic>> m_pages;
    CEmailProgramPage* m_programPage = nullptr;

    std::string m_settingsPath;
    std::string m_userAccount, m_password, m_gateway, m_postOffice, m_profile, m_system;
    MailAccountRecord m_record;
    int16_t m_mailKind = MailKindProfile;
    int32_t m_profileStepSkipped = 0;
    bool m_logonFailed = false;
};

// The desktop data folder from the conduit manager; empty when it cannot tell.
std::string DataDirectory();

}  // namespace velkin

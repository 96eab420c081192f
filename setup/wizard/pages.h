// The wizard's pages and dialogs, as toolkit-free logic over the front-end interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "setup/wizard/mail_inf.h"
#include "setup/wizard/velkin_sheet.h"
#include "ui/ui.h"

namespace velkin {

// Base of every page: the cancel confirmation and the close request from outside.
class CWWGPropertyPage : public ui::CPageLogic {
public:
    CWWGPropertyPage(CVelkinPropertySheet& sheet, int32_t tmpl);
    bool OnQueryCancel(ui::IFrontEnd& ui) override;
    bool OnWindowMessage(ui::IFrontEnd& ui, uint32_t message, uint64_t wParam,
                         int64_t lParam) override;

protected:
    // The "field full" warning of an input page, with the page's caption string.
    void WarnFieldFull(ui::IFrontEnd& ui, uint32_t captionId);
    CVelkinPropertySheet& m_sheet;
};

// Base of the closing pages: Back and Finish buttons, Finish saves.
class CActivationPage : public CWWGPropertyPage {
public:
    CActivationPage(CVelkinPropertySheet& sheet, int32_t tmpl = IDD_ACTIVATION);
    bool OnSetActive(ui::IFrontEnd& ui) override;
    bool OnKillActive(ui::IFrontEnd& ui) override;
    int32_t OnWizardBack(ui::IFrontEnd& ui) override;
    bool OnWizardFinish(ui::IFrontEnd& ui) override;
    // The result of the last save (SAVE_OK before any).
    int32_t LastSaveResult() const { return m_saveResult; }

protected:
    int32_t m_saveResult = SAVE_OK;
};

// 129: which mail program.
class CEmailProgramPage : public CWWGPropertyPage {
public:
    explicit CEmailProgramPage(CVelkinPropertySheet& sheet);
    bool OnSetActive(ui::IFrontEnd& ui) override;
    bool OnKillActive(ui::IFrontEnd& ui) override;
    void OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) override;
    int32_t OnWizardNext(ui::IFrontEnd& ui) override;

    // 1 filled, 0 damaged, -1 missing (after its message).
    int32_t FillProgramList(ui::IFrontEnd& ui);
    const MailSystemEntry* Selected() const;
    const std::vector<MailSystemEntry>& Entries() const { return m_entries; }

private:
    void ReadControls(ui::IFrontEnd& ui);
    void ApplySelection(ui::IFrontEnd& ui);

    std::vector<MailSystemEntry> m_entries;  // in list order
    std::string m_text;                      // the list's text
    int32_t m_selection = -1;
};

// The display name of the mail program found installed, or empty.
std::string DetectInstalledProgram();
// MailKind of an entry (null: nothing selected).
int16_t MailKindOf(const MailSystemEntry* entry);

// 131: which MAPI profile.
class CProfilePage : public CWWGPropertyPage {
public:
    explicit CProfilePage(CVelkinPropertySheet& sheet);
    bool OnSetActive(ui::IFrontEnd& ui) override;
    bool OnKillActive(ui::IFrontEnd& ui) override;
    void OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) override;
    int32_t OnWizardBack(ui::IFrontEnd& ui) override {
        (void)ui;
        return 0;
    }
    int32_t OnWizardNext(ui::IFrontEnd& ui) override;

private:
    std::string m_text;
};

// 134: cc:Mail user name and password.
class CLotusUserNamePage : public CWWGPropertyPage {
public:
    explicit CLotusUserNamePage(CVelkinPropertySheet& sheet);
    void OnInitDialog(ui::IFrontEnd& ui) override;
    bool OnSetActive(ui::IFrontEnd& ui) override;
    bool OnKillActive(ui::IFrontEnd& ui) override;
    void OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) override;
    int32_t OnWizardBack(ui::IFrontEnd& ui) override {
        (void)ui;
        return IDD_EMAIL_PROGRAM;
    }
    int32_t OnWizardNext(ui::IFrontEnd& ui) override;
    // Focus on the user name with its text selected (posted after an unknown VIM error).
    void SelectUserName() { m_selectUserName = true; }

private:
    std::string m_user, m_password;
    bool m_selectUserName = false;
};

// 140: the post office and the VIM logon test.
class CLotusPostOfficePage : public CWWGPropertyPage {
public:
    explicit CLotusPostOfficePage(CVelkinPropertySheet& sheet);
    void OnInitDialog(ui::IFrontEnd& ui) override;
    bool OnSetActive(ui::IFrontEnd& ui) override;
    bool OnKillActive(ui::IFrontEnd& ui) override;
    void OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) override;
    int32_t OnWizardBack(ui::IFrontEnd& ui) override {
        (void)ui;
        return IDD_LOTUS_USER_NAME;
    }
    int32_t OnWizardNext(ui::IFrontEnd& ui) override;

private:
    std::string m_postOffice;
};

// 141: the Internet gateway.
class CInternetGatewayPage : public CWWGPropertyPage {
public:
    explicit CInternetGatewayPage(CVelkinPropertySheet& sheet);
    void OnInitDialog(ui::IFrontEnd& ui) override;
    bool OnSetActive(ui::IFrontEnd& ui) override;
    bool OnKillActive(ui::IFrontEnd& ui) override;
    void OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) override;
    int32_t OnWizardBack(ui::IFrontEnd& ui) override {
        (void)ui;
        return IDD_LOTUS_POST_OFFICE;
    }
    int32_t OnWizardNext(ui::IFrontEnd& ui) override;

private:
    std::string m_gateway;
};

// 151: a Simple MAPI user name and password (no transition leads here).
class CEudoraUserNamePage : public CWWGPropertyPage {
public:
    explicit CEudoraUserNamePage(CVelkinPropertySheet& sheet);
    void OnInitDialog(ui::IFrontEnd& ui) override;
    bool OnSetActive(ui::IFrontEnd& ui) override;
    bool OnKillActive(ui::IFrontEnd& ui) override;
    void OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) override;
    int32_t OnWizardBack(ui::IFrontEnd& ui) override {
        (void)ui;
        return IDD_EMAIL_PROGRAM;
    }
    int32_t OnWizardNext(ui::IFrontEnd& ui) override;

private:
    std::string m_user, m_password;
};

// 381: the closing page of the profile path.
class CProfileCongratsPage : public CActivationPage {
public:
    explicit CProfileCongratsPage(CVelkinPropertySheet& sheet);
    bool OnSetActive(ui::IFrontEnd& ui) override;
};

// 107: the closing page of Eudora and Outlook Express; Finish shows a note first.
class CEudoraCongratsPage : public CActivationPage {
public:
    explicit CEudoraCongratsPage(CVelkinPropertySheet& sheet);
    bool OnSetActive(ui::IFrontEnd& ui) override;
    int32_t OnWizardBack(ui::IFrontEnd& ui) override {
        (void)ui;
        return IDD_EMAIL_PROGRAM;
    }
    bool OnWizardFinish(ui::IFrontEnd& ui) override;
};

// 106: the closing page of the VIM path.
class CVimCongratsPage : public CActivationPage {
public:
    explicit CVimCongratsPage(CVelkinPropertySheet& sheet);
    bool OnSetActive(ui::IFrontEnd& ui) override;
    int32_t OnWizardBack(ui::IFrontEnd& ui) override {
        (void)ui;
        return IDD_INTERNET_GATEWAY;
    }
};

// 154: the VIM logon failed; Save (OK) or Back (Cancel).
class CLogonFailedDlg : public ui::CWindowLogic {
public:
    CLogonFailedDlg(const CVelkinPropertySheet& sheet, int32_t status);
    void OnInitDialog(ui::IFrontEnd& ui) override;

private:
    const CVelkinPropertySheet& m_sheet;
    int32_t m_status;
};

// 159: no gateway entered; Next (OK) or Back (Cancel).
class CNoGatewayDlg : public ui::CWindowLogic {
public:
    explicit CNoGatewayDlg(const CLanguage& lang)
        : ui::CWindowLogic(lang.Template(IDD_NO_GATEWAY)) {}
};

// 162 and 383: how to switch on MAPI in Eudora or Outlook Express.
class CEudoraNoteDlg : public ui::CWindowLogic {
public:
    explicit CEudoraNoteDlg(const CLanguage& lang)
        : ui::CWindowLogic(lang.Template(IDD_EUDORA_NOTE)) {}
};
class COutlookExpressNoteDlg : public ui::CWindowLogic {
public:
    explicit COutlookExpressNoteDlg(const CLanguage& lang)
        : ui::CWindowLogic(lang.Template(IDD_OUTLOOK_EXPRESS_NOTE)) {}
};

}  // namespace velkin

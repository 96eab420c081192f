// The front-end interface of windows: what toolkit-free window logic (dialogs, wizard pages)
// asks of whatever renders it, and what a renderer tells the logic.
//
// Shape. A window is described by a CDialogTemplate (its controls by identifier, their kind
// and first text) and driven by a CWindowLogic. The logic never touches widgets: it calls
// the IFrontEnd it was given for everything it wants shown or asked (control texts,
// shown/hidden, enabled, focus, list entries and selection, text limits, message boxes,
// wizard buttons, the wait cursor, modal dialogs, a directory chooser). The renderer (the
// scripted front end in ui/script_front_end.h; a Qt rendering) keeps each open window's
// control state, shows it, and forwards what the person (or the script) does to the logic:
// command notifications (OnCommand), OK/Cancel of a dialog, and Next/Back/Finish/Cancel of
// a wizard through CWizard, which does the page navigation for every renderer alike.
//
// Control calls address the window on top: the innermost modal dialog while one is open,
// else the wizard's current page. Unknown identifiers are ignored by setters and read as
// empty by getters. Codes and numbers are the Win32 ones, so logic and tests compare with
// the literal values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class CWindowEndpoint;
}

namespace ui {

// ---- Message boxes ------------------------------------------------------------------------
// Button sets.
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_OKCANCEL = 0x1;
inline constexpr uint32_t MB_YESNOCANCEL = 0x3;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_TYPEMASK = 0xF;
// Icons.
inline constexpr uint32_t MB_ICONHAND = 0x10;  // error (stop sign)
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONEXCLAMATION = 0x30;  // warning
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr uint32_t MB_ICONMASK = 0xF0;
// Answers of MessageBox and results of DoModal.
inline constexpr int32_t IDOK = 1;
inline constexpr int32_t IDCANCEL = 2;
inline constexpr int32_t IDYES = 6;
inline constexpr int32_t IDNO = 7;

// ---- Wizard buttons (SetWizardButtons flags) ----------------------------------------------
inline constexpr uint32_t PSWIZB_BACK = 0x1;
inline constexpr uint32_t PSWIZB_NEXT = 0x2;
inline constexpr uint32_t PSWIZB_FINISH = 0x4;
// Result of a wizard ended by Finish (the framework's wizard-finish command).
inline constexpr int32_t ID_WIZFINISH = 12325;

// ---- Command notifications (OnCommand's code) ---------------------------------------------
inline constexpr int32_t BN_CLICKED = 0;       // a push button was pressed
inline constexpr int32_t CBN_SELCHANGE = 1;    // a list's selection changed
inline constexpr int32_t EN_SETFOCUS = 0x100;  // an edit field received the focus
inline constexpr int32_t EN_MAXTEXT = 0x501;   // typing reached the field's limit

// ---- Window descriptions -------------------------------------------------------------------
enum class ControlKind {
    Label,           // static text
    Edit,            // one-line text field
    Password,        // text field whose characters are hidden
    DropList,        // drop-down list, entries in the order added
    SortedDropList,  // drop-down list, entries kept sorted (ignoring case)
    Button,          // push button (its text is the caption)
    Picture,         // bitmap or icon; text names it
};

struct CControlTemplate {
    int32_t id = 0;
    ControlKind kind = ControlKind::Label;
    std::string text;
    bool shown = true;
};

struct CDialogTemplate {
    int32_t id = 0;  // the template number
    std::string caption;
    std::vector<CControlTemplate> controls;

    const CControlTemplate* Find(int32_t controlId) const {
        for (const auto& c : controls)
            if (c.id == controlId)
                return &c;
        return nullptr;
    }
};

class IFrontEnd;
class CWizard;

// The logic of one window. The renderer calls OnInitDialog once the window's controls exist
// (with their template state), then OnCommand for each notification; OnOK/OnCancel when the
// dialog's OK or Cancel is pressed: true closes the dialog with IDOK/IDCANCEL.
// OnWindowMessage receives messages posted to the program from outside while the window is
// on top (for example a request to close); true when handled.
class CWindowLogic {
public:
    explicit CWindowLogic(CDialogTemplate tmpl) : m_template(std::move(tmpl)) {}
    virtual ~CWindowLogic() = default;
    const CDialogTemplate& Template() const { return m_template; }

    virtual void OnInitDialog(IFrontEnd& /*ui*/) {}
    virtual void OnCommand(IFrontEnd& /*ui*/, int32_t /*id*/, int32_t /*code*/) {}
    virtual bool OnOK(IFrontEnd& /*ui*/) { return true; }
    virtual bool OnCancel(IFrontEnd& /*ui*/) { return true; }
    virtual bool OnWindowMessage(IFrontEnd& /*ui*/, uint32_t /*message*/, uint64_t /*wParam*/,
                                 int64_t /*lParam*/) {
        return false;
    }

protected:
    CDialogTemplate m_template;
};

// The logic of a wizard page. Back and Next answer the template number of the page to go
// to, 0 for the neighbouring page in the order of addition, or -1 to stay.
class CPageLogic : public CWindowLogic {
public:
    using CWindowLogic::CWindowLogic;
    // The page becomes current; false refuses (the wizard then stays where it was).
    virtual bool OnSetActive(IFrontEnd& /*ui*/) { return true; }
    // The page is left; false keeps it current.
    virtual bool OnKillActive(IFrontEnd& /*ui*/) { return true; }
    virtual int32_t OnWizardBack(IFrontEnd& /*ui*/) { return 0; }
    virtual int32_t OnWizardNext(IFrontEnd& /*ui*/) { return 0; }
    // true lets the wizard end with ID_WIZFINISH.
    virtual bool OnWizardFinish(IFrontEnd& /*ui*/) { return true; }
    // Cancel was pressed: true lets the wizard end with IDCANCEL.
    virtual bool OnQueryCancel(IFrontEnd& /*ui*/) { return true; }
};

// ---- What logic asks of the renderer ------------------------------------------------------
class IFrontEnd {
public:
    virtual ~IFrontEnd() = default;

    // Controls of the window on top.
    virtual void SetText(int32_t id, std::string_view text) = 0;
    virtual std::string GetText(int32_t id) = 0;
    virtual void Show(int32_t id, bool shown) = 0;
    virtual void Enable(int32_t id, bool enabled) = 0;
    // Moves the focus to the control; selectAll also selects its whole text.
    virtual void SetFocus(int32_t id, bool selectAll = false) = 0;
    // Longest text, in bytes, that typing can put into an edit field (0 = no limit); a
    // renderer cuts typed text at a character boundary and then sends EN_MAXTEXT.
    virtual void SetLimit(int32_t id, size_t maxBytes) = 0;
    // Lists. AddItem answers the entry's index (its sorted place in a sorted list).
    // Selection: index, or -1 for none; the list's text (GetText) is the selected entry's.
    virtual void ClearList(int32_t id) = 0;
    virtual int32_t AddItem(int32_t id, std::string_view text) = 0;
    virtual std::vector<std::string> Items(int32_t id) = 0;
    virtual int32_t GetSelection(int32_t id) = 0;
    virtual void SetSelection(int32_t id, int32_t index) = 0;

    // A modal message box: text, caption, a button set | an icon (MB_*). Answers the
    // button pressed (IDOK, IDCANCEL, IDYES, IDNO).
    virtual int32_t MessageBox(std::string_view text, std::string_view caption, uint32_t type) = 0;
    // Runs a modal dialog until it closes; IDOK or IDCANCEL (or another value that its
    // logic closed it with). The dialog's controls are the window on top meanwhile.
    virtual int32_t DoModal(CWindowLogic& dialog) = 0;
    // Closes the innermost modal dialog with `result` once the running handler returns.
    virtual void EndModal(int32_t result) = 0;
    // A modal directory chooser opening at `start`; the chosen folder, or nothing on Cancel.
    virtual std::optional<std::string> ChooseDirectory(std::string_view start) = 0;

    // The wizard makes `page` the window on top before it activates it; the first time, the
    // renderer creates the page's controls from its template and calls OnInitDialog. A
    // page keeps its control state while the wizard lives.
    virtual void ShowPage(CPageLogic& page) = 0;
    // The wizard's buttons: which of Back, Next and Finish are offered (PSWIZB_*).
    virtual void SetWizardButtons(uint32_t flags) = 0;
    // Enables or disables the Back and Next buttons as a whole (around long work).
    virtual void EnableWizardButtons(bool enabled) = 0;
    // Gives the Finish button another text; this hides the Back button.
    virtual void SetFinishText(std::string_view text) = 0;
    virtual void ShowBackButton(bool shown) = 0;

    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Runs the wizard until it ends (Finish, Cancel, or End from its logic); answers its
    // Result(). The wizard's pages are the windows on top meanwhile.
    virtual int32_t RunWizard(CWizard& wizard) = 0;

    // Messages posted to this endpoint go to the window on top while the renderer waits
    // for the person (not owned; null: none).
    virtual void SetInbox(platform::CWindowEndpoint* /*inbox*/) {}

    // true once the renderer has given up on the run (a script that does not fit what is
    // shown): logic must then not store anything.
    virtual bool Abandoned() const { return false; }
};

// ---- The wizard: page navigation shared by every renderer ---------------------------------
class CWizard {
public:
    // Pages are not owned; they must outlive the wizard.
    explicit CWizard(std::string caption) : m_caption(std::move(caption)) {}
    void AddPage(CPageLogic* page) { m_pages.push_back(page); }
    const std::string& Caption() const { return m_caption; }
    const std::vector<CPageLogic*>& Pages() const { return m_pages; }

    // Activates the first page that accepts; false (and Ended) when none does.
    bool Start(IFrontEnd& ui);
    // The buttons. Each does nothing once the wizard has ended.
    void Next(IFrontEnd& ui);
    void Back(IFrontEnd& ui);
    void Finish(IFrontEnd& ui);
    void Cancel(IFrontEnd& ui);
    // Ends the wizard at once with `result` (a posted quit message).
    void End(int32_t result) {
        m_ended = true;
        m_result = result;
    }

    bool Ended() const { return m_ended; }
    // ID_WIZFINISH, IDCANCEL, or the value given to End.
    int32_t Result() const { return m_result; }
    CPageLogic* Current() const { return m_current < 0 ? nullptr : m_pages[m_current]; }
    // The page whose template number is `id`, or null.
    CPageLogic* PageById(int32_t id) const;

private:
    // Moves from the current page to page index `to`: leaves the current page, then
    // activates `to`; when `to` refuses, the current page is activated again.
    void GoTo(IFrontEnd& ui, int32_t target, bool forward);
    bool Activate(IFrontEnd& ui, int32_t index);

    std::string m_caption;
    std::vector<CPageLogic*> m_pages;
    int32_t m_current = -1;
    bool m_ended = false;
    int32_t m_result = 0;
};

}  // namespace ui

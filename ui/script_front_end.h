// The scripted front end: renders windows as text and answers them from a script.
//
// Every page, dialog and message box met is printed to `out` in order; each script
// command acts on the window on top. A command that does not fit what is shown (a control
// that is not there or is hidden or disabled, a wizard button that is not offered, a list
// entry that does not exist, an answer the message box does not offer, the script ending
// while a window waits) is a script error: it is reported on `err`, Abandoned() becomes
// true, every further question is answered Cancel/No and the wizard ends, so that the
// logic stores nothing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ui/script.h"
#include "ui/ui.h"

namespace ui {

class CScriptFrontEnd : public IFrontEnd {
public:
    CScriptFrontEnd(std::vector<ScriptCommand> script, std::ostream& out, std::ostream& err);
    ~CScriptFrontEnd() override;

    // Runs the wizard to its end; answers its Result(), or -1 after a script error.
    int32_t RunWizard(CWizard& wizard) override;
    // Messages posted to this endpoint (when given) go to the window on top between
    // commands. Not owned.
    void SetInbox(platform::CWindowEndpoint* inbox) override { m_inbox = inbox; }
    // Commands not used yet.
    size_t Remaining() const { return m_script.size() - m_next; }

    // IFrontEnd
    void SetText(int32_t id, std::string_view text) override;
    std::string GetText(int32_t id) override;
    void Show(int32_t id, bool shown) override;
    void Enable(int32_t id, bool enabled) override;
    void SetFocus(int32_t id, bool selectAll) override;
    void SetLimit(int32_t id, size_t maxBytes) override;
    void ClearList(int32_t id) override;
    int32_t AddItem(int32_t id, std::string_view text) override;
    std::vector<std::string> Items(int32_t id) override;
    int32_t GetSelection(int32_t id) override;
    void SetSelection(int32_t id, int32_t index) override;
    int32_t MessageBox(std::string_view text, std::string_view caption, uint32_t type) override;
    int32_t DoModal(CWindowLogic& dialog) override;
    void EndModal(int32_t result) override;
    std::optional<std::string> ChooseDirectory(std::string_view start) override;
    void ShowPage(CPageLogic& page) override;
    void SetWizardButtons(uint32_t flags) override;
    void EnableWizardButtons(bool enabled) override;
    void SetFinishText(std::string_view text) override;
    void ShowBackButton(bool shown) override;
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    bool Abandoned() const override { return m_abandoned; }

    // Control state of the window on top, for tests.
    bool IsShownForTesting(int32_t id);
    bool IsEnabledForTesting(int32_t id);
    uint32_t WizardButtonsForTesting() const { return m_buttons; }
    std::string FinishTextForTesting() const { return m_finishText; }
    int32_t FocusForTesting();

private:
    struct Control {
        CControlTemplate tmpl;
        std::string text;
        bool shown = true;
        bool enabled = true;
        size_t limit = 0;
        std::vector<std::string> items;
        int32_t selection = -1;
    };
    struct Window {
        CWindowLogic* logic = nullptr;
        bool isPage = false;
        std::vector<Control> controls;
        int32_t focus = 0;
        bool ended = false;
        int32_t result = IDCANCEL;
    };

    Window& NewWindow(CWindowLogic& logic, bool isPage);
    Window* Top();
    Control* Find(int32_t id);
    void Print(Window& w);
    // The next command, or null (with a script error) when the script has ended.
    const ScriptCommand* Take(const char* waitingFor);
    void Fail(const ScriptCommand* cmd, const std::string& why);
    void DeliverPosted();
    // Carries out a control command (select, type, click, expect) on the window on top.
    void DoControlCommand(const ScriptCommand& cmd);

    std::vector<ScriptCommand> m_script;
    size_t m_next = 0;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_abandoned = false;
    platform::CWindowEndpoint* m_inbox = nullptr;

    std::map<CWindowLogic*, std::unique_ptr<Window>> m_pages;  // kept while the wizard lives
    std::vector<std::unique_ptr<Window>> m_dialogs;            // modal dialogs, innermost last
    Window* m_page = nullptr;                                  // current wizard page
    CWizard* m_wizard = nullptr;
    Window* m_printed = nullptr;

    uint32_t m_buttons = PSWIZB_NEXT;
    bool m_buttonsEnabled = true;
    bool m_backShown = true;
    std::string m_finishText;
};

}  // namespace ui

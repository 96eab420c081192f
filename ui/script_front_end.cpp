// The scripted front end: windows printed as text, answered from a script.
#include "ui/script_front_end.h"

#include <algorithm>

#include "platform/code_page.h"
#include "platform/window_link.h"

namespace ui {
namespace {

const char* IconName(uint32_t type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return "error";
        case MB_ICONQUESTION:
            return "question";
        case MB_ICONEXCLAMATION:
            return "warning";
        case MB_ICONINFORMATION:
            return "information";
        default:
            return "no icon";
    }
}

const char* AnswerName(int32_t answer) {
    switch (answer) {
        case IDOK:
            return "ok";
        case IDCANCEL:
            return "cancel";
        case IDYES:
            return "yes";
        case IDNO:
            return "no";
        default:
            return "?";
    }
}

// The answers a message box of `type` offers, the first being the one a script error gives.
std::vector<int32_t> Answers(uint32_t type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {IDCANCEL, IDOK};
        case MB_YESNOCANCEL:
            return {IDCANCEL, IDNO, IDYES};
        case MB_YESNO:
            return {IDNO, IDYES};
        default:
            return {IDOK};
    }
}

// Multi-line texts are indented under their first line.
std::string Indented(std::string_view text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\n')
            out += "    ";
    }
    return out;
}

bool IsList(ControlKind k) {
    return k == ControlKind::DropList || k == ControlKind::SortedDropList;
}
bool IsEdit(ControlKind k) {
    return k == ControlKind::Edit || k == ControlKind::Password;
}

}  // namespace

CScriptFrontEnd::CScriptFrontEnd(std::vector<ScriptCommand> script, std::ostream& out,
                                 std::ostream& err)
    : m_script(std::move(script)), m_out(out), m_err(err) {}

CScriptFrontEnd::~CScriptFrontEnd() = default;

CScriptFrontEnd::Window& CScriptFrontEnd::NewWindow(CWindowLogic& logic, bool isPage) {
    auto w = std::make_unique<Window>();
    w->logic = &logic;
    w->isPage = isPage;
    for (const CControlTemplate& t : logic.Template().controls) {
        Control c;
        c.tmpl = t;
        c.shown = t.shown;
        if (!IsList(t.kind))
            c.text = t.text;
        w->controls.push_back(std::move(c));
    }
    Window& ref = *w;
    if (isPage)
        m_pages[&logic] = std::move(w);
    else
        m_dialogs.push_back(std::move(w));
    return ref;
}

CScriptFrontEnd::Window* CScriptFrontEnd::Top() {
    if (!m_dialogs.empty())
        return m_dialogs.back().get();
    return m_page;
}

CScriptFrontEnd::Control* CScriptFrontEnd::Find(int32_t id) {
    Window* w = Top();
    if (w == nullptr || id <= 0)
        return nullptr;
    for (Control& c : w->controls)
        if (c.tmpl.id == id)
            return &c;
    return nullptr;
}

void CScriptFrontEnd::Fail(const ScriptCommand* cmd, const std::string& why) {
    if (m_abandoned)
        return;
    m_err << "velkin: script";
    if (cmd != nullptr)
        m_err << " line " << cmd->line;
    m_err << ": " << why << "; nothing was saved\n";
    m_out << "script error: " << why << "\n";
    m_abandoned = true;
    if (m_wizard != nullptr)
        m_wizard->End(-1);
    for (auto& d : m_dialogs) {
        d->ended = true;
        d->result = IDCANCEL;
    }
}

const ScriptCommand* CScriptFrontEnd::Take(const char* waitingFor) {
    if (m_abandoned)
        return nullptr;
    if (m_next >= m_script.size()) {
        Fail(nullptr, std::string("the script ended while ") + waitingFor + " was waiting");
        return nullptr;
    }
    return &m_script[m_next++];
}

void CScriptFrontEnd::Print(Window& w) {
    m_printed = &w;
    const CDialogTemplate& t = w.logic->Template();
    m_out << (w.isPage ? "page " : "dialog ") << t.id << " \"" << t.caption << "\"\n";
    for (const Control& c : w.controls) {
        if (c.tmpl.id <= 0 || c.tmpl.kind == ControlKind::Picture)
            continue;
        if (c.tmpl.kind == ControlKind::Label) {
            // Fixed texts are not repeated; a label the logic changed is.
            if (c.text == c.tmpl.text && c.shown == c.tmpl.shown)
                continue;
            m_out << "  " << c.tmpl.id << ": " << (c.shown ? Indented(c.text) : "(hidden)") << "\n";
            continue;
        }
        if (!c.shown)
            continue;
        if (c.tmpl.kind == ControlKind::Button) {
            m_out << "  " << c.tmpl.id << " button: " << c.text << (c.enabled ? "" : " (disabled)")
                  << "\n";
        } else if (IsList(c.tmpl.kind)) {
            m_out << "  " << c.tmpl.id << " list:";
            if (c.items.empty())
                m_out << " (empty)";
            for (size_t i = 0; i < c.items.size(); ++i)
                m_out << (i == 0 ? " " : " | ")
                      << (static_cast<int32_t>(i) == c.selection ? "*" : "") << c.items[i];
            m_out << "\n";
        } else if (c.tmpl.kind == ControlKind::Password) {
            m_out << "  " << c.tmpl.id << ": " << std::string(c.text.size(), '*') << "\n";
        } else {
            m_out << "  " << c.tmpl.id << ": " << c.text << "\n";
        }
    }
    if (w.isPage) {
        m_out << "  buttons:";
        if ((m_buttons & PSWIZB_BACK) && m_backShown)
            m_out << " back";
        if (m_buttons & PSWIZB_NEXT)
            m_out << " next";
        if (m_buttons & PSWIZB_FINISH)
            m_out << " finish" << (m_finishText.empty() ? "" : " (\"" + m_finishText + "\")");
        m_out << " cancel\n";
    }
}

void CScriptFrontEnd::DeliverPosted() {
    if (m_inbox == nullptr)
        return;
    platform::PostedMessage msg;
    while (!m_abandoned && m_inbox->Receive(&msg, 0)) {
        Window* w = Top();
        m_out << "message " << msg.message << " received\n";
        if (w != nullptr)
            (void)w->logic->OnWindowMessage(*this, msg.message, msg.wParam,
                                            msg.lParam);  // unhandled ones are dropped
    }
}

void CScriptFrontEnd::DoControlCommand(const ScriptCommand& cmd) {
    Window* w = Top();
    const int32_t tmplId = w->logic->Template().id;
    const std::string where = (w->isPage ? "page " : "dialog ") + std::to_string(tmplId);
    if (cmd.verb == ScriptVerb::Expect) {
        if (tmplId != cmd.id)
            Fail(&cmd,
                 "expected window " + std::to_string(cmd.id) + ", but " + where + " is shown");
        return;
    }
    Control* c = Find(cmd.id);
    if (c == nullptr) {
        Fail(&cmd, where + " has no control " + std::to_string(cmd.id));
        return;
    }
    if (!c->shown || !c->enabled) {
        Fail(&cmd, "control " + std::to_string(cmd.id) + " of " + where + " is " +
                       (c->shown ? "disabled" : "hidden"));
        return;
    }
    CWindowLogic* logic = w->logic;
    switch (cmd.verb) {
        case ScriptVerb::Type: {
            if (!IsEdit(c->tmpl.kind)) {
                Fail(&cmd,
                     "control " + std::to_string(cmd.id) + " of " + where + " is not a text field");
                return;
            }
            w->focus = cmd.id;
            logic->OnCommand(*this, cmd.id, EN_SETFOCUS);
            c = Find(cmd.id);
            if (c == nullptr || m_abandoned)
                return;
            std::string text = cmd.text;
            bool cut = false;
            if (c->limit > 0 && text.size() > c->limit) {
                text.resize(platform::ValidCutLength(text, c->limit));
                cut = true;
            }
            c->text = text;
            m_out << "  typed into " << cmd.id << "\n";
            if (cut)
                logic->OnCommand(*this, cmd.id, EN_MAXTEXT);
            return;
        }
        case ScriptVerb::Select: {
            if (!IsList(c->tmpl.kind)) {
                Fail(&cmd, "control " + std::to_string(cmd.id) + " of " + where + " is not a list");
                return;
            }
            auto it = std::find(c->items.begin(), c->items.end(), cmd.text);
            if (it == c->items.end()) {
                Fail(&cmd, "list " + std::to_string(cmd.id) + " of " + where + " has no entry \"" +
                               cmd.text + "\"");
                return;
            }
            c->selection = static_cast<int32_t>(it - c->items.begin());
            w->focus = cmd.id;
            m_out << "  selected \"" << cmd.text << "\" in " << cmd.id << "\n";
            logic->OnCommand(*this, cmd.id, CBN_SELCHANGE);
            return;
        }
        case ScriptVerb::Click: {
            if (c->tmpl.kind != ControlKind::Button) {
                Fail(&cmd,
                     "control " + std::to_string(cmd.id) + " of " + where + " is not a button");
                return;
            }
            m_out << "  clicked " << cmd.id << "\n";
            logic->OnCommand(*this, cmd.id, BN_CLICKED);
            return;
        }
        default:
            return;
    }
}

int32_t CScriptFrontEnd::RunWizard(CWizard& wizard) {
    m_wizard = &wizard;
    (void)wizard.Start(*this);  // a wizard that cannot start has ended; reported below
    while (!wizard.Ended() && !m_abandoned) {
        if (Top() != nullptr && Top() != m_printed)
            Print(*Top());
        DeliverPosted();
        if (wizard.Ended())
            break;
        const ScriptCommand* cmd = Take("the wizard page");
        if (cmd == nullptr)
            break;
        switch (cmd->verb) {
            case ScriptVerb::Next:
                if (!(m_buttons & PSWIZB_NEXT) || !m_buttonsEnabled)
                    Fail(cmd, "the wizard offers no Next button here");
                else
                    wizard.Next(*this);
                break;
            case ScriptVerb::Back:
                if (!(m_buttons & PSWIZB_BACK) || !m_backShown || !m_buttonsEnabled)
                    Fail(cmd, "the wizard offers no Back button here");
                else
                    wizard.Back(*this);
                break;
            case ScriptVerb::Finish:
                if (!(m_buttons & PSWIZB_FINISH))
                    Fail(cmd, "the wizard offers no Finish button here");
                else
                    wizard.Finish(*this);
                break;
            case ScriptVerb::Cancel:
                wizard.Cancel(*this);
                break;
            case ScriptVerb::Select:
            case ScriptVerb::Type:
            case ScriptVerb::Click:
            case ScriptVerb::Expect:
                DoControlCommand(*cmd);
                break;
            default:
                Fail(cmd,
                     "this command does not fit a wizard page (no message box, dialog or "
                     "directory chooser is waiting)");
                break;
        }
    }
    m_wizard = nullptr;
    if (m_abandoned)
        return -1;
    if (wizard.Result() == ID_WIZFINISH)
        m_out << "wizard finished\n";
    else if (wizard.Result() == IDCANCEL)
        m_out << "wizard cancelled\n";
    else
        m_out << "wizard closed (" << wizard.Result() << ")\n";
    return wizard.Result();
}

int32_t CScriptFrontEnd::DoModal(CWindowLogic& dialog) {
    if (m_abandoned)
        return IDCANCEL;
    Window& w = NewWindow(dialog, false);
    dialog.OnInitDialog(*this);
    if (!w.ended)
        Print(w);
    while (!w.ended && !m_abandoned) {
        DeliverPosted();
        if (w.ended)
            break;
        const ScriptCommand* cmd = Take("a dialog");
        if (cmd == nullptr)
            break;
        switch (cmd->verb) {
            case ScriptVerb::Ok:
                if (dialog.OnOK(*this)) {
                    w.ended = true;
                    w.result = IDOK;
                }
                break;
            case ScriptVerb::Cancel:
                if (dialog.OnCancel(*this)) {
                    w.ended = true;
                    w.result = IDCANCEL;
                }
                break;
            case ScriptVerb::Select:
            case ScriptVerb::Type:
            case ScriptVerb::Click:
            case ScriptVerb::Expect:
                DoControlCommand(*cmd);
                break;
            default:
                Fail(cmd, "dialog " + std::to_string(dialog.Template().id) +
                              " is waiting for ok, cancel or one of its controls");
                break;
        }
    }
    int32_t result = m_abandoned ? IDCANCEL : w.result;
    m_out << "  dialog " << dialog.Template().id << " closed: " << AnswerName(result) << "\n";
    if (m_printed == m_dialogs.back().get())
        m_printed = nullptr;  // the window on top below it is shown again
    m_dialogs.pop_back();
    return result;
}

void CScriptFrontEnd::EndModal(int32_t result) {
    if (m_dialogs.empty())
        return;
    m_dialogs.back()->ended = true;
    m_dialogs.back()->result = result;
}

int32_t CScriptFrontEnd::MessageBox(std::string_view text, std::string_view caption,
                                    uint32_t type) {
    std::vector<int32_t> answers = Answers(type);
    m_out << "message \"" << caption << "\" (" << IconName(type) << "): " << Indented(text) << "\n";
    if (m_abandoned)
        return answers.front();
    const ScriptCommand* next = m_next < m_script.size() ? &m_script[m_next] : nullptr;
    if (next == nullptr || next->verb != ScriptVerb::Answer) {
        if (answers.size() == 1) {
            m_out << "  answer: ok\n";
            return IDOK;
        }
        Fail(next, "the message box needs an answer (yes, no" +
                       std::string(answers.size() == 3 ? ", cancel" : "") + ")");
        return answers.front();
    }
    ++m_next;
    if (std::find(answers.begin(), answers.end(), next->id) == answers.end()) {
        Fail(next,
             std::string("the message box offers no answer \"") + AnswerName(next->id) + "\"");
        return answers.front();
    }
    m_out << "  answer: " << AnswerName(next->id) << "\n";
    return next->id;
}

std::optional<std::string> CScriptFrontEnd::ChooseDirectory(std::string_view start) {
    m_out << "directory chooser (at \"" << start << "\")\n";
    if (m_abandoned)
        return std::nullopt;
    const ScriptCommand* next = m_next < m_script.size() ? &m_script[m_next] : nullptr;
    if (next == nullptr || next->verb != ScriptVerb::Directory) {
        Fail(next, "the directory chooser needs a \"directory\" line");
        return std::nullopt;
    }
    ++m_next;
    if (!next->hasText) {
        m_out << "  cancelled\n";
        return std::nullopt;
    }
    m_out << "  chosen: " << next->text << "\n";
    return next->text;
}

void CScriptFrontEnd::ShowPage(CPageLogic& page) {
    auto it = m_pages.find(&page);
    if (it != m_pages.end()) {
        m_page = it->second.get();
        return;
    }
    m_page = &NewWindow(page, true);
    page.OnInitDialog(*this);
}

void CScriptFrontEnd::SetText(int32_t id, std::string_view text) {
    Control* c = Find(id);
    if (c == nullptr)
        return;
    if (!IsList(c->tmpl.kind)) {
        c->text = std::string(text);
        return;
    }
    // A list's text selects the first entry that begins with it, ignoring case.
    c->selection = -1;
    for (size_t i = 0; i < c->items.size(); ++i) {
        if (c->items[i].size() >= text.size() &&
            platform::CompareNoCaseMb(std::string_view(c->items[i]).substr(0, text.size()), text) ==
                0) {
            c->selection = static_cast<int32_t>(i);
            break;
        }
    }
}

std::string CScriptFrontEnd::GetText(int32_t id) {
    Control* c = Find(id);
    if (c == nullptr)
        return {};
    if (IsList(c->tmpl.kind))
        return c->selection >= 0 ? c->items[c->selection] : std::string();
    return c->text;
}

void CScriptFrontEnd::Show(int32_t id, bool shown) {
    if (Control* c = Find(id))
        c->shown = shown;
}

void CScriptFrontEnd::Enable(int32_t id, bool enabled) {
    if (Control* c = Find(id))
        c->enabled = enabled;
}

void CScriptFrontEnd::SetFocus(int32_t id, bool /*selectAll*/) {
    if (Window* w = Top())
        w->focus = id;
}

void CScriptFrontEnd::SetLimit(int32_t id, size_t maxBytes) {
    if (Control* c = Find(id))
        c->limit = maxBytes;
}

void CScriptFrontEnd::ClearList(int32_t id) {
    if (Control* c = Find(id)) {
        c->items.clear();
        c->selection = -1;
    }
}

int32_t CScriptFrontEnd::AddItem(int32_t id, std::string_view text) {
    Control* c = Find(id);
    if (c == nullptr || !IsList(c->tmpl.kind))
        return -1;
    auto at = c->items.end();
    if (c->tmpl.kind == ControlKind::SortedDropList) {
        at = std::upper_bound(c->items.begin(), c->items.end(), text,
                              [](std::string_view a, const std::string& b) {
                                  return platform::CompareNoCaseMb(a, b) < 0;
                              });
    }
    int32_t index = static_cast<int32_t>(at - c->items.begin());
    c->items.insert(at, std::string(text));
    if (c->selection >= index)
        ++c->selection;
    return index;
}

std::vector<std::string> CScriptFrontEnd::Items(int32_t id) {
    Control* c = Find(id);
    return c != nullptr ? c->items : std::vector<std::string>();
}

int32_t CScriptFrontEnd::GetSelection(int32_t id) {
    Control* c = Find(id);
    return c != nullptr ? c->selection : -1;
}

void CScriptFrontEnd::SetSelection(int32_t id, int32_t index) {
    if (Control* c = Find(id))
        c->selection = index >= 0 && index < static_cast<int32_t>(c->items.size()) ? index : -1;
}

void CScriptFrontEnd::SetWizardButtons(uint32_t flags) {
    m_buttons = flags;
}
void CScriptFrontEnd::EnableWizardButtons(bool enabled) {
    m_buttonsEnabled = enabled;
}
void CScriptFrontEnd::SetFinishText(std::string_view text) {
    m_finishText = std::string(text);
    m_backShown = false;
}
void CScriptFrontEnd::ShowBackButton(bool shown) {
    m_backShown = shown;
}

bool CScriptFrontEnd::IsShownForTesting(int32_t id) {
    Control* c = Find(id);
    return c != nullptr && c->shown;
}
bool CScriptFrontEnd::IsEnabledForTesting(int32_t id) {
    Control* c = Find(id);
    return c != nullptr && c->enabled;
}
int32_t CScriptFrontEnd::FocusForTesting() {
    Window* w = Top();
    return w != nullptr ? w->focus : 0;
}

}  // namespace ui

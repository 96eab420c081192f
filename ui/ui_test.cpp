// The wizard navigation and the scripted front end, driven with small test windows.
#include <gtest/gtest.h>

#include <sstream>

#include "ui/script.h"
#include "ui/script_front_end.h"
#include "ui/ui.h"

namespace ui {
namespace {

std::vector<ScriptCommand> Parse(const std::string& text) {
    std::vector<ScriptCommand> cmds;
    std::string error;
    EXPECT_TRUE(ParseScript(text, &cmds, &error)) << error;
    return cmds;
}

// A page with a field 10 (limit 4), a list 11 and a button 12; Next goes to `next`.
class CTestPage : public CPageLogic {
public:
    CTestPage(int32_t id, int32_t next)
        : CPageLogic(CDialogTemplate{id,
                                     "Test",
                                     {{10, ControlKind::Edit, "", true},
                                      {11, ControlKind::SortedDropList, "", true},
                                      {12, ControlKind::Button, "Go", true},
                                      {13, ControlKind::Label, "hidden", false}}}),
          m_next(next) {}
    void OnInitDialog(IFrontEnd& ui) override {
        ui.SetLimit(10, 4);
        ui.AddItem(11, "beta");
        ui.AddItem(11, "Alpha");
        ui.AddItem(11, "gamma");
        ++inits;
    }
    bool OnSetActive(IFrontEnd& ui) override {
        ui.SetWizardButtons(m_next == 0 ? PSWIZB_BACK | PSWIZB_FINISH : PSWIZB_BACK | PSWIZB_NEXT);
        ++activations;
        return refuse == 0 || --refuse < 0;
    }
    void OnCommand(IFrontEnd& ui, int32_t id, int32_t code) override {
        log += std::to_string(id) + ":" + std::to_string(code) + ";";
        if (id == 12 && code == BN_CLICKED)
            answer = ui.MessageBox("Sure?", "Test", MB_YESNO | MB_ICONQUESTION);
    }
    int32_t OnWizardNext(IFrontEnd& ui) override {
        typed = ui.GetText(10);
        chosen = ui.GetText(11);
        return typed == "stay" ? -1 : m_next;
    }
    int32_t m_next;
    int inits = 0;
    int activations = 0;
    int refuse = 0;
    int32_t answer = 0;
    std::string typed, chosen, log;
};

TEST(ScriptTest, ParsesCommandsAndRejectsBadLines) {
    auto cmds = Parse(
        "# c\n\n  next\r\ntype 10 two  words \nselect 11 Alpha\nanswer yes\n"
        "directory\ndirectory /home/ian/Intl\nexpect 129\nclick 1053\n");
    ASSERT_EQ(cmds.size(), 8u);
    EXPECT_EQ(cmds[0].verb, ScriptVerb::Next);
    EXPECT_EQ(cmds[0].line, 3);
    EXPECT_EQ(cmds[1].verb, ScriptVerb::Type);
    EXPECT_EQ(cmds[1].id, 10);
    EXPECT_EQ(cmds[1].text, "two  words ");
    EXPECT_EQ(cmds[3].id, IDYES);
    EXPECT_FALSE(cmds[4].hasText);
    EXPECT_EQ(cmds[5].text, "/home/ian/Intl");
    EXPECT_EQ(cmds[6].id, 129);
    std::vector<ScriptCommand> out;
    std::string error;
    for (const char* bad : {"jump", "next now", "type x y", "answer maybe", "click", "expect 1 2",
                            "click 99999999999"}) {
        EXPECT_FALSE(ParseScript(std::string("next\n") + bad + "\n", &out, &error)) << bad;
        EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
    }
}

TEST(ScriptFrontEndTest, WalksPagesTypesSelectsAndAnswers) {
    CTestPage a(100, 200), b(200, 0);
    CWizard wizard("Test");
    wizard.AddPage(&a);
    wizard.AddPage(&b);
    std::ostringstream out, err;
    CScriptFrontEnd fe(Parse("type 10 abcdef\nselect 11 beta\nclick 12\nanswer no\nnext\n"
                             "back\nnext\nexpect 200\nfinish\n"),
                       out, err);
    EXPECT_EQ(fe.RunWizard(wizard), ID_WIZFINISH) << err.str();
    EXPECT_EQ(a.typed, "abcd");  // cut at the limit, and the page told
    EXPECT_EQ(a.chosen, "beta");
    EXPECT_EQ(a.log, "10:256;10:1281;11:1;12:0;");
    EXPECT_EQ(a.answer, IDNO);
    EXPECT_EQ(a.inits, 1);  // a page is created once and keeps its state
    EXPECT_EQ(a.activations, 2);
    EXPECT_EQ(b.activations, 2);
    EXPECT_NE(out.str().find("page 100 \"Test\"\n  10: \n  11 list: Alpha | beta | gamma"),
              std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find("hidden"), std::string::npos);
    EXPECT_NE(out.str().find("message \"Test\" (question): Sure?\n  answer: no"),
              std::string::npos);
    EXPECT_NE(out.str().find("wizard finished"), std::string::npos);
}

TEST(ScriptFrontEndTest, StayRefusalAndCancel) {
    CTestPage a(100, 200), b(200, 0);
    b.refuse = 1;
    CWizard wizard("Test");
    wizard.AddPage(&a);
    wizard.AddPage(&b);
    std::ostringstream out, err;
    CScriptFrontEnd fe(Parse("type 10 stay\nnext\nexpect 100\ntype 10 go\nnext\nexpect 100\n"
                             "next\nexpect 200\ncancel\n"),
                       out, err);
    EXPECT_EQ(fe.RunWizard(wizard), IDCANCEL) << err.str() << out.str();
    EXPECT_EQ(a.activations, 2);  // again after 200 refused
}

TEST(WizardTest, StartSkipsRefusingPagesAndEndStopsEverything) {
    CTestPage a(100, 200), b(200, 0);
    a.refuse = 1;
    CWizard wizard("Test");
    wizard.AddPage(&a);
    wizard.AddPage(&b);
    std::ostringstream out, err;
    CScriptFrontEnd fe(Parse("expect 200\n"), out, err);
    ASSERT_TRUE(wizard.Start(fe));
    EXPECT_EQ(wizard.Current(), &b);
    wizard.End(-1);
    wizard.Back(fe);
    wizard.Finish(fe);
    EXPECT_TRUE(wizard.Ended());
    EXPECT_EQ(wizard.Result(), -1);
    EXPECT_EQ(wizard.Current(), &b);
    EXPECT_EQ(wizard.PageById(100), &a);
    EXPECT_EQ(wizard.PageById(300), nullptr);
}

TEST(ScriptFrontEndTest, CommandsThatDoNotFitAbandonTheRun) {
    const char* cases[] = {
        "type 99 x\n",            // no such control
        "click 13\n",             // hidden (and not a button)
        "finish\n",               // not offered on the first page
        "next\nnext\n",           // page 200 offers no Next
        "select 11 delta\n",      // no such entry
        "type 11 x\n",            // a list is not a text field
        "click 12\nanswer ok\n",  // a Yes/No box has no OK
        "click 12\nnext\n",       // the box needs an answer
        "answer yes\n",           // nothing asks
        "expect 200\n",           // another page is shown
        "",                       // the script ends while a page waits
    };
    for (const char* script : cases) {
        CTestPage a(100, 200), b(200, 0);
        CWizard wizard("Test");
        wizard.AddPage(&a);
        wizard.AddPage(&b);
        std::ostringstream out, err;
        CScriptFrontEnd fe(Parse(script), out, err);
        EXPECT_EQ(fe.RunWizard(wizard), -1) << script;
        EXPECT_TRUE(fe.Abandoned()) << script;
        EXPECT_NE(err.str().find("nothing was saved"), std::string::npos) << err.str();
    }
}

// A dialog whose OK is refused until field 20 holds text; WM 1031 closes it with 1.
class CTestDialog : public CWindowLogic {
public:
    CTestDialog()
        : CWindowLogic(CDialogTemplate{300, "Dlg", {{20, ControlKind::Edit, "", true}}}) {}
    bool OnOK(IFrontEnd& ui) override { return !ui.GetText(20).empty(); }
    bool OnWindowMessage(IFrontEnd& ui, uint32_t message, uint64_t, int64_t) override {
        if (message != 1031)
            return false;
        ui.EndModal(1);
        return true;
    }
};

TEST(ScriptFrontEndTest, ModalDialogsMessageBoxesAndDirectoryChooser) {
    std::ostringstream out, err;
    CScriptFrontEnd fe(Parse("ok\ntype 20 x\nok\ncancel\ndirectory /srv/po\ndirectory\n"
                             "answer ok\nanswer cancel\n"),
                       out, err);
    CTestDialog d;
    EXPECT_EQ(fe.DoModal(d), IDOK);
    EXPECT_EQ(fe.DoModal(d), IDCANCEL);
    EXPECT_EQ(fe.ChooseDirectory("/srv"), std::optional<std::string>("/srv/po"));
    EXPECT_EQ(fe.ChooseDirectory("/srv"), std::nullopt);
    EXPECT_EQ(fe.MessageBox("m", "c", MB_OK), IDOK);
    EXPECT_EQ(fe.MessageBox("m", "c", MB_OKCANCEL | MB_ICONHAND), IDCANCEL);
    EXPECT_EQ(fe.MessageBox("m", "c", MB_OK), IDOK);  // an OK-only box needs no answer line
    EXPECT_FALSE(fe.Abandoned()) << err.str();
    EXPECT_EQ(fe.Remaining(), 0u);
    EXPECT_NE(
        out.str().find("dialog 300 \"Dlg\"\n  20: \n  typed into 20\n  dialog 300 closed: ok"),
        std::string::npos)
        << out.str();
}

}  // namespace
}  // namespace ui

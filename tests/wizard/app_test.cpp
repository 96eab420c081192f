// Start-up: switches, user choice, folder names, single instance and the result posted
// to the conduit's dialog.
#include "platform/registry.h"
#include "platform/window_link.h"
#include "tests/wizard/wizard_fixture.h"

namespace velkin {
namespace {

TEST(CommandLineTest, SwitchesTakeTheRestOfTheArgumentOrTheNext) {
    CommandLine c = ParseCommandLine({"/C", "/home/ian/Intl"});
    EXPECT_TRUE(c.hasSetupDirectory);
    EXPECT_EQ(c.setupDirectory, "/home/ian/Intl");
    EXPECT_FALSE(c.installMode);  // a path holding "/I" or "-i" is not the switch
    c = ParseCommandLine({"-c/home/x-i/y", "-i"});
    EXPECT_EQ(c.setupDirectory, "/home/x-i/y");
    EXPECT_TRUE(c.installMode);
    c = ParseCommandLine({"/I"});
    EXPECT_TRUE(c.installMode);
    EXPECT_FALSE(c.empty);
    c = ParseCommandLine({"-u", "  Rez Vored  ", "/C"});  // /C at the end: absent
    EXPECT_FALSE(c.hasSetupDirectory);
    EXPECT_TRUE(c.hasUserName);
    EXPECT_EQ(c.userName, "Rez Vored");
    c = ParseCommandLine({"-U", "Ann", "/u", "Bob"});  // "/" before "-"
    EXPECT_EQ(c.userName, "Bob");
    c = ParseCommandLine({"-C" + std::string(300, 'd')});
    EXPECT_EQ(c.setupDirectory.size(), 255u);
    c = ParseCommandLine({"/Intl", "/x"});
    EXPECT_FALSE(c.installMode);
    EXPECT_TRUE(ParseCommandLine({}).empty);
    c = ParseCommandLine({"/C", ""});  // an empty value is present
    EXPECT_TRUE(c.hasSetupDirectory);
    EXPECT_EQ(c.setupDirectory, "");
}

TEST_F(WizardTest, DeriveUserDirectoryFollowsTheRuleAndMakesItUnique) {
    AddUsers({"Rez Vored", "Someone"});
    std::string dir;
    ASSERT_TRUE(DeriveUserDirectory(m_data, "Rez Vored", &dir));
    EXPECT_EQ(dir, "VoredR");  // the family name and the initial; its own folder is no clash
    EXPECT_FALSE(DeriveUserDirectory(m_data, "Nobody", &dir));
    // Other users holding VoredR, then VoredR0: VoredR0, then VoredR01.
    users::CUserMgr mgr;
    ASSERT_EQ(mgr.LoadUsers(m_data + "/"), 0);
    mgr.Users()[1]->m_userDirectory = "vorEDR";
    ASSERT_EQ(mgr.SaveUsers(), 0);
    ASSERT_TRUE(DeriveUserDirectory(m_data, "Rez Vored", &dir));
    EXPECT_EQ(dir, "VoredR0");
    auto third = AddUsers({"Third"});
    ASSERT_EQ(mgr.LoadUsers(m_data + "/"), 0);
    mgr.Users()[2]->m_userDirectory = "VoredR0";
    ASSERT_EQ(mgr.SaveUsers(), 0);
    ASSERT_TRUE(DeriveUserDirectory(m_data, "Rez Vored", &dir));
    EXPECT_EQ(dir, "VoredR01");
    AddUsers({"*+,./"});
    ASSERT_TRUE(DeriveUserDirectory(m_data, "*+,./", &dir));
    EXPECT_EQ(dir, "0");
}

TEST_F(WizardTest, UserChoiceAndExitCodes) {
    EXPECT_EQ(Run({}, ""), ExitCodeNoUser);  // no user at all
    auto dirs = AddUsers({"Zed", "Ann Lee"});
    // Several users: the dialog lists them sorted and proposes the first of the list.
    EXPECT_EQ(Run({}, "expect 380\ncancel\n"), ExitCodeNoUser);
    EXPECT_TRUE(Printed("1008 list: Ann Lee | *Zed")) << m_out.str();
    EXPECT_EQ(Run({},
                  "select 1008 Ann Lee\nok\nexpect 129\nselect 1006 Eudora Pro\nnext\nfinish\n"
                  "ok\n"),
              ExitCodeFinished)
        << m_err.str();
    EXPECT_NE(Settings(dirs[1]).find("System=Eudora Pro"), std::string::npos);
    // Named by -u; an unknown name is 3.
    EXPECT_EQ(Run({"-u", "Nobody"}, ""), ExitCodeUserUnresolved);
    EXPECT_EQ(Run({"-u", "Zed"}, "select 1006 Outlook Express\nnext\nfinish\nok\n"),
              ExitCodeFinished);
    EXPECT_NE(Settings(dirs[0]).find("System=Outlook Express"), std::string::npos);
    // An existing setup is offered first; Cancel keeps it (exit 0).
    EXPECT_EQ(Run({}, "select 1008 Ann Lee\nok\nexpect 382\ncancel\n"), ExitCodeFinished);
    EXPECT_TRUE(Printed("1069: Eudora Pro")) << m_out.str();
    EXPECT_TRUE(Printed("1079: (hidden)"));
}

TEST_F(WizardTest, InstallModeAddsTheInstallersUserAndResetsItsMailAction) {
    AddUsers({"Zed"});
    platform::CRegistry& reg = platform::CRegistry::Default();
    ASSERT_EQ(
        reg.SetString(platform::RegistryHive::CurrentUser, NEW_USER_KEY, "NewUser", "Ann Lee"), 0);
    // The new user is proposed whatever the dialog's list holds; Finish reads "Next >".
    EXPECT_EQ(Run({"/I"}, "expect 380\nok\nselect 1006 Eudora Pro\nnext\nfinish\nok\n"),
              ExitCodeFinished)
        << m_err.str() << m_out.str();
    EXPECT_TRUE(Printed("1008 list: *Ann Lee | Zed"));
    EXPECT_TRUE(Printed("buttons: back finish (\"Next >\") cancel"));
    EXPECT_FALSE(reg.KeyExists(platform::RegistryHive::CurrentUser, NEW_USER_KEY));
    EXPECT_FALSE(Printed("Do Nothing"));  // reset silently
    users::CUserMgr mgr;
    ASSERT_EQ(mgr.LoadUsers(m_data + "/"), 0);
    users::CUser* ann = mgr.FindUserByName("Ann Lee");
    ASSERT_NE(ann, nullptr);
    uint32_t a1 = 9, a2 = 9;
    EXPECT_GE(ann->GetPref1(users::MAIL_CREATOR, &a1), 0);
    EXPECT_GE(ann->GetPref2(users::MAIL_CREATOR, &a2), 0);
    EXPECT_EQ(a1, 0u);
    EXPECT_EQ(a2, 0u);
    EXPECT_NE(Settings(ann->m_userDirectory).find("System=Eudora Pro"), std::string::npos);
}

TEST_F(WizardTest, ConfigureModePostsTheExitCodeToTheConduitsDialog) {
    auto dirs = AddUsers({"Ann Lee", "Zed"});
    int32_t error = 0;
    auto dialog = platform::CWindowEndpoint::Create("Change TetherSync Action", &error);
    ASSERT_NE(dialog, nullptr);
    const std::string folder = m_data + "/" + dirs[0];
    EXPECT_EQ(Run({"/C", folder}, "select 1006 Eudora Pro\nnext\nfinish\nok\n"), 0) << m_err.str();
    EXPECT_FALSE(Printed("Do Nothing"));  // no action check in configure mode
    platform::PostedMessage msg;
    ASSERT_TRUE(dialog->Receive(&msg, 1000));
    EXPECT_EQ(msg.message, 1030u);
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_EQ(Run({"/C", folder}, "cancel\nanswer yes\n"), 1);
    ASSERT_TRUE(dialog->Receive(&msg, 1000));
    EXPECT_EQ(msg.lParam, 1);
    EXPECT_NE(Settings(dirs[0]).find("System=Eudora Pro"), std::string::npos);
}

TEST_F(WizardTest, CloseRequestFromOutsideEndsSheetAndUserSelectionWithoutSaving) {
    auto dirs = AddUsers({"Ann Lee", "Zed"});
    int32_t error = 0;
    auto inbox = platform::CWindowEndpoint::Create("test inbox", &error);
    ASSERT_NE(inbox, nullptr);
    // The sheet: WM_USER + 7 ends it with 1, neither Finish nor Cancel; nothing is stored.
    {
        std::vector<ui::ScriptCommand> cmds;
        std::string why;
        ASSERT_TRUE(ui::ParseScript("select 1006 Eudora Pro\n", &cmds, &why));
        ui::CScriptFrontEnd fe(std::move(cmds), m_out, m_err);
        fe.SetInbox(inbox.get());
        SheetOptions o;
        o.userDirectory = dirs[0];
        CVelkinPropertySheet sheet(m_lang, o);
        ASSERT_TRUE(platform::PostWindowMessage("test inbox", 1031, 0, 0));
        EXPECT_EQ(fe.RunWizard(sheet.Wizard()), 1) << m_err.str();
        EXPECT_FALSE(fe.Abandoned());
        EXPECT_EQ(fe.Remaining(), 1u);
    }
    EXPECT_EQ(Settings(dirs[0]), "");
    // The user selection: the same request counts as Cancel (no user, exit 2).
    std::vector<ui::ScriptCommand> none;
    ui::CScriptFrontEnd fe(std::move(none), m_out, m_err);
    fe.SetInbox(inbox.get());
    CMailSetupApp app(m_lang, fe);
    ASSERT_TRUE(platform::PostWindowMessage("test inbox", 1031, 0, 0));
    int32_t code = 0;
    EXPECT_FALSE(app.SelectUser(&code));
    EXPECT_EQ(code, ExitCodeNoUser);
    EXPECT_FALSE(fe.Abandoned()) << m_err.str();
}

TEST_F(WizardTest, SecondInstanceBringsTheFirstForwardAndEnds) {
    AddUsers({"Ann Lee"});
    int32_t error = 0;
    auto first = platform::CWindowEndpoint::Create("Mail Setup", &error);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Run({}, ""), 0);
    EXPECT_EQ(m_out.str(), "");  // nothing shown
    platform::PostedMessage msg;
    ASSERT_TRUE(first->Receive(&msg, 1000));
    EXPECT_EQ(msg.message, WM_SHOW_SETUP);
}

TEST_F(WizardTest, FinishThatCannotSaveSaysSo) {
    auto dirs = AddUsers({"Ann Lee"});
    // A settings folder no user has: the store cannot be opened.
    EXPECT_EQ(Run({"/C", m_data + "/nobody"}, "select 1006 Eudora Pro\nnext\nfinish\nok\n"), 0);
    EXPECT_TRUE(Printed("(error): Your mail settings could not be saved in " + m_data +
                        "/nobody/Sync.ini."))
        << m_out.str();
    EXPECT_TRUE(Printed("wizard finished"));
    // A settings file the store refuses to rewrite (damaged) is left as it was.
    const std::string damaged = std::string("[Mail]\nSystem=X\n") + '\0' + "\n";
    ASSERT_EQ(platform::WriteFileAtomic(m_data + "/" + dirs[0] + "/Sync.ini", damaged, 0600), 0);
    EXPECT_EQ(Run({"-u", "Ann Lee"}, "select 1006 Eudora Pro\nnext\nfinish\nok\n"), 0);
    EXPECT_TRUE(Printed("(error): Your mail settings could not be saved in")) << m_out.str();
    EXPECT_EQ(Settings(dirs[0]), damaged);
}

}  // namespace
}  // namespace velkin

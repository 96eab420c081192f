// The wizard's page flows and what Finish stores, through the scripted front end.
#include "conduit/core/password.h"
#include "tests/wizard/wizard_fixture.h"

namespace velkin {
namespace {

const std::string PROFILE_SETTINGS =
    "[Mail]\nSystem=Microsoft Outlook\nInterface=MAPI32\nProfile=Home\nUserAccount=\n"
    "PostOffice=\nGateway=\nPassword=\n";

TEST_F(WizardTest, ProfileSystemWithSeveralProfilesGoesThroughThePageOfProfiles) {
    auto dirs = AddUsers({"Ann Lee"});
    AddProfile("Work");
    AddProfile("Home", true);
    AddProfile("Archive");
    // 129 -> 131 (Home preselected, sorted list) -> 381 -> back 131 -> back 129 -> 131 -> 381.
    EXPECT_EQ(Run({},
                  "expect 129\nnext\nexpect 131\nnext\nexpect 381\nback\nexpect 131\n"
                  "back\nexpect 129\nnext\nexpect 131\nnext\nfinish\n"),
              0)
        << m_err.str() << m_out.str();
    EXPECT_TRUE(Printed("1010 list: Archive | *Home | Work")) << m_out.str();
    EXPECT_TRUE(Printed("1072: Home"));
    EXPECT_TRUE(Printed("1069: Microsoft Outlook"));
    EXPECT_EQ(Settings(dirs[0]), PROFILE_SETTINGS);
    uint32_t mode = 0;
    ASSERT_EQ(platform::FileMode(m_data + "/" + dirs[0] + "/Sync.ini", &mode), 0);
    EXPECT_EQ(mode, 0600u);
    // Finish outside install mode with no Mail preference (counts as 3): message 5328.
    EXPECT_TRUE(
        Printed("(information): Your selected TetherSync action for Mail is currently set "
                "to Do Nothing."));
}

TEST_F(WizardTest, ProfileThatFailsItsLogonKeepsTheProfilePage) {
    auto dirs = AddUsers({"Ann Lee"});
    AddProfile("Work");
    AddProfile("Home", true);
    std::filesystem::remove_all(TestRoot() + "/mail/Home");  // its store is gone
    EXPECT_EQ(Run({},
                  "next\nnext\nexpect 131\nselect 1010 Work\nnext\nexpect 381\ncancel\n"
                  "answer yes\n"),
              1)
        << m_err.str() << m_out.str();
    EXPECT_TRUE(Printed("message \"Mail Setup\" (no icon): Could not validate your profile."));
    EXPECT_EQ(Settings(dirs[0]), "");  // Cancel writes nothing
}

TEST_F(WizardTest, ExactlyOneProfileSkipsThePageOfProfiles) {
    auto dirs = AddUsers({"Ann Lee"});
    AddProfile("Home");
    EXPECT_EQ(Run({}, "next\nexpect 381\nback\nexpect 129\nnext\nexpect 381\nfinish\n"), 0)
        << m_err.str() << m_out.str();
    EXPECT_EQ(Settings(dirs[0]), PROFILE_SETTINGS);
}

TEST_F(WizardTest, NoProfileAsksAndCreatesOneThroughTheProfileWizard) {
    auto dirs = AddUsers({"Ann Lee"});
    for (const char* sub : {"cur", "new", "tmp"})
        ASSERT_EQ(platform::CreateDirectories(TestRoot() + "/mail/New/" + sub, 0700), 0);
    setenv("TETHER_MAPI_NEW_PROFILE", "Home", 1);
    setenv("TETHER_MAPI_NEW_STORE", (TestRoot() + "/mail/New").c_str(), 1);
    // No at the first question, Yes at the follow-up: the profile wizard runs.
    EXPECT_EQ(Run({},
                  "next\nanswer no\nanswer yes\nexpect 381\nback\nexpect 129\nnext\n"
                  "expect 381\nfinish\n"),
              0)
        << m_err.str() << m_out.str();
    EXPECT_TRUE(
        Printed("There is currently no profile configured for use with Microsoft Outlook. "
                "\n    Would you like to set up a profile now?"));
    EXPECT_TRUE(
        Printed("You will not be able to continue Mail Setup with Microsoft Outlook until "
                "a profile is created."));
    EXPECT_EQ(Settings(dirs[0]), PROFILE_SETTINGS);
    std::string profiles;
    ASSERT_EQ(platform::ReadWholeFile(TestRoot() + "/profiles.ini", &profiles), 0);
    EXPECT_NE(profiles.find("[Home]\nStore="), std::string::npos) << profiles;
}

TEST_F(WizardTest, DecliningEveryProfileQuestionStaysOnTheProgramPage) {
    AddUsers({"Ann Lee"});
    EXPECT_EQ(Run({},
                  "next\nanswer no\nanswer no\nexpect 129\n"
                  "select 1006 Outlook Express\nnext\nexpect 107\nfinish\nok\n"),
              0)
        << m_err.str() << m_out.str();
    // A failing profile wizard asks whether to return to it; No stays.
    setenv("TETHER_MAPI_NEW_PROFILE", "Bad", 1);
    unsetenv("TETHER_MAPI_NEW_STORE");  // the profile wizard fails
    EXPECT_EQ(Run({},
                  "ok\nselect 1006 Microsoft Outlook\nnext\nanswer yes\nanswer yes\n"
                  "answer no\nexpect 129\ncancel\nanswer yes\n"),
              1)
        << m_err.str() << m_out.str();
    EXPECT_TRUE(Printed("The profile for Microsoft Outlook was not configured properly."));
}

TEST_F(WizardTest, MissingMapiLibraryFailsTheLogonAndStays) {
    AddUsers({"Ann Lee"});
    SheetOptions o;
    o.mapiLibrary = "NoSuchMapi.dll";
    EXPECT_EQ(Run({}, "next\nexpect 129\ncancel\nanswer no\nexpect 129\ncancel\nanswer yes\n", o),
              1)
        << m_err.str() << m_out.str();
    EXPECT_TRUE(
        Printed("If you cancel now, you can return to Mail Setup at any time by choosing "
                "the Mail Setup icon in the Tamarack Desktop program group.Click Start"));
}

TEST_F(WizardTest, EudoraAndOutlookExpressShowTheirNoteAndStoreNothingElse) {
    auto dirs = AddUsers({"Ann Lee"});
    EXPECT_EQ(Run({},
                  "select 1006 Eudora Pro\nnext\nexpect 107\nback\nexpect 129\nnext\n"
                  "finish\nexpect 162\nok\n"),
              0)
        << m_err.str() << m_out.str();
    EXPECT_EQ(Settings(dirs[0]),
              "[Mail]\nSystem=Eudora Pro\nInterface=MAPI32\nProfile=\nUserAccount=\nPostOffice=\n"
              "Gateway=\nPassword=\n");
    // The stored System preselects it again; another choice shows the other note.
    EXPECT_EQ(
        Run({}, "ok\nexpect 129\nselect 1006 Outlook Express\nnext\nfinish\nexpect 383\nok\n"), 0)
        << m_err.str() << m_out.str();
    EXPECT_TRUE(Printed("dialog 382")) << m_out.str();
    EXPECT_TRUE(
        Printed("1006 list: Microsoft Outlook | *Eudora Pro | Outlook Express | Lotus "
                "cc:Mail 7.0\n"))
        << m_out.str();  // "Win95 only" is not offered on this platform
    EXPECT_EQ(Settings(dirs[0]),
              "[Mail]\nSystem=Outlook Express\nInterface=MAPI32\nProfile=\nUserAccount=\n"
              "PostOffice=\nGateway=\nPassword=\n");
}

const char* VIM_TO_POST_OFFICE =
    "select 1006 Lotus cc:Mail 7.0\nnext\nexpect 134\ntype 1019 Rez Vored\n"
    "type 1065 secret\nnext\nexpect 140\ntype 1052 /srv/po\nnext\n";

TEST_F(WizardTest, VimPathStoresUserPostOfficeGatewayAndScrambledPassword) {
    auto dirs = AddUsers({"Rez Vored"});
    std::string script = std::string(VIM_TO_POST_OFFICE) +
                         "expect 141\ntype 1060 Internet\nnext\nexpect 106\nback\nexpect 141\n"
                         "back\nexpect 140\nback\nexpect 134\nback\nexpect 129\nnext\nnext\nnext\n"
                         "next\nexpect 106\nfinish\n";
    EXPECT_EQ(Run({}, script), 0) << m_err.str() << m_out.str();
    EXPECT_EQ(Settings(dirs[0]),
              "[Mail]\nSystem=Lotus cc:Mail 7.0\nInterface=VIM32\nProfile=\n"
              "UserAccount=Rez Vored\nPostOffice=/srv/po\nGateway=Internet\n"
              "Password=" +
                  torrim::EncodePassword("secret") + "\n");
    EXPECT_FALSE(Printed("1089: (hidden)"));
    // The stored values come back on the pages, the password decoded.
    EXPECT_EQ(Run({}, "ok\nnext\nexpect 134\ncancel\nanswer yes\n"), 1) << m_err.str();
    EXPECT_TRUE(Printed("1019: Rez Vored\n  1065: ******\n")) << m_out.str();
}

TEST_F(WizardTest, VimStatusRowsOfThePostOfficePage) {
    AddUsers({"Rez Vored"});
    struct Row {
        const char* status;
        const char* answers;
        const char* expect;
    };
    const Row rows[] = {
        {"11", "expect 154\ncancel\nexpect 134\n", "You did not correctly enter your password."},
        {"1", "expect 154\ncancel\nexpect 134\n", "You did not correctly enter your user name."},
        {"15", "expect 154\nok\nexpect 141\nnext\nok\nexpect 106\n",
         "You did not correctly enter your user name."},
        {"22", "expect 154\ncancel\nexpect 140\n", "dialog 154"},
        {"22", "expect 154\nok\nexpect 141\n", "dialog 154"},
        {"3", "expect 134\n", "An unknown error has occured.  Check all values and try again."},
    };
    for (const Row& r : rows) {
        setenv("FAKE_VIM_STATUS", r.status, 1);
        EXPECT_EQ(Run({}, std::string(VIM_TO_POST_OFFICE) + r.answers + "cancel\nanswer yes\n"), 1)
            << r.status << m_err.str() << m_out.str();
        EXPECT_TRUE(Printed(r.expect)) << r.status << m_out.str();
    }
    // Status 11 then Save: the closing page shows the "settings saved" texts.
    setenv("FAKE_VIM_STATUS", "11", 1);
    EXPECT_EQ(Run({}, std::string(VIM_TO_POST_OFFICE) + "ok\ntype 1060 gw\nnext\nexpect 106\n"
                                                        "cancel\nanswer yes\n"),
              1);
    EXPECT_TRUE(Printed("1089: (hidden)\n  1090: Your e-mail settings have been saved"))
        << m_out.str();
    EXPECT_TRUE(Printed("1086: You did not correctly enter your password.")) << m_out.str();
    EXPECT_TRUE(Printed("1087: (hidden)"));
    // No VIM library: message 140 and the page stays.
    SheetOptions o;
    o.vimLibrary = "NoSuchVim.dll";
    EXPECT_EQ(Run({}, std::string(VIM_TO_POST_OFFICE) + "expect 140\ncancel\nanswer yes\n", o), 1)
        << m_out.str();
    EXPECT_TRUE(Printed("(no icon): Cannot find the file VIM32.dll."));
}

TEST_F(WizardTest, EmptyGatewayAsksAndMayBeStoredEmpty) {
    auto dirs = AddUsers({"Rez Vored"});
    EXPECT_EQ(Run({}, std::string(VIM_TO_POST_OFFICE) +
                          "next\nexpect 159\ncancel\nexpect 141\nnext\nexpect 159\nok\nexpect 106\n"
                          "finish\n"),
              0)
        << m_err.str() << m_out.str();
    EXPECT_NE(Settings(dirs[0]).find("\nGateway=\n"), std::string::npos);
}

TEST_F(WizardTest, GoingBackFromVimToAProfileSystemMarksVimValuesNotApplicable) {
    auto dirs = AddUsers({"Rez Vored"});
    AddProfile("Home");
    EXPECT_EQ(Run({},
                  "select 1006 Lotus cc:Mail 7.0\nnext\ntype 1019 Rez\nnext\nback\nback\n"
                  "select 1006 Microsoft Outlook\nnext\nexpect 381\nfinish\n"),
              0)
        << m_err.str() << m_out.str();
    EXPECT_EQ(Settings(dirs[0]), PROFILE_SETTINGS);
}

TEST_F(WizardTest, FieldsAreLimitedAndThePasswordToWhatIsStored) {
    auto dirs = AddUsers({"Rez Vored"});
    std::string longPassword(40, 'p');
    EXPECT_EQ(
        Run({}, "select 1006 Lotus cc:Mail 7.0\nnext\ntype 1019 Rez\ntype 1065 " + longPassword +
                    "\nnext\ntype 1052 /po\nnext\ntype 1060 g\nnext\nfinish\n"),
        0)
        << m_err.str() << m_out.str();
    EXPECT_TRUE(
        Printed("message \"cc:Mail User Name/Password\" (warning): Cannot add any more "
                "characters here."));
    std::string s = Settings(dirs[0]);
    EXPECT_NE(s.find("Password=" + torrim::EncodePassword(std::string(32, 'p')) + "\n"),
              std::string::npos);
}

TEST_F(WizardTest, ScriptThatDoesNotFitSavesNothingAndExitsWith4) {
    auto dirs = AddUsers({"Ann Lee"});
    EXPECT_EQ(Run({}, "type 1019 x\n"), 4);
    EXPECT_EQ(Run({}, "select 1006 Eudora Pro\nnext\nfinish\nanswer yes\n"), 4);  // note wants ok
    EXPECT_EQ(Run({}, "select 1006 Eudora Pro\nnext\nnext\n"), 4);
    EXPECT_FALSE(platform::FileExists(m_data + "/" + dirs[0] + "/Sync.ini"));
}

TEST_F(WizardTest, MailInfMissingDamagedOrWithAGap) {
    AddUsers({"Ann Lee"});
    std::filesystem::remove(m_data + "/mail.inf");
    EXPECT_EQ(Run({}, ""), 0);
    EXPECT_TRUE(Printed("(warning): Unable to find required file:\n    " + m_data +
                        "/mail.inf\n    Please run Mail Setup"))
        << m_out.str();
    WriteMailInf(
        "[MailSystem0]\nSystem=A\nInterface=MAPI32\nWinNT=1\nEnabledFields=1\n"
        "[MailSystem1]\nSystem=B\nInterface=MAPI32\nWinNT=1\nEnabledFields=0\n");
    EXPECT_EQ(Run({}, ""), 0);
    EXPECT_TRUE(Printed("A required file could not be found, or is damaged.  Quitting"));
    WriteMailInf("[MailSystem0]\nSystem=A\nWinNT=1\nEnabledFields=1\n");
    EXPECT_EQ(Run({}, ""), 0);
    EXPECT_TRUE(Printed("or is damaged"));
    WriteMailInf(
        "[MailSystem0]\nSystem=A\nInterface=MAPI32\nWinNT=1\nEnabledFields=1\n"
        "[MailSystem2]\nSystem=C\nInterface=MAPI32\nWinNT=1\nEnabledFields=1\n");
    EXPECT_EQ(Run({}, "cancel\nanswer yes\n"), 1);
    EXPECT_TRUE(Printed("1006 list: *A\n")) << m_out.str();
}

TEST_F(WizardTest, InstalledProgramIsPreselected) {
    AddUsers({"Ann Lee"});
    ASSERT_TRUE(platform::WriteProfileString("CC:MAIL", "PROGVER", "700"));
    EXPECT_EQ(Run({}, "cancel\nanswer yes\n"), 1);
    EXPECT_TRUE(Printed("| *Lotus cc:Mail 7.0")) << m_out.str();
}

}  // namespace
}  // namespace velkin

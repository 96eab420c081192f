// The wizard's start-up: command line, single instance, choice of the user, the check for
// an existing setup, running the sheet, and the exit code reported to the caller.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "setup/users/user_mgr.h"
#include "setup/wizard/velkin_sheet.h"
#include "setup/wizard/wizard_resources.h"
#include "ui/ui.h"

namespace velkin {

inline constexpr int32_t ExitCodeFinished = 0;
inline constexpr int32_t ExitCodeCancelled = 1;
inline constexpr int32_t ExitCodeNoUser = 2;
inline constexpr int32_t ExitCodeUserUnresolved = 3;

// The registry key where the installer leaves the name of a new user ("NewUser").
inline constexpr const char* NEW_USER_KEY = "Software\\Halvard Systems\\Corvet Desktop\\Setup";

// The switches of a command line (an argument array). A switch is an argument "/X", "\X"
// or "-X"; a switch with a value takes the rest of its argument, or else the next
// argument (which is then not read as a switch). Values are trimmed and cut to 255 bytes;
// a value switch without a value counts as absent.
struct CommandLine {
    bool empty = true;  // no arguments at all
    bool installMode = false;
    bool hasSetupDirectory = false;
    std::string setupDirectory;
    bool hasUserName = false;
    std::string userName;
};
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The folder name for user `name` of the list: MakeUserDirectoryName's stem, made unique
// among the folders of the other users. Answers false when the list cannot be loaded or
// has no user of that name.
bool DeriveUserDirectory(const std::string& dataDirectory, const std::string& name,
                         std::string* directory);

// "User Selection" (380): the users with ids above 255, the proposed one preselected.
class CUserSelectDlg : public ui::CWindowLogic {
public:
    CUserSelectDlg(const CLanguage& lang, const users::CUserMgr& mgr, const users::CUser* proposed);
    void OnInitDialog(ui::IFrontEnd& ui) override;
    void OnCommand(ui::IFrontEnd& ui, int32_t id, int32_t code) override;
    bool OnWindowMessage(ui::IFrontEnd& ui, uint32_t message, uint64_t wParam,
                         int64_t lParam) override;
    const users::CUser* Chosen() const { return m_chosen; }

private:
    const users::CUserMgr& m_mgr;
    const users::CUser* m_chosen;
};

// "Your Mail is currently set up" (382): Change (OK) or Cancel.
class CCurrentSetupDlg : public ui::CWindowLogic {
public:
    CCurrentSetupDlg(const CLanguage& lang, std::string userName);
    void OnInitDialog(ui::IFrontEnd& ui) override;

private:
    std::string m_userName;
};

class CMailSetupApp {
public:
    CMailSetupApp(const CLanguage& lang, ui::IFrontEnd& ui) : m_lang(lang), m_ui(ui) {}

    // Runs the start-up sequence for the wizard's arguments and answers the exit code.
    // `sheetOptions` carries settings for the sheet that the command line does not give
    // (library names for tests).
    int32_t Run(const std::vector<std::string>& args, SheetOptions sheetOptions = {});

    const std::string& UserName() const { return m_userName; }
    const std::string& UserDirectory() const { return m_userDirectory; }
    bool InstallMode() const { return m_installMode; }
    bool ConfigureMode() const { return m_configureMode; }
    const std::string& HelpPath() const { return m_helpPath; }

    // Chooses the user when none was named; false with the exit code in *exitCode.
    bool SelectUser(int32_t* exitCode);

private:
    int32_t RunSheet(SheetOptions options);

    const CLanguage& m_lang;
    ui::IFrontEnd& m_ui;
    std::string m_userName;
    std::string m_userDirectory;
    std::string m_setupDirectory;
    std::string m_helpPath;
    bool m_configureMode = false;
    bool m_installMode = false;
    int32_t m_exitCode = ExitCodeFinished;
};

}  // namespace velkin

// Shared set-up of the wizard tests: one temporary desktop per test process (the host
// stand-ins fix their data folder at first use), emptied before each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "platform/file_util.h"
#include "platform/profile.h"
#include "setup/app/mail_setup_app.h"
#include "setup/users/user_mgr.h"
#include "ui/script.h"
#include "ui/script_front_end.h"

namespace velkin {

inline const std::string& TestRoot() {
    static const std::string root = [] {
        char tmpl[] = "/tmp/velkin_test_XXXXXX";
        std::string r = mkdtemp(tmpl);
        setenv("TETHER_DATA_DIR", (r + "/data").c_str(), 1);
        setenv("TETHER_PLATFORM_HOME", (r + "/home").c_str(), 1);
        setenv("TETHER_MAPI_PROFILES", (r + "/profiles.ini").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (r + "/run").c_str(), 1);
        return r;
    }();
    return root;
}

inline const char* STANDARD_MAIL_INF =
    "[MailSystem0]\nSystem=Microsoft Outlook\nInterface=MAPI32\nWin31=0\nWin95=1\nWinNT=1\n"
    "EnabledFields=3\n"
    "[MailSystem1]\nSystem=Eudora Pro\nInterface=MAPI32\nWin95=1\nWinNT=1\nEnabledFields=1\n"
    "[MailSystem2]\nSystem=Outlook Express\nInterface=MAPI32\nWin95=1\nWinNT=1\nEnabledFields=1\n"
    "[MailSystem3]\nSystem=Lotus cc:Mail 7.0\nInterface=VIM32\nWin95=1\nWinNT=1\nEnabledFields=1\n"
    "[MailSystem4]\nSystem=Win95 only\nInterface=MAPI32\nWin95=1\nWinNT=0\nEnabledFields=1\n";

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string& root = TestRoot();
        unsetenv("FAKE_VIM_STATUS");
        unsetenv("TETHER_MAPI_NEW_PROFILE");
        std::error_code ec;
        for (const char* sub : {"data", "home", "run", "mail", "profiles.ini"})
            std::filesystem::remove_all(root + "/" + sub, ec);
        ASSERT_EQ(platform::CreateDirectories(root + "/data", 0700), 0);
        m_data = root + "/data";
        WriteMailInf(STANDARD_MAIL_INF);
    }

    void WriteMailInf(const std::string& text) {
        ASSERT_EQ(platform::WriteFileAtomic(m_data + "/mail.inf", text), 0);
    }

    // Adds users; answers their folder names in order.
    std::vector<std::string> AddUsers(const std::vector<std::string>& names) {
        users::CUserMgr mgr;
        (void)mgr.LoadUsers(m_data + "/");
        mgr.SetRootDirectory(m_data + "/");
        std::vector<std::string> dirs;
        for (const std::string& n : names) {
            auto u = std::make_unique<users::CUser>();
            u->m_userName = n;
            users::CUser* raw = u.get();
            EXPECT_EQ(mgr.AddUser(u), 0);
            dirs.push_back(raw->m_userDirectory);
        }
        EXPECT_EQ(mgr.SaveUsers(), 0);
        return dirs;
    }

    // A Simple MAPI profile over a new Maildir.
    void AddProfile(const std::string& name, bool isDefault = false) {
        std::string store = TestRoot() + "/mail/" + name;
        for (const char* sub : {"cur", "new", "tmp"})
            ASSERT_EQ(platform::CreateDirectories(store + "/" + sub, 0700), 0);
        std::string file = TestRoot() + "/profiles.ini";
        ASSERT_TRUE(
            platform::WritePrivateProfileString(name.c_str(), "Store", store.c_str(), file));
        if (isDefault) {
            ASSERT_TRUE(platform::WritePrivateProfileString(name.c_str(), "Default", "1", file));
        }
    }

    // Runs velkin with `args` and `script`; the printed run is in m_out, errors in m_err.
    int32_t Run(const std::vector<std::string>& args, const std::string& script,
                SheetOptions options = {}) {
        std::vector<ui::ScriptCommand> cmds;
        std::string error;
        EXPECT_TRUE(ui::ParseScript(script, &cmds, &error)) << error;
        if (options.vimLibrary.empty())
            options.vimLibrary = TM_FAKE_VIM;
        m_out.str("");
        m_err.str("");
        ui::CScriptFrontEnd fe(std::move(cmds), m_out, m_err);
        CMailSetupApp app(m_lang, fe);
        int32_t code = app.Run(args, options);
        m_remaining = fe.Remaining();
        return fe.Abandoned() ? 4 : code;
    }

    std::string Settings(const std::string& dir) {
        std::string text;
        (void)platform::ReadWholeFile(m_data + "/" + dir + "/Sync.ini", &text);
        return text;
    }
    bool Printed(const std::string& s) const { return m_out.str().find(s) != std::string::npos; }

    std::string m_data;
    CLanguage m_lang;
    std::ostringstream m_out, m_err;
    size_t m_remaining = 0;
};

}  // namespace velkin

// velkin: the mail setup wizard.
#include <clocale>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "setup/app/mail_setup_app.h"
#include "ui/script.h"
#include "ui/script_front_end.h"
#if defined(TM_HAVE_QT)
#include "ui/qt/qt_front_end.h"
#endif

namespace {

constexpr int EXIT_SCRIPT = 4;

const char* const USAGE = R"(usage: velkin --script FILE [SWITCHES]
       velkin --script - [SWITCHES]      (the script from standard input)

Sets up which desktop mail system a TetherSync user synchronizes with, tests the logon
and stores the user's "Mail" settings. The script answers the wizard's pages, dialogs and
messages (see docs/wizard-script.md); every window met is printed.

Switches:
  /I            install mode (the installer's new user; the last button reads "Next >")
  /C FOLDER     configure the settings file FOLDER/Sync.ini (as the conduit's dialog does)
  -u NAME       the TetherSync user NAME
Without a switch the user is chosen (asked when there are several).

Exit codes: 0 finished, 1 cancelled, 2 no user, 3 user unresolved, 4 the script does not
fit what the wizard shows (nothing is saved) or cannot be read.
)";

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args;
    std::string scriptFile;
    bool haveScript = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << USAGE;
            return 0;
        }
        if (a == "--script") {
            if (i + 1 >= argc) {
                std::cerr << "velkin: --script needs a FILE (or - for standard input)\n";
                return EXIT_SCRIPT;
            }
            scriptFile = argv[++i];
            haveScript = true;
            continue;
        }
        args.push_back(a);
    }
    if (!haveScript) {
#if defined(TM_HAVE_QT)
        // The windows, when there is a display (or QT_QPA_PLATFORM names a platform).
        if (ui::CQtFrontEnd::EnsureApplication(&argc, argv)) {
            velkin::CLanguage lang;
            if (!lang.Loaded()) {
                std::cerr << "velkin: the language library VKLANG.DLL (libvklang.so) cannot be "
                             "loaded\n";
                return EXIT_SCRIPT;
            }
            ui::CQtFrontEnd front;
            front.SetRaiseMessage(velkin::WM_SHOW_SETUP);
            velkin::CMailSetupApp app(lang, front);
            return app.Run(args);
        }
        std::cerr << "velkin: no display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are not "
                     "set); run it on a display or with --script FILE\n"
                  << USAGE;
#else
        std::cerr << "velkin: this build has no display front end; run it with --script FILE\n"
                  << USAGE;
#endif
        return EXIT_SCRIPT;
    }
    std::string text;
    if (scriptFile == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        text = all.str();
    } else {
        std::ifstream in(scriptFile, std::ios::binary);
        if (!in) {
            std::cerr << "velkin: cannot read the script " << scriptFile << ": "
                      << std::strerror(errno) << "\n";
            return EXIT_SCRIPT;
        }
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    std::vector<ui::ScriptCommand> script;
    std::string error;
    if (!ui::ParseScript(text, &script, &error)) {
        std::cerr << "velkin: script " << scriptFile << ", " << error << "\n";
        return EXIT_SCRIPT;
    }
    velkin::CLanguage lang;
    if (!lang.Loaded()) {
        std::cerr << "velkin: the language library VKLANG.DLL (libvklang.so) cannot be loaded\n";
        return EXIT_SCRIPT;
    }
    ui::CScriptFrontEnd front(std::move(script), std::cout, std::cerr);
    velkin::CMailSetupApp app(lang, front);
    int32_t code = app.Run(args);
    std::cout << std::flush;
    if (front.Abandoned())
        return EXIT_SCRIPT;
    if (front.Remaining() > 0)
        std::cout << "(" << front.Remaining() << " script line(s) left unused)\n";
    return code;
}

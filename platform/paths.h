// Per-user folders of the platform stand-ins and of the desktop's data.
#pragma once

#include <string>

namespace platform {

// Folder of the platform's per-user files (registry file, Windows directory, client
// profiles): env TETHER_PLATFORM_HOME, else $XDG_CONFIG_HOME/tethermail, else
// $HOME/.config/tethermail. Never ends with '/'. Not created here.
std::string PlatformHome();

// The "Windows directory", where "WIN.INI" and "lotus.ini" live: PlatformHome()/windows.
std::string WindowsDirectory();

// The desktop data folder (users.dat, mail.inf, one folder per user): env TETHER_DATA_DIR,
// else $XDG_DATA_HOME/tethermail, else $HOME/.local/share/tethermail. Never ends with '/'.
std::string DesktopDataFolder();

}  // namespace platform

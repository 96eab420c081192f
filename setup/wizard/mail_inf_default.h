// The "mail.inf" that the desktop gets when it has none: the mail systems this
// installation's client libraries serve. Used by the sync host's user commands and the
// demo; the wizard only reads the file.
#pragma once

namespace velkin {

inline constexpr const char* DEFAULT_MAIL_INF =
    "; Mail systems offered by Mail Setup, one section each, read in order.\n"
    "; EnabledFields bit 0x2: the system is reached through a named Simple MAPI profile.\n"
    "[MailSystem0]\n"
    "System=TetherSync Maildir (profiles)\n"
    "Interface=MAPI32\n"
    "Win31=0\n"
    "Win95=1\n"
    "WinNT=1\n"
    "EnabledFields=3\n"
    "[MailSystem1]\n"
    "System=Simple MAPI mail (default profile)\n"
    "Interface=MAPI32\n"
    "Win31=0\n"
    "Win95=1\n"
    "WinNT=1\n"
    "EnabledFields=1\n"
    "[MailSystem2]\n"
    "System=VIM post office\n"
    "Interface=VIM32\n"
    "Win31=0\n"
    "Win95=1\n"
    "WinNT=1\n"
    "EnabledFields=1\n";

}  // namespace velkin

// The wizard's language resource library (libvklang.so, found for "VKLANG.DLL"): its
// numbered strings and the texts of its dialog templates, answered through LangGetString.
//
// Numbered strings have ids below 10000. The text of control C of dialog template T has
// the id T * 10000 + C (C = 0: the dialog's caption); labels without an identifier of their
// own are numbered from 3001 within their template.
#include <cstdint>

#include "platform/numbered_strings.h"

namespace {

using platform::NumberedString;

constexpr uint32_t D(uint32_t tmpl, uint32_t control) {
    return tmpl * 10000 + control;
}

#define CONGRATS \
    "Congratulations!  Your Mail is now set up and ready to use with the following configuration:"
#define SYNC_NEXT                                                                                 \
    "Your e-mail will be synchronized with your handheld the next time you perform a TetherSync " \
    "operation."
#define RETURN_LATER                                                                            \
    "You can return to Mail Setup at any time by choosing the Mail Setup icon in the Tamarack " \
    "Desktop program group. Click Start on your Windows desktop, choose Programs, Tamarack "    \
    "Desktop program group, and Mail Setup."
#define PASSWORD_HINT "Enter the password you use when logging into your E-Mail application."
#define NEEDED_HINT \
    "This information is needed to access your E-Mail application during a TetherSync operation."

// Sorted by id.
constexpr NumberedString STRINGS[] = {
    {103, "Mail Setup"},
    {105, "Internet Mail Gateway"},
    {108,
     "You did not correctly enter your Post Office.  Without the correct Post Office, Mail will be "
     "unable to log onto your E-Mail application.  Contact your system administrator if you do not "
     "know your Post Office or need further assistance."},
    {110, "User identity"},
    {111, "You must enter a user name before continuing."},
    {112, "Cannot add any more characters here."},
    {113, "cc:Mail Post Office"},
    {114, "cc:Mail User Name/Password"},
    {117, "You did not select an E-Mail application for synchronization."},
    {118, "MAPI32"},
    {119, "VIM32"},
    {122, "There is currently no profile configured for use with "},
    {123,
     "You did not correctly enter your password.  Without the correct password, Mail will be "
     "unable to log onto your E-Mail application to synchronize your e-mail.  Contact your system "
     "administrator if you do not know your password or need further assistance."},
    {124,
     "You did not correctly enter your user name.  Without the correct user name, Mail will be "
     "unable to log onto your E-Mail application to synchronize your e-mail.  Contact your system "
     "administrator if you do not know your user name or need further assistance."},
    {125, "Could not validate your profile."},
    {126, ". \nWould you like to set up a profile now?"},
    {127, "You will not be able to continue Mail Setup with "},
    {128,
     " until a profile is created. \nDo you want to create a profile now?  If no, you can choose "
     "another E-Mail application to set up."},
    {129, "The profile for "},
    {130,
     " was not configured properly.  You will not be able to continue and finish E-Mail Setup "
     "with "},
    {131,
     " until a profile has been successfully set up.  Do you want to return to the profile "
     "setup?"},
    {132,
     "If you cancel now, you can return to Mail Setup at any time by choosing the Mail Setup icon "
     "in the Tamarack Desktop program group."},
    {133,
     "Click Start on your Windows desktop, choose Programs, Tamarack Desktop program group, and "
     "Mail Setup.  Are you sure that you want to cancel Mail Setup?"},
    {139, "An unknown error has occured.  Check all values and try again."},
    {140, "Cannot find the file VIM32.dll.  You cannot log in to cc:Mail without the VIM32.dll."},
    {141, "Eudora Username/Password"},
    {144,
     "You did not correctly enter your user name or password.  Mail will be unable to log onto "
     "your E-Mail application to synchronize your e-mail.  Contact your system administrator if "
     "you do not know your user name or password or need further assistance."},
    {145, "Not Applicable"},
    {146, "Next >"},
    {147, "Change TetherSync Action"},
    {148,
     "Your mail settings could not be saved in %s.  Mail will not use them until Mail Setup saves "
     "them."},
    {5026, "mapi32.dll"},
    {5315, "notesvim32"},
    {5320, "vim32.dll"},
    {5325, "A required file could not be found, or is damaged.  Quitting the application."},
    {5326, "Unable to find required file:\n%s\nPlease run Mail Setup to correct this problem."},
    {5327,
     "Unable to find TetherSync configuration information.\nPlease run the command 'TetherSync "
     "-r' to restore registry settings."},
    {5328,
     "Your selected TetherSync action for Mail is currently set to Do Nothing. To change this "
     "setting, click on the TetherSync Manager icon located in the Window's system tray, select "
     "Custom, highlight Mail and select Change.  Make sure to select the Set as Default option "
     "after selecting a TetherSync action if you want that setting to be the on going action."},

    // Dialog 106: the VIM congratulations page.
    {D(106, 0), "Mail Setup"},
    {D(106, 1014), ""},
    {D(106, 1069), ""},
    {D(106, 1070), ""},
    {D(106, 1071), ""},
    {D(106, 1073),
     "The next time you connect to your server, Mail will synchronize your e-mail with your "
     "handheld.  If you connect to your server and e-mail is not synchronized, please check that "
     "your settings are correct."},
    {D(106, 1074), RETURN_LATER},
    {D(106, 1075), SYNC_NEXT},
    {D(106, 1089), CONGRATS},
    {D(106, 1090), "Your e-mail settings have been saved with the following configuration:"},
    {D(106, 3001), "Mail System:"},
    {D(106, 3002), "User Name:"},
    {D(106, 3003), "Post Office:"},
    {D(106, 3004), "Internet Gateway:"},

    // Dialog 107: the Eudora and Outlook Express congratulations page.
    {D(107, 0), "Mail Setup"},
    {D(107, 1014), ""},
    {D(107, 1069), ""},
    {D(107, 3001), CONGRATS},
    {D(107, 3002), "Mail System:"},
    {D(107, 3003), "Account Name:"},
    {D(107, 3004), SYNC_NEXT},
    {D(107, 3005), RETURN_LATER},

    // Dialog 129: the mail program page.
    {D(129, 0), "Mail Setup"},
    {D(129, 3001),
     "Pick which E-Mail application you are currently using from the following pull down menu:"},
    {D(129, 3002), "&Synchronize with:"},

    // Dialog 131: the profile page.
    {D(131, 0), "Mail Setup"},
    {D(131, 1009),
     "A default profile is selected. If you wish to synchronize with another profile, then select "
     "it from the following:"},
    {D(131, 3001), "&Profile:"},

    // Dialog 134: the cc:Mail user name page.
    {D(134, 0), "Mail Setup"},
    {D(134, 1017),
     "Enter the user name that you use to log onto cc:Mail.  In many installations this is your "
     "first and last name, for example John Smith."},
    {D(134, 1018),
     "If you are not sure, you should check your login name in your initial cc:Mail login screen "
     "(your Login Name = your User Name)."},
    {D(134, 1030), PASSWORD_HINT},
    {D(134, 1031), NEEDED_HINT},
    {D(134, 3001), "&User Name:"},
    {D(134, 3002), "&Password:"},

    // Dialog 140: the post office page.
    {D(140, 0), "Mail Setup"},
    {D(140, 1048),
     "On cc:Mail, you can tell your Post Office location by looking at your initial login screen. "
     "The Post Office is located in the \"P.O. Path\" field."},
    {D(140, 1049),
     "The Post Office stores all of your e-mails.  Enter the path of your Post Office which is "
     "usually located on your local area network."},
    {D(140, 1050),
     "If you are not sure where your Post Office is, please ask your system administrator."},
    {D(140, 1053), "B&rowse..."},
    {D(140, 3001), "&Post Office Path:"},

    // Dialog 141: the Internet gateway page.
    {D(141, 0), "Mail Setup"},
    {D(141, 1055),
     "The Internet Mail Gateway is usually the word that you have to type in the cc:Mail \"To:\" "
     "field to bring up your list of Internet e-mail addresses.  For instance, the word "
     "\"Internet\" is the Internet Mail Gateway in the cc:Mail example below."},
    {D(141, 1056),
     "Enter the word that you type in the \"To:\" field to get to your list of Internet e-mail "
     "addresses using cc:Mail."},
    {D(141, 1058),
     "If you are not sure what your Internet Mail Gateway is, please ask your system "
     "administrator."},
    {D(141, 3001), "&Internet Mail Gateway:"},
    {D(141, 3002), "example directly below."},

    // Dialog 142: the closing page by itself.
    {D(142, 0), "Mail Setup"},
    {D(142, 1062), "Congratulations!  Your Mail is now set up and ready for use."},
    {D(142, 3001), "You can return to the Mail Setup at any time through TetherSync Manager."},
    {D(142, 3002),
     "To return to Mail Setup, click Custom in the Tethersync Manager in the Window's system "
     "tray, select Mail and then Change to bring up the Mail Custom Dialog box. You can then "
     "either access Mail Setup or choose to make changes directly on the custom screen."},

    // Dialog 151: the Simple MAPI user name page.
    {D(151, 0), "Mail Setup"},
    {D(151, 3001), "Enter the user name you use when you log into your E-Mail application."},
    {D(151, 3002), "If you are not sure, enter the name the name that is used to send you e-mail."},
    {D(151, 3003), "&User Name:"},
    {D(151, 3004), "&Password:"},
    {D(151, 3005), PASSWORD_HINT},
    {D(151, 3006), NEEDED_HINT},

    // Dialog 154: the logon failure dialog.
    {D(154, 0), "Mail Setup"},
    {D(154, 1), "&Save"},
    {D(154, 2), "< Back"},
    {D(154, 1086),
     "Mail was not able to log onto to your E-Mail application. There are several reasons why "
     "this may have happened. You may not be connected to your E-Mail server at this time, or you "
     "may have entered data incorrectly."},
    {D(154, 1087),
     "If you are not connected to your E-Mail server, please save your settings now. You will be "
     "able to synchronize your e-mail when you connect to the server."},
    {D(154, 1088),
     "If you are connected to your E-Mail server you have probably entered incorrect data. Please "
     "go back and check your information, or see your system administrator for further "
     "assistance."},

    // Dialog 159: the missing gateway warning.
    {D(159, 0), "Mail Setup"},
    {D(159, 1), "&Next >"},
    {D(159, 2), "< &Back"},
    {D(159, 3001),
     "The Internet Mail Gateway is the name of the cc:Mail Post Office that handles the routing of "
     "e-mail from your cc:Mail network to the Internet.  The default name is \"Internet Mail.\""},
    {D(159, 3002),
     "If you do not enter an Internet Mail Gateway, you will need to add \"at Internet-Mail\" or "
     "your gateway name on the end of each Internet address on your handheld."},
    {D(159, 3003),
     "Click Back to go back and enter your Internet Mail Gateway or click Next to continue without "
     "entering the Internet Mail Gateway.  You can always enter this information at a later "
     "time."},

    // Dialog 162: the Eudora note.
    {D(162, 0), "Mail Setup"},
    {D(162, 1), "OK"},
    {D(162, 3001),
     "In order to synchronize with Eudora, you must first properly setup MAPI in Eudora.  The "
     "MAPI setting can be found in the Eudora menu bar under Tools/Options.  If Eudora is the only "
     "E-Mail application that you use, select \"always\" as the MAPI setting."},
    {D(162, 3002),
     "If you use more than one E-Mail application, select \"when Eudora is running\" as the MAPI "
     "setting.  You will then be able to synchronize only when Eudora is launched."},
    {D(162, 3003),
     "We strongly recommend that Eudora be launched and running before performing a TetherSync "
     "operation, no matter what MAPI setting you choose."},

    // Dialog 379: the directory chooser.
    {D(379, 0), "Choose Directory"},

    // Dialog 380: the user selection.
    {D(380, 0), "User Selection"},
    {D(380, 1), "OK"},
    {D(380, 2), "Cancel"},

    // Dialog 381: the profile congratulations page.
    {D(381, 0), "Mail Setup"},
    {D(381, 1069), ""},
    {D(381, 1072), ""},
    {D(381, 1073), SYNC_NEXT},
    {D(381, 1074), RETURN_LATER},
    {D(381, 3001), CONGRATS},
    {D(381, 3002), "Mail System:"},
    {D(381, 3003), "Profile:"},

    // Dialog 382: the current setup.
    {D(382, 0), "Mail Setup"},
    {D(382, 1), "C&hange"},
    {D(382, 2), "Cancel"},
    {D(382, 1014), ""},
    {D(382, 1069), ""},
    {D(382, 1070), ""},
    {D(382, 1071), ""},
    {D(382, 1076), "User Name:"},
    {D(382, 1077), "Post Office:"},
    {D(382, 1078), "Internet Gateway:"},
    {D(382, 1079), "Profile:"},
    {D(382, 3001), "Your Mail is currently set up with the following configuration:"},
    {D(382, 3002), "Would you like to change your settings now?"},
    {D(382, 3003), "Mail System:"},

    // Dialog 383: the Outlook Express note (one sentence over two controls).
    {D(383, 0), "Mail Setup"},
    {D(383, 1), "OK"},
    {D(383, 3001),
     "In order to synchronize with Outlook Express, you must first properly setup MAPI in Outlook "
     "Express.  The MAPI setting can be found in the Outlook Express menu bar under Tools/Options. "
     " Check the box, \"Make Outlook"},
    {D(383, 3002),
     "Express my default e-mail program,\" and then check the box, \"Make Outlook Express my "
     "default simple MAPI client.\"  This will enable your e-mail to be synchronized with your "
     "handheld."},
};

static_assert(platform::SortedById(STRINGS), "keep STRINGS sorted by id, each id once");

}  // namespace

extern "C" __attribute__((visibility("default"))) const char* LangGetString(uint32_t id) {
    return platform::FindNumberedString(STRINGS, id);
}

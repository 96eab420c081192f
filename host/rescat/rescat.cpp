// The conduit's language resource library (librescat.so, found for "Rescat.dll"): its
// numbered string table, answered through LangGetString.
#include <cstdint>

#include "platform/numbered_strings.h"

namespace {

using platform::NumberedString;

// Sorted by id. Leading blanks indent the lines under the conduit's heading in the log.
constexpr NumberedString STRINGS[] = {
    {3311, "     Please check your connections and try again."},
    {3312,
     "     The memory in your handheld may be full.  To check the available memory, select Memory "
     "from the handheld's Application Launcher."},
    {3313,
     "     Your disk on your PC may be full.  Check the disk space and perform a TetherSync "
     "operation again."},
    {3316, "   - Could not copy the following record to the handheld:"},
    {3317, "   - Could not purge the deleted records on the handheld."},
    {3319, "   - Could not modify the following record on the handheld:"},
    {3323, "   - Could not read the next handheld record."},
    {3348, "   - Could not save the Desktop file."},
    {3370, "sync configured to Do Nothing"},
    {5001, "Mail"},
    {5005, "vim32.dll"},
    {5006, " at "},
    {5007, "rfc822.txt"},
    {5008, "Trash"},
    {5111, "Lotus Applications"},
    {5112, "lotus.ini"},
    {5113, "notes"},
    {5201, "mapi"},
    {5202, "mapi32"},
    {5203, "vim32"},
    {5204, "notesvim32"},
    {6001, "Internet-Mail"},
    {6002, "Not Applicable"},
    {6003, "From: "},
    {6004, "To: "},
    {6005, "* The following file(s) are attached to this message on your Desktop:"},
    {6006, "* There are %d file(s) attached to this message on your Desktop."},
    {6008,
     "\n\n*************************\nThis message has been truncated. The entire message is "
     "available on your desktop email client.\n \n"},
    {6010,
     "%d of your message(s) could not be sent, please check your outbox and make proper "
     "corrections before sending again.\n\n"},
    {6011, "(High Priority) "},
    {6101,
     "   - Your Tamarack Mail is not properly configured.  Launch Mail Setup through the Windows "
     "Start menu on your desktop. Select Programs, Tamarack Desktop program group, and choose the "
     "Mail Setup icon."},
    {6102, "   - Could not open Handheld's Email Database."},
    {6103, "   - Could not read the Handheld's Email Preferences Database."},
    {6104, "   - Could not delete the following message from the Desktop Mail System:"},
    {6105, "   - Could not send the following message to the Desktop Mail System:"},
    {6106, "   - Could not read the next message from the Desktop Mail System's Inbox."},
    {6107, "   - Could not mark the following message as being read on the Desktop Mail System:"},
    {6108,
     "   - Could not log on to the Desktop Mail System.  Please check your mail settings and run "
     "Mail Setup."},
    {6109, "   - Failed while trying to Logoff of the Desktop Mail System."},
    {6110, "   - Failed while trying to retrieve the next message from the Desktop Mail System."},
    {6111, "   - Failed while trying to free some memory used for the Desktop Mail System."},
    {6112, "   - The following message was truncated on the Handheld:"},
    {6114,
     "(The content of this field was too large.  The entire e-mail is available in your E-Mail "
     "application.)"},
    {6115,
     "   - The distribution list of the following E-Mail has been omitted due to space "
     "limitations:"},
    {6116,
     "   - The mail settings name no mail interface: the key \"Interface\" of section "
     "\"Mail\" in the user's Sync.ini is missing or empty. Run Mail Setup, or set it to "
     "MAPI32 for a Simple MAPI profile."},
    {6117,
     "   - The mail settings name an unknown mail interface: the key \"Interface\" of "
     "section \"Mail\" in the user's Sync.ini is none of mapi, mapi32, vim32 and notesvim32."},
    {6120, "   - Could not read the Desktop file %s."},
    {6121,
     "     It was left as it is and nothing was synchronized.  Run \"tethersync repair\" to "
     "rebuild it, or restore it from a backup, and perform a TetherSync operation again."},
    {6130,
     "   - Could not find the desktop user of this TetherSync operation.  The Mail settings "
     "were not read."},
};

static_assert(platform::SortedById(STRINGS), "keep STRINGS sorted by id, each id once");

}  // namespace

extern "C" __attribute__((visibility("default"))) const char* LangGetString(uint32_t id) {
    return platform::FindNumberedString(STRINGS, id);
}

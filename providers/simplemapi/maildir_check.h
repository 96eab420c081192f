// Whether a folder is a Maildir: the one check a logon, a profile editor or a setup step
// makes before taking a folder for a mailbox. Depends on the platform layer only.
#pragma once

#include <string>

namespace mapi {

enum class MaildirState {
    MAILDIR,        // cur/ and new/ are folders (tmp/ may be missing: it is created)
    MISSING,        // nothing at that path, or the path is empty
    NOT_A_FOLDER,   // a file or something else that is no folder
    NOT_A_MAILDIR,  // a folder without cur/ or new/: never taken for an empty mailbox
};

// What `root` is. A folder lacking cur/ or new/ is not a Maildir: taking it for an empty
// mailbox would make every message copied from the real one look deleted.
MaildirState CheckMaildir(const std::string& root);

// "" for a Maildir; otherwise a sentence naming `root` and what is wrong with it, e.g.
// "/home/me/Mail is not a Maildir (it has no cur/ and new/ folders)".
std::string MaildirProblem(const std::string& root);

}  // namespace mapi

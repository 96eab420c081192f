// The Maildir check shared by the logon and the tools that set up profiles.
#include "providers/simplemapi/maildir_check.h"

#include "platform/file_util.h"

namespace mapi {

MaildirState CheckMaildir(const std::string& root) {
    if (root.empty())
        return MaildirState::MISSING;
    if (!platform::DirectoryExists(root))
        return platform::FileExists(root) ? MaildirState::NOT_A_FOLDER : MaildirState::MISSING;
    // cur/ and new/ hold the mail; tmp/ holds only deliveries in progress and may have been
    // lost (tools that copy folder trees often drop empty folders), so it is not required.
    if (!platform::DirectoryExists(platform::JoinPath(root, "cur")) ||
        !platform::DirectoryExists(platform::JoinPath(root, "new")))
        return MaildirState::NOT_A_MAILDIR;
    return MaildirState::MAILDIR;
}

std::string MaildirProblem(const std::string& root) {
    switch (CheckMaildir(root)) {
        case MaildirState::MAILDIR:
            return "";
        case MaildirState::MISSING:
            return root.empty() ? "no Maildir folder is named" : root + " does not exist";
        case MaildirState::NOT_A_FOLDER:
            return root + " is not a folder";
        case MaildirState::NOT_A_MAILDIR:
            return root + " is not a Maildir (it has no cur/ and new/ folders)";
    }
    return root + " is not a Maildir";
}

}  // namespace mapi

// One Simple MAPI session: a profile's Maildir inbox, its transport and address book.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "providers/simplemapi/address_book.h"
#include "providers/simplemapi/maildir_store.h"
#include "providers/simplemapi/mapi_profile.h"
#include "providers/simplemapi/read_cache.h"
#include "providers/simplemapi/simple_mapi.h"

namespace mapi {

// Attachment files that reads hand over are named ATTACHMENT_PREFIX, six letters or
// digits, '-' and the attachment's safe name, in the temporary folder.
inline constexpr std::string_view ATTACHMENT_PREFIX = "mapi-";
bool IsAttachmentFileName(std::string_view name);

class CMapiSession {
public:
    CMapiSession(MapiProfile profile, uint32_t codePage);

    // Opens the session for the named profile (empty: the default profile) from the
    // profile file. 0; MAPI_E_LOGIN_FAILURE for an unknown profile, a wrong password, a
    // store that is not a Maildir (a folder without cur/ and new/ is never taken for an
    // empty inbox), or a profile file that others may read or change and that cannot be
    // made private (one of ours is repaired with a warning); MAPI_E_INSUFFICIENT_MEMORY.
    // Leftovers of killed runs are removed: our own files in the Maildirs' tmp/ and our
    // attachment files in the temporary folder at once, others' files in tmp/ after 36 h.
    [[nodiscard]] static int32_t Open(const std::string& profileFile,
                                      const std::string& profileName, const std::string& password,
                                      uint32_t codePage, std::unique_ptr<CMapiSession>* out);

    // The id after `seed` into `out` (512 bytes with MAPI_LONG_MSGID, else 64). 0,
    // MAPI_E_NO_MESSAGES at the end, MAPI_E_INVALID_MESSAGE, MAPI_E_FAILURE.
    [[nodiscard]] int32_t FindNext(const char* messageType, const char* seed, FLAGS flags,
                                   char* out);
    // Reads a message into a new buffer. MAPI_PEEK leaves it unread, MAPI_ENVELOPE_ONLY
    // skips body and attachments, MAPI_SUPPRESS_ATTACH skips the attachments. Attachments
    // are written to new temporary files (the caller deletes them). 0,
    // MAPI_E_INVALID_MESSAGE, MAPI_E_ATTACHMENT_WRITE_FAILURE, MAPI_E_INSUFFICIENT_MEMORY,
    // MAPI_E_FAILURE.
    [[nodiscard]] int32_t ReadMail(const char* id, FLAGS flags, MapiMessage** out);
    // 0, MAPI_E_INVALID_MESSAGE, MAPI_E_FAILURE.
    [[nodiscard]] int32_t DeleteMail(const char* id);
    // Sends through the profile's transport; see BuildOutgoingMail and SendOverSmtp for
    // the codes. With the Maildir transport the mail is delivered to the sent folder; with
    // SMTP a copy is kept there too after the server took it.
    [[nodiscard]] int32_t SendMail(const MapiMessage* message, FLAGS flags);
    // Resolves a name in the address book into a new MAPI_TO recipient buffer.
    [[nodiscard]] int32_t ResolveName(const char* name, MapiRecipDesc** out);

    const MapiProfile& Profile() const { return m_profile; }

private:
    MapiProfile m_profile;
    uint32_t m_codePage;
    CMaildirStore m_store;
    CAddressBook m_book;
    CReadCache m_cache;
    // The temporary folder for attachment files, chosen once per session (as the caller
    // that deletes them chooses it once).
    std::string m_tempFolder;
};

}  // namespace mapi

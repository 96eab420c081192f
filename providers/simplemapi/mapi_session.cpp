// Session operations over the Maildir store, the MIME reader/writer and the transports.
#include "providers/simplemapi/mapi_session.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/file_safety.h"
#include "platform/file_util.h"
#include "providers/simplemapi/maildir_check.h"
#include "providers/simplemapi/mapi_buffer.h"
#include "providers/simplemapi/mime_reader.h"
#include "providers/simplemapi/mime_writer.h"
#include "providers/simplemapi/problem_report.h"

namespace mapi {

namespace {

// Largest message file read; larger files are refused rather than exhausting memory.
constexpr size_t MAX_MESSAGE_BYTES = size_t{1} << 30;

// Creates a private temporary file named after the attachment in the temporary folder and
// writes its contents through the new file's descriptor, which stays open (and the file
// held) until the message is freed: a sweep by another logon never takes it for a
// leftover meanwhile. A temporary copy needs no flush to disk: it only has to outlive
// this process's use of it (reopening it truncated would make the file system flush it
// on close). "" on failure, with nothing left behind.
std::string WriteTempFile(const std::string& folder, const std::string& diskName,
                          const std::string& data, int* fd) {
    if (folder.empty()) {
        static std::once_flag once;
        std::call_once(once, [] {
            ReportProblem(
                "no safe temporary folder ($TMPDIR and /tmp are writable by others "
                "or not ours); attachments are not written");
        });
        return "";
    }
    static const char LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string unique;
        for (int i = 0; i < 6; ++i) {
            unique.push_back(LETTERS[g_random_int_range(0, sizeof LETTERS - 1)]);
        }
        const std::string path =
            platform::JoinPath(folder, std::string(ATTACHMENT_PREFIX) + unique + "-" + diskName);
        const int32_t err = platform::CreateHeldFile(path, 0600, fd);
        if (err == EEXIST) {
            continue;
        }
        if (err != 0) {
            return "";
        }
        if (platform::WriteAll(*fd, data.data(), data.size()) != 0) {
            (void)platform::RemoveFile(path);  // the read fails; nothing of it is kept
            platform::ReleaseHeldFile(*fd);
            *fd = -1;
            return "";
        }
        return path;
    }
    return "";
}

void RemoveFiles(const std::vector<std::string>& paths, std::vector<int>* fds) {
    for (const std::string& p : paths) {
        (void)platform::RemoveFile(p);  // cleaning up after a failure; nothing more to do
    }
    for (int fd : *fds) {
        platform::ReleaseHeldFile(fd);
    }
    fds->clear();
}

}  // namespace

bool IsAttachmentFileName(std::string_view name) {
    // ATTACHMENT_PREFIX, six letters or digits, '-', the attachment's safe name.
    if (name.size() < ATTACHMENT_PREFIX.size() + 7 || !name.starts_with(ATTACHMENT_PREFIX) ||
        name[ATTACHMENT_PREFIX.size() + 6] != '-') {
        return false;
    }
    for (size_t i = ATTACHMENT_PREFIX.size(); i < ATTACHMENT_PREFIX.size() + 6; ++i) {
        if (!g_ascii_isalnum(name[i])) {
            return false;
        }
    }
    return true;
}

namespace {}  // namespace

CMapiSession::CMapiSession(MapiProfile profile, uint32_t codePage)
    : m_profile(std::move(profile)),
      m_codePage(codePage),
      m_store(m_profile.store),
      m_cache(CReadCache::FolderForStore(m_profile.store)) {
    m_book.Load(m_profile.addressBook, m_codePage);
}

int32_t CMapiSession::Open(const std::string& profileFile, const std::string& profileName,
                           const std::string& password, uint32_t codePage,
                           std::unique_ptr<CMapiSession>* out) {
    std::vector<MapiProfile> profiles = LoadProfiles(profileFile);
    std::string warning;
    const int32_t protectedRc = ProtectProfileFile(profileFile, profiles, &warning);
    if (!warning.empty()) {
        ReportProblem(warning);
    }
    if (protectedRc != SUCCESS_SUCCESS) {
        return protectedRc;
    }
    std::optional<MapiProfile> profile = FindProfile(profiles, profileName);
    if (!profile) {
        return MAPI_E_LOGIN_FAILURE;
    }
    if (!profile->password.empty() && profile->password != password) {
        return MAPI_E_LOGIN_FAILURE;
    }
    // A folder that is not a Maildir is refused rather than read as an empty inbox, which
    // would make every message already copied to the handheld look deleted.
    if (const std::string problem = MaildirProblem(profile->store); !problem.empty()) {
        ReportProblem("profile \"" + profile->name + "\": the store " + problem +
                      "; logon refused");
        return MAPI_E_LOGIN_FAILURE;
    }
    // tmp/ only holds deliveries in progress; a Maildir that lost it gets it back.
    if (platform::CreateDirectories(platform::JoinPath(profile->store, "tmp"), 0700) != 0) {
        return MAPI_E_LOGIN_FAILURE;
    }
    // What killed deliveries left in tmp/ is removed; it never reaches new/ or cur/.
    (void)RemoveMaildirLeftovers(profile->store);  // a count, for tests
    if (!profile->sent.empty() && CheckMaildir(profile->sent) == MaildirState::MAILDIR) {
        (void)RemoveMaildirLeftovers(profile->sent);
    }
    // Attachment files of reads whose process was killed before it freed the message.
    std::string tempFolder = platform::TemporaryFolder();
    if (!tempFolder.empty()) {
        (void)platform::RemoveLeftoverFiles(tempFolder, IsAttachmentFileName, -1);
    }
    auto* session = new (std::nothrow) CMapiSession(std::move(*profile), codePage);
    if (session == nullptr) {
        return MAPI_E_INSUFFICIENT_MEMORY;
    }
    session->m_tempFolder = std::move(tempFolder);
    out->reset(session);
    return SUCCESS_SUCCESS;
}

int32_t CMapiSession::FindNext(const char* messageType, const char* seed, FLAGS flags, char* out) {
    if (out == nullptr) {
        return MAPI_E_FAILURE;
    }
    // Only interpersonal messages are kept here.
    if (messageType != nullptr && *messageType != '\0' &&
        g_ascii_strncasecmp(messageType, "IPM", 3) != 0) {
        return MAPI_E_NO_MESSAGES;
    }
    std::string id;
    int32_t rc = m_store.FindNext(seed != nullptr ? seed : "", &id);
    if (rc != SUCCESS_SUCCESS) {
        return rc;
    }
    size_t room = (flags & MAPI_LONG_MSGID) != 0 ? MAPI_LONG_MSGID_SIZE : 64;
    if (id.size() + 1 > room) {
        return MAPI_E_FAILURE;
    }
    std::memcpy(out, id.c_str(), id.size() + 1);
    return SUCCESS_SUCCESS;
}

int32_t CMapiSession::ReadMail(const char* id, FLAGS flags, MapiMessage** out) {
    if (out == nullptr || id == nullptr || *id == '\0') {
        return MAPI_E_INVALID_MESSAGE;
    }
    *out = nullptr;
    std::string path;
    bool seen = false;
    int64_t delivered = 0;
    // The file's identity is taken when it is located, before it is read: a change after
    // this point gives a cache entry a stale identity, which only makes the next read a miss.
    platform::FileStamp stamp;
    int32_t rc = m_store.Locate(id, &path, &seen, &delivered, &stamp);
    if (rc != SUCCESS_SUCCESS) {
        return rc;
    }
    const bool envelopeOnly = (flags & MAPI_ENVELOPE_ONLY) != 0;
    const bool wantsFiles = !envelopeOnly && (flags & MAPI_SUPPRESS_ATTACH) == 0;
    // With native text on code page 932 an envelope-only read takes its header encoding
    // from other hints than a full read does, so such reads never come from the cache.
    const bool envelopeFromFull = !(m_profile.nativeText && m_codePage == 932);

    const bool cacheable = m_cache.Enabled();
    ReadCacheKey key{id,         stamp.size,           stamp.mtimeNs, stamp.inode,
                     m_codePage, m_profile.nativeText, delivered};
    IncomingMessage message;
    CachedMessage cached;
    if (cacheable && (!envelopeOnly || envelopeFromFull) && m_cache.Lookup(key, &cached)) {
        message = std::move(cached.message);
        if (envelopeOnly) {
            message.noteText.clear();
        }
    } else {
        std::string bytes;
        int32_t err = platform::ReadWholeFile(path, &bytes, MAX_MESSAGE_BYTES);
        if (err == ENOENT) {
            return MAPI_E_INVALID_MESSAGE;
        }
        if (err != 0) {
            return err == ENOMEM ? MAPI_E_INSUFFICIENT_MEMORY : MAPI_E_FAILURE;
        }
        ReadOptions options;
        options.codePage = m_codePage;
        options.nativeText = m_profile.nativeText;
        options.envelopeOnly = envelopeOnly;
        options.fallbackTime = delivered;
        ParseMessage(bytes, options, &message);
        bytes.clear();
        bytes.shrink_to_fit();
        if (cacheable && !envelopeOnly) {
            m_cache.Store(key, message);
        }
    }
    if (!wantsFiles) {
        message.attachments.clear();
    }

    std::vector<std::string> files;
    std::vector<int> held;
    for (const AttachmentData& a : message.attachments) {
        int fd = -1;
        std::string file = WriteTempFile(m_tempFolder, a.diskName, a.data, &fd);
        if (file.empty()) {
            RemoveFiles(files, &held);
            return MAPI_E_ATTACHMENT_WRITE_FAILURE;
        }
        files.push_back(std::move(file));
        held.push_back(fd);
    }
    MapiMessage* result = BuildMapiMessage(message, files);
    if (result == nullptr || !HoldFilesWithBuffer(result, &held)) {
        if (result != nullptr) {
            FreeMapiBuffer(result);
        }
        RemoveFiles(files, &held);
        return MAPI_E_INSUFFICIENT_MEMORY;
    }
    if (!seen) {
        result->flFlags |= MAPI_UNREAD;
    }
    if ((flags & MAPI_PEEK) == 0 && !seen) {
        rc = m_store.MarkSeen(id);
        if (rc != SUCCESS_SUCCESS) {
            FreeMapiBuffer(result);
            RemoveFiles(files, &held);
            return rc;
        }
    }
    *out = result;
    return SUCCESS_SUCCESS;
}

int32_t CMapiSession::DeleteMail(const char* id) {
    if (id == nullptr || *id == '\0') {
        return MAPI_E_INVALID_MESSAGE;
    }
    int32_t rc = m_store.Delete(id);
    if (rc == SUCCESS_SUCCESS) {
        m_cache.Forget(id);
    }
    return rc;
}

int32_t CMapiSession::SendMail(const MapiMessage* message, FLAGS /*flags*/) {
    if (message == nullptr) {
        return MAPI_E_FAILURE;
    }
    OutgoingMail mail;
    int32_t rc = BuildOutgoingMail(*message, m_profile, m_book, m_codePage, &mail);
    if (rc != SUCCESS_SUCCESS) {
        return rc;
    }
    std::string id;
    if (m_profile.transport == "smtp") {
        rc = SendOverSmtp(m_profile, mail);
        if (rc != SUCCESS_SUCCESS) {
            return rc;
        }
        // The server has the mail: a failed copy to the sent folder must not make the
        // caller send it a second time.
        if (!m_profile.sent.empty()) {
            (void)DeliverToMaildir(m_profile.sent, mail.stored, true, &id);
        }
        return SUCCESS_SUCCESS;
    }
    if (m_profile.transport != "maildir") {
        return MAPI_E_FAILURE;
    }
    return DeliverToMaildir(m_profile.sent, mail.stored, true, &id);
}

int32_t CMapiSession::ResolveName(const char* name, MapiRecipDesc** out) {
    if (out == nullptr) {
        return MAPI_E_FAILURE;
    }
    *out = nullptr;
    AddressEntry entry;
    int32_t rc = m_book.Resolve(name != nullptr ? name : "", &entry);
    if (rc != SUCCESS_SUCCESS) {
        return rc;
    }
    MapiRecipDesc* r =
        BuildMapiRecipient(MAPI_TO, entry.name.empty() ? entry.address : entry.name, entry.address);
    if (r == nullptr) {
        return MAPI_E_INSUFFICIENT_MEMORY;
    }
    *out = r;
    return SUCCESS_SUCCESS;
}

}  // namespace mapi

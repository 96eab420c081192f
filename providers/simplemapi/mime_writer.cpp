// Outgoing mail: MIME building with GMime and SMTP delivery with libcurl.
#include "providers/simplemapi/mime_writer.h"

#include <curl/curl.h>
#include <gmime/gmime.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "platform/code_page.h"
#include "platform/file_util.h"
#include "providers/simplemapi/problem_report.h"
#include "providers/simplemapi/smtp_security.h"
#include "providers/simplemapi/text_codec.h"

namespace mapi {

namespace {

template <typename T>
struct GUnref {
    void operator()(T* p) const {
        if (p != nullptr) {
            g_object_unref(p);
        }
    }
};
template <typename T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

void EnsureLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_mime_init();
        curl_global_init(CURL_GLOBAL_DEFAULT);
    });
}

std::string StripSmtpPrefix(const char* address) {
    std::string a = address != nullptr ? address : "";
    size_t start = a.find_first_not_of(" \t");
    a = start == std::string::npos ? "" : a.substr(start);
    while (!a.empty() && (a.back() == ' ' || a.back() == '\t')) {
        a.pop_back();
    }
    if (a.size() > 5 && g_ascii_strncasecmp(a.c_str(), "SMTP:", 5) == 0) {
        a = a.substr(5);
    }
    if (a.size() >= 2 && a.front() == '<' && a.back() == '>') {
        a = a.substr(1, a.size() - 2);
    }
    return a;
}

// An address we can put in a header and an SMTP envelope: printable ASCII or UTF-8, no
// spaces, no angle brackets, no control characters.
bool IsUsableAddress(const std::string& a) {
    if (a.empty() || a.size() > 320) {
        return false;
    }
    for (unsigned char c : a) {
        if (c <= 0x20 || c == 0x7F || c == '<' || c == '>' || c == ',' || c == ';' || c == '"') {
            return false;
        }
    }
    return true;
}

std::string Serialize(GMimeObject* object, GMimeNewLineFormat newline) {
    GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
    g_mime_format_options_set_newline_format(options, newline);
    GPtr<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(object, options, mem.get());
    g_mime_format_options_free(options);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

GMimePart* TextPart(const std::string& utf8) {
    bool ascii = true;
    for (unsigned char c : utf8) {
        ascii = ascii && c < 0x80;
    }
    GMimePart* part = g_mime_part_new_with_type("text", "plain");
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part), "charset",
                                             ascii ? "us-ascii" : "utf-8");
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(utf8.data(), utf8.size()));
    GPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, wrapper.get());
    // The transfer encoding is chosen for 7-bit transport (quoted-printable or base64).
    g_mime_part_set_content_encoding(
        part, g_mime_part_get_best_content_encoding(part, GMIME_ENCODING_CONSTRAINT_7BIT));
    return part;
}

}  // namespace

int32_t BuildOutgoingMail(const MapiMessage& message, const MapiProfile& profile,
                          const CAddressBook& book, uint32_t codePage, OutgoingMail* out) {
    EnsureLibraries();
    *out = OutgoingMail();
    std::string ownAddress = StripSmtpPrefix(profile.address.c_str());
    if (!IsUsableAddress(ownAddress)) {
        return MAPI_E_FAILURE;
    }
    GPtr<GMimeMessage> mime(g_mime_message_new(TRUE));
    std::string ownName = CodePageToUtf8(profile.displayName, codePage);
    g_mime_message_add_mailbox(mime.get(), GMIME_ADDRESS_TYPE_FROM,
                               ownName.empty() ? nullptr : ownName.c_str(), ownAddress.c_str());
    out->from = ownAddress;

    if (message.nRecipCount > 0 && message.lpRecips == nullptr) {
        return MAPI_E_INVALID_RECIPS;
    }
    for (ULONG i = 0; i < message.nRecipCount; ++i) {
        const MapiRecipDesc& r = message.lpRecips[i];
        GMimeAddressType type;
        switch (r.ulRecipClass) {
            case MAPI_ORIG:
                continue;
            case MAPI_TO:
                type = GMIME_ADDRESS_TYPE_TO;
                break;
            case MAPI_CC:
                type = GMIME_ADDRESS_TYPE_CC;
                break;
            case MAPI_BCC:
                type = GMIME_ADDRESS_TYPE_BCC;
                break;
            default:
                return MAPI_E_BAD_RECIPTYPE;
        }
        std::string name = r.lpszName != nullptr ? r.lpszName : "";
        std::string address = StripSmtpPrefix(r.lpszAddress);
        if (address.empty()) {
            AddressEntry entry;
            int32_t rc = book.Resolve(name, &entry);
            if (rc == SUCCESS_SUCCESS) {
                address = entry.address;
                if (!entry.name.empty()) {
                    name = entry.name;
                }
            } else if (name.find('@') != std::string::npos) {
                address = StripSmtpPrefix(name.c_str());
                name.clear();
            } else {
                return rc;
            }
        }
        std::string addressUtf8 = CodePageToUtf8(address, codePage);
        if (!IsUsableAddress(addressUtf8)) {
            return MAPI_E_INVALID_RECIPS;
        }
        std::string nameUtf8 = CodePageToUtf8(name, codePage);
        if (nameUtf8 == addressUtf8) {
            nameUtf8.clear();
        }
        g_mime_message_add_mailbox(mime.get(), type, nameUtf8.empty() ? nullptr : nameUtf8.c_str(),
                                   addressUtf8.c_str());
        out->recipients.push_back(addressUtf8);
    }
    if (out->recipients.empty()) {
        return MAPI_E_INVALID_RECIPS;
    }

    std::string subject =
        CodePageToUtf8(message.lpszSubject != nullptr ? message.lpszSubject : "", codePage);
    g_mime_message_set_subject(mime.get(), FlattenHeader(subject).c_str(), "utf-8");
    GDateTime* now = g_date_time_new_now_local();
    g_mime_message_set_date(mime.get(), now);
    g_date_time_unref(now);
    std::string domain = ownAddress.substr(ownAddress.rfind('@') + 1);
    char* messageId =
        g_mime_utils_generate_message_id(domain.empty() ? "localhost" : domain.c_str());
    g_mime_message_set_message_id(mime.get(), messageId);
    g_free(messageId);
    if ((message.flFlags & MAPI_RECEIPT_REQUESTED) != 0) {
        g_mime_object_set_header(GMIME_OBJECT(mime.get()), "Disposition-Notification-To",
                                 ownAddress.c_str(), "utf-8");
    }

    std::string note =
        ToLf(CodePageToUtf8(message.lpszNoteText != nullptr ? message.lpszNoteText : "", codePage));
    GPtr<GMimePart> body(TextPart(note));
    if (message.nFileCount == 0 || message.lpFiles == nullptr) {
        g_mime_message_set_mime_part(mime.get(), GMIME_OBJECT(body.get()));
    } else {
        GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));
        for (ULONG i = 0; i < message.nFileCount; ++i) {
            const MapiFileDesc& f = message.lpFiles[i];
            if (f.lpszPathName == nullptr || !platform::FileExists(f.lpszPathName)) {
                return MAPI_E_ATTACHMENT_NOT_FOUND;
            }
            std::string data;
            if (platform::ReadWholeFile(f.lpszPathName, &data) != 0) {
                return MAPI_E_ATTACHMENT_OPEN_FAILURE;
            }
            std::string fileName;
            if (f.lpszFileName != nullptr && *f.lpszFileName != '\0') {
                fileName = CodePageToUtf8(f.lpszFileName, codePage);
            } else {
                std::string path = f.lpszPathName;
                fileName = CodePageToUtf8(path.substr(path.rfind('/') + 1), codePage);
            }
            GPtr<GMimePart> part(g_mime_part_new_with_type("application", "octet-stream"));
            GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(data.data(), data.size()));
            GPtr<GMimeDataWrapper> wrapper(
                g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
            g_mime_part_set_content(part.get(), wrapper.get());
            g_mime_part_set_filename(part.get(), fileName.c_str());
            g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
            g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
        }
        g_mime_message_set_mime_part(mime.get(), GMIME_OBJECT(mixed.get()));
    }
    out->stored = Serialize(GMIME_OBJECT(mime.get()), GMIME_NEWLINE_FORMAT_UNIX);
    // Bcc recipients get the mail through the envelope only.
    g_mime_object_remove_header(GMIME_OBJECT(mime.get()), "Bcc");
    out->wire = Serialize(GMIME_OBJECT(mime.get()), GMIME_NEWLINE_FORMAT_DOS);
    return SUCCESS_SUCCESS;
}

namespace {

struct UploadState {
    const std::string* data;
    size_t offset;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* state = static_cast<UploadState*>(user);
    size_t room = size * count;
    size_t left = state->data->size() - state->offset;
    size_t n = left < room ? left : room;
    std::memcpy(buffer, state->data->data() + state->offset, n);
    state->offset += n;
    return n;
}

}  // namespace

int32_t SendOverSmtp(const MapiProfile& profile, const OutgoingMail& mail) {
    EnsureLibraries();
    if (profile.smtpUrl.empty()) {
        return MAPI_E_FAILURE;
    }
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return MAPI_E_INSUFFICIENT_MEMORY;
    }
    struct curl_slist* recipients = nullptr;
    for (const std::string& r : mail.recipients) {
        struct curl_slist* grown = curl_slist_append(recipients, ("<" + r + ">").c_str());
        if (grown == nullptr) {
            curl_slist_free_all(recipients);
            curl_easy_cleanup(curl);
            return MAPI_E_INSUFFICIENT_MEMORY;
        }
        recipients = grown;
    }
    std::string from = "<" + mail.from + ">";
    UploadState state{&mail.wire, 0};
    curl_easy_setopt(curl, CURLOPT_URL, profile.smtpUrl.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &state);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    if (!profile.smtpUser.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, profile.smtpUser.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, profile.smtpPassword.c_str());
    }
    // Credentials never cross an unencrypted connection to another machine: STARTTLS is
    // then required, and a server without it gets nothing but the greeting's answer.
    const SmtpSecurity security = PlanSmtpSecurity(profile);
    if (security.requireStartTls) {
        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    }
    CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_USE_SSL_FAILED && security.requireStartTls) {
        ReportProblem("the SMTP server " + security.host + " offers no STARTTLS" +
                      (security.credentials && !profile.smtpStartTls
                           ? "; the password is not sent over an unencrypted connection (use "
                             "smtps:// or a server with STARTTLS)"
                           : ", which the profile requires") +
                      "; nothing was sent");
    }
    long response = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response);
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);
    switch (rc) {
        case CURLE_OK:
            return SUCCESS_SUCCESS;
        case CURLE_OUT_OF_MEMORY:
            return MAPI_E_INSUFFICIENT_MEMORY;
        case CURLE_LOGIN_DENIED:
            return MAPI_E_LOGIN_FAILURE;
        default:
            // A 550-class answer to RCPT TO is a refused recipient; the rest is the
            // network's or the server's.
            if (response == 550 || response == 551 || response == 553) {
                return MAPI_E_UNKNOWN_RECIPIENT;
            }
            return MAPI_E_NETWORK_FAILURE;
    }
}

}  // namespace mapi

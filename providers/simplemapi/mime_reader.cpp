// MIME parsing with GMime: headers, the note text, attachments and the output encoding.
#include "providers/simplemapi/mime_reader.h"

#include <gmime/gmime.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/local_time.h"
#include "providers/simplemapi/simple_mapi.h"
#include "providers/simplemapi/text_codec.h"

namespace mapi {

namespace {

void EnsureGMime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

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

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) {
        c = g_ascii_tolower(c);
    }
    return r;
}

// Where the output text goes: the ANSI code page, or on request the message's own
// Japanese encoding.
class COutputEncoding {
public:
    explicit COutputEncoding(const ReadOptions& options) : m_codePage(options.codePage) {}

    // Chooses the message's own encoding from the charset of its text part.
    void UseNative(std::string_view charset) {
        std::string cs = Lower(charset);
        if (cs == "iso-2022-jp" || cs == "iso-2022-jp-2" || cs == "utf-8" || cs == "shift_jis" ||
            cs == "windows-31j" || cs == "cp932" || cs == "euc-jp") {
            m_native = cs;
        }
    }
    bool IsNative(std::string_view charset) const {
        return !m_native.empty() && Lower(charset) == m_native;
    }
    std::string FromUtf8Text(std::string_view utf8) const {
        std::string out;
        if (!m_native.empty() && FromUtf8(utf8, m_native, &out)) {
            return out;
        }
        return Utf8ToCodePage(utf8, m_codePage);
    }

private:
    uint32_t m_codePage;
    std::string m_native;
};

std::string SafeDiskName(std::string_view utf8Name, size_t index) {
    std::string out;
    for (char c : utf8Name) {
        if (g_ascii_isalnum(c) || c == '.' || c == '-' || c == '_') {
            out.push_back(c);
        } else if (!out.empty() && out.back() != '_') {
            out.push_back('_');
        }
        if (out.size() >= 80) {
            break;
        }
    }
    while (!out.empty() && out.front() == '.') {
        out.erase(out.begin());
    }
    if (out.empty()) {
        out = "attachment" + std::to_string(index + 1) + ".bin";
    }
    return out;
}

// Decoded (transfer encoding removed) contents of a leaf part.
std::string PartContent(GMimePart* part) {
    GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
    if (wrapper == nullptr) {
        return "";
    }
    GPtr<GMimeStream> mem(g_mime_stream_mem_new());
    if (g_mime_data_wrapper_write_to_stream(wrapper, mem.get()) < 0) {
        // Keep whatever was decoded before the damage.
    }
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

std::string ObjectToString(GMimeObject* object) {
    GPtr<GMimeStream> mem(g_mime_stream_mem_new());
    if (g_mime_object_write_to_stream(object, nullptr, mem.get()) < 0) {
        return "";
    }
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

struct TextPart {
    bool found = false;
    std::string bytes;
    std::string charset;
};

struct Walk {
    TextPart plain;                                          // first inline text/plain
    std::vector<TextPart> morePlain;                         // further inline text/plain parts
    TextPart html;                                           // first inline text/html
    std::vector<std::pair<std::string, std::string>> files;  // UTF-8 name, contents
    int depth = 0;
};

void WalkObject(GMimeObject* object, Walk* walk) {
    if (object == nullptr || walk->depth > 64) {
        return;
    }
    ++walk->depth;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i) {
            WalkObject(g_mime_multipart_get_part(multipart, i), walk);
        }
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (inner != nullptr) {
            const char* subject = g_mime_message_get_subject(inner);
            std::string name = subject != nullptr && *subject != '\0' ? subject : "message";
            walk->files.emplace_back(name + ".eml", ObjectToString(GMIME_OBJECT(inner)));
        }
    } else if (GMIME_IS_PART(object)) {
        GMimePart* part = GMIME_PART(object);
        GMimeContentType* type = g_mime_object_get_content_type(object);
        bool isText = type != nullptr && g_mime_content_type_is_type(type, "text", "plain");
        bool isHtml = type != nullptr && g_mime_content_type_is_type(type, "text", "html");
        bool attachment = g_mime_part_is_attachment(part);
        const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
        if (!attachment && isText) {
            TextPart t{true, PartContent(part), charset != nullptr ? charset : ""};
            if (!walk->plain.found) {
                walk->plain = std::move(t);
            } else {
                walk->morePlain.push_back(std::move(t));
            }
        } else if (!attachment && isHtml) {
            if (!walk->html.found) {
                walk->html = TextPart{true, PartContent(part), charset != nullptr ? charset : ""};
            }
        } else {
            const char* fileName = g_mime_part_get_filename(part);
            std::string name = fileName != nullptr ? fileName : "";
            walk->files.emplace_back(name, PartContent(part));
        }
    }
    --walk->depth;
}

void ReadAddressList(InternetAddressList* list, uint32_t recipClass, const COutputEncoding& enc,
                     std::vector<RecipientText>* out, int depth = 0) {
    if (list == nullptr || depth > 8) {
        return;
    }
    int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            ReadAddressList(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)),
                            recipClass, enc, out, depth + 1);
            continue;
        }
        if (!INTERNET_ADDRESS_IS_MAILBOX(address)) {
            continue;
        }
        RecipientText r;
        r.recipClass = recipClass;
        const char* name = internet_address_get_name(address);
        const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
        r.name = name != nullptr ? enc.FromUtf8Text(FlattenHeader(name)) : "";
        r.address = addr != nullptr ? enc.FromUtf8Text(FlattenHeader(addr)) : "";
        if (r.name.empty() && r.address.empty()) {
            continue;
        }
        out->push_back(std::move(r));
    }
}

// The header block of a message GMime refused: "Name: value" lines with continuations,
// up to the first empty line. Returns the offset of the body.
size_t ParseRawHeaders(std::string_view bytes,
                       std::vector<std::pair<std::string, std::string>>* headers) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t eol = bytes.find('\n', pos);
        size_t next = eol == std::string_view::npos ? bytes.size() : eol + 1;
        std::string_view line = bytes.substr(pos, next - pos);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            return next;
        }
        if ((line[0] == ' ' || line[0] == '\t') && !headers->empty()) {
            headers->back().second += " ";
            headers->back().second += std::string(line.substr(1));
        } else {
            size_t colon = line.find(':');
            if (colon == std::string_view::npos || colon == 0) {
                return pos;  // not a header line: the body starts here
            }
            std::string value(line.substr(colon + 1));
            size_t start = value.find_first_not_of(" \t");
            headers->emplace_back(std::string(line.substr(0, colon)),
                                  start == std::string::npos ? "" : value.substr(start));
        }
        pos = next;
    }
    return bytes.size();
}

std::string DecodeHeaderText(const std::string& raw) {
    char* decoded = g_mime_utils_header_decode_text(nullptr, raw.c_str());
    std::string result = decoded != nullptr ? decoded : "";
    g_free(decoded);
    return ToUtf8(result, "utf-8");
}

void ParseFallback(std::string_view bytes, const ReadOptions& options, IncomingMessage* out) {
    COutputEncoding enc(options);
    std::vector<std::pair<std::string, std::string>> headers;
    size_t bodyStart = ParseRawHeaders(bytes, &headers);
    int64_t date = 0;
    for (const auto& [name, value] : headers) {
        std::string key = Lower(name);
        if (key == "subject" && out->subject.empty()) {
            out->subject = enc.FromUtf8Text(FlattenHeader(DecodeHeaderText(value)));
        } else if (key == "from" || key == "to" || key == "cc" || key == "bcc") {
            GPtr<InternetAddressList> list(internet_address_list_parse(nullptr, value.c_str()));
            uint32_t cls = key == "from" ? MAPI_ORIG
                           : key == "to" ? MAPI_TO
                           : key == "cc" ? MAPI_CC
                                         : MAPI_BCC;
            std::vector<RecipientText> found;
            ReadAddressList(list.get(), cls, enc, &found);
            if (found.empty() && !value.empty()) {
                // An address the parser could not take apart: keep its text as the name.
                found.push_back(RecipientText{
                    cls, enc.FromUtf8Text(FlattenHeader(DecodeHeaderText(value))), ""});
            }
            if (cls == MAPI_ORIG) {
                if (!out->hasOriginator && !found.empty()) {
                    out->hasOriginator = true;
                    out->originator = found.front();
                }
            } else {
                out->recips.insert(out->recips.end(), found.begin(), found.end());
            }
        } else if (key == "date" && date == 0) {
            GDateTime* dt = g_mime_utils_header_decode_date(value.c_str());
            if (dt != nullptr) {
                date = g_date_time_to_unix(dt);
                g_date_time_unref(dt);
            }
        } else if (key == "disposition-notification-to" || key == "return-receipt-to") {
            out->receiptRequested = true;
        } else if (key == "message-id" && out->conversationId.empty()) {
            out->conversationId = FlattenHeader(value);
        }
    }
    if (date == 0) {
        date = options.fallbackTime;
    }
    if (date != 0) {
        out->date = date;
        out->dateText = FormatMapiDate(date);
        out->hasDate = !out->dateText.empty();
    }
    if (!options.envelopeOnly && bodyStart < bytes.size()) {
        out->noteText = ToCrLf(enc.FromUtf8Text(ToUtf8(bytes.substr(bodyStart), "")));
    }
}

}  // namespace

std::string FormatMapiDate(int64_t secondsSince1970) {
    platform::LocalTime t{};
    if (!platform::UtcToLocal(secondsSince1970, &t)) {
        return "";
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d/%02d/%02d %02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute);
    return buf;
}

void ParseMessage(std::string_view bytes, const ReadOptions& options, IncomingMessage* out) {
    EnsureGMime();
    *out = IncomingMessage();
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message) {
        ParseFallback(bytes, options, out);
        return;
    }
    GMimeObject* object = GMIME_OBJECT(message.get());

    Walk walk;
    if (!options.envelopeOnly) {
        WalkObject(g_mime_message_get_mime_part(message.get()), &walk);
    }
    COutputEncoding enc(options);
    if (options.nativeText && options.codePage == 932) {
        if (walk.plain.found) {
            enc.UseNative(walk.plain.charset);
        } else {
            // Without the body (envelope only, or HTML) the charset of the headers' text
            // part is not known; the Content-Type of the message itself is the best hint.
            const char* cs = g_mime_object_get_content_type_parameter(object, "charset");
            if (cs != nullptr) {
                enc.UseNative(cs);
            }
        }
    }

    const char* subject = g_mime_message_get_subject(message.get());
    if (subject != nullptr) {
        out->subject = enc.FromUtf8Text(FlattenHeader(subject));
    }
    std::vector<RecipientText> from;
    ReadAddressList(g_mime_message_get_from(message.get()), MAPI_ORIG, enc, &from);
    if (from.empty()) {
        ReadAddressList(g_mime_message_get_sender(message.get()), MAPI_ORIG, enc, &from);
    }
    if (!from.empty()) {
        out->hasOriginator = true;
        out->originator = from.front();
    }
    ReadAddressList(g_mime_message_get_to(message.get()), MAPI_TO, enc, &out->recips);
    ReadAddressList(g_mime_message_get_cc(message.get()), MAPI_CC, enc, &out->recips);
    ReadAddressList(g_mime_message_get_bcc(message.get()), MAPI_BCC, enc, &out->recips);

    int64_t date = 0;
    GDateTime* dt = g_mime_message_get_date(message.get());
    if (dt != nullptr) {
        date = g_date_time_to_unix(dt);
    }
    if (date == 0) {
        date = options.fallbackTime;
    }
    if (date != 0) {
        out->date = date;
        out->dateText = FormatMapiDate(date);
        out->hasDate = !out->dateText.empty();
    }
    out->receiptRequested =
        g_mime_object_get_header(object, "Disposition-Notification-To") != nullptr ||
        g_mime_object_get_header(object, "Return-Receipt-To") != nullptr;
    const char* messageId = g_mime_message_get_message_id(message.get());
    if (messageId != nullptr) {
        out->conversationId = FlattenHeader(messageId);
    }

    if (options.envelopeOnly) {
        return;
    }
    auto textOf = [&](const TextPart& t) {
        if (enc.IsNative(t.charset)) {
            return t.bytes;
        }
        return enc.FromUtf8Text(ToUtf8(t.bytes, t.charset));
    };
    std::string body;
    if (walk.plain.found) {
        body = textOf(walk.plain);
        for (const TextPart& more : walk.morePlain) {
            body += "\n\n";
            body += textOf(more);
        }
    } else if (walk.html.found) {
        body = enc.FromUtf8Text(HtmlToText(ToUtf8(walk.html.bytes, walk.html.charset)));
    }
    out->noteText = ToCrLf(body);
    for (size_t i = 0; i < walk.files.size(); ++i) {
        AttachmentData a;
        a.fileName = enc.FromUtf8Text(FlattenHeader(walk.files[i].first));
        a.diskName = SafeDiskName(walk.files[i].first, i);
        a.data = std::move(walk.files[i].second);
        out->attachments.push_back(std::move(a));
    }
}

}  // namespace mapi

// MIME parsing with GMime: headers, the note text, attachments and the output encoding.
#include "providers/simplemapi/mime_reader.h"

#include <gmime/gmime.h>

#include <cstdio>
#include <cstring>
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

// Where the output text goes: the ANSI code page, or UTF-8 (handed over as it is, for the
// desktop's own converter).
class COutputEncoding {
public:
    explicit COutputEncoding(uint32_t codePage) : m_codePage(codePage) {}

    void UseUtf8() { m_utf8 = true; }
    std::string FromUtf8Text(std::string_view utf8) const {
        std::string out;
        if (m_utf8 && FromUtf8(utf8, "utf-8", &out)) {
            return out;
        }
        return Utf8ToCodePage(utf8, m_codePage);
    }

private:
    uint32_t m_codePage;
    bool m_utf8 = false;
};

// With native text on code page 932 a text keeps its own encoding only when the desktop's
// Japanese converter is sure to recognise it: Shift_JIS, ISO-2022-JP (bodies only) or
// UTF-8. Everything else (EUC-JP, text that would be taken for another encoding) is
// converted to the code page here.
enum class NativeKind { NONE, UTF8, ISO2022JP, SHIFT_JIS };

NativeKind NativeKindOf(std::string_view charset) {
    std::string cs = Lower(charset);
    if (cs == "utf-8" || cs == "utf8") {
        return NativeKind::UTF8;
    }
    if (cs == "iso-2022-jp" || cs == "iso-2022-jp-2") {
        return NativeKind::ISO2022JP;
    }
    if (cs == "shift_jis" || cs == "windows-31j" || cs == "cp932" || cs == "sjis" ||
        cs == "x-sjis") {
        return NativeKind::SHIFT_JIS;
    }
    return NativeKind::NONE;
}

bool HasHighBytes(std::string_view bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) > 0x7F) {
            return true;
        }
    }
    return false;
}

bool IsUtf8(std::string_view bytes) {
    return g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr) != 0;
}

// Lead and trail bytes of code page 932 in their places, and no ESC: text the converter
// could take for Shift_JIS.
bool IsWellFormedShiftJis(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0x1B) {
            return false;
        }
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            if (i + 1 == bytes.size()) {
                return false;
            }
            const auto t = static_cast<unsigned char>(bytes[++i]);
            if (t < 0x40 || t == 0x7F || t > 0xFC) {
                return false;
            }
        }
    }
    return true;
}

// Whether `bytes`, labelled as `kind`, reach the converter as that encoding: UTF-8 that
// cannot pass for Shift_JIS, 7-bit ISO-2022-JP with its escapes, Shift_JIS that cannot
// pass for UTF-8.
bool KeepsNativeForm(std::string_view bytes, NativeKind kind) {
    switch (kind) {
        case NativeKind::UTF8:
            return IsUtf8(bytes) && !IsWellFormedShiftJis(bytes);
        case NativeKind::ISO2022JP:
            return bytes.find('\x1B') != std::string_view::npos && !HasHighBytes(bytes);
        case NativeKind::SHIFT_JIS:
            return IsWellFormedShiftJis(bytes) && !(HasHighBytes(bytes) && IsUtf8(bytes));
        case NativeKind::NONE:
            break;
    }
    return false;
}

std::string SafeDiskName(std::string_view utf8Name, size_t index, const char* extension) {
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
        out = "attachment" + std::to_string(index + 1) + extension;
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

struct FilePart {
    std::string name;  // UTF-8, as the sender named it
    std::string contents;
    bool html = false;
    bool dropped = false;  // became the note text instead
};

struct Walk {
    TextPart plain;                   // first inline text/plain
    std::vector<TextPart> morePlain;  // further inline text/plain parts
    TextPart html;                    // first inline text/html
    // Where the first inline text/html sits in `files`, when it is listed there; npos when
    // it belongs to a multipart/alternative (the plain text then stands for it).
    size_t htmlFile = std::string::npos;
    std::vector<FilePart> files;
    int depth = 0;
    int alternatives = 0;  // multipart/alternative parts around the current one
};

void AddPlain(Walk* walk, TextPart part) {
    if (!walk->plain.found) {
        walk->plain = std::move(part);
    } else {
        walk->morePlain.push_back(std::move(part));
    }
}

std::string ParameterOf(GMimeObject* object, const char* name) {
    const char* value = g_mime_object_get_content_type_parameter(object, name);
    return value != nullptr ? value : "";
}

// A Content-Type the parser could not read (GMime then says application/octet-stream),
// or one without a type or subtype ("text", "/plain"): such a part is plain text.
bool HasUnreadableContentType(GMimeObject* object, GMimeContentType* type) {
    const char* raw = g_mime_object_get_header(object, "Content-Type");
    if (raw == nullptr) {
        return false;
    }
    const char* mediaType = g_mime_content_type_get_media_type(type);
    const char* subtype = g_mime_content_type_get_media_subtype(type);
    if (mediaType == nullptr || *mediaType == '\0' || subtype == nullptr || *subtype == '\0') {
        return true;
    }
    if (!g_mime_content_type_is_type(type, "application", "octet-stream")) {
        return false;
    }
    std::string_view value(raw);
    while (!value.empty() && g_ascii_isspace(value.front())) {
        value.remove_prefix(1);
    }
    return Lower(value.substr(0, 24)) != "application/octet-stream";
}

// The charset of a part whose Content-Type was unreadable: from the parameters after the
// first ';', if they can be read.
std::string CharsetOfUnreadable(GMimeObject* object) {
    std::string charset = ParameterOf(object, "charset");
    const char* raw = g_mime_object_get_header(object, "Content-Type");
    const char* semicolon = raw != nullptr ? std::strchr(raw, ';') : nullptr;
    if (!charset.empty() || semicolon == nullptr) {
        return charset;
    }
    GMimeParamList* params = g_mime_param_list_parse(nullptr, semicolon + 1);
    if (params != nullptr) {
        int count = g_mime_param_list_length(params);
        for (int i = 0; i < count; ++i) {
            GMimeParam* param = g_mime_param_list_get_parameter_at(params, i);
            const char* name = g_mime_param_get_name(param);
            const char* value = g_mime_param_get_value(param);
            if (name != nullptr && value != nullptr && g_ascii_strcasecmp(name, "charset") == 0) {
                charset = value;
                break;
            }
        }
        g_object_unref(params);
    }
    return charset;
}

void WalkObject(GMimeObject* object, Walk* walk) {
    if (object == nullptr || walk->depth > 64) {
        return;
    }
    ++walk->depth;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        int count = g_mime_multipart_get_count(multipart);
        if (count == 0) {
            // No boundary, a boundary the body never uses, or one cut short: the parser
            // found no parts and kept everything as the prologue. Mail readers show such
            // a message as one text.
            const char* prologue = g_mime_multipart_get_prologue(multipart);
            if (prologue != nullptr && *prologue != '\0') {
                AddPlain(walk, TextPart{true, prologue, ParameterOf(object, "charset")});
            }
        }
        GMimeContentType* type = g_mime_object_get_content_type(object);
        const bool alternative =
            type != nullptr && g_mime_content_type_is_type(type, "multipart", "alternative");
        walk->alternatives += alternative ? 1 : 0;
        for (int i = 0; i < count; ++i) {
            WalkObject(g_mime_multipart_get_part(multipart, i), walk);
        }
        walk->alternatives -= alternative ? 1 : 0;
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (inner != nullptr) {
            const char* subject = g_mime_message_get_subject(inner);
            std::string name = subject != nullptr && *subject != '\0' ? subject : "message";
            walk->files.push_back(FilePart{name + ".eml", ObjectToString(GMIME_OBJECT(inner))});
        }
    } else if (GMIME_IS_PART(object)) {
        GMimePart* part = GMIME_PART(object);
        GMimeContentType* type = g_mime_object_get_content_type(object);
        const bool unreadable = type != nullptr && HasUnreadableContentType(object, type);
        bool isText =
            unreadable || (type != nullptr && g_mime_content_type_is_type(type, "text", "plain"));
        bool isHtml = type != nullptr && g_mime_content_type_is_type(type, "text", "html");
        bool attachment = g_mime_part_is_attachment(part);
        std::string charset =
            unreadable ? CharsetOfUnreadable(object) : ParameterOf(object, "charset");
        const char* fileName = g_mime_part_get_filename(part);
        std::string name = fileName != nullptr ? fileName : "";
        if (!attachment && isText) {
            AddPlain(walk, TextPart{true, PartContent(part), charset});
        } else if (!attachment && isHtml) {
            std::string content = PartContent(part);
            const bool first = !walk->html.found;
            if (first) {
                walk->html = TextPart{true, content, charset};
            }
            // Outside a multipart/alternative an HTML part is content of its own: unless it
            // becomes the note text, it is listed like any other attachment.
            if (walk->alternatives == 0) {
                if (first) {
                    walk->htmlFile = walk->files.size();
                }
                walk->files.push_back(FilePart{name, std::move(content), true});
            }
        } else {
            walk->files.push_back(FilePart{name, PartContent(part)});
        }
    }
    --walk->depth;
}

// Header texts are gathered in UTF-8 and put into the output encoding at the end, once the
// note text has decided what that is.
void ReadAddressList(InternetAddressList* list, uint32_t recipClass,
                     std::vector<RecipientText>* out, int depth = 0) {
    if (list == nullptr || depth > 8) {
        return;
    }
    int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            ReadAddressList(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)),
                            recipClass, out, depth + 1);
            continue;
        }
        if (!INTERNET_ADDRESS_IS_MAILBOX(address)) {
            continue;
        }
        RecipientText r;
        r.recipClass = recipClass;
        const char* name = internet_address_get_name(address);
        const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
        r.name = name != nullptr ? FlattenHeader(ToUtf8(name, "utf-8")) : "";
        r.address = addr != nullptr ? FlattenHeader(ToUtf8(addr, "utf-8")) : "";
        if (r.name.empty() && r.address.empty()) {
            continue;
        }
        out->push_back(std::move(r));
    }
}

std::string DecodeHeaderText(const std::string& raw) {
    char* decoded = g_mime_utils_header_decode_text(nullptr, raw.c_str());
    std::string result = decoded != nullptr ? decoded : "";
    g_free(decoded);
    return ToUtf8(result, "utf-8");
}

// The name of an address header the address parser found nothing in: "MAILER DAEMON <>"
// (an empty address, as bounce messages have it) gives "MAILER DAEMON"; any other text is
// kept whole. UTF-8; "" when nothing is left.
std::string NameWithoutAddress(std::string_view raw) {
    std::string text = FlattenHeader(DecodeHeaderText(std::string(raw)));
    auto trim = [&] {
        size_t start = text.find_first_not_of(' ');
        size_t end = text.find_last_not_of(' ');
        text = start == std::string::npos ? "" : text.substr(start, end - start + 1);
    };
    trim();
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "<>") == 0) {
        text.resize(text.size() - 2);
        trim();
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        std::string unquoted;
        for (size_t i = 1; i + 1 < text.size(); ++i) {
            if (text[i] == '\\' && i + 2 < text.size()) {
                ++i;
            }
            unquoted.push_back(text[i]);
        }
        text = std::move(unquoted);
        trim();
    }
    return text;
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

void SetDate(int64_t date, const ReadOptions& options, IncomingMessage* out) {
    if (date == 0) {
        date = options.fallbackTime;
    }
    if (date != 0) {
        out->date = date;
        out->dateText = FormatMapiDate(date);
        out->hasDate = !out->dateText.empty();
    }
}

// Puts the UTF-8 header texts into the output encoding.
void EncodeHeaders(const COutputEncoding& enc, IncomingMessage* out) {
    out->subject = enc.FromUtf8Text(out->subject);
    auto encode = [&](RecipientText* r) {
        r->name = enc.FromUtf8Text(r->name);
        r->address = enc.FromUtf8Text(r->address);
    };
    if (out->hasOriginator) {
        encode(&out->originator);
    }
    for (RecipientText& r : out->recips) {
        encode(&r);
    }
    for (AttachmentData& a : out->attachments) {
        a.fileName = enc.FromUtf8Text(a.fileName);
    }
}

void ParseFallback(std::string_view bytes, const ReadOptions& options, IncomingMessage* out) {
    COutputEncoding enc(options.codePage);
    std::vector<std::pair<std::string, std::string>> headers;
    size_t bodyStart = ParseRawHeaders(bytes, &headers);
    int64_t date = 0;
    for (const auto& [name, value] : headers) {
        std::string key = Lower(name);
        if (key == "subject" && out->subject.empty()) {
            out->subject = FlattenHeader(DecodeHeaderText(value));
        } else if (key == "from" || key == "to" || key == "cc" || key == "bcc") {
            GPtr<InternetAddressList> list(internet_address_list_parse(nullptr, value.c_str()));
            uint32_t cls = key == "from" ? MAPI_ORIG
                           : key == "to" ? MAPI_TO
                           : key == "cc" ? MAPI_CC
                                         : MAPI_BCC;
            std::vector<RecipientText> found;
            ReadAddressList(list.get(), cls, &found);
            if (found.empty()) {
                // An address the parser could not take apart: keep its text as the name.
                std::string text = NameWithoutAddress(value);
                if (!text.empty()) {
                    found.push_back(RecipientText{cls, std::move(text), ""});
                }
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
    SetDate(date, options, out);
    EncodeHeaders(enc, out);
    if (!options.envelopeOnly && bodyStart < bytes.size()) {
        out->noteText = ToCrLf(enc.FromUtf8Text(ToUtf8(bytes.substr(bodyStart), "")));
    }
}

// Collects the offsets of header lines the parser rejected as header lines.
void NoteParserWarning(gint64 offset, GMimeParserWarning code, const gchar* /*item*/,
                       gpointer data) {
    if (code == GMIME_CRIT_INVALID_HEADER_NAME && offset >= 0) {
        static_cast<std::vector<gint64>*>(data)->push_back(offset);
    }
}

GMimeMessage* ConstructMessage(std::string_view bytes, std::vector<gint64>* badHeaderLines) {
    std::unique_ptr<GMimeParserOptions, void (*)(GMimeParserOptions*)> options(
        g_mime_parser_options_new(), g_mime_parser_options_free);
    g_mime_parser_options_set_warning_callback(options.get(), NoteParserWarning, badHeaderLines);
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    return g_mime_parser_construct_message(parser.get(), options.get());
}

// Parses the message. A header block that is not ended by an empty line (the text starts
// right after the last header, or the message ends there) makes the parser drop that text
// as broken header lines: an empty line is put before the first line that is no header,
// so that the text from there on is the body, and the message is parsed again. An mbox
// "From " line is not taken for the body.
GMimeMessage* ConstructRepairedMessage(std::string_view bytes, std::string* repaired) {
    constexpr int MAX_REPAIRS = 16;  // header blocks mended in one message
    std::string_view current = bytes;
    for (int round = 0;; ++round) {
        std::vector<gint64> badLines;
        GMimeMessage* message = ConstructMessage(current, &badLines);
        if (message == nullptr || round == MAX_REPAIRS) {
            return message;
        }
        size_t at = std::string::npos;
        for (gint64 offset : badLines) {
            auto pos = static_cast<size_t>(offset);
            if (pos < current.size() && (pos == 0 || current[pos - 1] == '\n') &&
                current.compare(pos, 5, "From ") != 0 && pos < at) {
                at = pos;
            }
        }
        if (at == std::string::npos) {
            return message;
        }
        g_object_unref(message);
        const bool crlf = at >= 2 && current[at - 2] == '\r';
        std::string next;
        next.reserve(current.size() + 2);
        next.append(current.substr(0, at));
        next.append(crlf ? "\r\n" : "\n");
        next.append(current.substr(at));
        *repaired = std::move(next);
        current = *repaired;
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
    std::string repaired;
    GPtr<GMimeMessage> message(ConstructRepairedMessage(bytes, &repaired));
    if (!message) {
        ParseFallback(bytes, options, out);
        return;
    }
    GMimeObject* object = GMIME_OBJECT(message.get());

    Walk walk;
    if (!options.envelopeOnly) {
        WalkObject(g_mime_message_get_mime_part(message.get()), &walk);
    }

    const char* subject = g_mime_message_get_subject(message.get());
    if (subject != nullptr) {
        out->subject = FlattenHeader(ToUtf8(subject, "utf-8"));
    }
    std::vector<RecipientText> from;
    ReadAddressList(g_mime_message_get_from(message.get()), MAPI_ORIG, &from);
    if (from.empty()) {
        ReadAddressList(g_mime_message_get_sender(message.get()), MAPI_ORIG, &from);
    }
    if (from.empty()) {
        // An originator without an address ("MAILER DAEMON <>") still has its name.
        for (const char* header : {"From", "Sender"}) {
            const char* raw = g_mime_object_get_header(object, header);
            std::string name = raw != nullptr ? NameWithoutAddress(raw) : "";
            if (!name.empty()) {
                from.push_back(RecipientText{MAPI_ORIG, std::move(name), ""});
                break;
            }
        }
    }
    if (!from.empty()) {
        out->hasOriginator = true;
        out->originator = from.front();
    }
    ReadAddressList(g_mime_message_get_to(message.get()), MAPI_TO, &out->recips);
    ReadAddressList(g_mime_message_get_cc(message.get()), MAPI_CC, &out->recips);
    ReadAddressList(g_mime_message_get_bcc(message.get()), MAPI_BCC, &out->recips);

    int64_t date = 0;
    GDateTime* dt = g_mime_message_get_date(message.get());
    if (dt != nullptr) {
        date = g_date_time_to_unix(dt);
    }
    SetDate(date, options, out);
    out->receiptRequested =
        g_mime_object_get_header(object, "Disposition-Notification-To") != nullptr ||
        g_mime_object_get_header(object, "Return-Receipt-To") != nullptr;
    const char* messageId = g_mime_message_get_message_id(message.get());
    if (messageId != nullptr) {
        out->conversationId = FlattenHeader(messageId);
    }

    COutputEncoding enc(options.codePage);
    if (options.envelopeOnly) {
        EncodeHeaders(enc, out);
        return;
    }

    // The note text: the inline text/plain parts, else the first HTML part's text (which
    // then is no attachment).
    std::vector<TextPart> pieces;
    if (walk.plain.found) {
        pieces.push_back(std::move(walk.plain));
        for (TextPart& more : walk.morePlain) {
            pieces.push_back(std::move(more));
        }
    } else if (walk.html.found) {
        pieces.push_back(
            TextPart{true, HtmlToText(ToUtf8(walk.html.bytes, walk.html.charset)), "utf-8"});
        if (walk.htmlFile != std::string::npos) {
            walk.files[walk.htmlFile].dropped = true;
        }
    }
    auto join = [&](auto&& textOf) {
        std::string body;
        for (size_t i = 0; i < pieces.size(); ++i) {
            body += i == 0 ? "" : "\n\n";
            body += textOf(pieces[i]);
        }
        return body;
    };
    // Native text: the parts' own bytes when they all share one encoding that the desktop's
    // converter recognises; header texts then follow a UTF-8 note text when each of them
    // is sure to be read as UTF-8 too.
    bool native = false;
    std::string body;
    if (options.nativeText && options.codePage == 932 && !pieces.empty()) {
        NativeKind kind = NativeKindOf(pieces.front().charset);
        bool same = true;
        for (const TextPart& piece : pieces) {
            same = same && NativeKindOf(piece.charset) == kind;
        }
        if (kind != NativeKind::NONE && same) {
            body = join([](const TextPart& t) { return t.bytes; });
            native = KeepsNativeForm(body, kind);
        }
        if (native && kind == NativeKind::UTF8) {
            bool headersUtf8 = true;
            auto check = [&](const std::string& text) {
                headersUtf8 = headersUtf8 && (!HasHighBytes(text) || !IsWellFormedShiftJis(text));
            };
            check(out->subject);
            if (out->hasOriginator) {
                check(out->originator.name);
                check(out->originator.address);
            }
            for (const RecipientText& r : out->recips) {
                check(r.name);
                check(r.address);
            }
            if (headersUtf8) {
                enc.UseUtf8();
            }
        }
    }
    if (!native) {
        body =
            join([&](const TextPart& t) { return enc.FromUtf8Text(ToUtf8(t.bytes, t.charset)); });
    }
    out->noteText = ToCrLf(body);
    for (size_t i = 0; i < walk.files.size(); ++i) {
        FilePart& file = walk.files[i];
        if (file.dropped) {
            continue;
        }
        AttachmentData a;
        a.fileName = FlattenHeader(ToUtf8(file.name, "utf-8"));
        a.diskName = SafeDiskName(file.name, out->attachments.size(), file.html ? ".html" : ".bin");
        a.data = std::move(file.contents);
        out->attachments.push_back(std::move(a));
    }
    EncodeHeaders(enc, out);
}

}  // namespace mapi

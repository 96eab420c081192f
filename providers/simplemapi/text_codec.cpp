// Charset and line-end conversion, and HTML to text.
#include "providers/simplemapi/text_codec.h"

#include <glib.h>

#include <cctype>
#include <string>

namespace mapi {

std::string CharsetOfCodePage(uint32_t codePage) {
    switch (codePage) {
        case 932:
            return "CP932";
        case 936:
            return "GBK";
        case 949:
            return "CP949";
        case 950:
            return "BIG5";
        case 65001:
            return "UTF-8";
        default:
            return "CP" + std::to_string(codePage);
    }
}

namespace {

std::string MakeValidUtf8(std::string_view bytes) {
    gchar* valid = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    std::string result(valid);
    g_free(valid);
    return result;
}

// g_convert with the whole input, or nullopt-like false when the conversion fails.
bool Convert(std::string_view in, const char* to, const char* from, std::string* out) {
    gsize written = 0;
    GError* error = nullptr;
    gchar* converted =
        g_convert(in.data(), static_cast<gssize>(in.size()), to, from, nullptr, &written, &error);
    if (converted == nullptr) {
        g_clear_error(&error);
        return false;
    }
    out->assign(converted, written);
    g_free(converted);
    return true;
}

std::string LowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return r;
}

}  // namespace

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    std::string cs = LowerAscii(charset);
    if (cs.empty() || cs == "utf-8" || cs == "utf8" || cs == "us-ascii" || cs == "ascii") {
        if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) {
            return std::string(bytes);
        }
        cs = "windows-1252";
    }
    // Mail labelled ISO-8859-1 is in practice often windows-1252; the latter is a superset
    // of the printable part of the former.
    if (cs == "iso-8859-1" || cs == "latin1" || cs == "iso_8859-1") {
        cs = "windows-1252";
    }
    std::string out;
    if (Convert(bytes, "UTF-8", cs.c_str(), &out)) {
        return MakeValidUtf8(out);
    }
    // Unknown charset or bytes invalid in it: convert what is valid, byte by byte fallback.
    if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) {
        return std::string(bytes);
    }
    if (Convert(bytes, "UTF-8", "windows-1252", &out)) {
        return MakeValidUtf8(out);
    }
    return MakeValidUtf8(bytes);
}

bool FromUtf8(std::string_view utf8, std::string_view charset, std::string* out) {
    out->clear();
    std::string valid = MakeValidUtf8(utf8);
    std::string cs(charset);
    if (LowerAscii(cs) == "utf-8") {
        *out = std::move(valid);
        return true;
    }
    gsize written = 0;
    GError* error = nullptr;
    gchar* converted = g_convert_with_fallback(valid.data(), static_cast<gssize>(valid.size()),
                                               cs.c_str(), "UTF-8", "?", nullptr, &written, &error);
    if (converted == nullptr) {
        g_clear_error(&error);
        return false;
    }
    out->assign(converted, written);
    g_free(converted);
    return true;
}

std::string Utf8ToCodePage(std::string_view utf8, uint32_t codePage) {
    std::string out;
    if (FromUtf8(utf8, CharsetOfCodePage(codePage), &out)) {
        return out;
    }
    // A code page without a converter: keep ASCII, '?' for the rest.
    std::string ascii;
    std::string valid = MakeValidUtf8(utf8);
    for (const char* p = valid.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
        gunichar c = g_utf8_get_char(p);
        ascii.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return ascii;
}

std::string CodePageToUtf8(std::string_view text, uint32_t codePage) {
    return ToUtf8(text, CharsetOfCodePage(codePage));
}

std::string ToCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string ToLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string FlattenHeader(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return out;
}

namespace {

void AppendUnichar(std::string* out, gunichar c) {
    if (c == 0 || !g_unichar_validate(c)) {
        c = 0xFFFD;
    }
    char buf[8];
    int n = g_unichar_to_utf8(c, buf);
    out->append(buf, static_cast<size_t>(n));
}

// Decodes the character reference starting at html[pos] ('&'); appends it and returns the
// length consumed, or 0 when it is not a reference we know.
size_t DecodeReference(std::string_view html, size_t pos, std::string* out) {
    size_t end = html.find(';', pos);
    if (end == std::string_view::npos || end - pos > 10) {
        return 0;
    }
    std::string_view name = html.substr(pos + 1, end - pos - 1);
    if (name.size() >= 2 && name[0] == '#') {
        gunichar value = 0;
        bool hex = name[1] == 'x' || name[1] == 'X';
        std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) {
            return 0;
        }
        for (char d : digits) {
            int v = hex ? g_ascii_xdigit_value(d) : g_ascii_digit_value(d);
            if (v < 0) {
                return 0;
            }
            value = value * (hex ? 16 : 10) + static_cast<gunichar>(v);
            if (value > 0x10FFFF) {
                value = 0xFFFD;
            }
        }
        AppendUnichar(out, value);
        return end - pos + 1;
    }
    static const struct {
        const char* name;
        gunichar value;
    } kEntities[] = {{"amp", '&'},       {"lt", '<'},       {"gt", '>'},       {"quot", '"'},
                     {"apos", '\''},     {"nbsp", ' '},     {"copy", 0xA9},    {"reg", 0xAE},
                     {"hellip", 0x2026}, {"mdash", 0x2014}, {"ndash", 0x2013}, {"euro", 0x20AC},
                     {"laquo", 0xAB},    {"raquo", 0xBB},   {"rsquo", 0x2019}, {"lsquo", 0x2018},
                     {"rdquo", 0x201D},  {"ldquo", 0x201C}, {"bull", 0x2022},  {"middot", 0xB7}};
    for (const auto& e : kEntities) {
        if (name == e.name) {
            AppendUnichar(out, e.value);
            return end - pos + 1;
        }
    }
    return 0;
}

bool IsBlockTag(const std::string& tag) {
    static const char* const kBlocks[] = {"p",  "div",   "br",         "tr",  "h1", "h2",
                                          "h3", "h4",    "h5",         "h6",  "ul", "ol",
                                          "li", "table", "blockquote", "pre", "hr", "title"};
    for (const char* b : kBlocks) {
        if (tag == b) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string HtmlToText(std::string_view html) {
    std::string out;
    std::string href;
    bool pendingSpace = false;
    bool inPre = false;
    // Ends the current line; `blank` also leaves one empty line (paragraphs). Never more
    // than one empty line in a row, none at the start.
    auto newline = [&](bool blank) {
        while (!out.empty() && out.back() == ' ') {
            out.pop_back();
        }
        pendingSpace = false;
        if (out.empty()) {
            return;
        }
        if (out.back() != '\n') {
            out.push_back('\n');
        }
        if (blank && (out.size() < 2 || out[out.size() - 2] != '\n')) {
            out.push_back('\n');
        }
    };
    size_t i = 0;
    while (i < html.size()) {
        char c = html[i];
        if (c == '<') {
            if (html.substr(i, 4) == "<!--") {
                size_t end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            size_t end = html.find('>', i + 1);
            if (end == std::string_view::npos) {
                break;
            }
            std::string_view body = html.substr(i + 1, end - i - 1);
            bool closing = !body.empty() && body[0] == '/';
            size_t nameStart = closing ? 1 : 0;
            size_t nameEnd = nameStart;
            while (nameEnd < body.size() && (g_ascii_isalnum(body[nameEnd]))) {
                ++nameEnd;
            }
            std::string tag(body.substr(nameStart, nameEnd - nameStart));
            for (char& t : tag) {
                t = g_ascii_tolower(t);
            }
            i = end + 1;
            if (!closing && (tag == "script" || tag == "style")) {
                std::string close = "</" + tag;
                size_t j = i;
                for (; j < html.size(); ++j) {
                    if (html[j] == '<' &&
                        g_ascii_strncasecmp(html.data() + j, close.c_str(), close.size()) == 0) {
                        break;
                    }
                }
                size_t gt = html.find('>', j);
                i = gt == std::string_view::npos ? html.size() : gt + 1;
                continue;
            }
            if (tag == "pre") {
                inPre = !closing;
            }
            if (tag == "a") {
                if (!closing) {
                    href.clear();
                    size_t h = std::string_view::npos;
                    for (size_t k = 0; k + 5 <= body.size(); ++k) {
                        if (g_ascii_strncasecmp(body.data() + k, "href=", 5) == 0) {
                            h = k + 5;
                            break;
                        }
                    }
                    if (h != std::string_view::npos && h < body.size()) {
                        char quote = body[h];
                        size_t start = (quote == '"' || quote == '\'') ? h + 1 : h;
                        size_t stop = start;
                        while (stop < body.size() &&
                               (quote == '"' || quote == '\'' ? body[stop] != quote
                                                              : !g_ascii_isspace(body[stop]))) {
                            ++stop;
                        }
                        href = std::string(body.substr(start, stop - start));
                    }
                } else if (!href.empty() && href.rfind("mailto:", 0) != 0 &&
                           href.rfind('#', 0) != 0) {
                    out += " <" + href + ">";
                    href.clear();
                }
                continue;
            }
            if (tag == "br") {
                while (!out.empty() && out.back() == ' ') {
                    out.pop_back();
                }
                out.push_back('\n');
                pendingSpace = false;
            } else if (IsBlockTag(tag)) {
                newline(tag == "p" || tag == "blockquote" || tag == "table" || tag == "pre");
                if (tag == "li" && !closing) {
                    out += "* ";
                }
            } else if (tag == "td" || tag == "th") {
                pendingSpace = true;
            }
            continue;
        }
        if (c == '&') {
            std::string decoded;
            size_t used = DecodeReference(html, i, &decoded);
            if (used > 0) {
                if (pendingSpace && !out.empty() && out.back() != '\n') {
                    out.push_back(' ');
                }
                pendingSpace = false;
                out += decoded;
                i += used;
                continue;
            }
        }
        if (!inPre && (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f')) {
            pendingSpace = true;
            ++i;
            continue;
        }
        if (inPre && c == '\r') {
            ++i;
            continue;
        }
        if (pendingSpace && !out.empty() && out.back() != '\n') {
            out.push_back(' ');
        }
        pendingSpace = false;
        out.push_back(c);
        ++i;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

}  // namespace mapi

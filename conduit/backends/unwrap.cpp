// Joining the hard line breaks inside paragraphs of incoming note text.
//
// The output is grown as needed: a bare CR after a full stop becomes two spaces (one byte
// more per joined line), so the result may be longer than the input. Every look-ahead stops
// at the end of the text.
#include "conduit/backends/unwrap.h"

#include <cctype>
#include <cstring>

namespace torrim {
namespace {

// The text up to its first NUL: what a C string of the mail system holds.
std::string_view UpToNul(std::string_view text) {
    const void* nul = std::memchr(text.data(), '\0', text.size());
    return nul == nullptr
               ? text
               : text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()));
}

bool IsSpace(unsigned char c) {
    return std::isspace(c) != 0;
}

// Whether the byte after a line break shows that the next line starts something new
// (a list item, a quotation, a number) rather than continuing the paragraph.
bool StartsNewLine(unsigned char c) {
    return c == '\0' || c == '\r' || c == '\n' || std::isdigit(c) != 0 || std::ispunct(c) != 0;
}

// Code page 932 byte classes.
bool IsLead932(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsTrail932(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
bool IsSpace932(unsigned code) {
    return code == 0x8140 || (code < 0x100 && IsSpace(static_cast<unsigned char>(code)));
}

}  // namespace

std::string UnwrapText(std::string_view input) {
    const std::string_view text = UpToNul(input);
    const size_t n = text.size();
    auto at = [&](size_t i) -> unsigned char {
        return i < n ? static_cast<unsigned char>(text[i]) : '\0';
    };
    std::string out;
    out.reserve(n + n / 32 + 1);
    size_t lineMark = 0;
    size_t i = 0;
    while (i < n) {
        // Everything up to the next CR is copied as it stands.
        const void* cr = std::memchr(text.data() + i, '\r', n - i);
        const size_t stop =
            cr == nullptr ? n : static_cast<size_t>(static_cast<const char*>(cr) - text.data());
        out.append(text.data() + i, stop - i);
        i = stop;
        if (i == n) {
            break;
        }
        size_t next = i;  // where copying goes on: the CR itself while the break stays
        if (i - lineMark > UNWRAP_MIN_LINE && n - i > 2) {
            size_t j = i + 1;
            if (at(j) == '\n') {
                ++j;
            }
            // An empty line, or nothing after the break, keeps it.
            if (at(j) != '\r' && at(j) != '\0') {
                size_t k = j + 1;
                while (at(k) == ' ') {
                    ++k;
                }
                if (!StartsNewLine(at(k))) {
                    while (!out.empty() && IsSpace(static_cast<unsigned char>(out.back()))) {
                        out.pop_back();
                    }
                    if (!out.empty() && out.back() == '.') {
                        out.push_back(' ');
                    }
                    out.push_back(' ');
                    next = k - 1;
                }
            }
        }
        out.push_back(text[next]);
        lineMark = next;
        i = next + 1;
    }
    return out;
}

int CharClass932(unsigned code) {
    if (code < 0x100) {
        if (code == '.' || code == ',' || (code >= 'A' && code <= 'Z') ||
            (code >= 'a' && code <= 'z')) {
            return 1;
        }
        return code >= 0xA1 && code <= 0xDF ? 2 : 0;
    }
    const unsigned trail = code & 0xFF;
    if (!IsTrail932(static_cast<unsigned char>(trail))) {
        return 0;
    }
    const bool hiragana = code >= 0x829F && code <= 0x82F1;
    const bool katakana = code >= 0x8340 && code <= 0x8396 && code != 0x837F;
    const bool symbol = code >= 0x8141 && code <= 0x81AC && code != 0x817F;
    const bool kanji1 = code >= 0x889F && code <= 0x9872;
    const bool kanji2 = code >= 0x989F && code <= 0xEA9E;
    return hiragana || katakana || symbol || kanji1 || kanji2 ? 2 : 0;
}

std::string UnwrapText932(std::string_view input) {
    const std::string_view text = UpToNul(input);
    const size_t n = text.size();
    std::string out;
    out.reserve(n + n / 16 + 1);

    constexpr size_t NONE = std::string::npos;
    bool atLineStart = true;
    size_t pendingSpace = NONE;  // output position where trailing white space began
    unsigned lastChar = 0;       // code of the line's last non-space character
    int previousClass = 0;       // class of the last character of the previous long line
    bool previousFullStop = false;
    size_t lineBegin = 0;  // input position of the line's first non-space character

    size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == '\r') {
            if (pendingSpace != NONE) {
                out.resize(pendingSpace);
            }
            out += "\r\n";
            const bool longLine = i + 1 - lineBegin > UNWRAP_MIN_LINE;
            previousClass = longLine && lastChar != 0 ? CharClass932(lastChar) : 0;
            previousFullStop = lastChar == '.';
            ++i;
            if (i < n && text[i] == '\n') {
                ++i;
            }
            atLineStart = true;
            pendingSpace = NONE;
            lastChar = 0;
            lineBegin = i;
            continue;
        }
        size_t length = 1;
        unsigned code = b;
        if (IsLead932(b) && i + 1 < n && IsTrail932(static_cast<unsigned char>(text[i + 1]))) {
            length = 2;
            code = b * 256u + static_cast<unsigned char>(text[i + 1]);
        }
        const bool space = IsSpace932(code);
        if (atLineStart) {
            if (space) {
                i += length;
                lineBegin = i;
                continue;
            }
            atLineStart = false;
            const int cls = CharClass932(code);
            const bool afterBreak = !out.empty() && out.back() == '\n';
            if (afterBreak && previousClass == 1 && cls == 1) {
                out.back() = ' ';
                if (previousFullStop) {
                    out.push_back(' ');
                }
            } else if (afterBreak && previousClass == 2 && cls == 2) {
                out.pop_back();
            }
            lastChar = code;
        } else if (space) {
            if (pendingSpace == NONE) {
                pendingSpace = out.size();
            }
        } else {
            pendingSpace = NONE;
            lastChar = code;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace torrim

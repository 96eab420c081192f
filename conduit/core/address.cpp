// Address text operations. Every search walks characters from the start of the text so
// that trail bytes of double-byte characters (which may equal "@", "[" or a letter) are
// never taken for characters of their own.
#include "conduit/core/address.h"

#include "conduit/core/message.h"
#include "platform/code_page.h"

namespace torrim {
namespace {

constexpr std::string_view LIST_SEPARATORS = "\r\n,;";
constexpr size_t npos = std::string_view::npos;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

// Case-sensitive search that matches only at character boundaries.
size_t FindMb(std::string_view hay, std::string_view needle, size_t from = 0) {
    if (needle.empty()) {
        return from <= hay.size() ? from : npos;
    }
    for (size_t pos = from; pos < hay.size(); pos += platform::CharLengthAt(hay, pos)) {
        if (hay.compare(pos, needle.size(), needle) == 0) {
            return pos;
        }
    }
    return npos;
}

// The text between the first "<" and the next ">" (to the end when there is no ">").
std::string_view BetweenAngles(std::string_view text) {
    const size_t open = platform::FindCharMb(text, '<');
    if (open == npos) {
        return text;
    }
    const size_t close = platform::FindCharMb(text, '>', open + 1);
    return text.substr(open + 1, close == npos ? npos : close - open - 1);
}

// The name given in parentheses: the text after the first "(", trimmed, without a closing
// ")"; an address in angle brackets inside it is taken alone.
std::string_view NameInParentheses(std::string_view text) {
    const size_t open = platform::FindCharMb(text, '(');
    if (open == npos) {
        return text;
    }
    std::string_view inner = TrimText(text.substr(open + 1));
    if (!inner.empty() && inner.back() == ')') {
        inner.remove_suffix(1);
    }
    if (HasAtSign(inner) && platform::FindCharMb(inner, '<') != npos) {
        inner = BetweenAngles(inner);
    }
    return inner;
}

}  // namespace

std::string_view TrimText(std::string_view text) {
    return TrimLeft(TrimRight(text));
}

namespace {

// The separator that ends the first item of `rest`, npos when it runs to the end. A
// display name may hold a comma or semicolon ("jane@y.com (Doe, Jane)", "\"Doe, Jane\"
// <jane@y.com>"), so none ends the item inside parentheses (nested) or a quoted name: a
// double-quoted text anywhere outside parentheses, with backslash escapes, or a
// single-quoted one that opens the item (an apostrophe inside a word opens nothing). A
// line end always ends the item. A group still open at the line end was typed unbalanced
// and groups nothing: the item then ends at its first separator.
size_t ItemEnd(std::string_view rest) {
    const size_t start = rest.size() - TrimLeft(rest).size();
    int depth = 0;
    char quote = 0;
    for (size_t pos = start; pos < rest.size(); pos += platform::CharLengthAt(rest, pos)) {
        const char c = rest[pos];
        if (c == '\r' || c == '\n') {
            if (depth == 0 && quote == 0) {
                return pos;
            }
            break;
        }
        if (quote != 0) {
            if (c == '\\' && quote == '"' && pos + 1 < rest.size()) {
                ++pos;  // the escaped character is skipped by the step
            } else if (c == quote) {
                quote = 0;
            }
        } else if (depth > 0) {
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                --depth;
            }
        } else if (c == ',' || c == ';') {
            return pos;
        } else if (c == '(') {
            depth = 1;
        } else if (c == '"' || (c == '\'' && pos == start)) {
            quote = c;
        }
    }
    if (depth == 0 && quote == 0) {
        return npos;
    }
    return platform::FindFirstOfMb(rest, LIST_SEPARATORS);
}

// The list walk on a view: `list` is advanced past the item, so a long list is walked
// without copying its rest again for every item.
std::string_view TakeListItemView(std::string_view& list) {
    std::string_view rest = TrimRight(list);
    while (!rest.empty() && LIST_SEPARATORS.find(rest.front()) != npos) {
        rest = TrimLeft(rest.substr(1));
    }
    const size_t separator = ItemEnd(rest);
    list = separator == npos ? std::string_view() : rest.substr(separator + 1);
    return TrimText(rest.substr(0, separator));
}

}  // namespace

std::string TakeListItem(std::string& list) {
    std::string_view view(list);
    const std::string item(TakeListItemView(view));
    list = std::string(view);
    return item;
}

std::string AddressOf(std::string_view item) {
    const size_t open = platform::FindCharMb(item, '(');
    return platform::LowerMb(TrimText(item.substr(0, open)));
}

std::string DisplayNameOf(std::string_view item) {
    std::string_view name = item;
    const bool hasAt = HasAtSign(name);
    const bool hasAngle = platform::FindCharMb(name, '<') != npos;
    if (!hasAt || !hasAngle) {
        // Without "@", or with "@" but no "<": a name in parentheses when there is one,
        // else the item itself (for an address alone, the address is its own name).
        name = NameInParentheses(name);
    } else {
        const std::string_view before = TrimText(name.substr(0, platform::FindCharMb(name, '<')));
        name = before.empty() ? BetweenAngles(name) : before;
    }
    if (name.size() >= 2 && name.front() == '\'' && name.back() == '\'') {
        name = name.substr(1, name.size() - 2);
    }
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.substr(1, name.size() - 2);
    }
    return std::string(TrimText(name));
}

std::string ComposeAddress(std::string_view address, std::string_view name) {
    if (name.empty() || platform::CompareNoCaseMb(name, address) == 0) {
        return std::string(address);
    }
    std::string line;
    line.reserve(address.size() + name.size() + 3);
    line.append(address).append(" (").append(name).append(")");
    return line;
}

std::string JoinRecipients(const CMessage& message, int kind) {
    std::string field;
    uint32_t position = 0;
    bool first = true;
    while (auto recipient = message.m_pRecipients->NextOfKind(kind, &position)) {
        if (!first) {
            field.push_back('\n');
        }
        first = false;
        field += ComposeAddress(recipient->m_address, recipient->m_name);
    }
    return field;
}

void SplitRecipients(CMessage& message, std::string_view text, int field) {
    if (field < 0 || field > 2) {
        return;
    }
    // Empty items ("a@x, , b@y") are skipped; only the end of the list ends the walk, so no
    // recipient after an empty item is lost.
    std::string_view list = text;
    while (!list.empty()) {
        const std::string_view item = TakeListItemView(list);
        if (item.empty()) {
            continue;
        }
        message.AddRecipient(field + 1, DisplayNameOf(item), AddressOf(item));
    }
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    return platform::FindNoCaseMb(text, part) != npos;
}

bool HasAtSign(std::string_view text) {
    return platform::FindCharMb(text, '@') != npos;
}

std::string CleanAddress(std::string_view text, std::string_view atText) {
    if (!HasAtSign(text)) {
        return std::string(TrimText(text));
    }
    size_t prefix = FindMb(text, "smtp:");
    if (prefix == npos) {
        prefix = FindMb(text, "SMTP:");
    }
    if (prefix != npos) {
        text = text.substr(prefix + 5);
    }
    if (platform::FindCharMb(text, '<') != npos) {
        text = BetweenAngles(text);
    }
    const size_t open = platform::FindCharMb(text, '(');
    if (open != npos) {
        text = text.substr(0, open);
    }
    if (!atText.empty()) {
        const size_t at = FindMb(text, atText);
        if (at != npos) {
            const size_t sign = platform::FindCharMb(text, '@');
            if (sign != npos && sign < at) {
                text = text.substr(0, at);
            }
        }
    }
    return std::string(TrimText(text));
}

std::string DisplayNameFromNative(std::string_view text, std::string_view atText) {
    // Case folding keeps every byte in place, so positions found in the folded copy are
    // positions in the original.
    const std::string lower = platform::LowerMb(text);
    const std::string_view folded(lower);
    if (FindMb(folded, "ex:") != npos || FindMb(folded, "ms:") != npos) {
        size_t slash = npos;
        for (size_t pos = platform::FindCharMb(text, '/'); pos != npos;
             pos = platform::FindCharMb(text, '/', pos + 1)) {
            slash = pos;
        }
        return slash == npos ? std::string() : std::string(TrimText(text.substr(slash + 1)));
    }
    for (std::string_view prefix : {std::string_view("smtp:"), std::string_view("mhs:")}) {
        const size_t at = FindMb(folded, prefix);
        if (at != npos) {
            const std::string_view rest = text.substr(at + prefix.size());
            return std::string(TrimText(rest.substr(0, platform::FindCharMb(rest, '@'))));
        }
    }
    if (FindMb(folded, "x400:") != npos) {
        // "x400:c=US;a= ;p=Org;o=Site;s=Smith;g=John;" gives "John Smith".
        auto field = [&](std::string_view key) -> std::string_view {
            for (size_t pos = FindMb(folded, key); pos != npos;
                 pos = FindMb(folded, key, pos + 1)) {
                if (pos == 0 || folded[pos - 1] == ';' || folded[pos - 1] == ':') {
                    const std::string_view rest = text.substr(pos + key.size());
                    return TrimText(rest.substr(0, platform::FindCharMb(rest, ';')));
                }
            }
            return std::string_view();
        };
        const std::string_view given = field("g=");
        const std::string_view surname = field("s=");
        std::string name(given);
        if (!given.empty() && !surname.empty()) {
            name.push_back(' ');
        }
        name.append(surname);
        return name;
    }
    const size_t x500 = FindMb(folded, "x500:");
    if (x500 != npos) {
        const size_t cn = FindMb(folded, "cn=", x500);
        if (cn == npos) {
            return std::string();
        }
        const std::string_view rest = text.substr(cn + 3);
        return std::string(TrimText(rest.substr(0, platform::FindCharMb(rest, '/'))));
    }
    if (!atText.empty()) {
        const size_t at = FindMb(folded, platform::LowerMb(atText));
        const size_t sign = platform::FindCharMb(text, '@');
        if (at != npos && sign != npos && sign < at) {
            // "john@example.com at Internet" gives the mailbox part "john".
            return std::string(TrimText(text.substr(0, sign)));
        }
    }
    return std::string();
}

}  // namespace torrim

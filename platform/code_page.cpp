// The process's ANSI code page, lead-byte classes and multi-byte aware case operations.
#include "platform/code_page.h"

#include <atomic>
#include <cstdlib>

namespace platform {
namespace {

constexpr uint32_t DEFAULT_CODE_PAGE = 1252;
std::atomic<uint32_t> g_codePage{0};  // 0 = not read from the environment yet

uint32_t CodePageFromEnvironment() {
    const char* v = std::getenv("TETHER_CODEPAGE");
    if (v == nullptr || *v == '\0')
        return DEFAULT_CODE_PAGE;
    char* end = nullptr;
    unsigned long n = std::strtoul(v, &end, 10);
    if (*end != '\0' || n == 0 || n > 65535)
        return DEFAULT_CODE_PAGE;
    return static_cast<uint32_t>(n);
}

uint8_t LowerByte(uint32_t cp, uint8_t b) {
    if (b >= 'A' && b <= 'Z')
        return static_cast<uint8_t>(b + 0x20);
    if (cp == 1252) {
        if (b >= 0xC0 && b <= 0xDE && b != 0xD7)
            return static_cast<uint8_t>(b + 0x20);
        if (b == 0x8A || b == 0x8C || b == 0x8E)
            return static_cast<uint8_t>(b + 0x10);
        if (b == 0x9F)
            return 0xFF;
    }
    return b;
}

uint8_t UpperByte(uint32_t cp, uint8_t b) {
    if (b >= 'a' && b <= 'z')
        return static_cast<uint8_t>(b - 0x20);
    if (cp == 1252) {
        if (b >= 0xE0 && b <= 0xFE && b != 0xF7)
            return static_cast<uint8_t>(b - 0x20);
        if (b == 0x9A || b == 0x9C || b == 0x9E)
            return static_cast<uint8_t>(b - 0x10);
        if (b == 0xFF)
            return 0x9F;
    }
    return b;
}

// Folds one character of text starting at i into out; returns its length.
size_t FoldChar(uint32_t cp, std::string_view text, size_t i, bool lower, std::string& out) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (IsLeadByteOf(cp, b) && i + 1 < text.size()) {
        uint8_t t = static_cast<uint8_t>(text[i + 1]);
        // Full-width Latin letters of code page 932: A-Z 0x8260-0x8279, a-z 0x8281-0x829A.
        if (cp == 932 && b == 0x82) {
            if (lower && t >= 0x60 && t <= 0x79)
                t = static_cast<uint8_t>(t + 0x21);
            if (!lower && t >= 0x81 && t <= 0x9A)
                t = static_cast<uint8_t>(t - 0x21);
        }
        out.push_back(static_cast<char>(b));
        out.push_back(static_cast<char>(t));
        return 2;
    }
    out.push_back(static_cast<char>(lower ? LowerByte(cp, b) : UpperByte(cp, b)));
    return 1;
}

std::string Fold(std::string_view text, bool lower) {
    uint32_t cp = ActiveCodePage();
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();)
        i += FoldChar(cp, text, i, lower, out);
    return out;
}

}  // namespace

uint32_t ActiveCodePage() {
    uint32_t cp = g_codePage.load(std::memory_order_relaxed);
    if (cp == 0) {
        cp = CodePageFromEnvironment();
        uint32_t expected = 0;
        if (!g_codePage.compare_exchange_strong(expected, cp))
            cp = expected;
    }
    return cp;
}

void SetActiveCodePage(uint32_t codePage) {
    g_codePage.store(codePage == 0 ? DEFAULT_CODE_PAGE : codePage);
}

bool IsLeadByteOf(uint32_t codePage, uint8_t byte) {
    switch (codePage) {
        case 932:
            return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return false;
    }
}

bool IsLeadByte(uint8_t byte) {
    return IsLeadByteOf(ActiveCodePage(), byte);
}

size_t CharLengthAt(std::string_view text, size_t pos) {
    if (IsLeadByte(static_cast<uint8_t>(text[pos])) && pos + 1 < text.size())
        return 2;
    return 1;
}

size_t ValidCutLength(std::string_view text, size_t limit) {
    size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    size_t i = 0;
    while (i < text.size()) {
        size_t next = i + CharLengthAt(text, i);
        if (next > limit)
            break;
        i = next;
    }
    return i;
}

std::string LowerMb(std::string_view text) {
    return Fold(text, true);
}

std::string UpperMb(std::string_view text) {
    return Fold(text, false);
}

int CompareNoCaseMb(std::string_view a, std::string_view b) {
    std::string la = LowerMb(a);
    std::string lb = LowerMb(b);
    int c = la.compare(lb);
    // std::string::compare uses char_traits<char>, which compares as unsigned char.
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

size_t FindNoCaseMb(std::string_view hay, std::string_view needle) {
    if (needle.empty())
        return 0;
    // Folding keeps byte lengths and character boundaries, so positions carry over.
    std::string h = LowerMb(hay);
    std::string n = LowerMb(needle);
    for (size_t i = 0; i < h.size(); i += CharLengthAt(hay, i)) {
        if (h.compare(i, n.size(), n) == 0)
            return i;
    }
    return std::string_view::npos;
}

size_t FindCharMb(std::string_view text, char c, size_t from) {
    for (size_t i = from; i < text.size(); i += CharLengthAt(text, i)) {
        if (CharLengthAt(text, i) == 1 && text[i] == c)
            return i;
    }
    return std::string_view::npos;
}

size_t FindFirstOfMb(std::string_view text, std::string_view set, size_t from) {
    for (size_t i = from; i < text.size(); i += CharLengthAt(text, i)) {
        if (CharLengthAt(text, i) == 1 && set.find(text[i]) != std::string_view::npos)
            return i;
    }
    return std::string_view::npos;
}

}  // namespace platform

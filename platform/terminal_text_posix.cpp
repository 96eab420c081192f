// Terminal character set conversions with the C library's iconv.
#include "platform/terminal_text.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <strings.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/code_page.h"

namespace platform {
namespace {

std::string CodePageName(uint32_t codePage) {
    return "CP" + std::to_string(codePage);
}

// Converts all of `text`; `lossy` replaces what the target cannot hold with '?'.
bool Convert(std::string_view text, const std::string& from, const std::string& to, bool lossy,
             std::string* out) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out->clear();
    std::string buffer(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    bool ok = true;
    while (inLeft > 0) {
        char* dst = buffer.data();
        size_t dstLeft = buffer.size();
        size_t r = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out->append(buffer.data(), buffer.size() - dstLeft);
        if (r != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        if (errno == EILSEQ && lossy) {
            // Skip one whole UTF-8 character of the source and write '?'.
            size_t skip = 1;
            while (skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80)
                ++skip;
            in += skip;
            inLeft -= skip;
            out->push_back('?');
            continue;
        }
        ok = false;
        break;
    }
    iconv_close(cd);
    return ok;
}

}  // namespace

bool TerminalUsesUtf8() {
    static const bool utf8 = [] {
        locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
        if (loc == static_cast<locale_t>(0))
            return false;
        const char* codeset = nl_langinfo_l(CODESET, loc);
        bool result = codeset != nullptr &&
                      (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0);
        freelocale(loc);
        return result;
    }();
    return utf8;
}

std::string AnsiToTerminal(std::string_view text) {
    std::string out;
    if (!TerminalUsesUtf8() || !Convert(text, CodePageName(ActiveCodePage()), "UTF-8", false, &out))
        return std::string(text);
    return out;
}

std::string TerminalToAnsi(std::string_view text) {
    std::string out;
    if (!TerminalUsesUtf8() || !Convert(text, "UTF-8", CodePageName(ActiveCodePage()), true, &out))
        return std::string(text);
    return out;
}

bool ReadSecretLine(const char* prompt, std::string* out) {
    out->clear();
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    struct termios saved {};
    if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        struct termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    bool got = false;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) {
        got = true;
        if (c == '\n') {
            break;
        }
        out->push_back(static_cast<char>(c));
    }
    if (!out->empty() && out->back() == '\r') {
        out->pop_back();
    }
    if (terminal) {
        (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    return got;
}

}  // namespace platform

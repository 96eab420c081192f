// Reads the calling thread's locale through the C library (nl_langinfo) and converts its
// texts to the process's ANSI code page with iconv.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>

#include "datetime/locale_translation.h"

namespace chronel {

namespace {

bool IsPosixLocaleName(std::string_view name) {
    return name.empty() || name == "C" || name == "POSIX" || name.starts_with("C.");
}

class CConverter {
public:
    CConverter(const char* fromCodeset, uint32_t codePage, bool transliterate) {
        std::string target = "CP" + std::to_string(codePage);
        if (transliterate) {
            target += "//TRANSLIT";
        }
        m_handle = iconv_open(target.c_str(), fromCodeset);
    }
    ~CConverter() {
        if (m_handle != INVALID) {
            iconv_close(m_handle);
        }
    }
    CConverter(const CConverter&) = delete;
    CConverter& operator=(const CConverter&) = delete;

    // The text in the code page; nothing when a character has no equivalent there. Pure
    // ASCII passes unchanged when the code page has no converter.
    std::optional<std::string> Convert(std::string_view text) {
        if (m_handle == INVALID) {
            for (char c : text) {
                if (static_cast<unsigned char>(c) >= 0x80) {
                    return std::nullopt;
                }
            }
            return std::string(text);
        }
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        std::string input(text);
        std::string output(text.size() * 4 + 16, '\0');
        char* in = input.data();
        size_t inLeft = input.size();
        char* out = output.data();
        size_t outLeft = output.size();
        const size_t irreversible = iconv(m_handle, &in, &inLeft, &out, &outLeft);
        if (irreversible == static_cast<size_t>(-1) || inLeft != 0) {
            return std::nullopt;
        }
        if (iconv(m_handle, nullptr, nullptr, &out, &outLeft) == static_cast<size_t>(-1)) {
            return std::nullopt;
        }
        output.resize(output.size() - outLeft);
        return output;
    }

private:
    static inline const iconv_t INVALID = reinterpret_cast<iconv_t>(-1);
    iconv_t m_handle;
};

std::optional<std::string> NonEmpty(std::optional<std::string> text) {
    if (text && text->empty()) {
        return std::nullopt;
    }
    return text;
}

// A separator is one byte in the code page. Transliteration turns typographic blanks and
// quotes (U+202F, U+2019) into the code page's nearest ones; a '?' it writes for a
// character without equivalent does not count.
std::optional<char> Separator(CConverter& converter, std::string_view text) {
    std::optional<std::string> converted = converter.Convert(text);
    if (!converted || converted->size() != 1 || ((*converted)[0] == '?' && text != "?")) {
        return std::nullopt;
    }
    return (*converted)[0];
}

}  // namespace

LocaleSettings ReadCurrentLocale(uint32_t codePage) {
    // nl_langinfo answers for the thread's own locale when uselocale set one, else for the
    // global one.
    auto item = [](nl_item what) -> std::string {
        const char* text = nl_langinfo(what);
        return text != nullptr ? text : "";
    };
    LocaleSettings settings;
    // Each category's texts are in that category's own character set, which differs from
    // LC_CTYPE's when the categories come from different locales.
    settings.timeIsPosix = IsPosixLocaleName(item(_NL_LOCALE_NAME(LC_TIME)));
    if (!settings.timeIsPosix) {
        const std::string codeset = item(_NL_TIME_CODESET);
        CConverter strict(codeset.c_str(), codePage, false);
        settings.dateFormat = item(D_FMT);
        settings.timeFormat = item(T_FMT);
        settings.timeFormatAmPm = item(T_FMT_AMPM);
        settings.am = NonEmpty(strict.Convert(item(AM_STR)));
        settings.pm = NonEmpty(strict.Convert(item(PM_STR)));
    }
    settings.numericIsPosix = IsPosixLocaleName(item(_NL_LOCALE_NAME(LC_NUMERIC)));
    if (!settings.numericIsPosix) {
        const std::string codeset = item(_NL_NUMERIC_CODESET);
        CConverter loose(codeset.c_str(), codePage, true);
        settings.thousands = Separator(loose, item(THOUSEP));
        settings.decimal = Separator(loose, item(RADIXCHAR));
    }
    return settings;
}

}  // namespace chronel

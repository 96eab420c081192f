// chronel: prints the country-info record that libchronel.so reads for this user, where it
// came from, and a date and time formatted by it.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "chronel/chronel.h"
#include "datetime/country_info.h"
#include "datetime/locale_translation.h"
#include "platform/code_page.h"
#include "platform/local_time.h"
#include "platform/registry.h"

namespace {

constexpr const char* USAGE =
    "usage: chronel [--date YYYY-MM-DD] [--time HH:MM:SS]\n"
    "\n"
    "Prints the regional settings that libchronel.so reads (the country-info record), where\n"
    "they come from, and a date and time formatted by them: the current ones, or those given.\n"
    "\n"
    "Settings come from the registry key HKEY_CURRENT_USER\\Control Panel\\International of\n"
    "the platform folder (TETHER_PLATFORM_HOME) when it exists, otherwise from the locale\n"
    "(LANG, LC_ALL, LC_TIME, LC_NUMERIC). Texts are in the ANSI code page (TETHER_CODEPAGE,\n"
    "default 1252); bytes outside printable ASCII are shown as \\xHH.\n"
    "\n"
    "  --date YYYY-MM-DD   format this date instead of today's\n"
    "  --time HH:MM:SS     format this time of day instead of the current one\n"
    "  --help              show this text\n";

// Printable ASCII as it is, anything else as \xHH, so that code-page bytes stay readable
// on any terminal.
std::string Visible(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string Field(const char* field, size_t size) {
    return "\"" + Visible(std::string_view(field, strnlen(field, size))) + "\"";
}

std::string Char(char c) {
    return "'" + Visible(std::string_view(&c, 1)) + "'";
}

// Parses "A<sep>B<sep>C" of decimal numbers into the three values.
bool ParseTriple(const char* text, char sep, int* a, int* b, int* c) {
    char extra = 0;
    const char format[] = {'%', 'd', sep, '%', 'd', sep, '%', 'd', '%', 'c', '\0'};
    return std::sscanf(text, format, a, b, c, &extra) == 3;
}

const char* OrderName(uint8_t order) {
    static const char* const NAMES[6] = {"month day year", "day month year", "year month day",
                                         "month year day", "day year month", "year day month"};
    return order < 6 ? NAMES[order] : "invalid";
}

void PrintSource() {
    platform::CRegistry& registry = platform::CRegistry::Default();
    if (registry.KeyExists(platform::RegistryHive::CurrentUser, chronel::INTERNATIONAL_KEY)) {
        std::printf("source:          registry key HKEY_CURRENT_USER\\%s in %s\n",
                    chronel::INTERNATIONAL_KEY, registry.Path().c_str());
        return;
    }
    const char* time = std::setlocale(LC_TIME, nullptr);
    const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
    std::printf("source:          locale (LC_TIME %s, LC_NUMERIC %s); no registry key in %s\n",
                time, numeric, registry.Path().c_str());
    const uint32_t codePage = platform::ActiveCodePage();
    const chronel::LocaleSettings locale = chronel::ReadCurrentLocale(codePage);
    if (locale.timeIsPosix && locale.numericIsPosix) {
        std::printf("                 a C/POSIX locale: the built-in defaults\n");
        return;
    }
    tccDTCtxtCountryInfoStruct translated;
    chronel::LocaleTranslation notes;
    chronel::TranslateLocale(locale, codePage, &translated, &notes);
    if (!locale.timeIsPosix) {
        std::printf("date format %%x:  \"%s\" -> pattern \"%s\" (%s)\n",
                    Visible(locale.dateFormat).c_str(), notes.shortDatePattern.c_str(),
                    notes.shortDatePattern.empty() ? "no numeric date: defaults"
                    : notes.dateExact              ? "same text as %x"
                                                   : "approximates %x");
        std::printf("time format %%X:  \"%s\" (%s)\n", Visible(locale.timeFormat).c_str(),
                    notes.timeExact ? "same text as %X" : "approximates %X");
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The library reads the calling thread's locale: take the user's from the environment.
    std::setlocale(LC_ALL, "");

    platform::LocalTime now{};
    if (!platform::UtcToLocal(static_cast<int64_t>(std::time(nullptr)), &now)) {
        std::fprintf(stderr, "chronel: cannot read the current local time\n");
        return 1;
    }
    ccTm t{};
    t.tm_year = now.year - 1900;
    t.tm_mon = now.month - 1;
    t.tm_mday = now.day;
    t.tm_hour = now.hour;
    t.tm_min = now.minute;
    t.tm_sec = now.second;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if ((arg == "--date" || arg == "--time") && i + 1 < argc) {
            const char* value = argv[++i];
            int a = 0;
            int b = 0;
            int c = 0;
            if (arg == "--date") {
                if (!ParseTriple(value, '-', &a, &b, &c) || a < 1 || a > 9999 || b < 1 || b > 12 ||
                    c < 1 || c > 31) {
                    std::fprintf(stderr, "chronel: --date wants YYYY-MM-DD, not \"%s\"\n", value);
                    return 2;
                }
                t.tm_year = a - 1900;
                t.tm_mon = b - 1;
                t.tm_mday = c;
            } else {
                if (!ParseTriple(value, ':', &a, &b, &c) || a < 0 || a > 23 || b < 0 || b > 59 ||
                    c < 0 || c > 60) {
                    std::fprintf(stderr, "chronel: --time wants HH:MM:SS, not \"%s\"\n", value);
                    return 2;
                }
                t.tm_hour = a;
                t.tm_min = b;
                t.tm_sec = c;
            }
            continue;
        }
        std::fprintf(stderr, "chronel: unknown or incomplete argument \"%s\"\n%s", argv[i], USAGE);
        return 2;
    }

    tccDTCtxtCountryInfoStruct info;
    if (ccDTCtxtGetCountryInfo(&info) != CCDT_SUCCESS) {
        std::fprintf(stderr, "chronel: the regional settings could not be read\n");
        return 1;
    }
    PrintSource();
    std::printf("code page:       %u\n", platform::ActiveCodePage());
    std::printf("dateOrder:       %u (%s)\n", info.dateOrder, OrderName(info.dateOrder));
    std::printf("dateFlags:       0x%02X (day %s, month %s, %s year)\n", info.dateFlags,
                (info.dateFlags & CCDT_DATE_DAY_LEADING_ZERO) ? "dd" : "d",
                (info.dateFlags & CCDT_DATE_MONTH_LEADING_ZERO) ? "MM" : "M",
                (info.dateFlags & CCDT_DATE_FOUR_DIGIT_YEAR) ? "four-digit" : "two-digit");
    std::printf("timeFlags:       0x%02X (%s clock%s)\n", info.timeFlags,
                (info.timeFlags & CCDT_TIME_24_HOUR) ? "24-hour" : "12-hour",
                (info.timeFlags & CCDT_TIME_HOUR12_AS_ZERO) ? ", hour 12 shown as 0" : "");
    std::printf("timeFieldFlags:  0x%02X (hour %s leading zero)\n", info.timeFieldFlags,
                (info.timeFieldFlags & CCDT_TIME_HOUR_LEADING_ZERO) ? "with" : "without");
    std::printf("thousandSep:     %s\n", Char(info.thousandSep).c_str());
    std::printf("decimalSep:      %s\n", Char(info.decimalSep).c_str());
    std::printf("dateSep:         %s\n", Char(info.dateSep).c_str());
    std::printf("timeSep:         %s\n", Char(info.timeSep).c_str());
    std::printf("listSep:         %s\n", Char(info.listSep).c_str());
    std::printf("amString:        %s\n", Field(info.amString, sizeof info.amString).c_str());
    std::printf("pmString:        %s\n", Field(info.pmString, sizeof info.pmString).c_str());
    std::printf("pmStringCopy:    %s\n",
                Field(info.pmStringCopy, sizeof info.pmStringCopy).c_str());
    std::printf("record bytes:   ");
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&info);
    for (size_t i = 0; i < sizeof info; ++i) {
        std::printf(" %02X", bytes[i]);
    }
    std::printf("\n");

    unsigned char date[64];
    unsigned char time[64];
    if (ccDTCtxtGetDateString(&info, &t, date, sizeof date) != CCDT_SUCCESS ||
        ccDTCtxtGetTimeString(&info, &t, time, sizeof time) != CCDT_SUCCESS) {
        std::fprintf(stderr, "chronel: the date or time could not be formatted\n");
        return 1;
    }
    std::printf("date:            %s\n", Visible(reinterpret_cast<char*>(date)).c_str());
    std::printf("time:            %s\n", Visible(reinterpret_cast<char*>(time)).c_str());
    return 0;
}

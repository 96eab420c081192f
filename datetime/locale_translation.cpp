// The locale's strftime formats read as patterns: D_FMT becomes a short date pattern that
// the pattern reader reads like a registry value, T_FMT gives the clock, the hour's
// leading zero, the time separator and where the morning/afternoon text goes.
#include "datetime/locale_translation.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "datetime/country_info.h"
#include "datetime/short_date_pattern.h"
#include "datetime/text_fit.h"

namespace chronel {

namespace {

enum class Kind { Literal, Day, Month, MonthName, Year, Hour, Minute, Second, AmPm, Other };

struct Token {
    Kind kind = Kind::Other;
    bool exact = true;        // writes what our formatters would write for this field
    bool leadingZero = true;  // numeric fields: padded with '0' to two digits
    bool fourDigits = false;  // Year
    bool twelveHour = false;  // Hour
    bool lowerCase = false;   // AmPm: %P
    std::string text;         // Literal
};

// Composite conversions stand for these formats (%r for the locale's own).
std::string_view Expansion(char conversion, const LocaleSettings& locale) {
    switch (conversion) {
        case 'D':
            return "%m/%d/%y";
        case 'F':
            return "%Y-%m-%d";
        case 'T':
            return "%H:%M:%S";
        case 'R':
            return "%H:%M";
        case 'r':
            if (locale.timeFormatAmPm.empty()) {
                return "%I:%M:%S %p";
            }
            return locale.timeFormatAmPm;
        case 'x':
            return locale.dateFormat;
        case 'X':
            return locale.timeFormat;
        default:
            return {};
    }
}

void AddLiteral(std::vector<Token>* tokens, char c) {
    if (tokens->empty() || tokens->back().kind != Kind::Literal) {
        Token t;
        t.kind = Kind::Literal;
        tokens->push_back(t);
    }
    tokens->back().text.push_back(c);
}

// Splits a strftime format into literal runs and conversions, expanding composite ones.
// depth bounds the expansion of formats that refer to each other.
void Tokenize(std::string_view format, const LocaleSettings& locale, int depth,
              std::vector<Token>* tokens) {
    size_t i = 0;
    while (i < format.size()) {
        const char c = format[i++];
        if (c != '%') {
            AddLiteral(tokens, c);
            continue;
        }
        // glibc's flags, field width and E/O modifiers, then the conversion itself.
        char padding = 0;
        bool widthGiven = false;
        bool modified = false;
        while (i < format.size() && std::strchr("-_0^#", format[i]) != nullptr) {
            padding = format[i++];
        }
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            widthGiven = true;
            ++i;
        }
        if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) {
            modified = true;
            ++i;
        }
        if (i >= format.size()) {
            Token t;  // a lone '%' at the end
            tokens->push_back(t);
            break;
        }
        const char conversion = format[i++];
        std::string_view expansion = Expansion(conversion, locale);
        if (!expansion.empty()) {
            if (depth > 0) {
                Tokenize(expansion, locale, depth - 1, tokens);
            } else {
                tokens->push_back(Token{});
            }
            continue;
        }
        switch (conversion) {
            case '%':
                AddLiteral(tokens, '%');
                continue;
            case 'n':
                AddLiteral(tokens, '\n');
                continue;
            case 't':
                AddLiteral(tokens, '\t');
                continue;
            default:
                break;
        }
        Token t;
        // Space padding ('_', %e, %k, %l) cannot be written; '-' drops the leading zero.
        bool zero = padding != '-' && padding != '_';
        bool spacePadded = padding == '_';
        switch (conversion) {
            case 'd':
                t.kind = Kind::Day;
                break;
            case 'e':
                t.kind = Kind::Day;
                zero = padding == '0';
                spacePadded = padding != '0' && padding != '-';
                break;
            case 'm':
                t.kind = Kind::Month;
                break;
            case 'b':
            case 'B':
            case 'h':
                t.kind = Kind::MonthName;
                t.exact = false;
                break;
            case 'y':
                t.kind = Kind::Year;
                break;
            case 'Y':
                t.kind = Kind::Year;
                t.fourDigits = true;
                break;
            case 'H':
            case 'I':
                t.kind = Kind::Hour;
                t.twelveHour = conversion == 'I';
                break;
            case 'k':
            case 'l':
                t.kind = Kind::Hour;
                t.twelveHour = conversion == 'l';
                zero = padding == '0';
                spacePadded = padding != '0' && padding != '-';
                break;
            case 'M':
                t.kind = Kind::Minute;
                break;
            case 'S':
                t.kind = Kind::Second;
                break;
            case 'p':
            case 'P':
                t.kind = Kind::AmPm;
                t.lowerCase = conversion == 'P' || padding == '#';
                break;
            default:
                t.kind = Kind::Other;  // weekday, era, time zone, week number...
                t.exact = false;
                break;
        }
        t.leadingZero = zero;
        if (spacePadded || widthGiven || modified || padding == '^') {
            t.exact = false;
        }
        // Minutes and seconds are always written with two digits.
        if ((t.kind == Kind::Minute || t.kind == Kind::Second) && !zero) {
            t.exact = false;
        }
        tokens->push_back(t);
    }
}

std::vector<Token> Tokenize(std::string_view format, const LocaleSettings& locale) {
    std::vector<Token> tokens;
    Tokenize(format, locale, 2, &tokens);
    return tokens;
}

bool IsAsciiSeparator(std::string_view text) {
    if (text.size() != 1) {
        return false;
    }
    const unsigned char c = static_cast<unsigned char>(text[0]);
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return c > ' ' && c < 0x7F && !alnum;
}

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool IsAsciiBlank(std::string_view text) {
    for (char c : text) {
        if (c != ' ' && c != '\t') {
            return false;
        }
    }
    return true;
}

int IndexOf(const std::vector<Token>& tokens, Kind kind, int from = 0) {
    for (int i = from; i < static_cast<int>(tokens.size()); ++i) {
        if (tokens[i].kind == kind) {
            return i;
        }
    }
    return -1;
}

// Day, month and year of D_FMT as a short date pattern ("dd.MM.yyyy"). The fields keep
// their order and forms and are joined by the first single punctuation character the
// format has between them, else "/"; whatever else the format holds (names, blanks,
// trailing text, a second separator) makes the translation inexact.
void TranslateDate(const LocaleSettings& locale, uint32_t codePage,
                   tccDTCtxtCountryInfoStruct* info, LocaleTranslation* notes) {
    const std::vector<Token> tokens = Tokenize(locale.dateFormat, locale);
    std::vector<const Token*> fields;
    bool seen[3] = {false, false, false};
    bool exact = true;
    char separator = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        int slot = -1;
        switch (t.kind) {
            case Kind::Day:
                slot = 0;
                break;
            case Kind::Month:
            case Kind::MonthName:
                slot = 1;
                break;
            case Kind::Year:
                slot = 2;
                break;
            case Kind::Literal: {
                const bool between = !fields.empty() && fields.size() < 3;
                if (!between || !IsAsciiSeparator(t.text)) {
                    exact = false;
                } else if (separator == 0) {
                    separator = t.text[0];
                } else if (t.text[0] != separator) {
                    exact = false;
                }
                if (between && separator == 0) {
                    // Keep the first usable separator even from a longer literal ("%d. %m").
                    for (char c : t.text) {
                        if (IsAsciiSeparator(std::string_view(&c, 1))) {
                            separator = c;
                            break;
                        }
                    }
                }
                continue;
            }
            default:
                exact = false;
                continue;
        }
        if (seen[slot]) {
            exact = false;  // a field written twice: the first one counts
            continue;
        }
        seen[slot] = true;
        fields.push_back(&t);
        exact = exact && t.exact;
        if (fields.size() > 1 && i > 0 && tokens[i - 1].kind != Kind::Literal) {
            exact = false;  // two fields without a separator between them
        }
    }
    if (fields.size() != 3) {
        return;  // no numeric date to translate: the defaults stay
    }
    if (separator == 0) {
        separator = '/';
    }
    std::string pattern;
    for (const Token* f : fields) {
        if (!pattern.empty()) {
            pattern.push_back(separator);
        }
        switch (f->kind) {
            case Kind::Day:
                pattern += f->leadingZero ? "dd" : "d";
                break;
            case Kind::Year:
                pattern += f->fourDigits ? "yyyy" : "yy";
                break;
            default:  // a month name is shown as a two-digit month
                pattern += (f->kind == Kind::Month && !f->leadingZero) ? "M" : "MM";
                break;
        }
    }
    ShortDate shortDate;
    if (!ReadShortDatePattern(pattern, codePage, &shortDate)) {
        return;
    }
    info->dateOrder = shortDate.order;
    info->dateFlags = shortDate.flags;
    info->dateSep = shortDate.separator;
    if (notes != nullptr) {
        notes->shortDatePattern = pattern;
        notes->dateExact = exact;
    }
}

// The clock, the hour's leading zero and the time separator from T_FMT; the morning and
// afternoon texts from AM_STR and PM_STR, preceded by the blank that T_FMT puts between
// the seconds and %p.
void TranslateTime(const LocaleSettings& locale, uint32_t codePage,
                   tccDTCtxtCountryInfoStruct* info, LocaleTranslation* notes) {
    const std::vector<Token> tokens = Tokenize(locale.timeFormat, locale);
    const int hour = IndexOf(tokens, Kind::Hour);
    const int minute = IndexOf(tokens, Kind::Minute);
    const int second = IndexOf(tokens, Kind::Second);
    const int amPm = IndexOf(tokens, Kind::AmPm);
    bool twelveHour = true;
    std::string prefix;
    bool lowerCase = false;
    bool exact = hour == 0 && minute == 2 && second == 4;
    if (hour >= 0) {
        const Token& h = tokens[hour];
        twelveHour = h.twelveHour;
        info->timeFlags = twelveHour ? 0 : CCDT_TIME_24_HOUR;
        const uint8_t minutesAndSeconds =
            CCDT_TIME_MINUTES_LEADING_ZERO | CCDT_TIME_SECONDS_LEADING_ZERO;
        info->timeFieldFlags =
            h.leadingZero ? (minutesAndSeconds | CCDT_TIME_HOUR_LEADING_ZERO) : minutesAndSeconds;
        exact = exact && h.exact;
        if (minute == hour + 2 && IsAsciiSeparator(tokens[hour + 1].text)) {
            info->timeSep = tokens[hour + 1].text[0];
        } else {
            exact = false;
        }
    }
    if (exact) {
        exact = tokens[minute].exact && tokens[second].exact &&
                tokens[3].text == std::string(1, info->timeSep);
        // After the seconds: nothing, or on the 12-hour clock blanks and %p.
        size_t rest = 5;
        if (twelveHour) {
            if (rest < tokens.size() && tokens[rest].kind == Kind::Literal &&
                IsAsciiBlank(tokens[rest].text)) {
                ++rest;
            }
            exact = exact && rest < tokens.size() && tokens[rest].kind == Kind::AmPm;
            ++rest;
        }
        exact = exact && rest == tokens.size();
    }
    if (amPm > second && second >= 0 && twelveHour) {
        const Token& before = tokens[amPm - 1];
        if (amPm == second + 2 && before.kind == Kind::Literal && IsAsciiBlank(before.text)) {
            prefix = before.text;
        }
        lowerCase = tokens[amPm].lowerCase;
    }
    auto markText = [&](const std::optional<std::string>& text, char* field, size_t size,
                        bool* fits) {
        *fits = false;
        if (!text || text->empty()) {
            return;  // no such text in this locale: the default stays
        }
        std::string mark = prefix + *text;
        // %P writes the text in lower case; only pure ASCII text is folded here, since a
        // trail byte of a double-byte character may look like an ASCII letter.
        if (lowerCase && IsAscii(mark)) {
            for (char& c : mark) {
                if (c >= 'A' && c <= 'Z') {
                    c = static_cast<char>(c - 'A' + 'a');
                }
            }
        }
        *fits = mark.size() < size;
        const size_t length = FittingLength(mark, size - 1, codePage);
        std::memset(field, 0, size);
        std::memcpy(field, mark.data(), length);
    };
    bool amFits = false;
    bool pmFits = false;
    markText(locale.am, info->amString, sizeof info->amString, &amFits);
    markText(locale.pm, info->pmString, sizeof info->pmString, &pmFits);
    if (twelveHour) {
        exact = exact && amFits && pmFits;
    }
    if (notes != nullptr) {
        notes->timeExact = exact;
    }
}

}  // namespace

void TranslateLocale(const LocaleSettings& locale, uint32_t codePage,
                     tccDTCtxtCountryInfoStruct* info, LocaleTranslation* notes) {
    FillBuiltInDefaults(info);
    if (notes != nullptr) {
        *notes = LocaleTranslation{};
    }
    if (locale.timeIsPosix && locale.numericIsPosix) {
        return;
    }
    if (!locale.timeIsPosix) {
        TranslateDate(locale, codePage, info, notes);
        TranslateTime(locale, codePage, info, notes);
    }
    if (!locale.numericIsPosix) {
        if (locale.decimal) {
            info->decimalSep = *locale.decimal;
        }
        if (locale.thousands && *locale.thousands != info->decimalSep) {
            info->thousandSep = *locale.thousands;
        } else if (info->decimalSep == ',') {
            // No grouping character (or the same as the decimal one): a blank keeps
            // numbers readable where the default "," would read as the decimal separator.
            info->thousandSep = ' ';
        }
        // Lists use ";" where "," is the decimal separator.
        info->listSep = info->decimalSep == ',' ? ';' : ',';
    }
    std::memcpy(info->pmStringCopy, info->pmString, sizeof info->pmString);
}

}  // namespace chronel

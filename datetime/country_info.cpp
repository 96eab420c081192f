// Where the country-info record comes from: the registry key "Control Panel\International"
// of the current user when it exists, otherwise the locale, with built-in defaults for
// whatever neither gives.
#include "datetime/country_info.h"

#include <cstring>
#include <optional>
#include <string>

#include "datetime/locale_translation.h"
#include "datetime/short_date_pattern.h"
#include "datetime/text_fit.h"

namespace chronel {

namespace {

using platform::RegistryHive;

// Values are read as text into a buffer of this size; longer ones count as missing.
constexpr size_t VALUE_BUFFER = 20;

class CInternationalKey {
public:
    explicit CInternationalKey(platform::CRegistry& registry) : m_registry(registry) {}

    // The value up to its first NUL, when it is text and fits the value buffer with its NUL.
    std::optional<std::string> Text(const char* name) const {
        std::optional<std::string> value =
            m_registry.GetString(RegistryHive::CurrentUser, INTERNATIONAL_KEY, name);
        if (!value) {
            return std::nullopt;
        }
        value->resize(strnlen(value->c_str(), value->size()));
        if (value->size() >= VALUE_BUFFER) {
            return std::nullopt;
        }
        return value;
    }

    // The value read as a decimal integer the way atoi reads it (0 when it has no digits).
    std::optional<long> Integer(const char* name) const {
        std::optional<std::string> value = Text(name);
        if (!value) {
            return std::nullopt;
        }
        return ParseLeadingInteger(*value);
    }

    // The first character. A value that is empty or starts with the lead byte of a
    // double-byte character counts as missing: either would corrupt every text that
    // the separator is written into.
    char FirstChar(const char* name, char fallback, uint32_t codePage) const {
        std::optional<std::string> value = Text(name);
        if (!value || value->empty() ||
            platform::IsLeadByteOf(codePage, static_cast<uint8_t>((*value)[0]))) {
            return fallback;
        }
        return (*value)[0];
    }

private:
    static long ParseLeadingInteger(const std::string& text) {
        size_t i = 0;
        while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
            ++i;
        }
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negative = text[i] == '-';
            ++i;
        }
        long value = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (value < 100000000) {  // saturate instead of overflowing
                value = value * 10 + (text[i] - '0');
            }
        }
        return negative ? -value : value;
    }

    platform::CRegistry& m_registry;
};

}  // namespace

void FillBuiltInDefaults(tccDTCtxtCountryInfoStruct* info) {
    std::memset(info, 0, sizeof *info);
    info->dateOrder = CCDT_ORDER_MDY;
    info->dateFlags = CCDT_DATE_DAY_LEADING_ZERO | CCDT_DATE_MONTH_LEADING_ZERO;
    info->timeFlags = 0;
    info->timeFieldFlags = CCDT_TIME_HOUR_LEADING_ZERO | CCDT_TIME_MINUTES_LEADING_ZERO |
                           CCDT_TIME_SECONDS_LEADING_ZERO;
    info->thousandSep = ',';
    info->decimalSep = '.';
    info->dateSep = '/';
    info->timeSep = ':';
    info->listSep = ',';
    CopyFitting(info->amString, "a", 0);
    CopyFitting(info->pmString, "p", 0);
}

bool ReadRegistrySettings(platform::CRegistry& registry, uint32_t codePage,
                          tccDTCtxtCountryInfoStruct* info) {
    if (!registry.KeyExists(RegistryHive::CurrentUser, INTERNATIONAL_KEY)) {
        return false;
    }
    CInternationalKey key(registry);
    tccDTCtxtCountryInfoStruct record;
    std::memset(&record, 0, sizeof record);

    ShortDate shortDate;
    std::optional<std::string> pattern = key.Text("sShortDate");
    if (pattern && ReadShortDatePattern(*pattern, codePage, &shortDate)) {
        record.dateOrder = shortDate.order;
        record.dateFlags = shortDate.flags;
        record.dateSep = shortDate.separator;
    } else {
        record.dateOrder = static_cast<uint8_t>(key.Integer("iDate").value_or(0));
        record.dateFlags = CCDT_DATE_DAY_LEADING_ZERO | CCDT_DATE_MONTH_LEADING_ZERO;
        record.dateSep = key.FirstChar("sDate", '/', codePage);
    }

    record.timeFlags = key.Integer("iTime").value_or(0) != 0 ? CCDT_TIME_24_HOUR : 0;
    const uint8_t minutesAndSeconds =
        CCDT_TIME_MINUTES_LEADING_ZERO | CCDT_TIME_SECONDS_LEADING_ZERO;
    record.timeFieldFlags = key.Integer("iTLZero").value_or(1) == 0
                                ? minutesAndSeconds
                                : (minutesAndSeconds | CCDT_TIME_HOUR_LEADING_ZERO);

    record.thousandSep = key.FirstChar("sThousand", ',', codePage);
    record.decimalSep = key.FirstChar("sDecimal", '.', codePage);
    record.timeSep = key.FirstChar("sTime", ':', codePage);
    record.listSep = key.FirstChar("sList", ',', codePage);

    // The texts may be up to 19 bytes in the registry but the fields hold 9 and a NUL.
    CopyFitting(record.amString, key.Text("s1159").value_or("a"), codePage);
    CopyFitting(record.pmString, key.Text("s2359").value_or("p"), codePage);
    std::memcpy(record.pmStringCopy, record.pmString, sizeof record.pmString);

    *info = record;
    return true;
}

void ReadCountryInfo(platform::CRegistry& registry, uint32_t codePage,
                     tccDTCtxtCountryInfoStruct* info) {
    if (ReadRegistrySettings(registry, codePage, info)) {
        return;
    }
    TranslateLocale(ReadCurrentLocale(codePage), codePage, info, nullptr);
}

}  // namespace chronel

// Feeds arbitrary patterns, strftime formats and records to the pattern reader, the locale
// translation and the formatters, and checks what must always hold.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "datetime/formatters.h"
#include "datetime/locale_translation.h"
#include "datetime/short_date_pattern.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool Terminated(const char* field, size_t size) {
    return std::memchr(field, 0, size) != nullptr;
}

// A record the reader or the translation produced always formats into a roomy buffer.
void FormatsCleanly(const tccDTCtxtCountryInfoStruct& info) {
    const ccTm t{59, 59, 23, 31, 11, 8099, 0, 0, 0};
    unsigned char buffer[128];
    Check(chronel::FormatDate(&info, &t, buffer, sizeof buffer) == 0);
    Check(std::memchr(buffer, 0, sizeof buffer) != nullptr);
    Check(chronel::FormatTime(&info, &t, buffer, sizeof buffer) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint8_t mode = data[0];
    const uint32_t codePage = (mode & 1) ? 932 : 1252;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    chronel::ShortDate shortDate;
    if (chronel::ReadShortDatePattern(text, codePage, &shortDate)) {
        Check(shortDate.order <= 5);
        Check((shortDate.flags & ~0xE0) == 0);
    }

    // The text as "date format \n time format \n am \n pm".
    chronel::LocaleSettings locale;
    locale.timeIsPosix = false;
    locale.numericIsPosix = (mode & 2) != 0;
    std::string_view parts[4];
    std::string_view rest = text;
    for (int i = 0; i < 4; ++i) {
        const size_t end = rest.find('\n');
        parts[i] = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    locale.dateFormat = parts[0];
    locale.timeFormat = parts[1];
    locale.timeFormatAmPm = parts[0];
    locale.am = std::string(parts[2]);
    locale.pm = std::string(parts[3]);
    locale.decimal = static_cast<char>(mode);
    tccDTCtxtCountryInfoStruct info;
    chronel::LocaleTranslation notes;
    chronel::TranslateLocale(locale, codePage, &info, &notes);
    Check(Terminated(info.amString, sizeof info.amString));
    Check(Terminated(info.pmString, sizeof info.pmString));
    Check(std::memcmp(info.pmString, info.pmStringCopy, sizeof info.pmString) == 0);
    if (!notes.shortDatePattern.empty()) {
        Check(chronel::ReadShortDatePattern(notes.shortDatePattern, codePage, &shortDate));
        Check(shortDate.order == info.dateOrder && shortDate.separator == info.dateSep);
    }
    FormatsCleanly(info);

    // Raw records and times as a caller may hand them over, into a buffer of any size: a
    // failure leaves it untouched, a success ends in the NUL.
    if (size >= 1 + sizeof(tccDTCtxtCountryInfoStruct) + 6 * sizeof(int32_t)) {
        tccDTCtxtCountryInfoStruct raw;
        std::memcpy(&raw, data + 1, sizeof raw);
        ccTm t{};
        std::memcpy(&t, data + 1 + sizeof raw, 6 * sizeof(int32_t));
        const uint32_t bufferSize = mode >> 2;
        unsigned char buffer[64];
        for (int which = 0; which < 2; ++which) {
            std::memset(buffer, 0xA5, sizeof buffer);
            const int32_t result = which == 0 ? chronel::FormatDate(&raw, &t, buffer, bufferSize)
                                              : chronel::FormatTime(&raw, &t, buffer, bufferSize);
            if (result == 0) {
                Check(std::memchr(buffer, 0, bufferSize) != nullptr);
            } else {
                for (unsigned char c : buffer) {
                    Check(c == 0xA5);
                }
            }
        }
    }
    return 0;
}

// Catalogue of the character sets held in the table file.
#include "tools/cctb/charsets.h"

#include <cctype>
#include <charconv>

namespace cctb {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

struct NamedSet {
    int16_t id;
    std::vector<const char*> names;
};

const std::vector<NamedSet>& OtherSets() {
    static const std::vector<NamedSet> sets = {
        {1200, {"unicode", "utf-16le", "utf16le", "utf-16", "ucs-2"}},
        {932, {"shift_jis", "sjis", "cp932", "windows-31j", "ms932"}},
        {0x43A4, {"shift_jis-pairs"}},
    };
    return sets;
}

}  // namespace

const std::vector<CharsetInfo>& SingleByteCharsets() {
    static const std::vector<CharsetInfo> sets = {
        {1250, "CP1250", {"cp1250", "windows-1250"}},
        {1251, "CP1251", {"cp1251", "windows-1251"}},
        {1252, "CP1252", {"cp1252", "windows-1252"}},
        {1253, "CP1253", {"cp1253", "windows-1253"}},
        {1254, "CP1254", {"cp1254", "windows-1254"}},
        {1255, "CP1255", {"cp1255", "windows-1255"}},
        {1256, "CP1256", {"cp1256", "windows-1256"}},
        {1257, "CP1257", {"cp1257", "windows-1257"}},
        {1258, "CP1258", {"cp1258", "windows-1258"}},
        {874, "CP874", {"cp874", "windows-874"}},
        {437, "CP437", {"cp437", "ibm437"}},
        {850, "CP850", {"cp850", "ibm850"}},
        {852, "CP852", {"cp852", "ibm852"}},
        {866, "CP866", {"cp866", "ibm866"}},
        {20866, "KOI8-R", {"koi8-r", "cp20866"}},
        {21866, "KOI8-U", {"koi8-u", "cp21866"}},
        {28605, "ISO-8859-15", {"iso-8859-15", "latin-9", "cp28605"}},
        {static_cast<int16_t>(0x8000), "MACINTOSH", {"macroman", "macintosh", "macscript0"}},
        {static_cast<int16_t>(0x8591), "ISO-8859-1", {"iso-8859-1", "latin-1", "iso88591"}},
        {static_cast<int16_t>(0x8592), "ISO-8859-2", {"iso-8859-2", "latin-2", "iso88592"}},
        {static_cast<int16_t>(0x8593), "ISO-8859-3", {"iso-8859-3", "latin-3", "iso88593"}},
        {static_cast<int16_t>(0x8594), "ISO-8859-4", {"iso-8859-4", "latin-4", "iso88594"}},
        {static_cast<int16_t>(0x8595), "ISO-8859-5", {"iso-8859-5", "iso88595"}},
        {static_cast<int16_t>(0x8596), "ISO-8859-6", {"iso-8859-6", "iso88596"}},
        {static_cast<int16_t>(0x8597), "ISO-8859-7", {"iso-8859-7", "iso88597"}},
        {static_cast<int16_t>(0x8598), "ISO-8859-8", {"iso-8859-8", "iso88598"}},
        {static_cast<int16_t>(0x8599), "ISO-8859-9", {"iso-8859-9", "latin-5", "iso88599"}},
        {static_cast<int16_t>(0x8646), "ISO646-US", {"iso646", "iso646-us", "ascii", "us-ascii"}},
    };
    return sets;
}

bool LookupCharset(std::string_view name, int16_t* id) {
    for (const CharsetInfo& set : SingleByteCharsets()) {
        for (const char* candidate : set.names) {
            if (EqualsIgnoringCase(name, candidate)) {
                *id = set.id;
                return true;
            }
        }
    }
    for (const NamedSet& set : OtherSets()) {
        for (const char* candidate : set.names) {
            if (EqualsIgnoringCase(name, candidate)) {
                *id = set.id;
                return true;
            }
        }
    }
    // A number: decimal, or hexadecimal with 0x.
    int base = 10;
    std::string_view digits = name;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    long value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || result.ec != std::errc() || result.ptr != digits.data() + digits.size() ||
        value < -32768 || value > 0xFFFF) {
        return false;
    }
    *id = static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF));
    return true;
}

}  // namespace cctb

// Translation tables from iconv: every byte (or double-byte code) is decoded
// one at a time, and every Unicode value of the Basic Multilingual Plane is
// encoded, so the tables hold exactly what the converter defines.
#include "tools/cctb/xlat_source.h"

#include <iconv.h>

#include <cerrno>

#include "intl/table_layout.h"

namespace cctb {
namespace {

using glossel::PairMap;

class CConverter {
public:
    CConverter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~CConverter() {
        if (Valid()) {
            iconv_close(m_cd);
        }
    }
    CConverter(const CConverter&) = delete;
    CConverter& operator=(const CConverter&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts `in` completely (with the final flush); false when the
    // converter rejects any of it.
    bool Convert(const std::string& in, std::string* out) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buffer[64];
        char* input = const_cast<char*>(in.data());
        size_t inputLeft = in.size();
        char* output = buffer;
        size_t outputLeft = sizeof buffer;
        if (iconv(m_cd, &input, &inputLeft, &output, &outputLeft) == static_cast<size_t>(-1) ||
            inputLeft != 0) {
            return false;
        }
        if (iconv(m_cd, nullptr, nullptr, &output, &outputLeft) == static_cast<size_t>(-1)) {
            return false;
        }
        out->assign(buffer, static_cast<size_t>(output - buffer));
        return true;
    }

private:
    iconv_t m_cd;
};

// One BMP value from UTF-16LE bytes; false for anything else.
bool SingleUnit(const std::string& utf16, uint16_t* u) {
    if (utf16.size() != 2) {
        return false;
    }
    *u = static_cast<uint16_t>(static_cast<uint8_t>(utf16[0]) |
                               (static_cast<uint8_t>(utf16[1]) << 8));
    return *u < 0xD800 || *u > 0xDFFF;
}

std::string Utf16Of(uint16_t u) {
    return std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
}

bool IsSurrogate(uint32_t u) {
    return u >= 0xD800 && u <= 0xDFFF;
}

}  // namespace

bool DecodeSingleByteSet(const char* iconvName, std::array<uint16_t, 256>* unicodeOfByte,
                         std::string* error) {
    CConverter decoder("UTF-16LE", iconvName);
    if (!decoder.Valid()) {
        *error = std::string("no converter for ") + iconvName;
        return false;
    }
    for (int b = 0; b < 256; ++b) {
        std::string out;
        uint16_t u = 0;
        if (decoder.Convert(std::string(1, static_cast<char>(b)), &out) && SingleUnit(out, &u)) {
            (*unicodeOfByte)[static_cast<size_t>(b)] = u;
        } else {
            (*unicodeOfByte)[static_cast<size_t>(b)] =
                (b >= 0x80 && b <= 0x9F) ? static_cast<uint16_t>(b) : UNDEFINED_BYTE;
        }
    }
    return true;
}

bool BuildSingleByteTables(int16_t id, const char* iconvName,
                           std::vector<glossel::XlatTableSpec>* out, std::string* error) {
    std::array<uint16_t, 256> unicodeOfByte{};
    if (!DecodeSingleByteSet(iconvName, &unicodeOfByte, error)) {
        return false;
    }
    CConverter encoder(iconvName, "UTF-16LE");
    if (!encoder.Valid()) {
        *error = std::string("no converter to ") + iconvName;
        return false;
    }
    // Unicode -> byte: what the converter encodes to one byte, plus the
    // inverse of the decoding for values it left out (the C1 stand-ins).
    std::array<uint8_t, 256> low{};
    low.fill('?');
    PairMap above;
    for (uint32_t u = 0; u <= 0xFFFF; ++u) {
        if (IsSurrogate(u)) {
            continue;
        }
        std::string encoded;
        if (!encoder.Convert(Utf16Of(static_cast<uint16_t>(u)), &encoded) || encoded.size() != 1) {
            continue;
        }
        const uint8_t b = static_cast<uint8_t>(encoded[0]);
        if (u < 0x100) {
            low[u] = b;
        } else {
            above[static_cast<uint16_t>(u)] = b;
        }
    }
    for (int b = 0x80; b <= 0x9F; ++b) {
        const uint16_t u = unicodeOfByte[static_cast<size_t>(b)];
        if (u == b && low[u] == '?') {
            low[u] = static_cast<uint8_t>(b);
        }
    }
    std::vector<uint8_t> reverse(low.begin(), low.end());
    const std::vector<uint8_t> pairs = glossel::EncodePairs(above);
    reverse.insert(reverse.end(), pairs.begin(), pairs.end());

    out->push_back({id, glossel::SET_UNICODE, glossel::SingleToUnicodeTable(unicodeOfByte)});
    out->push_back({glossel::SET_UNICODE, id, std::move(reverse)});
    return true;
}

bool BuildShiftJisTables(std::vector<glossel::XlatTableSpec>* out, std::string* error) {
    CConverter decoder("UTF-16LE", "CP932");
    CConverter encoder("CP932", "UTF-16LE");
    if (!decoder.Valid() || !encoder.Valid()) {
        *error = "no converter for CP932";
        return false;
    }
    // Single bytes. Lead bytes have no value of their own: a lead byte read
    // alone (at the end of the input, or before a byte that cannot trail)
    // becomes U+FFFD.
    std::array<uint16_t, 256> single{};
    for (int b = 0; b < 256; ++b) {
        std::string utf16;
        uint16_t u = 0;
        if (!glossel::IsSjisLeadByte(static_cast<uint8_t>(b)) &&
            decoder.Convert(std::string(1, static_cast<char>(b)), &utf16) &&
            SingleUnit(utf16, &u)) {
            single[static_cast<size_t>(b)] = u;
        } else {
            single[static_cast<size_t>(b)] = UNDEFINED_BYTE;
        }
    }
    // Double-byte codes: the grid for 932, pairs for 0x43A4. Grid cells that
    // no code defines hold U+FFFD.
    std::vector<uint16_t> grid(glossel::SJIS_GRID_ROWS * glossel::SJIS_GRID_COLUMNS,
                               UNDEFINED_BYTE);
    PairMap codes;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!glossel::IsSjisLeadByte(static_cast<uint8_t>(lead))) {
            continue;
        }
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            std::string utf16;
            uint16_t u = 0;
            const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
            if (!decoder.Convert(bytes, &utf16) || !SingleUnit(utf16, &u)) {
                continue;
            }
            codes[static_cast<uint16_t>((lead << 8) | trail)] = u;
            const uint32_t index =
                glossel::SjisGridIndex(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail));
            // Leads 0xEF-0xF9 (user-defined area) index the rows of leads
            // 0xE4-0xEE; the cells hold the codes that own the rows.
            if (lead <= 0xEE || lead >= 0xFA) {
                grid[index] = u;
            }
        }
    }
    std::vector<uint8_t> gridTable = glossel::EncodeU16Part(single);
    for (uint16_t u : grid) {
        gridTable.push_back(static_cast<uint8_t>(u & 0xFF));
        gridTable.push_back(static_cast<uint8_t>(u >> 8));
    }
    std::vector<uint8_t> pairTable = glossel::EncodeU16Part(single);
    const std::vector<uint8_t> codePairs = glossel::EncodePairs(codes);
    pairTable.insert(pairTable.end(), codePairs.begin(), codePairs.end());

    // Unicode -> output strings (first byte low, second byte high).
    std::array<uint16_t, 256> lowStrings{};
    PairMap above;
    for (uint32_t u = 0; u <= 0xFFFF; ++u) {
        if (IsSurrogate(u)) {
            continue;
        }
        std::string encoded;
        uint16_t outputString = '?';
        bool defined = false;
        if (encoder.Convert(Utf16Of(static_cast<uint16_t>(u)), &encoded) &&
            (encoded.size() == 1 || encoded.size() == 2)) {
            outputString = static_cast<uint8_t>(encoded[0]);
            if (encoded.size() == 2) {
                outputString |= static_cast<uint16_t>(static_cast<uint8_t>(encoded[1]) << 8);
            }
            defined = true;
        }
        if (u < 0x100) {
            lowStrings[u] = outputString;
        } else if (defined) {
            above[static_cast<uint16_t>(u)] = outputString;
        }
    }

    out->push_back({glossel::SET_SJIS, glossel::SET_UNICODE, std::move(gridTable)});
    out->push_back({glossel::SET_SJIS_PAIRS, glossel::SET_UNICODE, std::move(pairTable)});
    out->push_back({glossel::SET_UNICODE, glossel::SET_SJIS,
                    glossel::UnicodeToDoubleTable(lowStrings, above)});
    return true;
}

}  // namespace cctb

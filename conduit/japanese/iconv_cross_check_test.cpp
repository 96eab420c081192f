// Cross-check of the UTF-8 and ISO-2022-JP converters against the C library's iconv
// (to CP932) on generated Japanese text.
#include <iconv.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "conduit/japanese/japanese_encoding.h"

namespace torrim::japanese {
namespace {

// The whole of in converted by iconv, or nothing when iconv rejects any of it.
std::optional<std::string> Iconv(const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv cannot convert " << from << " to " << to;
        return std::nullopt;
    }
    std::string out(in.size() * 4 + 16, '\0');
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    const size_t flushed = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<size_t>(-1) || flushed == static_cast<size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

std::string Ours(ConvertFunction convert, const std::string& in) {
    std::vector<char> out(in.size() + 1);
    const size_t written = convert(out.data(), in.data(), in.size());
    return std::string(out.data(), written);
}

std::string EncodeUtf8(uint32_t value) {
    std::string s;
    if (value < 0x80) {
        s += static_cast<char>(value);
    } else if (value < 0x800) {
        s += static_cast<char>(0xC0 | value >> 6);
        s += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | value >> 12);
        s += static_cast<char>(0x80 | (value >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (value & 0x3F));
    }
    return s;
}

std::string CodeBytes(uint16_t code) {
    std::string s;
    if (code > 0xFF) {
        s += static_cast<char>(code >> 8);
    }
    s += static_cast<char>(code & 0xFF);
    return s;
}

std::map<uint16_t, std::vector<uint16_t>> RowsByValue() {
    std::map<uint16_t, std::vector<uint16_t>> rows;
    for (const Cp932Row& row : Cp932ReverseTable) {
        rows[row.unicode].push_back(row.code);
    }
    return rows;
}

// Random Japanese text: kana, kanji, full-width and half-width forms, punctuation, ASCII words
// and line breaks, drawn from the given characters.
std::string MakeText(const std::vector<uint16_t>& japanese, size_t characters, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string text;
    for (size_t i = 0; i < characters; ++i) {
        const uint32_t pick = rng() % 100;
        if (pick < 3) {
            text += "\r\n";
        } else if (pick < 12) {
            text += " mail-123 ";
        } else {
            text += EncodeUtf8(japanese[rng() % japanese.size()]);
        }
    }
    return text;
}

TEST(IconvCrossCheck, Utf8EveryCharacterAgreesExceptAmongDuplicates) {
    const auto rows = RowsByValue();
    std::map<std::string, size_t> differences;
    size_t total = 0;
    for (const auto& [value, codes] : rows) {
        if (value == 0) {
            continue;
        }
        const std::string in = EncodeUtf8(value);
        const std::optional<std::string> theirs = Iconv("CP932", "UTF-8", in);
        ASSERT_TRUE(theirs.has_value()) << "iconv rejects U+" << std::hex << value;
        const std::string ours = Ours(Utf8ToShiftJis, in);
        if (ours == *theirs) {
            continue;
        }
        // Only a character with several codes may differ, and both sides must be its codes.
        ASSERT_GT(codes.size(), 1u) << "U+" << std::hex << value;
        bool oursIsRow = false;
        bool theirsIsRow = false;
        for (uint16_t code : codes) {
            oursIsRow = oursIsRow || CodeBytes(code) == ours;
            theirsIsRow = theirsIsRow || CodeBytes(code) == *theirs;
        }
        ASSERT_TRUE(oursIsRow && theirsIsRow) << "U+" << std::hex << value;
        char pair[16];
        std::snprintf(pair, sizeof pair, "%02X -> %02X", static_cast<uint8_t>(ours[0]),
                      static_cast<uint8_t>((*theirs)[0]));
        ++differences[pair];
        ++total;
    }
    // Where the binary search meets another duplicate than iconv's choice, by lead bytes.
    std::cout << total << " intended differences from iconv (our lead -> iconv's lead):\n";
    for (const auto& [pair, count] : differences) {
        std::cout << "  " << pair << ": " << count << "\n";
    }
    EXPECT_LT(total, 400u);
}

TEST(IconvCrossCheck, Utf8TextAgrees) {
    // Characters with one code only, so that iconv's choice cannot differ.
    std::vector<uint16_t> japanese;
    for (const auto& [value, codes] : RowsByValue()) {
        if (codes.size() == 1 && value >= 0x80) {
            japanese.push_back(value);
        }
    }
    for (uint32_t seed : {1u, 2u, 3u}) {
        const std::string text = MakeText(japanese, 20000, seed);
        const std::optional<std::string> theirs = Iconv("CP932", "UTF-8", text);
        ASSERT_TRUE(theirs.has_value());
        const std::string ours = Ours(Utf8ToShiftJis, text);
        ASSERT_EQ(ours.size(), theirs->size());
        EXPECT_TRUE(ours == *theirs) << "seed " << seed;
    }
}

// JIS X 0208 as code page 932 codes: rows 1-8 and 16-84 (lead bytes 0x81-0x84, 0x88-0x9F,
// 0xE0-0xEA), the only characters ISO-2022-JP can carry.
std::vector<uint16_t> Jis0208Codes() {
    std::vector<uint16_t> codes;
    for (const Cp932Row& row : Cp932ReverseTable) {
        const unsigned lead = row.code >> 8;
        if ((lead >= 0x81 && lead <= 0x84) || (lead >= 0x88 && lead <= 0x9F) ||
            (lead >= 0xE0 && lead <= 0xEA)) {
            codes.push_back(row.code);
        }
    }
    return codes;
}

TEST(IconvCrossCheck, Iso2022JpEveryCharacterAgrees) {
    size_t compared = 0;
    for (uint16_t code : Jis0208Codes()) {
        const std::optional<std::string> iso = Iconv("ISO-2022-JP", "CP932", CodeBytes(code));
        if (!iso.has_value()) {
            continue;  // no JIS X 0208 form
        }
        const std::optional<std::string> theirs = Iconv("CP932", "ISO-2022-JP", *iso);
        ASSERT_TRUE(theirs.has_value()) << std::hex << code;
        ASSERT_EQ(Ours(Iso2022JpToShiftJis, *iso), *theirs) << std::hex << code;
        ++compared;
    }
    std::cout << compared << " JIS X 0208 characters compared\n";
    EXPECT_GT(compared, 6800u);
}

TEST(IconvCrossCheck, Iso2022JpTextAgrees) {
    std::map<uint16_t, uint16_t> valueOfCode;
    for (const Cp932Row& row : Cp932ReverseTable) {
        valueOfCode.emplace(row.code, row.unicode);
    }
    std::vector<uint16_t> japanese;
    for (uint16_t code : Jis0208Codes()) {
        const uint16_t value = valueOfCode[code];
        if (Iconv("ISO-2022-JP", "UTF-8", EncodeUtf8(value)).has_value()) {
            japanese.push_back(value);
        }
    }
    ASSERT_GT(japanese.size(), 6800u);
    for (uint32_t seed : {4u, 5u}) {
        const std::string utf8 = MakeText(japanese, 20000, seed);
        const std::optional<std::string> iso = Iconv("ISO-2022-JP", "UTF-8", utf8);
        ASSERT_TRUE(iso.has_value());
        const std::optional<std::string> theirs = Iconv("CP932", "ISO-2022-JP", *iso);
        ASSERT_TRUE(theirs.has_value());
        const std::string ours = Ours(Iso2022JpToShiftJis, *iso);
        ASSERT_EQ(ours.size(), theirs->size());
        EXPECT_TRUE(ours == *theirs) << "seed " << seed;
    }
}

}  // namespace
}  // namespace torrim::japanese

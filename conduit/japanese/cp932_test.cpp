// Tests of the code page 932 reverse table, its lookups and the bitmap of defined codes.
#include "conduit/japanese/cp932.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <vector>

namespace torrim::japanese {
namespace {

std::vector<uint16_t> CodesOf(uint16_t unicode) {
    std::vector<uint16_t> codes;
    for (const Cp932Row& row : Cp932ReverseTable) {
        if (row.unicode == unicode) {
            codes.push_back(row.code);
        }
    }
    return codes;
}

TEST(Cp932ReverseTable, HasEveryDefinedCodeOnceInValueThenCodeOrder) {
    static_assert(sizeof(Cp932ReverseTable) / sizeof(Cp932ReverseTable[0]) == 7915);
    std::set<uint16_t> codes;
    std::set<uint16_t> values;
    size_t singles = 0;
    for (size_t i = 0; i < CP932_REVERSE_TABLE_ROWS; ++i) {
        const Cp932Row& row = Cp932ReverseTable[i];
        codes.insert(row.code);
        values.insert(row.unicode);
        if (i > 0) {
            const Cp932Row& before = Cp932ReverseTable[i - 1];
            ASSERT_TRUE(before.unicode < row.unicode ||
                        (before.unicode == row.unicode && before.code < row.code))
                << "row " << i;
        }
        if (row.code <= 0xFF) {
            ++singles;
            EXPECT_TRUE(row.code < 0x80 || IsCp932SingleByteKana(static_cast<uint8_t>(row.code)))
                << std::hex << row.code;
        } else {
            const auto lead = static_cast<uint8_t>(row.code >> 8);
            EXPECT_TRUE(IsCp932LeadByte(lead)) << std::hex << row.code;
            EXPECT_TRUE(lead < 0xF0 || lead > 0xF9) << "user-defined area " << std::hex << row.code;
            EXPECT_TRUE(IsCp932TrailByte(static_cast<uint8_t>(row.code))) << std::hex << row.code;
        }
    }
    EXPECT_EQ(codes.size(), 7915u);
    EXPECT_EQ(values.size(), 7517u);
    EXPECT_EQ(singles, 191u);
    for (uint16_t undefined : {0x80, 0xA0, 0xFD, 0xFE, 0xFF}) {
        EXPECT_EQ(codes.count(undefined), 0u) << std::hex << undefined;
    }
}

TEST(Cp932ReverseTable, TellingRows) {
    const std::map<uint16_t, std::vector<uint16_t>> expected = {
        {0x0000, {0x00}},   {0x005C, {0x5C}},           {0x007E, {0x7E}},
        {0x3000, {0x8140}}, {0x3042, {0x82A0}},         {0x4E00, {0x88EA}},
        {0xFF0D, {0x817C}}, {0xFF5E, {0x8160}},         {0xFF61, {0xA1}},
        {0xFF9F, {0xDF}},   {0x2170, {0xEEEF, 0xFA40}}, {0xFFE2, {0x81CA, 0xEEF9, 0xFA54}},
        {0x00A5, {}},
    };
    for (const auto& [unicode, codes] : expected) {
        EXPECT_EQ(CodesOf(unicode), codes) << "U+" << std::hex << unicode;
    }
}

TEST(Cp932FromUnicode, DuplicatesResolveByProbeOrder) {
    EXPECT_EQ(Cp932FromUnicode(0x2261), 0x8791);
    EXPECT_EQ(Cp932FromUnicode(0x2235), 0xFA5B);
    EXPECT_EQ(Cp932FromUnicode(0x2252), 0x81E0);
    EXPECT_EQ(Cp932FromUnicode(0x2170), 0xEEEF);
    EXPECT_EQ(Cp932FromUnicode(0xFFE2), 0x81CA);
}

TEST(Cp932FromUnicode, FindsARowOfEveryValueAndNothingElse) {
    std::map<uint16_t, std::set<uint16_t>> rows;
    for (const Cp932Row& row : Cp932ReverseTable) {
        rows[row.unicode].insert(row.code);
    }
    for (uint32_t value = 1; value <= 0xFFFF; ++value) {
        const uint16_t code = Cp932FromUnicode(value);
        const auto it = rows.find(static_cast<uint16_t>(value));
        if (it == rows.end()) {
            ASSERT_EQ(code, 0) << "U+" << std::hex << value;
        } else {
            ASSERT_EQ(it->second.count(code), 1u) << "U+" << std::hex << value;
        }
    }
    EXPECT_EQ(Cp932FromUnicode(0x0000), 0) << "U+0000 counts as unmapped";
    EXPECT_EQ(Cp932FromUnicode(0x00A5), 0);
    EXPECT_EQ(Cp932FromUnicode(0x20AC), 0);
    EXPECT_EQ(Cp932FromUnicode(0x10000), 0);
    EXPECT_EQ(Cp932FromUnicode(0x13042), 0) << "must not wrap to U+3042";
    EXPECT_EQ(Cp932FromUnicode(0xFFFFFFFF), 0);
}

TEST(Cp932DirectTable, AgreesWithTheBinarySearchEverywhere) {
    const uint16_t* table = Cp932DirectTable();
    for (uint32_t value = 0; value <= 0xFFFF; ++value) {
        ASSERT_EQ(table[value], Cp932FromUnicode(value)) << "U+" << std::hex << value;
    }
}

TEST(Cp932CodeSet, HoldsExactlyTheTableCodesExceptZero) {
    Cp932CodeSet set;
    std::memset(set.bits, 0xA5, sizeof set.bits);  // stale stack content must be cleared
    BuildCp932CodeSet(&set);
    std::set<uint16_t> codes;
    for (const Cp932Row& row : Cp932ReverseTable) {
        codes.insert(row.code);
    }
    size_t count = 0;
    for (uint32_t k = 0; k <= 0xFFFF; ++k) {
        const bool inSet = set.Contains(static_cast<uint16_t>(k));
        count += inSet ? 1 : 0;
        ASSERT_EQ(inSet, k != 0 && codes.count(static_cast<uint16_t>(k)) == 1) << std::hex << k;
    }
    EXPECT_EQ(count, 7914u);
    // Bit k lives in byte k / 8, least significant bit first.
    EXPECT_EQ(set.bits[0x82A0 / 8] & (1 << (0x82A0 % 8)), 1 << (0x82A0 % 8));
}

}  // namespace
}  // namespace torrim::japanese

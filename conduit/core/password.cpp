// Password scrambling: a classic linear congruential generator with a fixed seed masks each
// byte, and a fixed permutation scatters the 32 positions.
#include "conduit/core/password.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "platform/code_page.h"

namespace torrim {
namespace {

constexpr size_t PASSWORD_BYTES = 32;
constexpr uint32_t PASSWORD_SEED = 0x2F6B13C7u;

// Position of byte j in the stored form: j * 13 + 7 modulo 32 (13 is odd, so every
// position is used exactly once).
constexpr std::array<uint8_t, PASSWORD_BYTES> MakePermutation() {
    std::array<uint8_t, PASSWORD_BYTES> t{};
    for (size_t j = 0; j < PASSWORD_BYTES; ++j) {
        t[j] = static_cast<uint8_t>((j * 13 + 7) % PASSWORD_BYTES);
    }
    return t;
}
constexpr std::array<uint8_t, PASSWORD_BYTES> PERMUTATION = MakePermutation();

class CRandom {
public:
    explicit CRandom(uint32_t seed) : m_state(seed) {}
    uint32_t Next() {
        m_state = m_state * 214013u + 2531011u;
        return (m_state >> 16) & 0x7FFF;
    }

private:
    uint32_t m_state;
};

// The leading decimal number of a group, as the C library's atoi reads it (blanks, then an
// optional sign, then digits), reduced modulo 256 while it is read so that no length of
// digits can overflow.
uint8_t ParseGroup(std::string_view group) {
    size_t i = 0;
    while (i < group.size() && (group[i] == ' ' || (group[i] >= '\t' && group[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < group.size() && (group[i] == '+' || group[i] == '-')) {
        negative = group[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < group.size() && group[i] >= '0' && group[i] <= '9'; ++i) {
        value = (value * 10 + static_cast<uint32_t>(group[i] - '0')) % 256;
    }
    if (negative) {
        value = (256 - value) % 256;
    }
    return static_cast<uint8_t>(value);
}

}  // namespace

std::string EncodePassword(std::string_view clear, bool* wasCut) {
    const size_t kept = platform::ValidCutLength(clear, PASSWORD_BYTES);
    if (wasCut != nullptr) {
        *wasCut = kept < clear.size();
    }
    if (clear.empty()) {
        return std::string();
    }
    std::array<uint8_t, PASSWORD_BYTES> plain{};
    for (size_t j = 0; j < kept; ++j) {
        plain[j] = static_cast<uint8_t>(clear[j]);
    }
    std::array<uint8_t, PASSWORD_BYTES> scrambled{};
    CRandom random(PASSWORD_SEED);
    for (size_t j = 0; j < PASSWORD_BYTES; ++j) {
        const uint32_t r = random.Next();
        scrambled[PERMUTATION[j]] = static_cast<uint8_t>(((plain[j] ^ (r % 256)) + 1) % 256);
    }
    std::string out;
    out.reserve(PASSWORD_BYTES * 4);
    for (uint8_t value : scrambled) {
        char group[8];
        std::snprintf(group, sizeof(group), "#%d", static_cast<int>(value));
        out += group;
    }
    return out;
}

std::string DecodePassword(std::string_view stored) {
    if (stored.empty() || stored[0] != '#') {
        return std::string();
    }
    // Groups that are missing stay zero; the buffer never holds earlier contents.
    std::array<uint8_t, PASSWORD_BYTES> scrambled{};
    std::string_view rest = stored.substr(1);
    for (size_t i = 0; i < PASSWORD_BYTES; ++i) {
        const size_t hash = rest.find('#');
        const std::string_view group = rest.substr(0, hash);
        if (group.empty()) {
            break;
        }
        scrambled[i] = ParseGroup(group);
        rest = hash == std::string_view::npos ? std::string_view() : rest.substr(hash + 1);
    }
    std::string clear;
    CRandom random(PASSWORD_SEED);
    for (size_t j = 0; j < PASSWORD_BYTES; ++j) {
        const uint32_t r = random.Next();
        const uint8_t value =
            static_cast<uint8_t>(static_cast<uint8_t>(scrambled[PERMUTATION[j]] - 1) ^ (r % 256));
        if (value == 0) {
            break;
        }
        clear.push_back(static_cast<char>(value));
    }
    return clear;
}

}  // namespace torrim

// Copying text into the record's fixed 10-byte fields without splitting a double-byte
// character.
#ifndef DATETIME_TEXT_FIT_H_
#define DATETIME_TEXT_FIT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/code_page.h"

namespace chronel {

// The longest prefix of text (up to its first NUL) of at most limit bytes that ends on a
// character boundary of codePage.
inline size_t FittingLength(std::string_view text, size_t limit, uint32_t codePage) {
    size_t end = 0;
    while (end < text.size() && text[end] != '\0') {
        size_t next = end + 1;
        if (platform::IsLeadByteOf(codePage, static_cast<uint8_t>(text[end])) &&
            next < text.size() && text[next] != '\0') {
            ++next;
        }
        if (next > limit) {
            break;
        }
        end = next;
    }
    return end;
}

// Writes the fitting prefix of text and a NUL into field, zero-filling the rest.
template <size_t N>
void CopyFitting(char (&field)[N], std::string_view text, uint32_t codePage) {
    const size_t length = FittingLength(text, N - 1, codePage);
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), length);
}

}  // namespace chronel

#endif  // DATETIME_TEXT_FIT_H_

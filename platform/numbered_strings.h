// A language library's numbered string table: a constant array sorted by id, checked at
// compile time and searched by id.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace platform {

struct NumberedString {
    uint32_t id;
    const char* text;
};

// True when the ids rise strictly, so each id stands once and a binary search finds it.
template <size_t N>
constexpr bool SortedById(const NumberedString (&strings)[N]) {
    for (size_t i = 1; i < N; ++i)
        if (strings[i - 1].id >= strings[i].id)
            return false;
    return true;
}

// The text of `id`, or null when the table has none.
template <size_t N>
const char* FindNumberedString(const NumberedString (&strings)[N], uint32_t id) {
    const NumberedString* end = std::end(strings);
    const NumberedString* it =
        std::lower_bound(std::begin(strings), end, id,
                         [](const NumberedString& s, uint32_t wanted) { return s.id < wanted; });
    return it != end && it->id == id ? it->text : nullptr;
}

}  // namespace platform

// Compression of arbitrary text at an arbitrary capacity and run limit: the
// text is read only within its length, nothing is written past the returned
// length, and the output decompresses to a prefix of the text whose length is
// the stored count (the whole text when the capacity has room for it).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "intl/collate/unicode_compression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const uint32_t capacity = (data[0] | (data[1] << 8)) % 8192;
    // A few inputs split runs at a small limit; most use the default.
    const uint32_t limit = data[2] < 32 ? 1u + 4u * data[2] : glossel::COMPRESS_MAX_FIELD / 2 - 4;
    data += 3;
    size -= 3;

    // The text in an allocation of exactly its size, so any read past it is caught.
    const size_t count = size / 2;
    const std::unique_ptr<uint16_t[]> text(new uint16_t[count]);
    if (count > 0)
        std::memcpy(text.get(), data, 2 * count);

    constexpr uint8_t GUARD = 0xA5;
    std::vector<uint8_t> out(capacity + 32, GUARD);
    uint32_t length = capacity;
    const int32_t rc = glossel::CompressUnicode(text.get(), count, out.data(), &length, limit);
    if (capacity < 4) {
        if (rc != glossel::COMPRESS_ERR_SIZE)
            __builtin_trap();
        return 0;
    }
    if (rc != 0 || length > capacity)
        __builtin_trap();
    for (size_t i = length; i < out.size(); ++i) {
        if (out[i] != GUARD)
            __builtin_trap();
    }
    if (count == 0) {
        if (length != 0)
            __builtin_trap();
        return 0;
    }

    const uint32_t stored = glossel::GetCompUnicodeNoOfBytes(out.data()) / 2;
    if (stored > count || (capacity >= 8 + 4 * count && stored != count))
        __builtin_trap();
    // Only the written bytes, then zeros up to what decompression may read.
    const size_t budget = glossel::DecompressInputBudget(stored);
    if (length > budget)
        __builtin_trap();
    std::vector<uint8_t> stream(budget, 0);
    std::memcpy(stream.data(), out.data(), length);
    const std::unique_ptr<uint16_t[]> back(new uint16_t[stored]);
    if (glossel::DecompressUnicode(stream.data(), back.get(), stored) != 0 ||
        !std::equal(back.get(), back.get() + stored, text.get())) {
        __builtin_trap();
    }
    return 0;
}

// Decompression of arbitrary streams: the input may be read only up to the
// budget of its stored count, and a stream that decodes must survive a
// compress/decompress round trip unchanged.
#include <cstdint>
#include <cstring>
#include <vector>

#include "intl/collate/unicode_compression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const uint32_t capacity = (data[0] | (data[1] << 8)) % 4096;
    data += 2;
    size -= 2;

    // Exactly the bytes decompression may read: the count field and then the
    // budget of the stored count (zero bytes beyond the input are empty runs).
    std::vector<uint8_t> head(4, 0);
    std::memcpy(head.data(), data, size < 4 ? size : 4);
    const uint32_t count = glossel::GetCompUnicodeNoOfBytes(head.data()) / 2;
    const size_t readable = count > capacity ? 4 : glossel::DecompressInputBudget(count);
    std::vector<uint8_t> stream(readable, 0);
    std::memcpy(stream.data(), data, size < readable ? size : readable);

    std::vector<uint16_t> output(capacity);
    const int32_t rc = glossel::DecompressUnicode(stream.data(), output.data(), capacity);
    if (rc != 0)
        return 0;

    output.resize(count);
    std::vector<uint8_t> packed(8 + 4 * output.size());
    uint32_t length = static_cast<uint32_t>(packed.size());
    if (glossel::CompressUnicode(output.data(), output.size(), packed.data(), &length) != 0) {
        __builtin_trap();
    }
    if (output.empty())
        return 0;
    packed.resize(glossel::DecompressInputBudget(count), 0);
    std::vector<uint16_t> again(count);
    if (glossel::DecompressUnicode(packed.data(), again.data(), count) != 0 || again != output) {
        __builtin_trap();
    }
    return 0;
}

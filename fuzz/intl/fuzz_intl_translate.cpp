// Fuzzes ccIntlTranslateStr with the compiled table file: the first bytes
// choose the pair, the capacity and in-place use; the rest is the text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "intl/context.h"
#include "intl/translate.h"

namespace {

const int16_t SETS[] = {0,
                        1200,
                        932,
                        0x43A4,
                        1252,
                        1250,
                        874,
                        1258,
                        static_cast<int16_t>(0x8000),
                        static_cast<int16_t>(0x8591),
                        static_cast<int16_t>(0x8597),
                        1361};

tccIntlCtxtStruct* Context() {
    static tccIntlCtxtStruct* ctx = [] {
        tccIntlCtxtStruct* created = nullptr;
        if (glossel::CreateContext(GLOSSEL_TABLE_DIR, 2, "en", &created) != 0) {
            std::abort();
        }
        return created;
    }();
    return ctx;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    constexpr size_t SET_COUNT = sizeof SETS / sizeof SETS[0];
    const int16_t from = SETS[data[0] % SET_COUNT];
    const int16_t to = SETS[data[1] % SET_COUNT];
    const uint8_t mode = data[2];
    const uint32_t length = static_cast<uint32_t>(size - 3);
    // Capacity: exactly what the input may need, or a little less.
    uint32_t capacity = 2 * length;
    if (mode & 1) {
        capacity = capacity > (mode >> 2) ? capacity - (mode >> 2) : 0;
    }
    if (mode & 2) {
        glossel::UnloadTables(Context());
    }
    // Heap buffers of exactly the stated sizes, so that ASan sees any overrun.
    std::vector<uint8_t> source(data + 3, data + size);
    uint32_t written = capacity;
    if (mode & 0x80) {
        std::vector<uint8_t> buffer(std::max(length, capacity));
        std::copy(source.begin(), source.end(), buffer.begin());
        written = capacity;
        (void)glossel::TranslateStr(Context(), from, buffer.data(), length, to, buffer.data(),
                                    &written);
    } else {
        std::vector<uint8_t> destination(capacity);
        (void)glossel::TranslateStr(Context(), from, source.data(), length, to, destination.data(),
                                    &written);
    }
    if (written > capacity) {
        std::abort();
    }
    return 0;
}

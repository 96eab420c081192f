// Packing of 16-bit Unicode text into runs that share a high byte, and back.
// Pure functions over caller buffers: no allocation, no state.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glossel {

// Result codes shared with the library's exports.
constexpr int32_t COMPRESS_OK = 0;
// Output capacity below 4 bytes, stored count above the destination's
// capacity, or a stream that does not deliver its count within its input
// budget (see DecompressUnicode).
constexpr int32_t COMPRESS_ERR_SIZE = 3077;

// Largest value a length field can hold (30 bits).
constexpr uint32_t COMPRESS_MAX_FIELD = 0x3FFFFFFF;

// Packs `unitCount` units into `output`, whose capacity is `*outputLength`
// bytes; on return `*outputLength` holds the bytes written. Text that does not
// fit is cut after a whole number of characters and the count at the front
// says how many were kept; nothing is ever written beyond the capacity, nor
// past the returned length.
// `maxRunChars` bounds the characters of one run (runs longer than that are
// split); the default keeps every run size within a length field.
// Returns COMPRESS_OK, or COMPRESS_ERR_SIZE when the capacity is below 4.
[[nodiscard]] int32_t CompressUnicode(const uint16_t* units, size_t unitCount, uint8_t* output,
                                      uint32_t* outputLength,
                                      uint32_t maxRunChars = COMPRESS_MAX_FIELD / 2 - 4);

// Unpacks a stream into `output` (room for `capacity` characters).
// Returns COMPRESS_ERR_SIZE when the stored count exceeds `capacity`, or when
// the runs have not delivered the count within DecompressInputBudget(count)
// bytes of input (a malformed stream); the input is never read beyond that
// budget. The characters delivered before the failure stay in `output`.
[[nodiscard]] int32_t DecompressUnicode(const uint8_t* compressed, uint16_t* output,
                                        uint32_t capacity);

// Most input bytes a stream of `count` characters may span: 4 bytes per
// character (a one-character run with its separator) plus the count field and
// one leading empty run, with a little room to spare.
constexpr uint64_t DecompressInputBudget(uint32_t count) {
    return 4ull * count + 8;
}

// The stored character count × 2: the bytes that the unpacked text needs.
[[nodiscard]] uint32_t GetCompUnicodeNoOfBytes(const uint8_t* compressed);

}  // namespace glossel

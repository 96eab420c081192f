// Character-set translation over the tables of a context.
#pragma once

#include <cstdint>

#include "intl/context.h"

namespace glossel {

// Translates `sourceLength` bytes from `sourceSet` to `destinationSet` into
// `destination`, whose capacity is *destinationLength bytes on entry; on
// success *destinationLength holds the bytes written. `ctx` must be live.
// Source and destination may be the same buffer. Returns 0; 3077 when the
// capacity is below what the translation may need (nothing written, length 0);
// 2 or a file library error when a table cannot be loaded. A pair without a
// table is copied unchanged and logged; that is a success.
[[nodiscard]] int32_t TranslateStr(tccIntlCtxtStruct* ctx, int16_t sourceSet, const uint8_t* source,
                                   uint32_t sourceLength, int16_t destinationSet,
                                   uint8_t* destination, uint32_t* destinationLength);

}  // namespace glossel

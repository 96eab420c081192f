// The country-info record: built-in defaults, the registry settings and the choice of
// source.
#ifndef DATETIME_COUNTRY_INFO_H_
#define DATETIME_COUNTRY_INFO_H_

#include <cstdint>

#include "chronel/chronel.h"
#include "platform/registry.h"

namespace chronel {

// The registry key of the current user that holds the regional settings.
inline constexpr const char* INTERNATIONAL_KEY = "Control Panel\\International";

// Overwrites all 39 bytes with the built-in defaults: month/day/year with leading zeros
// and a two-digit year, "/", 12-hour clock with leading zeros, ":", "," and "." for
// numbers, "," for lists, "a" and "p", and an empty pmStringCopy.
void FillBuiltInDefaults(tccDTCtxtCountryInfoStruct* info);

// Fills all 39 bytes from the values of INTERNATIONAL_KEY; a value that is missing, not
// text, or 20 bytes or longer keeps its default. Returns false, with *info untouched,
// when the key does not exist.
[[nodiscard]] bool ReadRegistrySettings(platform::CRegistry& registry, uint32_t codePage,
                                        tccDTCtxtCountryInfoStruct* info);

// The whole look-up: the registry key when it exists, otherwise the calling thread's
// locale.
void ReadCountryInfo(platform::CRegistry& registry, uint32_t codePage,
                     tccDTCtxtCountryInfoStruct* info);

}  // namespace chronel

#endif  // DATETIME_COUNTRY_INFO_H_

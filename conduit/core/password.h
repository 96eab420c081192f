// Scrambling of the mail password as it is kept in the "Mail" settings. Shared by the
// conduit and the setup wizard, which must agree on the seed and the permutation.
// This is an obfuscation, not encryption.
#pragma once

#include <string>
#include <string_view>

namespace torrim {

// The stored form: 32 groups "#<0-255>". An empty password gives the empty text. Only the
// first 32 bytes are kept, cut at a character boundary of the active code page; *wasCut
// (when given) tells whether anything was dropped.
std::string EncodePassword(std::string_view clear, bool* wasCut = nullptr);

// The clear password of a stored form; empty for an empty text or one that does not start
// with "#". Malformed groups read as their leading digits; missing groups as zero.
std::string DecodePassword(std::string_view stored);

}  // namespace torrim

// Fuzzes the UTF-8 reading and writing of glossel translate: text cut into two pieces where
// the stream would cut it reads as the whole text does, valid text comes back byte for
// byte through UTF-16LE, and any UTF-16LE units are written as valid UTF-8.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/glossel/translate_command.h"

namespace {

// Reads `data` in two pieces split at `cut`, as the translate command reads a stream.
bool ReadInPieces(const uint8_t* data, size_t size, size_t cut, std::vector<uint8_t>* wide) {
    size_t bad = 0;
    const size_t whole = glossel_cli::WholeUtf8(data, cut, false);
    if (whole > cut || !glossel_cli::AppendUtf16(data, whole, wide, &bad))
        return false;
    const size_t rest = glossel_cli::WholeUtf8(data + whole, size - whole, true);
    return glossel_cli::AppendUtf16(data + whole, rest, wide, &bad);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const size_t cut = data[0] % size;
    ++data;
    --size;
    std::vector<uint8_t> wide;
    size_t bad = 0;
    const bool ok = glossel_cli::AppendUtf16(data, size, &wide, &bad);
    std::vector<uint8_t> pieces;
    const bool piecesOk = ReadInPieces(data, size, cut, &pieces);
    if (ok != piecesOk || (ok && wide != pieces))
        std::abort();
    if (ok) {
        // Back to UTF-8 in two pieces of whole units, a surrogate pair possibly split.
        std::string back;
        uint32_t pending = 0;
        const size_t split = (cut & ~size_t{1}) <= wide.size() ? (cut & ~size_t{1}) : 0;
        glossel_cli::AppendUtf8(wide.data(), split, &pending, &back);
        glossel_cli::AppendUtf8(wide.data() + split, wide.size() - split, &pending, &back);
        if (pending != 0 || back != std::string(data, data + size))
            std::abort();
    }
    // Any units, paired or not, become valid UTF-8.
    std::string written;
    uint32_t pending = 0;
    glossel_cli::AppendUtf8(data, size & ~size_t{1}, &pending, &written);
    if (pending != 0)
        written += "\xEF\xBF\xBD";
    std::vector<uint8_t> check;
    if (!glossel_cli::AppendUtf16(reinterpret_cast<const uint8_t*>(written.data()), written.size(),
                                  &check, &bad))
        std::abort();
    return 0;
}

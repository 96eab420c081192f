// Fuzz target: a converted-message cache entry as the Simple MAPI library reads it from its
// cache folder, both as raw file bytes and sealed with a valid header and checksum so that
// the field decoder itself is exercised.
#include <cstddef>
#include <cstdint>
#include <string>

#include "providers/simplemapi/mapi_buffer.h"
#include "providers/simplemapi/read_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const mapi::ReadCacheKey key{"1700000000.fuzz.host", 1234, 5678, 42, 1252, false, 0};
    mapi::CachedMessage out;
    (void)mapi::DecodeCacheEntry(bytes, key, &out);  // raw bytes: almost always a miss
    if (mapi::DecodeCacheEntry(mapi::SealCacheEntry(key, bytes), key, &out)) {
        MapiMessage* built = mapi::BuildMapiMessage(out.message, {});
        if (built != nullptr) {
            mapi::FreeMapiBuffer(built);
        }
        // What decodes encodes again into an entry that decodes to the same message.
        mapi::CachedMessage again;
        if (!mapi::DecodeCacheEntry(mapi::EncodeCacheEntry(key, out.message), key, &again) ||
            again.message.subject != out.message.subject ||
            again.message.noteText != out.message.noteText ||
            again.message.recips.size() != out.message.recips.size() ||
            again.message.attachments.size() != out.message.attachments.size()) {
            __builtin_trap();
        }
        for (size_t i = 0; i < out.message.attachments.size(); ++i) {
            if (again.message.attachments[i].data != out.message.attachments[i].data ||
                again.message.attachments[i].diskName != out.message.attachments[i].diskName) {
                __builtin_trap();
            }
        }
    }
    return 0;
}

// Fuzz target: the message state file as the conduit loads it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "conduit/core/message_mgr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::CArchive archive =
        platform::CArchive::ForLoading(std::string_view(reinterpret_cast<const char*>(data), size));
    torrim::CMessageMgr state;
    state.Serialize(archive);
    // Whatever was loaded must be consistent: every key 0 .. count-1 present, and the
    // lookups answering from it.
    for (uint32_t key = 0; key < state.Count(); ++key) {
        torrim::CMessage* message = state.Lookup(key);
        if (message == nullptr) {
            __builtin_trap();
        }
        if (state.FindByRecordId(message->RecordId()) > key) {
            __builtin_trap();
        }
        (void)state.FindMatching(*message);
    }
    // A loaded state stores again without trouble.
    platform::CArchive out = platform::CArchive::ForStoring();
    state.Serialize(out);
    return 0;
}

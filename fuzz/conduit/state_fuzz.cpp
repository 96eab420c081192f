// Fuzz target: the message state file as the conduit loads it.
#include <cstddef>
#include <cstdint>
#include <string>
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
        const torrim::CMessage* same = state.FindByDesktopId(message->DesktopId());
        if (same == nullptr || same->DesktopId() != message->DesktopId()) {
            __builtin_trap();
        }
        (void)state.FindMatching(*message);
        (void)state.FindByDateAndSubject(*message);
        uint32_t position = 0;
        while (const auto recipient = message->m_pRecipients->NextOfKind(1, &position)) {
            if (recipient->m_kind != 1) {
                __builtin_trap();
            }
        }
    }
    // A loaded state stores again, and what it stores reads back to the same bytes.
    platform::CArchive out = platform::CArchive::ForStoring();
    state.Serialize(out);
    const std::string bytes = out.Bytes();
    platform::CArchive in = platform::CArchive::ForLoading(bytes);
    torrim::CMessageMgr again;
    again.Serialize(in);
    platform::CArchive out2 = platform::CArchive::ForStoring();
    again.Serialize(out2);
    if (!in.Ok() || again.Count() != state.Count() || out2.Bytes() != bytes) {
        __builtin_trap();
    }
    return 0;
}

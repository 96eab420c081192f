// Fuzz target: the address text operations on arbitrary text, in a single-byte and a
// double-byte code page (chosen by the first byte).
#include <cstddef>
#include <cstdint>
#include <string>

#include "conduit/core/address.h"
#include "conduit/core/message.h"
#include "platform/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    platform::SetActiveCodePage((data[0] & 1) != 0 ? 932 : 1252);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t half = text.size() / 2;
    const std::string first = text.substr(0, half);
    const std::string second = text.substr(half);

    std::string list = text;
    for (int guard = 0; !list.empty(); ++guard) {
        const size_t before = list.size();
        (void)torrim::TakeListItem(list);
        if (list.size() >= before && !list.empty()) {
            __builtin_trap();  // every call must consume something
        }
    }
    (void)torrim::AddressOf(text);
    (void)torrim::DisplayNameOf(text);
    (void)torrim::ComposeAddress(first, second);
    (void)torrim::ContainsIgnoringCase(first, second);
    (void)torrim::HasAtSign(text);
    (void)torrim::CleanAddress(text);
    (void)torrim::DisplayNameFromNative(text);
    torrim::CMessage message;
    torrim::SplitRecipients(message, text, data[0] % 3);
    (void)torrim::JoinRecipients(message, data[0] % 3 + 1);
    return 0;
}

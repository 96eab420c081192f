// Fuzz target: a mail file as the Simple MAPI library reads it, through MIME parsing,
// text conversion and the MapiMessage layout.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "providers/simplemapi/address_book.h"
#include "providers/simplemapi/mapi_buffer.h"
#include "providers/simplemapi/mime_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the reading options.
    uint8_t mode = data[0];
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    mapi::ReadOptions options;
    options.codePage = (mode & 1) != 0 ? 932 : 1252;
    options.nativeText = (mode & 2) != 0;
    options.envelopeOnly = (mode & 4) != 0;
    options.fallbackTime = (mode & 8) != 0 ? 1700000000 : 0;
    mapi::IncomingMessage message;
    mapi::ParseMessage(text, options, &message);
    std::vector<std::string> paths;
    for (size_t i = 0; i < message.attachments.size(); ++i) {
        paths.push_back("/tmp/mapi-fuzz-" + message.attachments[i].diskName);
    }
    MapiMessage* built = mapi::BuildMapiMessage(message, paths);
    if (built != nullptr) {
        mapi::FreeMapiBuffer(built);
    }
    if ((mode & 16) != 0) {
        mapi::CAddressBook book;
        book.Parse(text, options.codePage);
        mapi::AddressEntry entry;
        (void)book.Resolve(text.substr(0, 8), &entry);  // any code is acceptable here
    }
    return 0;
}

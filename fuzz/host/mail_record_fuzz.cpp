// Fuzz target: handheld mail record and preference bytes from an image are parsed, and what
// parses packs back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/tethersync/mail_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tethersync::HandheldMail mail;
    if (tethersync::UnpackMail(bytes, &mail)) {
        std::string packed;
        // A parsed record is at most 32767 bytes, so it always packs again; the eight texts
        // and the header come back unchanged (bytes after the eighth text are not kept).
        if (!tethersync::PackMail(mail, &packed))
            std::abort();
        if (packed.substr(6) != bytes.substr(6, packed.size() - 6))
            std::abort();
    }
    tethersync::MailPreferences prefs;
    if (tethersync::UnpackPreferences(bytes, &prefs)) {
        std::string block;
        (void)tethersync::PackPreferences(prefs, &block);  // only a crash would matter here
    }
    (void)tethersync::UnpackSignature(bytes);
    return 0;
}

// Reads arbitrary text as "mail.inf" for each platform family: the result is one of the
// two codes and every kept entry has a System, an Interface and non-zero EnabledFields.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "setup/wizard/mail_inf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (velkin::PlatformFamily f :
         {velkin::PlatformFamily::Win32s, velkin::PlatformFamily::Windows95,
          velkin::PlatformFamily::WindowsNT}) {
        std::vector<velkin::MailSystemEntry> kept;
        int32_t r = velkin::ReadMailInf(text, f, &kept);
        if (r != velkin::MAIL_INF_FILLED && r != velkin::MAIL_INF_DAMAGED)
            std::abort();
        for (const auto& e : kept)
            if (e.system.empty() || e.interface.empty() || e.enabledFields == 0 ||
                e.system.size() > 255 || e.interface.size() > 255)
                std::abort();
    }
    return 0;
}

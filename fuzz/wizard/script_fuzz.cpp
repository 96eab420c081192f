// Parses arbitrary text as a wizard script: every command parsed must carry a valid verb,
// a line within the text, and for the answer command one of the four answers.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ui/script.h"
#include "ui/ui.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<ui::ScriptCommand> cmds;
    std::string error;
    bool ok = ui::ParseScript(text, &cmds, &error);
    if (!ok && error.rfind("line ", 0) != 0)
        std::abort();
    int32_t lines = 1;
    for (char c : text)
        lines += c == '\n';
    int32_t last = 0;
    for (const ui::ScriptCommand& c : cmds) {
        if (c.line <= last || c.line > lines)
            std::abort();
        last = c.line;
        if (c.verb == ui::ScriptVerb::Answer && c.id != ui::IDOK && c.id != ui::IDCANCEL &&
            c.id != ui::IDYES && c.id != ui::IDNO)
            std::abort();
    }
    return 0;
}

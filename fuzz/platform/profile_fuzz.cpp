// Parses arbitrary text as a profile, queries and changes it; serialising must be stable and
// changes must read back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::CProfile profile;
    profile.Parse(text);
    std::string first = profile.Serialize();
    for (const std::string& section : profile.SectionNames()) {
        for (const std::string& key : profile.KeyNames(section)) {
            (void)profile.GetValue(section, key);
        }
    }
    platform::CProfile again;
    again.Parse(first);
    if (again.Serialize() != first)
        std::abort();

    // Use a piece of the input as names, as long as it is a name the writer accepts.
    std::string name(text.substr(0, std::min<size_t>(size, 8)));
    if (name.find_first_of("\r\n]=[;") != std::string::npos)
        return 0;
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.pop_back();
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
        name.erase(0, 1);
    if (name.empty())
        return 0;
    again.SetValue(name, name, "value");
    platform::CProfile reread;
    reread.Parse(again.Serialize());
    if (reread.GetValue(name, name).value_or("") != "value")
        std::abort();
    reread.DeleteKey(name, name);
    reread.DeleteSection(name);
    (void)reread.Serialize();
    return 0;
}

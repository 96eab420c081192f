// Incoming Simple MAPI messages from arbitrary bytes: the fields are the input cut at 0xFF
// bytes; the first byte picks the code page and the second the flags and file count. The
// converted message must leave the mail system's pointers as they were.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "conduit/backends/mapi_conduit.h"
#include "conduit/backends/unwrap.h"
#include "conduit/core/fake_host_test_util.h"
#include "platform/code_page.h"

namespace {

void IgnoreProgress(const char*) {}

class CFuzzProbe : public torrim::CMapiConduit {
public:
    CFuzzProbe(torrim::CFakeHost& host, torrim::MailSettings& settings, const SyncProperties& props)
        : CMapiConduit(host, settings, &IgnoreProgress, props) {}
    void Convert(MapiMessage* incoming, torrim::CMessage* message) {
        m_pIncoming = incoming;
        ConvertIncoming(message);
        m_pIncoming = nullptr;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    static torrim::CFakeHost host;
    static torrim::MailSettings settings;
    static SyncProperties props{};
    host.m_strings[6006] = "* There are %d file(s) attached to this message on your Desktop.";
    platform::SetActiveCodePage((data[0] & 1) != 0 ? 932 : 1252);
    const uint8_t flags = data[1];

    std::vector<std::string> fields(9);
    size_t field = 0;
    for (size_t i = 2; i < size; ++i) {
        if (data[i] == 0xFF) {
            field = (field + 1) % fields.size();
        } else {
            fields[field].push_back(static_cast<char>(data[i]));
        }
    }
    // A field that starts with 0x01 stands for a missing text.
    auto text = [&](size_t i) -> char* {
        return !fields[i].empty() && fields[i][0] == '\x01' ? nullptr : fields[i].data();
    };
    MapiRecipDesc originator{0, MAPI_ORIG, text(4), text(5), 0, nullptr};
    MapiRecipDesc recipients[2] = {
        {0, static_cast<ULONG>(flags & 3), text(6), text(7), 0, nullptr},
        {0, static_cast<ULONG>((flags >> 2) & 7), text(7), text(8), 0, nullptr}};
    MapiMessage incoming{0,
                         text(0),
                         text(1),
                         nullptr,
                         text(2),
                         text(3),
                         static_cast<FLAGS>(flags & 3),
                         (flags & 0x20) != 0 ? &originator : nullptr,
                         static_cast<ULONG>((flags >> 6) & 3) % 3,
                         recipients,
                         static_cast<ULONG>(flags >> 5),
                         nullptr};
    const MapiMessage before = incoming;
    const MapiRecipDesc originatorBefore = originator;

    CFuzzProbe conduit(host, settings, props);
    torrim::CMessage message;
    conduit.Convert(&incoming, &message);
    if (incoming.lpszNoteText != before.lpszNoteText ||
        incoming.lpszSubject != before.lpszSubject ||
        originator.lpszName != originatorBefore.lpszName ||
        originator.lpszAddress != originatorBefore.lpszAddress) {
        std::abort();  // the converter's copies must never outlive the conversion
    }

    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    (void)torrim::UnwrapText(raw);
    (void)torrim::UnwrapText932(raw);
    return 0;
}

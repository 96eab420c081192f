// Fuzz target: the handheld mail preference block and signature.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "conduit/core/fake_host_test_util.h"
#include "conduit/core/filter.h"
#include "conduit/core/mail_settings.h"
#include "conduit/core/message.h"
#include "conduit/core/record_converter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static torrim::CFakeHost host;
    torrim::MailSettings settings;
    torrim::CMailRecordConverter converter(host, settings);
    std::vector<uint8_t> block(data, data + size);
    PreferenceRequest request;
    std::memset(&request, 0, sizeof(request));
    request.buffer = block.data();
    request.bufferSize = static_cast<uint32_t>(block.size());
    request.bytesRead = static_cast<uint16_t>(std::min<size_t>(block.size(), 0xFFFF));
    torrim::CFilter prefs;
    if (converter.UnpackPreferences(prefs, request) != 0) {
        __builtin_trap();
    }
    if (static_cast<uint32_t>(prefs.m_toCount + prefs.m_fromCount + prefs.m_subjectCount) !=
        prefs.m_words->Count()) {
        __builtin_trap();
    }
    (void)converter.UnpackSignature(request);
    torrim::CMessage message;
    message.SetSubject(std::string(reinterpret_cast<const char*>(data), size));
    (void)torrim::PassesFilter(prefs, message);
    return 0;
}

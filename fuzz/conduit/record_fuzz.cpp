// Fuzz target: handheld mail records as the conduit unpacks them, then packs them again.
// The first two bytes choose the attributes and the code page; the rest is the record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "conduit/core/fake_host_test_util.h"
#include "conduit/core/filter.h"
#include "conduit/core/mail_settings.h"
#include "conduit/core/message.h"
#include "conduit/core/record_converter.h"
#include "platform/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    platform::SetActiveCodePage((data[1] & 1) != 0 ? 932 : 1252);
    static torrim::CFakeHost host;
    torrim::MailSettings settings;
    settings.SetUserAccount("me");
    torrim::CMailRecordConverter converter(host, settings);
    torrim::CFilter prefs;
    // The record sits alone in an exactly sized buffer, so any read beyond it is caught.
    std::vector<uint8_t> record(data + 2, data + size);
    RecordRequest request;
    std::memset(&request, 0, sizeof(request));
    request.attributes = data[0];
    request.buffer = record.data();
    request.bufferSize = static_cast<uint16_t>(std::min<size_t>(record.size(), 0xFFFF));
    request.recordSize = (data[1] & 2) != 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(record.size());
    torrim::CMessage message;
    if (converter.UnpackRecord(&prefs, message, request) != 0) {
        return 0;
    }
    std::vector<uint8_t> packed(torrim::MAX_RECORD_SIZE);
    RecordRequest out;
    std::memset(&out, 0, sizeof(out));
    out.buffer = packed.data();
    out.bufferSize = static_cast<uint16_t>(packed.size());
    prefs.m_maxSize = (data[1] & 4) != 0 ? 0xFFFF : 4000;
    const int32_t result = converter.PackRecord(&prefs, message, out);
    if (result < 0 || out.recordSize > torrim::MAX_RECORD_SIZE || out.recordSize < 14) {
        __builtin_trap();
    }
    return 0;
}

// A message file of any content read through everything a VIM message handle answers:
// header items into exact-size and short buffers, items with their contents, recipients.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "providers/vim/vim.h"
#include "providers/vim/vim_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    vim::CIncoming message;
    message.Load(bytes, size > 0 && data[0] == 'J' ? 932 : 1252, 1700000000);

    VIMADDRESS from{};
    char subject[256];
    char conversation[8];
    uint32_t date[3];
    uint16_t words[3];
    VIMATTRDESC header[] = {{VIM_ITEM_ORIGINATOR, sizeof from, &from},
                            {VIM_ITEM_SUBJECT, sizeof subject, subject},
                            {VIM_ITEM_CONVERSATION_ID, sizeof conversation, conversation},
                            {VIM_ITEM_DATE, sizeof date, date},
                            {VIM_ITEM_PRIORITY, 2, &words[0]},
                            {VIM_ITEM_READ_CONFIRM, 2, &words[1]},
                            {VIM_ITEM_DELIVERY_CONFIRM, 2, &words[2]},
                            {VIM_ITEM_DATE, 4, date}};
    (void)message.GetHeader(sizeof header / sizeof header[0], header);

    VIMPOS position{};
    for (int guard = 0; guard < 10000; ++guard) {
        VIMITEMDESC items[2];
        uint16_t count = 2;
        uint16_t more = 0;
        if (message.EnumerateItems(&position, &count, items, &more) != 0 || count == 0) {
            break;
        }
        for (uint16_t i = 0; i < count; ++i) {
            std::string contents;
            (void)message.ItemContents(items[i].ref, &contents);
        }
        if (more == 0) {
            break;
        }
    }
    for (uint32_t cls : {uint32_t{VIM_CLASS_TO}, uint32_t{VIM_CLASS_CC}, uint32_t{VIM_CLASS_BCC}}) {
        VIMPOS at{};
        for (int guard = 0; guard < 10000; ++guard) {
            VIMADDRESS records[3];
            VIMATTRDESC desc{VIM_ATTR_RECIPIENT, sizeof records[0], records};
            uint16_t count = 3;
            uint16_t more = 0;
            if (message.EnumerateRecipients(cls, &at, 1, &desc, &count, &more) != 0 || count == 0 ||
                more == 0) {
                break;
            }
        }
    }
    return 0;
}

/* A VIM library with only what a logon and a walk of one message need, for the tests of
 * missing entry points, the Notes folder rule (it notes the current directory when it is
 * loaded) and a text chunk whose size word claims the whole 8192-byte buffer. */
#include <string.h>
#include <unistd.h>

#include "providers/vim/vim.h"

#define EXPORT __attribute__((visibility("default")))

static char g_cwdAtLoad[4096];
static int g_chunks;
static int g_dummy;

__attribute__((constructor)) static void NoteDirectory(void) {
    if (getcwd(g_cwdAtLoad, sizeof g_cwdAtLoad) == NULL) {
        g_cwdAtLoad[0] = '\0';
    }
}

EXPORT const char* FakeVimCwdAtLoad(void) {
    return g_cwdAtLoad;
}
EXPORT VIMSTATUS VIMInitialize(void) {
    return 0;
}
EXPORT VIMSTATUS VIMTerminate(void) {
    return 0;
}
EXPORT VIMSTATUS VIMQueryCapability(uint32_t capability, uint32_t size, void* value) {
    (void)capability;
    if (size >= 4) {
        uint32_t version = 0x10000;
        memcpy(value, &version, 4);
    }
    return 0;
}
EXPORT VIMSTATUS VIMOpenSession(const char* po, const char* user, const char* password,
                                uint32_t version, uint32_t charSet, VIMSES* session) {
    (void)po, (void)user, (void)password, (void)version, (void)charSet;
    *session = (VIMSES)&g_dummy;
    return 0;
}
EXPORT VIMSTATUS VIMCloseSession(VIMSES session) {
    (void)session;
    return 0;
}
EXPORT VIMSTATUS VIMOpenMessageContainer(VIMSES session, const char* name, VIMCONT* container) {
    (void)session, (void)name;
    *container = (VIMCONT)&g_dummy;
    return 0;
}
EXPORT VIMSTATUS VIMCloseMessageContainer(VIMCONT container) {
    (void)container;
    return 0;
}
EXPORT VIMSTATUS VIMEnumerateMessages(VIMCONT container, VIMPOS* position, int32_t direction,
                                      uint32_t attrCount, VIMATTRDESC* attrs, uint16_t* count,
                                      uint32_t filterType, const void* filter, uint32_t filterSize,
                                      uint16_t* more) {
    (void)container, (void)direction, (void)filterType, (void)filter, (void)filterSize;
    if (position->word1 != 0 || *count == 0) {
        *count = 0;
        *more = 0;
        return 0;
    }
    for (uint32_t a = 0; a < attrCount; ++a) {
        if (attrs[a].item == VIM_ATTR_MESSAGE_REF) {
            VIMREF ref = {7, 7};
            memcpy(attrs[a].buffer, &ref, sizeof ref);
        } else {
            uint16_t unread = 1;
            memcpy(attrs[a].buffer, &unread, sizeof unread);
        }
    }
    position->word1 = 1;
    *count = 1;
    *more = 0;
    return 0;
}
EXPORT VIMSTATUS VIMOpenMessage(VIMCONT container, VIMREF ref, const char* password,
                                VIMMSG* message) {
    (void)container, (void)ref, (void)password;
    *message = (VIMMSG)&g_dummy;
    return 0;
}
EXPORT VIMSTATUS VIMCloseMessage(VIMMSG message) {
    (void)message;
    return 0;
}
EXPORT VIMSTATUS VIMEnumerateMessageItems(VIMMSG message, VIMPOS* position, int32_t direction,
                                          uint16_t* count, VIMITEMDESC* items, uint32_t filterType,
                                          const void* filter, uint16_t* more) {
    (void)message, (void)direction, (void)filterType, (void)filter;
    *more = 0;
    if (position->word1 != 0) {
        *count = 0;
        return 0;
    }
    memset(items, 0, sizeof *items);
    items->itemClass = VIM_CLASS_TEXT;
    items->ref.key1 = 1;
    position->word1 = 1;
    *count = 1;
    return 0;
}
EXPORT VIMSTATUS VIMOpenMessageItem(VIMMSG message, VIMREF item, const char* type, uint32_t flags,
                                    VIMITEM* handle) {
    (void)message, (void)item, (void)type, (void)flags;
    g_chunks = 0;
    *handle = (VIMITEM)&g_dummy;
    return 0;
}
/* The first chunk fills the room it is given and then claims 8192 bytes in both counts. */
EXPORT VIMSTATUS VIMReadMessageItem(VIMITEM item, VIMBUFDESC* buffer) {
    (void)item;
    if (g_chunks++ > 0) {
        buffer->size = 0;
        buffer->bytesRead = 0;
        return 0;
    }
    memset(buffer->buffer, 'x', buffer->size);
    buffer->size = 8192;
    buffer->bytesRead = 8192;
    return 0;
}
EXPORT VIMSTATUS VIMCloseMessageItem(VIMITEM item) {
    (void)item;
    return 0;
}

// The VIM C interface as the conduit and the wizard call it, and as our client library
// ("vim32.dll" -> libvim32.so) provides it: status codes, item, class and attribute
// codes, descriptor and record layouts, and the function prototypes.
//
// Numbers are 32-bit; handles are pointer-sized opaque pointers. Records that cross the
// interface byte for byte (the address record) are packed and pinned below.
//
// Ownership: every handle a function hands out belongs to the caller until it is given
// back with its close call; VIMSendMessage takes a message over when it succeeds (the
// caller must not close it then) and leaves it with the caller when it fails. Buffers
// named by descriptors belong to the caller; the library only writes into them, never
// past the size the descriptor gives.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t VIMSTATUS;

// Opaque handles.
typedef struct VimSession* VIMSES;
typedef struct VimContainer* VIMCONT;
typedef struct VimMessage* VIMMSG;
typedef struct VimItem* VIMITEM;
typedef struct VimAddressBook* VIMAB;

// Message reference: two 32-bit words, passed by value.
typedef struct VIMREF {
    uint32_t key1;
    uint32_t key2;
} VIMREF;

// Enumeration position, 8 bytes; zero = from the start.
typedef struct VIMPOS {
    uint32_t word1;
    uint32_t word2;
} VIMPOS;

// Attribute descriptor: which item, how many bytes per entry, where to put them.
typedef struct VIMATTRDESC {
    uint32_t item;
    uint32_t size;
    void* buffer;
} VIMATTRDESC;

// Buffer descriptor of VIMReadMessageItem. In: size = room in buffer. Out: size and
// bytesRead = bytes delivered by this call (0 at the end of the item); offset = bytes
// delivered so far.
typedef struct VIMBUFDESC {
    uint32_t size;
    void* buffer;
    uint32_t bytesRead;
    uint32_t offset;
} VIMBUFDESC;

// Data given to VIMSetMessageItem.
typedef struct VIMDATA {
    uint32_t size;
    const void* data;
} VIMDATA;

// Description of one message item, as VIMEnumerateMessageItems delivers it.
typedef struct VIMITEMDESC {
    uint32_t itemClass;  // VIM_CLASS_TEXT or VIM_CLASS_FILE
    VIMREF ref;          // for VIMOpenMessageItem
    uint32_t size;       // bytes of the item's contents
    char type[32];       // "VIM_TEXT" or "VIM_FILE"
    char name[256];      // the item's name (file items: the attachment's name)
    char fileName[256];  // file name ("" for text)
    char description[256];
} VIMITEMDESC;

// Address record: an address-book entity block and an address block, 2316 bytes, numbers
// little-endian on every platform we build for, texts NUL-terminated.
#define VIM_ADDRESS_RECORD_SIZE 2316
#pragma pack(push, 1)
typedef struct VIMADDRESS {
    uint32_t recordType;     // VIM_RECORD_ADDRESS (101)
    uint32_t entityBlock;    // VIM_BLOCK_START (55)
    char bookName[256];      // address-book name ("" when none)
    char displayName[1024];  // display name, or the entry text after an address-book match
    uint32_t addressBlock;   // VIM_BLOCK_START (55)
    char address[1024];      // address text
} VIMADDRESS;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(offsetof(VIMADDRESS, recordType) == 0, "record type at 0");
static_assert(offsetof(VIMADDRESS, entityBlock) == 4, "entity block at 4");
static_assert(offsetof(VIMADDRESS, bookName) == 8, "book name at 8");
static_assert(offsetof(VIMADDRESS, displayName) == 264, "display name at 264");
static_assert(offsetof(VIMADDRESS, addressBlock) == 1288, "address block at 1288");
static_assert(offsetof(VIMADDRESS, address) == 1292, "address at 1292");
static_assert(sizeof(VIMADDRESS) == VIM_ADDRESS_RECORD_SIZE, "address record is 2316 bytes");
static_assert(sizeof(VIMREF) == 8 && sizeof(VIMPOS) == 8, "references and positions are 8 bytes");
#endif

// ---- status codes ----
#define VIMSTS_SUCCESS 0
#define VIMSTS_FAILURE 1  // any failure without a code of its own
#define VIMSTS_OUT_OF_MEMORY 2
#define VIMSTS_BAD_PARAM 3        // null or malformed argument
#define VIMSTS_NOT_INITIALIZED 4  // VIMInitialize not called
#define VIMSTS_INVALID_HANDLE 5   // a handle this library did not hand out, or closed
#define VIMSTS_NO_SUCH_MESSAGE 6  // no message with this reference
#define VIMSTS_NO_SUCH_ITEM 7
#define VIMSTS_UNSUPPORTED 8         // an item, attribute or type this library does not know
#define VIMSTS_NO_MATCH 9            // an address-book match found nothing
#define VIMSTS_BAD_PASSWORD 11       // the account exists, the password is wrong
#define VIMSTS_DAMAGED_FILE 12       // a user list, address book or message that cannot be read
#define VIMSTS_NO_RECIPIENTS 13      // a message without recipients
#define VIMSTS_UNKNOWN_USER 15       // no account of that name in the post office
#define VIMSTS_UNKNOWN_RECIPIENT 16  // neither an account nor an address of the gateway
#define VIMSTS_SEND_FAILED 17        // the delivery or the gateway refused or failed
#define VIMSTS_DISK_FULL 18
#define VIMSTS_NO_POST_OFFICE 22  // the post office folder is missing or unreadable
#define VIMSTS_NO_SUCH_BOOK 23

// ---- header items, attributes and classes ----
#define VIM_ITEM_CONVERSATION_ID 15
#define VIM_ITEM_DATE 19              // 12 bytes: reserved word, date word, time word
#define VIM_ITEM_DELIVERY_CONFIRM 21  // 2 bytes
#define VIM_ITEM_ORIGINATOR 34        // VIMADDRESS
#define VIM_ITEM_FLAG_59 59           // 2 bytes, accepted when sending
#define VIM_ITEM_FLAG_60 60           // 2 bytes, accepted when sending
#define VIM_ITEM_PRIORITY 71          // 2 bytes: 2 high, 1 normal, 0 low
#define VIM_ITEM_READ_CONFIRM 79      // 2 bytes
#define VIM_ITEM_SUBJECT 91
#define VIM_ATTR_MESSAGE_REF 76   // enumeration: VIMREF of each message
#define VIM_ATTR_UNREAD 103       // enumeration: uint16, non-zero while unread
#define VIM_ATTR_RECIPIENT 75     // VIMADDRESS of one recipient
#define VIM_ATTR_ENTITY_NAME 53   // address books: a book's name / an entry's name
#define VIM_ATTR_ADDRESS_BLOCK 1  // address books: block word + address text (1028 bytes)
#define VIM_ATTR_MATCH_NAME 73    // address-book match by name or address
#define VIM_MATCH_EXACT 36        // equal, ignoring case

#define VIM_CLASS_TO 97
#define VIM_CLASS_CC 10
#define VIM_CLASS_BCC 9
#define VIM_CLASS_TEXT 62
#define VIM_CLASS_FILE 6

#define VIM_FILTER_ALL 58  // enumeration filter: every message / item
#define VIM_RECORD_ADDRESS 101
#define VIM_BLOCK_START 55
#define VIM_TEXT_FLAG_CRLF 55  // VIMOpenMessageItem flags: text as stored (CR LF)

#define VIM_CAP_VERSION 106      // VIMQueryCapability: the 4-byte interface version
#define VIM_VERSION 0x00010000u  // the version this library answers
#define VIM_CHARSET_SHIFT_JIS 277
#define VIM_CHARSET_ANSI 16

#define VIM_DATE_NONE 0xFFFFFFFFu  // date or time word meaning "none"

// ---- functions ----
VIMSTATUS VIMInitialize(void);
VIMSTATUS VIMTerminate(void);
VIMSTATUS VIMQueryCapability(uint32_t capability, uint32_t size, void* value);
VIMSTATUS VIMOpenSession(const char* postOffice, const char* user, const char* password,
                         uint32_t version, uint32_t charSet, VIMSES* session);
VIMSTATUS VIMCloseSession(VIMSES session);
VIMSTATUS VIMGetDefaultSessionInfo(uint32_t pathSize, char* path, uint32_t nameSize, char* name);

VIMSTATUS VIMOpenMessageContainer(VIMSES session, const char* name, VIMCONT* container);
VIMSTATUS VIMCloseMessageContainer(VIMCONT container);
// Fills up to *count entries of each descriptor (entry i at buffer + i * size) with the
// messages after *position; *count becomes the number delivered, *more non-zero while
// messages remain after them. direction 1 = forward.
VIMSTATUS VIMEnumerateMessages(VIMCONT container, VIMPOS* position, int32_t direction,
                               uint32_t attrCount, VIMATTRDESC* attrs, uint16_t* count,
                               uint32_t filterType, const void* filter, uint32_t filterSize,
                               uint16_t* more);
VIMSTATUS VIMOpenMessage(VIMCONT container, VIMREF ref, const char* password, VIMMSG* message);
VIMSTATUS VIMCloseMessage(VIMMSG message);
VIMSTATUS VIMGetMessageHeader(VIMMSG message, uint32_t attrCount, VIMATTRDESC* attrs);
VIMSTATUS VIMEnumerateMessageItems(VIMMSG message, VIMPOS* position, int32_t direction,
                                   uint16_t* count, VIMITEMDESC* items, uint32_t filterType,
                                   const void* filter, uint16_t* more);
VIMSTATUS VIMOpenMessageItem(VIMMSG message, VIMREF item, const char* type, uint32_t flags,
                             VIMITEM* handle);
VIMSTATUS VIMReadMessageItem(VIMITEM item, VIMBUFDESC* buffer);
VIMSTATUS VIMCloseMessageItem(VIMITEM item);
VIMSTATUS VIMEnumerateMessageRecipients(VIMMSG message, uint32_t recipientClass, VIMPOS* position,
                                        int32_t direction, uint32_t attrCount, VIMATTRDESC* attrs,
                                        uint16_t* count, uint16_t* more);

VIMSTATUS VIMCreateMessage(VIMSES session, const char* type, VIMMSG* message);
VIMSTATUS VIMSetMessageHeader(VIMMSG message, uint32_t item, uint32_t size, const void* value);
VIMSTATUS VIMSetMessageRecipient(VIMMSG message, uint32_t recipientClass,
                                 const VIMADDRESS* address);
VIMSTATUS VIMSetMessageItem(VIMMSG message, uint32_t itemClass, const char* type, const char* name,
                            const char* fileName, const VIMDATA* data);
VIMSTATUS VIMSendMessage(VIMMSG message, const void* callback, uint32_t flags);

VIMSTATUS VIMMarkMessageAsRead(VIMCONT container, VIMREF ref);
VIMSTATUS VIMSetMessageCategory(VIMCONT container, VIMREF ref, const char* category);

VIMSTATUS VIMEnumerateAddressBooks(VIMSES session, VIMPOS* position, int32_t direction,
                                   uint32_t attrCount, VIMATTRDESC* attrs, uint16_t* count,
                                   uint16_t* more);
VIMSTATUS VIMOpenAddressBook(VIMSES session, const char* name, VIMAB* book);
VIMSTATUS VIMMatchAddressBook(VIMAB book, uint32_t entityType, uint32_t scope, uint32_t reserved,
                              uint32_t attribute, const char* value, uint32_t matchType,
                              VIMREF* entry, uint32_t flags);
VIMSTATUS VIMGetABEntryAttributes(VIMAB book, VIMREF entry, uint32_t reserved, uint32_t attrCount,
                                  VIMATTRDESC* attrs);
VIMSTATUS VIMCloseAddressBook(VIMAB book);

// Pointer types for the look-ups by name.
typedef VIMSTATUS (*LPVIMINITIALIZE)(void);
typedef VIMSTATUS (*LPVIMTERMINATE)(void);
typedef VIMSTATUS (*LPVIMQUERYCAPABILITY)(uint32_t, uint32_t, void*);
typedef VIMSTATUS (*LPVIMOPENSESSION)(const char*, const char*, const char*, uint32_t, uint32_t,
                                      VIMSES*);
typedef VIMSTATUS (*LPVIMCLOSESESSION)(VIMSES);
typedef VIMSTATUS (*LPVIMGETDEFAULTSESSIONINFO)(uint32_t, char*, uint32_t, char*);
typedef VIMSTATUS (*LPVIMOPENMESSAGECONTAINER)(VIMSES, const char*, VIMCONT*);
typedef VIMSTATUS (*LPVIMCLOSEMESSAGECONTAINER)(VIMCONT);
typedef VIMSTATUS (*LPVIMENUMERATEMESSAGES)(VIMCONT, VIMPOS*, int32_t, uint32_t, VIMATTRDESC*,
                                            uint16_t*, uint32_t, const void*, uint32_t, uint16_t*);
typedef VIMSTATUS (*LPVIMOPENMESSAGE)(VIMCONT, VIMREF, const char*, VIMMSG*);
typedef VIMSTATUS (*LPVIMCLOSEMESSAGE)(VIMMSG);
typedef VIMSTATUS (*LPVIMGETMESSAGEHEADER)(VIMMSG, uint32_t, VIMATTRDESC*);
typedef VIMSTATUS (*LPVIMENUMERATEMESSAGEITEMS)(VIMMSG, VIMPOS*, int32_t, uint16_t*, VIMITEMDESC*,
                                                uint32_t, const void*, uint16_t*);
typedef VIMSTATUS (*LPVIMOPENMESSAGEITEM)(VIMMSG, VIMREF, const char*, uint32_t, VIMITEM*);
typedef VIMSTATUS (*LPVIMREADMESSAGEITEM)(VIMITEM, VIMBUFDESC*);
typedef VIMSTATUS (*LPVIMCLOSEMESSAGEITEM)(VIMITEM);
typedef VIMSTATUS (*LPVIMENUMERATEMESSAGERECIPIENTS)(VIMMSG, uint32_t, VIMPOS*, int32_t, uint32_t,
                                                     VIMATTRDESC*, uint16_t*, uint16_t*);
typedef VIMSTATUS (*LPVIMCREATEMESSAGE)(VIMSES, const char*, VIMMSG*);
typedef VIMSTATUS (*LPVIMSETMESSAGEHEADER)(VIMMSG, uint32_t, uint32_t, const void*);
typedef VIMSTATUS (*LPVIMSETMESSAGERECIPIENT)(VIMMSG, uint32_t, const VIMADDRESS*);
typedef VIMSTATUS (*LPVIMSETMESSAGEITEM)(VIMMSG, uint32_t, const char*, const char*, const char*,
                                         const VIMDATA*);
typedef VIMSTATUS (*LPVIMSENDMESSAGE)(VIMMSG, const void*, uint32_t);
typedef VIMSTATUS (*LPVIMMARKMESSAGEASREAD)(VIMCONT, VIMREF);
typedef VIMSTATUS (*LPVIMSETMESSAGECATEGORY)(VIMCONT, VIMREF, const char*);
typedef VIMSTATUS (*LPVIMENUMERATEADDRESSBOOKS)(VIMSES, VIMPOS*, int32_t, uint32_t, VIMATTRDESC*,
                                                uint16_t*, uint16_t*);
typedef VIMSTATUS (*LPVIMOPENADDRESSBOOK)(VIMSES, const char*, VIMAB*);
typedef VIMSTATUS (*LPVIMMATCHADDRESSBOOK)(VIMAB, uint32_t, uint32_t, uint32_t, uint32_t,
                                           const char*, uint32_t, VIMREF*, uint32_t);
typedef VIMSTATUS (*LPVIMGETABENTRYATTRIBUTES)(VIMAB, VIMREF, uint32_t, uint32_t, VIMATTRDESC*);
typedef VIMSTATUS (*LPVIMCLOSEADDRESSBOOK)(VIMAB);

#ifdef __cplusplus
}
#endif

// The exported VIM functions: live handles kept in one table under a lock, one guard per
// export so that no exception leaves the library.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/file_util.h"
#include "platform/profile.h"
#include "providers/vim/vim.h"
#include "providers/vim/vim_store.h"

#define VIM_EXPORT extern "C" __attribute__((visibility("default")))

// What the opaque handles point at.
struct VimSession {
    vim::CSession session;
};
struct VimContainer {
    VimSession* session = nullptr;
};
struct VimMessage {
    VimSession* session = nullptr;
    bool outgoing = false;
    vim::CIncoming incoming;
    vim::COutgoing composed;
};
struct VimItem {
    std::string contents;
    size_t offset = 0;
};
struct VimAddressBook {
    std::string name;
    std::vector<vim::BookEntry> entries;
    VimSession* session = nullptr;
};

namespace {

// Handles are the objects' addresses; every call checks its handle against the live ones,
// so a closed or foreign handle is refused instead of being followed.
struct HandleTable {
    std::mutex lock;
    int initialized = 0;
    std::set<VimSession*> sessions;
    std::set<VimContainer*> containers;
    std::set<VimMessage*> messages;
    std::set<VimItem*> items;
    std::set<VimAddressBook*> books;

    void CloseAll() {
        for (VimItem* p : items)
            delete p;
        for (VimMessage* p : messages)
            delete p;
        for (VimContainer* p : containers)
            delete p;
        for (VimAddressBook* p : books)
            delete p;
        for (VimSession* p : sessions)
            delete p;
        items.clear();
        messages.clear();
        containers.clear();
        books.clear();
        sessions.clear();
    }
};

HandleTable& Table() {
    static auto* table = new HandleTable();
    return *table;
}

template <typename Body>
VIMSTATUS Guarded(Body body) noexcept {
    try {
        HandleTable& table = Table();
        std::lock_guard<std::mutex> guard(table.lock);
        return static_cast<VIMSTATUS>(body(table));
    } catch (const std::bad_alloc&) {
        return VIMSTS_OUT_OF_MEMORY;
    } catch (...) {
        return VIMSTS_FAILURE;
    }
}

template <typename T>
bool Live(const std::set<T*>& set, T* handle) {
    return handle != nullptr && set.count(handle) == 1;
}

// The default session of this desktop: "vim.ini" in the Windows directory, section
// [Default], keys PostOffice and User.
std::string DefaultSetting(const char* key) {
    char buffer[1024];
    platform::GetPrivateProfileString("Default", key, "", buffer, sizeof buffer, "vim.ini");
    return buffer;
}

void CopyOut(const std::string& text, char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) {
        return;
    }
    const size_t length = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace

VIM_EXPORT VIMSTATUS VIMInitialize(void) {
    return Guarded([](HandleTable& t) {
        ++t.initialized;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMTerminate(void) {
    return Guarded([](HandleTable& t) -> int32_t {
        if (t.initialized == 0) {
            return VIMSTS_NOT_INITIALIZED;
        }
        if (--t.initialized == 0) {
            t.CloseAll();  // what the caller left open ends with the library's use
        }
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMQueryCapability(uint32_t capability, uint32_t size, void* value) {
    return Guarded([&](HandleTable&) -> int32_t {
        if (capability != VIM_CAP_VERSION) {
            return VIMSTS_UNSUPPORTED;
        }
        if (value == nullptr || size < 4) {
            return VIMSTS_BAD_PARAM;
        }
        const uint32_t version = VIM_VERSION;
        std::memcpy(value, &version, sizeof version);
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMGetDefaultSessionInfo(uint32_t pathSize, char* path, uint32_t nameSize,
                                              char* name) {
    return Guarded([&](HandleTable&) -> int32_t {
        CopyOut(DefaultSetting("PostOffice"), path, pathSize);
        CopyOut(DefaultSetting("User"), name, nameSize);
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMOpenSession(const char* postOffice, const char* user, const char* password,
                                    uint32_t version, uint32_t charSet, VIMSES* session) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (session == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
        *session = nullptr;
        if (t.initialized == 0) {
            return VIMSTS_NOT_INITIALIZED;
        }
        (void)version;  // every version so far speaks the same calls
        // No post office named: the desktop's default one.
        const std::string folder = postOffice != nullptr && postOffice[0] != '\0'
                                       ? std::string(postOffice)
                                       : DefaultSetting("PostOffice");
        auto opened = std::make_unique<VimSession>();
        const int32_t rc = opened->session.Open(folder, user != nullptr ? user : "",
                                                password != nullptr ? password : "", charSet);
        if (rc != 0) {
            return rc;
        }
        VimSession* handle = opened.release();
        t.sessions.insert(handle);
        *session = handle;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMCloseSession(VIMSES session) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.sessions, session)) {
            return VIMSTS_INVALID_HANDLE;
        }
        // What belongs to the session goes with it.
        for (auto it = t.containers.begin(); it != t.containers.end();) {
            if ((*it)->session == session) {
                delete *it;
                it = t.containers.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = t.messages.begin(); it != t.messages.end();) {
            if ((*it)->session == session) {
                delete *it;
                it = t.messages.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = t.books.begin(); it != t.books.end();) {
            if ((*it)->session == session) {
                delete *it;
                it = t.books.erase(it);
            } else {
                ++it;
            }
        }
        t.sessions.erase(session);
        delete session;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMOpenMessageContainer(VIMSES session, const char* name, VIMCONT* container) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (container == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
        *container = nullptr;
        if (!Live(t.sessions, session)) {
            return VIMSTS_INVALID_HANDLE;
        }
        // The inbox is the only container; it is also what a null name means.
        if (name != nullptr && name[0] != '\0' && platform::CompareNoCaseMb(name, "Inbox") != 0) {
            return VIMSTS_UNSUPPORTED;
        }
        auto* handle = new VimContainer{session};
        t.containers.insert(handle);
        *container = handle;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMCloseMessageContainer(VIMCONT container) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.containers, container)) {
            return VIMSTS_INVALID_HANDLE;
        }
        t.containers.erase(container);
        delete container;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMEnumerateMessages(VIMCONT container, VIMPOS* position, int32_t direction,
                                          uint32_t attrCount, VIMATTRDESC* attrs, uint16_t* count,
                                          uint32_t filterType, const void* filter,
                                          uint32_t filterSize, uint16_t* more) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.containers, container)) {
            return VIMSTS_INVALID_HANDLE;
        }
        if (position == nullptr || count == nullptr || more == nullptr ||
            (attrCount > 0 && attrs == nullptr) || direction != 1) {
            return VIMSTS_BAD_PARAM;
        }
        (void)filter;
        (void)filterSize;
        if (filterType != VIM_FILTER_ALL) {
            return VIMSTS_UNSUPPORTED;
        }
        for (uint32_t a = 0; a < attrCount; ++a) {
            const bool known = (attrs[a].item == VIM_ATTR_MESSAGE_REF && attrs[a].size >= 8) ||
                               (attrs[a].item == VIM_ATTR_UNREAD && attrs[a].size >= 2);
            if (!known || attrs[a].buffer == nullptr) {
                return VIMSTS_BAD_PARAM;
            }
        }
        std::vector<vim::CMailbox::Listed> listed;
        bool remaining = false;
        VIMPOS walk = *position;
        const int32_t rc =
            container->session->session.Inbox().Enumerate(&walk, *count, &listed, &remaining);
        if (rc != 0) {
            return rc;
        }
        for (size_t i = 0; i < listed.size(); ++i) {
            for (uint32_t a = 0; a < attrCount; ++a) {
                char* entry = static_cast<char*>(attrs[a].buffer) + i * attrs[a].size;
                if (attrs[a].item == VIM_ATTR_MESSAGE_REF) {
                    std::memcpy(entry, &listed[i].ref, sizeof listed[i].ref);
                } else {
                    const uint16_t unread = listed[i].unread ? 1 : 0;
                    std::memcpy(entry, &unread, sizeof unread);
                }
            }
        }
        *position = walk;
        *count = static_cast<uint16_t>(listed.size());
        *more = remaining ? 1 : 0;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMOpenMessage(VIMCONT container, VIMREF ref, const char* password,
                                    VIMMSG* message) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (message == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
        *message = nullptr;
        if (!Live(t.containers, container)) {
            return VIMSTS_INVALID_HANDLE;
        }
        (void)password;  // messages of this library carry no password of their own
        vim::CSession& session = container->session->session;
        std::string id;
        std::string path;
        bool seen = false;
        int64_t delivery = 0;
        int32_t rc = session.Inbox().Locate(ref, &id, &path, &seen, &delivery);
        if (rc != 0) {
            return rc;
        }
        std::string bytes;
        const int32_t error =
            platform::ReadWholeFile(path, &bytes, vim::CIncoming::MAX_MESSAGE_BYTES);
        if (error != 0) {
            return error == EFBIG ? VIMSTS_DAMAGED_FILE : VIMSTS_NO_SUCH_MESSAGE;
        }
        auto opened = std::make_unique<VimMessage>();
        opened->session = container->session;
        opened->incoming.Load(bytes, session.CodePage(), delivery);
        VimMessage* handle = opened.release();
        t.messages.insert(handle);
        *message = handle;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMCloseMessage(VIMMSG message) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.messages, message)) {
            return VIMSTS_INVALID_HANDLE;
        }
        t.messages.erase(message);
        delete message;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMGetMessageHeader(VIMMSG message, uint32_t attrCount, VIMATTRDESC* attrs) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.messages, message) || message->outgoing) {
            return VIMSTS_INVALID_HANDLE;
        }
        return message->incoming.GetHeader(attrCount, attrs);
    });
}

VIM_EXPORT VIMSTATUS VIMEnumerateMessageItems(VIMMSG message, VIMPOS* position, int32_t direction,
                                              uint16_t* count, VIMITEMDESC* items,
                                              uint32_t filterType, const void* filter,
                                              uint16_t* more) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.messages, message) || message->outgoing) {
            return VIMSTS_INVALID_HANDLE;
        }
        (void)filter;
        if (direction != 1 || filterType != VIM_FILTER_ALL) {
            return VIMSTS_BAD_PARAM;
        }
        return message->incoming.EnumerateItems(position, count, items, more);
    });
}

VIM_EXPORT VIMSTATUS VIMOpenMessageItem(VIMMSG message, VIMREF item, const char* type,
                                        uint32_t flags, VIMITEM* handle) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (handle == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
        *handle = nullptr;
        if (!Live(t.messages, message) || message->outgoing) {
            return VIMSTS_INVALID_HANDLE;
        }
        (void)type;   // text is handed over as stored, whichever text type is asked for
        (void)flags;  // and always with CR LF line ends
        auto opened = std::make_unique<VimItem>();
        const int32_t rc = message->incoming.ItemContents(item, &opened->contents);
        if (rc != 0) {
            return rc;
        }
        VimItem* result = opened.release();
        t.items.insert(result);
        *handle = result;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMReadMessageItem(VIMITEM item, VIMBUFDESC* buffer) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.items, item)) {
            return VIMSTS_INVALID_HANDLE;
        }
        if (buffer == nullptr || (buffer->size > 0 && buffer->buffer == nullptr)) {
            return VIMSTS_BAD_PARAM;
        }
        const size_t n = std::min<size_t>(buffer->size, item->contents.size() - item->offset);
        std::memcpy(buffer->buffer, item->contents.data() + item->offset, n);
        item->offset += n;
        buffer->size = static_cast<uint32_t>(n);
        buffer->bytesRead = static_cast<uint32_t>(n);
        buffer->offset = static_cast<uint32_t>(std::min<size_t>(item->offset, UINT32_MAX));
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMCloseMessageItem(VIMITEM item) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.items, item)) {
            return VIMSTS_INVALID_HANDLE;
        }
        t.items.erase(item);
        delete item;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMEnumerateMessageRecipients(VIMMSG message, uint32_t recipientClass,
                                                   VIMPOS* position, int32_t direction,
                                                   uint32_t attrCount, VIMATTRDESC* attrs,
                                                   uint16_t* count, uint16_t* more) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.messages, message) || message->outgoing) {
            return VIMSTS_INVALID_HANDLE;
        }
        if (direction != 1) {
            return VIMSTS_BAD_PARAM;
        }
        return message->incoming.EnumerateRecipients(recipientClass, position, attrCount, attrs,
                                                     count, more);
    });
}

VIM_EXPORT VIMSTATUS VIMCreateMessage(VIMSES session, const char* type, VIMMSG* message) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (message == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
        *message = nullptr;
        if (!Live(t.sessions, session)) {
            return VIMSTS_INVALID_HANDLE;
        }
        if (type != nullptr && std::strcmp(type, "VIM_MAIL") != 0) {
            return VIMSTS_UNSUPPORTED;
        }
        auto* created = new VimMessage();
        created->session = session;
        created->outgoing = true;
        t.messages.insert(created);
        *message = created;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMSetMessageHeader(VIMMSG message, uint32_t item, uint32_t size,
                                         const void* value) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.messages, message) || !message->outgoing) {
            return VIMSTS_INVALID_HANDLE;
        }
        return message->composed.SetHeader(item, size, value);
    });
}

VIM_EXPORT VIMSTATUS VIMSetMessageRecipient(VIMMSG message, uint32_t recipientClass,
                                            const VIMADDRESS* address) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.messages, message) || !message->outgoing) {
            return VIMSTS_INVALID_HANDLE;
        }
        if (address == nullptr || address->recordType != VIM_RECORD_ADDRESS) {
            return VIMSTS_BAD_PARAM;
        }
        return message->composed.SetRecipient(recipientClass, *address);
    });
}

VIM_EXPORT VIMSTATUS VIMSetMessageItem(VIMMSG message, uint32_t itemClass, const char* type,
                                       const char* name, const char* fileName,
                                       const VIMDATA* data) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.messages, message) || !message->outgoing) {
            return VIMSTS_INVALID_HANDLE;
        }
        return message->composed.SetItem(itemClass, type, name, fileName, data);
    });
}

VIM_EXPORT VIMSTATUS VIMSendMessage(VIMMSG message, const void* callback, uint32_t flags) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.messages, message) || !message->outgoing) {
            return VIMSTS_INVALID_HANDLE;
        }
        (void)callback;
        (void)flags;
        if (!Live(t.sessions, message->session)) {
            return VIMSTS_INVALID_HANDLE;
        }
        const int32_t rc = message->session->session.Send(message->composed);
        if (rc == 0) {
            // A sent message belongs to the library, which is done with it.
            t.messages.erase(message);
            delete message;
        }
        return rc;
    });
}

VIM_EXPORT VIMSTATUS VIMMarkMessageAsRead(VIMCONT container, VIMREF ref) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.containers, container)) {
            return VIMSTS_INVALID_HANDLE;
        }
        return container->session->session.Inbox().MarkRead(ref);
    });
}

VIM_EXPORT VIMSTATUS VIMSetMessageCategory(VIMCONT container, VIMREF ref, const char* category) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.containers, container)) {
            return VIMSTS_INVALID_HANDLE;
        }
        if (category == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
        return container->session->session.Inbox().SetCategory(ref, category);
    });
}

VIM_EXPORT VIMSTATUS VIMEnumerateAddressBooks(VIMSES session, VIMPOS* position, int32_t direction,
                                              uint32_t attrCount, VIMATTRDESC* attrs,
                                              uint16_t* count, uint16_t* more) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.sessions, session)) {
            return VIMSTS_INVALID_HANDLE;
        }
        if (position == nullptr || count == nullptr || more == nullptr || direction != 1 ||
            (attrCount > 0 && attrs == nullptr)) {
            return VIMSTS_BAD_PARAM;
        }
        for (uint32_t a = 0; a < attrCount; ++a) {
            if (attrs[a].item != VIM_ATTR_ENTITY_NAME || attrs[a].size == 0 ||
                attrs[a].buffer == nullptr) {
                return VIMSTS_BAD_PARAM;
            }
        }
        const std::vector<std::string> names = session->session.PostOffice().BookNames();
        size_t next = position->word1;
        const uint16_t wanted = *count;
        *count = 0;
        while (*count < wanted && next < names.size()) {
            for (uint32_t a = 0; a < attrCount; ++a) {
                CopyOut(names[next],
                        static_cast<char*>(attrs[a].buffer) + size_t{*count} * attrs[a].size,
                        attrs[a].size);
            }
            ++next;
            ++*count;
        }
        position->word1 = static_cast<uint32_t>(next);
        *more = next < names.size() ? 1 : 0;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMOpenAddressBook(VIMSES session, const char* name, VIMAB* book) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (book == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
        *book = nullptr;
        if (!Live(t.sessions, session)) {
            return VIMSTS_INVALID_HANDLE;
        }
        if (name == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
        auto opened = std::make_unique<VimAddressBook>();
        opened->name = name;
        opened->session = session;
        const int32_t rc = session->session.PostOffice().LoadBook(name, session->session.CodePage(),
                                                                  &opened->entries);
        if (rc != 0) {
            return rc;
        }
        VimAddressBook* handle = opened.release();
        t.books.insert(handle);
        *book = handle;
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMMatchAddressBook(VIMAB book, uint32_t entityType, uint32_t scope,
                                         uint32_t reserved, uint32_t attribute, const char* value,
                                         uint32_t matchType, VIMREF* entry, uint32_t flags) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.books, book)) {
            return VIMSTS_INVALID_HANDLE;
        }
        (void)entityType;
        (void)scope;
        (void)reserved;
        (void)flags;
        if (value == nullptr || entry == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
        if (attribute != VIM_ATTR_MATCH_NAME || matchType != VIM_MATCH_EXACT) {
            return VIMSTS_UNSUPPORTED;
        }
        size_t index = 0;
        const int32_t rc = book->session->session.MatchBook(book->entries, value, &index);
        if (rc != 0) {
            return rc;
        }
        *entry = VIMREF{static_cast<uint32_t>(index + 1), 0};
        return 0;
    });
}

VIM_EXPORT VIMSTATUS VIMGetABEntryAttributes(VIMAB book, VIMREF entry, uint32_t reserved,
                                             uint32_t attrCount, VIMATTRDESC* attrs) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.books, book)) {
            return VIMSTS_INVALID_HANDLE;
        }
        (void)reserved;
        if (entry.key1 == 0 || entry.key1 > book->entries.size() || entry.key2 != 0) {
            return VIMSTS_NO_MATCH;
        }
        if (attrCount > 0 && attrs == nullptr) {
            return VIMSTS_BAD_PARAM;
        }
        const vim::BookEntry& found = book->entries[entry.key1 - 1];
        int32_t result = 0;
        for (uint32_t a = 0; a < attrCount; ++a) {
            VIMATTRDESC& attr = attrs[a];
            if (attr.buffer == nullptr) {
                result = VIMSTS_BAD_PARAM;
                continue;
            }
            if (attr.item == VIM_ATTR_ENTITY_NAME) {
                // The entry's text: its name, by which a recipient record names the entry.
                CopyOut(found.name.empty() ? found.address : found.name,
                        static_cast<char*>(attr.buffer), attr.size);
            } else if (attr.item == VIM_ATTR_ADDRESS_BLOCK && attr.size >= 5) {
                // The block word and an empty address: the book entry stands for it.
                const uint32_t block = VIM_BLOCK_START;
                std::memcpy(attr.buffer, &block, sizeof block);
                static_cast<char*>(attr.buffer)[4] = '\0';
            } else {
                result = VIMSTS_UNSUPPORTED;
            }
        }
        return result;
    });
}

VIM_EXPORT VIMSTATUS VIMCloseAddressBook(VIMAB book) {
    return Guarded([&](HandleTable& t) -> int32_t {
        if (!Live(t.books, book)) {
            return VIMSTS_INVALID_HANDLE;
        }
        t.books.erase(book);
        delete book;
        return 0;
    });
}

// What the VIM library's handles stand for: a session on one post office account, its
// inbox with stable message references, messages opened for reading, messages being
// composed, and address books.
//
// Results are the VIM status codes of providers/vim/vim.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "providers/simplemapi/maildir_store.h"
#include "providers/simplemapi/mime_reader.h"
#include "providers/vim/post_office.h"
#include "providers/vim/vim.h"

namespace vim {

// The reference of a message: its delivery time and a 32-bit hash of its Maildir id
// (never 0), stable across sessions and flag changes.
VIMREF RefOf(int64_t deliveryTime, std::string_view id);

// A VIM date and time of a time value in local time (VIM_DATE_NONE for 0 or a time that
// cannot be shown).
void VimDateOf(int64_t seconds, uint32_t* date, uint32_t* time);

// An account's inbox. Order: delivery time, then id (that of the Maildir store), so a walk
// by positions is stable while new mail arrives; a position is the reference of the last
// message delivered.
class CMailbox {
public:
    explicit CMailbox(std::string folder);

    struct Listed {
        VIMREF ref;
        bool unread = false;
    };
    // Up to `wanted` messages after *position; *position moves to the last one given.
    // *more: whether messages remain after those. 0, VIMSTS_BAD_PARAM (a position that
    // names no message this inbox ever held), VIMSTS_FAILURE (the folder cannot be read).
    [[nodiscard]] int32_t Enumerate(VIMPOS* position, uint16_t wanted, std::vector<Listed>* out,
                                    bool* more);
    // The message of a reference: its id, current path, Seen flag and delivery time.
    // 0 or VIMSTS_NO_SUCH_MESSAGE.
    [[nodiscard]] int32_t Locate(VIMREF ref, std::string* id, std::string* path, bool* seen,
                                 int64_t* deliveryTime);
    // Sets the Seen flag. 0, VIMSTS_NO_SUCH_MESSAGE, VIMSTS_FAILURE.
    [[nodiscard]] int32_t MarkRead(VIMREF ref);
    // Files the message under a category: "Trash" (any letter case) moves it into the
    // account's Trash Maildir; any other category is recorded beside the inbox.
    // 0, VIMSTS_NO_SUCH_MESSAGE, VIMSTS_BAD_PARAM, VIMSTS_FAILURE.
    [[nodiscard]] int32_t SetCategory(VIMREF ref, std::string_view category);
    // The category recorded for a message id ("" when none).
    std::string CategoryOf(const std::string& id) const;

    const std::string& Folder() const { return m_folder; }

private:
    [[nodiscard]] int32_t IdOf(VIMREF ref, std::string* id);
    [[nodiscard]] int32_t ListAll();
    static uint64_t KeyOf(VIMREF ref) { return (uint64_t{ref.key1} << 32) | ref.key2; }

    std::string m_folder;
    mapi::CMaildirStore m_store;
    std::map<uint64_t, std::string> m_ids;  // references met in this session
};

// A message opened for reading: the parsed message, held whole (memory is bounded by one
// message; the library refuses files above MAX_MESSAGE_BYTES).
class CIncoming {
public:
    static constexpr size_t MAX_MESSAGE_BYTES = 256u << 20;

    // Parses the bytes of a message file (never fails: damage gives what could be read).
    void Load(std::string_view bytes, uint32_t codePage, int64_t deliveryTime);

    // Fills each descriptor whose item it knows; the others are left alone and the result
    // is then VIMSTS_UNSUPPORTED. A descriptor too small for its item gives
    // VIMSTS_BAD_PARAM (texts are cut to fit with their terminator).
    [[nodiscard]] int32_t GetHeader(uint32_t count, VIMATTRDESC* attrs) const;
    // Items: the text (when the message has one), then one file item per attachment.
    [[nodiscard]] int32_t EnumerateItems(VIMPOS* position, uint16_t* count, VIMITEMDESC* items,
                                         uint16_t* more) const;
    // The contents of an item. 0 or VIMSTS_NO_SUCH_ITEM.
    [[nodiscard]] int32_t ItemContents(VIMREF item, std::string* out) const;
    // Recipients of one class (VIM_CLASS_TO, _CC, _BCC) as address records.
    [[nodiscard]] int32_t EnumerateRecipients(uint32_t recipientClass, VIMPOS* position,
                                              uint32_t attrCount, VIMATTRDESC* attrs,
                                              uint16_t* count, uint16_t* more) const;

    const mapi::IncomingMessage& Message() const { return m_message; }
    uint16_t Priority() const { return m_priority; }

private:
    mapi::IncomingMessage m_message;
    uint16_t m_priority = 1;
};

// A message being composed (VIMCreateMessage until VIMSendMessage).
struct COutgoing {
    std::string subject;
    std::string conversationId;
    uint16_t readConfirm = 0;
    uint16_t deliveryConfirm = 0;
    uint16_t priority = 1;
    struct Recipient {
        uint32_t recipientClass = 0;
        VIMADDRESS address{};
    };
    std::vector<Recipient> recipients;
    std::string text;
    struct File {
        std::string name;
        std::string path;
    };
    std::vector<File> files;

    // 0, VIMSTS_UNSUPPORTED (an item this library does not carry), VIMSTS_BAD_PARAM.
    [[nodiscard]] int32_t SetHeader(uint32_t item, uint32_t size, const void* value);
    [[nodiscard]] int32_t SetRecipient(uint32_t recipientClass, const VIMADDRESS& address);
    [[nodiscard]] int32_t SetItem(uint32_t itemClass, const char* type, const char* name,
                                  const char* fileName, const VIMDATA* data);
};

// A session: the post office, the account that logged on, its inbox.
class CSession {
public:
    // Opens the session for an account. 0, VIMSTS_NO_POST_OFFICE, VIMSTS_UNKNOWN_USER,
    // VIMSTS_BAD_PASSWORD, VIMSTS_FAILURE (anything else, a damaged user list included).
    [[nodiscard]] int32_t Open(const std::string& postOffice, std::string_view user,
                               std::string_view password, uint32_t charSet);

    // Sends a composed message: recipients that are accounts of this post office get it
    // in their inbox, "address at <gateway>" recipients through the gateway transport.
    // Nothing is delivered anywhere unless every recipient can be served.
    // 0, VIMSTS_NO_RECIPIENTS, VIMSTS_UNKNOWN_RECIPIENT, VIMSTS_SEND_FAILED,
    // VIMSTS_DISK_FULL, VIMSTS_FAILURE.
    [[nodiscard]] int32_t Send(const COutgoing& message);

    // The book entry whose name or address equals `text` ignoring case.
    // 0, VIMSTS_NO_MATCH, VIMSTS_NO_SUCH_BOOK, VIMSTS_DAMAGED_FILE.
    [[nodiscard]] int32_t MatchBook(const std::vector<BookEntry>& entries, std::string_view text,
                                    size_t* index) const;

    CPostOffice& PostOffice() { return m_postOffice; }
    CMailbox& Inbox() { return *m_inbox; }
    const UserEntry& User() const { return m_user; }
    uint32_t CodePage() const { return m_codePage; }
    std::string OwnAddress() const;

private:
    // Where one recipient goes: a local account or the gateway.
    struct Route {
        const UserEntry* account = nullptr;  // null: the gateway
        std::string name;
        std::string address;  // account@domain, or the Internet address
    };
    [[nodiscard]] int32_t RouteOf(const VIMADDRESS& address, Route* out);

    CPostOffice m_postOffice;
    UserEntry m_user;
    uint32_t m_codePage = 1252;
    std::unique_ptr<CMailbox> m_inbox;
};

// Reads the X-Priority (or Importance) header of a message: 2 high, 1 normal, 0 low.
uint16_t PriorityOfHeaders(std::string_view bytes);

}  // namespace vim

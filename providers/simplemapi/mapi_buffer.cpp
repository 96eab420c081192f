// One-block layout of returned Simple MAPI structures and the registry of live blocks.
#include "providers/simplemapi/mapi_buffer.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/file_safety.h"

namespace mapi {

namespace {

std::mutex g_bufferLock;
// Live blocks, each with the descriptors of the files it holds (see HoldFilesWithBuffer).
std::unordered_map<void*, std::vector<int>>& LiveSet() {
    static auto* set = new std::unordered_map<void*, std::vector<int>>();
    return *set;
}

constexpr size_t Align(size_t n) {
    return (n + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
}

// Places strings at the end of a block.
class CStringArea {
public:
    CStringArea(char* start, char* end) : m_next(start), m_end(end) {}
    char* Put(const std::string& s) {
        if (m_next + s.size() + 1 > m_end) {
            return nullptr;  // sizes were computed from the same strings; cannot happen
        }
        char* at = m_next;
        std::memcpy(at, s.data(), s.size());
        at[s.size()] = '\0';
        m_next += s.size() + 1;
        return at;
    }

private:
    char* m_next;
    char* m_end;
};

}  // namespace

void* AllocateMapiBuffer(size_t size) {
    void* p = std::calloc(1, size == 0 ? 1 : size);
    if (p == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_bufferLock);
    try {
        LiveSet().emplace(p, std::vector<int>());
    } catch (const std::bad_alloc&) {
        std::free(p);
        return nullptr;
    }
    return p;
}

bool FreeMapiBuffer(void* buffer) {
    std::vector<int> held;
    {
        std::lock_guard<std::mutex> lock(g_bufferLock);
        auto it = LiveSet().find(buffer);
        if (it == LiveSet().end()) {
            return false;
        }
        held = std::move(it->second);
        LiveSet().erase(it);
    }
    for (int fd : held) {
        platform::ReleaseHeldFile(fd);
    }
    std::free(buffer);
    return true;
}

bool HoldFilesWithBuffer(void* buffer, std::vector<int>* fds) {
    std::lock_guard<std::mutex> lock(g_bufferLock);
    auto it = LiveSet().find(buffer);
    if (it == LiveSet().end()) {
        return false;
    }
    it->second.insert(it->second.end(), fds->begin(), fds->end());
    fds->clear();
    return true;
}

size_t LiveMapiBuffers() {
    std::lock_guard<std::mutex> lock(g_bufferLock);
    return LiveSet().size();
}

MapiMessage* BuildMapiMessage(const IncomingMessage& m,
                              const std::vector<std::string>& attachmentPaths) {
    size_t strings = 0;
    auto count = [&](const std::string& s) { strings += s.size() + 1; };
    count(m.subject);
    count(m.noteText);
    count(m.dateText);
    count(m.conversationId);
    count(m.originator.name);
    count(m.originator.address);
    for (const RecipientText& r : m.recips) {
        count(r.name);
        count(r.address);
    }
    size_t files = std::min(m.attachments.size(), attachmentPaths.size());
    for (size_t i = 0; i < files; ++i) {
        count(attachmentPaths[i]);
        count(m.attachments[i].fileName);
    }
    size_t offOrig = Align(sizeof(MapiMessage));
    size_t offRecips = offOrig + Align(sizeof(MapiRecipDesc));
    size_t offFiles = offRecips + Align(sizeof(MapiRecipDesc) * m.recips.size());
    size_t offStrings = offFiles + Align(sizeof(MapiFileDesc) * files);
    size_t total = offStrings + strings;
    char* block = static_cast<char*>(AllocateMapiBuffer(total));
    if (block == nullptr) {
        return nullptr;
    }
    CStringArea area(block + offStrings, block + total);
    auto* msg = reinterpret_cast<MapiMessage*>(block);
    msg->lpszSubject = area.Put(m.subject);
    msg->lpszNoteText = area.Put(m.noteText);
    msg->lpszMessageType = nullptr;
    msg->lpszDateReceived = m.hasDate ? area.Put(m.dateText) : nullptr;
    msg->lpszConversationID = m.conversationId.empty() ? nullptr : area.Put(m.conversationId);
    msg->flFlags = m.receiptRequested ? MAPI_RECEIPT_REQUESTED : 0;
    auto fill = [&](MapiRecipDesc* d, const RecipientText& r) {
        d->ulRecipClass = r.recipClass;
        d->lpszName = r.name.empty() ? nullptr : area.Put(r.name);
        d->lpszAddress = r.address.empty() ? nullptr : area.Put(r.address);
    };
    if (m.hasOriginator) {
        msg->lpOriginator = reinterpret_cast<MapiRecipDesc*>(block + offOrig);
        fill(msg->lpOriginator, m.originator);
    }
    msg->nRecipCount = static_cast<ULONG>(m.recips.size());
    if (!m.recips.empty()) {
        msg->lpRecips = reinterpret_cast<MapiRecipDesc*>(block + offRecips);
        for (size_t i = 0; i < m.recips.size(); ++i) {
            fill(&msg->lpRecips[i], m.recips[i]);
        }
    }
    msg->nFileCount = static_cast<ULONG>(files);
    if (files > 0) {
        msg->lpFiles = reinterpret_cast<MapiFileDesc*>(block + offFiles);
        for (size_t i = 0; i < files; ++i) {
            MapiFileDesc* f = &msg->lpFiles[i];
            f->nPosition = 0xFFFFFFFFu;
            f->lpszPathName = area.Put(attachmentPaths[i]);
            f->lpszFileName =
                m.attachments[i].fileName.empty() ? nullptr : area.Put(m.attachments[i].fileName);
        }
    }
    return msg;
}

MapiRecipDesc* BuildMapiRecipient(uint32_t recipClass, const std::string& name,
                                  const std::string& address) {
    size_t offStrings = Align(sizeof(MapiRecipDesc));
    size_t total = offStrings + name.size() + 1 + address.size() + 1;
    char* block = static_cast<char*>(AllocateMapiBuffer(total));
    if (block == nullptr) {
        return nullptr;
    }
    CStringArea area(block + offStrings, block + total);
    auto* r = reinterpret_cast<MapiRecipDesc*>(block);
    r->ulRecipClass = recipClass;
    r->lpszName = area.Put(name);
    r->lpszAddress = area.Put(address);
    return r;
}

}  // namespace mapi

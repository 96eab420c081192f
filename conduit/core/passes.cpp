// The mail passes of one sync operation: sending the handheld outbox, reconciling the
// handheld, the desktop inbox and the message state, and making the handheld a copy of
// the desktop inbox.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "conduit/core/codes.h"
#include "conduit/core/mail_conduit.h"
#include "conduit/core/sent_journal.h"
#include "conduit/core/strings.h"
#include "conduit/core/write_budget.h"
#include "platform/bytes.h"

namespace torrim {

uint32_t g_writeBudget = WRITE_BUDGET_UNLIMITED;

namespace {

constexpr uint8_t CHANGE_MODIFIED = 2;
constexpr uint8_t CHANGE_DELETED = 4;
// Ids asked for in one id list request (its buffer size is a 16-bit byte count).
constexpr uint16_t IDS_PER_REQUEST = 16383;

bool IsHandheldOnly(int32_t category) {
    return category == CATEGORY_OUTBOX || category == CATEGORY_FILED || category == CATEGORY_DRAFT;
}

RecordRequest NewRequest(uint8_t dbHandle, std::vector<uint8_t>& buffer) {
    RecordRequest request;
    std::memset(&request, 0, sizeof(request));
    request.dbHandle = dbHandle;
    request.bufferSize = static_cast<uint16_t>(buffer.size());
    request.buffer = buffer.data();
    return request;
}

// A copy of what identifies an entry in a log line, so that a failure report can name the
// entry while the entry itself stays in the state.
std::unique_ptr<CMessage> DescriptionOf(const CMessage& entry) {
    auto copy = std::make_unique<CMessage>();
    copy->SetFromName(entry.FromName());
    copy->SetFromAddress(entry.FromAddress());
    copy->m_date = entry.m_date;
    copy->SetSubject(entry.Subject());
    uint32_t position = 0;
    if (auto to = entry.m_pRecipients->NextOfKind(RECIPIENT_TO, &position)) {
        copy->AddRecipient(RECIPIENT_TO, to->m_name, to->m_address);
    }
    return copy;
}

// A desktop copy (category 0 or 2) that is not gone and yet has no desktop reference was
// not met in this operation's inbox walk: its message could not be read. The mail system
// has not been reached for it, so a change made to it on the handheld has to wait.
bool DesktopCopyNotReached(const CMessage& entry) {
    return (entry.m_category == CATEGORY_INBOX || entry.m_category == CATEGORY_DELETED) &&
           entry.m_goneFromDesktop == 0 && entry.DesktopId().empty() && entry.m_desktopKey1 == 0 &&
           entry.m_desktopKey2 == 0;
}

// The text with its first "%d" replaced by the number (the text comes from the language
// library, so it is never used as a format).
std::string WithNumber(std::string text, int32_t number) {
    const size_t at = text.find("%d");
    if (at != std::string::npos) {
        text.replace(at, 2, std::to_string(number));
    }
    return text;
}

}  // namespace

// ---- desktop calls for a state entry ----

void CMailConduit::SetCurrentDesktopMessage(const CMessage& entry) {
    const std::string_view id = entry.DesktopId();
    const size_t length = std::min(id.size(), DESKTOP_ID_SIZE - 1);
    std::memcpy(m_currentId, id.data(), length);
    m_currentId[length] = '\0';
    m_currentKey1 = static_cast<uint32_t>(entry.m_desktopKey1);
    m_currentKey2 = static_cast<uint32_t>(entry.m_desktopKey2);
}

// An entry without a desktop reference never reaches the mail system, which could only act
// on whatever message an empty reference means to it. A handheld-only message has no
// desktop copy: nothing to carry, the change is done. A desktop copy not reached in this
// operation keeps its change for a later one.
bool CMailConduit::CarryToDesktop(CMessage& entry, int32_t (CMailConduit::*operation)(),
                                  int32_t* code) {
    *code = 0;
    SetCurrentDesktopMessage(entry);
    if (m_currentId[0] == '\0' && m_currentKey1 == 0 && m_currentKey2 == 0) {
        if (DesktopCopyNotReached(entry)) {
            KeepUnsettled(entry);
            return false;
        }
        return true;
    }
    // The report of a failure names the entry acted on.
    m_pCurrent = DescriptionOf(entry);
    *code = (this->*operation)();
    m_pCurrent.reset();
    if (*code != 0) {
        KeepUnsettled(entry);
        return false;
    }
    return true;
}

bool CMailConduit::CarryReadMark(CMessage& entry, int32_t* code) {
    return CarryToDesktop(entry, &CMailConduit::MarkMessageRead, code);
}

bool CMailConduit::CarryDeletion(CMessage& entry, int32_t* code) {
    return CarryToDesktop(entry, &CMailConduit::DeleteMessage, code);
}

// A handheld change that did not reach the desktop: the entry is flagged as changed on the
// handheld for the rest of the operation, so that its record (whose read mark or category
// the state does not show yet) is not rebuilt from the state, and the change marks stay
// for the next operation to carry the change again.
void CMailConduit::KeepUnsettled(CMessage& entry) {
    entry.m_changeKind = CHANGE_MODIFIED;
    m_changeFailed = true;
}

// ---- the outbox ----

int32_t CMailConduit::SendOutbox() {
    std::vector<uint8_t> buffer(MAX_RECORD_SIZE);
    int32_t pending = m_host.ResetRecordIndex(m_dbHandle);
    if (pending != 0) {
        return pending;
    }
    // Records sent by an earlier operation whose delete did not reach the handheld. A
    // journal that cannot be read is taken as empty: nothing more can be known.
    CSentJournal journal(StatePath() + SENT_JOURNAL_SUFFIX);
    (void)journal.Load();
    int32_t unsent = 0;
    bool walkedToEnd = false;
    for (;;) {
        RecordRequest request = NewRequest(m_dbHandle, buffer);
        request.category = CATEGORY_OUTBOX;
        const int32_t read = m_host.ReadNextRecInCategory(&request);
        if (read != 0) {
            if (read != SYNC_NOT_FOUND) {
                LogRecordReadFailure();
                if (IsFatalSyncError(read)) {
                    pending = read;
                }
            } else {
                walkedToEnd = true;
            }
            break;
        }
        // A record the user deleted is not mail to send, even while it waits for the purge.
        if ((request.attributes & SYNC_REC_DELETED) != 0) {
            continue;
        }
        const uint64_t checksum = CSentJournal::Checksum(
            buffer.data(), std::min<size_t>(request.recordSize, buffer.size()));
        bool sent = journal.Contains(request.recordId, checksum);
        if (!sent) {
            m_pCurrent = std::make_unique<CMessage>();
            if (m_pConverter->UnpackRecord(m_pPrefs.get(), *m_pCurrent, request) != 0) {
                m_pCurrent.reset();
                pending = ERR_CANNOT_UNPACK;
                break;
            }
            if (SendMail(m_pCurrent.get()) != 0) {
                ++unsent;  // the record stays in the outbox for the next operation
            } else {
                sent = true;
                // On disk before the delete: if the delete is lost, the next operation
                // finds the record here and deletes it without sending it again. A journal
                // that cannot be written does not keep the sent record in the outbox.
                (void)journal.Add(request.recordId, checksum);
            }
            m_pCurrent.reset();
        }
        if (sent) {
            const int64_t key = m_pState->FindByRecordId(request.recordId);
            if (key >= 0) {
                m_pState->Lookup(static_cast<uint32_t>(key))->m_goneFromDesktop = 1;
            }
            RecordRequest remove = NewRequest(m_dbHandle, buffer);
            remove.recordId = request.recordId;
            pending = m_host.DeleteRecord(&remove);
        }
        if (pending != 0) {
            break;
        }
    }
    // The whole outbox was walked and every sent record deleted: no entry is needed any
    // more (a record still there with other bytes was changed on the handheld and sent as
    // new mail). After any failure the entries stay for the next operation.
    if (walkedToEnd && pending == 0 && !journal.Empty()) {
        (void)journal.Clear();  // entries left over are only looked at again
    }
    if (unsent != 0) {
        const std::string notice = WithNumber(Text(IDS_UNSENT_NOTICE), unsent);
        (void)m_host.UserNotice(notice.c_str());  // a notice that cannot be shown changes nothing
    }
    return pending;
}

// ---- synchronize and overwrite ----

int32_t CMailConduit::SynchronizeMail() {
    if (m_pPrefs != nullptr && m_pPrefs->m_mode == FILTER_SEND_ONLY) {
        return 0;
    }
    m_changeFailed = false;
    m_deletionWaits = false;
    int32_t result = RefreshHandheldPresence();
    if (result == 0) {
        result = CollectDesktopInbox();
    }
    if (result == 0) {
        result = ApplyHandheldChanges();
    }
    if (result == 0) {
        result = RemoveVanishedMessages();
    }
    if (result == 0) {
        result = PushReadState();
    }
    if (result == 0) {
        result = CopyNewMessages();
    }
    // A handheld change that did not reach the desktop keeps its change mark, so that the
    // next operation carries it again instead of forgetting it. The others are cleared by
    // the driver once the state that records them is saved.
    m_clearChangeMarks = result == 0 && !m_changeFailed;
    return result;
}

int32_t CMailConduit::OverwriteHandheld() {
    if (m_pPrefs != nullptr && m_pPrefs->m_mode == FILTER_SEND_ONLY) {
        return 0;
    }
    // Only the desktop's copies are purged. The outbox holds mail not yet sent, and the
    // kept categories hold the user's filed messages and drafts, which exist nowhere but on
    // the handheld: their records and entries stay as they are.
    int32_t result = 0;
    for (int16_t category : {CATEGORY_INBOX, CATEGORY_DELETED}) {
        result = m_host.PurgeAllRecsInCategory(m_dbHandle, category);
    }
    if (result == 0) {
        result = CollectDesktopInbox();
    }
    if (result == 0) {
        result = RefreshHandheldPresence();
    }
    if (result == 0) {
        result = CopyNewMessages();
    }
    return result;
}

int32_t CMailConduit::ReadRecordIds(std::vector<uint32_t>* ids) {
    ids->clear();
    uint16_t count = 0;
    int32_t result = m_host.GetDBRecordCount(m_dbHandle, &count);
    if (result != 0) {
        return result;
    }
    ids->reserve(count);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint16_t>(count, IDS_PER_REQUEST)) *
                                4);
    while (ids->size() < count) {
        IdListRequest request;
        std::memset(&request, 0, sizeof(request));
        request.dbHandle = m_dbHandle;
        request.firstPosition = static_cast<uint16_t>(ids->size());
        request.idsWanted =
            static_cast<uint16_t>(std::min<size_t>(count - ids->size(), IDS_PER_REQUEST));
        request.bufferSize = static_cast<uint16_t>(request.idsWanted * 4);
        request.buffer = buffer.data();
        result = m_host.ReadPositionXMap(&request);
        if (result != 0) {
            return result;
        }
        // Copies: the request is packed, so its fields cannot be bound to references.
        const uint16_t idsReturned = request.idsReturned;
        const uint16_t idsWanted = request.idsWanted;
        const size_t returned = std::min(idsReturned, idsWanted);
        if (returned == 0) {
            break;
        }
        for (size_t i = 0; i < returned; ++i) {
            ids->push_back(platform::GetU32BE(buffer.data() + 4 * i));
        }
    }
    return 0;
}

int32_t CMailConduit::RefreshHandheldPresence() {
    std::vector<uint32_t> ids;
    const int32_t result = ReadRecordIds(&ids);
    if (result != 0) {
        return result;
    }
    std::sort(ids.begin(), ids.end());
    for (uint32_t key = 0; CMessage* entry = m_pState->Lookup(key); ++key) {
        if (entry->m_onHandheld != 0) {
            entry->m_onHandheld = std::binary_search(ids.begin(), ids.end(), entry->RecordId());
        }
    }
    return 0;
}

int32_t CMailConduit::CollectDesktopInbox() {
    const bool keepsIds = KeepsMessageIds() != 0;
    for (uint32_t key = 0; CMessage* entry = m_pState->Lookup(key); ++key) {
        entry->m_seenOnDesktop = 0;
        if (entry->m_category == CATEGORY_INBOX || entry->m_category == CATEGORY_DELETED) {
            entry->m_goneFromDesktop = 1;
        }
        if (!keepsIds) {
            entry->SetDesktopId("");
            entry->m_desktopKey1 = 0;
            entry->m_desktopKey2 = 0;
        }
    }
    m_currentId[0] = '\0';
    m_currentKey1 = 0;
    m_currentKey2 = 0;
    Yield();

    // Entries found in the inbox during this walk are marked seen. When the walk is
    // incomplete (it stopped early, or a message could not be read), an entry not seen is
    // not known to be gone.
    bool complete = true;
    int32_t result = 0;
    for (;;) {
        result = FindNextMessage();
        if (result != 0) {
            complete = false;
            break;
        }
        if (m_currentId[0] == '\0' && m_currentKey1 == 0 && m_currentKey2 == 0) {
            break;
        }
        Yield();
        const int32_t read = ReadMessage();
        Yield();
        if (read != 0 || m_pCurrent == nullptr) {
            m_pCurrent.reset();
            complete = false;
            continue;
        }
        // Only the desktop's own copies may be bound to a desktop message: a handheld-only
        // message of the same date and subject is another message. Without stable ids the
        // sender and the text must agree as well (FindByDateAndSubject).
        CMessage* entry = keepsIds ? m_pState->FindByDesktopId(m_currentId)
                                   : m_pState->FindByDateAndSubject(*m_pCurrent);
        if (entry != nullptr && entry->m_category != CATEGORY_INBOX &&
            entry->m_category != CATEGORY_DELETED) {
            entry = nullptr;
        }
        if (entry != nullptr) {
            entry->SetDesktopId(m_currentId);
            entry->m_desktopKey1 = static_cast<int32_t>(m_currentKey1);
            entry->m_desktopKey2 = static_cast<int32_t>(m_currentKey2);
            entry->m_goneFromDesktop = 0;
            entry->m_readOnDesktop = m_pCurrent->m_readOnDesktop;
            m_pCurrent.reset();
            entry->m_seenOnDesktop = 1;
        } else {
            // The new entry carries its desktop reference, so that a later message of the
            // same date and subject is not bound to it.
            m_pCurrent->SetDesktopId(m_currentId);
            m_pCurrent->m_desktopKey1 = static_cast<int32_t>(m_currentKey1);
            m_pCurrent->m_desktopKey2 = static_cast<int32_t>(m_currentKey2);
            m_pCurrent->m_goneFromDesktop = 0;
            m_pCurrent->m_seenOnDesktop = 1;
            m_pState->Append(std::move(m_pCurrent));
        }
        Yield();
    }
    if (!complete) {
        for (uint32_t key = 0; CMessage* entry = m_pState->Lookup(key); ++key) {
            if (entry->m_seenOnDesktop == 0 &&
                (entry->m_category == CATEGORY_INBOX || entry->m_category == CATEGORY_DELETED)) {
                entry->m_goneFromDesktop = 0;
            }
        }
    }
    return result;
}

int32_t CMailConduit::ApplyHandheldChanges() {
    std::vector<uint32_t> ids;
    int32_t result = ReadRecordIds(&ids);
    if (result != 0) {
        return result;
    }
    std::vector<bool> seen(ids.size(), false);
    // Each record id with its position in the list, in ascending order: the first entry of
    // an id holds its first position.
    std::vector<uint64_t> positions(ids.size());
    for (size_t position = 0; position < ids.size(); ++position) {
        positions[position] = (static_cast<uint64_t>(ids[position]) << 32) | position;
    }
    std::sort(positions.begin(), positions.end());

    std::vector<uint8_t> buffer(MAX_RECORD_SIZE);
    result = m_host.ResetRecordIndex(m_dbHandle);
    if (result != 0) {
        return result;
    }
    for (;;) {
        RecordRequest request = NewRequest(m_dbHandle, buffer);
        const int32_t read = m_host.ReadNextChangedRecord(&request);
        if (read != 0) {
            if (read != SYNC_NOT_FOUND) {
                LogRecordReadFailure();
                result = read;
            }
            break;
        }
        auto message = std::make_unique<CMessage>();
        if (m_pConverter->UnpackRecord(m_pPrefs.get(), *message, request) != 0) {
            result = ERR_CANNOT_UNPACK;
            break;
        }
        message->m_onHandheld = 1;
        const bool deleted = message->m_changeKind == CHANGE_DELETED;
        const int32_t category = message->m_category;
        const uint32_t recordId = request.recordId;  // a copy: the request is packed

        CMessage* entry = nullptr;
        const int64_t key = m_pState->FindByRecordId(recordId);
        if (key >= 0) {
            entry = m_pState->Lookup(static_cast<uint32_t>(key));
        } else if (!deleted) {
            // A deleted record has no content left, so it cannot be recognised by it.
            entry = m_pState->FindMatching(*message);
        }
        if (entry != nullptr) {
            entry->SetRecordId(recordId);
            entry->m_onHandheld = 1;
            if (message->m_readOnHandheld != 0) {
                entry->m_readOnHandheld = 1;
            }
            if (entry->m_goneFromDesktop == 0 && entry->m_readOnDesktop == 0 &&
                (message->m_readOnHandheld != 0 || deleted || category == CATEGORY_DELETED ||
                 category == CATEGORY_FILED)) {
                int32_t marked = 0;  // a refusal is reported and carried again later
                if (CarryReadMark(*entry, &marked)) {
                    entry->m_readOnDesktop = 1;
                    message->m_readOnDesktop = 1;
                }
            }
            if (entry->m_goneFromDesktop == 0) {
                const auto at = std::lower_bound(positions.begin(), positions.end(),
                                                 static_cast<uint64_t>(recordId) << 32);
                if (at != positions.end() && (*at >> 32) == recordId) {
                    seen[static_cast<uint32_t>(*at)] = true;
                }
            }
        }
        int32_t dispatched = 0;
        if (deleted || category == CATEGORY_DELETED) {
            dispatched = ApplyHandheldDeletion(std::move(message));
        } else if (IsHandheldOnly(category)) {
            dispatched = ApplyHandheldEdit(std::move(message));
        }
        if (dispatched != 0) {
            result = dispatched;
            break;
        }
    }

    // Records the state does not know: adopt handheld-only ones, and remove inbox records,
    // whose master is the desktop.
    for (size_t position = 0; result == 0 && position < ids.size(); ++position) {
        const uint32_t id = ids[position];
        if (seen[position] || m_pState->FindByRecordId(id) >= 0) {
            continue;
        }
        RecordRequest request = NewRequest(m_dbHandle, buffer);
        request.recordId = id;
        // A record that cannot be read ends the step; nothing is deleted on a guess.
        result = m_host.ReadRecordWithId(&request);
        if (result != 0) {
            break;
        }
        auto message = std::make_unique<CMessage>();
        if (m_pConverter->UnpackRecord(m_pPrefs.get(), *message, request) != 0) {
            result = ERR_CANNOT_UNPACK;
            break;
        }
        const bool deleted = message->m_changeKind == CHANGE_DELETED;
        CMessage* match = deleted ? nullptr : m_pState->FindMatching(*message);
        if (match != nullptr) {
            match->SetRecordId(id);
            match->m_onHandheld = 1;
        } else if (!deleted && IsHandheldOnly(message->m_category)) {
            message->m_onHandheld = 1;
            m_pState->Append(std::move(message));
        } else if (message->m_category == CATEGORY_INBOX ||
                   message->m_category == CATEGORY_DELETED) {
            RecordRequest remove = NewRequest(m_dbHandle, buffer);
            remove.recordId = id;
            result = m_host.DeleteRecord(&remove);
        }
    }

    if (result == 0 && !m_deletionWaits) {
        result = m_host.PurgeDeletedRecords(m_dbHandle);
        if (result == 0) {
            result = m_host.PurgeAllRecsInCategory(m_dbHandle, CATEGORY_DELETED);
        }
        if (result != 0) {
            LogPurgeFailure();
        }
    }
    return result;
}

int32_t CMailConduit::ApplyHandheldDeletion(std::unique_ptr<CMessage> message) {
    int32_t result = 0;
    const int64_t key = m_pState->FindByRecordId(message->RecordId());
    CMessage* entry = key >= 0 ? m_pState->Lookup(static_cast<uint32_t>(key)) : nullptr;
    if (entry != nullptr && entry->m_goneFromDesktop == 0) {
        if (entry->m_readOnDesktop == 0 && CarryReadMark(*entry, &result)) {
            entry->m_readOnDesktop = 1;
            message->m_readOnDesktop = 1;
        }
        if (entry->m_category == CATEGORY_INBOX) {
            // The entry leaves the state only once its desktop copy is really deleted;
            // otherwise it stays and the message comes back to the handheld, or, when the
            // desktop was not reached, its deleted record waits for a later operation.
            if (CarryDeletion(*entry, &result)) {
                entry->m_goneFromDesktop = 1;
            } else {
                m_deletionWaits = true;
            }
        } else {
            entry->m_goneFromDesktop = 1;  // no desktop copy: the entry is simply forgotten
        }
    }
    return result;
}

int32_t CMailConduit::ApplyHandheldEdit(std::unique_ptr<CMessage> message) {
    const int64_t key = m_pState->FindByRecordId(message->RecordId());
    if (key < 0) {
        message->m_readOnDesktop = 1;
        m_pState->Append(std::move(message));
        return 0;
    }
    CMessage* entry = m_pState->Lookup(static_cast<uint32_t>(key));
    if (message->m_changeKind == CHANGE_DELETED) {
        entry->m_goneFromDesktop = 1;
        return 0;
    }
    int32_t marked = 0;
    if (entry->m_goneFromDesktop != 0 || entry->m_readOnDesktop != 0) {
        message->m_readOnDesktop = 1;
    } else if (CarryReadMark(*entry, &marked)) {
        entry->m_readOnDesktop = 1;
        message->m_readOnDesktop = 1;
    }
    if (entry->m_category == CATEGORY_INBOX && entry->m_goneFromDesktop == 0) {
        // Moved out of the inbox on the handheld: the desktop copy goes. Until that works
        // the entry stays an inbox entry, so it is never taken for a handheld-only message.
        int32_t deleted = 0;  // a refusal is reported and carried again later
        if (!CarryDeletion(*entry, &deleted)) {
            return marked;
        }
    }
    (void)m_pState->ReplaceAt(static_cast<uint32_t>(key), std::move(message));  // key exists
    return marked;
}

int32_t CMailConduit::RemoveVanishedMessages() {
    std::vector<uint8_t> buffer(MAX_RECORD_SIZE);
    const bool unreadOnly = m_pPrefs != nullptr && m_pPrefs->m_mode == FILTER_UNREAD_ONLY;
    for (uint32_t key = 0; CMessage* entry = m_pState->Lookup(key); ++key) {
        if (entry->m_onHandheld == 0) {
            continue;
        }
        // A read mark still waiting for the desktop keeps its record: removed now, the
        // message would come back unread from the desktop.
        const bool readInbox = unreadOnly && entry->m_category == CATEGORY_INBOX &&
                               entry->m_changeKind == 0 &&
                               (entry->m_readOnDesktop != 0 || entry->m_readOnHandheld != 0);
        if (entry->m_goneFromDesktop == 0 && !readInbox) {
            continue;
        }
        RecordRequest remove = NewRequest(m_dbHandle, buffer);
        remove.recordId = entry->RecordId();
        const int32_t removed = m_host.DeleteRecord(&remove);
        // A record already missing is what we want; only a lost connection ends the pass.
        if (IsFatalSyncError(removed)) {
            return removed;
        }
        entry->m_goneFromDesktop = 1;
    }
    if (m_deletionWaits) {
        return 0;
    }
    const int32_t result = m_host.PurgeDeletedRecords(m_dbHandle);
    if (result != 0) {
        LogPurgeFailure();
    }
    return result;
}

int32_t CMailConduit::PushReadState() {
    for (uint32_t key = 0; CMessage* entry = m_pState->Lookup(key); ++key) {
        // Only inbox records are rebuilt from the state's copy: the other categories have no
        // desktop original, and their record is the user's only full text.
        if (entry->m_onHandheld == 0 || entry->m_goneFromDesktop != 0 ||
            entry->m_category != CATEGORY_INBOX || entry->m_changeKind != 0 ||
            entry->m_readOnDesktop == entry->m_readOnHandheld) {
            continue;
        }
        const int32_t written = WriteHandheldRecord(*entry);
        if (IsFatalSyncError(written)) {
            return written;
        }
    }
    return 0;
}

int32_t CMailConduit::CopyNewMessages() {
    for (uint32_t key = 0; CMessage* entry = m_pState->Lookup(key); ++key) {
        Yield();
        if (entry->m_onHandheld != 0 || entry->m_goneFromDesktop != 0) {
            continue;
        }
        if (entry->Subject().empty() && entry->Body().empty() &&
            entry->m_pRecipients->Count() == 0) {
            continue;
        }
        if (entry->m_category != CATEGORY_INBOX) {
            // A handheld-only message whose record is gone from the handheld: nothing on
            // the desktop can bring it back, so the state forgets it.
            if (IsHandheldOnly(entry->m_category)) {
                entry->m_goneFromDesktop = 1;
            }
            continue;
        }
        if (PassesFilter(*entry) == 0) {
            entry->m_goneFromDesktop = 1;  // not offered again while the state remembers it
            continue;
        }
        const int32_t written = WriteHandheldRecord(*entry);
        if (written == 0) {
            if (entry->m_truncated != 0) {
                LogNotice(IDS_MESSAGE_TRUNCATED, *entry);
            }
        } else if (IsFatalSyncError(written)) {
            return written;
        }
    }
    return 0;
}

int32_t CMailConduit::PassesFilter(const CMessage& message) const {
    if (m_pPrefs == nullptr) {
        return 1;
    }
    return torrim::PassesFilter(*m_pPrefs, message);
}

int32_t CMailConduit::WriteHandheldRecord(CMessage& message) {
    std::vector<uint8_t> buffer(MAX_RECORD_SIZE);
    // The record is packed with the read mark it is to have; the message keeps that mark
    // only once the record is written.
    const int32_t readBefore = message.m_readOnHandheld;
    message.m_readOnHandheld = message.m_readOnDesktop;
    RecordRequest request = NewRequest(m_dbHandle, buffer);
    const int32_t packed = m_pConverter->PackRecord(m_pPrefs.get(), message, request);
    int32_t result = 0;
    if (packed < 0) {
        result = ERR_CANNOT_PACK;
    } else if (request.recordSize > g_writeBudget) {
        result = RESULT_FAILURE;
    } else {
        result = m_host.WriteRecord(&request);
        if (result == 0) {
            message.SetRecordId(request.recordId);
            message.m_onHandheld = 1;
            if (packed == 1) {
                LogNotice(IDS_LIST_OMITTED, message);
            }
            g_writeBudget -= request.recordSize;
        } else if (result == SYNC_HANDHELD_FULL || result == SYNC_NO_ROOM) {
            g_writeBudget = request.recordSize;
        }
    }
    if (result != 0) {
        message.m_readOnHandheld = readBefore;
        LogRecordWriteFailure(message);
    }
    return result;
}

}  // namespace torrim

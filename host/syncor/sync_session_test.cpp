// The sync library as a conduit uses it: iteration, change marks, purges, id-list
// slices, preferences, capacity and the lost connection.
#include "host/syncor/sync_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/bytes.h"

namespace syncor {
namespace {

class SyncSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/syncor_session_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_path = m_dir + "/hh.img";
        ASSERT_EQ(CHandheldImage::Create(m_path, "u", 1u << 20), 0);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // Handheld-side records written before the operation.
    void Seed(const std::vector<std::pair<int16_t, uint8_t>>& records) {
        CHandheldImage image;
        ASSERT_EQ(image.Open(m_path), 0);
        DatabaseInfo db;
        ASSERT_EQ(image.FindDatabase("MailDB", &db), 0);
        for (auto [category, attributes] : records) {
            RecordData r;
            r.category = category;
            r.attributes = attributes;
            r.data = "rec" + std::to_string(m_seeded.size());
            ASSERT_EQ(image.WriteRecord(db.dbId, &r), 0);
            m_seeded.push_back(r.id);
        }
    }
    void SetFaultAfter(int64_t calls) {
        CHandheldImage image;
        ASSERT_EQ(image.Open(m_path), 0);
        ASSERT_EQ(image.SetFaultAfter(calls), 0);
    }
    uint8_t OpenMail() {
        uint8_t handle = 0;
        EXPECT_EQ(m_session.OpenDatabase("MailDB", 0, &handle), 0);
        return handle;
    }
    RecordRequest Request(uint8_t handle) {
        RecordRequest r{};
        r.dbHandle = handle;
        r.bufferSize = sizeof(m_buffer);
        r.buffer = m_buffer;
        return r;
    }
    // Ids answered by repeated read-next calls until the first non-zero code.
    std::vector<uint32_t> Drain(uint8_t handle, bool changed, int16_t category, int32_t* last) {
        std::vector<uint32_t> ids;
        for (;;) {
            RecordRequest r = Request(handle);
            r.category = category;
            *last = changed ? m_session.ReadNextChanged(&r) : m_session.ReadNextInCategory(&r);
            if (*last != 0)
                return ids;
            ids.push_back(uint32_t{r.recordId});
        }
    }

    std::string m_dir;
    std::string m_path;
    std::vector<uint32_t> m_seeded;
    CSyncSession m_session;
    uint8_t m_buffer[32767];
};

TEST_F(SyncSessionTest, CallsNeedAnAttachedImage) {
    int32_t reg = 0;
    EXPECT_EQ(m_session.Register(&reg), SYNC_ERR_NO_IMAGE);
    EXPECT_EQ(m_session.Yield(100), 0);
    EXPECT_EQ(m_session.Attach(m_dir + "/missing.img"), SYNC_ERR_IO);
    ASSERT_EQ(m_session.Attach(m_path), 0);
    ASSERT_EQ(m_session.Register(&reg), 0);
    EXPECT_EQ(m_session.Unregister(reg + 1), SYNC_ERR_NOT_REGISTERED);
    EXPECT_EQ(m_session.Unregister(reg), 0);
    uint8_t h = 0;
    EXPECT_EQ(m_session.OpenDatabase("NoSuchDB", 0, &h), SYNC_ERR_NOT_FOUND);
    EXPECT_EQ(m_session.CloseDatabase(9), SYNC_ERR_BAD_HANDLE);
}

TEST_F(SyncSessionTest, CategoryIterationSkipsDeletedAndSurvivesDeletesWhileIterating) {
    Seed({{1, 0}, {0, 0}, {1, SYNC_REC_DELETED}, {1, SYNC_REC_MODIFIED}, {1, 0}});
    ASSERT_EQ(m_session.Attach(m_path), 0);
    uint8_t h = OpenMail();
    // Sending the outbox deletes each record right after reading it: none may be skipped.
    std::vector<uint32_t> sent;
    for (;;) {
        RecordRequest r = Request(h);
        r.category = 1;
        if (m_session.ReadNextInCategory(&r) != 0)
            break;
        sent.push_back(uint32_t{r.recordId});
        RecordRequest del = Request(h);
        del.recordId = r.recordId;
        ASSERT_EQ(m_session.DeleteRecord(&del), 0);
    }
    EXPECT_EQ(sent, (std::vector<uint32_t>{m_seeded[0], m_seeded[3], m_seeded[4]}));
    int32_t last = 0;
    EXPECT_TRUE(Drain(h, false, 1, &last).empty());
    EXPECT_EQ(last, SYNC_ERR_NOT_FOUND);
    // The iteration restarts only when asked.
    ASSERT_EQ(m_session.ResetRecordIndex(h), 0);
    EXPECT_EQ(Drain(h, false, 0, &last), (std::vector<uint32_t>{m_seeded[1]}));
    RecordRequest bad = Request(h);
    bad.category = 16;
    EXPECT_EQ(m_session.ReadNextInCategory(&bad), SYNC_ERR_BAD_ARGUMENT);
}

TEST_F(SyncSessionTest, ChangeMarksPurgesAndCount) {
    Seed({{0, 0},
          {0, SYNC_REC_MODIFIED},
          {2, SYNC_REC_DELETED | SYNC_REC_MODIFIED},
          {2, 0},
          {3, 0}});
    ASSERT_EQ(m_session.Attach(m_path), 0);
    uint8_t h = OpenMail();
    int32_t last = 0;
    EXPECT_EQ(Drain(h, true, 0, &last), (std::vector<uint32_t>{m_seeded[1], m_seeded[2]}));
    EXPECT_EQ(last, SYNC_ERR_NOT_FOUND);
    // A deleted record is still readable by id until purged, and says it is deleted.
    RecordRequest r = Request(h);
    r.recordId = m_seeded[2];
    ASSERT_EQ(m_session.ReadRecordWithId(&r), 0);
    EXPECT_EQ(r.attributes & SYNC_REC_DELETED, SYNC_REC_DELETED);
    EXPECT_EQ(int16_t{r.category}, 2);

    // Records the conduit writes are not changes unless it says so.
    RecordRequest w = Request(h);
    std::memcpy(m_buffer, "new", 3);
    w.recordSize = 3;
    ASSERT_EQ(m_session.WriteRecord(&w), 0);
    ASSERT_EQ(m_session.ResetRecordIndex(h), 0);
    EXPECT_EQ(Drain(h, true, 0, &last).size(), 2u);

    uint16_t count = 0;
    ASSERT_EQ(m_session.RecordCount(h, &count), 0);
    EXPECT_EQ(count, 6);
    ASSERT_EQ(m_session.ClearChangeMarks(h), 0);
    ASSERT_EQ(m_session.ResetRecordIndex(h), 0);
    // Still marked deleted after clearing the change marks.
    EXPECT_EQ(Drain(h, true, 0, &last), (std::vector<uint32_t>{m_seeded[2]}));
    ASSERT_EQ(m_session.PurgeDeleted(h), 0);
    ASSERT_EQ(m_session.RecordCount(h, &count), 0);
    EXPECT_EQ(count, 5);
    ASSERT_EQ(m_session.PurgeCategory(h, 2), 0);
    ASSERT_EQ(m_session.RecordCount(h, &count), 0);
    EXPECT_EQ(count, 4);
    RecordRequest gone = Request(h);
    gone.recordId = m_seeded[3];
    EXPECT_EQ(m_session.ReadRecordWithId(&gone), SYNC_ERR_NOT_FOUND);
    EXPECT_EQ(m_session.DeleteRecord(&gone), SYNC_ERR_NOT_FOUND);
}

TEST_F(SyncSessionTest, ReadsNeverWriteBeyondTheCallersBuffer) {
    Seed({{0, SYNC_REC_MODIFIED}});
    ASSERT_EQ(m_session.Attach(m_path), 0);
    uint8_t h = OpenMail();
    std::memset(m_buffer, 0xEE, sizeof(m_buffer));
    RecordRequest r = Request(h);
    r.recordId = m_seeded[0];
    r.bufferSize = 2;  // the record holds "rec0"
    EXPECT_EQ(m_session.ReadRecordWithId(&r), SYNC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(uint32_t{r.recordSize}, 4u);
    EXPECT_EQ(m_buffer[0], 0xEE);
    // The iteration moves on even then, so a caller cannot loop on one record.
    r = Request(h);
    r.bufferSize = 2;
    EXPECT_EQ(m_session.ReadNextChanged(&r), SYNC_ERR_BUFFER_TOO_SMALL);
    r = Request(h);
    EXPECT_EQ(m_session.ReadNextChanged(&r), SYNC_ERR_NOT_FOUND);
}

TEST_F(SyncSessionTest, WriteRefusesARecordLargerThanTheCallersBuffer) {
    Seed({{0, 0}});
    ASSERT_EQ(m_session.Attach(m_path), 0);
    uint8_t h = OpenMail();
    std::memcpy(m_buffer, "long", 4);
    RecordRequest w = Request(h);
    w.recordSize = 4;
    w.bufferSize = 3;
    EXPECT_EQ(m_session.WriteRecord(&w), 16386);  // a new record
    EXPECT_EQ(uint32_t{w.recordId}, 0u);
    w.recordId = m_seeded[0];
    EXPECT_EQ(m_session.WriteRecord(&w), 16386);  // a replacement
    uint16_t count = 0;
    ASSERT_EQ(m_session.RecordCount(h, &count), 0);
    EXPECT_EQ(count, 1);
    RecordRequest r = Request(h);
    r.recordId = m_seeded[0];
    ASSERT_EQ(m_session.ReadRecordWithId(&r), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m_buffer), r.recordSize), "rec0");
    w.bufferSize = 4;  // exactly the record's size
    EXPECT_EQ(m_session.WriteRecord(&w), 0);
}

TEST_F(SyncSessionTest, IdListIsAnsweredInSlicesThatFitTheBuffer) {
    std::vector<std::pair<int16_t, uint8_t>> many(10, {0, 0});
    Seed(many);
    ASSERT_EQ(m_session.Attach(m_path), 0);
    uint8_t h = OpenMail();
    uint8_t ids[64];
    std::memset(ids, 0xEE, sizeof(ids));
    // 16 ids wanted but room for 4 (as with a size that wrapped): 4 answered, no overrun.
    std::vector<uint32_t> all;
    IdListRequest req{};
    req.dbHandle = h;
    req.idsWanted = 16;
    req.bufferSize = 16;
    req.buffer = ids;
    for (;;) {
        ASSERT_EQ(m_session.ReadIdList(&req), 0);
        ASSERT_LE(uint16_t{req.idsReturned}, 4);
        if (req.idsReturned == 0)
            break;
        for (int i = 0; i < req.idsReturned; ++i)
            all.push_back(platform::GetU32BE(ids + 4 * i));
        req.firstPosition = static_cast<uint16_t>(req.firstPosition + req.idsReturned);
    }
    EXPECT_EQ(ids[16], 0xEE);
    EXPECT_EQ(all, m_seeded);
    // Ids wanted with no room at all (a byte size that wrapped to 0) is an error, not an
    // empty success.
    req.firstPosition = 0;
    req.bufferSize = 0;
    EXPECT_EQ(m_session.ReadIdList(&req), SYNC_ERR_BAD_ARGUMENT);
    EXPECT_EQ(uint16_t{req.idsReturned}, 0);
    // Ids are big-endian.
    req.bufferSize = 4;
    ASSERT_EQ(m_session.ReadIdList(&req), 0);
    EXPECT_EQ(ids[0], static_cast<uint8_t>(m_seeded[0] >> 24));
    EXPECT_EQ(ids[3], static_cast<uint8_t>(m_seeded[0]));
}

TEST_F(SyncSessionTest, FullHandheldAnswers16404ForNewAnd16403ForGrowingRecords) {
    {
        CHandheldImage image;
        ASSERT_EQ(image.Open(m_path), 0);
        ASSERT_EQ(image.SetCapacity(DATABASE_OVERHEAD + RECORD_OVERHEAD + 5000), 0);
    }
    ASSERT_EQ(m_session.Attach(m_path), 0);
    uint8_t h = OpenMail();
    RecordRequest w = Request(h);
    w.recordSize = 4000;
    ASSERT_EQ(m_session.WriteRecord(&w), 0);
    uint32_t id = w.recordId;
    w = Request(h);
    w.recordSize = 1500;
    EXPECT_EQ(m_session.WriteRecord(&w), 16404);
    w.recordId = id;
    w.recordSize = 6000;
    EXPECT_EQ(m_session.WriteRecord(&w), 16403);
    w.recordSize = 300;
    EXPECT_EQ(m_session.WriteRecord(&w), 0);
    CreateDatabaseRequest create{};
    std::strcpy(create.name, "Other");
    w = Request(h);
    w.recordSize = 4650;
    ASSERT_EQ(m_session.WriteRecord(&w), 0);
    EXPECT_EQ(m_session.CreateDatabase(&create), 16404);
}

TEST_F(SyncSessionTest, FaultPlanLosesTheConnectionAfterNCalls) {
    Seed({{1, 0}});
    SetFaultAfter(3);
    ASSERT_EQ(m_session.Attach(m_path), 0);
    int32_t reg = 0;
    ASSERT_EQ(m_session.Register(&reg), 0);  // call 1
    ASSERT_EQ(m_session.Yield(100), 0);      // call 2
    uint8_t h = OpenMail();                  // call 3
    RecordRequest r = Request(h);
    r.category = 1;
    int32_t e = m_session.ReadNextInCategory(&r);
    EXPECT_EQ(e & 0x2000, 0x2000);
    EXPECT_EQ(m_session.Unregister(reg) & 0x2000, 0x2000);
    EXPECT_EQ(m_session.Yield(100) & 0x2000, 0x2000);
    SyncHostStatus status{};
    m_session.GetStatus(&status);
    EXPECT_EQ(status.connectionLost, 1);
    EXPECT_EQ(status.registeredConduits, 1);
    // Nothing before the loss was undone; a new operation starts connected again only when
    // the plan allows it.
    ASSERT_EQ(m_session.Attach(m_path), 0);
    EXPECT_EQ(m_session.Register(&reg), 0);
    SetFaultAfter(-1);
    ASSERT_EQ(m_session.Attach(m_path), 0);
    h = OpenMail();
    r = Request(h);
    r.category = 1;
    EXPECT_EQ(m_session.ReadNextInCategory(&r), 0);
}

TEST_F(SyncSessionTest, AFailureOfTheImageFileEndsTheOperationWithTheHostIoCode) {
    ASSERT_EQ(m_session.Attach(m_path), 0);
    // Codes that are the handheld's own answers pass unchanged.
    EXPECT_EQ(m_session.Outcome(SYNC_ERR_NO_ROOM), SYNC_ERR_NO_ROOM);
    EXPECT_EQ(m_session.Outcome(SYNC_ERR_NOT_FOUND), SYNC_ERR_NOT_FOUND);
    // A disk that is full (SQLite answers an I/O error) is not a full handheld.
    EXPECT_EQ(m_session.Outcome(SYNC_ERR_IO), SYNC_ERR_HOST_IO);
    EXPECT_EQ(SYNC_ERR_HOST_IO & 0x2000, 0x2000);
    int32_t reg = 0;
    EXPECT_EQ(m_session.Register(&reg), SYNC_ERR_HOST_IO);
    EXPECT_EQ(m_session.Outcome(SYNC_ERR_CORRUPT_IMAGE), SYNC_ERR_HOST_IO);
    SyncHostStatus status{};
    m_session.GetStatus(&status);
    EXPECT_EQ(status.imageFault, SYNC_ERR_IO);  // the first failure is the one reported
    EXPECT_EQ(status.connectionLost, 0);
    ASSERT_EQ(m_session.Attach(m_path), 0);
    EXPECT_EQ(m_session.Register(&reg), 0);
}

TEST_F(SyncSessionTest, PreferenceReadCopiesAtMostWhatWasAskedAndFits) {
    {
        CHandheldImage image;
        ASSERT_EQ(image.Open(m_path), 0);
        Preference p;
        p.creator = MAIL_CREATOR;
        p.id = 3;
        p.version = 2;
        p.data = "signature text";
        ASSERT_EQ(image.WritePreference(p), 0);
    }
    ASSERT_EQ(m_session.Attach(m_path), 0);
    std::memset(m_buffer, 0xEE, 32);
    PreferenceRequest req{};
    req.creator = MAIL_CREATOR;
    req.preferenceId = 3;
    req.requestedLength = 0xFFFF;
    req.backedUp = 1;
    req.bufferSize = 4;
    req.buffer = m_buffer;
    ASSERT_EQ(m_session.ReadAppPreference(&req), 0);
    EXPECT_EQ(uint16_t{req.bytesRead}, 4);
    EXPECT_EQ(uint16_t{req.version}, 2);
    EXPECT_EQ(m_buffer[4], 0xEE);
    req.bufferSize = 32767;
    req.requestedLength = 9;
    ASSERT_EQ(m_session.ReadAppPreference(&req), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m_buffer), req.bytesRead), "signature");
    req.preferenceId = 1;
    EXPECT_EQ(m_session.ReadAppPreference(&req), SYNC_ERR_NOT_FOUND);
}

}  // namespace
}  // namespace syncor

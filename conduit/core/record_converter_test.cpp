// Handheld mail records and preferences: layout, limits, dates and hostile records.
#include "conduit/core/record_converter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "conduit/core/fake_host_test_util.h"
#include "conduit/core/filter.h"
#include "conduit/core/mail_settings.h"
#include "conduit/core/message.h"
#include "platform/local_time.h"

namespace torrim {
namespace {

uint32_t LocalDate(int year, int month, int day, int hour, int minute) {
    int64_t seconds = 0;
    EXPECT_TRUE(platform::LocalToUtc({year, month, day, hour, minute, 0, 0}, &seconds));
    return static_cast<uint32_t>(seconds);
}

// The eight texts of a packed record, checking that each is terminated inside the record.
std::vector<std::string> TextsOf(const std::vector<uint8_t>& buffer, uint32_t size) {
    std::vector<std::string> texts;
    size_t pos = RECORD_HEADER_SIZE;
    for (int i = 0; i < 8; ++i) {
        const char* start = reinterpret_cast<const char*>(buffer.data() + pos);
        const size_t length = strnlen(start, size - pos);
        EXPECT_LT(pos + length, size) << "text " << i << " not terminated";
        texts.emplace_back(start, length);
        pos += length + 1;
    }
    return texts;
}

class RecordConverterTest : public ::testing::Test {
protected:
    RecordConverterTest() : m_converter(m_host, m_settings), m_buffer(MAX_RECORD_SIZE, 0xAB) {}

    RecordRequest Request(uint32_t size = 0) {
        RecordRequest request;
        std::memset(&request, 0, sizeof(request));
        request.buffer = m_buffer.data();
        request.bufferSize = static_cast<uint16_t>(m_buffer.size());
        request.recordSize = size;
        return request;
    }
    int32_t Pack(CMessage& message, RecordRequest* request) {
        *request = Request();
        return m_converter.PackRecord(&m_prefs, message, *request);
    }
    void SetRecord(const std::string& bytes) {
        std::memcpy(m_buffer.data(), bytes.data(), bytes.size());
    }

    CFakeHost m_host;
    MailSettings m_settings;
    CFilter m_prefs;
    CMailRecordConverter m_converter;
    std::vector<uint8_t> m_buffer;
};

TEST_F(RecordConverterTest, DateWordOfFirstMarch2001IsC261) {
    CMessage message;
    message.m_date = LocalDate(2001, 3, 1, 14, 5);
    RecordRequest request;
    ASSERT_EQ(Pack(message, &request), 0);
    EXPECT_EQ(m_buffer[0], 0xC2);
    EXPECT_EQ(m_buffer[1], 0x61);
    EXPECT_EQ(m_buffer[2], 14);
    EXPECT_EQ(m_buffer[3], 5);
    CMessage back;
    ASSERT_EQ(m_converter.UnpackRecord(&m_prefs, back, request), 0);
    EXPECT_EQ(back.m_date, message.m_date);
}

TEST_F(RecordConverterTest, DatesAreClampedNeverWrapped) {
    uint16_t date = 0;
    uint16_t time = 0;
    RecordDateWords(0, &date, &time);
    EXPECT_EQ(date, 0);
    EXPECT_EQ(time, 0);
    RecordDateWords(LocalDate(2040, 6, 1, 10, 0), &date, &time);
    EXPECT_EQ(date >> 9, 127);  // 2031, not 1912
    EXPECT_EQ(date & 0x1FF, (12 << 5) | 31);
    EXPECT_EQ(time, (23 << 8) | 59);
    // A summer date keeps its local hour across the daylight-saving change.
    RecordDateWords(LocalDate(2010, 7, 4, 9, 30), &date, &time);
    EXPECT_EQ(DateOfRecordWords(date, time), LocalDate(2010, 7, 4, 9, 30));
    EXPECT_EQ(DateOfRecordWords(0, 0x0101), 0u);
    EXPECT_EQ(DateOfRecordWords((10 << 9) | (0 << 5) | 0, 0), LocalDate(1970, 1, 1, 0, 0));
    EXPECT_EQ(DateOfRecordWords((97 << 9) | (15 << 5) | 1, 0), LocalDate(2001, 12, 1, 0, 0));
    EXPECT_EQ(DateOfRecordWords((97 << 9) | (3 << 5) | 1, 0x1900), 0u);  // hour 25
    EXPECT_EQ(DateOfRecordWords((97 << 9) | (2 << 5) | 30, 0), 0u);      // 30 February
}

TEST_F(RecordConverterTest, LineEndsRoundTrip) {
    SetRecord(std::string("\0\0\0\0\x80\x00", 6) + std::string("A\nB\0\0\0\0\0\0\0x\ny\0", 14));
    CMessage message;
    ASSERT_EQ(m_converter.UnpackRecord(&m_prefs, message, Request(20)), 0);
    EXPECT_EQ(message.Subject(), "AB");
    EXPECT_EQ(message.Body(), "x\r\ny");
    EXPECT_EQ(message.m_readOnHandheld, 1);
    EXPECT_EQ(message.m_date, 0u);
    RecordRequest request;
    ASSERT_EQ(Pack(message, &request), 0);
    EXPECT_EQ(TextsOf(m_buffer, request.recordSize)[7], "x\ny");
    EXPECT_EQ(m_buffer[0] | m_buffer[1] | m_buffer[2] | m_buffer[3], 0);
}

TEST_F(RecordConverterTest, LongBodiesConvertAcrossYieldChunksAndYield) {
    std::string body;
    for (int i = 0; body.size() < 12000; ++i) {
        body += std::string(static_cast<size_t>(i % 97), 'x') + "\n";
    }
    std::string expected;
    for (char c : body) {
        expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    SetRecord(std::string(6, '\0') + std::string(7, '\0') + body + std::string(1, '\0'));
    CMessage message;
    const int yields = m_host.m_yields;
    ASSERT_EQ(m_converter.UnpackRecord(&m_prefs, message, Request(14 + body.size())), 0);
    EXPECT_EQ(message.Body(), expected);
    EXPECT_GE(m_host.m_yields - yields, 2);
    m_prefs.m_maxSize = 0xFFFF;
    RecordRequest request;
    ASSERT_EQ(Pack(message, &request), 0);
    EXPECT_EQ(TextsOf(m_buffer, request.recordSize)[7], body);
}

TEST_F(RecordConverterTest, FieldsFlagsAndRecipientsRoundTrip) {
    m_settings.SetUserAccount("ME@corp");
    CMessage message;
    message.SetSubject("Hi\r");
    message.SetFromAddress("boss@corp");
    message.SetFromName("The Boss");
    message.AddRecipient(RECIPIENT_TO, "", "you@corp");
    message.AddRecipient(RECIPIENT_CC, "Me", "me@corp");
    message.m_priority = 2;
    message.m_signature = 1;
    message.m_confirmDelivery = 1;
    message.SetRecordId(77);
    message.m_category = 3;
    RecordRequest request;
    ASSERT_EQ(Pack(message, &request), 0);
    EXPECT_EQ(uint32_t{request.recordId}, 77u);
    EXPECT_EQ(int{request.category}, 3);
    // signature, confirm delivery, low priority, the user is a Cc recipient
    EXPECT_EQ((m_buffer[4] << 8) | m_buffer[5], (1 << 14) | (1 << 12) | (2 << 10) | (1 << 8));
    const auto texts = TextsOf(m_buffer, request.recordSize);
    EXPECT_EQ(texts[0], "Hi");
    EXPECT_EQ(texts[1], "boss@corp (The Boss)");
    EXPECT_EQ(texts[2], "you@corp");
    EXPECT_EQ(texts[3], "me@corp (Me)");
    // Header, eight texts, and the zeroed extra byte records have always carried.
    EXPECT_EQ(uint32_t{request.recordSize}, 6u + 3 + 21 + 9 + 13 + 1 + 1 + 1 + 1 + 1);
    EXPECT_EQ(m_buffer[request.recordSize - 1], 0);
    CMessage back;
    ASSERT_EQ(m_converter.UnpackRecord(&m_prefs, back, request), 0);
    EXPECT_EQ(back.FromName(), "The Boss");
    EXPECT_EQ(back.m_counts[COUNT_CC], 1);
    EXPECT_EQ(back.m_priority, 2);
    EXPECT_EQ(back.m_confirmDelivery, 1);
    EXPECT_EQ(back.m_confirmRead, 0);
}

TEST_F(RecordConverterTest, EmptyAccountMatchesNobody) {
    CMessage message;
    message.AddRecipient(RECIPIENT_BCC, "", "x@y");
    RecordRequest request;
    ASSERT_EQ(Pack(message, &request), 0);
    EXPECT_EQ(m_buffer[5] & 0x03, 0);
    EXPECT_EQ(m_buffer[4] & 0x03, 0);
    m_settings.SetUserAccount("X@Y");
    ASSERT_EQ(Pack(message, &request), 0);
    EXPECT_EQ(m_buffer[4] & 0x03, 2);
}

TEST_F(RecordConverterTest, BodyBeyondTruncationSizeIsCutOnACharacterWithNotice) {
    const uint32_t saved = platform::ActiveCodePage();
    platform::SetActiveCodePage(932);
    CMessage message;
    std::string text = "x" + std::string(5000, '\0');
    for (size_t i = 1; i < text.size(); i += 2) {
        text[i] = '\x82';
        text[i + 1] = '\xA0';
    }
    message.SetBody(text);
    ASSERT_EQ(message.Body().size(), 5001u);
    RecordRequest request;
    ASSERT_EQ(Pack(message, &request), 0);
    const std::string notice = m_host.LoadString(6008);
    const std::string body = TextsOf(m_buffer, request.recordSize)[7];
    ASSERT_GT(body.size(), notice.size());
    EXPECT_EQ(body.substr(body.size() - notice.size()), notice);
    EXPECT_EQ(body.size() - notice.size(), 3999u);  // 4000 would split a character
    EXPECT_EQ(message.m_truncated, 1);
    platform::SetActiveCodePage(saved);
}

TEST_F(RecordConverterTest, OversizedRecipientFieldIsReplacedByNotice) {
    CMessage message;
    message.AddRecipient(RECIPIENT_TO, "", std::string(40000, 't') + "@x");
    RecordRequest request;
    EXPECT_EQ(Pack(message, &request), 1);
    const auto texts = TextsOf(m_buffer, request.recordSize);
    EXPECT_EQ(texts[2], m_host.LoadString(6114));
    EXPECT_EQ(texts[3], "");
}

TEST_F(RecordConverterTest, EveryFieldFitsAndEndsWithTerminatorWhateverTheSizes) {
    const std::string notice = m_host.LoadString(6114);
    m_prefs.m_maxSize = 0xFFFF;
    for (size_t bodySize : {0u, 100u, 32000u, 32700u, 32766u, 40000u}) {
        for (size_t fieldSize : {0u, 50u, 20000u, 33000u}) {
            CMessage message;
            message.SetBody(std::string(bodySize, 'b'));
            message.SetSubject(std::string(fieldSize, 's'));
            message.SetFromAddress(std::string(fieldSize, 'f'));
            message.AddRecipient(RECIPIENT_TO, "", std::string(fieldSize, 't'));
            message.AddRecipient(RECIPIENT_CC, "", std::string(fieldSize, 'c'));
            message.AddRecipient(RECIPIENT_BCC, "", std::string(fieldSize, 'd'));
            RecordRequest request;
            const int32_t result = Pack(message, &request);
            ASSERT_GE(result, 0);
            ASSERT_LE(uint32_t{request.recordSize}, MAX_RECORD_SIZE);
            const auto texts = TextsOf(m_buffer, request.recordSize);
            for (int field = 2; field <= 4; ++field) {
                EXPECT_TRUE(texts[field] == std::string(fieldSize, "tcd"[field - 2]) ||
                            texts[field] == notice)
                    << bodySize << "/" << fieldSize << " field " << field;
            }
            const bool cut = texts[0].size() < fieldSize || texts[1].size() < fieldSize ||
                             texts[2] != std::string(fieldSize, 't') ||
                             texts[3] != std::string(fieldSize, 'c') ||
                             texts[4] != std::string(fieldSize, 'd');
            EXPECT_EQ(result, cut ? 1 : 0) << bodySize << "/" << fieldSize;
            EXPECT_EQ(message.m_truncated, texts[7].size() < bodySize ? 1 : 0);
        }
    }
}

TEST_F(RecordConverterTest, SmallBufferOrNoBufferIsRefused) {
    CMessage message;
    RecordRequest request = Request();
    request.buffer = nullptr;
    EXPECT_EQ(m_converter.PackRecord(&m_prefs, message, request), -1);
    request = Request();
    request.bufferSize = 100;  // cannot hold three notices
    EXPECT_EQ(m_converter.PackRecord(&m_prefs, message, request), -1);
}

TEST_F(RecordConverterTest, HostileRecordsNeverReadPastTheirData) {
    // Sizes beyond the buffer, missing terminators, short headers: read within bounds only.
    std::vector<uint8_t> tiny = {0xC2, 0x61, 0x0A, 0x1E, 0x0C, 0x00, 'a', 'b'};
    RecordRequest request;
    std::memset(&request, 0, sizeof(request));
    request.buffer = tiny.data();
    request.bufferSize = static_cast<uint16_t>(tiny.size());
    request.recordSize = 60000;
    CMessage message;
    EXPECT_EQ(m_converter.UnpackRecord(&m_prefs, message, request), 0);
    EXPECT_EQ(message.Subject(), "ab");
    EXPECT_EQ(message.m_priority, 3);
    for (size_t size = 0; size < tiny.size(); ++size) {
        std::vector<uint8_t> part(tiny.begin(), tiny.begin() + static_cast<long>(size));
        request.buffer = part.data();
        request.bufferSize = static_cast<uint16_t>(size);
        request.recordSize = static_cast<uint32_t>(size);
        CMessage partial;
        EXPECT_EQ(m_converter.UnpackRecord(&m_prefs, partial, request), 0);
    }
    request.buffer = nullptr;
    request.recordSize = 10;
    request.bufferSize = 10;
    EXPECT_EQ(m_converter.UnpackRecord(&m_prefs, message, request), 4112);
}

TEST_F(RecordConverterTest, DeletedRecordCarriesOnlyIdCategoryAndKind) {
    SetRecord(std::string("\xC2\x61\0\0\0\0Subject\0", 14));
    RecordRequest request = Request(14);
    request.recordId = 5;
    request.category = 2;
    request.attributes = SYNC_REC_DELETED | SYNC_REC_MODIFIED;
    CMessage message;
    ASSERT_EQ(m_converter.UnpackRecord(&m_prefs, message, request), 0);
    EXPECT_EQ(message.m_changeKind, 4);
    EXPECT_EQ(message.RecordId(), 5u);
    EXPECT_EQ(message.m_category, 2);
    EXPECT_EQ(message.m_onHandheld, 1);
    EXPECT_EQ(message.Subject(), "");
    request.attributes = SYNC_REC_MODIFIED;
    ASSERT_EQ(m_converter.UnpackRecord(&m_prefs, message, request), 0);
    EXPECT_EQ(message.m_changeKind, 2);
    EXPECT_EQ(message.Subject(), "Subject");
}

class PreferencesTest : public RecordConverterTest {
protected:
    PreferenceRequest Preference(const std::string& bytes) {
        SetRecord(bytes);
        PreferenceRequest request;
        std::memset(&request, 0, sizeof(request));
        request.buffer = m_buffer.data();
        request.bufferSize = MAX_RECORD_SIZE;
        request.bytesRead = static_cast<uint16_t>(bytes.size());
        return request;
    }
};

TEST_F(PreferencesTest, FilterWordsDropCommonWordsAndEmptyItems) {
    const std::string block =
        std::string("\x02\x01\x01\x00\x0F\xA0", 6) +
        std::string("the boss, and Smith;;or\0a,,b\0budget, the report\0", 48);
    ASSERT_EQ(m_converter.UnpackPreferences(m_prefs, Preference(block)), 0);
    EXPECT_EQ(m_prefs.m_mode, 101);
    EXPECT_EQ(m_prefs.m_highPriority, 1);
    EXPECT_EQ(m_prefs.m_maxSize, 4000);
    EXPECT_EQ(m_prefs.m_toCount, 2);
    EXPECT_EQ(m_prefs.m_fromCount, 1);
    EXPECT_EQ(m_prefs.m_subjectCount, 2);
    ASSERT_EQ(m_prefs.m_words->Count(), 5u);
    const char* words[] = {"boss", "Smith", "b", "budget", "report"};
    const int fields[] = {0, 0, 1, 2, 2};
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(m_prefs.m_words->Lookup(i)->m_word, words[i]);
        EXPECT_EQ(m_prefs.m_words->Lookup(i)->m_field, fields[i]);
    }
    // Reading again starts a fresh list rather than piling words on counts reset to 0.
    ASSERT_EQ(m_converter.UnpackPreferences(m_prefs, Preference(std::string("\x02\0\0\0\0\1", 6))),
              0);
    EXPECT_EQ(m_prefs.m_mode, 100);
    EXPECT_EQ(m_prefs.m_maxSize, 1);
    EXPECT_EQ(m_prefs.m_words->Count(), 0u);
}

TEST_F(PreferencesTest, ShortBlocksAndSignature) {
    ASSERT_EQ(m_converter.UnpackPreferences(m_prefs, Preference(std::string("\x03", 1))), 0);
    EXPECT_EQ(m_prefs.m_mode, 3);
    EXPECT_EQ(m_prefs.m_maxSize, 0);
    EXPECT_EQ(m_converter.UnpackSignature(Preference("-- \nSent from far away")),
              "-- \nSent from far away");
    EXPECT_EQ(m_converter.UnpackSignature(Preference("")), "");
}

}  // namespace
}  // namespace torrim

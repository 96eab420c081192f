// Conversion between handheld mail records or preferences and the conduit's messages and
// filter.
//
// Mail record (big-endian numbers): u16 date (bits 15-9 year - 1904, 8-5 month, 4-0 day;
// 0 = none), u16 time (hour << 8 | minute), u16 flags (15 read, 14 signature, 13 confirm
// read, 12 confirm delivery, 11-10 priority, 9-8 addressing), then eight NUL-terminated
// texts: subject, from, to, cc, bcc, reply-to, sent-to, body. At most 32767 bytes.
#pragma once

#include <cstdint>
#include <string>

#include "conduit/core/host_services.h"

namespace torrim {

class CFilter;
class CMessage;
class MailSettings;

inline constexpr uint32_t MAX_RECORD_SIZE = 32767;
inline constexpr size_t RECORD_HEADER_SIZE = 6;

class CRecordConverter {
public:
    virtual ~CRecordConverter() = default;
    // Fills a new message from a record read from the handheld. 0, or 4112 when the
    // request has data but no buffer.
    virtual int32_t UnpackRecord(const CFilter* prefs, CMessage& message,
                                 const RecordRequest& request) = 0;
    // Lays the message out in request.buffer and sets the request's id, category,
    // attributes and size. -1 without a buffer (or one too small for any record), 1 when a
    // field had to be cut or replaced to fit, else 0.
    virtual int32_t PackRecord(const CFilter* prefs, CMessage& message, RecordRequest& request) = 0;
    // Fills mode, high-priority rule, truncation size and filter words from preference
    // 1 or 2. 0, or -1 when it cannot be read.
    virtual int32_t UnpackPreferences(CFilter& prefs, const PreferenceRequest& request) {
        (void)prefs;
        (void)request;
        return -1;
    }
    // The signature of preference 3, empty when there is none.
    virtual std::string UnpackSignature(const PreferenceRequest& request) = 0;
};

class CMailRecordConverter : public CRecordConverter {
public:
    // host and settings must outlive the converter; settings gives "UserAccount" for the
    // addressing bits.
    CMailRecordConverter(CHostServices& host, const MailSettings& settings);

    int32_t UnpackRecord(const CFilter* prefs, CMessage& message,
                         const RecordRequest& request) override;
    int32_t PackRecord(const CFilter* prefs, CMessage& message, RecordRequest& request) override;
    int32_t UnpackPreferences(CFilter& prefs, const PreferenceRequest& request) override;
    std::string UnpackSignature(const PreferenceRequest& request) override;

private:
    std::string RemoveChar(std::string_view text, char c);
    std::string LineFeedsToCrLf(const std::string& text);
    int32_t AddressingOf(const CMessage& message) const;

    CHostServices& m_host;
    const MailSettings& m_settings;
};

// The record's date and time words for a time value (0 for no date). Local time; years
// after 2031 cannot be stored and give the last representable minute of 2031.
void RecordDateWords(uint32_t date, uint16_t* dateWord, uint16_t* timeWord);
// The time value of a record's date and time words; 0 for no date or one that cannot be
// converted. Years before 1970 are raised to 1970.
uint32_t DateOfRecordWords(uint16_t dateWord, uint16_t timeWord);

}  // namespace torrim

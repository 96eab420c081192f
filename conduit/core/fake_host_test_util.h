// A host for unit tests: records every call, keeps log lines, settings and preferences in
// memory, and can fail the N-th handheld call.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "conduit/core/host_services.h"
#include "platform/code_page.h"

namespace torrim {

class CFakeHost : public CHostServices {
public:
    CFakeHost() {
        m_strings = {
            {3311, "     Please check your connections and try again."},
            {3312, "     The memory in your handheld may be full."},
            {3316, "   - Could not copy the following record to the handheld:"},
            {3317, "   - Could not purge the deleted records on the handheld."},
            {3319, "   - Could not modify the following record on the handheld:"},
            {3323, "   - Could not read the next handheld record."},
            {3313,
             "     Your disk on your PC may be full.  Check the disk space and perform a "
             "TetherSync operation again."},
            {3348, "   - Could not save the Desktop file."},
            {6120, "   - Could not read the Desktop file %s."},
            {6121, "     It was left as it is and nothing was synchronized."},
            {3370, "sync configured to Do Nothing"},
            {5001, "Mail"},
            {6130, "   - Could not find the desktop user of this TetherSync operation."},
            {5006, " at "},
            {5201, "mapi"},
            {5202, "mapi32"},
            {5203, "vim32"},
            {5204, "notesvim32"},
            {6002, "Not Applicable"},
            {6003, "From: "},
            {6004, "To: "},
            {6008,
             "\n\n*************************\nThis message has been truncated. The entire "
             "message is available on your desktop email client.\n \n"},
            {6101,
             "   - Your Tamarack Mail is not properly configured.  Launch Mail Setup "
             "through the Windows Start menu on your desktop. Select Programs, Tamarack "
             "Desktop program group, and choose the Mail Setup icon."},
            {6102, "   - Could not open Handheld's Email Database."},
            {6103, "   - Could not read the Handheld's Email Preferences Database."},
            {6104, "   - Could not delete the following message from the Desktop Mail System:"},
            {6108, "   - Could not log on to the Desktop Mail System."},
            {6109, "   - Failed while trying to Logoff of the Desktop Mail System."},
            {6112, "   - The following message was truncated on the Handheld:"},
            {6114,
             "(The content of this field was too large.  The entire e-mail is available "
             "in your E-Mail application.)"},
            {6116, "   - No mail interface: \"Interface\" of section \"Mail\" is missing."},
            {6117, "   - An unknown mail interface in \"Interface\" of section \"Mail\"."},
        };
    }

    struct LogLine {
        std::string text;
        int32_t activity;
        bool operator==(const LogLine&) const = default;
    };

    // ---- what happened ----
    std::vector<std::string> m_calls;  // names of the handheld/settings calls, in order
    std::vector<LogLine> m_log;
    std::vector<std::pair<int32_t, std::string>> m_writes;  // settings writes: user, key
    int m_yields = 0;
    int m_languageOpen = 0;  // currently open scopes
    int m_languageOpenedTotal = 0;

    // ---- what to answer ----
    std::map<uint32_t, std::string> m_strings;
    // Handheld call number (1-based, counted over the calls that reach the handheld) that
    // answers m_failCode, and every later one too when m_failSticky.
    int m_failAtCall = 0;
    int32_t m_failCode = 0;
    bool m_failSticky = false;
    int m_handheldCalls = 0;
    int32_t m_registerResult = 0;
    int32_t m_openResult = 0;
    int32_t m_createResult = 0;
    std::map<uint16_t, std::vector<uint8_t>> m_preferences;
    int32_t m_userLookupResult = 0;
    int32_t m_user = 7;
    std::string m_lastUserFolder;
    std::map<std::pair<int32_t, std::string>, std::string> m_settings;  // (user, key) in "Mail"
    int32_t m_writeResult = 0;
    std::string m_failWriteKey;  // a key whose write fails

    // ---- handheld ----
    int32_t Handheld(const char* name, int32_t answer = 0) {
        m_calls.push_back(name);
        ++m_handheldCalls;
        if (m_failAtCall != 0 &&
            (m_handheldCalls == m_failAtCall || (m_failSticky && m_handheldCalls > m_failAtCall))) {
            return m_failCode;
        }
        return answer;
    }
    int32_t RegisterConduit(int32_t* handle) override {
        *handle = 42;
        return Handheld("RegisterConduit", m_registerResult);
    }
    int32_t UnregisterConduit(int32_t) override { return Handheld("UnregisterConduit"); }
    int32_t OpenDatabase(const char*, int32_t, uint8_t* handle, uint8_t) override {
        *handle = 3;
        return Handheld("OpenDatabase", m_openResult);
    }
    int32_t CreateDatabase(CreateDatabaseRequest* request) override {
        request->dbHandle = 4;
        m_createdName = request->name;
        return Handheld("CreateDatabase", m_createResult);
    }
    int32_t CloseDatabase(uint8_t) override { return Handheld("CloseDatabase"); }
    int32_t ClearChangeMarks(uint8_t) override { return Handheld("ClearChangeMarks"); }
    int32_t WriteRecord(RecordRequest*) override { return Handheld("WriteRecord"); }
    int32_t DeleteRecord(RecordRequest*) override { return Handheld("DeleteRecord"); }
    int32_t ReadRecordWithId(RecordRequest*) override { return Handheld("ReadRecordWithId"); }
    int32_t ReadNextChangedRecord(RecordRequest*) override {
        return Handheld("ReadNextChangedRecord", SYNC_ERR_NOT_FOUND);
    }
    int32_t PurgeDeletedRecords(uint8_t) override { return Handheld("PurgeDeletedRecords"); }
    int32_t UserNotice(const char* text) override {
        m_notices.push_back(text);
        return Handheld("UserNotice");
    }
    int32_t ReadAppPreference(PreferenceRequest* request) override {
        const auto it = m_preferences.find(request->preferenceId);
        const int32_t answer =
            Handheld("ReadAppPreference", it == m_preferences.end() ? SYNC_ERR_NOT_FOUND : 0);
        if (answer == 0 && it != m_preferences.end()) {
            const size_t n = std::min<size_t>(it->second.size(), request->bufferSize);
            std::memcpy(request->buffer, it->second.data(), n);
            request->bytesRead = static_cast<uint16_t>(n);
        }
        return answer;
    }
    int32_t ReadNextRecInCategory(RecordRequest*) override {
        return Handheld("ReadNextRecInCategory", SYNC_ERR_NOT_FOUND);
    }
    int32_t PurgeAllRecsInCategory(uint8_t, int16_t) override {
        return Handheld("PurgeAllRecsInCategory");
    }
    int32_t GetDBRecordCount(uint8_t, uint16_t* count) override {
        *count = 0;
        return Handheld("GetDBRecordCount");
    }
    int32_t ReadPositionXMap(IdListRequest* request) override {
        request->idsReturned = 0;
        return Handheld("ReadPositionXMap");
    }
    int32_t ResetRecordIndex(uint8_t) override { return Handheld("ResetRecordIndex"); }
    void YieldCycles(uint16_t cycles) override {
        if (cycles == YIELD_CYCLES) {
            ++m_yields;
        }
    }

    // ---- log: a problem line is any but the status lines 19, 20, 21 ----
    int32_t LogAddLine(const char* text, int32_t activity) override {
        m_log.push_back({text, activity});
        if (activity == 19) {
            m_problemLines = 0;
        } else if (activity != 20 && activity != 21) {
            ++m_problemLines;
        }
        return 0;
    }
    int32_t LogQuery() override { return m_problemLines; }

    // ---- settings ----
    int32_t UserOfFolder(const char* folder, int32_t* user) override {
        m_calls.push_back("UserOfFolder");
        m_lastUserFolder = folder;
        *user = m_user;
        return m_userLookupResult;
    }
    int32_t ReadText(int32_t user, const char* section, const char* key, char* buffer,
                     int32_t* size, const char* def) override {
        std::string value = def != nullptr ? def : "";
        const auto it = m_settings.find({user, key});
        if (std::string(section) == "Mail" && it != m_settings.end()) {
            value = it->second;
        }
        const size_t n = std::min<size_t>(value.size(), static_cast<size_t>(*size) - 1);
        std::memcpy(buffer, value.data(), n);
        buffer[n] = '\0';
        *size = static_cast<int32_t>(n);
        return 0;
    }
    int32_t ReadNumber(int32_t user, const char*, const char* key, int16_t* value,
                       int16_t def) override {
        const auto it = m_settings.find({user, key});
        *value = it == m_settings.end() ? def : static_cast<int16_t>(std::atoi(it->second.c_str()));
        return 0;
    }
    int32_t WriteText(int32_t user, const char*, const char* key, const char* value) override {
        m_writes.emplace_back(user, key);
        if (m_writeResult != 0 || key == m_failWriteKey) {
            return m_writeResult != 0 ? m_writeResult : 16645;
        }
        m_settings[{user == -1 ? m_user : user, key}] = value;
        return 0;
    }

    // ---- language library ----
    void OpenLanguageLibrary() override {
        ++m_languageOpen;
        ++m_languageOpenedTotal;
    }
    void ReleaseLanguageLibrary() override { --m_languageOpen; }
    std::string LoadString(uint32_t id) override {
        const auto it = m_strings.find(id);
        return it == m_strings.end() ? std::string() : it->second;
    }

    size_t ValidateNumberDec(std::string_view text, size_t limit) override {
        return platform::ValidCutLength(text, limit);
    }

    int Count(const std::string& call) const {
        int n = 0;
        for (const std::string& c : m_calls) {
            n += c == call ? 1 : 0;
        }
        return n;
    }
    std::vector<std::string> m_notices;
    std::string m_createdName;

private:
    int32_t m_problemLines = 0;
};

}  // namespace torrim

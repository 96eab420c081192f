// Fuzz target: a handheld image file from anywhere is opened and every record and
// preference read from it; nothing may crash, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "host/syncor/handheld_image.h"
#include "host/tethersync/mail_record.h"
#include "platform/file_util.h"

namespace {

const std::string& ScratchPath() {
    static const std::string path = [] {
        std::random_device random;
        return (std::filesystem::temp_directory_path() /
                ("fuzz_handheld_" + std::to_string(random()) + ".img"))
            .string();
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = ScratchPath();
    if (platform::WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(data), size),
                                  0600) != 0)
        return 0;
    syncor::CHandheldImage image;
    if (image.Open(path) != 0)
        return 0;
    std::vector<syncor::DatabaseInfo> dbs;
    if (image.ListDatabases(&dbs) != 0)
        return 0;
    for (const auto& db : dbs) {
        std::vector<syncor::RecordData> records;
        if (image.ListRecords(db.dbId, &records) == 0) {
            for (const auto& r : records) {
                tethersync::HandheldMail mail;
                (void)tethersync::UnpackMail(r.data, &mail);  // any answer is fine
                syncor::RecordData again;
                (void)image.ReadRecord(db.dbId, r.id, &again);
            }
        }
        syncor::RecordData next;
        int64_t position = 0;
        for (int i = 0; i < 64 && image.NextRecord(db.dbId, position, syncor::RecordFilter::Changed,
                                                   0, &next) == 0;
             ++i)
            position = next.position;
        uint32_t count = 0;
        (void)image.CountRecords(db.dbId, &count);
        std::vector<uint32_t> ids;
        (void)image.IdSlice(db.dbId, 0, 100, &ids);
    }
    for (uint16_t id = 1; id <= 3; ++id) {
        syncor::Preference pref;
        if (image.ReadPreference(syncor::MAIL_CREATOR, id, true, &pref) == 0) {
            tethersync::MailPreferences prefs;
            (void)tethersync::UnpackPreferences(pref.data, &prefs);
        }
    }
    uint64_t used = 0;
    (void)image.UsedBytes(&used);
    return 0;
}

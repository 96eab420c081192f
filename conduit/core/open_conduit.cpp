// The entry points: version, name, information, and one sync operation.
#include "conduit/core/open_conduit.h"

#include <cstring>
#include <string>

#include "conduit/backends/mail_backends.h"
#include "conduit/core/codes.h"
#include "conduit/core/strings.h"
#include "platform/bytes.h"
#include "platform/code_page.h"

namespace torrim {
namespace {

bool g_versionAsked = false;

constexpr uint32_t NAME_REQUEST_VERSION = 1;
constexpr uint32_t NAME_REQUEST_SIZE = 80;

// A bounded, terminated copy of at most the low 16 bits of `size` bytes. A size of 0 has
// no room even for the terminator, so nothing is written; a size of 0x10000 or more whose
// low 16 bits are 0 means the largest, 0xFFFF. false when the name is empty.
bool CopyName(CHostServices& host, char* buffer, uint32_t size) {
    const std::string name = host.LoadString(IDS_CONDUIT_NAME);
    if (name.empty()) {
        return false;
    }
    size_t room = size & 0xFFFF;
    if (room == 0) {
        if (size == 0) {
            return true;
        }
        room = 0xFFFF;
    }
    const size_t length = std::min(name.size(), room - 1);
    std::memcpy(buffer, name.data(), length);
    buffer[length] = '\0';
    return true;
}

}  // namespace

BackEndKind BackEndOf(CHostServices& host, std::string_view interfaceName) {
    auto is = [&](uint32_t id) {
        const std::string keyword = host.LoadString(id);
        return !keyword.empty() && platform::CompareNoCaseMb(interfaceName, keyword) == 0;
    };
    if (is(IDS_INTERFACE_MAPI)) {
        return BackEndKind::Mapi16;
    }
    if (is(IDS_INTERFACE_MAPI32)) {
        return BackEndKind::Mapi32;
    }
    if (is(IDS_INTERFACE_VIM32) || is(IDS_INTERFACE_NOTESVIM32)) {
        return BackEndKind::Vim;
    }
    return BackEndKind::None;
}

std::unique_ptr<CMailConduit> CreateBackEnd(BackEndKind kind, CHostServices& host,
                                            MailSettings& settings, ProgressCallback progress,
                                            const SyncProperties& props) {
    switch (kind) {
        case BackEndKind::Mapi16:
            return std::make_unique<CMapi16Conduit>(host, settings, progress, props);
        case BackEndKind::Mapi32:
            return std::make_unique<CMapi32Conduit>(host, settings, progress, props);
        case BackEndKind::Vim:
            return std::make_unique<CVimConduit>(host, settings, progress, props);
        case BackEndKind::None:
            break;
    }
    return nullptr;
}

int32_t ConduitGetVersion() {
    g_versionAsked = true;
    return CONDUIT_VERSION;
}

void ResetVersionAskedForTesting() {
    g_versionAsked = false;
}

int32_t ConduitGetName(CHostServices& host, char* buffer, uint32_t size) {
    CResourceScope resources(host);
    if (buffer == nullptr) {
        return RESULT_FAILURE;
    }
    return CopyName(host, buffer, size) ? 0 : RESULT_FAILURE;
}

int32_t ConduitGetInfo(CHostServices& host, int32_t type, const void* in, void* out,
                       const uint32_t* outSize) {
    CResourceScope resources(host);
    if (out == nullptr) {
        return ERR_INFO_NO_OUT;
    }
    if (outSize == nullptr) {
        return ERR_INFO_NO_OUT_SIZE;
    }
    switch (type) {
        case 0: {
            if (in == nullptr) {
                return ERR_INFO_NO_IN;
            }
            const auto* request = static_cast<const uint8_t*>(in);
            if (platform::GetU32LE(request) != NAME_REQUEST_VERSION ||
                platform::GetU32LE(request + 4) != NAME_REQUEST_SIZE) {
                return ERR_INFO_BAD_REQUEST;
            }
            return CopyName(host, static_cast<char*>(out), *outSize) ? 0 : ERR_INFO_NO_NAME;
        }
        case 1:
        case 2: {
            if (*outSize != 4) {
                return ERR_INFO_BAD_SIZE;
            }
            platform::PutU32LE(static_cast<uint8_t*>(out),
                               type == 1 ? FRAMEWORK_VERSION : TORRIM_ACTION_DO_NOTHING);
            return 0;
        }
        default:
            return ERR_INFO_BAD_TYPE;
    }
}

int32_t ConduitOpen(CHostServices& host, MailSettings& settings, ProgressCallback progress,
                    const SyncProperties* props) {
    CResourceScope resources(host);
    int32_t result = RESULT_FAILURE;
    if (progress == nullptr || props == nullptr || !g_versionAsked) {
        return result;
    }
    if (props->syncAction == TORRIM_ACTION_DO_NOTHING) {
        const std::string line =
            host.LoadString(IDS_CONDUIT_NAME) + " - " + host.LoadString(IDS_DO_NOTHING);
        (void)host.LogAddLine(line.c_str(), LOG_TEXT);  // the operation is done either way
        return 0;
    }
    const std::string folder(props->conduitFolder,
                             strnlen(props->conduitFolder, sizeof(props->conduitFolder)));
    // An unconfigured user shows as an empty System (the warning is given inside); a user
    // that cannot be found is logged there and ends the operation with the error end line.
    bool userNotFound = false;
    (void)ReadMailSettings(host, settings, folder, &userNotFound);
    if (userNotFound) {
        (void)host.LogAddLine(host.LoadString(IDS_CONDUIT_NAME).c_str(), LOG_SYNC_FAILED);
        return 0;
    }
    if (settings.System().empty()) {
        return 0;
    }
    const BackEndKind kind = BackEndOf(host, settings.Interface());
    if (kind == BackEndKind::None) {
        // Nothing can run; the log says which setting is wrong, once per operation.
        const std::string heading = "-- " + host.LoadString(IDS_CONDUIT_NAME);
        const std::string why = host.LoadString(
            settings.Interface().empty() ? IDS_NO_INTERFACE : IDS_UNKNOWN_INTERFACE);
        (void)host.LogAddLine(heading.c_str(), LOG_CONFIG_WARNING);  // the result says it
        (void)host.LogAddLine(why.c_str(), LOG_CONFIG_WARNING);
        return result;
    }
    // The 16-bit back-end needs the thunk; a registration that is refused ends the
    // operation quietly.
    if (kind == BackEndKind::Mapi16 && RegisteredThunk() == nullptr && !RegisterThunk(host)) {
        return 0;
    }
    std::unique_ptr<CMailConduit> conduit =
        kind == BackEndKind::None ? nullptr : CreateBackEnd(kind, host, settings, progress, *props);
    if (conduit != nullptr) {
        result = conduit->Run();
        conduit.reset();
    }
    // The 16-bit back-end's thunk must stay registered, so the host is asked to keep the
    // library loaded whatever happened.
    if (kind == BackEndKind::Mapi16) {
        progress(NO_UNLOAD_TEXT);
    }
    return result;
}

}  // namespace torrim

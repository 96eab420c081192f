// The logic of the library's four entry points, on a given host (the exported C functions
// pass the real one).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "conduit/core/host_services.h"
#include "conduit/core/mail_conduit.h"
#include "conduit/core/mail_settings.h"
#include "torrim/torrim.h"

namespace torrim {

inline constexpr int32_t CONDUIT_VERSION = 0x0101;
inline constexpr uint32_t FRAMEWORK_VERSION = 0x0600;
inline constexpr const char* NO_UNLOAD_TEXT = "NoUnload";

// The desktop mail back-ends the "Interface" setting can name.
enum class BackEndKind { None, Mapi16, Mapi32, Vim };

// The back-end named by an "Interface" value (case ignored; keywords from the string
// table).
BackEndKind BackEndOf(CHostServices& host, std::string_view interfaceName);

// Creates the conduit object of a back-end kind, or null when this build has no such
// back-end (OpenConduit then runs nothing and answers -1, as for an unknown interface).
std::unique_ptr<CMailConduit> CreateBackEnd(BackEndKind kind, CHostServices& host,
                                            MailSettings& settings, ProgressCallback progress,
                                            const SyncProperties& props);

int32_t ConduitGetVersion();
int32_t ConduitGetName(CHostServices& host, char* buffer, uint32_t size);
int32_t ConduitGetInfo(CHostServices& host, int32_t type, const void* in, void* out,
                       const uint32_t* outSize);
int32_t ConduitOpen(CHostServices& host, MailSettings& settings, ProgressCallback progress,
                    const SyncProperties* props);

// Forgets that the version was asked, as after loading the library.
void ResetVersionAskedForTesting();

}  // namespace torrim

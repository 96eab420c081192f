// The sync host program: runs syncs and manages desktop users and handheld images.
#include <cstdlib>
#include <string>
#include <vector>

#include "host/tethersync/commands.h"

int main(int argc, char** argv) {
    // Without TZ the C library looks at the system's zone file again on every local-time
    // conversion, and a sync converts a few per message. Naming that same file once keeps
    // the zone and spares the look.
    if (std::getenv("TZ") == nullptr)
        setenv("TZ", ":/etc/localtime", 0);
    std::vector<std::string> args(argv + 1, argv + argc);
    return tethersync::Main(args);
}

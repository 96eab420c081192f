// The sync host program: runs syncs and manages desktop users and handheld images.
#include <string>
#include <vector>

#include "host/tethersync/commands.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return tethersync::Main(args);
}

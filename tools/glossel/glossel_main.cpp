// glossel: command-line front end of the international text library.
// Subcommands: translate (files or pipes between character sets), sets (what
// the table file holds), and the collation commands when they are built in.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "include/glossel/glossel.h"
#include "tools/cctb/charsets.h"
#include "tools/glossel/translate_command.h"

#if defined(GLOSSEL_HAVE_COLLATE_COMMANDS)
#include "tools/glossel/collate_commands.h"
#endif

namespace {

void PrintUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: glossel COMMAND [options]\n"
                 "Commands:\n"
                 "  translate  translate text between character sets (glossel translate --help)\n"
                 "  sets       list the character sets the front end knows by name\n"
#if defined(GLOSSEL_HAVE_COLLATE_COMMANDS)
                 "  compare, sort, normalise, split, compress, decompress:\n"
                 "             collation, normalisation and Unicode packing (COMMAND --help)\n"
#endif
                 "  help       show this text\n"
                 "The table file CCINTL.TB is read from --tables DIR, else from $GLOSSEL_TABLES,\n"
                 "else from the share folder beside this program's folder.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "help" || command == "--help" || command == "-h") {
        PrintUsage(stdout);
        return 0;
    }
    if (command == "translate") {
        return glossel_cli::RunTranslate(argc - 1, argv + 1);
    }
    if (command == "sets") {
        return glossel_cli::RunSets(argc - 1, argv + 1);
    }
#if defined(GLOSSEL_HAVE_COLLATE_COMMANDS)
    const int rc = RunCollateCommand(command, argc - 1, argv + 1);
    if (rc != -1) {
        return rc;
    }
#endif
    std::fprintf(stderr, "glossel: unknown command '%s'\n", command.c_str());
    PrintUsage(stderr);
    return 2;
}

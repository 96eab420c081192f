// cctb: compiles the table file "CCINTL.TB" of the international text library
// from the C library's character-set converters and ICU's Unicode data.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unicode/uclean.h>

#include "intl/table_layout.h"
#include "intl/table_writer.h"
#include "platform/file_util.h"
#include "tools/cctb/charsets.h"
#include "tools/cctb/text_tables.h"
#include "tools/cctb/xlat_source.h"

#if defined(CCTB_HAVE_LANGUAGE_TABLES)
#include "tools/cctb/language/language_tables.h"
#endif

namespace {

void PrintUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: cctb [--output FILE] [--quiet]\n"
                 "Builds the table file of the international text library.\n"
                 "  --output FILE  where to write it (default: CCINTL.TB in the current folder)\n"
                 "  --quiet        print nothing on success\n"
                 "  --help         show this text\n");
}

bool Collect(glossel::TableFileContents* contents, std::string* error) {
    for (const cctb::CharsetInfo& set : cctb::SingleByteCharsets()) {
        if (!cctb::BuildSingleByteTables(set.id, set.iconvName, &contents->xlat, error)) {
            return false;
        }
    }
    if (!cctb::BuildShiftJisTables(&contents->xlat, error) ||
        !cctb::BuildReplacementTable(&contents->replacement, error) ||
        !cctb::BuildNormalisationTable(&contents->normalisation, error)) {
        return false;
    }
#if defined(CCTB_HAVE_LANGUAGE_TABLES)
    std::vector<cctb::TableBlob> blobs;
    if (!cctb::BuildLanguageTables(&blobs, error)) {
        return false;
    }
    if (blobs.size() % 4 != 0) {
        *error = "language tables do not come in groups of four";
        return false;
    }
    for (cctb::TableBlob& blob : blobs) {
        glossel::LangTableSpec langTable;
        langTable.type = blob.type;
        langTable.language[0] = blob.language[0];
        langTable.language[1] = blob.language[1];
        langTable.kind = blob.kind;
        langTable.main = std::move(blob.main);
        langTable.second = std::move(blob.second);
        langTable.third = std::move(blob.third);
        contents->lang.push_back(std::move(langTable));
    }
#endif
    return true;
}

// Writes beside the target and renames over it (the platform's atomic replacement), so
// that a failed build never leaves a half-written table file behind.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
    const int32_t err = platform::WriteFileAtomic(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (err != 0) {
        *error = "cannot write " + path + ": " + std::strerror(err);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string output = glossel::TABLE_FILE_NAME;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--output" && i + 1 < argc) {
            output = argv[++i];
        } else if (arg.rfind("--output=", 0) == 0) {
            output = arg.substr(std::strlen("--output="));
        } else {
            std::fprintf(stderr, "cctb: unknown argument '%s'\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }

    glossel::TableFileContents contents;
    std::string error;
    std::vector<uint8_t> bytes;
    const bool built =
        Collect(&contents, &error) && glossel::BuildTableFile(contents, &bytes, &error);
    u_cleanup();
    if (!built || !WriteFile(output, bytes, &error)) {
        std::fprintf(stderr, "cctb: %s\n", error.c_str());
        return 1;
    }
    if (!quiet) {
        std::printf("cctb: wrote %s: %zu translation tables, %zu language tables, %zu bytes\n",
                    output.c_str(), contents.xlat.size(), contents.lang.size(), bytes.size());
    }
    return 0;
}

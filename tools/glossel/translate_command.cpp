// Translation of files and pipes in pieces, cut only between characters.
#include "tools/glossel/translate_command.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "include/glossel/glossel.h"
#include "intl/table_layout.h"
#include "platform/file_util.h"
#include "tools/cctb/charsets.h"

namespace glossel_cli {
namespace {

constexpr size_t CHUNK_SIZE = 1 << 20;
// Inputs at least this large report their progress on standard error.
constexpr uint64_t PROGRESS_THRESHOLD = uint64_t{256} << 20;
constexpr uint64_t PROGRESS_STEP = uint64_t{64} << 20;

void TranslateUsage(std::FILE* to) {
    std::fprintf(
        to,
        "usage: glossel translate --from SET --to SET [--tables DIR] [--output FILE] "
        "[FILE...]\n"
        "Translates the FILEs (or standard input) from one character set to another and\n"
        "writes the result to FILE or standard output. SET is an identifier (1252, 0x8591)\n"
        "or a name (windows-1252, iso-8859-1, macroman, shift_jis, utf-16le, ...);\n"
        "'glossel sets' lists the known names. Unicode (1200) is UTF-16LE.\n"
        "Characters the destination lacks become '?' or an ASCII look-alike.\n"
        "Files of 256 MiB and more report their progress on standard error.\n");
}

struct Options {
    std::string from;
    std::string to;
    std::string tables;
    std::string output;
    std::vector<std::string> inputs;
};

// Parses "--name value" and "--name=value". False on bad usage (message printed).
bool ParseOptions(int argc, char** argv, bool wantSets, Options* options, bool* help) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        const size_t equals = arg.find('=');
        const bool isOption = arg.rfind("--", 0) == 0;
        if (isOption && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
        }
        auto takeValue = [&](std::string* into) {
            if (equals != std::string::npos) {
                *into = value;
                return true;
            }
            if (i + 1 >= argc) {
                std::fprintf(stderr, "glossel: %s needs a value\n", arg.c_str());
                return false;
            }
            *into = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            *help = true;
            return true;
        }
        if (arg == "--tables") {
            if (!takeValue(&options->tables)) {
                return false;
            }
        } else if (wantSets && arg == "--from") {
            if (!takeValue(&options->from)) {
                return false;
            }
        } else if (wantSets && arg == "--to") {
            if (!takeValue(&options->to)) {
                return false;
            }
        } else if (wantSets && (arg == "--output" || arg == "-o")) {
            if (!takeValue(&options->output)) {
                return false;
            }
        } else if (wantSets && (arg == "-" || !isOption)) {
            options->inputs.push_back(arg);
        } else {
            std::fprintf(stderr, "glossel: unknown option '%s'\n", arg.c_str());
            return false;
        }
    }
    return true;
}

class CTables {
public:
    ~CTables() {
        if (m_pHandle != nullptr) {
            // Closing a read-only table file cannot lose anything.
            (void)ccIntlTerminate(m_pHandle);
        }
    }
    bool Open(const std::string& dir) {
        const int32_t rc = ccIntlInit(dir.c_str(), 4, "en", &m_pHandle);
        if (rc != 0) {
            std::fprintf(stderr, "glossel: cannot open %s/CCINTL.TB (code %d)\n", dir.c_str(), rc);
            m_pHandle = nullptr;
            return false;
        }
        return true;
    }
    tccIntlCtxtStruct* Handle() const { return m_pHandle; }

private:
    tccIntlCtxtStruct* m_pHandle = nullptr;
};

// Output to a file goes to a temporary file that replaces the target only when everything
// was written (the platform's atomic replacement: the target keeps its mode).
class COutput {
public:
    bool Open(const std::string& path) {
        m_path = path;
        if (path.empty() || path == "-") {
            m_pStream = stdout;
            return true;
        }
        m_toFile = true;
        if (const int32_t err = m_file.Open(path)) {
            std::fprintf(stderr, "glossel: cannot write %s: %s\n", path.c_str(),
                         std::strerror(err));
            return false;
        }
        return true;
    }
    bool Write(const uint8_t* data, size_t length) {
        if (length == 0) {
            return true;
        }
        if (m_toFile) {
            if (const int32_t err = m_file.Write(data, length)) {
                std::fprintf(stderr, "glossel: write error on %s: %s\n", m_path.c_str(),
                             std::strerror(err));
                return false;
            }
            return true;
        }
        if (std::fwrite(data, 1, length, m_pStream) != length) {
            std::fprintf(stderr, "glossel: write error on standard output\n");
            return false;
        }
        return true;
    }
    bool Commit() {
        if (!m_toFile) {
            return std::fflush(m_pStream) == 0;
        }
        if (const int32_t err = m_file.Commit()) {
            std::fprintf(stderr, "glossel: cannot write %s: %s\n", m_path.c_str(),
                         std::strerror(err));
            return false;
        }
        return true;
    }

private:
    std::string m_path;
    bool m_toFile = false;
    platform::CAtomicFileWriter m_file;  // dropped unless committed
    std::FILE* m_pStream = nullptr;
};

bool TranslateStream(tccIntlCtxtStruct* handle, int16_t from, int16_t to, std::FILE* in,
                     const std::string& name, uint64_t totalBytes, COutput* out) {
    std::vector<uint8_t> input(CHUNK_SIZE + 2);
    std::vector<uint8_t> output(2 * input.size() + 2);
    size_t carried = 0;
    uint64_t done = 0;
    uint64_t nextReport = PROGRESS_STEP;
    for (;;) {
        const size_t got = std::fread(input.data() + carried, 1, CHUNK_SIZE, in);
        if (std::ferror(in)) {
            std::fprintf(stderr, "glossel: read error on %s\n", name.c_str());
            return false;
        }
        done += got;
        if (totalBytes >= PROGRESS_THRESHOLD && done >= nextReport) {
            std::fprintf(stderr, "glossel: %s: %llu of %llu MiB\n", name.c_str(),
                         static_cast<unsigned long long>(done >> 20),
                         static_cast<unsigned long long>(totalBytes >> 20));
            nextReport += PROGRESS_STEP;
        }
        const size_t available = carried + got;
        const bool atEnd = got == 0 || std::feof(in);
        const size_t whole = WholeCharacters(from, input.data(), available, atEnd);
        uint32_t length = static_cast<uint32_t>(output.size());
        const int32_t rc =
            ccIntlTranslateStr(handle, from, input.data(), static_cast<uint32_t>(whole), to,
                               output.data(), &length, 0);
        if (rc != 0) {
            std::fprintf(stderr, "glossel: translation of %s failed (code %d)\n", name.c_str(), rc);
            return false;
        }
        if (!out->Write(output.data(), length)) {
            return false;
        }
        carried = available - whole;
        std::memmove(input.data(), input.data() + whole, carried);
        if (atEnd) {
            return true;
        }
    }
}

}  // namespace

std::string TableDirectory(const std::string& option) {
    if (!option.empty()) {
        return option;
    }
    if (const char* env = std::getenv("GLOSSEL_TABLES"); env != nullptr && *env != '\0') {
        return env;
    }
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return ".";
    }
    return (self.parent_path().parent_path() / "share").string();
}

size_t WholeCharacters(int16_t set, const unsigned char* data, size_t length, bool atEnd) {
    if (atEnd) {
        return length;
    }
    if (set == glossel::SET_UNICODE) {
        return length & ~size_t{1};
    }
    if (set != glossel::SET_SJIS && set != glossel::SET_SJIS_PAIRS) {
        return length;
    }
    size_t i = 0;
    while (i < length) {
        if (glossel::IsSjisLeadByte(data[i])) {
            if (i + 1 == length) {
                break;  // its trail may come with the next piece
            }
            i += glossel::IsSjisTrailByte(data[i + 1]) ? 2 : 1;
        } else {
            ++i;
        }
    }
    return i;
}

int RunTranslate(int argc, char** argv) {
    Options options;
    bool help = false;
    if (!ParseOptions(argc, argv, true, &options, &help)) {
        TranslateUsage(stderr);
        return 2;
    }
    if (help) {
        TranslateUsage(stdout);
        return 0;
    }
    int16_t from = 0;
    int16_t to = 0;
    if (options.from.empty() || options.to.empty()) {
        std::fprintf(stderr, "glossel: translate needs --from and --to\n");
        TranslateUsage(stderr);
        return 2;
    }
    if (!cctb::LookupCharset(options.from, &from) || !cctb::LookupCharset(options.to, &to)) {
        std::fprintf(
            stderr, "glossel: unknown character set '%s'\n",
            cctb::LookupCharset(options.from, &from) ? options.to.c_str() : options.from.c_str());
        return 2;
    }
    CTables tables;
    if (!tables.Open(TableDirectory(options.tables))) {
        return 1;
    }
    if (options.inputs.empty()) {
        options.inputs.push_back("-");
    }
    COutput out;
    if (!out.Open(options.output)) {
        return 1;
    }
    for (const std::string& input : options.inputs) {
        std::FILE* stream = input == "-" ? stdin : std::fopen(input.c_str(), "rb");
        if (stream == nullptr) {
            std::fprintf(stderr, "glossel: cannot read %s\n", input.c_str());
            return 1;
        }
        std::error_code ec;
        const uint64_t size = input == "-" ? 0 : std::filesystem::file_size(input, ec);
        const bool ok =
            TranslateStream(tables.Handle(), from, to, stream,
                            input == "-" ? "standard input" : input, ec ? 0 : size, &out);
        if (stream != stdin) {
            std::fclose(stream);
        }
        if (!ok) {
            return 1;
        }
    }
    return out.Commit() ? 0 : 1;
}

int RunSets(int argc, char** argv) {
    Options options;
    bool help = false;
    if (!ParseOptions(argc, argv, false, &options, &help)) {
        return 2;
    }
    if (help) {
        std::printf(
            "usage: glossel sets [--tables DIR]\nLists the character sets that the table "
            "file translates to and from Unicode.\n");
        return 0;
    }
    const std::string dir = TableDirectory(options.tables);
    CTables tables;
    if (!tables.Open(dir)) {
        return 1;
    }
    std::printf("Character sets (each translates to and from Unicode with %s/CCINTL.TB):\n",
                dir.c_str());
    for (const cctb::CharsetInfo& set : cctb::SingleByteCharsets()) {
        std::printf("  %6d (0x%04X)  %s\n", set.id,
                    static_cast<unsigned>(static_cast<uint16_t>(set.id)), set.names.front());
    }
    std::printf("  %6d (0x%04X)  %s\n", 932, 932u, "shift_jis");
    std::printf("  %6d (0x%04X)  %s\n", 1200, 1200u, "utf-16le");
    return 0;
}

}  // namespace glossel_cli

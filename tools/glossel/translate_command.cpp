// Translation of files and pipes in pieces, cut only between characters.
#include "tools/glossel/translate_command.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
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
        "'glossel sets' lists the known names. Unicode (1200) is UTF-16LE; utf-8 is read\n"
        "and written through it.\n"
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
            std::fprintf(stderr, "glossel: %s\n", TableFileError(dir, rc).c_str());
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

// UTF-8 is no set of the table file: it is read into and written from Unicode (1200) here.
constexpr int16_t SET_UTF8 = -1;

bool IsUtf8Name(const std::string& name) {
    std::string lower;
    for (char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "utf-8" || lower == "utf8";
}

bool TranslateStream(tccIntlCtxtStruct* handle, int16_t from, int16_t to, std::FILE* in,
                     const std::string& name, uint64_t totalBytes, COutput* out) {
    std::vector<uint8_t> input(CHUNK_SIZE + 2);
    std::vector<uint8_t> output(2 * input.size() + 2);
    std::vector<uint8_t> wide;  // UTF-8 input as Unicode
    std::string narrow;         // Unicode output as UTF-8
    uint32_t pending = 0;
    uint64_t offset = 0;
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
        const size_t whole = from == SET_UTF8
                                 ? WholeUtf8(input.data(), available, atEnd)
                                 : WholeCharacters(from, input.data(), available, atEnd);
        const uint8_t* source = input.data();
        size_t sourceLength = whole;
        if (from == SET_UTF8) {
            wide.clear();
            size_t bad = 0;
            if (!AppendUtf16(input.data(), whole, &wide, &bad)) {
                std::fprintf(stderr, "glossel: %s is not UTF-8 (byte offset %llu)\n", name.c_str(),
                             static_cast<unsigned long long>(offset + bad));
                return false;
            }
            source = wide.data();
            sourceLength = wide.size();
            if (output.size() < 2 * sourceLength + 2)
                output.resize(2 * sourceLength + 2);
        }
        offset += whole;
        const int16_t inner = to == SET_UTF8 ? glossel::SET_UNICODE : to;
        uint32_t length = static_cast<uint32_t>(output.size());
        const int32_t rc = ccIntlTranslateStr(
            handle, from == SET_UTF8 ? glossel::SET_UNICODE : from, source,
            static_cast<uint32_t>(sourceLength), inner, output.data(), &length, 0);
        if (rc != 0) {
            std::fprintf(stderr, "glossel: translation of %s failed (code %d)\n", name.c_str(), rc);
            return false;
        }
        if (to == SET_UTF8) {
            narrow.clear();
            AppendUtf8(output.data(), length, &pending, &narrow);
            if (atEnd && std::exchange(pending, 0) != 0)
                narrow += "\xEF\xBF\xBD";
            if (!out->Write(reinterpret_cast<const uint8_t*>(narrow.data()), narrow.size()))
                return false;
        } else if (!out->Write(output.data(), length)) {
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

size_t WholeUtf8(const uint8_t* data, size_t length, bool atEnd) {
    if (atEnd)
        return length;
    for (size_t back = 1; back <= 3 && back <= length; ++back) {
        const uint8_t b = data[length - back];
        if ((b & 0xC0u) == 0x80u)
            continue;  // a continuation byte: look further back for its lead
        const size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return need > back ? length - back : length;
    }
    return length;
}

bool AppendUtf16(const uint8_t* data, size_t length, std::vector<uint8_t>* out, size_t* bad) {
    auto put = [&](uint32_t unit) {
        out->push_back(static_cast<uint8_t>(unit));
        out->push_back(static_cast<uint8_t>(unit >> 8));
    };
    for (size_t i = 0; i < length;) {
        const uint8_t b = data[i];
        size_t extra = b < 0x80                 ? 0
                       : b >= 0xC2 && b <= 0xDF ? 1
                       : b >= 0xE0 && b <= 0xEF ? 2
                       : b >= 0xF0 && b <= 0xF4 ? 3
                                                : 4;
        uint32_t cp = extra == 0 ? b : extra == 1 ? b & 0x1Fu : extra == 2 ? b & 0x0Fu : b & 7u;
        bool ok = extra < 4;  // 4: a byte that begins no sequence
        for (size_t k = 1; ok && k <= extra; ++k) {
            ok = i + k < length && (data[i + k] & 0xC0u) == 0x80u;
            if (ok)
                cp = (cp << 6) | (data[i + k] & 0x3Fu);
        }
        static constexpr uint32_t MIN_OF_LENGTH[] = {0, 0x80, 0x800, 0x10000, 0};
        if (!ok || cp < MIN_OF_LENGTH[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            *bad = i;
            return false;
        }
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FFu));
        } else {
            put(cp);
        }
        i += extra + 1;
    }
    return true;
}

void AppendUtf8(const uint8_t* data, size_t length, uint32_t* pending, std::string* out) {
    auto put = [&](uint32_t cp) {
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            *out += static_cast<char>(0xC0 | (cp >> 6));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out += static_cast<char>(0xE0 | (cp >> 12));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (cp >> 18));
            *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    };
    for (size_t i = 0; i + 1 < length; i += 2) {
        const uint32_t unit = data[i] | (static_cast<uint32_t>(data[i + 1]) << 8);
        if (*pending != 0) {
            const uint32_t high = std::exchange(*pending, 0);
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                put(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                continue;
            }
            put(0xFFFD);
        }
        if (unit >= 0xD800 && unit <= 0xDBFF)
            *pending = unit;
        else
            put(unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
}

std::string TableFileError(const std::string& dir, int32_t code) {
    if (code == CC_INTL_ERR_BAD_TABLE_FILE)
        return "the table file " + dir + "/CCINTL.TB is damaged or of another version (code " +
               std::to_string(code) + "); build it again with cctb";
    return "cannot open " + dir + "/CCINTL.TB (code " + std::to_string(code) + ")";
}

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
    // UTF-8, the other commands' default, is read and written through Unicode.
    auto lookup = [](const std::string& set, int16_t* id) {
        if (IsUtf8Name(set)) {
            *id = SET_UTF8;
            return true;
        }
        return cctb::LookupCharset(set, id);
    };
    if (!lookup(options.from, &from) || !lookup(options.to, &to)) {
        std::fprintf(stderr, "glossel: unknown character set '%s'\n",
                     lookup(options.from, &from) ? options.to.c_str() : options.from.c_str());
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

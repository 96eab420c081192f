// compare, sort, normalise, split, compress and decompress: thin commands
// over the library's exports. Text is UTF-8 by default (handled as Unicode,
// 1200, inside); --set names any other character set, whose bytes are passed
// to the library as they are.
#include "tools/glossel/collate_commands.h"

#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "include/glossel/glossel.h"
#include "platform/file_util.h"
#include "tools/cctb/charsets.h"
#include "tools/glossel/translate_command.h"

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int16_t SET_UNICODE = 1200;
// Characters the count field of a packed stream can hold.
constexpr size_t MAX_PACKED_CHARS = 0x3FFFFFFF;

const char* const USAGE_COMMON =
    "  --tables DIR   folder of CCINTL.TB (default: $GLOSSEL_TABLES, else the share\n"
    "                 folder beside the program's folder)\n"
    "  --lang LL      two-letter language of the collation tables (default: en)\n"
    "  --set SET      character set of the text: utf-8 (default), or a set that the\n"
    "                 table file holds (windows-1252, 1200, shift_jis, ...)\n";

void Usage(const std::string& command, std::FILE* to) {
    if (command == "compare") {
        std::fprintf(
            to,
            "usage: glossel compare [options] [--kind K] [--flags F] A B\n"
            "Prints -1, 0 or 1: A sorts before, equal to or after B.\n%s"
            "  --kind K       0 letters only, 1 accents count, 2 accents and case\n"
            "                 count (small letters first), 3 capitals first (default 2)\n"
            "  --flags F      further comparison flags: 0x04 fold ASCII case (shift_jis),\n"
            "                 0x10 ignore what remains of A, 0x20 of B\n",
            USAGE_COMMON);
    } else if (command == "sort") {
        std::fprintf(to,
                     "usage: glossel sort [options] [--kind K] [--output FILE] [FILE]\n"
                     "Sorts the lines of FILE (or standard input) by the language's order and\n"
                     "writes them to FILE or standard output; equal lines keep their order.\n%s"
                     "  --kind K       as for compare (default 2)\n",
                     USAGE_COMMON);
    } else if (command == "normalise" || command == "normalize") {
        std::fprintf(to,
                     "usage: glossel normalise [options] [--output FILE] [FILE]\n"
                     "Rewrites the text of FILE (or standard input) through the normalisation\n"
                     "table, for searching, and writes it to FILE or standard output.\n%s",
                     USAGE_COMMON);
    } else if (command == "split") {
        std::fprintf(
            to,
            "usage: glossel split [options] --at N TEXT\n"
            "Prints the position (in characters) at which to cut TEXT at or before\n"
            "N so that no letter pair that sorts as one letter is cut, then both parts.\n%s",
            USAGE_COMMON);
    } else if (command == "compress") {
        std::fprintf(to,
                     "usage: glossel compress [--output FILE] [FILE]\n"
                     "Packs the UTF-8 text of FILE (or standard input) as Unicode runs.\n");
    } else {
        std::fprintf(to,
                     "usage: glossel decompress [--output FILE] [FILE]\n"
                     "Unpacks what compress wrote and writes the text as UTF-8.\n");
    }
}

struct Options {
    std::string tables;
    std::string language = "en";
    std::string set = "utf-8";
    std::string output;
    uint16_t kind = 2;
    uint16_t flags = 0;
    long at = -1;
    std::vector<std::string> operands;
    bool help = false;
};

bool ParseNumber(const std::string& text, long maxValue, long* out) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0 || value > maxValue)
        return false;
    *out = value;
    return true;
}

// Parses "--name value" and "--name=value". False on bad usage (message printed).
bool ParseOptions(const std::string& command, int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-' || arg == "--") {
            if (arg == "--") {
                for (++i; i < argc; ++i)
                    options->operands.push_back(argv[i]);
                break;
            }
            options->operands.push_back(arg);
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options->help = true;
            return true;
        }
        std::string value;
        bool hasValue = false;
        if (const size_t equals = arg.find('='); equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
            hasValue = true;
        }
        auto take = [&]() {
            if (hasValue)
                return true;
            if (i + 1 >= argc) {
                std::fprintf(stderr, "glossel %s: %s needs a value\n", command.c_str(),
                             arg.c_str());
                return false;
            }
            value = argv[++i];
            return true;
        };
        long number = 0;
        if (arg == "--tables") {
            if (!take())
                return false;
            options->tables = value;
        } else if (arg == "--lang") {
            if (!take())
                return false;
            if (value.size() != 2) {
                std::fprintf(stderr, "glossel %s: --lang takes two letters\n", command.c_str());
                return false;
            }
            options->language = value;
        } else if (arg == "--set") {
            if (!take())
                return false;
            options->set = value;
        } else if (arg == "--output" || arg == "-o") {
            if (!take())
                return false;
            options->output = value;
        } else if (arg == "--kind") {
            if (!take())
                return false;
            if (!ParseNumber(value, 3, &number)) {
                std::fprintf(stderr, "glossel %s: --kind takes 0, 1, 2 or 3\n", command.c_str());
                return false;
            }
            options->kind = static_cast<uint16_t>(number);
        } else if (arg == "--flags") {
            if (!take())
                return false;
            if (!ParseNumber(value, 0xFFFF, &number)) {
                std::fprintf(stderr, "glossel %s: bad --flags value '%s'\n", command.c_str(),
                             value.c_str());
                return false;
            }
            options->flags = static_cast<uint16_t>(number);
        } else if (arg == "--at") {
            if (!take())
                return false;
            if (!ParseNumber(value, 0x7FFF, &number)) {
                std::fprintf(stderr, "glossel %s: bad --at value '%s'\n", command.c_str(),
                             value.c_str());
                return false;
            }
            options->at = number;
        } else {
            std::fprintf(stderr, "glossel %s: unknown option %s\n", command.c_str(), arg.c_str());
            return false;
        }
    }
    return true;
}

// --- UTF-8 <-> UTF-16LE -------------------------------------------------------

bool Utf8ToUtf16(const std::string& in, std::u16string* out, size_t* badOffset) {
    out->clear();
    out->reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        uint32_t cp = 0;
        size_t extra = 0;
        if (b < 0x80) {
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            cp = b & 0x1Fu;
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            cp = b & 0x0Fu;
            extra = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            cp = b & 0x07u;
            extra = 3;
        } else {
            *badOffset = i;
            return false;
        }
        if (extra != 0 && i + extra >= in.size()) {
            *badOffset = i;
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(in[i + k]);
            if ((c & 0xC0u) != 0x80u) {
                *badOffset = i;
                return false;
            }
            cp = (cp << 6) | (c & 0x3Fu);
        }
        static constexpr uint32_t MIN_OF_LENGTH[] = {0, 0x80, 0x800, 0x10000};
        if (cp < MIN_OF_LENGTH[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            *badOffset = i;
            return false;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FFu)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return true;
}

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string& in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        uint32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00u);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// Text as the library takes it: UTF-8 becomes UTF-16LE bytes of set 1200;
// other sets pass unchanged.
struct Encoding {
    bool utf8 = true;
    int16_t set = SET_UNICODE;
};

bool ResolveEncoding(const std::string& command, const std::string& name, Encoding* out) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "utf-8" || lower == "utf8") {
        *out = Encoding{true, SET_UNICODE};
        return true;
    }
    int16_t id = 0;
    if (!cctb::LookupCharset(name, &id)) {
        std::fprintf(stderr, "glossel %s: unknown character set '%s'\n", command.c_str(),
                     name.c_str());
        return false;
    }
    *out = Encoding{false, id};
    return true;
}

bool ToLibrary(const std::string& command, const Encoding& encoding, const std::string& text,
               std::string* out) {
    if (!encoding.utf8) {
        *out = text;
        return true;
    }
    std::u16string wide;
    size_t bad = 0;
    if (!Utf8ToUtf16(text, &wide, &bad)) {
        std::fprintf(stderr, "glossel %s: the text is not UTF-8 (byte offset %zu)\n",
                     command.c_str(), bad);
        return false;
    }
    out->resize(2 * wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        (*out)[2 * i] = static_cast<char>(wide[i] & 0xFF);
        (*out)[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
    return true;
}

std::string FromLibrary(const Encoding& encoding, const std::string& bytes) {
    if (!encoding.utf8)
        return bytes;
    std::u16string wide(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i) {
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return Utf16ToUtf8(wide);
}

// --- Files ----------------------------------------------------------------------

bool ReadInput(const std::string& command, const std::vector<std::string>& operands,
               std::string* out) {
    if (operands.size() > 1) {
        std::fprintf(stderr, "glossel %s: one input file at most\n", command.c_str());
        return false;
    }
    if (operands.empty() || operands[0] == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        *out = all.str();
        return true;
    }
    std::ifstream in(operands[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "glossel %s: cannot read %s\n", command.c_str(), operands[0].c_str());
        return false;
    }
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::fprintf(stderr, "glossel %s: cannot read %s\n", command.c_str(), operands[0].c_str());
        return false;
    }
    return true;
}

// Standard output, or FILE replaced as a whole: the data goes to a new file
// beside it, reaches the disk, and only then takes the name, so a failure
// leaves the previous FILE as it was (and a replaced FILE keeps its mode).
bool WriteOutput(const std::string& command, const std::string& path, const std::string& data) {
    if (path.empty() || path == "-") {
        if (std::fwrite(data.data(), 1, data.size(), stdout) != data.size() ||
            std::fflush(stdout) != 0) {
            std::fprintf(stderr, "glossel %s: write error on standard output\n", command.c_str());
            return false;
        }
        return true;
    }
    if (const int32_t err = platform::WriteFileAtomic(path, data)) {
        std::fprintf(stderr, "glossel %s: cannot write %s: %s\n", command.c_str(), path.c_str(),
                     std::strerror(err));
        return false;
    }
    return true;
}

// --- Context ------------------------------------------------------------------

class CContext {
public:
    ~CContext() {
        if (m_pHandle != nullptr)
            (void)ccIntlTerminate(m_pHandle);  // nothing to save
    }
    bool Open(const std::string& command, const Options& options) {
        const std::string folder = glossel_cli::TableDirectory(options.tables);
        const int32_t rc = ccIntlInit(folder.c_str(), 0, options.language.c_str(), &m_pHandle);
        if (rc != 0) {
            std::fprintf(stderr, "glossel %s: %s\n", command.c_str(),
                         glossel_cli::TableFileError(folder, rc).c_str());
            m_pHandle = nullptr;
            return false;
        }
        return true;
    }
    tccIntlCtxtStruct* Handle() const { return m_pHandle; }

private:
    tccIntlCtxtStruct* m_pHandle = nullptr;
};

const char* DescribeCode(int32_t rc) {
    switch (rc) {
        case 3076:
            return "the table file has no table of this kind for the language";
        case 3078:
            return "the language table is not a collation table";
        case 3077:
            return "an input is too short or malformed";
        case 2:
            return "out of memory";
        default:
            return "table file error";
    }
}

int Fail(const std::string& command, const char* what, int32_t rc) {
    std::fprintf(stderr, "glossel %s: %s failed: %s (code %d)\n", command.c_str(), what,
                 DescribeCode(rc), rc);
    return EXIT_FAILED;
}

const uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// --- Commands -----------------------------------------------------------------

int Compare(const std::string& command, const Options& options, const Encoding& encoding) {
    if (options.operands.size() != 2) {
        Usage(command, stderr);
        return EXIT_USAGE;
    }
    std::string lhs;
    std::string rhs;
    if (!ToLibrary(command, encoding, options.operands[0], &lhs) ||
        !ToLibrary(command, encoding, options.operands[1], &rhs)) {
        return EXIT_FAILED;
    }
    CContext context;
    if (!context.Open(command, options))
        return EXIT_FAILED;
    int16_t result = 0;
    const int32_t rc =
        ccIntlStrCmp(context.Handle(), encoding.set, Bytes(lhs), static_cast<uint32_t>(lhs.size()),
                     Bytes(rhs), static_cast<uint32_t>(rhs.size()),
                     static_cast<uint16_t>(options.flags | options.kind), &result);
    if (rc != 0)
        return Fail(command, "comparison", rc);
    std::printf("%d\n", result);
    return EXIT_OK;
}

int Sort(const std::string& command, const Options& options, const Encoding& encoding) {
    std::string input;
    if (!ReadInput(command, options.operands, &input))
        return EXIT_FAILED;
    std::vector<std::string> lines;
    for (size_t start = 0; start < input.size();) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        lines.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::string> keys(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!ToLibrary(command, encoding, line, &keys[i])) {
            std::fprintf(stderr, "glossel %s: on line %zu\n", command.c_str(), i + 1);
            return EXIT_FAILED;
        }
    }
    CContext context;
    if (!context.Open(command, options))
        return EXIT_FAILED;
    if (lines.size() > 200000 && isatty(fileno(stderr))) {
        std::fprintf(stderr, "glossel %s: sorting %zu lines...\n", command.c_str(), lines.size());
    }
    std::vector<size_t> order(lines.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    int32_t failure = 0;
    const uint16_t flags = static_cast<uint16_t>(options.flags | options.kind);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        int16_t result = 0;
        const int32_t rc = ccIntlStrCmp(context.Handle(), encoding.set, Bytes(keys[a]),
                                        static_cast<uint32_t>(keys[a].size()), Bytes(keys[b]),
                                        static_cast<uint32_t>(keys[b].size()), flags, &result);
        if (rc != 0 && failure == 0)
            failure = rc;
        return result < 0;
    });
    if (failure != 0)
        return Fail(command, "comparison", failure);
    std::string out;
    out.reserve(input.size() + 1);
    for (size_t i : order) {
        out += lines[i];
        out += '\n';
    }
    return WriteOutput(command, options.output, out) ? EXIT_OK : EXIT_FAILED;
}

int Normalise(const std::string& command, const Options& options, const Encoding& encoding) {
    std::string input;
    if (!ReadInput(command, options.operands, &input))
        return EXIT_FAILED;
    std::string text;
    if (!ToLibrary(command, encoding, input, &text))
        return EXIT_FAILED;
    if (text.size() > UINT32_MAX) {
        std::fprintf(stderr, "glossel %s: the text is too long\n", command.c_str());
        return EXIT_FAILED;
    }
    CContext context;
    if (!context.Open(command, options))
        return EXIT_FAILED;
    const uint32_t length =
        static_cast<uint32_t>(encoding.set == SET_UNICODE ? text.size() / 2 : text.size());
    const int32_t rc = ccIntlNormalizeStr(context.Handle(), encoding.set,
                                          reinterpret_cast<uint8_t*>(text.data()), length);
    if (rc != 0)
        return Fail(command, "normalisation", rc);
    return WriteOutput(command, options.output, FromLibrary(encoding, text)) ? EXIT_OK
                                                                             : EXIT_FAILED;
}

int Split(const std::string& command, const Options& options, const Encoding& encoding) {
    if (options.operands.size() != 1 || options.at < 0) {
        Usage(command, stderr);
        return EXIT_USAGE;
    }
    std::string text;
    if (!ToLibrary(command, encoding, options.operands[0], &text))
        return EXIT_FAILED;
    const size_t unit = encoding.set == SET_UNICODE ? 2 : 1;
    if (text.size() > 0xFFFF) {
        std::fprintf(stderr, "glossel %s: the text is too long (65535 bytes at most)\n",
                     command.c_str());
        return EXIT_FAILED;
    }
    const size_t at = std::min<size_t>(static_cast<size_t>(options.at) * unit, text.size());
    CContext context;
    if (!context.Open(command, options))
        return EXIT_FAILED;
    uint16_t position = static_cast<uint16_t>(text.size());
    const int32_t rc = ccIntlSplitStr(context.Handle(), encoding.set, Bytes(text),
                                      static_cast<uint16_t>(at), &position);
    if (rc != 0)
        return Fail(command, "split", rc);
    const std::string head = FromLibrary(encoding, text.substr(0, position));
    const std::string tail = FromLibrary(encoding, text.substr(position));
    std::printf("%zu\n%s\n%s\n", position / unit, head.c_str(), tail.c_str());
    return EXIT_OK;
}

int Compress(const std::string& command, const Options& options) {
    std::string input;
    if (!ReadInput(command, options.operands, &input))
        return EXIT_FAILED;
    std::u16string wide;
    size_t bad = 0;
    if (!Utf8ToUtf16(input, &wide, &bad)) {
        std::fprintf(stderr, "glossel %s: the text is not UTF-8 (byte offset %zu)\n",
                     command.c_str(), bad);
        return EXIT_FAILED;
    }
    if (wide.size() > MAX_PACKED_CHARS || 4 * wide.size() + 8 > UINT32_MAX) {
        std::fprintf(stderr, "glossel %s: the text is too long\n", command.c_str());
        return EXIT_FAILED;
    }
    // Room for the worst case (raw runs of one character), so nothing is cut.
    std::string packed(4 * wide.size() + 8, '\0');
    uint32_t length = static_cast<uint32_t>(packed.size());
    const int32_t rc = ccIntlCompressUnicode(reinterpret_cast<const uint16_t*>(wide.data()),
                                             static_cast<uint32_t>(2 * wide.size()),
                                             reinterpret_cast<uint8_t*>(packed.data()), &length);
    if (rc != 0)
        return Fail(command, "compression", rc);
    if (!wide.empty() && ccIntlGetCompUnicodeNoOfBytes(Bytes(packed)) != 2 * wide.size()) {
        std::fprintf(stderr, "glossel %s: the text did not fit\n", command.c_str());
        return EXIT_FAILED;
    }
    packed.resize(length);
    return WriteOutput(command, options.output, packed) ? EXIT_OK : EXIT_FAILED;
}

int Decompress(const std::string& command, const Options& options) {
    std::string packed;
    if (!ReadInput(command, options.operands, &packed))
        return EXIT_FAILED;
    if (packed.empty())
        return WriteOutput(command, options.output, "") ? EXIT_OK : EXIT_FAILED;
    packed.resize(std::max<size_t>(packed.size(), 4), '\0');
    const size_t count = ccIntlGetCompUnicodeNoOfBytes(Bytes(packed)) / 2;
    // Every stored character takes at least one byte of the stream.
    if (count > packed.size()) {
        std::fprintf(stderr, "glossel %s: not a packed text (it claims %zu characters)\n",
                     command.c_str(), count);
        return EXIT_FAILED;
    }
    // The decoder may look that far ahead; bytes beyond the file read as empty runs.
    packed.resize(std::max(packed.size(), 4 * count + 8), '\0');
    std::u16string wide(count, u'\0');
    const int32_t rc = ccIntlDecompressUnicode(
        Bytes(packed), reinterpret_cast<uint16_t*>(wide.data()), static_cast<uint32_t>(count));
    if (rc != 0) {
        std::fprintf(stderr, "glossel %s: the packed text is damaged (code %d)\n", command.c_str(),
                     rc);
        return EXIT_FAILED;
    }
    return WriteOutput(command, options.output, Utf16ToUtf8(wide)) ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

int RunCollateCommand(const std::string& name, int argc, char** argv) {
    static const char* const COMMANDS[] = {"compare", "sort",     "normalise", "normalize",
                                           "split",   "compress", "decompress"};
    if (std::find_if(std::begin(COMMANDS), std::end(COMMANDS),
                     [&](const char* c) { return name == c; }) == std::end(COMMANDS)) {
        return -1;
    }
    Options options;
    if (!ParseOptions(name, argc, argv, &options)) {
        Usage(name, stderr);
        return EXIT_USAGE;
    }
    if (options.help) {
        Usage(name, stdout);
        return EXIT_OK;
    }
    if (name == "compress")
        return Compress(name, options);
    if (name == "decompress")
        return Decompress(name, options);
    Encoding encoding;
    if (!ResolveEncoding(name, options.set, &encoding))
        return EXIT_USAGE;
    if (name == "compare")
        return Compare(name, options, encoding);
    if (name == "sort")
        return Sort(name, options, encoding);
    if (name == "split")
        return Split(name, options, encoding);
    return Normalise(name, options, encoding);
}

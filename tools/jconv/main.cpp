// jconv: detects whether a text is Shift_JIS, ISO-2022-JP or UTF-8 and writes it converted
// to Shift_JIS (code page 932), as the conduit does with incoming Japanese mail.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "conduit/japanese/japanese_encoding.h"
#include "platform/file_util.h"

namespace {

using torrim::japanese::BuildCp932CodeSet;
using torrim::japanese::Cp932CodeSet;
using torrim::japanese::DetectEncoding;
using torrim::japanese::EncodingDetector;
using torrim::japanese::EncodingDetectorTable;

constexpr int EXIT_IO = 1;
constexpr int EXIT_USAGE = 2;

const char USAGE[] =
    "usage: jconv [options] [FILE]\n"
    "Detects whether FILE (standard input when FILE is missing or \"-\") holds Shift_JIS,\n"
    "ISO-2022-JP or UTF-8 text, prints the encoding on standard error, and writes the text\n"
    "converted to Shift_JIS (code page 932) to standard output.\n"
    "\n"
    "  -o, --output OUT  write the conversion to the file OUT instead; OUT is replaced\n"
    "                    only once the whole conversion is written\n"
    "  -d, --detect      print only the detected encoding, on standard output\n"
    "  -s, --scores      print each encoding's score (0-100) on standard error too\n"
    "  -h, --help        show this help\n"
    "\n"
    "Encodings: \"Shift_JIS\" (left as it is), \"ISO-2022-JP-2\", \"UTF-8\". Characters that\n"
    "code page 932 lacks become \"?\".\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 bad usage.\n";

struct Options {
    std::string input = "-";
    std::string output;
    bool detectOnly = false;
    bool scores = false;
};

int UsageError(const std::string& message) {
    std::cerr << "jconv: " << message << "\n"
              << "Try 'jconv --help'.\n";
    return EXIT_USAGE;
}

// Parses argv into *options; returns -1 to go on, else the exit status.
int ParseArguments(int argc, char** argv, Options* options) {
    bool haveInput = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << USAGE;
            return 0;
        }
        if (arg == "-d" || arg == "--detect") {
            options->detectOnly = true;
        } else if (arg == "-s" || arg == "--scores") {
            options->scores = true;
        } else if (arg == "-o" || arg == "--output") {
            if (i + 1 == argc) {
                return UsageError(arg + " needs a file name");
            }
            options->output = argv[++i];
            if (options->output.empty()) {
                return UsageError("empty output file name");
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else if (haveInput) {
            return UsageError("only one input file can be given");
        } else {
            options->input = arg;
            haveInput = true;
        }
    }
    return -1;
}

bool ReadInput(const std::string& name, std::string* text) {
    if (name == "-") {
        text->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        if (std::cin.bad()) {
            std::cerr << "jconv: cannot read standard input\n";
            return false;
        }
        return true;
    }
    const int32_t error = platform::ReadWholeFile(name, text);
    if (error != 0) {
        std::cerr << "jconv: cannot read " << name << ": " << std::strerror(error) << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    Options options;
    const int parsed = ParseArguments(argc, argv, &options);
    if (parsed >= 0) {
        return parsed;
    }
    std::string text;
    if (!ReadInput(options.input, &text)) {
        return EXIT_IO;
    }

    Cp932CodeSet codeSet;
    BuildCp932CodeSet(&codeSet);
    const EncodingDetector* detector = DetectEncoding(text.data(), text.size(), codeSet);
    if (options.scores) {
        for (const EncodingDetector& row : EncodingDetectorTable) {
            std::cerr << row.name << ": " << row.score(text.data(), text.size(), codeSet) << "\n";
        }
    }
    if (options.detectOnly) {
        std::cout << detector->name << "\n";
        std::cout.flush();
        return std::cout ? 0 : EXIT_IO;
    }
    std::cerr << detector->name << "\n";

    std::vector<char> converted(text.size() + 1);
    const size_t length = detector->convert(converted.data(), text.data(), text.size());
    if (!options.output.empty()) {
        const int32_t error =
            platform::WriteFileAtomic(options.output, std::string_view(converted.data(), length));
        if (error != 0) {
            std::cerr << "jconv: cannot write " << options.output << ": " << std::strerror(error)
                      << "\n";
            return EXIT_IO;
        }
        return 0;
    }
    std::cout.write(converted.data(), static_cast<std::streamsize>(length));
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "jconv: cannot write standard output\n";
        return EXIT_IO;
    }
    return 0;
}

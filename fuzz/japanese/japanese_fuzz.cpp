// Fuzzes DetectEncoding with the chosen converter, every converter on its own, the one-pass
// DetectAndConvert, and the converter object over NUL-separated fields.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "conduit/japanese/japanese_encoding.h"
#include "conduit/japanese/japanese_text_converter.h"

namespace {

using namespace torrim::japanese;

const Cp932CodeSet& CodeSet() {
    static const Cp932CodeSet codeSet = [] {
        Cp932CodeSet set;
        BuildCp932CodeSet(&set);
        return set;
    }();
    return codeSet;
}

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// Runs a converter into a heap buffer of exactly length + 1 bytes, so that the address
// sanitizer reports any byte written past it; returns the output with its NUL.
std::string Convert(ConvertFunction convert, const char* src, size_t length) {
    std::unique_ptr<char[]> out(new char[length + 1]);
    const size_t written = convert(out.get(), src, length);
    Check(written <= length);
    Check(out[written] == '\0');
    return std::string(out.get(), written + 1);
}

void FuzzConverterObject(const uint8_t* data, size_t size) {
    // Fields separated by NUL bytes: the first is the body, the others headers.
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t i = 0; i <= size && fields.size() < 8; ++i) {
        if (i == size || data[i] == 0) {
            fields.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
            start = i + 1;
        }
    }
    std::vector<char*> pointers;
    for (std::string& field : fields) {
        pointers.push_back(field.data());
    }
    const std::vector<char*> before = pointers;
    {
        CJapaneseTextConverter converter;
        for (size_t k = 0; k < pointers.size(); ++k) {
            if (k == 0) {
                converter.AddBodySlot(&pointers[k]);
            } else {
                converter.AddHeaderSlot(&pointers[k]);
            }
        }
        converter.ConvertAll();
        for (size_t k = 0; k < pointers.size(); ++k) {
            Check(std::strlen(pointers[k]) <= fields[k].size());
        }
        converter.RestoreAll();
    }
    Check(pointers == before);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto* src = reinterpret_cast<const char*>(data);
    const EncodingDetector* detector = DetectEncoding(src, size, CodeSet());
    const std::string expected = Convert(detector->convert, src, size);

    std::unique_ptr<char[]> out(new char[size + 1]);
    size_t written = 0;
    Check(DetectAndConvert(out.get(), src, size, CodeSet(), &written) == detector);
    Check(std::string(out.get(), written + 1) == expected);

    for (const EncodingDetector& row : EncodingDetectorTable) {
        const int score = row.score(src, size, CodeSet());
        Check(score >= 0 && score <= 100);
        (void)Convert(row.convert, src, size);
    }
    FuzzConverterObject(data, size);
    return 0;
}

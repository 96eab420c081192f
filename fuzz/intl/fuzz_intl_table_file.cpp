// Fuzzes table-file loading. An input starting with 'P' patches a small valid
// table file (three bytes per patch: offset low, offset high, value), so the
// fuzzer reaches the tables without a seed corpus; any other input is a whole
// "CCINTL.TB". Every translation table the directory names is used once, and
// every kind of language table, the normalisation and the replacement table
// are loaded.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "intl/context.h"
#include "intl/table_layout.h"
#include "intl/table_writer.h"
#include "intl/translate.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        std::string pattern = "/tmp/fuzz-intl-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return pattern;
    }();
    return folder;
}

std::vector<uint8_t> SampleText() {
    std::vector<uint8_t> text;
    for (int b = 0; b < 256; ++b) {
        text.push_back(static_cast<uint8_t>(b));
    }
    // Shift_JIS codes at the edges of the grid, and a dangling lead byte.
    const uint8_t codes[] = {0x81, 0x40, 0x9F, 0xFC, 0xE0, 0x40, 0xEF, 0x40, 0xFC, 0xFC, 0x82};
    text.insert(text.end(), std::begin(codes), std::end(codes));
    return text;
}

// A file with every kind of table, small enough for patches to matter.
const std::vector<uint8_t>& BaseFile() {
    static const std::vector<uint8_t> file = [] {
        using namespace glossel;
        std::array<uint16_t, 256> latin{};
        for (int i = 0; i < 256; ++i) {
            latin[static_cast<size_t>(i)] = static_cast<uint16_t>(i);
        }
        TableFileContents contents;
        contents.xlat.push_back({1252, SET_UNICODE, SingleToUnicodeTable(latin)});
        contents.xlat.push_back({SET_UNICODE, 1252, UnicodeToSingleTable(latin, 0xFFFD)});
        std::vector<uint8_t> grid = EncodeU16Part(latin);
        grid.resize(SJIS_GRID_TABLE_SIZE, 0x30);
        contents.xlat.push_back({SET_SJIS, SET_UNICODE, grid});
        std::vector<uint8_t> pairs = EncodeU16Part(latin);
        const std::vector<uint8_t> codes = EncodePairs({{0x8140, 0x3000}, {0x82A0, 0x3042}});
        pairs.insert(pairs.end(), codes.begin(), codes.end());
        contents.xlat.push_back({SET_SJIS_PAIRS, SET_UNICODE, pairs});
        contents.xlat.push_back(
            {SET_UNICODE, SET_SJIS, UnicodeToDoubleTable(latin, {{0x3042, 0xA082}})});
        for (uint16_t kind = 0; kind < 4; ++kind) {
            LangTableSpec langTable;
            langTable.language[0] = 'e';
            langTable.language[1] = 'n';
            langTable.kind = kind;
            langTable.main = EncodeU16Part(latin);
            langTable.second = {0, 0, 0x61, 0, 0x65, 0};
            langTable.third = {0x63, 0, 0x68, 0, 0x00, 0x01};
            contents.lang.push_back(langTable);
        }
        contents.normalisation = EncodeU16Part(latin);
        contents.replacement = EncodePairs({{0x2018, '\''}});
        std::vector<uint8_t> bytes;
        std::string error;
        if (!BuildTableFile(contents, &bytes, &error)) {
            std::abort();
        }
        return bytes;
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    if (size > 0 && data[0] == 'P') {
        bytes = BaseFile();
        for (size_t at = 1; at + 3 <= size; at += 3) {
            const size_t offset = (data[at] | (data[at + 1] << 8)) % bytes.size();
            bytes[offset] = data[at + 2];
        }
    }
    const std::string path = Folder() + "/CCINTL.TB";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::abort();
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);

    tccIntlCtxtStruct* ctx = nullptr;
    if (glossel::CreateContext(Folder().c_str(), 2, "en", &ctx) != 0) {
        return 0;
    }
    static const std::vector<uint8_t> text = SampleText();
    std::vector<uint8_t> out(2 * text.size());
    for (uint16_t i = 0; i < ctx->xlatCount && i < 16; ++i) {
        uint32_t length = static_cast<uint32_t>(out.size());
        (void)glossel::TranslateStr(ctx, ctx->xlatDir[i].source, text.data(),
                                    static_cast<uint32_t>(text.size()), ctx->xlatDir[i].destination,
                                    out.data(), &length);
        if (length > out.size()) {
            std::abort();
        }
    }
    for (uint16_t kind = 0; kind < 4; ++kind) {
        glossel::LangTables tables;
        (void)glossel::GetLangTables(ctx, kind, &tables);
    }
    glossel::TableView view;
    (void)glossel::LoadNormTable(ctx, &view);
    (void)glossel::LoadReplTable(ctx, &view);
    (void)glossel::DestroyContext(ctx);  // the fuzzer only looks for memory errors
    return 0;
}

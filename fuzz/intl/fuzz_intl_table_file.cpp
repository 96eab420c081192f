// Fuzzes table-file loading: the input is a whole "CCINTL.TB". Every
// translation table the directory names is used once, and every kind of
// language table, the normalisation and the replacement table are loaded.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "intl/context.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Folder() + "/CCINTL.TB";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::abort();
    }
    std::fwrite(data, 1, size, file);
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

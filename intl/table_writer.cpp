// Encoding of table files; mirrors the reader in context.cpp.
#include "intl/table_writer.h"

#include "intl/table_layout.h"

namespace glossel {
namespace {

void PutU16(std::vector<uint8_t>* out, size_t at, uint16_t v) {
    (*out)[at] = static_cast<uint8_t>(v & 0xFF);
    (*out)[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(std::vector<uint8_t>* out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        (*out)[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

void AppendU16(std::vector<uint8_t>* out, uint16_t v) {
    out->push_back(static_cast<uint8_t>(v & 0xFF));
    out->push_back(static_cast<uint8_t>(v >> 8));
}

// Appends `bytes` and returns their offset; empty tables get offset 0.
uint32_t Place(std::vector<uint8_t>* file, const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) {
        return 0;
    }
    const uint32_t offset = static_cast<uint32_t>(file->size());
    file->insert(file->end(), bytes.begin(), bytes.end());
    return offset;
}

}  // namespace

bool BuildTableFile(const TableFileContents& contents, std::vector<uint8_t>* out,
                    std::string* error) {
    const size_t xlatBytes = contents.xlat.size() * XLAT_ENTRY_SIZE;
    const size_t langBytes = contents.lang.size() * LANG_ENTRY_SIZE;
    if (xlatBytes > 0xFFFF || langBytes > 0xFFFF) {
        *error = "too many directory entries for a 16-bit directory size";
        return false;
    }
    if (contents.normalisation.size() > 0xFFFF || contents.replacement.size() > 0xFFFF) {
        *error = "normalisation or replacement table larger than 65535 bytes";
        return false;
    }
    std::vector<uint8_t> file(HEADER_SIZE + xlatBytes + langBytes, 0);
    PutU16(&file, HEADER_VERSION, contents.version);
    PutU32(&file, HEADER_XLAT_OFFSET, HEADER_SIZE);
    PutU32(&file, HEADER_XLAT_SIZE, static_cast<uint32_t>(xlatBytes));
    PutU32(&file, HEADER_LANG_OFFSET, static_cast<uint32_t>(HEADER_SIZE + xlatBytes));
    PutU32(&file, HEADER_LANG_SIZE, static_cast<uint32_t>(langBytes));
    // A table of size 0 still gets a valid offset (the end of the directories).
    const uint32_t normOffset = Place(&file, contents.normalisation);
    PutU32(&file, HEADER_NORM_OFFSET,
           normOffset != 0 ? normOffset : static_cast<uint32_t>(file.size()));
    PutU32(&file, HEADER_NORM_SIZE, static_cast<uint32_t>(contents.normalisation.size()));
    const uint32_t replOffset = Place(&file, contents.replacement);
    PutU32(&file, HEADER_REPL_OFFSET,
           replOffset != 0 ? replOffset : static_cast<uint32_t>(file.size()));
    PutU32(&file, HEADER_REPL_SIZE, static_cast<uint32_t>(contents.replacement.size()));

    for (size_t i = 0; i < contents.xlat.size(); ++i) {
        const XlatTableSpec& table = contents.xlat[i];
        const size_t at = HEADER_SIZE + i * XLAT_ENTRY_SIZE;
        const uint32_t offset = static_cast<uint32_t>(file.size());
        file.insert(file.end(), table.bytes.begin(), table.bytes.end());
        PutU32(&file, at + XLAT_OFFSET, offset);
        PutU32(&file, at + XLAT_SIZE, static_cast<uint32_t>(table.bytes.size()));
        PutU16(&file, at + XLAT_SOURCE, static_cast<uint16_t>(table.source));
        PutU16(&file, at + XLAT_DESTINATION, static_cast<uint16_t>(table.destination));
    }
    for (size_t i = 0; i < contents.lang.size(); ++i) {
        const LangTableSpec& table = contents.lang[i];
        const size_t at = HEADER_SIZE + xlatBytes + i * LANG_ENTRY_SIZE;
        PutU16(&file, at + LANG_TYPE, table.type);
        const uint32_t mainOffset = static_cast<uint32_t>(file.size());
        file.insert(file.end(), table.main.begin(), table.main.end());
        PutU32(&file, at + LANG_MAIN_OFFSET, mainOffset);
        PutU32(&file, at + LANG_MAIN_SIZE, static_cast<uint32_t>(table.main.size()));
        file[at + LANG_LANGUAGE] = static_cast<uint8_t>(table.language[0]);
        file[at + LANG_LANGUAGE + 1] = static_cast<uint8_t>(table.language[1]);
        PutU16(&file, at + LANG_KIND, table.kind);
        PutU32(&file, at + LANG_SECOND_OFFSET, Place(&file, table.second));
        PutU32(&file, at + LANG_SECOND_SIZE, static_cast<uint32_t>(table.second.size()));
        PutU32(&file, at + LANG_THIRD_OFFSET, Place(&file, table.third));
        PutU32(&file, at + LANG_THIRD_SIZE, static_cast<uint32_t>(table.third.size()));
    }
    if (file.size() > 0xFFFFFFFFu) {
        *error = "table file larger than 4 GiB";
        return false;
    }
    *out = std::move(file);
    return true;
}

std::vector<uint8_t> EncodePairs(const PairMap& pairs) {
    std::vector<uint8_t> out;
    out.reserve(pairs.size() * PAIR_SIZE);
    for (const auto& [key, value] : pairs) {
        AppendU16(&out, key);
        AppendU16(&out, value);
    }
    return out;
}

std::vector<uint8_t> EncodeU16Part(const std::array<uint16_t, 256>& values) {
    std::vector<uint8_t> out;
    out.reserve(SINGLE_PART_U16_SIZE);
    for (uint16_t v : values) {
        AppendU16(&out, v);
    }
    return out;
}

std::vector<uint8_t> SingleToUnicodeTable(const std::array<uint16_t, 256>& unicodeOfByte) {
    return EncodeU16Part(unicodeOfByte);
}

std::vector<uint8_t> UnicodeToSingleTable(const std::array<uint16_t, 256>& unicodeOfByte,
                                          uint16_t skip) {
    std::vector<uint8_t> out(SINGLE_PART_BYTE_SIZE, '?');
    PairMap above;
    // From the highest byte down, so that where two bytes share a value the
    // lower byte is the one written back.
    for (int b = 255; b >= 0; --b) {
        const uint16_t u = unicodeOfByte[static_cast<size_t>(b)];
        if (u == skip) {
            continue;
        }
        if (u < 0x100) {
            out[u] = static_cast<uint8_t>(b);
        } else {
            above[u] = static_cast<uint16_t>(b);
        }
    }
    const std::vector<uint8_t> pairs = EncodePairs(above);
    out.insert(out.end(), pairs.begin(), pairs.end());
    return out;
}

std::vector<uint8_t> UnicodeToDoubleTable(const std::array<uint16_t, 256>& outputStrings,
                                          const PairMap& pairsAbove) {
    std::vector<uint8_t> out = EncodeU16Part(outputStrings);
    const std::vector<uint8_t> pairs = EncodePairs(pairsAbove);
    out.insert(out.end(), pairs.begin(), pairs.end());
    return out;
}

}  // namespace glossel

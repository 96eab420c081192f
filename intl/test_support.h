// Helpers for the library's tests: private temporary folders and table files
// written into them.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "intl/table_writer.h"

namespace glossel::testing {

// The Unicode value of each byte of Windows code page 1252; its five
// undefined bytes stand for the controls of the same value.
inline std::array<uint16_t, 256> Cp1252() {
    static const uint16_t upper[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::array<uint16_t, 256> map{};
    for (int b = 0; b < 256; ++b)
        map[b] = b >= 0x80 && b < 0xA0 ? upper[b - 0x80] : static_cast<uint16_t>(b);
    return map;
}

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class CTempDir {
public:
    CTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "glossel-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~CTempDir() {
        std::error_code ignored;
        if (!m_path.empty()) {
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes "CCINTL.TB" built from `contents` into `dir`; the file's bytes.
inline std::vector<uint8_t> WriteTableFile(const std::string& dir,
                                           const TableFileContents& contents) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!BuildTableFile(contents, &bytes, &error)) {
        return {};
    }
    WriteBytes(dir + "/CCINTL.TB", bytes);
    return bytes;
}

// Folder of the table file the build compiles.
inline std::string BuiltTableDir() {
#if defined(GLOSSEL_TABLE_DIR)
    return GLOSSEL_TABLE_DIR;
#else
    return ".";
#endif
}

}  // namespace glossel::testing

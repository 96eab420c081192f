// Helpers for the library's tests: private temporary folders and table files
// written into them.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "intl/table_writer.h"

namespace glossel::testing {

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

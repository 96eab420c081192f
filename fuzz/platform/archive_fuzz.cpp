// Reads arbitrary bytes as an archive of counted, tagged objects and strings; whatever loads
// must store and load again to the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/archive.h"

namespace {

class CFuzzNode : public platform::CObject {
public:
    const char* ClassName() const override { return "CFuzzNode"; }
    void Serialize(platform::CArchive& ar) override {
        ar.U32(m_value);
        ar.String(m_text);
        uint32_t count = static_cast<uint32_t>(m_children.size());
        ar.Count(count);
        if (ar.IsLoading()) {
            m_children.clear();
            if (!ar.CheckCount(count, 2))
                return;
            for (uint32_t i = 0; i < count && ar.Ok(); ++i) {
                std::unique_ptr<platform::CObject> child;
                ar.ReadObject(&child);
                m_children.push_back(std::move(child));
            }
        } else {
            for (const auto& child : m_children)
                ar.WriteObject(child.get());
        }
    }
    uint32_t m_value = 0;
    std::string m_text;
    std::vector<std::unique_ptr<platform::CObject>> m_children;
};

class CFuzzLeaf : public platform::CObject {
public:
    const char* ClassName() const override { return "CFuzzLeaf"; }
    uint16_t Schema() const override { return 3; }
    void Serialize(platform::CArchive& ar) override {
        ar.U16(m_value);
        ar.Bytes(m_raw, sizeof m_raw);
    }
    uint16_t m_value = 0;
    uint8_t m_raw[3] = {};
};

const bool g_registered =
    platform::RegisterClass("CFuzzNode", 1,
                            [] { return std::unique_ptr<platform::CObject>(new CFuzzNode); }) &&
    platform::RegisterClass("CFuzzLeaf", 3,
                            [] { return std::unique_ptr<platform::CObject>(new CFuzzLeaf); });

// Hands out the bytes in small pieces of varying size, as a file read through a buffer.
class CPieceSource : public platform::CArchiveSource {
public:
    CPieceSource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    size_t Read(void* dst, size_t size) override {
        const size_t n = std::min({size, m_size - m_pos, m_next});
        std::memcpy(dst, m_data + m_pos, n);
        m_pos += n;
        m_next = m_next * 7 % 251 + 1;
        return n;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    size_t m_next = 3;
};

// Collects a storing archive's bytes.
class CStringSink : public platform::CArchiveSink {
public:
    bool Write(const void* data, size_t size) override {
        m_bytes.append(static_cast<const char*>(data), size);
        return true;
    }
    std::string m_bytes;
};

void ReadAll(platform::CArchive& in, uint32_t* count,
             std::vector<std::unique_ptr<platform::CObject>>* objects) {
    in.Count(*count);
    if (in.CheckCount(*count, 2)) {
        for (uint32_t i = 0; i < *count && in.Ok(); ++i) {
            std::unique_ptr<platform::CObject> object;
            in.ReadObject(&object);
            objects->push_back(std::move(object));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)g_registered;
    platform::CArchive in = platform::CArchive::ForLoading(std::span<const uint8_t>(data, size));
    uint32_t count = 0;
    std::vector<std::unique_ptr<platform::CObject>> objects;
    ReadAll(in, &count, &objects);
    // Read through a source in pieces, the same bytes give the same result at the same place.
    CPieceSource source(data, size);
    platform::CArchive streamed = platform::CArchive::ForLoading(source);
    uint32_t streamedCount = 0;
    std::vector<std::unique_ptr<platform::CObject>> streamedObjects;
    ReadAll(streamed, &streamedCount, &streamedObjects);
    if (streamed.Error() != in.Error() || streamedCount != count ||
        streamedObjects.size() != objects.size() ||
        (in.Ok() && streamed.Position() != in.Position()))
        std::abort();
    if (!in.Ok())
        return 0;
    size_t consumed = in.Position();

    platform::CArchive out = platform::CArchive::ForStoring();
    out.Count(count);
    for (const auto& object : objects)
        out.WriteObject(object.get());
    // Short forms are canonical except for the optional long string and count forms, so
    // only the lengths are compared when they differ; a second round must be exact.
    platform::CArchive again = platform::CArchive::ForLoading(out.Bytes());
    uint32_t count2 = 0;
    again.Count(count2);
    std::vector<std::unique_ptr<platform::CObject>> objects2;
    for (uint32_t i = 0; i < count2 && again.Ok(); ++i) {
        std::unique_ptr<platform::CObject> object;
        again.ReadObject(&object);
        objects2.push_back(std::move(object));
    }
    if (!again.Ok() || count2 != count || again.Remaining() != 0)
        std::abort();
    platform::CArchive out2 = platform::CArchive::ForStoring();
    out2.Count(count2);
    for (const auto& object : objects2)
        out2.WriteObject(object.get());
    if (out2.Bytes() != out.Bytes())
        std::abort();
    // Stored through a sink, the bytes are those stored in memory.
    CStringSink sink;
    platform::CArchive toSink = platform::CArchive::ForStoring(sink);
    toSink.Count(count2);
    for (const auto& object : streamedObjects)
        toSink.WriteObject(object.get());
    if (!toSink.Flush() || sink.m_bytes != out.Bytes())
        std::abort();
    if (out.Bytes().size() > consumed)
        std::abort();
    return 0;
}

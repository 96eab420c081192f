// The binary archive: primitives, strings, counts and tagged objects with a class registry.
#include "platform/archive.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "platform/bytes.h"

namespace platform {
namespace {

constexpr uint16_t NULL_TAG = 0;
constexpr uint16_t NEW_CLASS_TAG = 0xFFFF;
constexpr uint16_t CLASS_TAG = 0x8000;
constexpr uint16_t BIG_OBJECT_TAG = 0x7FFF;
constexpr uint32_t BIG_CLASS_TAG = 0x80000000u;
constexpr uint32_t MAX_MAP_COUNT = 0x3FFFFFFEu;
// Class names longer than this are not ours; refusing them bounds what a bad file costs.
constexpr uint16_t MAX_CLASS_NAME = 63;

struct ClassEntry {
    uint16_t schema;
    ObjectFactory factory;
};

struct ClassRegistry {
    std::mutex mutex;
    std::unordered_map<std::string, ClassEntry> classes;
};

ClassRegistry& Registry() {
    static ClassRegistry registry;
    return registry;
}

bool LookupClass(const std::string& name, ClassEntry* entry) {
    ClassRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.classes.find(name);
    if (it == r.classes.end())
        return false;
    *entry = it->second;
    return true;
}

}  // namespace

bool RegisterClass(std::string_view name, uint16_t schema, ObjectFactory factory) {
    ClassRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.classes[std::string(name)] = ClassEntry{schema, factory};
    return true;
}

std::unique_ptr<CObject> CreateObject(std::string_view name) {
    ClassEntry entry{};
    if (!LookupClass(std::string(name), &entry) || entry.factory == nullptr)
        return nullptr;
    return entry.factory();
}

CArchive CArchive::ForStoring() {
    return CArchive(true);
}

CArchive CArchive::ForStoring(CArchiveSink& sink) {
    CArchive ar(true);
    ar.m_pSink = &sink;
    ar.m_out.reserve(BUFFER_SIZE);
    return ar;
}

CArchive CArchive::ForLoading(std::span<const uint8_t> data) {
    CArchive ar(false);
    ar.m_data = data;
    ar.m_total = data.size();
    ar.m_loaded.push_back(LoadEntry{false, std::string(), 0});
    return ar;
}

CArchive CArchive::ForLoading(std::string_view data) {
    return ForLoading(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
}

CArchive CArchive::ForLoading(CArchiveSource& source) {
    CArchive ar(false);
    ar.m_pSource = &source;
    ar.m_buffer = std::make_unique<uint8_t[]>(BUFFER_SIZE);
    ar.m_data = std::span<const uint8_t>(ar.m_buffer.get(), 0);
    const uint64_t size = source.Size();
    ar.m_total = size < SIZE_MAX ? static_cast<size_t>(size) : SIZE_MAX;
    ar.m_loaded.push_back(LoadEntry{false, std::string(), 0});
    return ar;
}

void CArchive::SetError(int32_t error) {
    if (m_error == AR_OK)
        m_error = error;
}

bool CArchive::Refill() {
    if (m_pSource == nullptr)
        return false;
    m_consumed += m_data.size();
    m_data = std::span<const uint8_t>(m_buffer.get(), 0);
    m_pos = 0;
    // Bytes beyond the size announced (a file that grew while it was read) are not taken,
    // so that Remaining() stays true.
    const size_t room = std::min(BUFFER_SIZE, m_total - m_consumed);
    if (room == 0)
        return false;
    const size_t n = m_pSource->Read(m_buffer.get(), room);
    m_data = std::span<const uint8_t>(m_buffer.get(), std::min(n, room));
    return !m_data.empty();
}

bool CArchive::TakeSlow(void* dst, size_t size) {
    uint8_t* out = static_cast<uint8_t*>(dst);
    size_t left = size;
    while (m_error == AR_OK && left > 0) {
        const size_t available = m_data.size() - m_pos;
        if (available == 0) {
            if (!Refill())
                break;
            continue;
        }
        const size_t n = std::min(available, left);
        std::memcpy(out, m_data.data() + m_pos, n);
        m_pos += n;
        out += n;
        left -= n;
    }
    if (m_error == AR_OK && left == 0)
        return true;
    SetError(AR_END_OF_FILE);
    if (size > 0)
        std::memset(dst, 0, size);
    return false;
}

void CArchive::PutSlow(const void* src, size_t size) {
    if (!Flush())
        return;  // the sink failed: nothing more is passed on
    if (size >= BUFFER_SIZE) {
        // A large piece goes straight through instead of through the buffer.
        if (!m_pSink->Write(src, size))
            SetError(AR_GENERIC);
        m_flushed += size;
        return;
    }
    m_out.append(static_cast<const char*>(src), size);
}

bool CArchive::Flush() {
    if (m_pSink != nullptr && !m_out.empty()) {
        if (Ok() && !m_pSink->Write(m_out.data(), m_out.size()))
            SetError(AR_GENERIC);
        m_flushed += m_out.size();
        m_out.clear();
    }
    return Ok();
}

void CArchive::U8(uint8_t& v) {
    if (m_storing) {
        Put(&v, 1);
    } else {
        Take(&v, 1);
    }
}

void CArchive::U16(uint16_t& v) {
    uint8_t b[2];
    if (m_storing) {
        PutU16LE(b, v);
        Put(b, 2);
    } else {
        Take(b, 2);
        v = GetU16LE(b);
    }
}

void CArchive::U32(uint32_t& v) {
    uint8_t b[4];
    if (m_storing) {
        PutU32LE(b, v);
        Put(b, 4);
    } else {
        Take(b, 4);
        v = GetU32LE(b);
    }
}

void CArchive::I16(int16_t& v) {
    uint16_t u = static_cast<uint16_t>(v);
    U16(u);
    v = static_cast<int16_t>(u);
}

void CArchive::I32(int32_t& v) {
    uint32_t u = static_cast<uint32_t>(v);
    U32(u);
    v = static_cast<int32_t>(u);
}

void CArchive::Bytes(uint8_t* data, size_t size) {
    if (m_storing) {
        Put(data, size);
    } else {
        Take(data, size);
    }
}

void CArchive::StoreString(std::string_view s) {
    if (!m_storing) {
        SetError(AR_GENERIC);
        return;
    }
    {
        size_t len = s.size();
        uint8_t b1 = len < 0xFF ? static_cast<uint8_t>(len) : 0xFF;
        U8(b1);
        if (len >= 0xFF) {
            uint16_t w = len < 0xFFFE ? static_cast<uint16_t>(len) : 0xFFFF;
            U16(w);
            if (len >= 0xFFFE) {
                uint32_t d = static_cast<uint32_t>(len);
                U32(d);
            }
        }
        Put(s.data(), len);
    }
}

void CArchive::String(std::string& s) {
    if (m_storing) {
        StoreString(s);
        return;
    }
    s.clear();
    uint8_t b1 = 0;
    U8(b1);
    uint32_t len = b1;
    if (b1 == 0xFF) {
        uint16_t w = 0;
        U16(w);
        len = w;
        if (w == 0xFFFF)
            U32(len);
    }
    if (!Ok())
        return;
    // The length is checked against what remains before anything is allocated.
    if (len > Remaining()) {
        SetError(AR_END_OF_FILE);
        return;
    }
    if (len <= m_data.size() - m_pos) {
        s.assign(reinterpret_cast<const char*>(m_data.data() + m_pos), len);
        m_pos += len;
        return;
    }
    s.resize(len);
    if (!Take(s.data(), len))
        s.clear();
}

void CArchive::Count(uint32_t& count) {
    if (m_storing) {
        uint16_t w = count < 0xFFFF ? static_cast<uint16_t>(count) : 0xFFFF;
        U16(w);
        if (count >= 0xFFFF)
            U32(count);
        return;
    }
    uint16_t w = 0;
    U16(w);
    count = w;
    if (w == 0xFFFF)
        U32(count);
    if (!Ok())
        count = 0;
}

bool CArchive::LoadCount(int32_t& count, size_t minBytesEach) {
    if (m_storing) {
        return false;
    }
    I32(count);
    if (!Ok()) {
        return false;
    }
    if (count < 0) {
        SetError(AR_GENERIC);
        return false;
    }
    return CheckCount(static_cast<uint32_t>(count), minBytesEach);
}

bool CArchive::CheckCount(uint32_t count, size_t minBytesEach) {
    if (m_storing)
        return true;
    if (!Ok())
        return false;
    if (minBytesEach == 0)
        minBytesEach = 1;
    if (count > Remaining() / minBytesEach) {
        SetError(AR_END_OF_FILE);
        return false;
    }
    return true;
}

void CArchive::WriteTag(uint32_t index, bool isClass) {
    if (index < BIG_OBJECT_TAG) {
        uint16_t tag = static_cast<uint16_t>(isClass ? (CLASS_TAG | index) : index);
        U16(tag);
    } else {
        uint16_t tag = BIG_OBJECT_TAG;
        U16(tag);
        uint32_t big = isClass ? (BIG_CLASS_TAG | index) : index;
        U32(big);
    }
}

void CArchive::WriteObject(const CObject* object) {
    if (object == nullptr) {
        uint16_t tag = NULL_TAG;
        U16(tag);
        return;
    }
    auto seen = m_objectIndex.find(object);
    if (seen != m_objectIndex.end()) {
        WriteTag(seen->second, false);
        return;
    }
    std::string name = object->ClassName();
    auto cls = m_classIndex.find(name);
    if (cls != m_classIndex.end()) {
        WriteTag(cls->second, true);
    } else {
        uint16_t tag = NEW_CLASS_TAG;
        U16(tag);
        uint16_t schema = object->Schema();
        U16(schema);
        uint16_t len = static_cast<uint16_t>(name.size());
        U16(len);
        Put(name.data(), len);
        m_classIndex.emplace(name, m_nextIndex++);
    }
    m_objectIndex.emplace(object, m_nextIndex++);
    // Serialize is declared non-const because the same call loads; storing only reads.
    const_cast<CObject*>(object)->Serialize(*this);
}

void CArchive::ReadObject(std::unique_ptr<CObject>* out, const char* expectedClass) {
    out->reset();
    uint16_t tag = 0;
    U16(tag);
    if (!Ok())
        return;
    uint32_t obTag = 0;
    if (tag == BIG_OBJECT_TAG) {
        U32(obTag);
        if (!Ok())
            return;
    } else if (tag != NEW_CLASS_TAG) {
        obTag = (static_cast<uint32_t>(tag & CLASS_TAG) << 16) | (tag & ~CLASS_TAG);
    }

    std::string className;
    uint16_t schema = 0;
    if (tag == NEW_CLASS_TAG) {
        uint16_t fileSchema = 0;
        uint16_t len = 0;
        U16(fileSchema);
        U16(len);
        if (!Ok())
            return;
        if (len == 0 || len > MAX_CLASS_NAME) {
            SetError(AR_BAD_CLASS);
            return;
        }
        char name[MAX_CLASS_NAME];
        if (!Take(name, len))
            return;
        className.assign(name, len);
        ClassEntry entry{};
        if (!LookupClass(className, &entry)) {
            SetError(AR_BAD_CLASS);
            return;
        }
        if (entry.schema != fileSchema) {
            SetError(AR_BAD_SCHEMA);
            return;
        }
        schema = fileSchema;
        if (m_loaded.size() > MAX_MAP_COUNT) {
            SetError(AR_BAD_INDEX);
            return;
        }
        m_loaded.push_back(LoadEntry{true, className, schema});
    } else if (obTag & BIG_CLASS_TAG) {
        uint32_t index = obTag & ~BIG_CLASS_TAG;
        if (index == 0 || index >= m_loaded.size() || !m_loaded[index].isClass) {
            SetError(AR_BAD_INDEX);
            return;
        }
        className = m_loaded[index].className;
        schema = m_loaded[index].schema;
    } else if (obTag == NULL_TAG) {
        return;  // the null object
    } else {
        // A reference to an object read before: shared ownership is not supported.
        SetError(AR_BAD_INDEX);
        return;
    }

    if (expectedClass != nullptr && className != expectedClass) {
        SetError(AR_BAD_CLASS);
        return;
    }
    std::unique_ptr<CObject> object = CreateObject(className);
    if (object == nullptr) {
        SetError(AR_BAD_CLASS);
        return;
    }
    if (m_loaded.size() > MAX_MAP_COUNT) {
        SetError(AR_BAD_INDEX);
        return;
    }
    if (m_depth >= MAX_OBJECT_DEPTH) {
        SetError(AR_GENERIC);
        return;
    }
    // The object's index is taken before its fields, as objects nested in it follow it.
    m_loaded.push_back(LoadEntry{false, std::string(), 0});
    ++m_depth;
    object->Serialize(*this);
    --m_depth;
    if (Ok())
        *out = std::move(object);
}

}  // namespace platform

// The binary archive of serialisable objects (little-endian), one class for both directions.
//
// Forms:
//   count   u16, or 0xFFFF followed by u32 when the count is 0xFFFF or more
//   string  u8 length when < 255; else 0xFF + u16 when < 0xFFFE; else 0xFF, 0xFFFF, u32;
//           then the bytes, no terminator
//   object  tag u16: 0 = null object;
//           0xFFFF = new class: schema u16, name length u16, class name, then the object;
//           0x8000 | class index = a further object of a class seen before, then the object;
//           1..0x7FFE = a reference to an object stored before.
//           Indexes above 0x7FFE are written as 0x7FFF followed by a u32 (0x80000000 | index
//           for a class). Classes and objects share one index sequence starting at 1, in the
//           order they appear.
//
// Errors: a loading archive never fails loudly. Any read past the end, bad tag, unknown
// class, schema mismatch or absurd count sets a sticky error code (the first one stays);
// from then on reads yield zero/empty values and the caller checks Error() or Ok() at the
// end. Allocation is bounded by the bytes that remain (CheckCount).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

class CArchive;

// Archive error causes.
inline constexpr int32_t AR_OK = 0;
inline constexpr int32_t AR_GENERIC = 1;      // invalid data in an object's fields
inline constexpr int32_t AR_END_OF_FILE = 3;  // read past the end
inline constexpr int32_t AR_BAD_INDEX = 5;    // tag naming no class or object read before
inline constexpr int32_t AR_BAD_CLASS = 6;    // unknown class name, or not the class expected
inline constexpr int32_t AR_BAD_SCHEMA = 7;   // schema differs from the registered one

// Base of every serialisable object.
class CObject {
public:
    virtual ~CObject() = default;
    // Name stored in the archive and used to create the object when loading.
    virtual const char* ClassName() const = 0;
    virtual uint16_t Schema() const { return 1; }
    // Stores or loads the object's fields (ar.IsStoring() tells which). A loading Serialize
    // may stop early once ar has an error; it must not trust values read after one.
    virtual void Serialize(CArchive& ar) = 0;
};

using ObjectFactory = std::unique_ptr<CObject> (*)();

// Registers a class for creation by name when loading (a later registration of the same
// name replaces the earlier). Returns true so that it can initialise a static flag:
//   static const bool registered = platform::RegisterClass("CUser", 1, &CUser::Create);
bool RegisterClass(std::string_view name, uint16_t schema, ObjectFactory factory);
// A new object of a registered class; null when the name is unknown.
std::unique_ptr<CObject> CreateObject(std::string_view name);

// Where a storing archive's bytes go when they are not kept in memory.
class CArchiveSink {
public:
    virtual ~CArchiveSink() = default;
    // Takes the next bytes; false when they could not be taken (the sink keeps the cause).
    virtual bool Write(const void* data, size_t size) = 0;
};

// Where a loading archive's bytes come from when they are not all in memory.
class CArchiveSource {
public:
    virtual ~CArchiveSource() = default;
    // The number of bytes the source holds in all: counts and lengths read from it are
    // checked against what remains of it before anything is allocated for them.
    virtual uint64_t Size() const = 0;
    // Reads up to `size` bytes into dst: the count read, 0 at the end or after a failure
    // (the source keeps the cause).
    virtual size_t Read(void* dst, size_t size) = 0;
};

class CArchive {
public:
    // The archive keeps the bytes; Bytes() returns them.
    static CArchive ForStoring();
    // The bytes go to `sink` (which must outlive the archive) through a buffer of
    // BUFFER_SIZE bytes; Flush() passes on the rest. A sink failure sets AR_GENERIC.
    static CArchive ForStoring(CArchiveSink& sink);
    // `data` must outlive the archive.
    static CArchive ForLoading(std::span<const uint8_t> data);
    static CArchive ForLoading(std::string_view data);
    // A temporary string would be gone before the archive reads it.
    static CArchive ForLoading(std::string&& data) = delete;
    // Reads `source` (which must outlive the archive) through a buffer of BUFFER_SIZE bytes.
    static CArchive ForLoading(CArchiveSource& source);
    static constexpr size_t BUFFER_SIZE = 65536;

    CArchive(CArchive&&) = default;
    CArchive& operator=(CArchive&&) = default;

    bool IsStoring() const { return m_storing; }
    bool IsLoading() const { return !m_storing; }

    // Store: append the value. Load: read it into v (0 on error).
    void U8(uint8_t& v);
    void U16(uint16_t& v);
    void U32(uint32_t& v);
    void I16(int16_t& v);
    void I32(int32_t& v);
    void Bytes(uint8_t* data, size_t size);  // load: zero-filled on underflow
    void String(std::string& s);             // load: the length is checked before allocating
    void StoreString(std::string_view s);    // store only (a loading archive gets AR_GENERIC)
    void Count(uint32_t& count);             // load: not checked against the data; see below

    // Load: true when `count` items of at least `minBytesEach` bytes can still be in the
    // data; otherwise sets AR_END_OF_FILE and returns false. Store: always true.
    // Call it before reserving or looping on a count read from the data.
    bool CheckCount(uint32_t count, size_t minBytesEach);
    // Load: reads a 32-bit item count and checks it as CheckCount does; false (the error
    // set) when it is negative (AR_GENERIC) or more than the data can hold. Store: false.
    bool LoadCount(int32_t& count, size_t minBytesEach);

    // Stores a tagged object (null allowed). The same object stored twice is written the
    // second time as a reference.
    void WriteObject(const CObject* object);
    // Loads a tagged object into *out (null for the null tag). When expectedClass is given,
    // an object of another class is refused with AR_BAD_CLASS. A reference to an object
    // read before is refused with AR_BAD_INDEX: every object loaded has exactly one owner.
    // Objects nested more than MAX_OBJECT_DEPTH deep are refused with AR_GENERIC, so that a
    // crafted file cannot exhaust the stack. On any error *out is null.
    static constexpr int MAX_OBJECT_DEPTH = 64;
    void ReadObject(std::unique_ptr<CObject>* out, const char* expectedClass = nullptr);

    int32_t Error() const { return m_error; }
    bool Ok() const { return m_error == AR_OK; }
    // Sets the error unless one is already set (objects use it to reject invalid fields).
    void SetError(int32_t error);
    // Loading: the bytes not read yet (of the source's size, for a source).
    size_t Remaining() const { return m_storing ? 0 : m_total - Position(); }
    // Bytes stored or read so far.
    size_t Position() const { return m_storing ? m_flushed + m_out.size() : m_consumed + m_pos; }

    // The bytes of a storing archive made without a sink.
    const std::string& Bytes() const { return m_out; }
    // Storing to a sink: passes on the buffered bytes. Ok() afterwards.
    bool Flush();

private:
    explicit CArchive(bool storing) : m_storing(storing) {}
    // Load: copy the next bytes or set end-of-file. The common case, bytes already in the
    // buffer, stays inline.
    bool Take(void* dst, size_t size) {
        if (size <= m_data.size() - m_pos && m_error == AR_OK) {
            if (size > 0)
                std::memcpy(dst, m_data.data() + m_pos, size);
            m_pos += size;
            return true;
        }
        return TakeSlow(dst, size);
    }
    bool TakeSlow(void* dst, size_t size);
    bool Refill();  // load from a source: the next piece into the buffer; false at the end
    void Put(const void* src, size_t size) {
        if (m_pSink != nullptr && m_out.size() + size > BUFFER_SIZE) {
            PutSlow(src, size);
            return;
        }
        m_out.append(static_cast<const char*>(src), size);
    }
    void PutSlow(const void* src, size_t size);
    void WriteTag(uint32_t index, bool isClass);

    bool m_storing;
    int32_t m_error = AR_OK;
    // Loading: the bytes at hand (all of them, or the buffered piece of a source), the
    // position in them, the bytes before them and the total.
    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
    size_t m_consumed = 0;
    size_t m_total = 0;
    CArchiveSource* m_pSource = nullptr;
    std::unique_ptr<uint8_t[]> m_buffer;
    // Storing: the bytes (all of them, or those not yet passed to the sink).
    std::string m_out;
    size_t m_flushed = 0;
    CArchiveSink* m_pSink = nullptr;
    // Storing: index of each class name and object written so far.
    std::unordered_map<std::string, uint32_t> m_classIndex;
    std::unordered_map<const CObject*, uint32_t> m_objectIndex;
    // Loading: per index, the class name (classes) or an empty string (objects).
    struct LoadEntry {
        bool isClass;
        std::string className;
        uint16_t schema;
    };
    std::vector<LoadEntry> m_loaded;  // index 0 is the null entry
    uint32_t m_nextIndex = 1;
    int m_depth = 0;  // loading: objects being read, one inside the other
};

}  // namespace platform

// The binary archive: golden bytes of every form, round trips, and damaged input refused
// with an error code.
#include "platform/archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace platform {
namespace {

// A node with a number, a text and an optional child node.
class CTestNode : public CObject {
public:
    const char* ClassName() const override { return "CTestNode"; }
    void Serialize(CArchive& ar) override {
        ar.U32(m_value);
        ar.String(m_text);
        if (ar.IsStoring()) {
            ar.WriteObject(m_child.get());
        } else {
            std::unique_ptr<CObject> child;
            ar.ReadObject(&child, "CTestNode");
            m_child.reset(static_cast<CTestNode*>(child.release()));
        }
    }
    static std::unique_ptr<CObject> Create() { return std::make_unique<CTestNode>(); }
    uint32_t m_value = 0;
    std::string m_text;
    std::unique_ptr<CTestNode> m_child;
};

class CTestLeaf : public CObject {
public:
    const char* ClassName() const override { return "CTestLeaf"; }
    uint16_t Schema() const override { return 2; }
    void Serialize(CArchive& ar) override { ar.U16(m_value); }
    static std::unique_ptr<CObject> Create() { return std::make_unique<CTestLeaf>(); }
    uint16_t m_value = 0;
};

const bool g_registered = RegisterClass("CTestNode", 1, &CTestNode::Create) &&
                          RegisterClass("CTestLeaf", 2, &CTestLeaf::Create);

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

std::unique_ptr<CTestNode> Node(uint32_t value, std::string text,
                                std::unique_ptr<CTestNode> child = nullptr) {
    auto n = std::make_unique<CTestNode>();
    n->m_value = value;
    n->m_text = std::move(text);
    n->m_child = std::move(child);
    return n;
}

// A node with a child, a second node, a leaf of a second class, a second leaf, null.
std::string GoldenStream() {
    CArchive ar = CArchive::ForStoring();
    auto first = Node(1, "a", Node(2, ""));
    auto second = Node(3, "bc");
    CTestLeaf leaf1;
    leaf1.m_value = 0x1234;
    CTestLeaf leaf2;
    leaf2.m_value = 5;
    uint32_t count = 5;
    ar.Count(count);
    ar.WriteObject(first.get());
    ar.WriteObject(second.get());
    ar.WriteObject(&leaf1);
    ar.WriteObject(&leaf2);
    ar.WriteObject(nullptr);
    return ar.Bytes();
}

// Reads what GoldenStream wrote; returns the archive's error.
int32_t ReadGolden(std::string_view data, std::vector<std::unique_ptr<CObject>>* objects) {
    CArchive ar = CArchive::ForLoading(data);
    uint32_t count = 0;
    ar.Count(count);
    if (!ar.CheckCount(count, 2))
        return ar.Error();
    for (uint32_t i = 0; i < count && ar.Ok(); ++i) {
        std::unique_ptr<CObject> object;
        ar.ReadObject(&object);
        objects->push_back(std::move(object));
    }
    return ar.Error();
}

TEST(ArchiveTest, GoldenBytesOfTaggedObjects) {
    ASSERT_TRUE(g_registered);
    const std::string expected =
        Bytes({0x05, 0x00,                                         // count
               0xFF, 0xFF, 0x01, 0x00, 0x09, 0x00}) +              // new class, schema 1
        "CTestNode" +                                              // class index 1
        Bytes({0x01, 0,    0,    0,    0x01, 'a',                  // object 2
               0x01, 0x80, 0x02, 0,    0,    0,   0x00,            // child: class 1, object 3
               0x00, 0x00,                                         // its null child
               0x01, 0x80, 0x03, 0,    0,    0,   0x02, 'b', 'c',  // object 4
               0x00, 0x00,                                         //
               0xFF, 0xFF, 0x02, 0x00, 0x09, 0x00}) +              // class index 5, schema 2
        "CTestLeaf" +
        Bytes({0x34, 0x12,              // object 6
               0x05, 0x80, 0x05, 0x00,  // class 5, object 7
               0x00, 0x00});            // null
    EXPECT_EQ(GoldenStream(), expected);

    std::vector<std::unique_ptr<CObject>> objects;
    ASSERT_EQ(ReadGolden(expected, &objects), AR_OK);
    ASSERT_EQ(objects.size(), 5u);
    auto* first = dynamic_cast<CTestNode*>(objects[0].get());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->m_value, 1u);
    EXPECT_EQ(first->m_text, "a");
    ASSERT_NE(first->m_child, nullptr);
    EXPECT_EQ(first->m_child->m_value, 2u);
    EXPECT_EQ(first->m_child->m_child, nullptr);
    auto* second = dynamic_cast<CTestNode*>(objects[1].get());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->m_text, "bc");
    auto* leaf = dynamic_cast<CTestLeaf*>(objects[3].get());
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->m_value, 5);
    EXPECT_EQ(objects[4], nullptr);
}

TEST(ArchiveTest, EveryCutOfTheStreamFailsCleanly) {
    const std::string full = GoldenStream();
    for (size_t len = 0; len < full.size(); ++len) {
        std::vector<std::unique_ptr<CObject>> objects;
        EXPECT_EQ(ReadGolden(std::string_view(full).substr(0, len), &objects), AR_END_OF_FILE)
            << "cut at " << len;
    }
}

TEST(ArchiveTest, StringAndCountForms) {
    struct Case {
        size_t length;
        std::string prefix;
    };
    const Case cases[] = {
        {0, Bytes({0x00})},
        {254, Bytes({0xFE})},
        {255, Bytes({0xFF, 0xFF, 0x00})},
        {300, Bytes({0xFF, 0x2C, 0x01})},
        {0xFFFD, Bytes({0xFF, 0xFD, 0xFF})},
        {0xFFFE, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
    };
    for (const Case& c : cases) {
        std::string text(c.length, 'x');
        CArchive out = CArchive::ForStoring();
        out.String(text);
        ASSERT_EQ(out.Bytes().size(), c.prefix.size() + c.length) << c.length;
        EXPECT_EQ(out.Bytes().substr(0, c.prefix.size()), c.prefix) << c.length;
        CArchive in = CArchive::ForLoading(out.Bytes());
        std::string back;
        in.String(back);
        EXPECT_TRUE(in.Ok());
        EXPECT_EQ(back, text);
        EXPECT_EQ(in.Remaining(), 0u);
    }
    const std::pair<uint32_t, std::string> counts[] = {
        {0, Bytes({0, 0})},
        {0xFFFE, Bytes({0xFE, 0xFF})},
        {0xFFFF, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0, 0})},
        {0x12345678, Bytes({0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12})},
    };
    for (const auto& [count, bytes] : counts) {
        CArchive out = CArchive::ForStoring();
        uint32_t c = count;
        out.Count(c);
        EXPECT_EQ(out.Bytes(), bytes);
        CArchive in = CArchive::ForLoading(out.Bytes());
        uint32_t back = 0;
        in.Count(back);
        EXPECT_EQ(back, count);
    }
    // Primitives are little-endian; reading past the end yields zero and a sticky error.
    CArchive out = CArchive::ForStoring();
    int32_t neg = -2;
    int16_t small = -3;
    out.I32(neg);
    out.I16(small);
    EXPECT_EQ(out.Bytes(), Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFD, 0xFF}));
    CArchive in = CArchive::ForLoading(out.Bytes());
    int32_t a = 0;
    uint32_t b = 99;
    in.I32(a);
    EXPECT_EQ(a, -2);
    in.U32(b);
    EXPECT_EQ(b, 0u);
    EXPECT_EQ(in.Error(), AR_END_OF_FILE);
    int16_t c = 7;
    in.I16(c);  // the remaining two bytes are not read after an error
    EXPECT_EQ(c, 0);
}

TEST(ArchiveTest, DamagedInputIsRefusedWithTheRightCause) {
    auto readOne = [](const std::string& data, const char* expected = nullptr) {
        CArchive ar = CArchive::ForLoading(data);
        std::unique_ptr<CObject> object;
        ar.ReadObject(&object, expected);
        EXPECT_TRUE(ar.Ok() || object == nullptr);
        return ar.Error();
    };
    const std::string node = Bytes({0xFF, 0xFF, 0x01, 0x00, 0x09, 0x00}) + "CTestNode";
    const std::string nodeFields = Bytes({1, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(readOne(node + nodeFields), AR_OK);
    EXPECT_EQ(readOne(node + nodeFields, "CTestLeaf"), AR_BAD_CLASS);
    EXPECT_EQ(readOne(Bytes({0xFF, 0xFF, 0x01, 0x00, 0x07, 0x00}) + "CNobody"), AR_BAD_CLASS);
    EXPECT_EQ(readOne(Bytes({0xFF, 0xFF, 0x02, 0x00, 0x09, 0x00}) + "CTestNode"), AR_BAD_SCHEMA);
    EXPECT_EQ(readOne(Bytes({0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00})), AR_BAD_CLASS);
    EXPECT_EQ(readOne(Bytes({0xFF, 0xFF, 0x01, 0x00, 0x00, 0x10})), AR_BAD_CLASS);
    EXPECT_EQ(readOne(Bytes({0xFF, 0xFF, 0x01, 0x00, 0x30, 0x00}) + "CT"), AR_END_OF_FILE);
    // A class tag naming no class read before, or naming the object slot.
    EXPECT_EQ(readOne(Bytes({0x01, 0x80})), AR_BAD_INDEX);
    EXPECT_EQ(readOne(Bytes({0x00, 0x80})), AR_BAD_INDEX);
    EXPECT_EQ(readOne(Bytes({0xFF, 0x7F, 0x05, 0x00, 0x00, 0x80})), AR_BAD_INDEX);
    // The child of the first node claims to be object 2, i.e. itself read before.
    EXPECT_EQ(readOne(node + Bytes({1, 0, 0, 0, 0, 0x02, 0x00})), AR_BAD_INDEX);
    // The child tag names class index 2, which is the first node object, not a class.
    EXPECT_EQ(readOne(node + Bytes({1, 0, 0, 0, 0, 0x02, 0x80})), AR_BAD_INDEX);
    EXPECT_EQ(readOne(std::string()), AR_END_OF_FILE);

    // A string or count claiming more than the data holds allocates nothing.
    const std::string hugeString = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'});
    CArchive ar = CArchive::ForLoading(hugeString);
    std::string s;
    ar.String(s);
    EXPECT_EQ(ar.Error(), AR_END_OF_FILE);
    EXPECT_TRUE(s.empty());
    const std::string hugeCount = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0, 0});
    CArchive counted = CArchive::ForLoading(hugeCount);
    uint32_t count = 0;
    counted.Count(count);
    EXPECT_EQ(count, 0x0FFFFFFFu);
    EXPECT_FALSE(counted.CheckCount(count, 2));
    EXPECT_EQ(counted.Error(), AR_END_OF_FILE);
    const std::string four = Bytes({1, 2, 3, 4});
    CArchive fits = CArchive::ForLoading(four);
    EXPECT_TRUE(fits.CheckCount(2, 2));
    EXPECT_FALSE(fits.CheckCount(3, 2));

    // A 32-bit count: negative, more than the rest can hold, fitting, and cut short.
    int32_t items = 0;
    const std::string negative = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0, 0});
    CArchive below = CArchive::ForLoading(negative);
    EXPECT_FALSE(below.LoadCount(items, 1));
    EXPECT_EQ(below.Error(), AR_GENERIC);
    const std::string three = Bytes({3, 0, 0, 0, 0, 0, 0, 0, 0});
    CArchive over = CArchive::ForLoading(three);
    EXPECT_FALSE(over.LoadCount(items, 2));
    EXPECT_EQ(over.Error(), AR_END_OF_FILE);
    CArchive room = CArchive::ForLoading(three);
    EXPECT_TRUE(room.LoadCount(items, 1));
    EXPECT_EQ(items, 3);
    const std::string cut = Bytes({3, 0});
    CArchive shortCount = CArchive::ForLoading(cut);
    EXPECT_FALSE(shortCount.LoadCount(items, 1));
    EXPECT_EQ(shortCount.Error(), AR_END_OF_FILE);
}

TEST(ArchiveTest, IndexesAboveTheShortTagUseTheLongForm) {
    // 0x7FFF leaves bring the index past the short tags; a class met after that is written
    // with the long class tag the second time.
    std::vector<CTestLeaf> leaves(0x7FFF);
    auto late1 = Node(7, "late");
    auto late2 = Node(8, "");
    CArchive out = CArchive::ForStoring();
    for (CTestLeaf& leaf : leaves)
        out.WriteObject(&leaf);
    out.WriteObject(late1.get());  // new class at index 0x8001
    out.WriteObject(late2.get());
    out.WriteObject(late1.get());  // a reference to an object with a long index
    const std::string& bytes = out.Bytes();
    // late2's tag: 0x7FFF then 0x80000000 | 0x8001.
    size_t late2Tag = 6 + 9 + 2 + 0x7FFE * 4 + 6 + 9 + 4 + 5 + 2;
    ASSERT_GT(bytes.size(), late2Tag + 6);
    EXPECT_EQ(bytes.substr(late2Tag, 6), Bytes({0xFF, 0x7F, 0x01, 0x80, 0x00, 0x80}));
    EXPECT_EQ(bytes.substr(bytes.size() - 6), Bytes({0xFF, 0x7F, 0x02, 0x80, 0x00, 0x00}));

    CArchive in = CArchive::ForLoading(bytes);
    std::unique_ptr<CObject> object;
    for (size_t i = 0; i < leaves.size(); ++i)
        in.ReadObject(&object, "CTestLeaf");
    in.ReadObject(&object, "CTestNode");
    in.ReadObject(&object, "CTestNode");
    ASSERT_TRUE(in.Ok());
    EXPECT_EQ(static_cast<CTestNode*>(object.get())->m_value, 8u);
    // Shared references are refused when reading.
    in.ReadObject(&object);
    EXPECT_EQ(in.Error(), AR_BAD_INDEX);
    EXPECT_EQ(object, nullptr);
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(ArchiveTest, NestingDepthIsBounded) {
    auto chain = [](int depth) {
        std::unique_ptr<CTestNode> node;
        for (int i = 0; i < depth; ++i)
            node = Node(static_cast<uint32_t>(i), "", std::move(node));
        CArchive out = CArchive::ForStoring();
        out.WriteObject(node.get());
        return out.Bytes();
    };
    for (int depth : {CArchive::MAX_OBJECT_DEPTH, CArchive::MAX_OBJECT_DEPTH + 1}) {
        std::string bytes = chain(depth);
        CArchive in = CArchive::ForLoading(bytes);
        std::unique_ptr<CObject> object;
        in.ReadObject(&object);
        EXPECT_EQ(in.Error(), depth > CArchive::MAX_OBJECT_DEPTH ? AR_GENERIC : AR_OK) << depth;
        EXPECT_EQ(object != nullptr, in.Ok());
    }
}

// Collects what a storing archive passes on, in the pieces it passes them; fails every
// write once `failAfter` bytes have been taken.
class CPieceSink : public CArchiveSink {
public:
    bool Write(const void* data, size_t size) override {
        if (m_bytes.size() + size > m_failAfter)
            return false;
        m_bytes.append(static_cast<const char*>(data), size);
        m_largest = std::max(m_largest, size);
        return true;
    }
    std::string m_bytes;
    size_t m_largest = 0;
    size_t m_failAfter = SIZE_MAX;
};

// Hands out `data` in pieces of 1, 2, ... 13 bytes in turn, and only the first `available`
// bytes of it while still announcing the whole size (a file that could not be read to
// its end).
class CPieceSource : public CArchiveSource {
public:
    explicit CPieceSource(std::string_view data, size_t available = SIZE_MAX)
        : m_data(data), m_available(std::min(available, data.size())) {}
    uint64_t Size() const override { return m_data.size(); }
    size_t Read(void* dst, size_t size) override {
        const size_t n = std::min({size, m_available - m_pos, m_next});
        std::memcpy(dst, m_data.data() + m_pos, n);
        m_pos += n;
        m_next = m_next % 13 + 1;
        return n;
    }

private:
    std::string_view m_data;
    size_t m_available;
    size_t m_pos = 0;
    size_t m_next = 1;
};

// Nodes with texts short, long and longer than the archive's buffer.
std::vector<std::unique_ptr<CTestNode>> BigNodes() {
    std::vector<std::unique_ptr<CTestNode>> nodes;
    for (uint32_t i = 0; i < 40; ++i) {
        const size_t length = i % 10 == 3 ? CArchive::BUFFER_SIZE + 17 * i : 300 * i;
        nodes.push_back(Node(i, std::string(length, static_cast<char>('a' + i % 26)),
                             i % 3 == 0 ? Node(i + 100, "child") : nullptr));
    }
    return nodes;
}

void StoreNodes(CArchive& ar, const std::vector<std::unique_ptr<CTestNode>>& nodes) {
    uint32_t count = static_cast<uint32_t>(nodes.size());
    ar.Count(count);
    for (const auto& node : nodes)
        ar.WriteObject(node.get());
}

TEST(ArchiveTest, StreamingWritesAndReadsTheSameBytesAsInMemory) {
    const auto nodes = BigNodes();
    CArchive memory = CArchive::ForStoring();
    StoreNodes(memory, nodes);
    CPieceSink sink;
    CArchive streamed = CArchive::ForStoring(sink);
    StoreNodes(streamed, nodes);
    EXPECT_EQ(streamed.Position(), memory.Bytes().size());
    ASSERT_TRUE(streamed.Flush());
    EXPECT_EQ(sink.m_bytes, memory.Bytes());
    EXPECT_GT(sink.m_bytes.size(), 6 * CArchive::BUFFER_SIZE);
    EXPECT_LE(sink.m_largest, CArchive::BUFFER_SIZE + 17 * 40);  // buffered, or one text

    CPieceSource source(sink.m_bytes);
    CArchive in = CArchive::ForLoading(source);
    uint32_t count = 0;
    in.Count(count);
    ASSERT_EQ(count, nodes.size());
    for (uint32_t i = 0; i < count; ++i) {
        std::unique_ptr<CObject> object;
        in.ReadObject(&object, "CTestNode");
        ASSERT_TRUE(in.Ok()) << i;
        auto* node = static_cast<CTestNode*>(object.get());
        EXPECT_EQ(node->m_value, nodes[i]->m_value);
        EXPECT_EQ(node->m_text, nodes[i]->m_text);
        EXPECT_EQ(node->m_child != nullptr, nodes[i]->m_child != nullptr);
    }
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(in.Position(), sink.m_bytes.size());

    // The golden stream read through a source cut anywhere fails as the cut bytes do.
    const std::string golden = GoldenStream();
    for (size_t len = 0; len <= golden.size(); ++len) {
        CPieceSource cut(golden, len);
        CArchive ar = CArchive::ForLoading(cut);
        uint32_t n = 0;
        ar.Count(n);
        for (uint32_t i = 0; i < n && ar.Ok(); ++i) {
            std::unique_ptr<CObject> object;
            ar.ReadObject(&object);
        }
        EXPECT_EQ(ar.Error(), len == golden.size() ? AR_OK : AR_END_OF_FILE) << len;
    }
}

TEST(ArchiveTest, SinkFailureStopsTheStreamWithAnError) {
    const auto nodes = BigNodes();
    for (size_t failAfter : {size_t{0}, size_t{100}, CArchive::BUFFER_SIZE + 5}) {
        CPieceSink sink;
        sink.m_failAfter = failAfter;
        CArchive ar = CArchive::ForStoring(sink);
        StoreNodes(ar, nodes);
        EXPECT_FALSE(ar.Flush()) << failAfter;
        EXPECT_EQ(ar.Error(), AR_GENERIC);
        EXPECT_LE(sink.m_bytes.size(), failAfter);
    }
    // A long text read through a source is checked against the announced size first.
    const std::string bytes = Bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00, 'x'});
    CPieceSource source(bytes);
    CArchive in = CArchive::ForLoading(source);
    std::string text = "old";
    in.String(text);
    EXPECT_EQ(in.Error(), AR_END_OF_FILE);
    EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace platform

//===- CorpusTest.cpp - Checked-in stream files read back by every build ---===//
//
// tests/data/stream/ holds streams written by earlier builds. Each must still
// read back to the same values, and writing the same values now must give
// the same bytes: the format can never change by accident. To add a file,
// add a case here and run the test with KTU_WRITE_STREAM_CORPUS=1 once.
//
//===----------------------------------------------------------------------===//
#include "StreamTestUtil.h"

#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUBlowfishFilter.h>
#include <ktutil/KtUChecksum.h>
#include <ktutil/KtUStreamExtData.h>
#include <ktutil/KtUStreamFormat.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUWideString.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ktu::test::Modes;
using ktu::test::Reader;
using ktu::test::StreamTest;
using ktu::test::Write;

std::string CorpusPath(const std::string& name) {
    return std::string(KTU_TEST_DATA_DIR) + "/stream/" + name;
}

void WriteValues(KtUWriteStream& out) {
    out.WriteInt8(-2);
    out.WriteNat8(0xab);
    out.WriteInt16(-12345);
    out.WriteNat16(0xbeef);
    out.WriteInt32(-123456789);
    out.WriteNat32(0xdeadbeef);
    out.WriteNat64(0x0123456789abcdefull);
    out.WriteTime(1700000000);
    out.WriteSingle(3.14159274f);
    out.WriteDouble(2.718281828459045);
    out.WriteFloat(-0.5);
    out.WriteBoolean(1);
    out.WriteEnum(7);
    out.WriteBitfield(0x81);
    out.WriteString("plain \"quoted\" \\ text");
    out.WriteString(static_cast<const char*>(nullptr));
    out.WriteWideString(u"d\u00e9j\u00e0 \u6771\u4eac");
    const unsigned char nat8[] = {1, 2, 3, 250, 251, 252, 253, 254, 255, 0,
                                  9, 8, 7, 6,   5,   4,   3,   2,   1,   0};
    out.WriteNat8Array(nat8, 20);
    const short int16[] = {-1, 2, -3, 4};
    out.WriteInt16Array(int16, 4);
    const unsigned short nat16[] = {0xffff, 0};
    out.WriteNat16Array(nat16, 2);
    const int int32[] = {1, -1, 2147483647, -2147483647 - 1, 0, 6, 7};
    out.WriteInt32Array(int32, 7);
    const unsigned nat32[] = {0, 0xffffffffu, 0x12345678u};
    out.WriteNat32Array(nat32, 3);
    const KtUNat64 nat64[] = {0, ~0ull, 1ull << 63, 42, 43};
    out.WriteNat64Array(nat64, 5);
    const float singles[] = {0.5f, -1e-20f, 1e20f};
    out.WriteSingleArray(singles, 3);
    const double doubles[] = {0.1, -1e300, 5e-324, 4};
    out.WriteDoubleArray(doubles, 4);
    out.WriteFloatArray(doubles, 4);
    out.BeginBits();
    out.WriteBits(5, 3);
    out.WriteBits(0x12345, 20);
    out.WriteBits(0xffffffffu, 32);
    out.EndBits();
}

void CheckValues(KtUReadStream& in) {
    EXPECT_EQ(in.ReadInt8(), -2);
    EXPECT_EQ(in.ReadNat8(), 0xab);
    EXPECT_EQ(in.ReadInt16(), -12345);
    EXPECT_EQ(in.ReadNat16(), 0xbeef);
    EXPECT_EQ(in.ReadInt32(), -123456789);
    EXPECT_EQ(in.ReadNat32(), 0xdeadbeefu);
    EXPECT_EQ(in.ReadNat64(), 0x0123456789abcdefull);
    EXPECT_EQ(in.ReadTime(), 1700000000);
    EXPECT_FLOAT_EQ(in.ReadSingle(), 3.14159274f);
    EXPECT_EQ(in.ReadDouble(), 2.718281828459045);
    EXPECT_EQ(in.ReadFloat(), -0.5);
    EXPECT_EQ(in.ReadBoolean(), 1);
    EXPECT_EQ(in.ReadEnum(), 7u);
    EXPECT_EQ(in.ReadBitfield(), 0x81u);
    EXPECT_STREQ(in.ReadStringUsingTempBuffer(), "plain \"quoted\" \\ text");
    EXPECT_EQ(in.ReadStringUsingTempBuffer(), nullptr);
    KtUWideString wide;
    in.ReadWideString(&wide);
    ASSERT_FALSE(wide.IsNull());
    EXPECT_EQ(std::u16string(wide.GetString()), u"d\u00e9j\u00e0 \u6771\u4eac");
    unsigned char nat8[20];
    in.ReadNat8Array(nat8, 20);
    EXPECT_EQ(nat8[3], 250);
    EXPECT_EQ(nat8[19], 0);
    short int16[4];
    in.ReadInt16Array(int16, 4);
    EXPECT_EQ(int16[2], -3);
    unsigned short nat16[2];
    in.ReadNat16Array(nat16, 2);
    EXPECT_EQ(nat16[0], 0xffff);
    int int32[7];
    in.ReadInt32Array(int32, 7);
    EXPECT_EQ(int32[3], -2147483647 - 1);
    EXPECT_EQ(int32[6], 7);
    unsigned nat32[3];
    in.ReadNat32Array(nat32, 3);
    EXPECT_EQ(nat32[2], 0x12345678u);
    KtUNat64 nat64[5];
    in.ReadNat64Array(nat64, 5);
    EXPECT_EQ(nat64[2], 1ull << 63);
    float singles[3];
    in.ReadSingleArray(singles, 3);
    EXPECT_FLOAT_EQ(singles[2], 1e20f);
    double doubles[4];
    in.ReadDoubleArray(doubles, 4);
    EXPECT_EQ(doubles[2], 5e-324);
    in.ReadFloatArray(doubles, 4);
    EXPECT_EQ(doubles[3], 4);
    in.BeginBits();
    EXPECT_EQ(in.ReadBits(3), 5u);
    EXPECT_EQ(in.ReadBits(20), 0x12345u);
    EXPECT_EQ(in.ReadBits(32), 0xffffffffu);
    EXPECT_EQ(in.EndBits(), 2);
}

struct Node {
    int value = 0;
    Node* left = nullptr;
    Node* right = nullptr;
};
std::vector<Node*> g_nodes;

int WriteNode(KtUWriteStream* s, int, const void* object) {
    auto* n = static_cast<const Node*>(object);
    s->WriteInt32(n->value);
    s->WriteObject(n->left, 0);
    s->WriteObject(n->right, 0);
    return 1;
}
void* CreateNode(KtUReadStream*, int) {
    g_nodes.push_back(new Node);
    return g_nodes.back();
}
int ReadNode(KtUReadStream* s, int, void* object) {
    auto* n = static_cast<Node*>(object);
    n->value = s->ReadInt32();
    n->left = static_cast<Node*>(s->ReadObject());
    n->right = static_cast<Node*>(s->ReadObject());
    return 1;
}

KtUStreamFormat& NodeFormat() {
    static KtUStreamFormat format = [] {
        KtUStreamFormat f("nodes", 0);
        f.SetNumEntries(1);
        f.SetEntry(0, WriteNode, CreateNode, ReadNode, "Node", -1);
        return f;
    }();
    return format;
}

// A diamond: the root's two children share one grandchild.
void WriteGraph(KtUWriteStream& out) {
    static Node shared{3, nullptr, nullptr}, a{1, &shared, nullptr}, b{2, nullptr, &shared},
        root{0, &a, &b};
    out.WriteObject(&root, 0);
    out.WriteObject(&shared, 0);
}
void CheckGraph(KtUReadStream& in) {
    auto* root = static_cast<Node*>(in.ReadObject());
    ASSERT_NE(root, nullptr);
    ASSERT_TRUE(root->left && root->right);
    EXPECT_EQ(root->left->value + root->right->value, 3);
    EXPECT_EQ(root->left->left, root->right->right);
    EXPECT_EQ(in.ReadObject(), root->left->left);
}

// Values and, after them, the Adler-32 of the same values as KtUChecksum
// adds them: the bytes each Add call contributes are part of the format the
// chunk files will rely on.
unsigned ChecksumOfValues() {
    KtUChecksum sum;
    sum.AddInt32(-123456789);
    sum.AddNat16(0xbeef);
    sum.AddNat64(0x0123456789abcdefull);
    sum.AddDouble(2.718281828459045);
    sum.AddSingle(0.5f);
    sum.AddString("plain");
    sum.AddString(static_cast<const char*>(nullptr));
    sum.AddWideString(u"d\u00e9j\u00e0");
    const double doubles[] = {0.1, -1e300};
    sum.AddDoubleArray(doubles, 2);
    return sum.End();
}
void WriteChecksummed(KtUWriteStream& out) {
    WriteValues(out);
    out.WriteNat32(ChecksumOfValues());
}
void CheckChecksummed(KtUReadStream& in) {
    CheckValues(in);
    EXPECT_EQ(in.ReadNat32(), ChecksumOfValues());
}

struct CorpusCase {
    const char* file;
    Modes modes;
    void (*write)(KtUWriteStream&);
    void (*check)(KtUReadStream&);
    bool objects;
    bool enciphered = false;
};

const CorpusCase kCases[] = {
    {"values-binary-release.ktu", {0, 0, 1}, WriteValues, CheckValues, false},
    {"values-binary-debug-single.ktu", {0, 1, 0}, WriteValues, CheckValues, false},
    {"values-text-release-single.ktu", {1, 0, 0}, WriteValues, CheckValues, false},
    {"values-text-debug.ktu", {1, 1, 1}, WriteValues, CheckValues, false},
    {"graph-binary-debug.ktu", {0, 1, 1}, WriteGraph, CheckGraph, true},
    {"graph-text-release.ktu", {1, 0, 1}, WriteGraph, CheckGraph, true},
    {"enciphered-binary-debug.ktu", {0, 1, 1}, WriteValues, CheckValues, false, true},
    {"enciphered-binary-release.ktu", {0, 0, 1}, WriteGraph, CheckGraph, true, true},
    {"checksummed-binary-release.ktu", {0, 0, 1}, WriteChecksummed, CheckChecksummed, false},
};

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST_F(StreamTest, CheckedInStreamsReadBackAndWriteTheSameBytes) {
    const bool regenerate = std::getenv("KTU_WRITE_STREAM_CORPUS") != nullptr;
    for (const CorpusCase& c : kCases) {
        SCOPED_TRACE(c.file);
        KtUBlowfishFilter cipher(KtUBlowfishFilter::GetChunkKey());
        std::string now = Write(c.modes, c.write, 1, 0, [&](KtUWriteStream& out) {
            if (c.objects) out.SetFormat(&NodeFormat());
            if (c.enciphered) out.AddActiveFilter(&cipher);
        });
        if (regenerate) std::ofstream(CorpusPath(c.file), std::ios::binary) << now;
        const std::string stored = ReadFile(CorpusPath(c.file));
        ASSERT_FALSE(stored.empty()) << "missing " << CorpusPath(c.file);
        EXPECT_EQ(now, stored) << "the encoding changed";
        Reader r(stored);
        r.in.AddAvailableFormat(&NodeFormat());
        r.in.AddAvailableFilter(&cipher);
        ASSERT_TRUE(r.in.Begin(1, 0));
        EXPECT_EQ(r.in.IsAscii(), c.modes.ascii);
        EXPECT_EQ(r.in.IsDebug(), c.modes.debug);
        EXPECT_EQ(r.in.IsDouble(), c.modes.dbl);
        EXPECT_EQ(r.in.GetNumActiveFilters(), c.enciphered ? 1 : 0);
        c.check(r.in);
        EXPECT_TRUE(r.in.End(1)) << r.in.GetError();
        if (c.enciphered) {
            // The same file read with another key fails its record checks.
            KtUBlowfishFilter wrong("not the key");
            Reader other(stored);
            other.in.AddAvailableFormat(&NodeFormat());
            other.in.AddAvailableFilter(&wrong);
            if (other.in.Begin(1, 0)) {
                other.in.ReadInt8();
                EXPECT_FALSE(other.in.End(1));
            }
            EXPECT_EQ(other.in.GetError(), KtUStream::eREAD_LOCK_FAILED);
        }
    }
    for (Node* n : g_nodes)
        delete n;
    g_nodes.clear();
}

} // namespace

namespace {

// A class the reading program lacks: a node with a tag. The file must still
// be read through Node, and written back from the preserved data unchanged.
struct Tagged : Node {
    std::string tag;
};
int WriteTagged(KtUWriteStream* s, int entry, const void* object) {
    WriteNode(s, entry, object);
    s->WriteString(static_cast<const Tagged*>(object)->tag.c_str());
    return 1;
}

TEST_F(StreamTest, CheckedInStreamWithAnUnknownClassReadsThroughItsAncestor) {
    KtUStreamFormat full("nodes", 1);
    full.SetNumEntries(2);
    full.SetEntry(0, WriteNode, CreateNode, ReadNode, "Node", -1);
    full.SetEntry(1, WriteTagged, CreateNode, ReadNode, "Tagged", 0);
    KtUStreamFormat old("nodes", 1);
    old.SetNumEntries(1);
    old.SetEntry(0, WriteNode, CreateNode, ReadNode, "Node", -1);

    Tagged tagged;
    tagged.value = 5;
    tagged.tag = "left wing";
    Node root{1, &tagged, nullptr};
    auto write = [&](KtUWriteStream& out) {
        out.WriteObject(&tagged, 1);
        out.WriteObject(&root, 0); // refers to the tagged node
    };
    const char* file = "unknown-class-binary-debug.ktu";
    std::string now =
        Write({0, 1, 1}, write, 1, 1, [&](KtUWriteStream& out) { out.SetFormat(&full); });
    if (std::getenv("KTU_WRITE_STREAM_CORPUS"))
        std::ofstream(CorpusPath(file), std::ios::binary) << now;
    const std::string stored = ReadFile(CorpusPath(file));
    ASSERT_FALSE(stored.empty()) << "missing " << CorpusPath(file);
    EXPECT_EQ(now, stored) << "the encoding changed";

    Reader r(stored);
    r.in.AddAvailableFormat(&old);
    ASSERT_TRUE(r.in.Begin(1, 1));
    KtUStreamExtData* ext = nullptr;
    int entry = -1;
    auto* node = static_cast<Node*>(r.in.ReadObjectExt(&entry, &ext));
    KtUAutoRefPtr<KtUStreamExtData> keep(ext);
    ASSERT_NE(node, nullptr);
    ASSERT_NE(ext, nullptr);
    EXPECT_EQ(entry, 0);
    EXPECT_EQ(node->value, 5);
    auto* back_root = static_cast<Node*>(r.in.ReadObject());
    ASSERT_NE(back_root, nullptr);
    EXPECT_EQ(back_root->left, node);
    EXPECT_TRUE(r.in.End(1)) << r.in.GetError();

    std::string rewritten = Write(
        {0, 1, 1},
        [&](KtUWriteStream& out) {
            out.WriteObjectExt(node, 0, ext);
            out.WriteObject(back_root, 0);
        },
        1, 1, [&](KtUWriteStream& out) { out.SetFormat(r.in.GetExtendedFormat()); });
    EXPECT_EQ(rewritten, stored);
    for (Node* n : g_nodes)
        delete n;
    g_nodes.clear();
}

} // namespace

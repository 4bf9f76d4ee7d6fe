//===- stream_reader_fuzzer.cpp - Fuzzes the typed stream reader ----------===//
//
// The input is the body of a debug stream after a fixed header (binary or
// text, chosen at build time). Reading it must end in a clean error state or
// a clean end: never a crash, a hang or an allocation that grows with a
// count the data claims. Each input is read twice: copied value by value
// into another stream, and through typed reads and objects.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStream.h>
#include <ktutil/KtUStreamBuffer.h>
#include <ktutil/KtUStreamExtData.h>
#include <ktutil/KtUStreamFormat.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUWriteStream.h>

#include <cstdint>
#include <cstring>
#include <string>

#ifndef KTU_FUZZ_TEXT
#define KTU_FUZZ_TEXT 0
#endif

namespace {

struct Node {
    int value;
    void* link;
};

int WriteNode(KtUWriteStream* s, int, const void* object) {
    s->WriteInt32(static_cast<const Node*>(object)->value);
    return 1;
}
void* CreateNode(KtUReadStream*, int) {
    return new Node{0, nullptr};
}
int ReadNode(KtUReadStream* s, int, void* object) {
    auto* n = static_cast<Node*>(object);
    n->value = s->ReadInt32();
    n->link = s->ReadObject();
    return 1;
}
int DisposeNode(KtUReadStream*, int, void* object) {
    delete static_cast<Node*>(object);
    return 1;
}

KtUStreamFormat g_format("nodes", 1);

std::string Header() {
    std::string h = KTU_FUZZ_TEXT ? "#KtUStream-V1.1 ascii double debug utf8 nodes\n  Sync\n"
                                  : "#KtUStream-V1.1 binary double debug utf8 nodes\n";
    if (!KTU_FUZZ_TEXT) {
        while (h.size() % 4)
            h.push_back('\0'); // the Sync token is a 32-bit value
        h.append("\x01\0\0\0", 4);
        while (h.size() % 8)
            h.push_back('\0');
    }
    return h;
}

void Read(const std::string& bytes, bool copy) {
    KtUStreamBuffer buffer;
    buffer.SetBuffer(reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
                     static_cast<int>(bytes.size()), KtUStreamBuffer::eCOPY);
    KtUReadStream in(&buffer);
    in.AddAvailableFormat(&g_format);
    if (!in.Begin(1, 1)) return;
    if (copy) {
        KtUStreamBuffer out_buffer;
        KtUWriteStream out(&out_buffer);
        out.SetDebug(1);
        out.SetAscii(!KTU_FUZZ_TEXT);
        out.SetFormat(in.GetCurrentReadFormat());
        if (out.Begin(1, 0)) {
            in.CopyDebugToEnd(&out);
            out.End();
        } else {
            in.End(0);
        }
        return;
    }
    double values[8];
    for (int round = 0; round < 64 && !in.IsError(); ++round) {
        KtUStreamExtData* ext = nullptr;
        int entry;
        in.ReadObjectExt(&entry, &ext);
        if (ext) {
            ext->Ref();
            ext->Unref();
        }
        in.ReadInt32();
        in.ReadStringUsingTempBuffer();
        in.ReadWideStringUsingTempBuffer();
        in.ReadDoubleArray(values, 8);
        in.BeginBits();
        in.ReadBits(7);
        in.ReadBits(32);
    }
    in.End(1);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KtUStream::Initialise();
    g_format.SetNumEntries(2);
    g_format.SetEntry(0, WriteNode, CreateNode, ReadNode, "Node", -1);
    g_format.SetEntry(1, WriteNode, CreateNode, ReadNode, "Leaf", 0);
    g_format.EditEntry(0)->SetDisposeMethod(DisposeNode);
    g_format.EditEntry(1)->SetDisposeMethod(DisposeNode);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes = Header();
    bytes.append(reinterpret_cast<const char*>(data), size);
    Read(bytes, true);
    Read(bytes, false);
    return 0;
}

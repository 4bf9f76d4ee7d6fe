//===- ErrorIdTest.cpp - Every stream error id, provoked ------------------===//
#include "StreamTestUtil.h"

#include <ktutil/KtUBlowfishFilter.h>
#include <ktutil/KtUStreamFormat.h>

#include <cstring>
#include <string>

namespace {

using ktu::test::Modes;
using ktu::test::Reader;
using ktu::test::StreamTest;
using ktu::test::Write;

/// A memory sink whose operations can be made to fail, or to hand out
/// misaligned regions.
class FaultySink : public KtUStreamBuffer {
public:
    enum Fault {
        eNONE,
        eWRITE_PROCESS,
        eFLUSH,
        eWRITE_END,
        eREAD_LOCK,
        eREAD_PROCESS,
        eREAD_END,
        eMISALIGN
    };
    Fault fault = eNONE;

    int WriteLock(unsigned char** region, int* size) override {
        int ok = KtUStreamBuffer::WriteLock(region, size);
        if (ok && fault == eMISALIGN) {
            ++*region;
            --*size;
        }
        return ok;
    }
    int WriteProcess(int n) override {
        return fault == eWRITE_PROCESS ? 0 : KtUStreamBuffer::WriteProcess(n);
    }
    int WriteFlush() override { return fault == eFLUSH ? 0 : KtUStreamBuffer::WriteFlush(); }
    int WriteEnd() override { return fault == eWRITE_END ? 0 : KtUStreamBuffer::WriteEnd(); }
    int ReadLock(const unsigned char** region, int* size) override {
        if (fault == eREAD_LOCK) return 0;
        int ok = KtUStreamBuffer::ReadLock(region, size);
        if (ok && fault == eMISALIGN && *size > 1) {
            ++*region;
            --*size;
        }
        return ok;
    }
    int ReadProcess(int n) override {
        return fault == eREAD_PROCESS ? 0 : KtUStreamBuffer::ReadProcess(n);
    }
    int ReadEnd() override { return fault == eREAD_END ? 0 : KtUStreamBuffer::ReadEnd(); }
};

TEST_F(StreamTest, SinkFailuresGiveTheirIds) {
    struct Case {
        FaultySink::Fault fault;
        KtUStream::ErrorId write, read;
    };
    const Case cases[] = {
        {FaultySink::eWRITE_PROCESS, KtUStream::eWRITE_PROCESS_FAILED, KtUStream::eNO_ERROR},
        {FaultySink::eFLUSH, KtUStream::eFLUSH_FAILED, KtUStream::eNO_ERROR},
        {FaultySink::eWRITE_END, KtUStream::eWRITE_END_FAILED, KtUStream::eNO_ERROR},
        {FaultySink::eMISALIGN, KtUStream::eNOT_ALIGNED, KtUStream::eNOT_ALIGNED},
        {FaultySink::eREAD_LOCK, KtUStream::eNO_ERROR, KtUStream::eREAD_LOCK_FAILED},
        {FaultySink::eREAD_PROCESS, KtUStream::eNO_ERROR, KtUStream::eREAD_PROCESS_FAILED},
        {FaultySink::eREAD_END, KtUStream::eNO_ERROR, KtUStream::eREAD_END_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        FaultySink sink;
        KtUWriteStream out(&sink);
        const bool write_fault = c.write != KtUStream::eNO_ERROR;
        if (write_fault) sink.fault = c.fault;
        if (out.Begin(1, 0)) {
            out.WriteInt32(1);
            out.End();
        }
        EXPECT_EQ(out.GetError(), c.write);
        if (write_fault && c.fault != FaultySink::eMISALIGN) continue;

        // Reading: a stream written cleanly, read through the fault.
        std::string bytes = Write({}, [](KtUWriteStream& w) { w.WriteInt32(1); });
        FaultySink source;
        source.SetBuffer(reinterpret_cast<unsigned char*>(bytes.data()),
                         static_cast<int>(bytes.size()), KtUStreamBuffer::eCOPY);
        source.fault = c.fault;
        KtUReadStream in(&source);
        if (in.Begin(1, 0)) {
            in.ReadInt32();
            in.End(1);
        }
        EXPECT_EQ(in.GetError(), c.read);
    }
}

TEST_F(StreamTest, AnUnkeyedCipherRefusesToBegin) {
    KtUBlowfishFilter unkeyed;
    KtUStreamBuffer sink;
    KtUWriteStream out(&sink);
    out.AddActiveFilter(&unkeyed);
    EXPECT_FALSE(out.Begin(1, 0));
    EXPECT_EQ(out.GetError(), KtUStream::eWRITE_BEGIN_FAILED);
}

struct Thing {
    int entry;
};
Thing g_thing{0};
int WriteThing(KtUWriteStream* s, int, const void*) {
    s->WriteInt32(7);
    return 1;
}
void* CreateThing(KtUReadStream*, int) {
    return &g_thing;
}
void* CreateNothing(KtUReadStream*, int) {
    return nullptr;
}
int ReadThing(KtUReadStream* s, int, void*) {
    return s->ReadInt32() == 7;
}
int ReadFails(KtUReadStream* s, int, void*) {
    s->ReadInt32();
    return 0;
}

// Streams whose objects or extension tables the reader cannot accept.
TEST_F(StreamTest, ObjectAndExtensionErrorsGiveTheirIds) {
    KtUStreamFormat writer("things", 1);
    writer.SetNumEntries(3);
    writer.SetEntry(0, WriteThing, CreateThing, ReadThing, "Root", -1);
    writer.SetEntry(1, WriteThing, CreateThing, ReadThing, "Other", -1);
    writer.SetEntry(2, WriteThing, CreateThing, ReadThing, "Derived", 0);
    Thing a{0}, b{1};
    auto use = [&](KtUWriteStream& out) { out.SetFormat(&writer); };
    const std::string two = Write(
        {0, 1, 1},
        [&](KtUWriteStream& out) {
            out.WriteObject(&a, 0);
            out.WriteObject(&b, 1);
        },
        1, 1, use);

    struct Case {
        const char* name;
        std::string bytes;
        std::function<void(KtUStreamFormat&)> reader_format;
        std::function<void(KtUReadStream&)> read;
        KtUStream::ErrorId error;
    };
    auto read_two = [](KtUReadStream& in) {
        in.ReadObject();
        in.ReadObject();
    };
    auto same = [&](KtUStreamFormat& f) { f = writer; };
    // The extension row (2, "Derived", 0): the name, one byte of padding, the
    // parent's Int32 token and the parent. A parent of 2 is not below 2.
    std::string bad_row = two;
    bad_row[bad_row.find("Derived") + 8 + 4] = 2;
    const Case cases[] = {
        {"create fails", two,
         [&](KtUStreamFormat& f) {
             same(f);
             f.SetEntry(1, WriteThing, CreateNothing, ReadThing, "Other", -1);
         },
         read_two, KtUStream::eCREATE_FAILED},
        {"read fails", two,
         [&](KtUStreamFormat& f) {
             same(f);
             f.SetEntry(1, WriteThing, CreateThing, ReadFails, "Other", -1);
         },
         read_two, KtUStream::eREAD_METHOD_FAILED},
        {"wrong entry", two, same, [](KtUReadStream& in) { in.ReadCheckedObject(1); },
         KtUStream::eWRONG_ENTRY},
        {"parent not below the entry", bad_row, same, {}, KtUStream::eBAD_EXTENSION},
        {"known entry with another parent",
         two,
         [&](KtUStreamFormat& f) {
             same(f);
             f.SetEntry(2, WriteThing, CreateThing, ReadThing, "Derived", 1);
         },
         {},
         KtUStream::eEXTENSION_CONFLICT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KtUStreamFormat format("things", 1);
        c.reader_format(format);
        Reader r(c.bytes);
        r.in.AddAvailableFormat(&format);
        ASSERT_TRUE(r.in.Begin(1, 1));
        if (c.read) c.read(r.in);
        EXPECT_FALSE(r.in.End(1));
        EXPECT_EQ(r.in.GetError(), c.error);
    }

    // An unknown class whose ancestors have no methods cannot be read.
    Thing d{2};
    const std::string derived = Write(
        {0, 1, 1}, [&](KtUWriteStream& out) { out.WriteObject(&d, 2); }, 1, 1, use);
    KtUStreamFormat bare("things", 1);
    bare.SetNumEntries(1);
    bare.SetEntry(0, nullptr, nullptr, nullptr, "Root", -1);
    Reader r(derived);
    r.in.AddAvailableFormat(&bare);
    ASSERT_TRUE(r.in.Begin(1, 1));
    EXPECT_EQ(r.in.ReadObject(), nullptr);
    EXPECT_EQ(r.in.GetError(), KtUStream::eNO_ANCESTOR);
    r.in.End(0);

    // Copied debug data must define objects in id order.
    std::string skipped = two;
    const size_t second = skipped.find(std::string("\x65\0\0\0", 4));
    ASSERT_NE(second, std::string::npos);
    skipped[second] = 0x66; // the second definition claims id 102
    Reader copy(skipped);
    copy.in.AddAvailableFormat(&writer);
    ASSERT_TRUE(copy.in.Begin(1, 1));
    KtUStreamBuffer sink;
    KtUWriteStream out(&sink);
    out.SetDebug(1);
    ASSERT_TRUE(out.Begin(0, 0));
    EXPECT_FALSE(copy.in.CopyDebugToEnd(&out));
    EXPECT_EQ(copy.in.GetError(), KtUStream::eCOPY_OUT_OF_ORDER);
    out.End();
}

} // namespace

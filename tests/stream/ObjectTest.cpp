//===- ObjectTest.cpp - Object graphs, unknown classes and debug copies ---===//
#include "StreamTestUtil.h"

#include "memory/mem_switches.h"

#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUWideString.h>

#include <ktutil/KtUStreamExtData.h>
#include <ktutil/KtUStreamFormat.h>
#include <ktutil/KtUString.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using ktu::test::Modes;
using ktu::test::Reader;
using ktu::test::StreamTest;
using ktu::test::Write;

/// A shape with a name and a link to another; a circle adds a radius.
struct Shape {
    virtual ~Shape() = default;
    std::string name;
    Shape* next = nullptr;
};
struct Circle : Shape {
    double radius = 0;
};

enum { kShape = 0, kCircle = 1 };
std::vector<std::unique_ptr<Shape>> g_made;
int g_disposed = 0;

int WriteShape(KtUWriteStream* s, int, const void* object) {
    auto* shape = static_cast<const Shape*>(object);
    s->WriteString(shape->name.c_str());
    s->WriteObject(shape->next,
                   shape->next && dynamic_cast<Circle*>(shape->next) ? kCircle : kShape);
    return !s->IsError();
}
int WriteCircle(KtUWriteStream* s, int entry, const void* object) {
    WriteShape(s, entry, object);
    s->WriteDouble(static_cast<const Circle*>(object)->radius);
    return !s->IsError();
}
void* CreateShape(KtUReadStream*, int entry) {
    g_made.emplace_back(entry == kCircle ? new Circle : new Shape);
    return g_made.back().get();
}
int ReadShape(KtUReadStream* s, int, void* object) {
    auto* shape = static_cast<Shape*>(object);
    KtUString name;
    s->ReadString(&name);
    shape->name = name.GetString() ? name.GetString() : "";
    shape->next = static_cast<Shape*>(s->ReadObject());
    return !s->IsError();
}
int ReadCircle(KtUReadStream* s, int entry, void* object) {
    ReadShape(s, entry, object);
    static_cast<Circle*>(object)->radius = s->ReadDouble();
    return !s->IsError();
}
int DisposeShape(KtUReadStream*, int, void*) {
    ++g_disposed;
    return 1;
}
int FailingWrite(KtUWriteStream*, int, const void*) {
    return 0;
}

/// The program that knows circles, and an older one that does not.
struct Formats {
    KtUStreamFormat full{"shapes", 1};
    KtUStreamFormat old{"shapes", 1};
    Formats() {
        full.SetNumEntries(2);
        full.SetEntry(kShape, WriteShape, CreateShape, ReadShape, "Shape", -1);
        full.SetEntry(kCircle, WriteCircle, CreateShape, ReadCircle, "Circle", kShape);
        full.EditEntry(kShape)->SetDisposeMethod(DisposeShape);
        old.SetNumEntries(1);
        old.SetEntry(kShape, WriteShape, CreateShape, ReadShape, "Shape", -1);
    }
};

class ObjectTest : public StreamTest {
protected:
    void TearDown() override {
        g_made.clear();
        g_disposed = 0;
        StreamTest::TearDown();
    }
    Formats formats;
};

TEST_F(ObjectTest, GraphsWithCyclesRoundTripInEveryEncoding) {
    Shape a, b;
    a.name = "a";
    b.name = "b";
    a.next = &b;
    b.next = &a; // a cycle: b refers back to a
    for (int ascii = 0; ascii < 2; ++ascii)
        for (int debug = 0; debug < 2; ++debug) {
            SCOPED_TRACE(testing::Message() << "ascii " << ascii << " debug " << debug);
            unsigned first = 0, again = 0;
            std::string bytes = Write(
                {ascii, debug, 1},
                [&](KtUWriteStream& out) {
                    first = out.WriteObject(&a, kShape);
                    again = out.WriteObject(&a, kShape);
                    out.WriteObject(nullptr, kShape);
                },
                1, 1, [&](KtUWriteStream& out) { out.SetFormat(&formats.full); });
            EXPECT_EQ(first, 100u);
            EXPECT_EQ(again, 100u);
            if (ascii) {
                EXPECT_NE(bytes.find("  DEF 100 Shape\n  {\n"), std::string::npos);
                EXPECT_NE(bytes.find("USE 100"), std::string::npos);
                EXPECT_NE(bytes.find("NULL_OBJECT"), std::string::npos);
            }
            Reader r(bytes);
            r.in.AddAvailableFormat(&formats.full);
            ASSERT_TRUE(r.in.Begin(1, 1));
            int entry = -1;
            auto* ra = static_cast<Shape*>(r.in.ReadObject(&entry));
            ASSERT_NE(ra, nullptr);
            EXPECT_EQ(entry, kShape);
            EXPECT_EQ(ra->name, "a");
            ASSERT_NE(ra->next, nullptr);
            EXPECT_EQ(ra->next->name, "b");
            EXPECT_EQ(ra->next->next, ra);
            EXPECT_EQ(r.in.ReadObject(), ra);
            EXPECT_EQ(r.in.ReadObject(), nullptr);
            EXPECT_EQ(r.in.GetObject(101), ra->next);
            EXPECT_TRUE(r.in.End(1)) << r.in.GetError();
            EXPECT_EQ(g_disposed, 2);
            g_disposed = 0;
        }
}

TEST_F(ObjectTest, UnknownClassIsReadThroughItsAncestorAndWrittenBackUnchanged) {
    Circle c;
    c.name = "wheel";
    c.radius = 0.75;
    for (int ascii = 0; ascii < 2; ++ascii) {
        SCOPED_TRACE(ascii);
        auto use_full = [&](KtUWriteStream& out) { out.SetFormat(&formats.full); };
        std::string original = Write(
            {ascii, 0, 1},
            [&](KtUWriteStream& out) {
                out.WriteObject(&c, kCircle);
                out.WriteInt32(42);
            },
            1, 1, use_full);

        Reader r(original);
        r.in.AddAvailableFormat(&formats.old);
        ASSERT_TRUE(r.in.Begin(1, 1));
        KtUStreamExtData* ext = nullptr;
        int entry = -1;
        auto* shape = static_cast<Shape*>(r.in.ReadObjectExt(&entry, &ext));
        ASSERT_NE(shape, nullptr);
        EXPECT_EQ(entry, kShape);
        EXPECT_EQ(shape->name, "wheel");
        EXPECT_EQ(dynamic_cast<Circle*>(shape), nullptr);
        ASSERT_NE(ext, nullptr);
        ext->Ref();
        EXPECT_EQ(r.in.ReadInt32(), 42);
        EXPECT_TRUE(r.in.End(1)) << r.in.GetError();
        KtUStreamFormat* extended = r.in.GetExtendedFormat();
        ASSERT_NE(extended, nullptr);
        EXPECT_STREQ(extended->GetEntry(ext->GetEntry()).GetName(), "Circle");
        EXPECT_EQ(extended->GetEntry(ext->GetEntry()).GetSubstitute(), kShape);

        std::string back = Write(
            {ascii, 0, 1},
            [&](KtUWriteStream& out) {
                out.WriteObjectExt(shape, kShape, ext);
                out.WriteInt32(42);
            },
            1, 1, [&](KtUWriteStream& out) { out.SetFormat(extended); });
        EXPECT_EQ(back, original);
        ext->Unref();

        // The program that knows circles reads the rewritten stream fully.
        Reader again(back);
        again.in.AddAvailableFormat(&formats.full);
        ASSERT_TRUE(again.in.Begin(1, 1));
        auto* circle = dynamic_cast<Circle*>(static_cast<Shape*>(again.in.ReadObject()));
        ASSERT_NE(circle, nullptr);
        EXPECT_EQ(circle->radius, 0.75);
        EXPECT_EQ(again.in.ReadInt32(), 42);
        EXPECT_TRUE(again.in.End(1));
    }
}

TEST_F(ObjectTest, ObjectErrors) {
    Shape a;
    a.name = "a";
    // A definition whose id skips one is reported but still read.
    std::string text = Write(
        {1, 0, 1}, [&](KtUWriteStream& out) { out.WriteObject(&a, kShape); }, 1, 1,
        [&](KtUWriteStream& out) { out.SetFormat(&formats.full); });
    text.replace(text.find("DEF 100"), 7, "DEF 101");
    Reader r(text);
    r.in.AddAvailableFormat(&formats.full);
    ASSERT_TRUE(r.in.Begin(1, 1));
    EXPECT_NE(r.in.ReadObject(), nullptr);
    EXPECT_EQ(r.in.GetError(), KtUStream::ePARSE_ERROR);
    r.in.End(0);

    // A failing write method leaves error 23 but closes the definition.
    KtUStreamFormat failing("shapes", 0);
    failing.SetNumEntries(1);
    failing.SetEntry(0, FailingWrite, CreateShape, ReadShape, "Shape", -1);
    KtUStreamBuffer buffer;
    KtUWriteStream out(&buffer);
    out.SetAscii(1);
    out.SetFormat(&failing);
    ASSERT_TRUE(out.Begin(1, 0));
    out.WriteObject(&a, 0);
    EXPECT_EQ(out.GetError(), KtUStream::eWRITE_METHOD_FAILED);
    EXPECT_EQ(out.GetIdent(), 2);
    EXPECT_FALSE(out.End());

    // No format, an entry without methods, a reader requiring a known format.
    KtUWriteStream bare(&buffer);
    ASSERT_TRUE(bare.Begin(0, 0));
    EXPECT_EQ(bare.WriteObject(&a, 0), 0u);
    EXPECT_EQ(bare.GetError(), KtUStream::eNO_FORMAT);
    bare.End();
    KtUWriteStream empty_entry(&buffer);
    empty_entry.SetFormat(&formats.old);
    ASSERT_TRUE(empty_entry.Begin(0, 0));
    EXPECT_EQ(empty_entry.WriteObject(&a, 5), 0u);
    EXPECT_EQ(empty_entry.GetError(), KtUStream::eNO_METHOD);
    empty_entry.End();

    std::string unknown = Write(
        {}, [](KtUWriteStream&) {}, 1, 0, [](KtUWriteStream& w) { w.SetFormatName("other"); });
    Reader strict(unknown);
    strict.in.AddAvailableFormat(&formats.full);
    EXPECT_FALSE(strict.in.Begin(1, 1));
    EXPECT_EQ(strict.in.GetError(), KtUStream::eUNKNOWN_CONFIGURATION);
    Reader lenient(unknown);
    lenient.in.SetFormat(&formats.old);
    ASSERT_TRUE(lenient.in.Begin(1, 0));
    EXPECT_EQ(lenient.in.GetFormat(), &formats.old); // the preset format stays
    EXPECT_TRUE(lenient.in.End(1));
}

// A debug stream copied into a stream of the other encoding and back is the
// same stream, byte for byte.
TEST_F(ObjectTest, DebugDataCopiesBetweenEncodings) {
    Circle c;
    c.name = "c";
    c.radius = 2;
    Shape s;
    s.name = "s";
    s.next = &c;
    auto fill = [&](KtUWriteStream& out) {
        out.WriteObject(&s, kShape);
        double values[] = {1, 2, 3, 4, 5};
        out.WriteDoubleArray(values, 5);
        out.WriteFloat(1.25);
        out.WriteString("x\"y");
        out.WriteNat64(1ull << 40);
    };
    auto use_full = [&](KtUWriteStream& out) { out.SetFormat(&formats.full); };
    std::string binary = Write({0, 1, 1}, fill, 1, 1, use_full);

    auto convert = [&](const std::string& from, int to_ascii) {
        Reader r(from);
        r.in.AddAvailableFormat(&formats.full);
        EXPECT_TRUE(r.in.Begin(1, 1));
        return Write(
            {to_ascii, 1, 1}, [&](KtUWriteStream& out) { EXPECT_TRUE(r.in.CopyDebugToEnd(&out)); },
            1, 1, use_full);
    };
    std::string text = convert(binary, 1);
    EXPECT_EQ(text, Write({1, 1, 1}, fill, 1, 1, use_full));
    EXPECT_EQ(convert(text, 0), binary);
}

} // namespace

namespace {

// Writes a graph with a class the reader lacks and reads it back with the
// older format, rewriting the preserved data; returns whether every step
// succeeded. Any failure must be a clean error of the stream concerned.
bool WriteAndReadGraph(Formats& formats, int ascii, bool* clean) {
    *clean = true;
    Circle c;
    c.name = "wheel";
    c.radius = 1.5;
    Shape s;
    s.name = "frame";
    s.next = &c;
    KtUStreamBuffer buffer;
    KtUWriteStream out(&buffer);
    out.SetAscii(ascii);
    out.SetDebug(1);
    out.SetFormat(&formats.full);
    bool ok = out.Begin(1, 1);
    if (ok) {
        out.WriteObject(&s, kShape);
        out.WriteObject(&c, kCircle);
        out.WriteWideString(u"\u00e9t\u00e9");
        double values[300];
        for (int i = 0; i < 300; ++i)
            values[i] = i;
        out.WriteDoubleArray(values, 300);
        ok = out.End();
        if (!ok && !out.IsError()) *clean = false;
    } else if (!out.IsError()) {
        *clean = false;
    }
    if (!ok) return false;

    KtUReadStream in(&buffer);
    in.AddAvailableFormat(&formats.old);
    if (!in.Begin(1, 1)) {
        *clean = in.IsError() != 0;
        return false;
    }
    KtUStreamExtData* ext = nullptr;
    int entry;
    in.ReadObjectExt(&entry, &ext);
    KtUAutoRefPtr<KtUStreamExtData> keep(ext);
    in.ReadObject();
    KtUWideString text;
    in.ReadWideString(&text);
    double values[300];
    in.ReadDoubleArray(values, 300);
    ok = in.End(1);
    if (!ok) *clean = in.IsError() != 0;
    if (ok && (values[299] != 299 || !text.GetString())) *clean = false;
    return ok;
}

} // namespace

// Every allocation the streams make, in turn, fails: each failure must end
// in an error state, never a crash. (Each failure posts a message, which
// grows the process log, so leaks are left to the sanitizer build's leak
// checker rather than to the memory counters.)
int g_memory_errors = 0;
// Containers post running out of memory as an eERROR; a host that lives on
// handles it, as this test does.
int HandleOutOfMemory(KtUSysError::Severity, KtUComponent*, int, void*, const KtUWChar*) {
    ++g_memory_errors;
    return 1;
}

TEST_F(ObjectTest, EveryAllocationFailureIsACleanError) {
    KtUSysError::SetHandler(HandleOutOfMemory, KtUSysError::eERROR,
                            static_cast<KtUComponent*>(nullptr), -1);
    for (int ascii = 0; ascii < 2; ++ascii) {
        bool clean;
        ASSERT_TRUE(WriteAndReadGraph(formats, ascii, &clean)) << "without failures";
        int failures = 0;
        for (long n = 1;; ++n) {
            ktu::mem::FailAllocationAfter(n);
            const bool ok = WriteAndReadGraph(formats, ascii, &clean);
            const bool injected = ktu::mem::AllocationsBeforeFailure() == 0;
            ktu::mem::FailAllocationAfter(0);
            g_made.clear();
            ASSERT_TRUE(clean) << "allocation " << n << (ascii ? " (text)" : " (binary)");
            if (!injected) {
                EXPECT_TRUE(ok);
                break;
            }
            failures += !ok;
        }
        EXPECT_GT(failures, 10);
    }
    KtUSysError::RemoveHandler(KtUSysError::eERROR, static_cast<KtUComponent*>(nullptr), -1);
}

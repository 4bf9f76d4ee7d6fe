// The stream headers alone, with the examples of their own header comments,
// run end to end: a format, a file written and read back, memory sinks and
// ext data.
#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUBlowfishFilter.h>
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStreamBuffer.h>
#include <ktutil/KtUStreamExtData.h>
#include <ktutil/KtUStreamFile.h>
#include <ktutil/KtUStreamFormat.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWriteStream.h>

namespace {

struct Assembly {
    int parts = 0;
};
enum { kAssembly = 0, kWeld = 1 };
Assembly g_made[4];
int g_count = 0;
int g_errors = 0;

int WriteAssembly(KtUWriteStream* s, int, const void* o) {
    s->WriteInt32(static_cast<const Assembly*>(o)->parts);
    return 1;
}
void* CreateAssembly(KtUReadStream*, int) {
    return g_count < 4 ? &g_made[g_count++] : nullptr;
}
int ReadAssembly(KtUReadStream* s, int, void* o) {
    static_cast<Assembly*>(o)->parts = s->ReadInt32();
    return 1;
}
auto WriteWeld = WriteAssembly;
auto CreateWeld = CreateAssembly;
auto ReadWeld = ReadAssembly;
void report(int) {
    ++g_errors;
}

// The examples stand as the header comments show them.
// clang-format off
static KtUStreamFormat s_format("parts", 1); // extendable

void FormatExample() {
    s_format.SetVersion(3);
    s_format.SetNumEntries(2);
    s_format.SetEntry(0, WriteAssembly, CreateAssembly, ReadAssembly, "Assembly", -1);
    s_format.SetEntry(1, WriteWeld, CreateWeld, ReadWeld, "Weld", 0); // derives from 0
}

void WriteExample(const double* points, int n, const Assembly* root) {
    KtUStreamFile file(u"model.bin");
    KtUWriteStream out(&file);
    out.SetFormat(&s_format);         // for objects; see KtUStreamFormat
    if (!out.Begin(1, 1)) return;     // header line and extension table
    out.WriteInt32(3);
    out << 2.5 << "name" << u"wide";
    out.WriteDoubleArray(points, 3 * n);
    out.WriteObject(root, kAssembly); // definitions, then references
    if (!out.End()) report(out.GetError());
}

void ReadExample(double* points, int n, KtUBlowfishFilter& cipher) {
    KtUStreamFile file(u"model.bin");
    KtUReadStream in(&file);
    in.AddAvailableFormat(&s_format); // formats the header may name
    in.AddAvailableFilter(&cipher);   // filters the header may name
    if (!in.Begin(1, 1)) return;      // header and extension table
    int count = in.ReadInt32();
    double scale; KtUString name; KtUWideString wide;
    in >> scale >> name >> wide;
    in.ReadDoubleArray(points, 3 * n); // the count must be the one written
    void* root = in.ReadObject();      // through the format's entries
    if (!in.End(1)) report(in.GetError());   // 1: check the end too
    if (count != 3 || scale != 2.5 || !root) report(-1);
}

void BufferExample(unsigned char* data, int size) {
    KtUStreamBuffer buffer;              // owns a 64 KiB area at WriteBegin
    KtUWriteStream out(&buffer);
    out.Begin(1, 0); out.WriteInt32(7); out.End();
    int n = buffer.GetAlignedUsed();     // bytes written
    unsigned char* bytes = buffer.ClaimBuffer();   // now the caller's:
    KtUMemory::Free(bytes);                        //   free it so

    KtUStreamBuffer view;                // read bytes in place
    view.SetBuffer(data, size, KtUStreamBuffer::eCOPY_IF_UNALIGNED);
    if (n <= 0) report(-2);
}

void ExtDataExample(KtUReadStream& in, KtUWriteStream& out) {
    KtUStreamExtData* ext = nullptr;
    int entry;
    void* part = in.ReadObjectExt(&entry, &ext);
    KtUAutoRefPtr<KtUStreamExtData> keep(ext);     // new ext data has no reference yet
    out.WriteObjectExt(part, entry, ext);
}

// clang-format on

} // namespace

/// Runs the examples; the number of failures.
int StreamExamples() {
    KtUStream::Initialise();
    FormatExample();
    double points[6] = {1, 2, 3, 4, 5, 6}, back[6] = {};
    Assembly root{12};
    WriteExample(points, 2, &root);
    KtUBlowfishFilter cipher(KtUBlowfishFilter::GetChunkKey());
    ReadExample(back, 2, cipher);
    if (back[5] != 6 || g_made[0].parts != 12) ++g_errors;
    unsigned char bytes[16] = {};
    BufferExample(bytes, sizeof bytes);
    {
        // A weld written by this program, read back as it is.
        Assembly weld{5};
        KtUStreamBuffer memory;
        KtUWriteStream out(&memory);
        out.SetFormat(&s_format);
        out.SetDebug(1);
        out.Begin(1, 1);
        out.WriteObject(&weld, kWeld);
        out.End();
        KtUStreamBuffer copy;
        KtUReadStream in(&memory);
        in.AddAvailableFormat(&s_format);
        KtUWriteStream again(&copy);
        again.SetFormat(&s_format);
        if (in.Begin(1, 1) && again.Begin(1, 1)) {
            ExtDataExample(in, again);
            if (!in.End(1) || !again.End()) ++g_errors;
        } else {
            ++g_errors;
        }
    }
    KtUStream::Terminate();
    return g_errors;
}

//===- KtUStreamSink.h - Where a typed stream's bytes go and come from ----===//
//
// A typed stream never touches a file or memory area itself: it borrows
// regions from a sink, fills or drains them, and reports how many bytes it
// processed.
//
//   unsigned char* region; int size;
//   sink->WriteLock(&region, &size);     // room for size bytes at region
//   memcpy(region, bytes, n);            // n <= size
//   sink->WriteProcess(n);               // n bytes are the sink's now
//
//   unsigned char const* data; int avail;
//   sink->ReadLock(&data, &avail);       // (null, 0): end of data
//   sink->ReadProcess(avail);
//
// Every operation returns non-zero for success and 0 for failure and posts
// nothing; the stream that drives the sink posts the failure. Regions that a
// write lock hands out start at multiples of 8, which binary streams need.
//
// Thread safety: a sink belongs to one stream at a time and is used from the
// thread that drives that stream.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMSINK_H
#define KTUTIL_KTUSTREAMSINK_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUComponent;
class KtUReadStream;
class KtUWriteStream;

/// Abstract byte target and source of the typed streams: the region protocol.
class KTU_API KtUStreamSink {
public:
    KtUStreamSink() = default;
    KtUStreamSink(const KtUStreamSink&) = default;
    KtUStreamSink& operator=(const KtUStreamSink&) = default;
    virtual ~KtUStreamSink();

    /// Called by the stream's Begin; the stream's modes may be inspected.
    virtual int WriteBegin(const KtUWriteStream* stream);
    /// A writable region at *region of *size bytes.
    virtual int WriteLock(unsigned char** region, int* size) = 0;
    /// The first count bytes of the locked region are filled.
    virtual int WriteProcess(int count) = 0;
    /// Passes buffered bytes on to the final destination.
    virtual int WriteFlush();
    virtual int WriteEnd();

    virtual int ReadBegin(const KtUReadStream* stream);
    /// Readable bytes at *region, *size of them; (null, 0) at the end of data.
    virtual int ReadLock(const unsigned char** region, int* size) = 0;
    /// The first count bytes of the locked region are consumed.
    virtual int ReadProcess(int count) = 0;
    virtual int ReadEnd();

    /// The component "KtUStreamSink".
    static void Initialise();
    static void Terminate();
    static int IsInitialised();
    /// The component sink messages are posted for.
    static KtUComponent* GetComponent();

    KTU_DECLARE_ALLOCATION_OPERATORS

protected:
    /// A region of size bytes rounded up to the allocation granularity, from
    /// the memory manager's region allocator; null when none is available.
    unsigned char* AllocBlock(int size);
    /// Frees a region from AllocBlock of the same size.
    int DeallocBlock(unsigned char* block, int size);
};

#endif // KTUTIL_KTUSTREAMSINK_H

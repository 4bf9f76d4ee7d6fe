//===- KtUStreamFilter.h - A sink that transforms bytes for another sink --===//
//
// A filter sits between a stream and its sink and passes transformed bytes
// downstream. The stream header lists filters by GetName, and a stream links
// and unlinks the downstream sinks while it is begun:
//
//   KtUBlowfishFilter cipher("key");
//   KtUWriteStream out(&file);
//   out.AddActiveFilter(&cipher);        // header names "liblowfish"
//   out.Begin(1, 0);                     // cipher's downstream is now &file
//
// A filter must have passed all its bytes downstream by the time the stream
// ends it, because the stream clears the links first.
//
// Thread safety: as every sink, one stream (and thread) at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMFILTER_H
#define KTUTIL_KTUSTREAMFILTER_H

#include <ktutil/KtUStreamSink.h>

/// A sink that passes bytes on to another sink; named in stream headers.
class KTU_API KtUStreamFilter : public KtUStreamSink {
public:
    KtUStreamFilter() = default;
    KtUStreamFilter(const KtUStreamFilter&) = default;
    KtUStreamFilter& operator=(const KtUStreamFilter&) = default;
    ~KtUStreamFilter() override;

    /// Forwards to the downstream sink (1 when there is none).
    int WriteFlush() override;
    /// The word by which stream headers list the filter.
    virtual const char* GetName() const = 0;

    /// The downstream sink (not owned); the stream sets and clears it.
    KtUStreamSink* GetSink() const { return m_sink; }
    void SetSink(KtUStreamSink* sink) { m_sink = sink; }

private:
    KtUStreamSink* m_sink = nullptr;
};

#endif // KTUTIL_KTUSTREAMFILTER_H

//===- KtUErrorTraceStream.h - Streaming trace output ---------------------===//
//
//   KtUError::Trace(2) << "Paging out " << bytes << " bytes\n";
//
// Trace(level) writes the trace prefix and returns a stream that logs only
// when tracing was enabled for that level.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUERRORTRACESTREAM_H
#define KTUTIL_KTUERRORTRACESTREAM_H

#include <ktutil/KtUErrorLogStream.h>
#include <ktutil/KtUMemory.h>

/// A log stream that writes only when its trace level was enabled.
class KtUErrorTraceStream {
public:
    explicit KtUErrorTraceStream(bool active) : m_active(active) {}
    bool IsActive() const { return m_active; }

    template <class T> KtUErrorTraceStream& operator<<(const T& value) {
        if (m_active) KtUErrorLogStream() << value;
        return *this;
    }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    bool m_active;
};

#endif // KTUTIL_KTUERRORTRACESTREAM_H

//===- KtUErrorLogStream.h - Streaming into the process log ---------------===//
//
//   KtUError::Log() << "Loaded " << count << " parts\n";
//
// Thread safety: each inserter logs its piece on its own; pieces from
// different threads may interleave.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUERRORLOGSTREAM_H
#define KTUTIL_KTUERRORLOGSTREAM_H

#include <ktutil/KtUError.h>
#include <ktutil/KtUMemory.h>

/// Writes each inserted value to the process log at once.
class KtUErrorLogStream {
public:
    KtUErrorLogStream& operator<<(const char* text) {
        KtUError::Log("%s", text);
        return *this;
    }
    KtUErrorLogStream& operator<<(const KtUWChar* text) {
        KtUError::LogWideString(text);
        return *this;
    }
    KtUErrorLogStream& operator<<(int value) {
        KtUError::LogInt32(value);
        return *this;
    }
    KtUErrorLogStream& operator<<(unsigned int value) {
        KtUError::LogNat32(value);
        return *this;
    }
    KtUErrorLogStream& operator<<(KtUInt64 value) {
        KtUError::LogInt64(value);
        return *this;
    }
    KtUErrorLogStream& operator<<(KtUNat64 value) {
        KtUError::LogNat64(value);
        return *this;
    }
    KtUErrorLogStream& operator<<(double value) {
        KtUError::LogFloat(value);
        return *this;
    }
    KtUErrorLogStream& operator<<(const void* value) {
        KtUError::LogPtr(value);
        return *this;
    }

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUERRORLOGSTREAM_H

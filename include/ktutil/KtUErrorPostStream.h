//===- KtUErrorPostStream.h - Streaming construction of an error post -----===//
//
//   KtUError::Post(KtUSysError::eERROR, &s_component) << "Bad size " << size;
//
// The stream collects UTF-16 text (narrow pieces are UTF-8) and posts it, with
// no length limit, when it is destroyed. A copy posts again.
//
// Thread safety: a stream is a plain value used on one thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUERRORPOSTSTREAM_H
#define KTUTIL_KTUERRORPOSTSTREAM_H

#include <ktutil/KtUMemory.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUWideStringBuffer.h>

class KtUString;
class KtUStringBuffer;
class KtUWideString;

/// Collects a message and posts it when destroyed.
class KTU_API KtUErrorPostStream {
public:
    KtUErrorPostStream(KtUSysError::Severity severity, KtUComponent* component, int id, void* data);
    KtUErrorPostStream(const KtUErrorPostStream& other) = default;
    KtUErrorPostStream& operator=(const KtUErrorPostStream& other) = default;
    ~KtUErrorPostStream();

    KtUErrorPostStream& operator<<(const KtUWChar* text);
    KtUErrorPostStream& operator<<(const char* text);
    KtUErrorPostStream& operator<<(const KtUString& text);
    KtUErrorPostStream& operator<<(const KtUStringBuffer& text);
    KtUErrorPostStream& operator<<(const KtUWideString& text);
    KtUErrorPostStream& operator<<(const KtUWideStringBuffer& text);
    KtUErrorPostStream& operator<<(bool value);
    KtUErrorPostStream& operator<<(signed char value);
    KtUErrorPostStream& operator<<(short value);
    KtUErrorPostStream& operator<<(int value);
    KtUErrorPostStream& operator<<(KtUInt64 value);
    KtUErrorPostStream& operator<<(double value);
    KtUErrorPostStream& operator<<(unsigned char value);
    KtUErrorPostStream& operator<<(unsigned short value);
    KtUErrorPostStream& operator<<(unsigned int value);
    KtUErrorPostStream& operator<<(KtUNat64 value);
    KtUErrorPostStream& operator<<(const void* value);

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    void AppendWide(const KtUWChar* text, int length);
    void AppendUtf8(const char* text, int length);
    void AppendFormatted(const KtUWChar* format, ...);

    KtUSysError::Severity m_severity;
    KtUComponent* m_component;
    int m_id;
    void* m_data;
    KtUWideStringBuffer m_scratch;
    KtUWideStringBuffer m_message;
};

#endif // KTUTIL_KTUERRORPOSTSTREAM_H

//===- KtUErrorOverride.h - Scoped replacement of one handler -------------===//
//
//   {
//       KtUErrorOverride quiet;   // every otherwise-unhandled post is handled
//       RiskyCall();
//   }                             // the previous global handler is back
//
//   KtUErrorOverride only_this(MyHandler, KtUSysError::eWARNING, &s_component, 12);
//
// A null handler installs one that swallows the post (returns 1).
//
// Thread safety: handler slots are process-wide; an override affects every
// thread while it lives.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUERROROVERRIDE_H
#define KTUTIL_KTUERROROVERRIDE_H

#include <ktutil/KtUMemory.h>
#include <ktutil/KtUSysError.h>

/// Installs a handler in one slot for its lifetime, then restores the old one.
class KTU_API KtUErrorOverride {
public:
    explicit KtUErrorOverride(KtUSysError::Handler handler = nullptr,
                              KtUSysError::Severity severity = KtUSysError::eANY,
                              KtUComponent* component = nullptr, int id = -1);
    KtUErrorOverride(KtUSysError::Handler handler, KtUSysError::Severity severity,
                     const char* component_name, int id = -1);
    ~KtUErrorOverride();
    KtUErrorOverride(const KtUErrorOverride&) = delete;
    KtUErrorOverride& operator=(const KtUErrorOverride&) = delete;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    void Init(KtUSysError::Handler handler);

    KtUSysError::Severity m_severity;
    KtUComponent* m_component;
    int m_id;
    KtUSysError::Handler m_previous;
};

#endif // KTUTIL_KTUERROROVERRIDE_H

//===- KtUOptionLock.h - Scoped hold of the process-wide option lock ------===//
//
//   {
//       KtUOptionLock lock;
//       KtUOptionSet* view = KtUOption::GetSet("view", lock);
//       ...                                  // the trees can't change here
//   }
//
// The lock is re-entrant: code that runs while it is held (validators, host
// callbacks) may call KtUOption again on the same thread.
//
// Thread safety: the point of it; KtUOption must be initialised.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTIONLOCK_H
#define KTUTIL_KTUOPTIONLOCK_H

#include <ktutil/KtUDefs.h>

/// Holds the option lock for its lifetime.
class KTU_API KtUOptionLock {
public:
    KtUOptionLock();
    ~KtUOptionLock();
    KtUOptionLock(const KtUOptionLock&) = delete;
    KtUOptionLock& operator=(const KtUOptionLock&) = delete;
};

#endif // KTUTIL_KTUOPTIONLOCK_H

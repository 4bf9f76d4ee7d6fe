//===- KtUActionQueueStatusCB.h - Load reports of an action queue ---------===//
//
//   struct Meter : KtUActionQueueStatusCB {
//       void QueueLoad(int percent) override { ShowLoad(percent); }
//   };
//   queue.SetStatusCB(&meter);
//
// Called on the thread that adds or processes actions.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUACTIONQUEUESTATUSCB_H
#define KTUTIL_KTUACTIONQUEUESTATUSCB_H

#include <ktutil/KtUDefs.h>

/// Receives the load of a KtUActionQueue in percent when it changes.
class KTU_API KtUActionQueueStatusCB {
public:
    virtual ~KtUActionQueueStatusCB();
    virtual void QueueLoad(int percent) = 0;
};

#endif // KTUTIL_KTUACTIONQUEUESTATUSCB_H

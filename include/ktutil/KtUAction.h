//===- KtUAction.h - A unit of work for an action queue -------------------===//
//
//   class LoadPart : public KtUAction {
//       void Execute(int thread_index) override { ... }   // on a worker
//       int ProcessResult() override { ...; return 1; }    // on the owner;
//   };                                                     // 1: delete me
//
// Thread safety: Execute runs on one worker thread; ProcessResult and
// CancelAction are called by the queue's owner (CancelAction while Execute
// may be running: make it thread-safe).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUACTION_H
#define KTUTIL_KTUACTION_H

#include <ktutil/KtUDeletable.h>

/// A unit of work run by a KtUActionQueue.
class KTU_API KtUAction {
public:
    virtual ~KtUAction();
    /// Does the work on worker thread_index.
    virtual void Execute(int thread_index) = 0;
    /// Hands the result over on the owner's thread; non-zero means the
    /// queue deletes the action afterwards.
    virtual int ProcessResult() = 0;
    /// Asks a running action to stop early; does nothing by default.
    virtual void CancelAction();

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUACTION_H

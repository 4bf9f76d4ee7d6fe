//===- KtUPageOutObserver.h - Told when a page-out starts and ends --------===//
//
// Observers registered with KtUPage::AddPageOutObserver hear about every
// page-out. Starting may veto it: 1 reports it done, 2 reports failure (and
// sets the out-of-memory flag).
//
//   class Watch : public KtUPageOutObserver {
//       int PageOutStarting() override { return 0; }   // go on
//       void PageOutFinished() override { ++m_runs; }
//   };
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUPAGEOUTOBSERVER_H
#define KTUTIL_KTUPAGEOUTOBSERVER_H

#include <ktutil/KtUDefs.h>

/// Host interface: notified around page-outs.
class KTU_API KtUPageOutObserver {
public:
    virtual ~KtUPageOutObserver();
    /// 0 lets the page-out go on, 1 ends it as done, 2 as failed.
    virtual int PageOutStarting() = 0;
    virtual void PageOutFinished() = 0;
    /// Adds the observer's own figures to KtUPage::LogMemStats.
    virtual void LogMemStats();
};

#endif // KTUTIL_KTUPAGEOUTOBSERVER_H

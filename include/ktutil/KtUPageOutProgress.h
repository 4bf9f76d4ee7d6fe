//===- KtUPageOutProgress.h - When a page-out has freed enough ------------===//
//
// A progress object is the criterion of a page-out: page-outs call
// ShouldStop as they free memory and stop once it answers non-zero. KtUPage
// has its own (the hard limit, the alloc limit, the stress test); a host may
// pass one of its own to KtUPage::PageOut.
//
//   class FreedEnough : public KtUPageOutProgress {
//   public:
//       FreedEnough() : KtUPageOutProgress(1) {}
//       int Test(int) override { return CacheBytes() < kGoal; }
//   };
//   FreedEnough goal;
//   KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, &goal);
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUPAGEOUTPROGRESS_H
#define KTUTIL_KTUPAGEOUTPROGRESS_H

#include <ktutil/KtUDefs.h>

/// The criterion of a page-out; once met it stays met until Reset.
class KTU_API KtUPageOutProgress {
public:
    explicit KtUPageOutProgress(int can_block = 0) : m_can_block(can_block) {}
    KtUPageOutProgress(const KtUPageOutProgress&) = default;
    KtUPageOutProgress& operator=(const KtUPageOutProgress&) = default;
    virtual ~KtUPageOutProgress();
    /// Whether the criterion is met. `expensive_ok` non-zero allows a
    /// costly query (such as the process's private memory).
    virtual int Test(int expensive_ok) = 0;

    void Reset() { m_stopped = 0; }
    int IsStopped() const { return m_stopped; }
    int CanBlock() const { return m_can_block; }
    /// 1 once the criterion was met; otherwise tests it now.
    int ShouldStop(int expensive_ok);

private:
    int m_stopped = 0;
    int m_can_block;
};

#endif // KTUTIL_KTUPAGEOUTPROGRESS_H

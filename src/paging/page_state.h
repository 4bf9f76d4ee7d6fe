//===- page_state.h - KtUPage's process-wide state and criteria -----------===//
#ifndef KTUTIL_PAGE_STATE_H
#define KTUTIL_PAGE_STATE_H

#include <ktutil/KtUPageOutProgress.h>

#include "platform/export.h"

namespace ktu::page {

/// Criterion of the hard process limit: met when the (expensive) private
/// memory query is allowed and shows the process below its zone.
class HardMemoryLimitProgress : public KtUPageOutProgress {
public:
    HardMemoryLimitProgress() : KtUPageOutProgress(1) {}
    int Test(int expensive_ok) override;
};

/// Criterion of the alloc limit: met when allocated memory is below the alloc target.
class AllocMemoryLimitProgress : public KtUPageOutProgress {
public:
    AllocMemoryLimitProgress() : KtUPageOutProgress(1) {}
    int Test(int expensive_ok) override;
};

/// Criterion of the stress test: never met, so every page-out runs all passes.
class StressTestProgress : public KtUPageOutProgress {
public:
    StressTestProgress() : KtUPageOutProgress(1) {}
    int Test(int) override { return 0; }
};

/// Met once the spare malloc region is held again and the wrapped criterion
/// (if any) is met too.
class RecoverMallocRegionProgress : public KtUPageOutProgress {
public:
    RecoverMallocRegionProgress() : KtUPageOutProgress(1) {}
    int Test(int expensive_ok) override;
    void Wrap(KtUPageOutProgress* inner) {
        m_inner = inner;
        m_reserved = false;
    }
    KtUPageOutProgress* Inner() const { return m_inner; }

private:
    KtUPageOutProgress* m_inner = nullptr;
    bool m_reserved = false;
};

/// How long a private-memory reading may be reused by the budget checks (ns).
constexpr unsigned long long kPrivateMemoryMaxAge = 20'000'000;

/// The memory manager's new handler while KtUPage is initialised.
KTU_INTERNAL_API int PageOutNewHandler(unsigned int size, int try_only);

} // namespace ktu::page

#endif // KTUTIL_PAGE_STATE_H

//===- KtUPageOut.h - A host object that can free memory on request -------===//
//
// A host derives from KtUPageOut for each cache or model store that can write
// its data out (or drop it) and free the memory, and registers it with
// KtUPage::AddPageOut. A page-out calls it once per pass until the progress
// object says enough was freed.
//
//   class ModelCache : public KtUPageOut {
//       int PageOut(KtUPage::Context, KtUPage::Action, int, int pass,
//                   KtUPageOutProgress* progress) override {
//           while (FreeOneBlock())
//               if (progress && progress->ShouldStop(1)) return 0;
//           return 1;                            // nothing more to give
//       }
//   };
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUPAGEOUT_H
#define KTUTIL_KTUPAGEOUT_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUPage.h>

class KtUPageOutProgress;

/// Host interface: frees memory when asked.
class KTU_API KtUPageOut {
public:
    virtual ~KtUPageOut();
    /// Frees what it can in this pass (0 to 9; later passes may be harsher).
    /// `reserved` is always 0. Returns 0 while it may free more, non-zero
    /// when it has nothing more to give.
    virtual int PageOut(KtUPage::Context context, KtUPage::Action action, int reserved, int pass,
                        KtUPageOutProgress* progress) = 0;
};

#endif // KTUTIL_KTUPAGEOUT_H

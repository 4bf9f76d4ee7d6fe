//===- KtUWideStrVoidPtrDictIt.h - Iterator of KtUWideStrVoidPtrDict --------===//
//
//   for (KtUWideStrVoidPtrDictIt it = dict.Begin(); it.IsValid(); it.Next()) ...
//
// Visits every element once in table order, then becomes invalid. Changing
// the dictionary while iterating (other than through EditValue) invalidates
// the iterator.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUWIDESTRVOIDPTRDICTIT_H
#define KTUTIL_KTUWIDESTRVOIDPTRDICTIT_H

#include <ktutil/KtUHashDict.h>

/// Iterator of KtUWideStrVoidPtrDict and KtUWideTempStrVoidPtrDict.
class KtUWideStrVoidPtrDictIt : public KtUHashDictIt<const KtUWChar*> {
public:
    KtUWideStrVoidPtrDictIt() = default;
    KtUWideStrVoidPtrDictIt(const KtUHashDictIt<const KtUWChar*>& it) : KtUHashDictIt(it) {}
};

#endif // KTUTIL_KTUWIDESTRVOIDPTRDICTIT_H

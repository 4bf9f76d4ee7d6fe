//===- KtUStrVoidPtrDictIt.h - Iterator of KtUStrVoidPtrDict ----------------===//
//
//   for (KtUStrVoidPtrDictIt it = dict.Begin(); it.IsValid(); it.Next()) ...
//
// Visits every element once in table order, then becomes invalid. Changing
// the dictionary while iterating (other than through EditValue) invalidates
// the iterator.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTRVOIDPTRDICTIT_H
#define KTUTIL_KTUSTRVOIDPTRDICTIT_H

#include <ktutil/KtUHashDict.h>

/// Iterator of KtUStrVoidPtrDict and KtUTempStrVoidPtrDict.
class KtUStrVoidPtrDictIt : public KtUHashDictIt<const char*> {
public:
    KtUStrVoidPtrDictIt() = default;
    KtUStrVoidPtrDictIt(const KtUHashDictIt<const char*>& it) : KtUHashDictIt(it) {}
};

#endif // KTUTIL_KTUSTRVOIDPTRDICTIT_H

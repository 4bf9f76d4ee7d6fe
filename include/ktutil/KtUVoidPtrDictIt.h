//===- KtUVoidPtrDictIt.h - Iterator of KtUVoidPtrDict ----------------------===//
//
//   for (KtUVoidPtrDictIt it = dict.Begin(); it.IsValid(); it.Next()) ...
//
// Visits every element once in table order, then becomes invalid. Changing
// the dictionary while iterating (other than through EditValue) invalidates
// the iterator.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUVOIDPTRDICTIT_H
#define KTUTIL_KTUVOIDPTRDICTIT_H

#include <ktutil/KtUHashDict.h>

/// Iterator of KtUVoidPtrDict.
class KtUVoidPtrDictIt : public KtUHashDictIt<void*> {
public:
    KtUVoidPtrDictIt() = default;
    KtUVoidPtrDictIt(const KtUHashDictIt<void*>& it) : KtUHashDictIt(it) {}
};

#endif // KTUTIL_KTUVOIDPTRDICTIT_H

//===- KtUTempStrVoidPtrDict.h - Dictionary from borrowed narrow text to void* ---===//
//
// Keys are narrow texts compared by content that the caller keeps alive
// while they are in the dictionary (no copies are made).
//
//   KtUTempStrVoidPtrDict d;  d.Enter(kStaticName, value);
//
// Thread safety: none; a dictionary is used by one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUTEMPSTRVOIDPTRDICT_H
#define KTUTIL_KTUTEMPSTRVOIDPTRDICT_H

#include <ktutil/KtUHashDict.h>

/// Dictionary from borrowed narrow text to an untyped value.
class KtUTempStrVoidPtrDict : public KtUHashDict<ktu::dict::KeyKind::eTempStr, const char*> {
public:
    using KtUHashDict::KtUHashDict;
};

#endif // KTUTIL_KTUTEMPSTRVOIDPTRDICT_H

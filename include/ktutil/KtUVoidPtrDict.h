//===- KtUVoidPtrDict.h - Dictionary from a pointer to void* ----------------===//
//
// Keys are pointers, compared and hashed by value.
//
//   KtUVoidPtrDict seen;  seen.Enter(object, nullptr);
//
// Thread safety: none; a dictionary is used by one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUVOIDPTRDICT_H
#define KTUTIL_KTUVOIDPTRDICT_H

#include <ktutil/KtUHashDict.h>

/// Dictionary from a pointer value to an untyped value.
class KtUVoidPtrDict : public KtUHashDict<ktu::dict::KeyKind::ePointer, void*> {
public:
    using KtUHashDict::KtUHashDict;
};

#endif // KTUTIL_KTUVOIDPTRDICT_H

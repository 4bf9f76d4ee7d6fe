//===- KtUStrVoidPtrDict.h - Dictionary from narrow text to void* -----------===//
//
// Keys are UTF-8 texts compared by content; the dictionary keeps its own
// copy of every key and frees it when the key is removed.
//
//   KtUStrVoidPtrDict d;  d.Enter(name, value);  // name may be freed afterwards
//
// Thread safety: none; a dictionary is used by one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTRVOIDPTRDICT_H
#define KTUTIL_KTUSTRVOIDPTRDICT_H

#include <ktutil/KtUHashDict.h>

/// Dictionary from narrow text (own copies) to an untyped value.
class KtUStrVoidPtrDict : public KtUHashDict<ktu::dict::KeyKind::eOwnedStr, const char*> {
public:
    using KtUHashDict::KtUHashDict;
};

#endif // KTUTIL_KTUSTRVOIDPTRDICT_H

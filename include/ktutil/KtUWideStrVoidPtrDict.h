//===- KtUWideStrVoidPtrDict.h - Dictionary from UTF-16 text to void* -------===//
//
// Keys are UTF-16 texts compared by content; the dictionary keeps its own
// copy of every key.
//
//   KtUWideStrVoidPtrDict d;  d.MakeUniqueName(&out, u"Box", nullptr);
//
// Thread safety: none; a dictionary is used by one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUWIDESTRVOIDPTRDICT_H
#define KTUTIL_KTUWIDESTRVOIDPTRDICT_H

#include <ktutil/KtUHashDict.h>

class KtUWideStringBuffer;

/// Dictionary from UTF-16 text (own copies) to an untyped value.
class KTU_API KtUWideStrVoidPtrDict
    : public KtUHashDict<ktu::dict::KeyKind::eOwnedWideStr, const KtUWChar*> {
public:
    using KtUHashDict::KtUHashDict;

    /// A key that is not in the dictionary, formed from name (and qualifier):
    /// "Box" gives "Box (1)", "Box (2)" gives "Box (3)". Returns 0 when name
    /// itself is free (out is name), else 1. The dictionary is not changed.
    int MakeUniqueName(KtUWideStringBuffer* out, const KtUWChar* name,
                       const KtUWChar* qualifier) const;
};

#endif // KTUTIL_KTUWIDESTRVOIDPTRDICT_H

//===- KtUWideTempStrVoidPtrDict.h - Dictionary from borrowed UTF-16 text to void* ---===//
//
// Keys are UTF-16 texts compared by content that the caller keeps alive.
//
//   KtUWideTempStrVoidPtrDict d;  d.Enter(u"fixed", value);
//
// Thread safety: none; a dictionary is used by one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUWIDETEMPSTRVOIDPTRDICT_H
#define KTUTIL_KTUWIDETEMPSTRVOIDPTRDICT_H

#include <ktutil/KtUHashDict.h>

class KtUWideStringBuffer;

/// Dictionary from borrowed UTF-16 text to an untyped value.
class KTU_API KtUWideTempStrVoidPtrDict
    : public KtUHashDict<ktu::dict::KeyKind::eTempWideStr, const KtUWChar*> {
public:
    using KtUHashDict::KtUHashDict;

    /// A key that is not in the dictionary, formed from name (and qualifier):
    /// "Box" gives "Box (1)", "Box (2)" gives "Box (3)". Returns 0 when name
    /// itself is free (out is name), else 1. The dictionary is not changed.
    int MakeUniqueName(KtUWideStringBuffer* out, const KtUWChar* name,
                       const KtUWChar* qualifier) const;
};

#endif // KTUTIL_KTUWIDETEMPSTRVOIDPTRDICT_H

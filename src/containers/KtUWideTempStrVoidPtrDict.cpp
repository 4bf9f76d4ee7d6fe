//===- KtUWideTempStrVoidPtrDict.cpp - Unique names for the wide-text dictionary ===//
#include <ktutil/KtUWideTempStrVoidPtrDict.h>

#include "containers/dict_names.h"

int KtUWideTempStrVoidPtrDict::MakeUniqueName(KtUWideStringBuffer* out, const KtUWChar* name,
                                              const KtUWChar* qualifier) const {
    return ktu::dict::MakeUniqueName(
        out, name, qualifier,
        [](const void* dict, const KtUWChar* key) {
            return static_cast<const KtUWideTempStrVoidPtrDict*>(dict)->Find(key, nullptr) != 0;
        },
        this);
}

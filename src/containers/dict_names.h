//===- dict_names.h - Unique names over a wide-text dictionary ------------===//
#ifndef KTUTIL_DICT_NAMES_H
#define KTUTIL_DICT_NAMES_H

#include <ktutil/KtUDefs.h>

class KtUWideStringBuffer;

namespace ktu::dict {

/// The MakeUniqueName rule of the wide-text dictionaries; is_key tells
/// whether a text is a key of the dictionary.
int MakeUniqueName(KtUWideStringBuffer* out, const KtUWChar* name, const KtUWChar* qualifier,
                   bool (*is_key)(const void* dict, const KtUWChar* key), const void* dict);

} // namespace ktu::dict

#endif // KTUTIL_DICT_NAMES_H

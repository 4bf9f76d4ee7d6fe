//===- KtUWideStringHasher.h - Hash functor for UTF-16 strings ------------===//
#ifndef KTUTIL_KTUWIDESTRINGHASHER_H
#define KTUTIL_KTUWIDESTRINGHASHER_H

#include <ktutil/KtUWideString.h>

/// Hashes a KtUWideString with KtUWideString::Hash, for dictionaries.
class KtUWideStringHasher {
public:
    unsigned int operator()(const KtUWideString& s) const {
        return KtUWideString::Hash(s.GetString());
    }
};

#endif // KTUTIL_KTUWIDESTRINGHASHER_H

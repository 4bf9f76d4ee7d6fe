//===- KtUStringHasher.h - Hash functor for narrow strings ----------------===//
#ifndef KTUTIL_KTUSTRINGHASHER_H
#define KTUTIL_KTUSTRINGHASHER_H

#include <ktutil/KtUString.h>

/// Hashes a KtUString with KtUString::Hash (h * 5 + c), for dictionaries.
class KtUStringHasher {
public:
    unsigned int operator()(const KtUString& s) const { return KtUString::Hash(s.GetString()); }
};

#endif // KTUTIL_KTUSTRINGHASHER_H

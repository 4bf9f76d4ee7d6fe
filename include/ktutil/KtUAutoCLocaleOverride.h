//===- KtUAutoCLocaleOverride.h - The "C" locale for a scope --------------===//
//
// KtUAutoCLocaleOverride puts the process in the "C" locale for the life of
// the object, so that numbers are read and written with a "." decimal point
// whatever the user's locale:
//
//   {
//       KtUAutoCLocaleOverride c_numbers(KtUAutoLocaleOverride::eNUMERIC);
//       std::snprintf(text, sizeof text, "%g", 1.5);   // "1.5"
//   }
//
// Thread safety: as KtUAutoLocaleOverride.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUAUTOCLOCALEOVERRIDE_H
#define KTUTIL_KTUAUTOCLOCALEOVERRIDE_H

#include <ktutil/KtUAutoLocaleOverride.h>

/// The "C" locale in one category (or all) for a scope.
class KTU_API KtUAutoCLocaleOverride : public KtUAutoLocaleOverride {
public:
    /// All categories.
    KtUAutoCLocaleOverride() : KtUAutoLocaleOverride(eALL, "C") {}
    explicit KtUAutoCLocaleOverride(int category) : KtUAutoLocaleOverride(category, "C") {}
};

#endif // KTUTIL_KTUAUTOCLOCALEOVERRIDE_H

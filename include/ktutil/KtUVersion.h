//===- KtUVersion.h - Library version -------------------------------------===//
#ifndef KTUTIL_KTUVERSION_H
#define KTUTIL_KTUVERSION_H

#include <ktutil/KtUDefs.h>

/// The version of the library the caller runs against, as "major.minor.patch".
extern "C" KTU_API const char* KtUGetVersion();

#endif // KTUTIL_KTUVERSION_H

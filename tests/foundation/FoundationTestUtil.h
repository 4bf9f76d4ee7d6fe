//===- FoundationTestUtil.h - Helpers shared by the foundation tests ------===//
#ifndef KTUTIL_TESTS_FOUNDATIONTESTUTIL_H
#define KTUTIL_TESTS_FOUNDATIONTESTUTIL_H

#include <ktutil/KtUComponent.h>
#include <ktutil/KtUSysError.h>

#include "common/TestLog.h"

#include <string>
#include <vector>

namespace ktutest {

inline std::string Narrow(const KtUWChar* s) {
    std::string out;
    for (; s && *s; ++s)
        out.push_back(static_cast<char>(*s));
    return out;
}

inline std::u16string Wide(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

} // namespace ktutest

#endif

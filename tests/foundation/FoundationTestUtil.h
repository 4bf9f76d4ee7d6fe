//===- FoundationTestUtil.h - Helpers shared by the foundation tests ------===//
#ifndef KTUTIL_TESTS_FOUNDATIONTESTUTIL_H
#define KTUTIL_TESTS_FOUNDATIONTESTUTIL_H

#include <ktutil/KtUComponent.h>
#include <ktutil/KtUSysError.h>

#include <string>
#include <vector>

namespace ktutest {

/// The whole process log in read-out order.
inline std::string LogText() {
    std::string text;
    KtUSysError::OutputLogBuffer(
        [](const char* piece, void* data) { static_cast<std::string*>(data)->append(piece); },
        &text);
    return text;
}

/// The process log as the list of pieces OutputLogBuffer hands out.
inline std::vector<std::string> LogPieces() {
    std::vector<std::string> pieces;
    KtUSysError::OutputLogBuffer(
        [](const char* piece, void* data) {
            static_cast<std::vector<std::string>*>(data)->push_back(piece);
        },
        &pieces);
    return pieces;
}

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

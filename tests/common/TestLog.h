//===- TestLog.h - The process log as test programs read it ---------------===//
#ifndef KTUTIL_TESTS_COMMON_TESTLOG_H
#define KTUTIL_TESTS_COMMON_TESTLOG_H

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

} // namespace ktutest

#endif // KTUTIL_TESTS_COMMON_TESTLOG_H

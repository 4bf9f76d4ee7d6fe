//===- file_handles.h - Directory entries for the KtUSys file classes -----===//
#ifndef KTUTIL_SYSTEM_FILE_HANDLES_H
#define KTUTIL_SYSTEM_FILE_HANDLES_H

class KtUSysFileHandle;

namespace ktu::system {

/// A handle for the UTF-8 path full whose last component is name, holding one
/// reference; null when the entry does not exist (any more).
KtUSysFileHandle* MakeFileHandle(const char* full, const char* name);

} // namespace ktu::system

#endif // KTUTIL_SYSTEM_FILE_HANDLES_H

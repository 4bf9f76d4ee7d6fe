//===- sys_file.h - File-system helpers shared by the KtUSys file classes -===//
#ifndef KTUTIL_SYS_FILE_H
#define KTUTIL_SYS_FILE_H

class KtUSysFileHandle;

namespace ktu::sys {

/// A handle for the UTF-8 path full whose last component is name, holding one
/// reference; null when the entry does not exist (any more).
KtUSysFileHandle* MakeFileHandle(const char* full, const char* name);

} // namespace ktu::sys

#endif // KTUTIL_SYS_FILE_H

//===- KtUSysFileHandle.cpp - One entry of a directory listing ------------===//
#include <ktutil/KtUSysFileHandle.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "system/file_handles.h"

#include <sys/stat.h>

KtUSysFileHandle::KtUSysFileHandle(const KtUWChar* name, const KtUWChar* full, KtUNat64 size,
                                   KtUInt64 time, bool directory)
    : m_name(name), m_full(full), m_size(size), m_time(time), m_directory(directory) {}

void KtUSysFileHandle::Unref() {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

KtUSysFileHandle* ktu::sys::MakeFileHandle(const char* full, const char* name) {
    struct stat st;
    // A dangling symbolic link is still an entry: describe the link itself.
    if (::stat(full, &st) != 0 && ::lstat(full, &st) != 0) return nullptr;
    KtUWideStringBuffer wname, wfull;
    wname.SetFromUTF8String(name);
    wfull.SetFromUTF8String(full);
    bool dir = S_ISDIR(st.st_mode);
    auto* handle = new KtUSysFileHandle(
        wname.GetString() ? wname.GetString() : u"", wfull.GetString(),
        dir ? 0 : static_cast<KtUNat64>(st.st_size), static_cast<KtUInt64>(st.st_mtim.tv_sec), dir);
    if (handle) handle->Ref();
    return handle;
}

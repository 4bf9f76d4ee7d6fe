//===- KtUSysFileHandle.cpp - One entry of a directory listing ------------===//
#include <ktutil/KtUSysFileHandle.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "platform/file.h"
#include "system/file_handles.h"

KtUSysFileHandle::KtUSysFileHandle(const KtUWChar* name, const KtUWChar* full, KtUNat64 size,
                                   KtUInt64 time, bool directory)
    : m_name(name), m_full(full), m_size(size), m_time(time), m_directory(directory) {}

void KtUSysFileHandle::Unref() {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

KtUSysFileHandle* ktu::system::MakeFileHandle(const char* full, const char* name) {
    ktu::sys::FileInfo st;
    // A dangling symbolic link is still an entry: describe the link itself.
    if (!ktu::sys::StatPath(full, &st) && !ktu::sys::StatLink(full, &st)) return nullptr;
    KtUWideStringBuffer wname, wfull;
    wname.SetFromUTF8String(name);
    wfull.SetFromUTF8String(full);
    bool dir = st.directory;
    auto* handle = new KtUSysFileHandle(wname.GetString() ? wname.GetString() : u"",
                                        wfull.GetString(), dir ? 0 : static_cast<KtUNat64>(st.size),
                                        static_cast<KtUInt64>(st.modified_sec), dir);
    if (handle) handle->Ref();
    return handle;
}

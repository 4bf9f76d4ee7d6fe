//===- KtUSysDirHandle.cpp - A listing of one directory -------------------===//
#include <ktutil/KtUSysDirHandle.h>
#include <ktutil/KtUSysFileHandle.h>

#include "platform/file.h"
#include "system/file_handles.h"

#include <cstdlib>
#include <cstring>
#include <string>

using ktu::sys::DirectoryListing;

KtUSysDirHandle::KtUSysDirHandle(const char* dir, const char* pattern) {
    if (!dir || !*dir) return;
    m_dir = ktu::sys::OpenDirectory(dir);
    if (!m_dir) return;
    m_path = ::strdup(dir);
    if (pattern && *pattern) m_pattern = ::strdup(pattern);
    Next();
}

KtUSysDirHandle::~KtUSysDirHandle() {
    if (m_current) m_current->Unref();
    ktu::sys::CloseDirectory(static_cast<DirectoryListing*>(m_dir));
    std::free(m_path);
    std::free(m_pattern);
}

KtUSysFileHandle* KtUSysDirHandle::OpenFile() const {
    if (m_current) m_current->Ref();
    return m_current;
}

bool KtUSysDirHandle::Next() {
    if (m_current) {
        m_current->Unref();
        m_current = nullptr;
    }
    if (!m_dir) return false;
    auto* listing = static_cast<DirectoryListing*>(m_dir);
    while (const char* name = ktu::sys::NextEntry(listing)) {
        if (m_pattern && !ktu::sys::NameMatches(m_pattern, name)) continue;
        std::string full(m_path);
        if (full.back() != '/') full.push_back('/');
        full += name;
        m_current = ktu::system::MakeFileHandle(full.c_str(), name);
        if (m_current) return true;
    }
    return false;
}

//===- KtUSysDirHandle.cpp - A listing of one directory -------------------===//
#include <ktutil/KtUSysDirHandle.h>
#include <ktutil/KtUSysFileHandle.h>

#include "system/file_handles.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <string>

KtUSysDirHandle::KtUSysDirHandle(const char* dir, const char* pattern) {
    if (!dir || !*dir) return;
    m_dir = ::opendir(dir);
    if (!m_dir) return;
    m_path = ::strdup(dir);
    if (pattern && *pattern) m_pattern = ::strdup(pattern);
    Next();
}

KtUSysDirHandle::~KtUSysDirHandle() {
    if (m_current) m_current->Unref();
    if (m_dir) ::closedir(static_cast<DIR*>(m_dir));
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
    while (dirent* entry = ::readdir(static_cast<DIR*>(m_dir))) {
        const char* name = entry->d_name;
        if (!std::strcmp(name, ".") || !std::strcmp(name, "..")) continue;
        if (m_pattern && ::fnmatch(m_pattern, name, 0) != 0) continue;
        std::string full(m_path);
        if (full.back() != '/') full.push_back('/');
        full += name;
        m_current = ktu::sys::MakeFileHandle(full.c_str(), name);
        if (m_current) return true;
    }
    return false;
}

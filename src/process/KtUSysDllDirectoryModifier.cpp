//===- KtUSysDllDirectoryModifier.cpp - ktutil's library directory --------===//
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysDllDirectoryModifier.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "process/lib_search.h"

#include <cstring>
#include <mutex>

namespace {

std::mutex s_lock;
// The library directory; empty when there is none.
KtUWChar s_directory[KtUSysDllDirectoryModifier::kMaxDirectory + 1];

void Copy(KtUWChar* to, const KtUWChar* from) {
    int n = 0;
    if (from)
        for (; n < KtUSysDllDirectoryModifier::kMaxDirectory && from[n]; ++n)
            to[n] = from[n];
    to[n] = 0;
}

} // namespace

KtUSysDllDirectoryModifier::KtUSysDllDirectoryModifier(const KtUWChar* dir) {
    std::lock_guard<std::mutex> lock(s_lock);
    Copy(m_saved, s_directory);
    Copy(s_directory, dir);
}

KtUSysDllDirectoryModifier::~KtUSysDllDirectoryModifier() {
    std::lock_guard<std::mutex> lock(s_lock);
    Copy(s_directory, m_saved);
}

void KtUSysDllDirectoryModifier::GetDirectoryW(KtUWideStringBuffer* out) {
    if (!out) return;
    std::lock_guard<std::mutex> lock(s_lock);
    out->SetString(s_directory);
}

std::string ktu::process::LibraryDirectory() {
    KtUWideStringBuffer wide;
    KtUSysDllDirectoryModifier::GetDirectoryW(&wide);
    if (wide.IsEmpty()) return std::string();
    KtUStringBuffer narrow;
    wide.ExtractUTF8String(&narrow);
    return narrow.GetString() ? narrow.GetString() : "";
}

//===- KtUSwigOptionSet.cpp - Base for option sets of a scripting binding -===//
#include <ktutil/KtUSwigOptionSet.h>

#include <cstdlib>

KtUSwigOptionSet::~KtUSwigOptionSet() = default;

int KtUSwigOptionSet::HasOptionsForProfile(Profile profile) {
    return KtUOptionSet::HasOptionsForProfile(profile);
}

int KtUSwigOptionSet::HasSubOptionsForProfile(Profile profile) {
    return KtUOptionSet::HasSubOptionsForProfile(profile);
}

const KtUWChar* KtUSwigOptionSet::GetUserName(int index) {
    return KtUOptionSet::GetUserName(index);
}

int KtUSwigOptionSet::EnumerateNameValues(int index, KtURefPtrVector<KtUName>* out) {
    return KtUOptionSet::EnumerateNameValues(index, out);
}

const char* KtUSwigOptionSet::IGetName(int index) {
    m_name.SetEmptyString();
    IGetNameEx(index, &m_name);
    return m_name.GetString();
}

const char* KtUSwigOptionSet::IGetClassName(int index) {
    m_className.SetEmptyString();
    IGetClassNameEx(index, &m_className);
    return m_className.GetString();
}

void KtUSwigOptionSet::IGetNameEx(int, KtUStringBuffer*) {}

void KtUSwigOptionSet::IGetClassNameEx(int, KtUStringBuffer*) {}

// Bindings create and destroy these objects from the C heap.
void* KtUSwigOptionSet::operator new(std::size_t size) noexcept {
    if (void* block = std::malloc(size)) return block;
    return nullptr;
}

void KtUSwigOptionSet::operator delete(void* block) noexcept {
    std::free(block);
}

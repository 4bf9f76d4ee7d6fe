//===- KtUNameDict.cpp - Interning table of names --------------------------===//
#include <ktutil/KtUName.h>
#include <ktutil/KtUNameDict.h>
#include <ktutil/KtUResource.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

KtUNameDict::KtUNameDict(const KtUNameDict& other) : m_table(other.m_table) {}

KtUNameDict& KtUNameDict::operator=(const KtUNameDict& other) {
    m_table = other.m_table;
    return *this;
}

KtUName* KtUNameDict::Find(const KtUWChar* user, const char* internal) {
    // The user name the constructors would give: the override, else the one
    // passed, else the internal name widened.
    if (internal) {
        if (const KtUWChar* override =
                KtUResource::FindString(internal, static_cast<const KtUWChar*>(nullptr)))
            user = override;
        if (!user) {
            m_derived.SetFromUTF8String(internal);
            if (m_derived.IsNull()) m_derived.SetEmptyString();
            user = m_derived.GetString();
        }
    }
    // Looked up by the raw strings: no key object is built for a name that
    // is already present.
    unsigned int hash = KtUNameVoidPtrDict::Hash(user, internal);
    if (KtUName* found = m_table.FindKey(user, internal, hash)) return found;

    auto* name = new KtUName;
    name->m_internal.SetString(internal);
    name->m_user.SetString(user);
    if (!m_table.Insert(name, nullptr, hash)) {
        delete name; // out of memory, posted by the memory manager
        return nullptr;
    }
    name->Ref();
    return name;
}

KtUName* KtUNameDict::Find(const KtUWideString& user, const char* internal) {
    return Find(user.GetString(), internal);
}

KtUName* KtUNameDict::Find(const KtUWideStringBuffer& user, const char* internal) {
    return Find(user.GetString(), internal);
}

KtUName* KtUNameDict::Find(const KtUWChar* user, const char* internal, KtUNameDict* dict) {
    return dict ? dict->Find(user, internal) : new KtUName(internal, user);
}

KtUName* KtUNameDict::Find(const KtUWideString& user, const char* internal, KtUNameDict* dict) {
    return Find(user.GetString(), internal, dict);
}

KtUName* KtUNameDict::Find(const KtUWideStringBuffer& user, const char* internal,
                           KtUNameDict* dict) {
    return Find(user.GetString(), internal, dict);
}

void KtUNameDict::Clear() {
    m_table.RemoveAll();
}

//===- KtUNameDict.h - Interning table of names ----------------------------===//
//
// A KtUNameDict hands out one shared KtUName per (user name, internal name)
// pair. Find applies the override of the internal name and derives a missing
// user name from the internal one, exactly as the KtUName constructors do, so
// an interned name equals the name the constructor would have made:
//
//   KtUNameDict names;
//   KtUName* a = names.Find(u"Node", "KtOaNode");
//   KtUName* b = names.Find(u"Node", "KtOaNode");   // a == b
//   KtUAutoRefPtr<KtUName> keep(a);                 // Find's result is borrowed
//   names.Clear();                                  // keep still holds a
//
// The static forms take the dictionary as a trailing argument and, when it
// is null, return a new un-interned name (reference count 0) instead.
//
// Finding a name already present allocates nothing. Interned names must not
// be renamed (SetName, SetUserName): other holders share them.
//
// Thread safety: none; a dictionary and its names belong to one thread at a
// time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUNAMEDICT_H
#define KTUTIL_KTUNAMEDICT_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUNameVoidPtrDict.h>
#include <ktutil/KtUWideStringBuffer.h>

class KtUName;
class KtUWideString;

/// Interning table: one reference-counted KtUName per distinct name.
class KTU_API KtUNameDict {
public:
    KtUNameDict() = default;
    /// Shares the interned names of other, one more reference each.
    KtUNameDict(const KtUNameDict& other);
    KtUNameDict& operator=(const KtUNameDict& other);
    ~KtUNameDict() = default;

    /// The interned name (borrowed; the dictionary holds one reference);
    /// null only when memory runs out.
    KtUName* Find(const KtUWChar* user, const char* internal);
    KtUName* Find(const KtUWideString& user, const char* internal);
    KtUName* Find(const KtUWideStringBuffer& user, const char* internal);
    /// As Find on dict; a new name (reference count 0) when dict is null.
    static KtUName* Find(const KtUWChar* user, const char* internal, KtUNameDict* dict);
    static KtUName* Find(const KtUWideString& user, const char* internal, KtUNameDict* dict);
    static KtUName* Find(const KtUWideStringBuffer& user, const char* internal, KtUNameDict* dict);

    /// Releases every interned name.
    void Clear();
    int Size() const { return m_table.Size(); }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    /// The interned names (values unused).
    KtUNameVoidPtrDict m_table;
    /// The user name derived from an internal name, reused between calls.
    KtUWideStringBuffer m_derived;
};

#endif // KTUTIL_KTUNAMEDICT_H

//===- KtUNameVoidPtrDict.h - Dictionary from a name (by value) to void* --===//
//
// Keys are KtUName pointers compared by value (internal and user names), so
// two distinct but equal names are one key. The dictionary holds one
// reference on every key it stores:
//
//   KtUNameVoidPtrDict shapes;
//   shapes.Enter(name, shape);           // 1, and name->Ref()
//   void* found;
//   if (shapes.Find(&equal_name, &found)) ...
//   shapes.Remove(name);                 // the stored key is Unref'd
//
// A key must not be renamed (SetName, SetUserName) while it is stored: it
// would no longer be found under its new value.
//
// Thread safety: none; a dictionary is used by one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUNAMEVOIDPTRDICT_H
#define KTUTIL_KTUNAMEVOIDPTRDICT_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUNameVoidPtrDictIt.h>

class KtUName;

/// Hash table from a KtUName (compared by value) to an untyped value,
/// holding a reference on every key.
class KTU_API KtUNameVoidPtrDict {
public:
    KtUNameVoidPtrDict() = default;
    /// Shares the keys of other, one more reference each.
    KtUNameVoidPtrDict(const KtUNameVoidPtrDict& other);
    KtUNameVoidPtrDict& operator=(const KtUNameVoidPtrDict& other);
    ~KtUNameVoidPtrDict();

    /// 1, taking a reference on key, when no equal name is present; else
    /// replaces the value and returns 0. A null key is refused (0), and so
    /// is a new key when the table cannot grow (memory, posted).
    int Enter(KtUName* key, void* value);
    /// 1 and the value (when value is non-null) when an equal name is present.
    int Find(const KtUName* key, void** value) const;
    /// 1 when an equal name was present; its stored key is released.
    int Remove(const KtUName* key);
    /// Empties the table first, then releases the keys.
    void RemoveAll();
    int IsEmpty() const { return m_count == 0; }
    int Size() const { return static_cast<int>(m_count); }
    /// The first element; invalid when the table is empty.
    KtUNameVoidPtrDictIt Begin() const;
    void Swap(KtUNameVoidPtrDict& other) noexcept;

    /// The hash a name is filed under: h = h * 5 + unit over the user name's
    /// UTF-16 units, then h = h * 5 + byte over the internal name's bytes
    /// taken as signed.
    static unsigned int Hash(const KtUWChar* user, const char* internal);

    /// One stored entry (defined in the library only).
    struct Slot;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    friend class KtUNameDict;
    friend class KtUNameVoidPtrDictIt;

    /// The slot of the name equal to (user, internal), or null.
    Slot* Lookup(const KtUWChar* user, const char* internal, unsigned int hash) const;
    /// The stored key equal to (user, internal), or null.
    KtUName* FindKey(const KtUWChar* user, const char* internal, unsigned int hash) const;
    /// Stores a key known to be absent; takes no reference. False, with
    /// nothing stored, when the table cannot grow (memory).
    bool Insert(KtUName* key, void* value, unsigned int hash);
    bool Grow();

    /// Open addressing with linear probing; a null key marks a free slot.
    Slot* m_slots = nullptr;
    /// A power of two, or 0 before the first Enter.
    unsigned int m_capacity = 0;
    unsigned int m_count = 0;
};

#endif // KTUTIL_KTUNAMEVOIDPTRDICT_H

//===- KtUNameVoidPtrDictIt.h - Iterator of KtUNameVoidPtrDict ------------===//
//
//   for (KtUNameVoidPtrDictIt it = dict.Begin(); it.IsValid(); it.Next())
//       Use(it.GetKey(), it.GetValue());
//
// Visits every element once in table order, then becomes invalid. Entering
// or removing names while iterating invalidates the iterator.
//
// Thread safety: as its dictionary; one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUNAMEVOIDPTRDICTIT_H
#define KTUTIL_KTUNAMEVOIDPTRDICTIT_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUName;
class KtUNameVoidPtrDict;

/// Iterator of KtUNameVoidPtrDict.
class KTU_API KtUNameVoidPtrDictIt {
public:
    KtUNameVoidPtrDictIt() = default;

    bool IsValid() const { return m_dict != nullptr; }
    /// The key (borrowed: the dictionary holds the reference).
    KtUName* GetKey() const;
    void* GetValue() const;
    void Next();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    friend class KtUNameVoidPtrDict;
    KtUNameVoidPtrDictIt(const KtUNameVoidPtrDict* dict, unsigned int index)
        : m_dict(dict), m_index(index) {}

    /// Null once past the last element.
    const KtUNameVoidPtrDict* m_dict = nullptr;
    unsigned int m_index = 0;
};

#endif // KTUTIL_KTUNAMEVOIDPTRDICTIT_H

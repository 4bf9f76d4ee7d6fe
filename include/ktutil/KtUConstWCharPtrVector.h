//===- KtUConstWCharPtrVector.h - Vector of wide-string pointers ----------===//
//
// KtUConstWCharPtrVector holds const KtUWChar* (UTF-16 text) pointers. It has
// the operations of KtUBasicVector (see KtUBasicVector.h) and PushBackCopy,
// which stores a copy of the text that the vector owns:
//
//   KtUConstWCharPtrVector names;
//   names.PushBack(u"literal");         // borrowed: the caller keeps it alive
//   names.PushBackCopy(buffer.GetString());   // owned copy
//   names.Clear();                      // frees the copies too
//
// The copies live as long as the vector: they are freed by the destructor and
// by Clear(), not when their element is erased or overwritten (so a pointer
// read from the vector stays valid until then). Copying the vector copies the
// texts it owns again, so each vector owns its own; borrowed pointers are
// copied as pointers. Call Clear() through this class, not through a
// KtUBasicVector reference, to free the copies.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUCONSTWCHARPTRVECTOR_H
#define KTUTIL_KTUCONSTWCHARPTRVECTOR_H

#include <ktutil/KtUBasicVector.h>

extern template class KtUBasicVector<const KtUWChar*>;

/// Vector of UTF-16 text pointers that owns the copies made by PushBackCopy.
/// Not thread-safe: one thread at a time per vector.
class KTU_API KtUConstWCharPtrVector : public KtUBasicVector<const KtUWChar*> {
public:
    KtUConstWCharPtrVector() = default;
    KtUConstWCharPtrVector(const KtUWChar* const* first, const KtUWChar* const* last)
        : KtUBasicVector(first, last) {}
    KtUConstWCharPtrVector(const KtUConstWCharPtrVector& other);
    ~KtUConstWCharPtrVector();
    KtUConstWCharPtrVector& operator=(const KtUConstWCharPtrVector& other);

    /// Appends a copy of text owned by the vector (null appends null).
    void PushBackCopy(const KtUWChar* text);
    /// Size 0 and the owned copies freed; the capacity is kept.
    void Clear();
    void Swap(KtUConstWCharPtrVector& other) noexcept;
    void SetFrom(const KtUConstWCharPtrVector& other);
    /// Number of texts the vector owns.
    int GetNumCopies() const { return m_copies.Size(); }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    void FreeCopies();

    KtUBasicVector<const KtUWChar*> m_copies;
};

#endif // KTUTIL_KTUCONSTWCHARPTRVECTOR_H

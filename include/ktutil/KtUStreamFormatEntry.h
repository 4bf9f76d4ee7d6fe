//===- KtUStreamFormatEntry.h - One object class of a stream format -------===//
//
// An entry holds how one class of objects is written, created, read and
// disposed of, its class name and its parent entry. Entries live in a
// KtUStreamFormat, which sets them with SetEntry:
//
//   format.SetEntry(kPart, WritePart, CreatePart, ReadPart, "Part", -1);
//   format.EditEntry(kPart)->SetDisposeMethod(DisposePart);
//
// Thread safety: a plain value, as its format.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMFORMATENTRY_H
#define KTUTIL_KTUSTREAMFORMATENTRY_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUReadStream;
class KtUWriteStream;

/// The methods, name and place in the class tree of one object class.
class KTU_API KtUStreamFormatEntry {
public:
    /// Writes the object's body; non-zero for success.
    typedef int (*WriteMethod)(KtUWriteStream* stream, int entry, const void* object);
    /// Makes an empty object; null for failure.
    typedef void* (*CreateMethod)(KtUReadStream* stream, int entry);
    /// Reads the body into the object; non-zero for success.
    typedef int (*ReadMethod)(KtUReadStream* stream, int entry, void* object);
    /// Called for each object read when the reader ends; its result is ignored.
    typedef int (*DisposeMethod)(KtUReadStream* stream, int entry, void* object);

    /// Parent value of a root class.
    static constexpr int kRoot = -1;
    /// Parent value of an unused slot.
    static constexpr int kEmpty = -3;
    /// Substitute values: the entry's own methods apply / no usable ancestor.
    static constexpr int kOwnMethods = -1;
    static constexpr int kNoAncestor = -2;

    KtUStreamFormatEntry() = default;
    KtUStreamFormatEntry(const KtUStreamFormatEntry& other);
    KtUStreamFormatEntry& operator=(const KtUStreamFormatEntry& other);
    ~KtUStreamFormatEntry();

    WriteMethod GetWriteMethod() const { return m_write; }
    CreateMethod GetCreateMethod() const { return m_create; }
    ReadMethod GetReadMethod() const { return m_read; }
    DisposeMethod GetDisposeMethod() const { return m_dispose; }
    void SetWriteMethod(WriteMethod method) { m_write = method; }
    void SetCreateMethod(CreateMethod method) { m_create = method; }
    void SetReadMethod(ReadMethod method) { m_read = method; }
    void SetDisposeMethod(DisposeMethod method) { m_dispose = method; }
    /// The class name (owned copy); may be null.
    const char* GetName() const { return m_name; }
    void SetName(const char* name);
    /// kRoot, kEmpty or the index of the entry this one derives from.
    int GetParent() const { return m_parent; }
    void SetParent(int parent) { m_parent = parent; }
    /// kOwnMethods, kNoAncestor or the index of the ancestor whose methods
    /// were copied into this entry (readers meeting unknown classes).
    int GetSubstitute() const { return m_substitute; }
    void SetSubstitute(int substitute) { m_substitute = substitute; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    WriteMethod m_write = nullptr;
    CreateMethod m_create = nullptr;
    ReadMethod m_read = nullptr;
    DisposeMethod m_dispose = nullptr;
    char* m_name = nullptr;
    int m_parent = kEmpty;
    int m_substitute = kOwnMethods;
};

#endif // KTUTIL_KTUSTREAMFORMATENTRY_H

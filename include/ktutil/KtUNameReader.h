//===- KtUNameReader.h - Reads a name into a variable, optionally interned -===//
//
// KtUNameReader reads one name through the host's name reader callback
// (KtUName::SetReadWriteCallbacks) into a caller's KtUName* variable:
//
//   KtUName* label = nullptr;
//   stream >> KtUNameReader(label, &names, true);  // interned, one reference held
//   ...
//   if (label) label->Unref();
//
// With a dictionary the name read is interned there and the read copy is
// released. With take_reference the variable holds a reference: the new name
// is referenced and the name the variable held before is released. Without
// a reader callback the stream fails with KtUStream::ePARSE_ERROR (16) and
// the variable becomes null.
//
// Thread safety: none; as the stream and the dictionary.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUNAMEREADER_H
#define KTUTIL_KTUNAMEREADER_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUName;
class KtUNameDict;
class KtUReadStream;

/// Reads one name into a KtUName* variable.
class KTU_API KtUNameReader {
public:
    /// dict may be null (the name read is stored as it is).
    KtUNameReader(KtUName*& target, KtUNameDict* dict, bool take_reference)
        : m_target(target), m_dict(dict), m_take_reference(take_reference) {}

    void operator()(KtUReadStream& stream) const;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUName*& m_target;
    KtUNameDict* m_dict;
    bool m_take_reference;
};

KTU_API KtUReadStream& operator>>(KtUReadStream& stream, const KtUNameReader& reader);

#endif // KTUTIL_KTUNAMEREADER_H

//===- KtUStreamFormat.h - The object classes of one kind of document -----===//
//
// A format tells typed streams how to write and rebuild the objects of one
// kind of document: a named, versioned table of entries, one per class.
//
//   static KtUStreamFormat s_format("parts", 1);       // extendable
//   s_format.SetVersion(3);
//   s_format.SetNumEntries(2);
//   s_format.SetEntry(0, WriteAssembly, CreateAssembly, ReadAssembly, "Assembly", -1);
//   s_format.SetEntry(1, WriteWeld, CreateWeld, ReadWeld, "Weld", 0);  // derives from 0
//
//   out.SetFormat(&s_format);          // the header names "parts"
//   in.AddAvailableFormat(&s_format);  // a reader picks it by that name
//
// Root entries (parent -1) are identified by their index alone. Derived
// entries travel with the stream's extension table (index, name, parent), so
// that a reader built from another version of the program can match them by
// name, and one that does not know them at all reads them through their
// nearest known ancestor and keeps the rest as KtUStreamExtData.
//
// The writer stores the name, never the version; a reader meeting an unknown
// name asks each available format's earlier-version callback whether the
// name is an older name of its own, and which version the data then has.
//
// Thread safety: configure a format before streams use it; streams only read
// it, so several threads may then share one.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMFORMAT_H
#define KTUTIL_KTUSTREAMFORMAT_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUStreamFormatEntry.h>

/// A named, versioned table of object classes (entries).
class KTU_API KtUStreamFormat {
public:
    /// Accepts an older format name: non-zero when name is one, with the
    /// version of such data stored in *version.
    typedef int (*EarlierVersionCB)(const KtUStreamFormat* format, const char* name, int* version);

    /// name is stored, not copied: it must outlive the format.
    KtUStreamFormat(const char* name, int extendable);
    KtUStreamFormat(const KtUStreamFormat& other);
    KtUStreamFormat& operator=(const KtUStreamFormat& other);
    ~KtUStreamFormat();

    const char* GetName() const { return m_name; }
    void SetName(const char* name) { m_name = name; }
    int GetVersion() const { return m_version; }
    void SetVersion(int version) { m_version = version; }
    EarlierVersionCB GetEarlierVersionCB() const { return m_earlier; }
    void SetEarlierVersionCB(EarlierVersionCB cb) { m_earlier = cb; }
    int IsExtendable() const { return m_extendable; }

    int GetNumEntries() const { return m_count; }
    /// Grows the table with empty entries (parent -3) or shrinks it. Returns
    /// 0 when the table cannot grow (memory), leaving it as it was.
    int SetNumEntries(int count);
    /// Sets the methods, a copy of name and the parent of entry index, and
    /// resets its substitute; the dispose method stays as it was.
    void SetEntry(int index, KtUStreamFormatEntry::WriteMethod write,
                  KtUStreamFormatEntry::CreateMethod create, KtUStreamFormatEntry::ReadMethod read,
                  const char* name, int parent);
    /// index must lie in 0..GetNumEntries()-1.
    const KtUStreamFormatEntry& GetEntry(int index) const { return m_entries[index]; }
    KtUStreamFormatEntry* EditEntry(int index) { return &m_entries[index]; }
    /// The lowest index whose name equals name (case-sensitive; null matches
    /// null), or -1.
    int FindEntry(const char* name) const;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    void CopyFrom(const KtUStreamFormat& other);

    const char* m_name;
    int m_version = 0;
    EarlierVersionCB m_earlier = nullptr;
    int m_extendable;
    KtUStreamFormatEntry* m_entries = nullptr;
    int m_count = 0;
    int m_capacity = 0;
};

#endif // KTUTIL_KTUSTREAMFORMAT_H

//===- KtUReadStream.h - Typed values and object graphs from a sink -------===//
//
// KtUReadStream reads what KtUWriteStream wrote, in the same encoding, and
// checks it as it goes: the header, the debug tokens, padding, lengths and
// object ids.
//
//   KtUStreamFile file(u"model.bin");
//   KtUReadStream in(&file);
//   in.AddAvailableFormat(&s_format);  // formats the header may name
//   in.AddAvailableFilter(&cipher);    // filters the header may name
//   if (!in.Begin(1, 1)) return;       // header and extension table
//   int count = in.ReadInt32();
//   double scale; KtUString name; KtUWideString wide;
//   in >> scale >> name >> wide;
//   in.ReadDoubleArray(points, 3 * n); // the count must be the one written
//   void* root = in.ReadObject();      // through the format's entries
//   if (!in.End(1)) report(in.GetError());   // 1: check the end too
//
// The caller knows what comes next: a read of another type than was written
// is a parse error in debug streams and garbage otherwise. After an error
// every read returns 0 (or null) and End returns 0. Objects of classes the
// reader's format lacks are read through their nearest known ancestor and the
// rest of their data is kept (ReadObjectExt, KtUStreamExtData).
//
// Thread safety: one thread at a time per stream.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUREADSTREAM_H
#define KTUTIL_KTUREADSTREAM_H

#include <ktutil/KtUInt32Vector.h>
#include <ktutil/KtUPtrVector.h>
#include <ktutil/KtUStream.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUVoidPtrVector.h>
#include <ktutil/KtUWideStringBuffer.h>

class KtUStreamExtData;
class KtUStreamFormat;
class KtUWideString;
class KtUWriteStream;

/// Reads and checks typed values, strings, arrays, bits and object graphs.
class KTU_API KtUReadStream : public KtUStream {
public:
    explicit KtUReadStream(KtUStreamSink* sink);
    /// Copies the configuration and the available lists; the copy is not begun.
    KtUReadStream(const KtUReadStream& other);
    KtUReadStream& operator=(const KtUReadStream& other);
    ~KtUReadStream() override;

    /// Formats and filters a header may name (not owned).
    void AddAvailableFormat(const KtUStreamFormat* format) {
        m_formats.PushBack(const_cast<KtUStreamFormat*>(format));
    }
    int GetNumAvailableFormats() const { return m_formats.Size(); }
    const KtUStreamFormat* GetAvailableFormat(int index) const { return m_formats[index]; }
    void AddAvailableFilter(KtUStreamFilter* filter) { m_available_filters.PushBack(filter); }
    int GetNumAvailableFilters() const { return m_available_filters.Size(); }
    KtUStreamFilter* GetAvailableFilter(int index) const { return m_available_filters[index]; }
    /// KtUStream::CopyConfig plus both available lists.
    void CopyConfig(const KtUReadStream& other);
    using KtUStream::CopyConfig;

    /// read_config: read the header (modes, format, filters) from the sink;
    /// read_extensions: require a known format and, with read_config, read
    /// the extension table. 0 on failure.
    int Begin(int read_config, int read_extensions);
    /// With check_end, reads the final sync point and requires nothing but
    /// white space after it in text streams. Calls the dispose methods of
    /// the objects read. 1 when no error occurred, 0 also when not begun.
    int End(int check_end);
    int IsBegun() const { return m_begun; }
    /// The target reported the end of the data.
    int IsEof() const { return m_eof; }
    /// Line feeds read plus 1 (text streams).
    int GetLineNum() const { return m_line; }

    signed char ReadInt8();
    unsigned char ReadNat8();
    short ReadInt16();
    unsigned short ReadNat16();
    int ReadInt32() {
        // Inline for the common case: binary release with the value in the region.
        if (m_state && !m_ascii && !m_debug && m_error == eNO_ERROR && m_end - m_cursor >= 4 &&
            !((m_cursor - m_region) & 3)) {
            int value;
            __builtin_memcpy(&value, m_cursor, 4);
            m_cursor += 4;
            return value;
        }
        return ReadInt32Slow();
    }
    unsigned int ReadNat32();
    KtUNat64 ReadNat64();
    KtUInt64 ReadTime() { return static_cast<KtUInt64>(ReadNat64()); }
    float ReadSingle();
    double ReadDouble();
    /// A double in double streams, a single widened in single streams.
    double ReadFloat();
    int ReadBoolean();
    unsigned int ReadEnum();
    unsigned int ReadBitfield();

    /// Strings; a null string written reads as a null buffer / string.
    int ReadString(KtUStringBuffer* text);
    int ReadString(KtUString* text);
    /// The string in TempBuffer(), valid until the next such read.
    const char* ReadStringUsingTempBuffer();
    int ReadWideString(KtUWideStringBuffer* text);
    int ReadWideString(KtUWideString* text);
    const KtUWChar* ReadWideStringUsingTempBuffer();
    KtUStringBuffer& TempBuffer() { return m_temp; }
    KtUWideStringBuffer& TempWideBuffer() { return m_temp_wide; }

    /// Arrays; count must equal the count written.
    void ReadInt8Array(signed char* values, long count);
    void ReadNat8Array(unsigned char* values, long count);
    void ReadInt16Array(short* values, long count);
    void ReadNat16Array(unsigned short* values, long count);
    void ReadInt32Array(int* values, long count);
    void ReadNat32Array(unsigned int* values, long count);
    void ReadNat64Array(KtUNat64* values, long count);
    void ReadSingleArray(float* values, long count);
    void ReadDoubleArray(double* values, long count);
    void ReadFloatArray(double* values, long count);

    int BeginBits();
    unsigned int ReadBits(unsigned char count);
    /// Words read since BeginBits.
    int EndBits();

    /// The next object: made and read through the current read format on its
    /// first appearance, the same pointer for later references; null for the
    /// null object and on failure.
    void* ReadObject() { return ReadObjectExt(nullptr, nullptr); }
    void* ReadObject(int* entry) { return ReadObjectExt(entry, nullptr); }
    /// As ReadObject; *ext receives the preserved data of an object whose
    /// class was read through an ancestor, else null. It has no reference
    /// yet: hold it in a KtUAutoRefPtr (or Ref it) to keep it.
    void* ReadObjectExt(int* entry, KtUStreamExtData** ext);
    /// Null (and error 24) when the object read has another entry.
    void* ReadCheckedObject(int entry);
    /// The object with that id, or null.
    void* GetObject(unsigned int id) const;
    /// Enters an object the caller made itself under the next id.
    void AddObject(void* object, int entry, unsigned int id);

    /// Copies the self-describing values up to the next sync point into out,
    /// then ends this stream with End(0). Both streams must be debug.
    int CopyDebugToEnd(KtUWriteStream* out);

    const KtUStreamFormat* GetCurrentReadFormat() const { return m_read_format; }
    KtUStreamFormat* EditCurrentReadFormat() { return m_read_format; }
    /// The current read format when it is the private copy extended from the
    /// stream's extension table, else null.
    KtUStreamFormat* GetExtendedFormat() const {
        return m_owns_read_format ? m_read_format : nullptr;
    }
    int GetCurrentReadVersion() const { return m_read_version; }
    void SetCurrentReadVersion(int version) { m_read_version = version; }

private:
    friend class KtUWriteStream;

    int ReadInt32Slow();
    void OutOfMemory();
    bool EnterObject(void* object, int entry);
    // Regions and raw bytes.
    bool Lock();
    bool Advance();
    bool Align(int size);
    const unsigned char* Take(int size, bool inside_value);
    int Peek();
    int Get();
    // Text words.
    bool ReadWord(char* word, int* length);
    bool Expect(const char* expected);
    void ParseError(const char* read, const char* expected);
    // Tokens and values.
    bool CheckToken(int token);
    bool CheckArrayToken(int token, long count);
    template <class T> T ReadScalar(int token);
    template <class T> void ReadArray(int token, T* values, long count);
    template <class T> bool ReadTextValue(T* value);
    template <class T> void ReadBinaryValues(T* values, long count, bool inside_value);
    bool ReadStringBytes(KtUStringBuffer* out, bool* is_null);
    bool ReadRawString(KtUStringBuffer* out, bool* is_null);
    bool ConvertWide(const KtUStringBuffer& bytes, bool is_null, KtUWideStringBuffer* out);
    // Header, sync point, tables.
    bool ReadHeader(int require_format);
    bool ReadSync();
    void ReadExtensionTable();
    bool MakeOwnReadFormat();
    void ReleaseReadFormat();
    // Objects.
    enum class ObjectKind { eNull, eReference, eDefinition, eBad };
    ObjectKind ReadObjectHeader(unsigned int* id, int* entry);
    int CopyDebugData(KtUWriteStream* out, int to_object_end);
    template <class T> bool ReadPiece(T* piece, long n, bool started);
    template <class TIn, class TOut> bool CopyArray(KtUWriteStream* out, int token, long count);
    template <class T> bool CopyScalar(KtUWriteStream* out, int token);
    void ResetRegion() {
        m_state = 0;
        m_region = m_end = m_cursor = nullptr;
    }

    KtUPtrVector<KtUStreamFormat> m_formats;
    KtUPtrVector<KtUStreamFilter> m_available_filters;
    KtUVoidPtrVector m_objects;
    KtUInt32Vector m_object_entries;
    KtUInt32Vector m_entry_map;
    int m_begun = 0;
    unsigned int m_next_id = 0;
    int m_owns_read_format = 0;
    KtUStreamFormat* m_read_format = nullptr;
    int m_read_version = 0;
    int m_state = 0;
    const unsigned char* m_region = nullptr;
    const unsigned char* m_end = nullptr;
    const unsigned char* m_cursor = nullptr;
    int m_eof = 0;
    int m_line = 1;
    unsigned int m_bits = 0;
    int m_bits_available = 0;
    int m_words = 0;
    KtUStringBuffer m_conversion;
    KtUStringBuffer m_temp;
    KtUWideStringBuffer m_temp_wide;
};

KTU_API KtUReadStream& operator>>(KtUReadStream& stream, signed char& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, unsigned char& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, short& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, unsigned short& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, int& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, unsigned int& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, KtUNat64& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, KtUInt64& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, float& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, double& value);
/// True only when the value read is exactly 1.
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, bool& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, KtUString& text);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, KtUStringBuffer& text);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, KtUWideString& text);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, KtUWideStringBuffer& text);
/// Applies a manipulator to the stream.
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, KtUStream& (*manipulator)(KtUStream&));

#endif // KTUTIL_KTUREADSTREAM_H

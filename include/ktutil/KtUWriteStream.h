//===- KtUWriteStream.h - Typed values and object graphs into a sink ------===//
//
// KtUWriteStream serialises values, strings, arrays, bit fields and graphs
// of objects in one of two encodings: compact binary, where every value sits
// at an offset aligned to its own size, or indented text. In debug mode every
// value is preceded by a type token, so a reader can check, skip or copy the
// data without knowing its meaning.
//
//   KtUStreamFile file(u"model.bin");
//   KtUWriteStream out(&file);
//   out.SetFormat(&s_format);          // for objects; see KtUStreamFormat
//   if (!out.Begin(1, 1)) return;      // header line and extension table
//   out.WriteInt32(3);
//   out << 2.5 << "name" << u"wide";
//   out.WriteDoubleArray(points, 3 * n);
//   out.WriteObject(root, kAssembly);  // definitions, then references
//   if (!out.End()) report(out.GetError());
//
// Binary values are little-endian; 64-bit values are their low word, then
// their high word. Strings are a 32-bit length (-1 for null) and the bytes;
// wide strings travel as UTF-8 (encoding eUTF8) or in the locale's character
// set (eMULTI). Text lines begin with the indent (2, and 2 more inside each
// object definition); numbers are right-aligned, signed ones in decimal and
// unsigned ones in hexadecimal.
//
// After an error nothing more is written; End reports whether any occurred.
//
// Thread safety: one thread at a time per stream.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUWRITESTREAM_H
#define KTUTIL_KTUWRITESTREAM_H

#include <ktutil/KtUStream.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUVoidPtrDict.h>

class KtUStreamExtData;
class KtUReadStream;
namespace ktu::stream {
class LineBuilder;
}
class KtUWideString;
class KtUWideStringBuffer;

/// Writes typed values, strings, arrays, bits and object graphs to a sink.
class KTU_API KtUWriteStream : public KtUStream {
public:
    /// Debug token codes; text streams write the names ("Int32", ...).
    enum Token : int {
        eBAD = 0,
        eSYNC,
        eNAT8,
        eINT16,
        eNAT16,
        eINT32,
        eNAT32,
        eSINGLE,
        eDOUBLE,
        eFLOAT,
        eBOOLEAN,
        eENUM,
        eBITFIELD,
        eSTRING,
        eNAT8_ARRAY,
        eINT16_ARRAY,
        eNAT16_ARRAY,
        eINT32_ARRAY,
        eNAT32_ARRAY,
        eSINGLE_ARRAY,
        eDOUBLE_ARRAY,
        eFLOAT_ARRAY,
        eOBJECT,
        eOBJECT_END_DEF,
        eNAT64,
        eNAT64_ARRAY,
        eNUM_TOKENS
    };
    /// The name text streams write for a token code (null outside 0..25).
    static const char* GetTokenName(int token);
    /// Longest string written; longer ones are cut (with a warning).
    static constexpr int kMaxStringLength = 0x1000000;

    explicit KtUWriteStream(KtUStreamSink* sink);
    /// Copies the configuration; the copy is not begun.
    KtUWriteStream(const KtUWriteStream& other);
    KtUWriteStream& operator=(const KtUWriteStream& other);
    ~KtUWriteStream() override;

    /// Builds the filter chain with the sink; with header, writes the header
    /// line and the extension table (complete only with extensions). 0 on
    /// failure, with the chain ended.
    int Begin(int header, int extensions);
    /// Writes the final sync point and ends the chain; 1 when no error
    /// occurred at any time, 0 also when the stream was not begun.
    int End();
    int IsBegun() const { return m_objects != nullptr; }
    /// KtUStream::CopyConfig plus digits, zeros and columns.
    void CopyConfig(const KtUWriteStream& other);
    using KtUStream::CopyConfig;

    void WriteInt8(signed char value);
    void WriteNat8(unsigned char value);
    void WriteInt16(short value);
    void WriteNat16(unsigned short value);
    void WriteInt32(int value) {
        // Inline for the common case: binary release with room in the region.
        if (m_state == 8 && !m_debug && m_error == eNO_ERROR && m_end - m_cursor > 4 &&
            !((m_cursor - m_region) & 3)) {
            __builtin_memcpy(m_cursor, &value, 4);
            m_cursor += 4;
            return;
        }
        WriteInt32Slow(value);
    }
    void WriteNat32(unsigned int value);
    void WriteNat64(KtUNat64 value);
    void WriteTime(KtUInt64 value) { WriteNat64(static_cast<KtUNat64>(value)); }
    void WriteSingle(float value);
    void WriteDouble(double value);
    /// A double in double streams, else a single.
    void WriteFloat(double value);
    void WriteBoolean(int value);
    void WriteEnum(unsigned int value);
    void WriteBitfield(unsigned int value);

    void WriteString(const char* text);
    void WriteString(const KtUString& text);
    void WriteString(const KtUStringBuffer& text);
    void WriteWideString(const KtUWChar* text);
    void WriteWideString(const KtUWideString& text);
    void WriteWideString(const KtUWideStringBuffer& text);

    void WriteInt8Array(const signed char* values, long count);
    void WriteNat8Array(const unsigned char* values, long count);
    void WriteInt16Array(const short* values, long count);
    void WriteNat16Array(const unsigned short* values, long count);
    void WriteInt32Array(const int* values, long count);
    void WriteNat32Array(const unsigned int* values, long count);
    void WriteNat64Array(const KtUNat64* values, long count);
    void WriteSingleArray(const float* values, long count);
    void WriteDoubleArray(const double* values, long count);
    void WriteFloatArray(const double* values, long count);

    /// Bit fields, packed most significant bit first into Nat32 words.
    int BeginBits();
    void WriteBits(unsigned int value, unsigned char count);
    /// Writes a partly filled word; the number of words written since BeginBits.
    int EndBits();

    /// Writes a definition of object (entry entry of the format) the first
    /// time, a reference afterwards; null writes the null object. The
    /// object's id, or 0 for null and on failure.
    unsigned int WriteObject(const void* object, int entry) {
        return WriteObjectExt(object, entry, nullptr);
    }
    /// As WriteObject; with ext, the definition names ext's entry and ext's
    /// preserved data follows the body.
    unsigned int WriteObjectExt(const void* object, int entry, KtUStreamExtData* ext);
    /// Enters object into the table without writing it; its id.
    unsigned int AddObject(const void* object, int entry);
    /// Takes object out of the table (1 when it was there).
    int RemoveObject(const void* object);
    /// The object's id, 0 when it is not in the table.
    unsigned int GetObjectId(const void* object) const;

    /// Values per text line for arrays; 0 = each type's default.
    int GetNumCols() const { return m_columns; }
    void SetNumCols(int columns) { m_columns = columns; }
    int GetIdent() const { return m_indent; }
    void SetIndent(int indent) { m_indent = indent; }
    int GetSingleDigits() const { return m_single_digits; }
    /// Clamped to 1..8.
    void SetSingleDigits(int digits);
    int GetDoubleDigits() const { return m_double_digits; }
    /// Clamped to 1..17.
    void SetDoubleDigits(int digits);
    double GetSingleZero() const { return m_single_zero; }
    void SetSingleZero(double zero) { m_single_zero = zero; }
    double GetDoubleZero() const { return m_double_zero; }
    void SetDoubleZero(double zero) { m_double_zero = zero; }

private:
    friend class KtUReadStream;

    void WriteInt32Slow(int value);
    bool Lock();
    bool Flush();
    bool Align(int size);
    bool Room(int size);
    void PutBytes(const void* data, long size);
    void PutLine(const ktu::stream::LineBuilder& line);
    void OutOfMemory();
    bool EnterObject(const void* object, unsigned int id);
    void WriteToken(int token);
    void WriteArrayToken(int token, long count);
    template <class T> void PutBinary(T value);
    template <class T> void WriteScalar(int token, T value);
    template <class T> void WriteArray(int token, const T* values, long count);
    template <class T> void PutArrayElements(const T* values, long count);
    void TextArrayBegin(int kind, long count);
    void TextArrayPut(const void* values, long count);
    void TextArrayEnd();
    void WriteReference(unsigned int id);
    void WriteNullObject();
    void WriteStringBytes(const char* text, long length);
    void WriteSync();
    void BeginDefinition(unsigned int id, int entry);
    void EndDefinition();
    void WriteExtensionTable(int complete);
    void RebuildFormats();
    void ResetRegion() {
        m_state = 0;
        m_region = m_end = m_cursor = nullptr;
    }

    KtUVoidPtrDict* m_objects = nullptr;
    unsigned int m_next_id = 0;
    int m_state = 0;
    unsigned char* m_region = nullptr;
    unsigned char* m_end = nullptr;
    unsigned char* m_cursor = nullptr;
    int m_columns = 0;
    int m_indent = 2;
    int m_single_digits = 8;
    int m_double_digits = 17;
    double m_single_zero = 0;
    double m_double_zero = 0;
    char m_single_format[32];
    char m_double_format[32];
    unsigned int m_bits = 0;
    int m_free_bits = 32;
    int m_words = 0;
    KtUStringBuffer m_conversion;
    struct TextArray {
        int kind;
        int per_line;
        long count;
        long index;
    } m_text = {};
};

KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, signed char value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, unsigned char value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, short value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, unsigned short value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, int value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, unsigned int value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, KtUNat64 value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, KtUInt64 value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, float value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, double value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, bool value);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, const char* text);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, const KtUWChar* text);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, const KtUString& text);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, const KtUStringBuffer& text);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, const KtUWideString& text);
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, const KtUWideStringBuffer& text);
/// Applies a manipulator to the stream.
KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, KtUStream& (*manipulator)(KtUStream&));

#endif // KTUTIL_KTUWRITESTREAM_H

//===- KtUWriteStream.cpp - Binary and text encodings of typed values -----===//
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStreamBuffer.h>
#include <ktutil/KtUStreamExtData.h>
#include <ktutil/KtUStreamFormat.h>
#include <ktutil/KtUStreamSink.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>
#include <ktutil/KtUWriteStream.h>

#include "stream/stream_codec.h"
#include "text/text_number.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

using ktu::stream::TextKind;

static_assert(
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
    "binary streams copy values in the machine's byte order, which must be little-endian");

const char* KtUWriteStream::GetTokenName(int token) {
    return ktu::stream::TokenName(token);
}

KtUWriteStream::KtUWriteStream(KtUStreamSink* sink) : KtUStream(sink) {
    RebuildFormats();
}

KtUWriteStream::KtUWriteStream(const KtUWriteStream& other) : KtUStream(other) {
    m_target = nullptr;
    m_error = eNO_ERROR;
    CopyConfig(other);
}

KtUWriteStream& KtUWriteStream::operator=(const KtUWriteStream& other) {
    if (this != &other) {
        KtUStream::operator=(other);
        m_target = nullptr;
        delete m_objects;
        m_objects = nullptr;
        ResetRegion();
        CopyConfig(other);
    }
    return *this;
}

KtUWriteStream::~KtUWriteStream() {
    delete m_objects;
}

void KtUWriteStream::CopyConfig(const KtUWriteStream& other) {
    KtUStream::CopyConfig(other);
    m_columns = other.m_columns;
    m_indent = other.m_indent;
    m_single_zero = other.m_single_zero;
    m_double_zero = other.m_double_zero;
    SetSingleDigits(other.m_single_digits);
    SetDoubleDigits(other.m_double_digits);
}

void KtUWriteStream::SetSingleDigits(int digits) {
    m_single_digits = digits < 1 ? 1 : digits > 8 ? 8 : digits;
    RebuildFormats();
}

void KtUWriteStream::SetDoubleDigits(int digits) {
    m_double_digits = digits < 1 ? 1 : digits > 17 ? 17 : digits;
    RebuildFormats();
}

void KtUWriteStream::RebuildFormats() {
    std::snprintf(m_single_format, sizeof m_single_format, " %%%d.%dg", m_single_digits + 2,
                  m_single_digits);
    std::snprintf(m_double_format, sizeof m_double_format, " %%%d.%dg", m_double_digits + 2,
                  m_double_digits);
}

// --- Regions -----------------------------------------------------------------

bool KtUWriteStream::Lock() {
    if (m_state) return true;
    if (m_error || !m_target) return false;
    unsigned char* region = nullptr;
    int size = 0;
    if (!m_target->WriteLock(&region, &size) || size <= 0 || !region) {
        Fail(eWRITE_LOCK_FAILED, m_target, "Write Failed");
        return false;
    }
    if (!m_ascii && (reinterpret_cast<uintptr_t>(region) & 7)) {
        Fail(eNOT_ALIGNED, m_target, "Block is not aligned");
        return false;
    }
    m_region = m_cursor = region;
    m_end = region + size;
    m_state = m_ascii ? 1 : 8;
    return true;
}

bool KtUWriteStream::Flush() {
    if (!m_state) return true;
    int filled = static_cast<int>(m_cursor - m_region);
    ResetRegion();
    if (!m_target->WriteProcess(filled)) {
        Fail(eWRITE_PROCESS_FAILED, m_target, "Write Failed");
        return false;
    }
    return true;
}

// Pads with zero bytes so that the cursor's offset in the region is a
// multiple of size; regions start at multiples of 8, so this is the offset in
// the stream too.
bool KtUWriteStream::Align(int size) {
    if (!Lock()) return false;
    if (m_ascii || size == 1) return true;
    size_t pad = static_cast<size_t>(-(m_cursor - m_region)) & static_cast<size_t>(size - 1);
    if (pad) {
        if (pad > static_cast<size_t>(m_end - m_cursor))
            pad = static_cast<size_t>(m_end - m_cursor);
        std::memset(m_cursor, 0, pad);
        m_cursor += pad;
        if (m_cursor == m_end && !Flush()) return false;
    }
    return true;
}

// A region with room for size bytes at the cursor. Sinks hand out regions
// whose sizes are multiples of 8, so an aligned element always fits; a sink
// that does not gets the rest of its region back unfilled.
bool KtUWriteStream::Room(int size) {
    if (!Lock()) return false;
    if (m_end - m_cursor >= size) return true;
    if (!Flush() || !Lock()) return false;
    if (m_end - m_cursor >= size) return true;
    Fail(eWRITE_LOCK_FAILED, m_target, "Write Failed");
    return false;
}

template <class T> void KtUWriteStream::PutBinary(T value) {
    if (!Align(sizeof(T)) || !Room(sizeof(T))) return;
    std::memcpy(m_cursor, &value, sizeof(T));
    m_cursor += sizeof(T);
    if (m_cursor == m_end) Flush();
}

void KtUWriteStream::PutBytes(const void* data, long size) {
    auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        if (!Lock()) return;
        long step = m_end - m_cursor;
        if (step > size) step = size;
        std::memcpy(m_cursor, bytes, static_cast<size_t>(step));
        m_cursor += step;
        bytes += step;
        size -= step;
        if (m_cursor == m_end && !Flush()) return;
    }
}

void KtUWriteStream::PutLine(const ktu::stream::LineBuilder& line) {
    if (line.Failed()) {
        OutOfMemory();
        return;
    }
    PutBytes(line.Data(), line.Size());
}

// Memory ran out inside the stream: reported as a failed write.
void KtUWriteStream::OutOfMemory() {
    Fail(eWRITE_LOCK_FAILED, this, "Write Failed");
}

// --- Tokens and values ---------------------------------------------------------

void KtUWriteStream::WriteToken(int token) {
    if (m_error) return;
    if (!m_ascii) {
        PutBinary<int32_t>(token);
        return;
    }
    ktu::stream::LineBuilder line(m_indent);
    line.Append(GetTokenName(token));
    line.Append('\n');
    PutLine(line);
}

void KtUWriteStream::WriteArrayToken(int token, long count) {
    if (m_error) return;
    if (!m_ascii) {
        PutBinary<int32_t>(token);
        PutBinary<int32_t>(static_cast<int32_t>(count));
        return;
    }
    ktu::stream::LineBuilder line(m_indent);
    line.Append(GetTokenName(token));
    line.Printf(" %d\n", static_cast<int>(count));
    PutLine(line);
}

template <class T> void KtUWriteStream::WriteScalar(int token, T value) {
    if (m_error) return;
    if (m_debug) WriteToken(token);
    if (!m_ascii) {
        PutBinary<T>(value);
    } else {
        TextArrayBegin(static_cast<int>(ktu::stream::TextKindOf<T>()), 1);
        TextArrayPut(&value, 1);
        TextArrayEnd();
    }
}

template <class T> void KtUWriteStream::PutArrayElements(const T* values, long count) {
    if (count <= 0 || !Align(sizeof(T))) return;
    auto* bytes = reinterpret_cast<const unsigned char*>(values);
    size_t left = static_cast<size_t>(count) * sizeof(T);
    while (left && !m_error) {
        if (!Room(sizeof(T))) return;
        size_t step = static_cast<size_t>(m_end - m_cursor) & ~(sizeof(T) - 1);
        if (step > left) step = left;
        std::memcpy(m_cursor, bytes, step);
        m_cursor += step;
        bytes += step;
        left -= step;
        if (m_cursor == m_end) Flush();
    }
}

template <class T> void KtUWriteStream::WriteArray(int token, const T* values, long count) {
    if (m_error) return;
    if (count < 0) count = 0;
    if (m_debug) WriteArrayToken(token, count);
    if (!m_ascii) {
        PutArrayElements(values, count);
        return;
    }
    TextArrayBegin(static_cast<int>(ktu::stream::TextKindOf<T>()), count);
    TextArrayPut(values, count);
    TextArrayEnd();
}

// Text arrays are written as a start, pieces of elements and an end, so that
// arrays copied from another stream need not be held whole.
void KtUWriteStream::TextArrayBegin(int kind, long count) {
    m_text.kind = kind;
    m_text.count = count;
    m_text.index = 0;
    const int per_line =
        m_columns ? m_columns : ktu::stream::DefaultColumns(static_cast<TextKind>(kind));
    m_text.per_line = per_line < 1 ? 1 : per_line;
    if (m_error) return;
    ktu::stream::LineBuilder line(m_indent);
    line.Append(count == 1 ? ' ' : '[');
    PutLine(line);
}

void KtUWriteStream::TextArrayPut(const void* values, long count) {
    if (m_error || count <= 0) return;
    const auto kind = static_cast<TextKind>(m_text.kind);
    const char* real_format = kind == TextKind::eSingle ? m_single_format : m_double_format;
    const double zero = kind == TextKind::eSingle ? m_single_zero : m_double_zero;
    // Reals are printed in the "C" locale whatever the host's locale is.
    ktu::text::ScopedCNumericLocale c_numbers;
    ktu::stream::LineBuilder line(0);
    for (long i = 0; i < count; ++i, ++m_text.index) {
        if (m_text.index > 0 && m_text.index % m_text.per_line == 0) {
            line.Append('\n');
            line.Append(' ');
            line.Indent(m_indent);
        }
        ktu::stream::FormatTextValue(&line, kind, values, i, real_format, zero);
        if (line.Size() > 4096) {
            PutLine(line);
            line.Clear();
        }
    }
    PutLine(line);
}

void KtUWriteStream::TextArrayEnd() {
    if (m_error) return;
    ktu::stream::LineBuilder line(0);
    if (m_text.count > m_text.per_line) {
        line.Append('\n');
        line.Indent(m_indent);
        line.Append("]\n");
    } else if (m_text.count == 1) {
        line.Append('\n');
    } else {
        line.Append(" ]\n");
    }
    PutLine(line);
}

void KtUWriteStream::WriteInt8(signed char value) {
    WriteScalar<uint8_t>(eNAT8, static_cast<uint8_t>(value));
}
void KtUWriteStream::WriteNat8(unsigned char value) {
    WriteScalar<uint8_t>(eNAT8, value);
}
void KtUWriteStream::WriteInt16(short value) {
    WriteScalar<int16_t>(eINT16, value);
}
void KtUWriteStream::WriteNat16(unsigned short value) {
    WriteScalar<uint16_t>(eNAT16, value);
}
void KtUWriteStream::WriteInt32Slow(int value) {
    WriteScalar<int32_t>(eINT32, value);
}
void KtUWriteStream::WriteNat32(unsigned int value) {
    WriteScalar<uint32_t>(eNAT32, value);
}
void KtUWriteStream::WriteNat64(KtUNat64 value) {
    WriteScalar<uint64_t>(eNAT64, value);
}
void KtUWriteStream::WriteSingle(float value) {
    WriteScalar<float>(eSINGLE, value);
}
void KtUWriteStream::WriteDouble(double value) {
    WriteScalar<double>(eDOUBLE, value);
}
void KtUWriteStream::WriteFloat(double value) {
    if (m_error) return;
    if (m_debug) WriteToken(eFLOAT);
    const bool debug = m_debug;
    m_debug = 0; // the Float token stands for the value
    if (m_double)
        WriteDouble(value);
    else
        WriteSingle(static_cast<float>(value));
    m_debug = debug;
}
void KtUWriteStream::WriteBoolean(int value) {
    WriteScalar<uint32_t>(eBOOLEAN, static_cast<uint32_t>(value));
}
void KtUWriteStream::WriteEnum(unsigned int value) {
    WriteScalar<uint32_t>(eENUM, value);
}
void KtUWriteStream::WriteBitfield(unsigned int value) {
    WriteScalar<uint32_t>(eBITFIELD, value);
}

void KtUWriteStream::WriteInt8Array(const signed char* values, long count) {
    WriteArray(eNAT8_ARRAY, reinterpret_cast<const uint8_t*>(values), count);
}
void KtUWriteStream::WriteNat8Array(const unsigned char* values, long count) {
    WriteArray<uint8_t>(eNAT8_ARRAY, values, count);
}
void KtUWriteStream::WriteInt16Array(const short* values, long count) {
    WriteArray<int16_t>(eINT16_ARRAY, values, count);
}
void KtUWriteStream::WriteNat16Array(const unsigned short* values, long count) {
    WriteArray<uint16_t>(eNAT16_ARRAY, values, count);
}
void KtUWriteStream::WriteInt32Array(const int* values, long count) {
    WriteArray<int32_t>(eINT32_ARRAY, values, count);
}
void KtUWriteStream::WriteNat32Array(const unsigned int* values, long count) {
    WriteArray<uint32_t>(eNAT32_ARRAY, values, count);
}
void KtUWriteStream::WriteNat64Array(const KtUNat64* values, long count) {
    WriteArray<uint64_t>(eNAT64_ARRAY, reinterpret_cast<const uint64_t*>(values), count);
}
void KtUWriteStream::WriteSingleArray(const float* values, long count) {
    WriteArray<float>(eSINGLE_ARRAY, values, count);
}
void KtUWriteStream::WriteDoubleArray(const double* values, long count) {
    WriteArray<double>(eDOUBLE_ARRAY, values, count);
}
void KtUWriteStream::WriteFloatArray(const double* values, long count) {
    if (m_error) return;
    if (count < 0) count = 0;
    if (m_double) {
        WriteArray<double>(eFLOAT_ARRAY, values, count);
        return;
    }
    // Singles, converted a piece at a time; the bytes are those of one array.
    if (m_debug) WriteArrayToken(eFLOAT_ARRAY, count);
    const bool debug = m_debug;
    m_debug = 0;
    if (m_ascii) {
        // One text array: convert all (text streams are not the fast path).
        float* singles = static_cast<float*>(
            KtUMemory::TryMalloc(static_cast<unsigned>((count ? count : 1) * sizeof(float))));
        if (!singles) {
            Fail(eWRITE_LOCK_FAILED, m_target, "Write Failed");
        } else {
            for (long i = 0; i < count; ++i)
                singles[i] = static_cast<float>(values[i]);
            TextArrayBegin(static_cast<int>(TextKind::eSingle), count);
            TextArrayPut(singles, count);
            TextArrayEnd();
            KtUMemory::Free(singles);
        }
    } else {
        float piece[1024];
        for (long done = 0; done < count && !m_error;) {
            long n = count - done < 1024 ? count - done : 1024;
            for (long i = 0; i < n; ++i)
                piece[i] = static_cast<float>(values[done + i]);
            WriteArray<float>(eFLOAT_ARRAY, piece, n);
            done += n;
        }
    }
    m_debug = debug;
}

// --- Strings -----------------------------------------------------------------

void KtUWriteStream::WriteStringBytes(const char* text, long length) {
    if (m_error) return;
    if (m_debug) WriteToken(eSTRING);
    if (!m_ascii) {
        if (text && length > kMaxStringLength) {
            FailAt(KtUSysError::eWARNING, eNO_ERROR, this, "Truncating string");
            length = kMaxStringLength;
        }
        PutBinary<int32_t>(text ? static_cast<int32_t>(length) : -1);
        if (text) PutBytes(text, length);
        return;
    }
    ktu::stream::LineBuilder line(m_indent);
    if (!text) {
        line.Append("linull\n");
        PutLine(line);
        return;
    }
    line.Append('"');
    for (long i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '"' || c == '\\') line.Append('\\');
        line.Append(c);
        if (line.Size() > 4096) {
            PutLine(line);
            line.Clear();
        }
    }
    line.Append("\"\n");
    PutLine(line);
}

void KtUWriteStream::WriteString(const char* text) {
    WriteStringBytes(text, text ? static_cast<long>(std::strlen(text)) : 0);
}
void KtUWriteStream::WriteString(const KtUString& text) {
    WriteStringBytes(text.GetString(), text.GetString() ? text.GetLength() : 0);
}
void KtUWriteStream::WriteString(const KtUStringBuffer& text) {
    WriteStringBytes(text.GetString(), text.GetLength());
}

void KtUWriteStream::WriteWideString(const KtUWChar* text) {
    if (m_error) return;
    if (m_wide_encoding != eUTF8 && m_wide_encoding != eMULTI) return;
    if (!text) {
        WriteStringBytes(nullptr, 0);
        return;
    }
    if (m_wide_encoding == eUTF8)
        KtUWideString::ExtractUTF8String(text, &m_conversion);
    else
        KtUWideString::ExtractMultiString(text, &m_conversion);
    WriteStringBytes(m_conversion.GetString() ? m_conversion.GetString() : "",
                     m_conversion.GetLength());
}
void KtUWriteStream::WriteWideString(const KtUWideString& text) {
    WriteWideString(text.GetString());
}
void KtUWriteStream::WriteWideString(const KtUWideStringBuffer& text) {
    WriteWideString(text.GetString());
}

// --- Bits --------------------------------------------------------------------

int KtUWriteStream::BeginBits() {
    m_bits = 0;
    m_free_bits = 32;
    m_words = 0;
    return 1;
}

void KtUWriteStream::WriteBits(unsigned int value, unsigned char count) {
    if (count == 0) return;
    if (count > 32) count = 32;
    const unsigned int n = count;
    unsigned int m = n == 32 ? value : value & ((1u << n) - 1);
    unsigned int r = n;
    if (n > static_cast<unsigned>(m_free_bits)) {
        const unsigned int f = static_cast<unsigned>(m_free_bits);
        m_bits |= m >> (n - f);
        WriteNat32(m_bits);
        ++m_words;
        m_bits = 0;
        m_free_bits = 32;
        r = n - f;
    }
    if (r > 0) {
        unsigned int low = r == 32 ? m : m & ((1u << r) - 1);
        unsigned int shift = static_cast<unsigned>(m_free_bits) - r;
        m_bits |= shift >= 32 ? 0 : low << shift;
        m_free_bits -= static_cast<int>(r);
    }
    if (m_free_bits == 0) {
        WriteNat32(m_bits);
        ++m_words;
        m_bits = 0;
        m_free_bits = 32;
    }
}

int KtUWriteStream::EndBits() {
    if (m_free_bits > 0 && m_free_bits < 32) {
        WriteNat32(m_bits);
        ++m_words;
        m_bits = 0;
        m_free_bits = 32;
    }
    return m_words;
}

// --- Sync point, begin and end ----------------------------------------------------

void KtUWriteStream::WriteSync() {
    if (m_state && !m_error) {
        if (m_debug) WriteToken(eSYNC);
        if (!m_ascii && m_state) {
            size_t pad = static_cast<size_t>(-(m_cursor - m_region)) & 7;
            if (pad > static_cast<size_t>(m_end - m_cursor))
                pad = static_cast<size_t>(m_end - m_cursor);
            std::memset(m_cursor, 0, pad);
            m_cursor += pad;
        }
        Flush();
    }
    if (!m_error && m_target && !m_target->WriteFlush())
        FailAt(KtUSysError::eWARNING, eFLUSH_FAILED, m_target, "Flush Failed");
}

int KtUWriteStream::Begin(int header, int extensions) {
    if (!CheckInitialised("KtUWriteStream::Begin")) return 0;
    m_error = eNO_ERROR;
    ResetRegion();
    m_indent = 2;
    delete m_objects;
    m_objects = nullptr;
    if (!InitChain(1, 1)) return 0;
    if (header) {
        KtUStreamSink* target = m_target;
        m_target = GetSink();
        KtUString line = GetConfig();
        if (!line.GetString())
            OutOfMemory();
        else
            PutBytes(line.GetString(), line.GetLength());
        WriteSync();
        m_target = target;
        WriteExtensionTable(extensions);
    }
    if (m_error) {
        ResetRegion();
        ClearChain(1, 1);
        return 0;
    }
    m_objects = new KtUVoidPtrDict;
    if (!m_objects) {
        OutOfMemory();
        ResetRegion();
        ClearChain(1, 1);
        return 0;
    }
    m_next_id = 100;
    return 1;
}

int KtUWriteStream::End() {
    if (!m_objects) return 0;
    WriteSync();
    ResetRegion();
    ClearChain(1, 1);
    delete m_objects;
    m_objects = nullptr;
    return m_error == eNO_ERROR;
}

void KtUWriteStream::WriteExtensionTable(int complete) {
    const KtUStreamFormat* format = GetFormat();
    if (!format || !format->IsExtendable()) return;
    if (complete) {
        for (int i = 0; i < format->GetNumEntries(); ++i) {
            const KtUStreamFormatEntry& entry = format->GetEntry(i);
            if (entry.GetParent() < 0) continue;
            WriteInt32(i);
            WriteString(entry.GetName());
            WriteInt32(entry.GetParent());
        }
    }
    WriteInt32(-1);
}

// --- Objects -----------------------------------------------------------------

void KtUWriteStream::BeginDefinition(unsigned int id, int entry) {
    if (m_debug) WriteToken(eOBJECT);
    if (!m_ascii) {
        PutBinary<uint32_t>(id);
        PutBinary<int32_t>(entry);
    } else if (!m_error) {
        ktu::stream::LineBuilder line(m_indent);
        const char* name = GetFormat() ? GetFormat()->GetEntry(entry).GetName() : nullptr;
        if (name)
            line.Printf("DEF %u %s\n", id, name);
        else
            line.Printf("DEF %u %d\n", id, entry);
        line.Indent(m_indent);
        line.Append("{\n");
        PutLine(line);
    }
    m_indent += 2;
}

void KtUWriteStream::EndDefinition() {
    m_indent -= 2;
    if (m_debug) WriteToken(eOBJECT_END_DEF);
    if (m_ascii && !m_error) {
        ktu::stream::LineBuilder line(m_indent);
        line.Append("}\n");
        PutLine(line);
    }
}

// Puts a new object into the table; false (and the stream in error) when
// memory ran out.
bool KtUWriteStream::EnterObject(const void* object, unsigned int id) {
    m_objects->Enter(const_cast<void*>(object),
                     reinterpret_cast<void*>(static_cast<uintptr_t>(id)));
    if (m_objects->Find(const_cast<void*>(object))) return true;
    OutOfMemory();
    return false;
}

void KtUWriteStream::WriteNullObject() {
    if (m_debug) WriteToken(eOBJECT);
    if (!m_ascii) {
        PutBinary<int32_t>(0);
    } else if (!m_error) {
        ktu::stream::LineBuilder line(m_indent);
        line.Append("NULL_OBJECT\n");
        PutLine(line);
    }
}

void KtUWriteStream::WriteReference(unsigned int id) {
    if (m_debug) WriteToken(eOBJECT);
    if (!m_ascii) {
        PutBinary<int32_t>(1);
        PutBinary<uint32_t>(id);
    } else if (!m_error) {
        ktu::stream::LineBuilder line(m_indent);
        line.Printf("USE %u\n", id);
        PutLine(line);
    }
}

static bool UsableForDefinition(const KtUStreamFormat* format, int entry) {
    return entry >= 0 && entry < format->GetNumEntries() &&
           format->GetEntry(entry).GetWriteMethod() &&
           format->GetEntry(entry).GetParent() != KtUStreamFormatEntry::kEmpty;
}

unsigned int KtUWriteStream::WriteObjectExt(const void* object, int entry, KtUStreamExtData* ext) {
    if (m_error || !m_objects) return 0;
    if (!object) {
        WriteNullObject();
        return 0;
    }
    const KtUStreamFormat* format = GetFormat();
    if (!format) {
        Fail(eNO_FORMAT, this, "No format for stream");
        return 0;
    }
    if (entry < 0 || entry >= format->GetNumEntries() ||
        !format->GetEntry(entry).GetWriteMethod()) {
        Fail(eNO_METHOD, this, "No method for entry %d in format for object", entry);
        return 0;
    }
    const int definition = ext ? ext->GetEntry() : entry;
    if (!UsableForDefinition(format, definition)) {
        Fail(eNO_METHOD, this, "No method for entry %d in format for object", definition);
        return 0;
    }
    if (void** known = m_objects->Find(const_cast<void*>(object))) {
        const auto id = static_cast<unsigned int>(reinterpret_cast<uintptr_t>(*known));
        WriteReference(id);
        return id;
    }
    const unsigned int id = m_next_id;
    if (!EnterObject(object, id)) return 0;
    ++m_next_id;
    BeginDefinition(id, definition);
    const int debug = m_debug;
    if (definition != entry || format->GetEntry(entry).GetParent() != KtUStreamFormatEntry::kRoot)
        m_debug = 1; // a derived class's body must be skippable by readers that lack it
    if (!format->GetEntry(entry).GetWriteMethod()(this, entry, object)) {
        if (!m_error) m_error = eWRITE_METHOD_FAILED;
    } else if (ext && !m_error) {
        KtUStreamBuffer bytes;
        if (!bytes.SetBuffer(const_cast<unsigned char*>(ext->GetData()), ext->GetSize(),
                             KtUStreamBuffer::eCOPY_IF_UNALIGNED))
            OutOfMemory();
        KtUReadStream in(&bytes);
        in.SetAscii(0);
        in.SetDebug(1);
        in.SetFormat(format);
        in.SetFormatName(GetFormatName());
        in.SetFormatVersion(GetFormatVersion());
        if (m_error) {
        } else if (in.Begin(0, 1)) {
            in.CopyDebugData(this, 0);
            if (!in.End(0) && !m_error) m_error = in.GetError();
        } else if (!m_error) {
            m_error = in.GetError();
        }
    }
    EndDefinition();
    m_debug = debug;
    return id;
}

unsigned int KtUWriteStream::AddObject(const void* object, int entry) {
    if (!object || !m_objects) return 0;
    const KtUStreamFormat* format = GetFormat();
    if (!format) {
        Fail(eNO_FORMAT, this, "No format for stream");
        return 0;
    }
    if (entry < 0 || entry >= format->GetNumEntries()) {
        Fail(eNO_METHOD, this, "No entry %d in format for object", entry);
        return 0;
    }
    if (void** known = m_objects->Find(const_cast<void*>(object)))
        return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(*known));
    if (!EnterObject(object, m_next_id)) return 0;
    return m_next_id++;
}

int KtUWriteStream::RemoveObject(const void* object) {
    if (!object || !m_objects) return 0;
    return m_objects->Remove(const_cast<void*>(object));
}

unsigned int KtUWriteStream::GetObjectId(const void* object) const {
    void* value = nullptr;
    if (!object || !m_objects || !m_objects->Find(const_cast<void*>(object), &value)) return 0;
    return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(value));
}

// The readers copy arrays into writers piece by piece.
template void KtUWriteStream::PutArrayElements(const uint8_t*, long);
template void KtUWriteStream::PutArrayElements(const int16_t*, long);
template void KtUWriteStream::PutArrayElements(const uint16_t*, long);
template void KtUWriteStream::PutArrayElements(const int32_t*, long);
template void KtUWriteStream::PutArrayElements(const uint32_t*, long);
template void KtUWriteStream::PutArrayElements(const uint64_t*, long);
template void KtUWriteStream::PutArrayElements(const float*, long);
template void KtUWriteStream::PutArrayElements(const double*, long);

// --- Operators ---------------------------------------------------------------

// Each operator writes its value with the method named beside its type.
#define KTU_WRITE_OPERATOR(Type, Write)                                                            \
    KtUWriteStream& operator<<(KtUWriteStream& s, Type v) {                                        \
        s.Write(v);                                                                                \
        return s;                                                                                  \
    }
KTU_WRITE_OPERATOR(signed char, WriteInt8)
KTU_WRITE_OPERATOR(unsigned char, WriteNat8)
KTU_WRITE_OPERATOR(short, WriteInt16)
KTU_WRITE_OPERATOR(unsigned short, WriteNat16)
KTU_WRITE_OPERATOR(int, WriteInt32)
KTU_WRITE_OPERATOR(unsigned int, WriteNat32)
KTU_WRITE_OPERATOR(KtUNat64, WriteNat64)
KTU_WRITE_OPERATOR(float, WriteSingle)
KTU_WRITE_OPERATOR(double, WriteDouble)
KTU_WRITE_OPERATOR(const char*, WriteString)
KTU_WRITE_OPERATOR(const KtUWChar*, WriteWideString)
KTU_WRITE_OPERATOR(const KtUString&, WriteString)
KTU_WRITE_OPERATOR(const KtUStringBuffer&, WriteString)
KTU_WRITE_OPERATOR(const KtUWideString&, WriteWideString)
KTU_WRITE_OPERATOR(const KtUWideStringBuffer&, WriteWideString)
KtUWriteStream& operator<<(KtUWriteStream& s, KtUInt64 v) {
    s.WriteNat64(static_cast<KtUNat64>(v));
    return s;
}
KtUWriteStream& operator<<(KtUWriteStream& s, bool v) {
    s.WriteBoolean(v ? 1 : 0);
    return s;
}
#undef KTU_WRITE_OPERATOR
KtUWriteStream& operator<<(KtUWriteStream& s, KtUStream& (*manipulator)(KtUStream&)) {
    manipulator(s);
    return s;
}

//===- KtUReadStream.cpp - Checked reading of typed values and objects ----===//
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStreamBuffer.h>
#include <ktutil/KtUStreamExtData.h>
#include <ktutil/KtUStreamFilter.h>
#include <ktutil/KtUStreamFormat.h>
#include <ktutil/KtUStreamSink.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWriteStream.h>

#include "stream/stream_codec.h"
#include "text/text_number.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxWord = 128;
constexpr int kFirstId = 100;
constexpr int kMaxExtensionEntry = 16384;

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Text numbers, parsed as the writer printed them: a leading number is
// enough (the word ends at white space anyway).
bool ParseSigned(const char* word, long long* value) {
    char* end;
    *value = std::strtoll(word, &end, 10);
    return end != word;
}
bool ParseHex(const char* word, unsigned long long* value) {
    char* end;
    *value = std::strtoull(word, &end, 16);
    return end != word;
}
bool ParseReal(const char* word, double* value) {
    char* end;
    *value = strtod_l(word, &end, ktu::text::CLocale());
    return end != word;
}

template <class T> const char* ExpectedText() {
    using ktu::stream::TextKind;
    switch (ktu::stream::TextKindOf<T>()) {
    case TextKind::eNat8:
        return "LI_U_GLUE_2(LtNat8,!)";
    case TextKind::eInt16:
        return "LI_U_GLUE_2(LtInt16,!)";
    case TextKind::eNat16:
        return "LI_U_GLUE_2(LtNat16,!)";
    case TextKind::eInt32:
        return "LI_U_GLUE_2(LtInt32,!)";
    case TextKind::eNat32:
        return "LI_U_GLUE_2(LtNat32,!)";
    case TextKind::eNat64:
        return "LI_U_GLUE_2(LtNat64,!)";
    case TextKind::eSingle:
        return "LI_U_GLUE_2(LtSingle,!)";
    case TextKind::eDouble:
        return "LI_U_GLUE_2(LtDouble,!)";
    }
    return "";
}

/// Bytes of scratch for a piece of an array being copied: bounded, whatever
/// count the data claims.
constexpr long kCopyPieceBytes = 4096;

} // namespace

KtUReadStream::KtUReadStream(KtUStreamSink* sink) : KtUStream(sink) {}

KtUReadStream::KtUReadStream(const KtUReadStream& other) : KtUStream(other) {
    m_target = nullptr;
    m_error = eNO_ERROR;
    CopyConfig(other);
}

KtUReadStream& KtUReadStream::operator=(const KtUReadStream& other) {
    if (this != &other) {
        if (m_begun) End(0);
        KtUStream::operator=(other);
        m_target = nullptr;
        ResetRegion();
        CopyConfig(other);
    }
    return *this;
}

KtUReadStream::~KtUReadStream() {
    ReleaseReadFormat();
}

void KtUReadStream::CopyConfig(const KtUReadStream& other) {
    if (this == &other) return;
    KtUStream::CopyConfig(other);
    m_formats = other.m_formats;
    m_available_filters = other.m_available_filters;
}

// --- Regions and bytes -------------------------------------------------------

// Hands the consumed part of the current region back to the target.
bool KtUReadStream::Advance() {
    if (!m_state) return true;
    int consumed = static_cast<int>(m_cursor - m_region);
    ResetRegion();
    if (m_target && !m_target->ReadProcess(consumed)) {
        Fail(eREAD_PROCESS_FAILED, m_target, "Sink couldn't process data");
        return false;
    }
    return true;
}

// A region with unread bytes; false at the end of the data (m_eof, no error)
// or on a failure (error set).
bool KtUReadStream::Lock() {
    if (m_state && m_cursor < m_end) return true;
    if (m_error || m_eof || !m_target) return false;
    if (m_state && !Advance()) return false;
    const unsigned char* region = nullptr;
    int size = 0;
    if (!m_target->ReadLock(&region, &size)) {
        Fail(eREAD_LOCK_FAILED, m_target, "Read Failed");
        return false;
    }
    if (size <= 0 || !region) {
        m_eof = 1;
        return false;
    }
    if (!m_ascii && (reinterpret_cast<uintptr_t>(region) & 7)) {
        Fail(eNOT_ALIGNED, m_target, "Block does not have 8 byte alignment");
        return false;
    }
    m_region = m_cursor = region;
    m_end = region + size;
    m_state = m_ascii ? 1 : 8;
    return true;
}

// Skips the zero padding before a binary value of size bytes.
bool KtUReadStream::Align(int size) {
    if (m_ascii || size <= 1 || !m_state) return true;
    size_t pad = static_cast<size_t>(-(m_cursor - m_region)) & static_cast<size_t>(size - 1);
    if (!pad) return true;
    if (pad > static_cast<size_t>(m_end - m_cursor)) {
        Fail(eMALFORMED_DATA, this, "Malformed data");
        return false;
    }
    for (size_t i = 0; i < pad; ++i) {
        if (m_cursor[i]) {
            Fail(eMALFORMED_DATA, this, "Malformed data");
            return false;
        }
    }
    m_cursor += pad;
    return true;
}

// size bytes of one binary element, aligned; null at the end of the data or
// on failure. inside_value: the end of the data is posted as unexpected.
const unsigned char* KtUReadStream::Take(int size, bool inside_value) {
    if (m_error) return nullptr;
    if (!Align(size)) return nullptr;
    if (!Lock()) {
        if (!m_error) {
            if (inside_value)
                Fail(eUNEXPECTED_END, this, "Unexpected end of data");
            else
                m_error = eUNEXPECTED_END;
        }
        return nullptr;
    }
    if (!Align(size)) return nullptr;
    if (m_end - m_cursor < size) {
        // The element would straddle two regions: the writer never does that.
        Fail(eUNEXPECTED_END, this, "Unexpected end of data");
        return nullptr;
    }
    const unsigned char* p = m_cursor;
    m_cursor += size;
    return p;
}

int KtUReadStream::Peek() {
    if (!Lock()) return -1;
    return *m_cursor;
}

int KtUReadStream::Get() {
    if (!Lock()) return -1;
    int c = *m_cursor++;
    if (c == '\n') ++m_line;
    return c;
}

// Memory ran out inside the stream: reported as a failed read.
void KtUReadStream::OutOfMemory() {
    Fail(eREAD_LOCK_FAILED, this, "Read Failed");
}

// Appends an object read and its entry to the table; false (and the stream
// in error) when memory ran out.
bool KtUReadStream::EnterObject(void* object, int entry) {
    const int size = m_objects.Size();
    m_objects.PushBack(object);
    m_object_entries.PushBack(entry);
    if (m_objects.Size() == size + 1 && m_object_entries.Size() == size + 1) return true;
    m_objects.SetSize(size);
    m_object_entries.SetSize(size);
    OutOfMemory();
    return false;
}

// --- Text words and parse errors ------------------------------------------------

void KtUReadStream::ParseError(const char* read, const char* expected) {
    if (m_ascii)
        Fail(ePARSE_ERROR, this, "Read \"%s\", expected \"%s\" at line %d", read, expected, m_line);
    else
        Fail(ePARSE_ERROR, this, "Read \"%s\", expected \"%s\"", read, expected);
}

// The next white-space separated word (the white space after it is left).
bool KtUReadStream::ReadWord(char* word, int* length) {
    *length = 0;
    word[0] = 0;
    if (m_error) return false;
    int c;
    while ((c = Peek()) >= 0 && IsSpace(c))
        Get();
    if (c < 0) {
        if (!m_error) m_error = eUNEXPECTED_END;
        return false;
    }
    int n = 0;
    while ((c = Peek()) >= 0 && !IsSpace(c)) {
        if (n + 1 >= kMaxWord) {
            word[n] = 0;
            if (!m_error) m_error = ePARSE_ERROR;
            return false;
        }
        word[n++] = static_cast<char>(Get());
    }
    word[n] = 0;
    *length = n;
    return !m_error;
}

bool KtUReadStream::Expect(const char* expected) {
    char word[kMaxWord];
    int n;
    if (!ReadWord(word, &n)) return false;
    if (std::strcmp(word, expected) != 0) {
        ParseError(word, expected);
        return false;
    }
    return true;
}

// --- Tokens -----------------------------------------------------------------------

bool KtUReadStream::CheckToken(int token) {
    if (m_error) return false;
    if (!m_ascii) {
        const unsigned char* p = Take(4, false);
        if (!p) return false;
        int32_t code;
        std::memcpy(&code, p, 4);
        if (code != token) {
            char read[16], expected[16];
            std::snprintf(read, sizeof read, "%d", code);
            std::snprintf(expected, sizeof expected, "%d", token);
            ParseError(read, expected);
            return false;
        }
        return true;
    }
    return Expect(ktu::stream::TokenName(token));
}

bool KtUReadStream::CheckArrayToken(int token, long count) {
    if (!CheckToken(token)) return false;
    char expected[24];
    std::snprintf(expected, sizeof expected, "%d", static_cast<int>(count));
    if (!m_ascii) {
        const unsigned char* p = Take(4, true);
        if (!p) return false;
        int32_t read_count;
        std::memcpy(&read_count, p, 4);
        if (read_count != static_cast<int32_t>(count)) {
            char read[16];
            std::snprintf(read, sizeof read, "%d", read_count);
            ParseError(read, expected);
            return false;
        }
        return true;
    }
    return Expect(expected);
}

// --- Values -----------------------------------------------------------------------

template <class T> bool KtUReadStream::ReadTextValue(T* value) {
    char word[kMaxWord];
    int n;
    *value = T();
    if (!ReadWord(word, &n)) return false;
    bool ok;
    if constexpr (std::is_floating_point_v<T>) {
        double v;
        ok = ParseReal(word, &v);
        *value = static_cast<T>(v);
    } else if constexpr (std::is_same_v<T, int16_t> || std::is_same_v<T, int32_t>) {
        long long v;
        ok = ParseSigned(word, &v);
        *value = static_cast<T>(v);
    } else {
        unsigned long long v;
        ok = ParseHex(word, &v);
        *value = static_cast<T>(v);
    }
    if (!ok) {
        *value = T();
        ParseError(word, ExpectedText<T>());
    }
    return ok;
}

template <class T> void KtUReadStream::ReadBinaryValues(T* values, long count, bool inside_value) {
    auto* out = reinterpret_cast<unsigned char*>(values);
    size_t left = static_cast<size_t>(count) * sizeof(T);
    bool first = !inside_value;
    while (left) {
        if (!Take(sizeof(T), !first)) break;
        first = false;
        m_cursor -= sizeof(T);
        size_t step = static_cast<size_t>(m_end - m_cursor) & ~(sizeof(T) - 1);
        if (step > left) step = left;
        std::memcpy(out, m_cursor, step);
        m_cursor += step;
        out += step;
        left -= step;
    }
    if (left) std::memset(out, 0, left);
}

template <class T> T KtUReadStream::ReadScalar(int token) {
    T value = T();
    if (m_error) return value;
    if (m_debug && !CheckToken(token)) return T();
    if (!m_ascii) {
        const unsigned char* p = Take(sizeof(T), m_debug != 0);
        if (p) std::memcpy(&value, p, sizeof(T));
        return value;
    }
    ReadTextValue(&value);
    return m_error ? T() : value;
}

template <class T> void KtUReadStream::ReadArray(int token, T* values, long count) {
    if (count < 0) count = 0;
    if (m_error || (m_debug && !CheckArrayToken(token, count))) {
        if (count && values) std::memset(values, 0, static_cast<size_t>(count) * sizeof(T));
        return;
    }
    if (!m_ascii) {
        ReadBinaryValues(values, count, m_debug != 0);
        return;
    }
    long i = 0;
    if (count == 1 || Expect("[")) {
        for (; i < count && ReadTextValue(&values[i]); ++i) {
        }
        if (i == count && count != 1) Expect("]");
    }
    if (i < count) std::memset(values + i, 0, static_cast<size_t>(count - i) * sizeof(T));
}

signed char KtUReadStream::ReadInt8() {
    return static_cast<signed char>(ReadScalar<uint8_t>(KtUWriteStream::eNAT8));
}
unsigned char KtUReadStream::ReadNat8() {
    return ReadScalar<uint8_t>(KtUWriteStream::eNAT8);
}
short KtUReadStream::ReadInt16() {
    return ReadScalar<int16_t>(KtUWriteStream::eINT16);
}
unsigned short KtUReadStream::ReadNat16() {
    return ReadScalar<uint16_t>(KtUWriteStream::eNAT16);
}
int KtUReadStream::ReadInt32Slow() {
    return ReadScalar<int32_t>(KtUWriteStream::eINT32);
}
unsigned int KtUReadStream::ReadNat32() {
    return ReadScalar<uint32_t>(KtUWriteStream::eNAT32);
}
KtUNat64 KtUReadStream::ReadNat64() {
    return ReadScalar<uint64_t>(KtUWriteStream::eNAT64);
}
float KtUReadStream::ReadSingle() {
    return ReadScalar<float>(KtUWriteStream::eSINGLE);
}
double KtUReadStream::ReadDouble() {
    return ReadScalar<double>(KtUWriteStream::eDOUBLE);
}
double KtUReadStream::ReadFloat() {
    if (m_error) return 0;
    if (m_debug && !CheckToken(KtUWriteStream::eFLOAT)) return 0;
    const int debug = m_debug;
    m_debug = 0; // the Float token stood for the value
    double value = m_double ? ReadDouble() : static_cast<double>(ReadSingle());
    m_debug = debug;
    return value;
}
int KtUReadStream::ReadBoolean() {
    return static_cast<int>(ReadScalar<uint32_t>(KtUWriteStream::eBOOLEAN));
}
unsigned int KtUReadStream::ReadEnum() {
    return ReadScalar<uint32_t>(KtUWriteStream::eENUM);
}
unsigned int KtUReadStream::ReadBitfield() {
    return ReadScalar<uint32_t>(KtUWriteStream::eBITFIELD);
}

void KtUReadStream::ReadInt8Array(signed char* values, long count) {
    ReadArray(KtUWriteStream::eNAT8_ARRAY, reinterpret_cast<uint8_t*>(values), count);
}
void KtUReadStream::ReadNat8Array(unsigned char* values, long count) {
    ReadArray<uint8_t>(KtUWriteStream::eNAT8_ARRAY, values, count);
}
void KtUReadStream::ReadInt16Array(short* values, long count) {
    ReadArray<int16_t>(KtUWriteStream::eINT16_ARRAY, values, count);
}
void KtUReadStream::ReadNat16Array(unsigned short* values, long count) {
    ReadArray<uint16_t>(KtUWriteStream::eNAT16_ARRAY, values, count);
}
void KtUReadStream::ReadInt32Array(int* values, long count) {
    ReadArray<int32_t>(KtUWriteStream::eINT32_ARRAY, values, count);
}
void KtUReadStream::ReadNat32Array(unsigned int* values, long count) {
    ReadArray<uint32_t>(KtUWriteStream::eNAT32_ARRAY, values, count);
}
void KtUReadStream::ReadNat64Array(KtUNat64* values, long count) {
    ReadArray<uint64_t>(KtUWriteStream::eNAT64_ARRAY, reinterpret_cast<uint64_t*>(values), count);
}
void KtUReadStream::ReadSingleArray(float* values, long count) {
    ReadArray<float>(KtUWriteStream::eSINGLE_ARRAY, values, count);
}
void KtUReadStream::ReadDoubleArray(double* values, long count) {
    ReadArray<double>(KtUWriteStream::eDOUBLE_ARRAY, values, count);
}
void KtUReadStream::ReadFloatArray(double* values, long count) {
    if (m_double) {
        ReadArray<double>(KtUWriteStream::eFLOAT_ARRAY, values, count);
        return;
    }
    if (count < 0) count = 0;
    if (m_error || (m_debug && !CheckArrayToken(KtUWriteStream::eFLOAT_ARRAY, count))) {
        if (count) std::memset(values, 0, static_cast<size_t>(count) * sizeof(double));
        return;
    }
    // Singles into the back half of the caller's doubles, widened from the front.
    const int debug = m_debug;
    m_debug = 0;
    float* singles = reinterpret_cast<float*>(values) + count;
    ReadArray<float>(KtUWriteStream::eFLOAT_ARRAY, singles, count);
    for (long i = 0; i < count; ++i)
        values[i] = singles[i];
    m_debug = debug;
}

// --- Strings ------------------------------------------------------------------------

// The bytes of one string value after its token: binary length and bytes, or
// text "linull" / a quoted string.
bool KtUReadStream::ReadRawString(KtUStringBuffer* out, bool* is_null) {
    *is_null = false;
    out->SetEmptyString();
    if (!m_ascii) {
        const unsigned char* p = Take(4, m_debug != 0);
        if (!p) return false;
        int32_t length;
        std::memcpy(&length, p, 4);
        if (length < -1 || length > KtUWriteStream::kMaxStringLength) {
            char read[16];
            std::snprintf(read, sizeof read, "%d", length);
            ParseError(read, "String length");
            *is_null = true;
            return false;
        }
        if (length == -1) {
            *is_null = true;
            return true;
        }
        out->Reserve(length);
        char* text = out->BeginEditBuffer();
        if (!text || out->GetAllocationSize() < length + 1) {
            OutOfMemory();
            return false;
        }
        int done = 0;
        while (done < length) {
            if (!Lock()) {
                if (!m_error) Fail(eUNEXPECTED_END, this, "Unexpected end of data");
                break;
            }
            int step = static_cast<int>(m_end - m_cursor);
            if (step > length - done) step = length - done;
            std::memcpy(text + done, m_cursor, static_cast<size_t>(step));
            m_cursor += step;
            done += step;
        }
        text[done] = 0;
        out->EndEditBuffer(-1); // an embedded zero byte ends the text
        return !m_error;
    }
    int c;
    while ((c = Peek()) >= 0 && IsSpace(c))
        Get();
    if (c < 0) {
        if (!m_error) m_error = eUNEXPECTED_END;
        return false;
    }
    if (c == 'l') {
        if (!Expect("linull")) return false;
        *is_null = true;
        return true;
    }
    if (c != '"') {
        char word[kMaxWord];
        int n;
        if (ReadWord(word, &n)) ParseError(word, "Quoted String");
        return false;
    }
    Get();
    char piece[256];
    int n = 0;
    for (;;) {
        c = Get();
        if (c == '\\')
            c = Get();
        else if (c == '"')
            break;
        if (c < 0) {
            if (!m_error) ParseError("End of data!", "Quoted String");
            return false;
        }
        piece[n++] = static_cast<char>(c);
        if (n == sizeof piece) {
            const int before = out->GetLength();
            out->Append(piece, n);
            if (out->GetLength() != before + n) {
                OutOfMemory();
                return false;
            }
            n = 0;
        }
    }
    out->Append(piece, n);
    if (!out->GetString()) {
        OutOfMemory();
        return false;
    }
    // As in binary streams, an embedded zero byte ends the text.
    out->EndEditBuffer(-1);
    return true;
}

bool KtUReadStream::ReadStringBytes(KtUStringBuffer* out, bool* is_null) {
    *is_null = true;
    if (m_error || (m_debug && !CheckToken(KtUWriteStream::eSTRING))) {
        out->SetString(nullptr);
        return false;
    }
    if (!ReadRawString(out, is_null) || *is_null) {
        out->SetString(nullptr);
        return *is_null && !m_error;
    }
    return true;
}

int KtUReadStream::ReadString(KtUStringBuffer* text) {
    bool is_null;
    return ReadStringBytes(text, &is_null);
}

int KtUReadStream::ReadString(KtUString* text) {
    bool is_null;
    int ok = ReadStringBytes(&m_conversion, &is_null);
    if (is_null)
        text->SetString(nullptr);
    else
        text->SetString(m_conversion.GetString(), m_conversion.GetLength());
    if (!is_null && !text->GetString()) { // memory ran out
        OutOfMemory();
        return 0;
    }
    return ok;
}

const char* KtUReadStream::ReadStringUsingTempBuffer() {
    bool is_null;
    ReadStringBytes(&m_temp, &is_null);
    return m_temp.GetString();
}

bool KtUReadStream::ConvertWide(const KtUStringBuffer& bytes, bool is_null,
                                KtUWideStringBuffer* out) {
    if (is_null) {
        out->SetString(nullptr);
        return !m_error;
    }
    int ok = m_wide_encoding == eUTF8
                 ? out->SetFromUTF8String(bytes.GetString() ? bytes.GetString() : "")
                 : out->SetFromMultiString(bytes.GetString() ? bytes.GetString() : "");
    if (!ok) {
        out->SetString(nullptr);
        if (!m_error) m_error = ePARSE_ERROR;
        return false;
    }
    return true;
}

int KtUReadStream::ReadWideString(KtUWideStringBuffer* text) {
    if (m_wide_encoding != eUTF8 && m_wide_encoding != eMULTI) return 0;
    bool is_null;
    ReadStringBytes(&m_conversion, &is_null);
    if (m_error) {
        text->SetString(nullptr);
        return 0;
    }
    return ConvertWide(m_conversion, is_null, text);
}

int KtUReadStream::ReadWideString(KtUWideString* text) {
    int ok = ReadWideString(&m_temp_wide);
    if (!m_temp_wide.GetString())
        text->SetString(nullptr);
    else
        text->SetString(m_temp_wide.GetString(), m_temp_wide.GetLength());
    if (m_temp_wide.GetString() && !text->GetString()) { // memory ran out
        OutOfMemory();
        return 0;
    }
    return ok;
}

const KtUWChar* KtUReadStream::ReadWideStringUsingTempBuffer() {
    ReadWideString(&m_temp_wide);
    return m_temp_wide.GetString();
}

// --- Bits ----------------------------------------------------------------------------

int KtUReadStream::BeginBits() {
    m_bits = 0;
    m_bits_available = 0;
    m_words = 0;
    return 1;
}

unsigned int KtUReadStream::ReadBits(unsigned char count) {
    if (count == 0) return 0;
    const int n = count > 32 ? 32 : count;
    if (m_bits_available == 0) {
        m_bits = ReadNat32();
        ++m_words;
        m_bits_available = 32;
    }
    if (n == 32 && m_bits_available == 32) {
        m_bits_available = 0;
        return m_bits;
    }
    if (n > m_bits_available) {
        const int a = m_bits_available;
        const unsigned int low = a ? m_bits & ((1u << a) - 1) : 0;
        const unsigned int high = static_cast<unsigned>(n - a) >= 32 ? 0 : low << (n - a);
        m_bits = ReadNat32();
        ++m_words;
        m_bits_available = 32 - (n - a);
        return high | (m_bits >> m_bits_available);
    }
    m_bits_available -= n;
    const unsigned int mask = n == 32 ? ~0u : (1u << n) - 1;
    return (m_bits >> m_bits_available) & mask;
}

int KtUReadStream::EndBits() {
    return m_words;
}

// --- Header, sync point, extension table ----------------------------------------------

bool KtUReadStream::ReadSync() {
    if (m_error) return false;
    if (m_debug && !CheckToken(KtUWriteStream::eSYNC)) return false;
    if (!m_ascii) return Align(8);
    if (m_debug) {
        int c = Peek();
        if (c != '\n' && c != '\r') {
            if (!m_error) m_error = ePARSE_ERROR;
            return false;
        }
    }
    return true;
}

bool KtUReadStream::ReadHeader(int require_format) {
    // "#KtUStream-V1.1 " after white space.
    static const char kMagic[] = "#KtUStream-V1.1 ";
    int c;
    while ((c = Peek()) >= 0 && IsSpace(c))
        Get();
    char read[sizeof kMagic];
    for (size_t i = 0; i + 1 < sizeof kMagic; ++i) {
        c = Get();
        read[i] = c < 0 ? 0 : static_cast<char>(c);
        read[i + 1] = 0;
        if (c != kMagic[i]) {
            if (c < 0 && !m_error && i == 0)
                m_error = eUNEXPECTED_END;
            else
                ParseError(read, kMagic);
            return false;
        }
    }
    // Four mode words, each chosen by its first character.
    struct Choice {
        char first;
        const char* word;
        int value;
    };
    static const Choice kChoices[4][2] = {
        {{'a', "ascii ", 1}, {'b', "binary ", 0}},
        {{'d', "double ", 1}, {'s', "single ", 0}},
        {{'d', "debug ", 1}, {'r', "release ", 0}},
        {{'u', "utf8 ", eUTF8}, {'C', "C ", eMULTI}},
    };
    int values[4];
    for (int w = 0; w < 4; ++w) {
        while ((c = Peek()) >= 0 && IsSpace(c))
            Get();
        const Choice* choice = nullptr;
        for (const Choice& option : kChoices[w])
            if (c == option.first) choice = &option;
        if (!choice) {
            if (!m_error) m_error = ePARSE_ERROR;
            return false;
        }
        char got[16] = {};
        for (int i = 0; choice->word[i]; ++i) {
            c = Get();
            got[i] = c < 0 ? 0 : static_cast<char>(c);
            if (c != choice->word[i]) {
                ParseError(got, choice->word);
                return false;
            }
        }
        values[w] = choice->value;
    }
    m_ascii = values[0];
    m_double = values[1];
    m_debug = values[2];
    m_wide_encoding = static_cast<WideStringEncoding>(values[3]);

    // The format word, then filter words, up to the line feed.
    ClearActiveFilters();
    bool first = true;
    for (bool line_done = false; !line_done;) {
        char word[kMaxWord];
        int n = 0;
        for (;;) {
            c = Get();
            if (c < 0) {
                if (!m_error) m_error = eUNEXPECTED_END;
                return false;
            }
            if (c == '\r') continue;
            if (c == ' ' || c == '\n') {
                line_done = c == '\n';
                break;
            }
            word[n++] = static_cast<char>(c);
            if (n == kMaxWord) return true; // an overlong word ends the header unread
        }
        word[n] = 0;
        if (first) {
            first = false;
            if (std::strcmp(word, "linull") == 0) {
                SetFormat(nullptr);
                continue;
            }
            const KtUStreamFormat* found = nullptr;
            for (const KtUStreamFormat* format : m_formats) {
                if (format && format->GetName() && std::strcmp(format->GetName(), word) == 0) {
                    found = format;
                    break;
                }
            }
            if (found) {
                SetFormat(found);
                m_read_version = found->GetVersion();
                continue;
            }
            for (const KtUStreamFormat* format : m_formats) {
                int version = 0;
                if (format && format->GetEarlierVersionCB() &&
                    format->GetEarlierVersionCB()(format, word, &version)) {
                    SetFormat(format);
                    m_read_version = version;
                    found = format;
                    break;
                }
            }
            if (!found && require_format) {
                Fail(eUNKNOWN_CONFIGURATION, this, "Unknown configuration");
                return false;
            }
            continue;
        }
        KtUStreamFilter* filter = nullptr;
        for (KtUStreamFilter* candidate : m_available_filters) {
            const char* name = candidate ? candidate->GetName() : nullptr;
            if (name && std::strcmp(name, word) == 0) {
                filter = candidate;
                break;
            }
        }
        if (!filter) {
            Fail(eUNKNOWN_CONFIGURATION, this, "Unknown configuration");
            return false;
        }
        AddActiveFilter(filter);
    }
    return ReadSync();
}

bool KtUReadStream::MakeOwnReadFormat() {
    if (m_owns_read_format) return true;
    if (!m_read_format) return false;
    auto* copy = new KtUStreamFormat(*m_read_format);
    if (!copy || copy->GetNumEntries() != m_read_format->GetNumEntries()) {
        delete copy;
        return false;
    }
    m_read_format = copy;
    m_owns_read_format = 1;
    return true;
}

void KtUReadStream::ReleaseReadFormat() {
    if (m_owns_read_format) delete m_read_format;
    m_read_format = nullptr;
    m_owns_read_format = 0;
}

void KtUReadStream::ReadExtensionTable() {
    if (!m_read_format || !m_read_format->IsExtendable()) return;
    for (;;) {
        const int s = ReadInt32();
        if (m_error || s == -1) return;
        ReadString(&m_conversion);
        const int p = ReadInt32();
        if (m_error) return;
        const char* name = m_conversion.GetString();
        if (s < 0 || s > kMaxExtensionEntry || p < 0 || p >= s || !name || !*name) {
            m_error = eBAD_EXTENSION;
            return;
        }
        int local;
        bool is_new = false;
        if (s < m_read_format->GetNumEntries() && m_read_format->GetEntry(s).GetName() &&
            std::strcmp(m_read_format->GetEntry(s).GetName(), name) == 0) {
            local = s;
        } else if ((local = m_read_format->FindEntry(name)) < 0) {
            if (!MakeOwnReadFormat() ||
                !m_read_format->SetNumEntries(m_read_format->GetNumEntries() + 1)) {
                OutOfMemory();
                return;
            }
            local = m_read_format->GetNumEntries() - 1;
            is_new = true;
        }
        if (m_entry_map.Size() <= s) {
            const int size = m_entry_map.Size();
            m_entry_map.SetSize(s + 1);
            if (m_entry_map.Size() != s + 1) {
                OutOfMemory();
                return;
            }
            for (int i = size; i <= s; ++i)
                m_entry_map[i] = -1;
        }
        if (m_entry_map[s] != -1 || m_entry_map[p] == -1) {
            m_error = eEXTENSION_CONFLICT;
            return;
        }
        const int local_parent = m_entry_map[p];
        m_entry_map[s] = local;
        if (!is_new) {
            if (m_read_format->GetEntry(local).GetParent() != local_parent) {
                m_error = eEXTENSION_CONFLICT;
                return;
            }
            continue;
        }
        // An unknown class: borrow the methods of its nearest usable ancestor.
        int ancestor = local_parent;
        for (int steps = 0; ancestor >= 0 && steps <= m_read_format->GetNumEntries(); ++steps) {
            const KtUStreamFormatEntry& e = m_read_format->GetEntry(ancestor);
            if (e.GetSubstitute() == KtUStreamFormatEntry::kOwnMethods && e.GetCreateMethod() &&
                e.GetReadMethod())
                break;
            ancestor = e.GetParent();
        }
        if (ancestor >= 0 && ancestor < m_read_format->GetNumEntries() &&
            !(m_read_format->GetEntry(ancestor).GetSubstitute() ==
                  KtUStreamFormatEntry::kOwnMethods &&
              m_read_format->GetEntry(ancestor).GetCreateMethod() &&
              m_read_format->GetEntry(ancestor).GetReadMethod()))
            ancestor = -1;
        if (ancestor >= 0) {
            const KtUStreamFormatEntry& e = m_read_format->GetEntry(ancestor);
            m_read_format->SetEntry(local, e.GetWriteMethod(), e.GetCreateMethod(),
                                    e.GetReadMethod(), name, local_parent);
            m_read_format->EditEntry(local)->SetSubstitute(ancestor);
        } else {
            m_read_format->SetEntry(local, nullptr, nullptr, nullptr, name, local_parent);
            m_read_format->EditEntry(local)->SetSubstitute(KtUStreamFormatEntry::kNoAncestor);
        }
        if (!m_read_format->GetEntry(local).GetName()) { // its name could not be copied
            OutOfMemory();
            return;
        }
    }
}

// --- Begin and end ---------------------------------------------------------------------

int KtUReadStream::Begin(int read_config, int read_extensions) {
    if (!CheckInitialised("KtUReadStream::Begin")) return 0;
    if (m_begun) End(0);
    m_error = eNO_ERROR;
    ResetRegion();
    m_eof = 0;
    m_line = 1;
    m_read_version = 0;
    if (read_config) {
        KtUStreamSink* sink = GetSink();
        if (!sink || !sink->ReadBegin(this)) {
            Fail(eREAD_BEGIN_FAILED, sink, "ReadBegin failed");
            return 0;
        }
        m_target = sink;
        ReadHeader(read_extensions);
        Advance();
        m_target = nullptr;
        if (m_error || !InitChain(0, 0)) {
            sink->ReadEnd();
            m_target = nullptr;
            return 0;
        }
    } else {
        m_read_version = GetFormatVersion();
        if (!InitChain(0, 1)) return 0;
    }
    ReleaseReadFormat();
    m_read_format = const_cast<KtUStreamFormat*>(GetFormat());
    m_objects.Clear();
    m_object_entries.Clear();
    m_entry_map.Clear();
    if (m_read_format) {
        m_entry_map.Reserve(m_read_format->GetNumEntries());
        for (int i = 0; i < m_read_format->GetNumEntries(); ++i)
            m_entry_map.PushBack(
                m_read_format->GetEntry(i).GetParent() == KtUStreamFormatEntry::kRoot ? i : -1);
    }
    m_next_id = kFirstId;
    m_begun = 1;
    if (m_read_format && m_entry_map.Size() != m_read_format->GetNumEntries()) {
        OutOfMemory();
        return 1; // begun, in error: End reports it and ends the chain
    }
    if (read_config && read_extensions) ReadExtensionTable();
    return 1;
}

int KtUReadStream::End(int check_end) {
    if (!m_begun) return 0;
    if (check_end && m_state && !m_error) {
        ReadSync();
        if (m_ascii && !m_error) {
            for (const unsigned char* p = m_cursor; p < m_end; ++p) {
                if (!IsSpace(*p)) {
                    char read[2] = {static_cast<char>(*p), 0};
                    ParseError(read, "White Space!");
                    break;
                }
            }
            if (!m_error) m_cursor = m_end;
        }
    }
    Advance();
    ResetRegion();
    ClearChain(0, 1);
    for (int i = 0; i < m_objects.Size(); ++i) {
        const int entry = m_object_entries[i];
        void* object = m_objects[i];
        if (!object || entry < 0 || !m_read_format || entry >= m_read_format->GetNumEntries())
            continue;
        if (auto dispose = m_read_format->GetEntry(entry).GetDisposeMethod())
            dispose(this, entry, object);
    }
    m_objects.Clear();
    m_object_entries.Clear();
    m_begun = 0;
    return m_error == eNO_ERROR;
}

// --- Objects -------------------------------------------------------------------------------

// Reads an object header. Definitions give the local entry index in *entry
// (text streams name it, binary streams give the stream's index, mapped here).
KtUReadStream::ObjectKind KtUReadStream::ReadObjectHeader(unsigned int* id, int* entry) {
    *id = 0;
    *entry = -1;
    if (!m_ascii) {
        const unsigned char* p = Take(4, m_debug != 0);
        if (!p) return ObjectKind::eBad;
        int32_t v;
        std::memcpy(&v, p, 4);
        if (v == 0) return ObjectKind::eNull;
        if (v == 1) {
            p = Take(4, true);
            if (!p) return ObjectKind::eBad;
            std::memcpy(id, p, 4);
            return ObjectKind::eReference;
        }
        *id = static_cast<unsigned int>(v);
        p = Take(4, true);
        if (!p) return ObjectKind::eBad;
        int32_t s;
        std::memcpy(&s, p, 4);
        if (s >= 0 && s < m_entry_map.Size() && m_entry_map[s] >= 0) {
            *entry = m_entry_map[s];
            return ObjectKind::eDefinition;
        }
        char read[16];
        std::snprintf(read, sizeof read, "%d", s);
        ParseError(read, "Entry!");
        return ObjectKind::eBad;
    }
    char word[kMaxWord];
    int n;
    if (!ReadWord(word, &n)) return ObjectKind::eBad;
    if (std::strcmp(word, "NULL_OBJECT") == 0) return ObjectKind::eNull;
    const bool use = std::strcmp(word, "USE") == 0;
    if (!use && std::strcmp(word, "DEF") != 0) {
        ParseError(word, "Object!");
        return ObjectKind::eBad;
    }
    if (!ReadWord(word, &n)) return ObjectKind::eBad;
    long long value;
    if (!ParseSigned(word, &value)) {
        ParseError(word, "Object!");
        return ObjectKind::eBad;
    }
    *id = static_cast<unsigned int>(value);
    if (use) return ObjectKind::eReference;
    if (!ReadWord(word, &n)) return ObjectKind::eBad;
    int local = m_read_format ? m_read_format->FindEntry(word) : -1;
    if (local < 0 && m_read_format) {
        long long index;
        char* end;
        index = std::strtoll(word, &end, 10);
        if (end != word && *end == 0 && index >= 0 && index < m_read_format->GetNumEntries())
            local = static_cast<int>(index);
    }
    if (local < 0) {
        ParseError("Bad definition format entry", "Object!");
        return ObjectKind::eBad;
    }
    if (!Expect("{")) return ObjectKind::eBad;
    *entry = local;
    return ObjectKind::eDefinition;
}

void* KtUReadStream::ReadObjectExt(int* entry_out, KtUStreamExtData** ext) {
    if (ext) *ext = nullptr;
    if (entry_out) *entry_out = -1;
    if (m_error || !m_begun) return nullptr;
    if (m_debug && !CheckToken(KtUWriteStream::eOBJECT)) return nullptr;
    unsigned int id;
    int local;
    switch (ReadObjectHeader(&id, &local)) {
    case ObjectKind::eBad:
        return nullptr;
    case ObjectKind::eNull:
        return nullptr;
    case ObjectKind::eReference: {
        if (id < kFirstId || id >= m_next_id ||
            id - kFirstId >= static_cast<unsigned>(m_objects.Size())) {
            ParseError("Bad reference id", "Object!");
            return nullptr;
        }
        if (entry_out) *entry_out = m_object_entries[static_cast<int>(id - kFirstId)];
        return m_objects[static_cast<int>(id - kFirstId)];
    }
    case ObjectKind::eDefinition:
        break;
    }
    if (!m_read_format) {
        Fail(eNO_FORMAT, this, "No format for stream");
        return nullptr;
    }
    if (id != m_next_id) {
        char read[16], expected[16];
        std::snprintf(read, sizeof read, "%u", id);
        std::snprintf(expected, sizeof expected, "%u", m_next_id);
        ParseError(read, expected);
    }
    ++m_next_id;
    const KtUStreamFormatEntry& definition = m_read_format->GetEntry(local);
    int e = local;
    if (definition.GetSubstitute() == KtUStreamFormatEntry::kNoAncestor) {
        if (!m_error) m_error = eNO_ANCESTOR;
        return nullptr;
    }
    if (definition.GetSubstitute() >= 0) e = definition.GetSubstitute();
    const KtUStreamFormatEntry& methods = m_read_format->GetEntry(e);
    if (!methods.GetCreateMethod() || !methods.GetReadMethod()) {
        Fail(eNO_METHOD, this, "No method for entry %d in format for object", e);
        return nullptr;
    }
    void* object = methods.GetCreateMethod()(this, e);
    if (!object) {
        if (!m_error) m_error = eCREATE_FAILED;
        return nullptr;
    }
    if (!EnterObject(object, e)) {
        if (auto dispose = methods.GetDisposeMethod()) dispose(this, e, object);
        return nullptr;
    }
    if (entry_out) *entry_out = e;
    const int debug = m_debug;
    if (definition.GetParent() >= 0) m_debug = 1; // the writer made derived bodies self-describing
    if (!methods.GetReadMethod()(this, e, object) && !m_error) m_error = eREAD_METHOD_FAILED;
    if (definition.GetSubstitute() >= 0) {
        // The rest of the body belongs to a class this program lacks: keep it.
        KtUStreamBuffer bytes;
        KtUWriteStream copy(&bytes);
        copy.SetDebug(1);
        copy.SetDouble(1); // Float values keep full precision
        copy.SetFormat(m_read_format);
        if (!m_error && !copy.Begin(0, 0)) {
            OutOfMemory();
        } else if (!m_error) {
            CopyDebugData(&copy, 1);
            copy.End();
            if (copy.IsError() && !m_error) OutOfMemory();
            if (ext && !m_error) {
                unsigned char* start = bytes.GetAlignedBuffer();
                const int size = start ? bytes.GetAlignedUsed() : 0;
                unsigned char* data = nullptr;
                if (size > 0) {
                    data = static_cast<unsigned char*>(
                        KtUMemory::TryMalloc(static_cast<unsigned>(size)));
                    if (data) std::memcpy(data, start, static_cast<size_t>(size));
                }
                *ext = (data || size == 0) ? new KtUStreamExtData(local, data, size) : nullptr;
                if (!*ext) {
                    KtUMemory::Free(data);
                    OutOfMemory();
                }
            }
        }
    } else if (m_debug) {
        CheckToken(KtUWriteStream::eOBJECT_END_DEF);
    }
    m_debug = debug;
    if (m_ascii) Expect("}");
    return object;
}

void* KtUReadStream::ReadCheckedObject(int entry) {
    int got;
    void* object = ReadObjectExt(&got, nullptr);
    if (object && got != entry) {
        if (!m_error) m_error = eWRONG_ENTRY;
        return nullptr;
    }
    return object;
}

void* KtUReadStream::GetObject(unsigned int id) const {
    if (id < kFirstId || id - kFirstId >= static_cast<unsigned>(m_objects.Size())) return nullptr;
    return m_objects[static_cast<int>(id - kFirstId)];
}

void KtUReadStream::AddObject(void* object, int entry, unsigned int id) {
    if (!m_begun) return;
    if (!m_read_format) {
        Fail(eNO_FORMAT, this, "No format for stream");
        return;
    }
    if (entry < 0 || entry >= m_read_format->GetNumEntries()) {
        Fail(eNO_METHOD, this, "No entry %d in format for object", entry);
        return;
    }
    if (id != m_next_id) {
        char read[16], expected[16];
        std::snprintf(read, sizeof read, "%u", id);
        std::snprintf(expected, sizeof expected, "%u", m_next_id);
        ParseError(read, expected);
    }
    ++m_next_id;
    EnterObject(object, entry);
}

// --- Copying self-describing data -------------------------------------------------------

// n elements of T of an array being read (binary: after its first piece,
// started; text: the words, after the "[" when there is one).
template <class T> bool KtUReadStream::ReadPiece(T* piece, long n, bool started) {
    if (!m_ascii) {
        ReadBinaryValues(piece, n, started);
    } else {
        for (long i = 0; i < n && ReadTextValue(&piece[i]); ++i) {
        }
    }
    return !m_error;
}

// Copies an array of count elements to out a bounded piece at a time,
// whatever count the data claims; TIn is the element as stored here, TOut as
// out stores it.
template <class TIn, class TOut>
bool KtUReadStream::CopyArray(KtUWriteStream* out, int token, long count) {
    constexpr long kPiece = kCopyPieceBytes / sizeof(TIn);
    TIn in_piece[kPiece];
    TOut out_piece[kPiece];
    if (out->m_debug) out->WriteArrayToken(token, count);
    if (m_ascii && count != 1 && !Expect("[")) return false;
    if (out->m_ascii) out->TextArrayBegin(static_cast<int>(ktu::stream::TextKindOf<TOut>()), count);
    for (long done = 0; done < count;) {
        const long n = count - done < kPiece ? count - done : kPiece;
        if (!ReadPiece(in_piece, n, done > 0)) return false;
        const TOut* values;
        if constexpr (std::is_same_v<TIn, TOut>) {
            values = in_piece;
        } else {
            for (long i = 0; i < n; ++i)
                out_piece[i] = static_cast<TOut>(in_piece[i]);
            values = out_piece;
        }
        if (out->m_ascii)
            out->TextArrayPut(values, n);
        else
            out->PutArrayElements(values, n);
        done += n;
    }
    if (m_ascii && count != 1 && !Expect("]")) return false;
    if (out->m_ascii) out->TextArrayEnd();
    return !m_error;
}

template <class T> bool KtUReadStream::CopyScalar(KtUWriteStream* out, int token) {
    return CopyArray<T, T>(out, token, 1);
}

int KtUReadStream::CopyDebugData(KtUWriteStream* out, int to_object_end) {
    using W = KtUWriteStream;
    int depth = 0;
    while (!m_error && !out->m_error) {
        int token;
        if (!m_ascii) {
            const unsigned char* p = Take(4, false);
            if (!p) break;
            int32_t code;
            std::memcpy(&code, p, 4);
            token = code;
            if (token < 0 || token >= W::eNUM_TOKENS) {
                char read[16];
                std::snprintf(read, sizeof read, "%d", code);
                ParseError(read, "Debug Token!");
                break;
            }
        } else {
            char word[kMaxWord];
            int n;
            if (!ReadWord(word, &n)) break;
            token = ktu::stream::TokenCode(word);
            if (token < 0) {
                ParseError(word, "Debug Token!");
                break;
            }
        }
        if (token == W::eSYNC && !to_object_end) break;
        if (token == W::eOBJECT_END_DEF && depth == 0 && to_object_end) break;

        const int debug = m_debug;
        m_debug = 0;
        // A scalar's token stands alone; out writes its own.
        const int out_debug = out->m_debug;
        long count = 1;
        const bool array =
            (token >= W::eNAT8_ARRAY && token <= W::eFLOAT_ARRAY) || token == W::eNAT64_ARRAY;
        if (array) {
            if (!m_ascii) {
                const unsigned char* p = Take(4, true);
                int32_t c = 0;
                if (p) std::memcpy(&c, p, 4);
                count = c;
            } else {
                char word[kMaxWord];
                int n;
                long long c = 0;
                if (ReadWord(word, &n) && !ParseSigned(word, &c)) ParseError(word, "Array count");
                count = static_cast<long>(c);
            }
            if (!m_error && count < 1) m_error = ePARSE_ERROR;
        } else if (token != W::eOBJECT && token != W::eOBJECT_END_DEF && token != W::eBAD &&
                   token != W::eSYNC && token != W::eSTRING && out->m_debug) {
            out->WriteToken(token);
            out->m_debug = 0; // the element itself carries no second token
        }
        if (!m_error) {
            switch (token) {
            case W::eNAT8:
                CopyScalar<uint8_t>(out, token);
                break;
            case W::eINT16:
                CopyScalar<int16_t>(out, token);
                break;
            case W::eNAT16:
                CopyScalar<uint16_t>(out, token);
                break;
            case W::eINT32:
                CopyScalar<int32_t>(out, token);
                break;
            case W::eNAT32:
            case W::eBOOLEAN:
            case W::eENUM:
            case W::eBITFIELD:
                CopyScalar<uint32_t>(out, token);
                break;
            case W::eNAT64:
                CopyScalar<uint64_t>(out, token);
                break;
            case W::eSINGLE:
                CopyScalar<float>(out, token);
                break;
            case W::eDOUBLE:
                CopyScalar<double>(out, token);
                break;
            case W::eFLOAT:
                if (m_double == out->m_double) {
                    if (m_double)
                        CopyScalar<double>(out, token);
                    else
                        CopyScalar<float>(out, token);
                } else if (m_double) {
                    CopyArray<double, float>(out, token, 1);
                } else {
                    CopyArray<float, double>(out, token, 1);
                }
                break;
            case W::eSTRING: {
                bool is_null;
                if (ReadRawString(&m_conversion, &is_null))
                    out->WriteStringBytes(is_null ? nullptr : m_conversion.GetString(),
                                          is_null ? 0 : m_conversion.GetLength());
                break;
            }
            case W::eNAT8_ARRAY:
                CopyArray<uint8_t, uint8_t>(out, token, count);
                break;
            case W::eINT16_ARRAY:
                CopyArray<int16_t, int16_t>(out, token, count);
                break;
            case W::eNAT16_ARRAY:
                CopyArray<uint16_t, uint16_t>(out, token, count);
                break;
            case W::eINT32_ARRAY:
                CopyArray<int32_t, int32_t>(out, token, count);
                break;
            case W::eNAT32_ARRAY:
                CopyArray<uint32_t, uint32_t>(out, token, count);
                break;
            case W::eNAT64_ARRAY:
                CopyArray<uint64_t, uint64_t>(out, token, count);
                break;
            case W::eSINGLE_ARRAY:
                CopyArray<float, float>(out, token, count);
                break;
            case W::eDOUBLE_ARRAY:
                CopyArray<double, double>(out, token, count);
                break;
            case W::eFLOAT_ARRAY:
                if (m_double && out->m_double)
                    CopyArray<double, double>(out, token, count);
                else if (m_double)
                    CopyArray<double, float>(out, token, count);
                else if (out->m_double)
                    CopyArray<float, double>(out, token, count);
                else
                    CopyArray<float, float>(out, token, count);
                break;
            case W::eOBJECT: {
                unsigned int id;
                int entry;
                switch (ReadObjectHeader(&id, &entry)) {
                case ObjectKind::eNull:
                    out->WriteNullObject();
                    break;
                case ObjectKind::eReference:
                    out->WriteReference(id);
                    break;
                case ObjectKind::eDefinition:
                    if (id != m_next_id) {
                        m_error = eCOPY_OUT_OF_ORDER;
                        break;
                    }
                    ++m_next_id;
                    if (!EnterObject(nullptr, -2)) break;
                    out->BeginDefinition(out->m_next_id++, entry);
                    ++depth;
                    break;
                case ObjectKind::eBad:
                    break;
                }
                break;
            }
            case W::eOBJECT_END_DEF:
                if (depth == 0) {
                    ParseError("ObjectEndDef", "Debug Token!");
                    break;
                }
                --depth;
                if (m_ascii) Expect("}");
                out->EndDefinition();
                break;
            default: // Bad, and Sync inside an object: nothing to copy
                break;
            }
        }
        out->m_debug = out_debug;
        m_debug = debug;
    }
    return !m_error && !out->m_error;
}

int KtUReadStream::CopyDebugToEnd(KtUWriteStream* out) {
    if (!out || !m_debug || !out->IsDebug() || !m_begun) return 0;
    CopyDebugData(out, 0);
    if (out->m_error && !m_error) m_error = out->m_error;
    return End(0);
}

// --- Operators -------------------------------------------------------------------------------

// Each operator reads its value with the method named beside its type.
#define KTU_READ_OPERATOR(Type, Read)                                                              \
    KtUReadStream& operator>>(KtUReadStream& s, Type& v) {                                         \
        v = static_cast<Type>(s.Read());                                                           \
        return s;                                                                                  \
    }
KTU_READ_OPERATOR(signed char, ReadInt8)
KTU_READ_OPERATOR(unsigned char, ReadNat8)
KTU_READ_OPERATOR(short, ReadInt16)
KTU_READ_OPERATOR(unsigned short, ReadNat16)
KTU_READ_OPERATOR(int, ReadInt32)
KTU_READ_OPERATOR(unsigned int, ReadNat32)
KTU_READ_OPERATOR(KtUNat64, ReadNat64)
KTU_READ_OPERATOR(KtUInt64, ReadNat64)
KTU_READ_OPERATOR(float, ReadSingle)
KTU_READ_OPERATOR(double, ReadDouble)
#undef KTU_READ_OPERATOR
KtUReadStream& operator>>(KtUReadStream& s, bool& v) {
    v = s.ReadBoolean() == 1;
    return s;
}
KtUReadStream& operator>>(KtUReadStream& s, KtUString& v) {
    s.ReadString(&v);
    return s;
}
KtUReadStream& operator>>(KtUReadStream& s, KtUStringBuffer& v) {
    s.ReadString(&v);
    return s;
}
KtUReadStream& operator>>(KtUReadStream& s, KtUWideString& v) {
    s.ReadWideString(&v);
    return s;
}
KtUReadStream& operator>>(KtUReadStream& s, KtUWideStringBuffer& v) {
    s.ReadWideString(&v);
    return s;
}
KtUReadStream& operator>>(KtUReadStream& s, KtUStream& (*manipulator)(KtUStream&)) {
    manipulator(s);
    return s;
}

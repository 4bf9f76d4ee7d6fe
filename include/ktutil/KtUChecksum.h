//===- KtUChecksum.h - Running Adler-32 checksum of typed values ----------===//
//
// KtUChecksum adds up values the way a binary stream writes them, as
// little-endian bytes, into an Adler-32 checksum (RFC 1950):
//
//   KtUChecksum sum;                     // or sum.Begin() to start again
//   sum.AddInt32(count);                 // 4 bytes
//   sum.AddDoubleArray(points, n);       // 8 bytes each, IEEE 754 bits
//   sum.AddString(name);                 // the bytes; a null string adds one 0
//   unsigned value = sum.End();          // (b << 16) | a
//
// End may be called at any point and more values added afterwards: it
// returns the checksum of everything added since Begin. Singles and doubles
// count as their bit patterns, wide strings as UTF-16 units, low byte first.
// Large arrays run through vector code where the processor has it; the result
// is the same either way.
//
// Thread safety: a checksum is a plain value; one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUCHECKSUM_H
#define KTUTIL_KTUCHECKSUM_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUString;
class KtUStringBuffer;
class KtUWideString;
class KtUWideStringBuffer;

/// Adler-32 of the little-endian bytes of the values added; also the
/// component "KtUChecksum".
class KTU_API KtUChecksum {
public:
    KtUChecksum() = default;

    /// Starts again from the checksum of no bytes.
    void Begin() {
        m_a = 1;
        m_b = 0;
        m_countdown = kDeferral;
    }
    /// The checksum of all bytes added since Begin; more may follow.
    unsigned End();

    void AddNat8(unsigned char value);
    void AddInt16(short value);
    void AddNat16(unsigned short value);
    void AddInt32(int value);
    void AddNat32(unsigned value);
    void AddSingle(float value);
    /// 4 bytes, as a stream writes a Boolean.
    void AddBoolean(int value);
    void AddEnum(unsigned value);
    void AddBitfield(unsigned value);
    void AddInt64(KtUInt64 value);
    void AddNat64(KtUNat64 value);
    void AddDouble(double value);
    /// 8 bytes: always the double's bits, whatever precision a stream writes.
    void AddFloat(double value);
    void AddTime(KtUInt64 value);

    void AddNat8Array(const unsigned char* values, unsigned count);
    void AddInt16Array(const short* values, unsigned count);
    void AddNat16Array(const unsigned short* values, unsigned count);
    void AddInt32Array(const int* values, unsigned count);
    void AddNat32Array(const unsigned* values, unsigned count);
    void AddSingleArray(const float* values, unsigned count);
    void AddInt64Array(const KtUInt64* values, unsigned count);
    void AddNat64Array(const KtUNat64* values, unsigned count);
    void AddDoubleArray(const double* values, unsigned count);
    void AddFloatArray(const double* values, unsigned count);

    /// The characters without terminator; a null string adds one zero byte.
    void AddString(const char* text);
    void AddString(const KtUString& text);
    void AddString(const KtUStringBuffer& text);
    /// The UTF-16 units, low byte first, without terminator; a null string
    /// adds one zero byte.
    void AddWideString(const KtUWChar* text);
    void AddWideString(const KtUWideString& text);
    void AddWideString(const KtUWideStringBuffer& text);

    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    static constexpr int kDeferral = 5552;

    void AddBytes(const unsigned char* bytes, KtUNat64 count);
    template <int N> void AddLittleEndian(KtUNat64 value);
    template <class T> void AddArray(const T* values, unsigned count);
    void AddWideUnits(const KtUWChar* text, int length);

    /// The Adler-32 sums, unreduced for up to kDeferral bytes.
    unsigned m_a = 1;
    unsigned m_b = 0;
    /// Bytes that may still be added before both sums must be reduced.
    int m_countdown = kDeferral;
};

#endif // KTUTIL_KTUCHECKSUM_H

//===- KtUChecksum.cpp - Running Adler-32 checksum of typed values --------===//
#include <ktutil/KtUChecksum.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "foundation/component.h"
#include "stream/adler32.h"

#include <bit>
#include <cstring>

using namespace ktu::stream;

static KtUComponent s_component;

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUChecksum",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUSysError>,
};
KTU_COMPONENT_LIFECYCLE(KtUChecksum, kComponent)

static_assert(kAdlerDeferral == 5552);

// Below this many bytes the inline loop beats a call through the dispatcher.
static constexpr KtUNat64 kKernelThreshold = 32;

void KtUChecksum::AddBytes(const unsigned char* bytes, KtUNat64 count) {
    if (count >= kKernelThreshold) {
        Adler32State state{m_a, m_b, m_countdown};
        Adler32Add(state, bytes, count);
        m_a = state.a;
        m_b = state.b;
        m_countdown = state.countdown;
        return;
    }
    for (; count; --count) {
        m_a += *bytes++;
        m_b += m_a;
        if (--m_countdown == 0) {
            m_a %= kAdlerModulus;
            m_b %= kAdlerModulus;
            m_countdown = kDeferral;
        }
    }
}

template <int N> void KtUChecksum::AddLittleEndian(KtUNat64 value) {
    if (m_countdown > N) {
        // No reduction falls inside: add the bytes straight.
        for (int i = 0; i < N; ++i, value >>= 8) {
            m_a += static_cast<unsigned>(value & 0xFF);
            m_b += m_a;
        }
        m_countdown -= N;
        return;
    }
    unsigned char bytes[N];
    for (int i = 0; i < N; ++i, value >>= 8)
        bytes[i] = static_cast<unsigned char>(value);
    AddBytes(bytes, N);
}

unsigned KtUChecksum::End() {
    if (m_countdown != kDeferral) {
        m_a %= kAdlerModulus;
        m_b %= kAdlerModulus;
        m_countdown = kDeferral;
    }
    return m_b << 16 | m_a;
}

void KtUChecksum::AddNat8(unsigned char value) {
    AddLittleEndian<1>(value);
}
void KtUChecksum::AddInt16(short value) {
    AddLittleEndian<2>(static_cast<unsigned short>(value));
}
void KtUChecksum::AddNat16(unsigned short value) {
    AddLittleEndian<2>(value);
}
void KtUChecksum::AddInt32(int value) {
    AddLittleEndian<4>(static_cast<unsigned>(value));
}
void KtUChecksum::AddNat32(unsigned value) {
    AddLittleEndian<4>(value);
}
void KtUChecksum::AddSingle(float value) {
    AddLittleEndian<4>(std::bit_cast<std::uint32_t>(value));
}
void KtUChecksum::AddBoolean(int value) {
    AddLittleEndian<4>(static_cast<unsigned>(value));
}
void KtUChecksum::AddEnum(unsigned value) {
    AddLittleEndian<4>(value);
}
void KtUChecksum::AddBitfield(unsigned value) {
    AddLittleEndian<4>(value);
}
void KtUChecksum::AddInt64(KtUInt64 value) {
    AddLittleEndian<8>(static_cast<KtUNat64>(value));
}
void KtUChecksum::AddNat64(KtUNat64 value) {
    AddLittleEndian<8>(value);
}
void KtUChecksum::AddDouble(double value) {
    AddLittleEndian<8>(std::bit_cast<KtUNat64>(value));
}
void KtUChecksum::AddFloat(double value) {
    AddLittleEndian<8>(std::bit_cast<KtUNat64>(value));
}
void KtUChecksum::AddTime(KtUInt64 value) {
    AddLittleEndian<8>(static_cast<KtUNat64>(value));
}

// Arrays of numbers are their elements' little-endian bytes one after the
// other: on a little-endian processor, the array's memory as it is.
template <class T> void KtUChecksum::AddArray(const T* values, unsigned count) {
    if (!values || !count) return;
    if constexpr (std::endian::native == std::endian::little) {
        AddBytes(reinterpret_cast<const unsigned char*>(values), KtUNat64(count) * sizeof(T));
    } else {
        using Bits =
            std::conditional_t<sizeof(T) == 2, std::uint16_t,
                               std::conditional_t<sizeof(T) == 4, std::uint32_t, KtUNat64>>;
        for (unsigned i = 0; i < count; ++i)
            AddLittleEndian<sizeof(T)>(std::bit_cast<Bits>(values[i]));
    }
}

void KtUChecksum::AddNat8Array(const unsigned char* values, unsigned count) {
    if (values) AddBytes(values, count);
}
void KtUChecksum::AddInt16Array(const short* values, unsigned count) {
    AddArray(values, count);
}
void KtUChecksum::AddNat16Array(const unsigned short* values, unsigned count) {
    AddArray(values, count);
}
void KtUChecksum::AddInt32Array(const int* values, unsigned count) {
    AddArray(values, count);
}
void KtUChecksum::AddNat32Array(const unsigned* values, unsigned count) {
    AddArray(values, count);
}
void KtUChecksum::AddSingleArray(const float* values, unsigned count) {
    AddArray(values, count);
}
void KtUChecksum::AddInt64Array(const KtUInt64* values, unsigned count) {
    AddArray(values, count);
}
void KtUChecksum::AddNat64Array(const KtUNat64* values, unsigned count) {
    AddArray(values, count);
}
void KtUChecksum::AddDoubleArray(const double* values, unsigned count) {
    AddArray(values, count);
}
void KtUChecksum::AddFloatArray(const double* values, unsigned count) {
    AddArray(values, count);
}

void KtUChecksum::AddString(const char* text) {
    if (!text) {
        AddNat8(0);
        return;
    }
    AddBytes(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
}

void KtUChecksum::AddString(const KtUString& text) {
    AddString(text.GetString());
}

void KtUChecksum::AddString(const KtUStringBuffer& text) {
    if (text.IsNull()) {
        AddNat8(0);
        return;
    }
    AddBytes(reinterpret_cast<const unsigned char*>(text.GetString()),
             static_cast<KtUNat64>(text.GetLength()));
}

void KtUChecksum::AddWideUnits(const KtUWChar* text, int length) {
    if (!text) {
        AddNat8(0);
        return;
    }
    AddArray(text, static_cast<unsigned>(length));
}

void KtUChecksum::AddWideString(const KtUWChar* text) {
    AddWideUnits(text, text ? KtUWideString::GetLength(text) : 0);
}

void KtUChecksum::AddWideString(const KtUWideString& text) {
    AddWideString(text.GetString());
}

void KtUChecksum::AddWideString(const KtUWideStringBuffer& text) {
    AddWideUnits(text.GetString(), text.GetLength());
}

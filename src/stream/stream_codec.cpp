//===- stream_codec.cpp - Token names and text forms of stream values -----===//
#include "stream/stream_codec.h"

#include <ktutil/KtUMemory.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ktu::stream {

namespace {
constexpr const char* kTokenNames[] = {
    "Bad",        "Sync",        "Nat8",        "Int16",      "Nat16",      "Int32",
    "Nat32",      "Single",      "Double",      "Float",      "Boolean",    "Enum",
    "Bitfield",   "String",      "Nat8Array",   "Int16Array", "Nat16Array", "Int32Array",
    "Nat32Array", "SingleArray", "DoubleArray", "FloatArray", "Object",     "ObjectEndDef",
    "Nat64",      "Nat64Array",
};
constexpr int kNumTokens = sizeof kTokenNames / sizeof kTokenNames[0];
} // namespace

const char* TokenName(int token) {
    return token >= 0 && token < kNumTokens ? kTokenNames[token] : nullptr;
}

int TokenCode(const char* name) {
    for (int i = 0; i < kNumTokens; ++i)
        if (std::strcmp(kTokenNames[i], name) == 0) return i;
    return -1;
}

int DefaultColumns(TextKind kind) {
    switch (kind) {
    case TextKind::eNat8:
        return 18;
    case TextKind::eInt16:
        return 10;
    case TextKind::eNat16:
        return 15;
    case TextKind::eInt32:
        return 6;
    case TextKind::eNat32:
        return 8;
    case TextKind::eNat64:
        return 4;
    case TextKind::eSingle:
        return 6;
    case TextKind::eDouble:
        return 3;
    }
    return 1;
}

LineBuilder::~LineBuilder() {
    if (m_data != m_inline) KtUMemory::Free(m_data);
}

bool LineBuilder::Grow(size_t more) {
    size_t capacity = m_capacity * 2;
    while (capacity < m_size + more)
        capacity *= 2;
    auto* data = capacity <= 0x7fffffff
                     ? static_cast<char*>(KtUMemory::TryMalloc(static_cast<unsigned>(capacity)))
                     : nullptr;
    if (!data) {
        m_failed = true;
        return false;
    }
    std::memcpy(data, m_data, m_size);
    if (m_data != m_inline) KtUMemory::Free(m_data);
    m_data = data;
    m_capacity = capacity;
    return true;
}

void LineBuilder::Append(const char* text) {
    size_t n = std::strlen(text);
    if (m_size + n > m_capacity && !Grow(n)) return;
    std::memcpy(m_data + m_size, text, n);
    m_size += n;
}

void LineBuilder::Indent(int count) {
    if (count <= 0) return;
    if (m_size + static_cast<size_t>(count) > m_capacity && !Grow(static_cast<size_t>(count)))
        return;
    std::memset(m_data + m_size, ' ', static_cast<size_t>(count));
    m_size += static_cast<size_t>(count);
}

void LineBuilder::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char local[64];
    int n = std::vsnprintf(local, sizeof local, format, args);
    va_end(args);
    if (n < 0) return;
    if (m_size + static_cast<size_t>(n) + 1 > m_capacity && !Grow(static_cast<size_t>(n) + 1))
        return;
    if (static_cast<size_t>(n) < sizeof local) {
        std::memcpy(m_data + m_size, local, static_cast<size_t>(n));
    } else {
        va_start(args, format);
        std::vsnprintf(m_data + m_size, static_cast<size_t>(n) + 1, format, args);
        va_end(args);
    }
    m_size += static_cast<size_t>(n);
}

void FormatTextValue(LineBuilder* line, TextKind kind, const void* values, long i,
                     const char* real_format, double zero) {
    KTU_BEGIN_UNCHECKED_FORMAT
    switch (kind) {
    case TextKind::eNat8:
        line->Printf(" %2x", static_cast<const uint8_t*>(values)[i]);
        break;
    case TextKind::eInt16:
        line->Printf(" %6d", static_cast<const int16_t*>(values)[i]);
        break;
    case TextKind::eNat16:
        line->Printf(" %4x", static_cast<const uint16_t*>(values)[i]);
        break;
    case TextKind::eInt32:
        line->Printf(" %11d", static_cast<const int32_t*>(values)[i]);
        break;
    case TextKind::eNat32:
        line->Printf(" %8x", static_cast<const uint32_t*>(values)[i]);
        break;
    case TextKind::eNat64:
        line->Printf(" %16llx",
                     static_cast<unsigned long long>(static_cast<const uint64_t*>(values)[i]));
        break;
    case TextKind::eSingle: {
        double v = static_cast<const float*>(values)[i];
        line->Printf(real_format, std::fabs(v) < zero ? 0.0 : v);
        break;
    }
    case TextKind::eDouble: {
        double v = static_cast<const double*>(values)[i];
        line->Printf(real_format, std::fabs(v) < zero ? 0.0 : v);
        break;
    }
    }
    KTU_END_UNCHECKED_FORMAT
}

} // namespace ktu::stream

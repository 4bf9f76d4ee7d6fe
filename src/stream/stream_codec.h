//===- stream_codec.h - Token names and text forms shared by writer and reader ===//
//
// The debug token names, the text form of each value kind (its printf
// format and how many values a line holds) and a small line builder that
// the writer fills before handing text to the sink.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_STREAM_STREAM_CODEC_H
#define KTUTIL_STREAM_STREAM_CODEC_H

#include <ktutil/KtUDefs.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace ktu::stream {

/// Token names by code ("Bad", "Sync", ...); null outside 0..25.
const char* TokenName(int token);
/// The code of a token name, or -1.
int TokenCode(const char* name);

/// The text forms of the value kinds.
enum class TextKind { eNat8, eInt16, eNat16, eInt32, eNat32, eNat64, eSingle, eDouble };

template <class T> constexpr TextKind TextKindOf() {
    if constexpr (sizeof(T) == 1)
        return TextKind::eNat8;
    else if constexpr (std::is_same_v<T, int16_t>)
        return TextKind::eInt16;
    else if constexpr (std::is_same_v<T, uint16_t>)
        return TextKind::eNat16;
    else if constexpr (std::is_same_v<T, int32_t>)
        return TextKind::eInt32;
    else if constexpr (std::is_same_v<T, uint32_t>)
        return TextKind::eNat32;
    else if constexpr (std::is_same_v<T, uint64_t>)
        return TextKind::eNat64;
    else if constexpr (std::is_same_v<T, float>)
        return TextKind::eSingle;
    else
        return TextKind::eDouble;
}

/// Values per text line when the stream sets no column count.
int DefaultColumns(TextKind kind);

/// A growable run of text; a line or several of them.
class LineBuilder {
public:
    /// Starts with indent spaces.
    explicit LineBuilder(int indent) { Indent(indent); }
    LineBuilder(const LineBuilder&) = delete;
    LineBuilder& operator=(const LineBuilder&) = delete;
    ~LineBuilder();

    void Append(char c) {
        if (m_size == m_capacity && !Grow(1)) return;
        m_data[m_size++] = c;
    }
    void Append(const char* text);
    void Indent(int count);
    void Printf(const char* format, ...) KTU_PRINTF(2, 3);
    void Clear() { m_size = 0; }
    const char* Data() const { return m_data; }
    /// Memory ran out: some text was dropped.
    bool Failed() const { return m_failed; }
    int Size() const { return static_cast<int>(m_size); }

private:
    bool Grow(size_t more);

    char m_inline[256];
    char* m_data = m_inline;
    size_t m_size = 0;
    size_t m_capacity = sizeof m_inline;
    bool m_failed = false;
};

/// Appends element index of values (of kind) in its text form; reals use
/// real_format and print as 0 when their magnitude is below zero.
void FormatTextValue(LineBuilder* line, TextKind kind, const void* values, long index,
                     const char* real_format, double zero);

} // namespace ktu::stream

#endif // KTUTIL_STREAM_STREAM_CODEC_H

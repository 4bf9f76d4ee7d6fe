//===- text_ops.h - Character-width-generic string algorithms -------------===//
//
// The narrow (UTF-8) and wide (UTF-16) string classes share every algorithm
// that does not depend on the encoding: comparisons with their null/empty
// rules, hashing, searching, and the buffer bookkeeping on memory-manager
// blocks. They live here once, as templates over the code unit type.
//
// A buffer is three fields owned by its class: the text, its length in units
// and its allocation in units. BufferRef names them so the templates can
// update them in place.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_TEXT_OPS_H
#define KTUTIL_TEXT_OPS_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUTextHash.h>

#include <cstring>
#include <type_traits>

namespace ktu::text {

template <class C> inline int Length(const C* s) {
    if (!s) return 0;
    if constexpr (sizeof(C) == 1) {
        return static_cast<int>(std::strlen(s));
    } else {
        const C* p = s;
        while (*p)
            ++p;
        return static_cast<int>(p - s);
    }
}

/// The unsigned value of a code unit (for ordering).
template <class C> inline unsigned Unit(C c) {
    return static_cast<std::make_unsigned_t<C>>(c);
}

/// 1 when equal pointers (two nulls), 0 when one is null, else content equality.
template <class C> inline int Equal(const C* a, const C* b) {
    if (a == b) return 1;
    if (!a || !b) return 0;
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

template <class C> inline int EqualPrefix(const C* a, const C* b, int n) {
    if (a == b) return 1;
    if (!a || !b) return 0;
    if (!*a && !*b) return 1;
    if (*a != *b) return 0;
    for (int i = 0; i < n; ++i) {
        if (a[i] != b[i]) return 0;
        if (!a[i]) break;
    }
    return 1;
}

/// The null/empty rules shared by every comparison: returns true and sets
/// result when they decide the order.
template <class C> inline bool CompareNullsAndEmpties(const C* a, const C* b, int* result) {
    if (!a || !b) {
        *result = (a == b) ? 0 : (a ? 1 : -1);
        return true;
    }
    if (!*a || !*b) {
        *result = (!*a && !*b) ? 0 : (*a ? 1 : -1);
        return true;
    }
    return false;
}

/// Code-unit order, -1/0/1; null before anything, empties equal.
template <class C> inline int Strcmp(const C* a, const C* b) {
    int result;
    if (CompareNullsAndEmpties(a, b, &result)) return result;
    while (*a && *a == *b)
        ++a, ++b;
    unsigned x = Unit(*a), y = Unit(*b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

/// First occurrence of needle in text at or after start (text has length len).
template <class C> inline const C* Find(const C* text, int len, const C* needle, int start) {
    if (!text || !needle || !*needle || start < 0 || start >= len) return nullptr;
    int n = Length(needle);
    for (int i = start; i + n <= len; ++i)
        if (text[i] == needle[0] && std::memcmp(text + i, needle, n * sizeof(C)) == 0)
            return text + i;
    return nullptr;
}

template <class C> inline const C* FindLastChar(const C* text, C c) {
    const C* last = nullptr;
    for (const C* p = text; p && *p; ++p)
        if (*p == c) last = p;
    return last;
}

template <class C> inline int HasPrefix(const C* text, const C* prefix) {
    if (!text || !*text || !prefix || !*prefix) return 0;
    int n = Length(prefix);
    return Length(text) >= n && std::memcmp(text, prefix, n * sizeof(C)) == 0;
}

template <class C> inline int HasSuffix(const C* text, const C* suffix) {
    if (!text || !suffix || !*suffix) return 0;
    int len = Length(text), n = Length(suffix);
    return len >= n && std::memcmp(text + len - n, suffix, n * sizeof(C)) == 0;
}

// --- Memory-manager blocks of code units ----------------------------------

template <class C> inline C* AllocUnits(int units) {
    return static_cast<C*>(
        KtUMemory::AllocEx(static_cast<unsigned>(units) * sizeof(C), KtUMemory::eALIGN1, 0));
}

template <class C> inline void DeallocUnits(C* block, int units) {
    if (block)
        KtUMemory::Dealloc(block, static_cast<unsigned>(units) * sizeof(C), KtUMemory::eALIGN1);
}

/// Best allocation, in units, for n units.
template <class C> inline int BestUnits(int n) {
    return static_cast<int>(KtUMemory::GetBestBlockSize(static_cast<unsigned>(n) * sizeof(C)) /
                            sizeof(C));
}

/// An exact-size copy (length + 1 units), or null for null.
template <class C> inline C* AllocCopy(const C* s, int n) {
    if (!s) return nullptr;
    C* copy = AllocUnits<C>(n + 1);
    if (copy) {
        std::memcpy(copy, s, n * sizeof(C));
        copy[n] = 0;
    }
    return copy;
}

/// The three fields of a string buffer.
template <class C> struct BufferRef {
    C*& text;
    int& length;
    int& alloc;
};

template <class C> inline void Release(BufferRef<C> b) {
    DeallocUnits(b.text, b.alloc);
    b.text = nullptr;
    b.length = 0;
    b.alloc = 0;
}

/// Room for n units plus terminator, keeping the text; false when the block
/// could not be grown (the buffer is then null).
bool ReserveBytes(void*& text, int& alloc_units, int unit_size, int n);

template <class C> inline bool Reserve(BufferRef<C> b, int n) {
    bool was_null = b.text == nullptr;
    if (!was_null && n < b.alloc) return true;
    void* text = b.text;
    if (!ReserveBytes(text, b.alloc, sizeof(C), n)) {
        b.text = nullptr;
        b.length = 0;
        return false;
    }
    b.text = static_cast<C*>(text);
    if (was_null) {
        b.length = 0;
        b.text[0] = 0;
    }
    if (n > 0) b.text[n] = 0; // n == -1 passes the size check as a 0-byte request
    if (b.length < n) b.text[b.length] = 0;
    return true;
}

/// Room for n units plus terminator without keeping the old text (a block
/// too small is released rather than grown, so nothing is copied); false when
/// it cannot be had (the buffer is then null).
template <class C> inline bool ReserveFresh(BufferRef<C> b, int n) {
    if (b.text && n >= b.alloc) Release(b);
    return Reserve(b, n);
}

template <class C> inline void SetString(BufferRef<C> b, const C* s, int n) {
    if (s == b.text && s) return;
    if (!s) {
        Release(b);
        return;
    }
    if (n >= b.alloc) {
        int units = BestUnits<C>(n + 1);
        DeallocUnits(b.text, b.alloc);
        b.text = AllocUnits<C>(units);
        b.alloc = b.text ? units : 0;
        b.length = 0;
        if (!b.text) return;
    }
    std::memmove(b.text, s, n * sizeof(C));
    b.text[n] = 0;
    b.length = n;
}

template <class C> inline void SetEmptyString(BufferRef<C> b) {
    if (!b.text) {
        int units = BestUnits<C>(1);
        b.text = AllocUnits<C>(units);
        b.alloc = b.text ? units : 0;
    }
    if (b.text) b.text[0] = 0;
    b.length = 0;
}

template <class C> inline void Append(BufferRef<C> b, const C* s, int n) {
    if (!s || n <= 0) return;
    // The text may come from the buffer itself, which growing can move.
    bool inside = b.text && s >= b.text && s < b.text + b.alloc;
    ptrdiff_t offset = inside ? s - b.text : 0;
    if (!Reserve(b, b.length + n + 1)) return;
    if (inside) s = b.text + offset;
    std::memmove(b.text + b.length, s, n * sizeof(C));
    b.length += n;
    b.text[b.length] = 0;
}

template <class C> inline void EndEditBuffer(BufferRef<C> b, int n) {
    if (!b.text) {
        b.length = 0;
        return;
    }
    if (n < 0) {
        n = b.alloc - 1;
        for (int i = 0; i < b.alloc; ++i)
            if (!b.text[i]) {
                n = i;
                break;
            }
    }
    if (n > b.alloc - 1) n = b.alloc - 1;
    b.length = n;
    b.text[n] = 0;
}

/// [start, end) of src into out; out may be the source buffer itself.
template <class C>
inline void ExtractSubString(const C* src, int len, int start, int end, BufferRef<C> out) {
    if (!src) {
        Release(out);
        return;
    }
    if (start < 0 || end > len || start >= end) {
        SetEmptyString(out);
        return;
    }
    int n = end - start;
    if (src == out.text) {
        std::memmove(out.text, out.text + start, n * sizeof(C));
        out.length = n;
        out.text[n] = 0;
        return;
    }
    if (!Reserve(out, n)) return;
    std::memcpy(out.text, src + start, n * sizeof(C));
    out.length = n;
    out.text[n] = 0;
}

/// Replaces find by with (once, or every non-overlapping occurrence); 0 when
/// nothing was found.
template <class C> inline int Replace(BufferRef<C> b, const C* find, const C* with, int all) {
    if (!find || !*find || !b.text || !*b.text) return 0;
    const C* first = Find(b.text, b.length, find, 0);
    if (!first) return 0;
    int find_len = Length(find), with_len = Length(with);
    C* result = nullptr;
    int result_len = 0, result_alloc = 0;
    BufferRef<C> out{result, result_len, result_alloc};
    const C* rest = b.text;
    for (const C* at = first; at;
         at = all ? Find(b.text, b.length, find, static_cast<int>(rest - b.text)) : nullptr) {
        Append(out, rest, static_cast<int>(at - rest));
        Append(out, with, with_len);
        rest = at + find_len;
        if (rest - b.text >= b.length) break;
    }
    Append(out, rest, b.length - static_cast<int>(rest - b.text));
    if (!result) SetEmptyString(out);
    Release(b);
    b.text = result;
    b.length = result_len;
    b.alloc = result_alloc;
    return 1;
}

/// Replaces [start, end) by text.
template <class C> inline void ReplaceSubString(BufferRef<C> b, int start, int end, const C* with) {
    C* result = nullptr;
    int result_len = 0, result_alloc = 0;
    BufferRef<C> out{result, result_len, result_alloc};
    SetEmptyString(out);
    Append(out, b.text, start);
    Append(out, with, Length(with));
    Append(out, b.text + end, b.length - end);
    Release(b);
    b.text = result;
    b.length = result_len;
    b.alloc = result_alloc;
}

/// Removes white space (is_space) at the left and/or right; a left trim moves
/// the rest of the text down.
template <class C, class IsSpace>
inline void Trim(BufferRef<C> b, bool left, bool right, IsSpace is_space) {
    if (!b.text) return;
    if (right)
        while (b.length > 0 && is_space(b.text[b.length - 1]))
            b.text[--b.length] = 0;
    if (left) {
        int skip = 0;
        while (skip < b.length && is_space(b.text[skip]))
            ++skip;
        if (skip) {
            std::memmove(b.text, b.text + skip, (b.length - skip + 1) * sizeof(C));
            b.length -= skip;
        }
    }
}

} // namespace ktu::text

#endif // KTUTIL_TEXT_OPS_H

//===- text_tokenise.h - The tokeniser scan, generic over the code unit ---===//
//
// KtUStringTokeniser and KtUWideStringTokeniser keep their fields themselves
// and run this one scan over them. TokenScan names those fields by reference
// so the scan can move the position and record the open quote.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_TEXT_TOKENISE_H
#define KTUTIL_TEXT_TOKENISE_H

#include "text/text_ops.h"

namespace ktu::text {

template <class C> struct TokenScan {
    const C* text; // never null: the classes pass "" for a null text
    int length;
    int& position;
    const C* delimiters; // null: none
    const C* quotes;     // null: none
    bool empty_tokens;
    bool quoting;
    int& in_quote;
    C& open_quote;
};

template <class C> inline bool IsOneOf(C c, const C* set) {
    if (!set) return false;
    for (; *set; ++set)
        if (*set == c) return true;
    return false;
}

template <class C> inline bool MoreTokens(const TokenScan<C>& s) {
    if (s.position < 0) return false;
    if (s.empty_tokens) return s.position <= s.length;
    for (int i = s.position; i < s.length; ++i)
        if (!IsOneOf(s.text[i], s.delimiters)) return true;
    return false;
}

/// The next token, quote characters included, into out; empty when none.
template <class C> inline void NextToken(const TokenScan<C>& s, BufferRef<C> out) {
    s.in_quote = 0;
    if (!MoreTokens(s)) {
        SetString(out, static_cast<const C*>(s.text + s.length), 0);
        return;
    }
    int start = s.position;
    for (int i = s.position; i <= s.length; ++i) {
        bool at_end = i == s.length;
        C c = s.text[i];
        if (s.quoting && !at_end) {
            if (s.in_quote ? c == s.open_quote : IsOneOf(c, s.quotes)) {
                if (!s.in_quote) s.open_quote = c;
                s.in_quote = !s.in_quote;
            }
        }
        bool delimiter = at_end || (!s.in_quote && IsOneOf(c, s.delimiters));
        if (!delimiter) continue;
        if (!s.empty_tokens && i == start) {
            start = i + 1; // skip a leading delimiter
            continue;
        }
        SetString(out, s.text + start, i - start);
        s.position = i + 1;
        return;
    }
    // Only reached when nothing but delimiters remained (MoreTokens said no).
    s.position = s.length + 1;
    SetString(out, static_cast<const C*>(s.text + s.length), 0);
}

} // namespace ktu::text

#endif // KTUTIL_TEXT_TOKENISE_H

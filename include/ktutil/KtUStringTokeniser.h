//===- KtUStringTokeniser.h - Splits UTF-8 text into quoted tokens --------===//
//
// KtUStringTokeniser walks a copy of a text and hands out its tokens one at a
// time. Delimiters separate tokens; quote characters group text, delimiters
// included, into one token that keeps its quotes.
//
//   KtUStringTokeniser words("a \"b c\"");
//   while (words.MoreTokens()) {
//       KtUStringBuffer token = words.NextToken();   // a, then "b c"
//   }
//   KtUStringTokeniser cells("a,,b", ",", 1, 0, "");  // a, (empty), b
//
// By default the delimiters are blank, tab, line feed, carriage return and
// form feed, adjacent delimiters produce no empty tokens, and the quotes are
// the double quote, the apostrophe and the backquote. A quoted run ends at the
// same character that opened it, or at the end of the text. With empty tokens
// on, every delimiter ends a token, and a text ending in a delimiter ends with
// an empty token. A null text counts as empty, null delimiters or quotes as
// none.
//
// Thread safety: a tokeniser is a plain value; use one object from one thread
// at a time. Initialise/Terminate follow the component pattern.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTRINGTOKENISER_H
#define KTUTIL_KTUSTRINGTOKENISER_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>

/// Splits UTF-8 text into tokens, with optional quoting and empty tokens.
class KTU_API KtUStringTokeniser {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    explicit KtUStringTokeniser(const char* text);
    KtUStringTokeniser(const char* text, const char* delimiters);
    KtUStringTokeniser(const char* text, const char* delimiters, int empty_tokens, int quoting,
                       const char* quotes);
    KtUStringTokeniser(const KtUStringTokeniser&) = default;
    KtUStringTokeniser& operator=(const KtUStringTokeniser&) = default;
    ~KtUStringTokeniser() = default;

    /// Whether NextToken has a token to give.
    int MoreTokens() const;
    /// The next token (quotes kept), or an empty text when there is none.
    KtUStringBuffer NextToken();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUStringBuffer m_text;
    KtUString m_delimiters;
    KtUString m_quotes;
    int m_position = 0;
    int m_empty_tokens = 0;
    int m_quoting = 1;
    int m_in_quote = 0;
    char m_open_quote = 0;
};

#endif // KTUTIL_KTUSTRINGTOKENISER_H

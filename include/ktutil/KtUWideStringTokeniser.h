//===- KtUWideStringTokeniser.h - Splits UTF-16 text into quoted tokens ===//
//
// KtUWideStringTokeniser is KtUStringTokeniser over UTF-16 text, with the
// same defaults and rules; both run one scan (text_tokenise.h).
//
//   KtUWideStringTokeniser words(u"a \"b c\"");
//   while (words.MoreTokens()) {
//       KtUWideStringBuffer token = words.NextToken();   // a, then "b c"
//   }
//   KtUWideStringTokeniser cells(u"a,,b", u",", 1, 0, u"");  // a, (empty), b
//
// Its Initialise/Terminate/IsInitialised are those of KtUStringTokeniser's
// component.
//
// Thread safety: a tokeniser is a plain value; use one object from one thread
// at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUWIDESTRINGTOKENISER_H
#define KTUTIL_KTUWIDESTRINGTOKENISER_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

/// Splits UTF-16 text into tokens, with optional quoting and empty tokens.
class KTU_API KtUWideStringTokeniser {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    explicit KtUWideStringTokeniser(const KtUWChar* text);
    KtUWideStringTokeniser(const KtUWChar* text, const KtUWChar* delimiters);
    KtUWideStringTokeniser(const KtUWChar* text, const KtUWChar* delimiters, int empty_tokens,
                           int quoting, const KtUWChar* quotes);
    KtUWideStringTokeniser(const KtUWideStringTokeniser&) = default;
    KtUWideStringTokeniser& operator=(const KtUWideStringTokeniser&) = default;
    ~KtUWideStringTokeniser() = default;

    /// Whether NextToken has a token to give.
    int MoreTokens() const;
    /// The next token (quotes kept), or an empty text when there is none.
    KtUWideStringBuffer NextToken();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUWideStringBuffer m_text;
    KtUWideString m_delimiters;
    KtUWideString m_quotes;
    int m_position = 0;
    int m_empty_tokens = 0;
    int m_quoting = 1;
    int m_in_quote = 0;
    KtUWChar m_open_quote = 0;
};

#endif // KTUTIL_KTUWIDESTRINGTOKENISER_H

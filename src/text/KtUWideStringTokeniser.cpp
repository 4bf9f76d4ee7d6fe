//===- KtUWideStringTokeniser.cpp - Splits UTF-16 text into quoted tokens===//
#include <ktutil/KtUStringTokeniser.h>
#include <ktutil/KtUWideStringTokeniser.h>

#include "text/text_buffer.h"
#include "text/text_tokenise.h"

using namespace ktu::text;

// One component for both widths.
void KtUWideStringTokeniser::Initialise() {
    KtUStringTokeniser::Initialise();
}

void KtUWideStringTokeniser::Terminate() {
    KtUStringTokeniser::Terminate();
}

int KtUWideStringTokeniser::IsInitialised() {
    return KtUStringTokeniser::IsInitialised();
}

KtUWideStringTokeniser::KtUWideStringTokeniser(const KtUWChar* text)
    : KtUWideStringTokeniser(text, u" \t\n\r\f", 0, 1, u"\"'`") {}

KtUWideStringTokeniser::KtUWideStringTokeniser(const KtUWChar* text, const KtUWChar* delimiters)
    : KtUWideStringTokeniser(text, delimiters, 0, 1, u"\"'`") {}

KtUWideStringTokeniser::KtUWideStringTokeniser(const KtUWChar* text, const KtUWChar* delimiters,
                                               int empty_tokens, int quoting,
                                               const KtUWChar* quotes)
    : m_text(text ? text : u""), m_delimiters(delimiters), m_quotes(quotes),
      m_empty_tokens(empty_tokens), m_quoting(quoting) {}

int KtUWideStringTokeniser::MoreTokens() const {
    int position = m_position, in_quote = 0;
    KtUWChar open = 0;
    TokenScan<KtUWChar> scan{m_text.GetString(),
                             m_text.GetLength(),
                             position,
                             m_delimiters.GetString(),
                             m_quotes.GetString(),
                             m_empty_tokens != 0,
                             m_quoting != 0,
                             in_quote,
                             open};
    return ktu::text::MoreTokens(scan);
}

KtUWideStringBuffer KtUWideStringTokeniser::NextToken() {
    TokenScan<KtUWChar> scan{m_text.GetString(),       m_text.GetLength(),   m_position,
                             m_delimiters.GetString(), m_quotes.GetString(), m_empty_tokens != 0,
                             m_quoting != 0,           m_in_quote,           m_open_quote};
    KtUWideStringBuffer token;
    ktu::text::NextToken(scan, BufferAccess::Of(token));
    return token;
}

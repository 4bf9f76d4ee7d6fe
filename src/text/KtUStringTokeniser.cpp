//===- KtUStringTokeniser.cpp - Splits UTF-8 text into quoted tokens ------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUStringTokeniser.h>

#include "foundation/component.h"
#include "text/text_buffer.h"
#include "text/text_tokenise.h"

using namespace ktu::text;

static KtUComponent s_component;

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUStringTokeniser",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUString>,
};
KTU_COMPONENT_LIFECYCLE(KtUStringTokeniser, kComponent)

KtUStringTokeniser::KtUStringTokeniser(const char* text)
    : KtUStringTokeniser(text, " \t\n\r\f", 0, 1, "\"'`") {}

KtUStringTokeniser::KtUStringTokeniser(const char* text, const char* delimiters)
    : KtUStringTokeniser(text, delimiters, 0, 1, "\"'`") {}

KtUStringTokeniser::KtUStringTokeniser(const char* text, const char* delimiters, int empty_tokens,
                                       int quoting, const char* quotes)
    : m_text(text ? text : ""), m_delimiters(delimiters), m_quotes(quotes),
      m_empty_tokens(empty_tokens), m_quoting(quoting) {}

int KtUStringTokeniser::MoreTokens() const {
    int position = m_position, in_quote = 0;
    char open = 0;
    TokenScan<char> scan{m_text.GetString(),
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

KtUStringBuffer KtUStringTokeniser::NextToken() {
    TokenScan<char> scan{m_text.GetString(),       m_text.GetLength(),   m_position,
                         m_delimiters.GetString(), m_quotes.GetString(), m_empty_tokens != 0,
                         m_quoting != 0,           m_in_quote,           m_open_quote};
    KtUStringBuffer token;
    ktu::text::NextToken(scan, BufferAccess::Of(token));
    return token;
}

//===- text_number.h - Reading numbers from narrow and wide text ----------===//
#ifndef KTUTIL_TEXT_NUMBER_H
#define KTUTIL_TEXT_NUMBER_H

#include <ktutil/KtUDefs.h>

#include <locale.h>

namespace ktu::text {

enum class NumberKind {
    eLocalizedFloat, ///< whole trimmed text, strtod in the current locale
    eLocalizedInt,   ///< whole trimmed text, base-10 integer in int range
    eCFloat,         ///< a leading "%lg" value in the "C" locale; the rest is ignored
};

/// 1 when text holds a number of that kind (stored in *value), else 0.
int ReadNumber(const char* text, double* value, NumberKind kind);
int ReadNumber(const KtUWChar* text, double* value, NumberKind kind);

/// A "C" locale object for locale-independent formatting and parsing.
locale_t CLocale();

/// Makes the calling thread use the "C" locale for numbers while in scope.
class ScopedCNumericLocale {
public:
    ScopedCNumericLocale() : m_previous(uselocale(CLocale())) {}
    ~ScopedCNumericLocale() { uselocale(m_previous); }
    ScopedCNumericLocale(const ScopedCNumericLocale&) = delete;
    ScopedCNumericLocale& operator=(const ScopedCNumericLocale&) = delete;

private:
    locale_t m_previous;
};

} // namespace ktu::text

#endif // KTUTIL_TEXT_NUMBER_H

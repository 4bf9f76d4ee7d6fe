//===- locale.h - Locales of other languages, and loadable libraries ------===//
//
// Facts about a named locale other than the process's own (its number
// symbols), switching the process's display categories to one, and loading a
// shared library by path. Locale names are the system's ("de_DE.UTF-8");
// a locale that is not installed gives false.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_LOCALE_H
#define KTUTIL_PLATFORM_LOCALE_H

#include <cstddef>

namespace ktu::sys {

/// The decimal point and thousands separator (UTF-8, NUL-terminated, cut to
/// cap bytes) of the installed locale name.
bool LocaleNumberSymbols(const char* name, char* decimal, size_t decimal_cap, char* thousands,
                         size_t thousands_cap);
/// Makes collation, dates and times, money and messages of the whole process
/// follow the installed locale name; the character set and numbers (LC_CTYPE,
/// LC_NUMERIC) stay as they are. Not thread-safe with other locale changes.
bool SetDisplayLocale(const char* name);
/// A handle of the shared library at path, loaded now with its symbols kept
/// local; null when it cannot be loaded.
void* LoadLibrary(const char* path);

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_LOCALE_H

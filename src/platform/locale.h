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
/// The library's locale categories: 0 all, 1 collation, 2 character set,
/// 3 money, 4 numbers, 5 dates and times.
/// The current locale name of category (for all categories it may list
/// each one), valid until the next locale change; null for an unknown
/// category.
const char* GetProcessLocale(int category);
/// Sets category to the locale name; false (nothing changed) when the
/// category is unknown or the locale is not installed.
bool SetProcessLocale(int category, const char* name);
/// A handle of the shared library at path, loaded now with its symbols kept
/// local; null when it cannot be loaded.
void* LoadLibrary(const char* path);

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_LOCALE_H

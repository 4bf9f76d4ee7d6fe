//===- locale.cpp - Locales of other languages and loadable libraries -----===//
#include "platform/locale.h"

#include <cstdio>
#include <dlfcn.h>
#include <langinfo.h>
#include <locale.h>

namespace ktu::sys {

static void CopyCut(const char* from, char* to, size_t cap) {
    if (cap) std::snprintf(to, cap, "%s", from ? from : "");
}

bool LocaleNumberSymbols(const char* name, char* decimal, size_t decimal_cap, char* thousands,
                         size_t thousands_cap) {
    if (!name || !*name) return false;
    locale_t locale = newlocale(LC_NUMERIC_MASK, name, nullptr);
    if (!locale) return false;
    CopyCut(nl_langinfo_l(RADIXCHAR, locale), decimal, decimal_cap);
    CopyCut(nl_langinfo_l(THOUSEP, locale), thousands, thousands_cap);
    freelocale(locale);
    return true;
}

bool SetDisplayLocale(const char* name) {
    if (!name || !*name) return false;
    // Check the locale exists before changing anything.
    locale_t probe = newlocale(LC_COLLATE_MASK | LC_TIME_MASK | LC_MONETARY_MASK | LC_MESSAGES_MASK,
                               name, nullptr);
    if (!probe) return false;
    freelocale(probe);
    return setlocale(LC_COLLATE, name) && setlocale(LC_TIME, name) &&
           setlocale(LC_MONETARY, name) && setlocale(LC_MESSAGES, name);
}

static int Category(int category) {
    switch (category) {
    case 0:
        return LC_ALL;
    case 1:
        return LC_COLLATE;
    case 2:
        return LC_CTYPE;
    case 3:
        return LC_MONETARY;
    case 4:
        return LC_NUMERIC;
    case 5:
        return LC_TIME;
    default:
        return -1;
    }
}

const char* GetProcessLocale(int category) {
    const int c = Category(category);
    return c < 0 ? nullptr : setlocale(c, nullptr);
}

bool SetProcessLocale(int category, const char* name) {
    const int c = Category(category);
    return c >= 0 && name && setlocale(c, name) != nullptr;
}

void* LoadLibrary(const char* path) {
    return path && *path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
}

} // namespace ktu::sys

//===- KtUAutoLocaleOverride.h - A locale category changed for a scope ----===//
//
// KtUAutoLocaleOverride sets one category of the process's C locale for the
// life of the object and puts the previous locale back when it ends:
//
//   {
//       KtUAutoLocaleOverride german(KtUAutoLocaleOverride::eTIME, "de_DE.UTF-8");
//       ...                                 // dates formatted the German way
//   }                                       // the previous locale again
//
// Categories use the library's numbering (eALL 0 ... eTIME 5). A locale that
// is not installed leaves the category as it was.
//
// Thread safety: the locale belongs to the whole process: use the guards on
// one thread, in properly nested scopes, while no other thread depends on
// the locale.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUAUTOLOCALEOVERRIDE_H
#define KTUTIL_KTUAUTOLOCALEOVERRIDE_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUString.h>

/// Sets a category of the C locale for a scope and restores it afterwards.
class KTU_API KtUAutoLocaleOverride {
public:
    /// The locale categories.
    enum Category : int {
        eALL = 0,
        eCOLLATE = 1,
        eCTYPE = 2,
        eMONETARY = 3,
        eNUMERIC = 4,
        eTIME = 5
    };

    /// Saves the category's current locale and sets locale.
    KtUAutoLocaleOverride(int category, const char* locale);
    KtUAutoLocaleOverride(const KtUAutoLocaleOverride& other) = default;
    KtUAutoLocaleOverride& operator=(const KtUAutoLocaleOverride& other) = default;
    /// Sets the saved locale back.
    virtual ~KtUAutoLocaleOverride();

    int GetCategory() const { return m_category; }
    /// The locale in force before the object was made.
    const char* GetSavedLocale() const { return m_saved.GetString(); }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    int m_category;
    KtUString m_saved;
};

#endif // KTUTIL_KTUAUTOLOCALEOVERRIDE_H

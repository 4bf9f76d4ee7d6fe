//===- KtUSysString.h - String services over the C runtime and locale -----===//
//
// KtUSysString is the thin layer between the string classes and the C
// runtime: lengths, bounded copies, locale-aware comparisons, conversions
// with the locale's character set ("multi") and ASCII, printf into fixed
// buffers with the library's printf engine, and the locale's number
// punctuation.
//
//   char line[64];
//   KtUSysString::Sprintf(line, sizeof line, "%lld items", count);
//   KtUWChar dp[5];
//   KtUSysString::GetLocalizedDecimalPoint(dp);   // u"." or u"," ...
//
// Bounded copies take the destination size first and return 0 on success,
// EINVAL for a null argument, ERANGE when the destination is too small (it
// is then left empty).
//
// Thread safety: all functions may be called from any thread. The
// localisation cache is filled on first use without a lock; concurrent first
// readers store the same values.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSSTRING_H
#define KTUTIL_KTUSYSSTRING_H

#include <ktutil/KtUDefs.h>

#include <cstdarg>

/// String services over the C runtime and the process locale (static only).
class KTU_API KtUSysString {
public:
    static int Strlen(const char* text);
    static int WideStrlen(const KtUWChar* text);
    static void Memcpy(char* dst, const char* src, int count);
    static void WideMemcpy(KtUWChar* dst, const KtUWChar* src, int count);

    /// Locale-aware (process default locale), -1/0/1.
    static int Strcmp(const char* a, const char* b);
    /// Locale-aware ignoring case, -1/0/1.
    static int Stricmp(const char* a, const char* b);
    /// Texts in the locale's character set, locale-aware, -1/0/1.
    static int MultiStrcmp(const char* a, const char* b);
    static int MultiStricmp(const char* a, const char* b);
    /// Collation of UTF-16 texts in the process locale; sign of the result.
    static int WideStrcmp(const KtUWChar* a, const KtUWChar* b);
    static int WideStricmp(const KtUWChar* a, const KtUWChar* b);
    /// Digit runs compare as numbers, other runs as WideStricmp; -1/0/1.
    static int WideStrCmpLogical(const KtUWChar* a, const KtUWChar* b);

    /// Conversions with the locale's character set: the count written
    /// including the terminator, the size needed when dst is null, -1 on
    /// failure (invalid character, dst too small).
    static int MultiByteToWideChar(const char* src, KtUWChar* dst, unsigned int size);
    static int WideCharToMultiByte(const KtUWChar* src, char* dst, unsigned int size);
    /// The same for 7-bit ASCII; -1 also for a character outside it.
    static int AsciiToWideChar(const char* src, KtUWChar* dst, unsigned int size);
    static int WideCharToAscii(const KtUWChar* src, char* dst, unsigned int size);
    static bool Is7BitAscii(const char* text);

    /// value in radix (2..36) into dst of size units; dst, or null on failure.
    static KtUWChar* Itow(int value, KtUWChar* dst, unsigned int size, int radix);
    /// Base-10 integer; false when nothing was read or it overflows an int.
    static bool Strtol(const char* text, int* value, char** end);

    static int Strcpy(char* dst, unsigned int size, const char* src);
    static int Strncpy(char* dst, unsigned int size, const char* src, unsigned int count);
    static int Strcat(char* dst, unsigned int size, const char* src);
    static int Wcscpy(KtUWChar* dst, unsigned int size, const KtUWChar* src);
    static int Wcsncpy(KtUWChar* dst, unsigned int size, const KtUWChar* src, unsigned int count);
    static int Wcscat(KtUWChar* dst, unsigned int size, const KtUWChar* src);

    /// Formats into dst (size units); the length written, or -1 when the
    /// text was cut (dst still terminated).
    static int Vsprintf(char* dst, unsigned int size, const char* format, va_list args);
    static int Vswprintf(KtUWChar* dst, unsigned int size, const KtUWChar* format, va_list args);
    /// Formats into dst and returns the end of the written text.
    static char* Sprintf(char* dst, unsigned int size, const char* format, ...) KTU_PRINTF(3, 4);

    /// Number punctuation of the process locale; dst has room for 5 units.
    static void GetLocalizedDecimalPoint(KtUWChar* dst);
    static void GetLocalizedThousandSep(KtUWChar* dst);
    static void GetLocalizedListSep(KtUWChar* dst);
    static int GetLocalizedDecimalPlaces();
    /// Makes the next getter read the locale again.
    static void ResetLocalization();

private:
    KtUSysString() = delete;
};

#endif // KTUTIL_KTUSYSSTRING_H

//===- KtUStringConv.h - 7-bit ASCII escapes and STEP string decoding -----===//
//
// KtUStringConv carries UTF-16 text through 7-bit channels and reads the
// strings of STEP exchange files.
//
// The 7-bit form writes each unit from 32 to 126 as itself, "/" as "//" and
// every other unit as "/" and four upper-case hexadecimal digits:
//
//   KtUStringBuffer ascii;
//   KtUStringConv::EncodeWideTo7BitAscii(u"a/\u00E9", &ascii);   // "a///00E9"
//   KtUWideStringBuffer wide;
//   KtUStringConv::DecodeWideFrom7BitAscii("a///00E9", &wide);   // true
//
// Decoding accepts the digits in either case and fails on a "/" that is not
// followed by "/" or four digits, on "/0000" (no terminated text encodes to
// it) or on a character outside 32 to 126; the
// output then holds what was decoded before the fault. A null text makes the
// output null.
//
// STEPToWide appends the decoded content of a STEP string (without its
// enclosing apostrophes) to the output:
//
//   KtUStringConv::STEPToWide("caf\\X\\E9 \\X2\\03B103B2\\X0\\", &wide);
//   // appends u"café αβ"
//
// Directives: "\\" (a backslash), "\X\hh" (U+00hh), "\X2\" four-digit groups
// "\X0\", "\X4\" eight-digit groups "\X0\" (code points up to U+10FFFF,
// written as surrogate pairs when above U+FFFF), "\PA\" to "\PP\" (select
// ISO 8859-1 to 8859-16 for the 8-bit text that follows; "\PL\", the part
// never published, selects 8859-1), and "\S\c" (the character c + 128 of the
// current set, c printable ASCII). Every other byte is a character of the
// current set, 8859-1 at the start. Doubled apostrophes are the file reader's
// business and pass through unchanged. A group of value 0 is malformed too (it
// would end the text early). A malformed directive returns false and leaves
// the output as it was; a null text returns false. docs/encodings.md has the
// table of sets.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTRINGCONV_H
#define KTUTIL_KTUSTRINGCONV_H

#include <ktutil/KtUDefs.h>

class KtUStringBuffer;
class KtUWideStringBuffer;

/// UTF-16 text to and from the 7-bit escape form, and STEP string decoding
/// (static members only). Thread safety: every function touches only its
/// arguments, so any number of threads may call them at once on distinct
/// buffers.
class KTU_API KtUStringConv {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    /// Replaces out's text; a null text releases out's storage.
    static void EncodeWideTo7BitAscii(const KtUWChar* text, KtUStringBuffer* out);
    static bool DecodeWideFrom7BitAscii(const char* text, KtUWideStringBuffer* out);
    static bool STEPToWide(const char* text, KtUWideStringBuffer* out);

    KtUStringConv() = delete;
};

#endif // KTUTIL_KTUSTRINGCONV_H

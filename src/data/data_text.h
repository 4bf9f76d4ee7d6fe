//===- data_text.h - Pieces of the value text forms shared by the codecs --===//
#ifndef KTUTIL_DATA_DATA_TEXT_H
#define KTUTIL_DATA_DATA_TEXT_H

#include <ktutil/KtUDefs.h>

class KtUName;
class KtUStringBuffer;
class KtUWideStringBuffer;

namespace ktu::data {

/// "yyyy/mm/dd hh:mm:ss GMT" of seconds since 1970 UTC. A time whose year
/// does not fit an int is logged and written with zero fields.
void AppendDateText(KtUInt64 seconds, KtUWideStringBuffer* out);
/// Reads the date text (all six fields; the calendar normalises fields out
/// of range, as timegm does). False on anything else.
bool ReadDateText(const KtUWChar* text, KtUInt64* seconds);

/// Narrow text widened into out: ASCII as it is, anything else read as
/// UTF-8 so that no byte is dropped; null stays null.
void WidenNarrow(const char* text, KtUWideStringBuffer* out);
/// WidenNarrow appended to out; null appends "(null)".
void AppendNarrow(const char* text, KtUWideStringBuffer* out);

/// Narrows text for the C number readers: ASCII units are kept and every
/// other unit becomes DEL, which no number accepts, so counts of characters
/// read stay those of the wide text.
void NarrowForNumbers(const KtUWChar* text, KtUStringBuffer* out);

/// "length:internal" followed by the user name.
void AppendNameText(const KtUName* name, KtUWideStringBuffer* out);
/// Reads the name text into a new, un-interned name (null for an absent
/// name, the text "0:" alone). False on a malformed text.
bool ReadNameText(const KtUWChar* text, KtUName** name);

} // namespace ktu::data

#endif // KTUTIL_DATA_DATA_TEXT_H

//===- data_text.cpp - Date and name texts, narrowing for number readers --===//
#include <ktutil/KtUError.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "data/data_text.h"

#include <cerrno>
#include <climits>
#include <cstdio>

namespace ktu::data {

namespace {

constexpr KtUInt64 kSecondsPerDay = 86400;

KtUInt64 FloorDiv(KtUInt64 a, KtUInt64 b) {
    KtUInt64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01 of a proleptic Gregorian date. Months beyond 1-12
// roll into the neighbouring years and days beyond the month into the
// neighbouring months, as timegm does.
KtUInt64 DaysFromCivil(KtUInt64 year, KtUInt64 month, KtUInt64 day) {
    KtUInt64 years = FloorDiv(month - 1, 12);
    year += years;
    month -= 12 * years;
    year -= month <= 2;
    KtUInt64 era = FloorDiv(year, 400);
    KtUInt64 yoe = year - era * 400;
    KtUInt64 doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    KtUInt64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    KtUInt64 year;
    int month, day, hour, minute, second;
};

Civil CivilFromSeconds(KtUInt64 seconds) {
    KtUInt64 days = FloorDiv(seconds, kSecondsPerDay);
    KtUInt64 rest = seconds - days * kSecondsPerDay;
    KtUInt64 z = days + 719468;
    KtUInt64 era = FloorDiv(z, 146097);
    KtUInt64 doe = z - era * 146097;
    KtUInt64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    KtUInt64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    KtUInt64 mp = (5 * doy + 2) / 153;
    Civil c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = yoe + era * 400 + (c.month <= 2);
    c.hour = static_cast<int>(rest / 3600);
    c.minute = static_cast<int>(rest / 60 % 60);
    c.second = static_cast<int>(rest % 60);
    return c;
}

} // namespace

void AppendDateText(KtUInt64 seconds, KtUWideStringBuffer* out) {
    Civil c = CivilFromSeconds(seconds);
    if (c.year < INT_MIN || c.year > INT_MAX) {
        KtUError::Log("KtUSysTime::GmTime - failed to get time for %lld, error %d\n",
                      static_cast<long long>(seconds), EOVERFLOW);
        c = Civil{0, 0, 0, 0, 0, 0};
    }
    char text[64];
    std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d GMT", static_cast<int>(c.year),
                  c.month, c.day, c.hour, c.minute, c.second);
    AppendNarrow(text, out);
}

bool ReadDateText(const KtUWChar* text, KtUInt64* seconds) {
    if (!text || !*text) return false;
    KtUStringBuffer narrow;
    NarrowForNumbers(text, &narrow);
    int year, month, day, hour, minute, second;
    if (std::sscanf(narrow.GetString(), "%d/%d/%d %d:%d:%d", &year, &month, &day, &hour, &minute,
                    &second) != 6)
        return false;
    *seconds = DaysFromCivil(year, month, day) * kSecondsPerDay + KtUInt64{hour} * 3600 +
               KtUInt64{minute} * 60 + second;
    return true;
}

void WidenNarrow(const char* text, KtUWideStringBuffer* out) {
    if (!text)
        out->SetString(nullptr);
    else if (!out->TrySetFromAsciiString(text))
        out->SetFromUTF8String(text);
}

void AppendNarrow(const char* text, KtUWideStringBuffer* out) {
    KtUWideStringBuffer wide;
    WidenNarrow(text ? text : "(null)", &wide);
    out->Append(wide);
}

void NarrowForNumbers(const KtUWChar* text, KtUStringBuffer* out) {
    int length = KtUWideString::GetLength(text);
    out->Reserve(length);
    char* p = out->BeginEditBuffer();
    for (int i = 0; i < length; ++i)
        p[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '\x7f';
    p[length] = '\0';
    out->EndEditBuffer(length);
}

void AppendNameText(const KtUName* name, KtUWideStringBuffer* out) {
    const char* internal = name ? name->GetName().GetString() : nullptr;
    KtUStringBuffer head;
    head.Format("%d:%s", KtUString::GetLength(internal), internal ? internal : "");
    AppendNarrow(head.GetString(), out);
    if (name && name->GetUserName().GetString()) out->Append(name->GetUserName().GetString());
}

bool ReadNameText(const KtUWChar* text, KtUName** name) {
    *name = nullptr;
    if (!text || !*text) return true;
    KtUStringBuffer narrow;
    NarrowForNumbers(text, &narrow);
    int length = 0, used = 0;
    if (std::sscanf(narrow.GetString(), "%d%n", &length, &used) != 1) return false;
    if (text[used] != ':' || length < 0) return false;
    const KtUWChar* internal = text + used + 1;
    int available = KtUWideString::GetLength(internal);
    if (length > available) return false;
    const KtUWChar* user = internal + length;
    if (length == 0 && !*user) return true; // an absent name
    KtUStringBuffer ascii;
    ascii.Reserve(length);
    char* p = ascii.BeginEditBuffer();
    for (int i = 0; i < length; ++i) {
        if (internal[i] == 0 || internal[i] >= 0x80) return false;
        p[i] = static_cast<char>(internal[i]);
    }
    p[length] = '\0';
    ascii.EndEditBuffer(length);
    *name = new KtUName(ascii.GetString(), user);
    return true;
}

} // namespace ktu::data

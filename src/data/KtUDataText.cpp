//===- KtUDataText.cpp - Text forms of the typed value --------------------===//
#include <ktutil/KtUData.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "data/data_text.h"
#include "text/text_number.h"

#include <cinttypes>
#include <cstdio>

using namespace ktu::data;

namespace {

// Floats are written in fixed notation with 19 decimals, in the "C" locale.
constexpr int kFloatDecimals = 19;
constexpr int kFloatWidth = 17;

// The internal name whose user name is the localised word for true.
constexpr const char* kBooleanTrueName = "KtOaDataBooleanTrue";

void AppendFloat(double value, KtUWideStringBuffer* out) {
    KtUWideStringBuffer text;
    text.FormatCFloat(value, kFloatDecimals, kFloatWidth);
    out->Append(text);
}

void AppendFormat(KtUWideStringBuffer* out, const char* format, ...) KTU_PRINTF(2, 3);
void AppendFormat(KtUWideStringBuffer* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    KtUStringBuffer text;
    text.FormatV(format, args);
    va_end(args);
    AppendNarrow(text.GetString(), out);
}

KtUWChar TagChar(int type) {
    return static_cast<KtUWChar>(u'0' + type);
}

// A "%d" read; with consumed, the characters read (leading blanks included).
bool ReadInt(const KtUWChar* text, int* value, int* consumed) {
    if (!text || !*text) return false;
    KtUStringBuffer narrow;
    NarrowForNumbers(text, &narrow);
    int used = 0;
    if (std::sscanf(narrow.GetString(), "%d%n", value, &used) != 1) return false;
    if (consumed) *consumed = used;
    return true;
}

} // namespace

// --- Writing --------------------------------------------------------------------------

void KtUData::WriteValue(KtUWideStringBuffer* out) const {
    switch (m_type) {
    case eNone:
        break;
    case eFloat:
    case eLinearFloat:
    case eAngularFloat:
    case eAreaFloat:
    case eVolumeFloat:
        AppendFloat(m_value.f, out);
        break;
    case eInt32:
    case eBoolean:
        AppendFormat(out, "%d", m_value.i);
        break;
    case eWideString:
        if (m_value.ws) out->Append(m_value.ws);
        break;
    case eString:
        if (m_value.s) AppendNarrow(m_value.s, out);
        break;
    case eTime:
        AppendDateText(m_value.t, out);
        break;
    case eName:
        AppendNameText(m_value.name, out);
        break;
    case ePoint3D:
        if (!m_value.point) break;
        AppendFloat(m_value.point[0], out);
        out->Append(u';');
        AppendFloat(m_value.point[1], out);
        out->Append(u';');
        AppendFloat(m_value.point[2], out);
        break;
    }
}

void KtUData::Write(KtUWideStringBuffer* out) const {
    out->SetEmptyString();
    out->Append(TagChar(m_type));
    if (m_type != eNone && m_type != eString && m_type != eWideString) out->Append(u' ');
    WriteValue(out);
}

void KtUData::WriteEx(KtUWideStringBuffer* out) const {
    out->SetEmptyString();
    out->Append(TagChar(m_type));
    if (m_type == eNone) return;
    out->Append(u':');
    WriteValue(out);
}

// --- Reading --------------------------------------------------------------------------

bool KtUData::ParseValue(const KtUWChar* text, int kind) {
    Clear();
    if (kind == eNone) return true;
    if (kind < 0 || kind >= kNumTypes) return false;
    if (kind != eWideString && kind != eString && (!text || !*text)) return false;
    switch (static_cast<Type>(kind)) {
    case eNone:
        return true;
    case eFloat:
    case eLinearFloat:
    case eAngularFloat:
    case eAreaFloat:
    case eVolumeFloat: {
        double value;
        if (!KtUWideString::ReadCFloat(text, &value)) return false;
        SetAnyFloat(value, static_cast<Type>(kind));
        return true;
    }
    case eInt32:
    case eBoolean: {
        int value;
        if (!ReadInt(text, &value, nullptr)) return false;
        m_type = static_cast<Type>(kind);
        m_value.i = value;
        return true;
    }
    case eWideString:
        SetWideString(text ? text : u"");
        return true;
    case eString: {
        KtUStringBuffer ascii;
        if (!KtUWideString::TryExtractAsciiString(text ? text : u"", &ascii)) return false;
        SetString(ascii.GetString() ? ascii.GetString() : "");
        return true;
    }
    case eTime: {
        KtUInt64 seconds;
        if (!ReadDateText(text, &seconds)) return false;
        SetTime(seconds);
        return true;
    }
    case eName: {
        KtUName* name;
        if (!ReadNameText(text, &name)) return false;
        SetName(name);
        return true;
    }
    case ePoint3D: {
        KtUStringBuffer narrow;
        NarrowForNumbers(text, &narrow);
        double x, y, z;
        ktu::text::ScopedCNumericLocale c_locale;
        if (std::sscanf(narrow.GetString(), "%lg;%lg;%lg", &x, &y, &z) != 3) return false;
        SetPoint3D(x, y, z);
        return IsPoint3D();
    }
    }
    return false;
}

bool KtUData::Read(const KtUWChar* text) {
    Clear();
    if (!text || !*text) return false;
    return ParseValue(text + 1, text[0] - u'0');
}

bool KtUData::Read(const KtUWideString& text) {
    return Read(text.GetString());
}

bool KtUData::Read(const KtUWideStringBuffer& text) {
    return Read(text.GetString());
}

bool KtUData::ReadEx(const KtUWChar* text) {
    Clear();
    if (!text || !*text) return false;
    if (text[0] == u'0') return true;
    if (text[1] != u':') return false;
    return ParseValue(text + 2, text[0] - u'0');
}

bool KtUData::ReadEx(const KtUWideString& text) {
    return ReadEx(text.GetString());
}

bool KtUData::ReadEx(const KtUWideStringBuffer& text) {
    return ReadEx(text.GetString());
}

int KtUData::FromString(const KtUWChar* text, Type kind, bool whole) {
    Clear();
    switch (kind) {
    case eNone:
        return 1;
    case eFloat:
    case eLinearFloat:
    case eAngularFloat:
    case eAreaFloat:
    case eVolumeFloat: {
        if (!text) return 0;
        KtUStringBuffer narrow;
        NarrowForNumbers(text, &narrow);
        double value;
        int used = 0;
        // User input: the process's own numeric locale applies.
        if (std::sscanf(narrow.GetString() ? narrow.GetString() : "", "%lg%n", &value, &used) != 1)
            return 0;
        if (whole && used != narrow.GetLength()) return 0;
        SetAnyFloat(value, kind);
        return 1;
    }
    case eInt32: {
        int value, used = 0;
        if (!ReadInt(text, &value, &used)) return 0;
        if (whole && used != KtUWideString::GetLength(text)) return 0;
        SetInt32(value);
        return 1;
    }
    case eBoolean: {
        if (!text) return 0;
        int value;
        if (ReadInt(text, &value, nullptr)) {
            SetBoolean(value);
            return 1;
        }
        const KtUWChar* word =
            KtUName::GetOverride(kBooleanTrueName, static_cast<const KtUWChar*>(nullptr));
        KtUWideStringBuffer fallback;
        if (!word) {
            fallback.TrySetFromAsciiString(kBooleanTrueName);
            word = fallback.GetString();
        }
        SetBoolean(KtUWideString::Stricmp(text, word) == 0 ? 1 : 0);
        return 1;
    }
    case eWideString:
        SetWideString(text);
        return 1;
    case eTime: {
        KtUInt64 seconds;
        if (!ReadDateText(text, &seconds)) return 0;
        SetTime(seconds);
        return 1;
    }
    case eString: {
        KtUStringBuffer ascii;
        if (text && !KtUWideString::TryExtractAsciiString(text, &ascii)) return 0;
        SetString(ascii.GetString());
        return 1;
    }
    case eName:
    case ePoint3D:
        return 0;
    }
    return 0;
}

// --- Diagnostics ----------------------------------------------------------------------

void KtUData::Dump(KtUWideStringBuffer* out) const {
    out->SetEmptyString();
    ktu::text::ScopedCNumericLocale c_locale;
    switch (m_type) {
    case eNone:
        AppendNarrow("<<none>>", out);
        break;
    case eFloat:
    case eLinearFloat:
    case eAngularFloat:
    case eAreaFloat:
    case eVolumeFloat:
        AppendFormat(out, "%.16g", m_value.f);
        break;
    case eInt32:
        AppendFormat(out, "%d", m_value.i);
        break;
    case eBoolean:
        AppendNarrow(m_value.i ? "True" : "False", out);
        break;
    case eWideString:
        if (m_value.ws)
            out->Append(m_value.ws);
        else
            AppendNarrow("<<null>>", out);
        break;
    case eTime:
        AppendFormat(out, "%" PRIu64, static_cast<KtUNat64>(m_value.t));
        break;
    case eName:
        if (!m_value.name) {
            AppendNarrow("<<null>>", out);
            break;
        }
        AppendNarrow("Name=", out);
        AppendNarrow(m_value.name->GetName().GetString(), out);
        AppendNarrow(" , UserName=", out);
        if (m_value.name->GetUserName().GetString())
            out->Append(m_value.name->GetUserName().GetString());
        else
            AppendNarrow("(null)", out);
        break;
    case eString:
        AppendNarrow(m_value.s ? m_value.s : "<<null>>", out);
        break;
    case ePoint3D:
        if (m_value.point)
            AppendFormat(out, "%.16g, %.16g, %.16g", m_value.point[0], m_value.point[1],
                         m_value.point[2]);
        else
            AppendNarrow("<<null>>", out);
        break;
    default:
        AppendNarrow("<<notimpl>>", out);
        break;
    }
}

//===- KtUDataStream.cpp - Typed-stream form of the value ----------------===//
#include <ktutil/KtUData.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideStringBuffer.h>
#include <ktutil/KtUWriteStream.h>

#include "data/data_text.h"
#include "text/text_number.h"

using namespace ktu::data;

namespace {

// The format versions at which kinds entered the stream form; a stream of
// an older version carries the kind its readers knew instead.
constexpr int kNamesAndBinaryTimes = 5;  // names; times as 64-bit counts
constexpr int kNarrowStrings = 91;       // String
constexpr int kAreasVolumesPoints = 209; // AreaFloat, VolumeFloat, Point3D

} // namespace

void KtUData::Write(KtUWriteStream* stream) const {
    const int version = stream->GetFormatVersion();
    if (version < kNamesAndBinaryTimes && m_type == eName) {
        stream->WriteInt32(eWideString);
        stream->WriteWideString(m_value.name ? m_value.name->GetUserName().GetString() : nullptr);
        return;
    }
    if (version < kNarrowStrings && m_type == eString) {
        KtUWideStringBuffer wide;
        WidenNarrow(m_value.s, &wide);
        stream->WriteInt32(eWideString);
        stream->WriteWideString(wide);
        return;
    }
    if (version < kAreasVolumesPoints) {
        if (m_type == eAreaFloat || m_type == eVolumeFloat) {
            stream->WriteInt32(eFloat);
            stream->WriteFloat(m_value.f);
            return;
        }
        if (m_type == ePoint3D) {
            KtUStringBuffer text;
            if (m_value.point) {
                ktu::text::ScopedCNumericLocale c_locale;
                text.Format("(%g, %g, %g)", m_value.point[0], m_value.point[1], m_value.point[2]);
            }
            KtUWideStringBuffer wide;
            WidenNarrow(text.GetString() ? text.GetString() : "", &wide);
            stream->WriteInt32(eWideString);
            stream->WriteWideString(wide);
            return;
        }
    }
    stream->WriteInt32(m_type);
    switch (m_type) {
    case eNone:
        break;
    case eFloat:
    case eLinearFloat:
    case eAngularFloat:
    case eAreaFloat:
    case eVolumeFloat:
        stream->WriteFloat(m_value.f);
        break;
    case eInt32:
        stream->WriteInt32(m_value.i);
        break;
    case eBoolean:
        stream->WriteBoolean(m_value.i);
        break;
    case eWideString:
        stream->WriteWideString(m_value.ws);
        break;
    case eTime:
        if (version >= kNamesAndBinaryTimes) {
            stream->WriteNat64(static_cast<KtUNat64>(m_value.t));
        } else {
            KtUWideStringBuffer date;
            AppendDateText(m_value.t, &date);
            stream->WriteWideString(date);
        }
        break;
    case eName:
        KtUName::Write(stream, m_value.name);
        break;
    case eString:
        stream->WriteString(m_value.s);
        break;
    case ePoint3D: {
        static const double kOrigin[3] = {0, 0, 0};
        const double* p = m_value.point ? m_value.point : kOrigin;
        stream->WriteFloat(p[0]);
        stream->WriteFloat(p[1]);
        stream->WriteFloat(p[2]);
        break;
    }
    }
}

void KtUData::Read(KtUReadStream* stream) {
    // In debug streams the Int32 read checks the value's type token.
    const int tag = stream->ReadInt32();
    Clear();
    if (stream->IsError()) return;
    if (tag < 0 || tag >= kNumTypes) {
        stream->SetError(KtUStream::ePARSE_ERROR);
        return;
    }
    switch (static_cast<Type>(tag)) {
    case eNone:
        break;
    case eFloat:
    case eLinearFloat:
    case eAngularFloat:
    case eAreaFloat:
    case eVolumeFloat:
        SetAnyFloat(stream->ReadFloat(), static_cast<Type>(tag));
        break;
    case eInt32:
        SetInt32(stream->ReadInt32());
        break;
    case eBoolean:
        SetBoolean(stream->ReadBoolean());
        break;
    case eWideString: {
        KtUWideStringBuffer text;
        stream->ReadWideString(&text);
        SetWideString(text);
        break;
    }
    case eTime:
        if (stream->GetCurrentReadVersion() < kNamesAndBinaryTimes) {
            KtUWideStringBuffer date;
            KtUInt64 seconds;
            if (stream->ReadWideString(&date) && ReadDateText(date.GetString(), &seconds))
                SetTime(seconds);
        } else {
            SetTime(stream->ReadTime());
        }
        break;
    case eName: {
        KtUName* name = KtUName::Read(stream);
        if (stream->IsError()) {
            // Release a name the callback made before failing.
            if (name) {
                name->Ref();
                name->Unref();
            }
            break;
        }
        SetName(name);
        break;
    }
    case eString: {
        KtUStringBuffer text;
        stream->ReadString(&text);
        SetString(text);
        break;
    }
    case ePoint3D: {
        double x = stream->ReadFloat();
        double y = stream->ReadFloat();
        double z = stream->ReadFloat();
        SetPoint3D(x, y, z);
        break;
    }
    }
    // A value cut short by a failed read is not kept half-made.
    if (stream->IsError()) Clear();
}

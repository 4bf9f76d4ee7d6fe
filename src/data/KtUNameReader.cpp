//===- KtUNameReader.cpp - Reads a name into a variable, optionally interned ===//
#include <ktutil/KtUName.h>
#include <ktutil/KtUNameDict.h>
#include <ktutil/KtUNameReader.h>
#include <ktutil/KtUReadStream.h>

void KtUNameReader::operator()(KtUReadStream& stream) const {
    KtUName* result = KtUName::Read(&stream);
    if (result && m_dict) {
        KtUName* read = result;
        result = m_dict->Find(read->GetUserName().GetString(), read->GetName().GetString());
        // Reference the result before letting the copy go: a host's reader
        // may have handed out the interned name itself.
        if (m_take_reference) result->Ref();
        read->Unref();
    } else if (result && m_take_reference) {
        result->Ref();
    }
    if (m_take_reference && m_target) m_target->Unref();
    m_target = result;
}

KtUReadStream& operator>>(KtUReadStream& stream, const KtUNameReader& reader) {
    reader(stream);
    return stream;
}

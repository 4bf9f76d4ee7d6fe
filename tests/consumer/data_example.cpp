// The name and value headers alone, with the examples of their own header
// comments: overrides, interning, enumeration names and a value's text form.
#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUData.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUNameDict.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

int DataExamples() {
    int errors = 0;
    KtUData::Initialise(); // also names
    {
        KtUAutoRefPtr<KtUName> n(new KtUName("KtOaNode", u"Node"));
        KtUName::AddOverride("KtOaNode", u"Knoten");
        KtUAutoRefPtr<KtUName> m(new KtUName("KtOaNode", u"Node"));
        errors += m->GetUserName() != u"Knoten";

        int value;
        KtUStringBuffer base;
        errors += KtUName::DecodeEnumName("Colour:3", &value, &base) != 1 || value != 3 ||
                  base != "Colour";

        KtUNameDict names;
        KtUName* a = names.Find(u"Node", "KtOaNode");
        KtUName* b = names.Find(u"Node", "KtOaNode");
        errors += a != b;
        KtUAutoRefPtr<KtUName> keep(a);
        names.Clear();
        errors += keep->GetUserName() != u"Knoten";

        KtUData length = KtUData::FromLinearFloat(2.5);
        KtUWideStringBuffer text;
        length.Write(&text);
        errors += text != u"6 2.5000000000000000000";
        KtUData back;
        back.Read(text);
        errors += !(back == length);
        KtUData flag;
        flag.FromString(u"12", KtUData::eInt32, true);
        errors += flag.GetSafeInt32() != 12;
    }
    KtUData::Terminate();
    return errors;
}

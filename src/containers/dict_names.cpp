//===- dict_names.cpp - Unique names over a wide-text dictionary ----------===//
#include "containers/dict_names.h"

#include <ktutil/KtUWideStringBuffer.h>

#include "text/text_ops.h"

namespace ktu::dict {

int MakeUniqueName(KtUWideStringBuffer* out, const KtUWChar* name, const KtUWChar* qualifier,
                   bool (*is_key)(const void* dict, const KtUWChar* key), const void* dict) {
    if (!is_key(dict, name)) {
        out->SetString(name);
        return 0;
    }
    // "base(digits)" splits into base and counter; a blank before "(" stays
    // part of the base.
    int len = ktu::text::Length(name);
    KtUWideStringBuffer base;
    base.SetString(name, len);
    int counter = 0;
    if (len > 0 && name[len - 1] == u')') {
        int open = len - 2;
        while (open >= 0 && name[open] >= u'0' && name[open] <= u'9')
            --open;
        if (open >= 0 && name[open] == u'(') {
            for (int i = open + 1; i < len - 1; ++i)
                counter = counter * 10 + (name[i] - u'0');
            base.SetString(name, open);
        }
    }
    auto ends_open = [](const KtUWideStringBuffer& b) {
        return b.GetLength() > 0 && b[b.GetLength() - 1] != u' ';
    };
    if (qualifier) {
        if (ends_open(base)) base.Append(u' ');
        base.Append(u'(');
        base.Append(qualifier);
        base.Append(u')');
    }
    auto form = [&](int n) {
        if (ends_open(base))
            out->Format(u"%s (%d)", base.GetString(), n);
        else
            out->Format(u"%s(%d)", base.GetString() ? base.GetString() : u"", n);
    };
    if (qualifier) {
        if (counter > 0)
            form(counter);
        else
            out->SetString(base.GetString() ? base.GetString() : u"");
        if (!is_key(dict, out->GetString())) return 1;
    }
    do
        form(++counter);
    while (is_key(dict, out->GetString()));
    return 1;
}

} // namespace ktu::dict

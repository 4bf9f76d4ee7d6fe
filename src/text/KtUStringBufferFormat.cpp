//===- KtUStringBufferFormat.cpp - Localised number text as new buffers ---===//
#include <ktutil/KtUStringBufferFormat.h>
#include <ktutil/KtUSysString.h>

KtUWideStringBuffer KtUStringBufferFormat::FormatLocalizedFloat(double value, int decimals,
                                                                int extend) {
    KtUWideStringBuffer result;
    result.FormatLocalizedFloat(value, decimals, extend);
    return result;
}

KtUWideStringBuffer KtUStringBufferFormat::GetLocalizedThousandSep() {
    KtUWChar sep[5];
    KtUSysString::GetLocalizedThousandSep(sep);
    return KtUWideStringBuffer(sep);
}

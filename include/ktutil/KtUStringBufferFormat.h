//===- KtUStringBufferFormat.h - Localised number text as new buffers -----===//
//
//   KtUWideStringBuffer text = KtUStringBufferFormat::FormatLocalizedFloat(0.5, 2, 0);
//
// Thread safety: as KtUSysString.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTRINGBUFFERFORMAT_H
#define KTUTIL_KTUSTRINGBUFFERFORMAT_H

#include <ktutil/KtUWideStringBuffer.h>

/// Localised number formatting returning new wide buffers (static only).
class KTU_API KtUStringBufferFormat {
public:
    static KtUWideStringBuffer FormatLocalizedFloat(double value, int decimals, int extend);
    static KtUWideStringBuffer GetLocalizedThousandSep();

private:
    KtUStringBufferFormat() = delete;
};

#endif // KTUTIL_KTUSTRINGBUFFERFORMAT_H

//===- step_fuzzer.cpp - Fuzzes KtUStringConv::STEPToWide -----------------===//
//
// Checks on every input: decoding never reads or writes out of bounds; a
// failed decode leaves the output as it was; a decoded text, written back as
// a STEP string with "\X2\" and "\X4\" groups, decodes to the same units.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUStringConv.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "fuzz_text.h"

#include <cstdio>
#include <string>

namespace {

// A STEP string for UTF-16 text: printable ASCII as itself (backslash
// doubled), everything else in one group per character.
std::string ToStep(const char16_t* w, int n) {
    std::string s;
    char group[32];
    for (int i = 0; i < n; ++i) {
        unsigned u = w[i];
        if (u == '\\') {
            s += "\\\\";
        } else if (u >= 0x20 && u < 0x7F) {
            s += static_cast<char>(u);
        } else if (u >= 0xD800 && u < 0xDC00 && i + 1 < n && w[i + 1] >= 0xDC00 &&
                   w[i + 1] < 0xE000) {
            unsigned cp = 0x10000 + ((u - 0xD800) << 10) + (w[i + 1] - 0xDC00u);
            std::snprintf(group, sizeof group, "\\X4\\%08X\\X0\\", cp);
            s += group;
            ++i;
        } else {
            std::snprintf(group, sizeof group, "\\X2\\%04X\\X0\\", u);
            s += group;
        }
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KtUStringConv::Initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::Terminated(data, size);
    KtUWideStringBuffer out(u"#");
    if (!KtUStringConv::STEPToWide(text.get(), &out)) {
        fuzz::Check(out == u"#", "a failed decode leaves the output alone");
        return 0;
    }
    fuzz::Check(out.GetLength() >= 1 && out[0] == u'#', "decoding appends");
    std::string step = ToStep(out.GetString() + 1, out.GetLength() - 1);
    KtUWideStringBuffer back(u"#");
    fuzz::Check(KtUStringConv::STEPToWide(step.c_str(), &back) && back == out,
                "re-encoded text decodes to the same units");
    return 0;
}

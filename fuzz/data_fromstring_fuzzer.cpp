//===- data_fromstring_fuzzer.cpp - Fuzzes KtUData::FromString -------------===//
//
// The first byte picks the kind (including numbers that are no kind), the
// second whether the whole text must be consumed; the rest is the text.
//
//===----------------------------------------------------------------------===//
#include "fuzz_data.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    auto kind = static_cast<KtUData::Type>(data[0] % 16);
    bool whole = data[1] & 1;
    auto text = fuzz::WideTerminated(data + 2, size - 2);
    KtUData value("before");
    if (value.FromString(text.get(), kind, whole)) {
        fuzz::Check(value.GetType() == kind, "the kind asked for");
        fuzz::CheckAccepted(value);
    } else {
        fuzz::Check(value.IsNone(), "a refused text leaves None");
    }
    return 0;
}

//===- data_readex_fuzzer.cpp - Fuzzes KtUData::ReadEx (the WriteEx form) -===//
#include "fuzz_data.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::WideTerminated(data, size);
    KtUData value(u"before");
    if (value.ReadEx(text.get()))
        fuzz::CheckAccepted(value);
    else
        fuzz::Check(value.IsNone(), "a refused text leaves None");
    return 0;
}

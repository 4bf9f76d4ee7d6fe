//===- data_read_fuzzer.cpp - Fuzzes KtUData::Read (the Write text form) --===//
#include "fuzz_data.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::WideTerminated(data, size);
    KtUData value(1.0, 2.0, 3.0);
    if (value.Read(text.get()))
        fuzz::CheckAccepted(value);
    else
        fuzz::Check(value.IsNone(), "a refused text leaves None");
    return 0;
}

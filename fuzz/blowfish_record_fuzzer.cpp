//===- blowfish_record_fuzzer.cpp - Fuzzes reading Blowfish records -------===//
//
// The first input byte sets the size of the regions the downstream sink hands
// out (0: all the rest at once; other values need not be multiples of 8); the
// rest are read as records, keyed with the chunk key, until the data ends or
// a read fails. Checks on every input: the reading ends, every record lies in
// the filter's block and holds 1 to 65,536 bytes, each record takes at least
// 16 downstream bytes, and the records that were read write and read back the
// same, in as many bytes as they took.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUBlowfishFilter.h>
#include <ktutil/KtUStreamBuffer.h>

#include "fuzz_text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

/// Reads the input in regions of at most limit bytes.
class RegionSink : public KtUStreamSink {
public:
    RegionSink(const uint8_t* data, size_t size, size_t limit)
        : data_(data), size_(size), limit_(limit ? limit : size) {}
    size_t consumed = 0;

    int WriteLock(unsigned char**, int*) override { return 0; }
    int WriteProcess(int) override { return 0; }
    int ReadLock(const unsigned char** region, int* size) override {
        size_t n = std::min(size_ - consumed, limit_);
        *region = n ? data_ + consumed : nullptr;
        *size = static_cast<int>(n);
        return 1;
    }
    int ReadProcess(int count) override {
        fuzz::Check(count >= 0 && consumed + size_t(count) <= size_, "filter consumes what it saw");
        consumed += size_t(count);
        return 1;
    }

private:
    const uint8_t* data_;
    size_t size_, limit_;
};

// Reads records until the end or a failure; true at a clean end.
bool ReadAll(KtUBlowfishFilter& filter, KtUStreamSink& sink, size_t budget,
             std::vector<std::string>* records) {
    filter.SetSink(&sink);
    fuzz::Check(sink.ReadBegin(nullptr) && filter.ReadBegin(nullptr), "read begins");
    for (;;) {
        const unsigned char* data;
        int size;
        if (!filter.ReadLock(&data, &size)) return false;
        if (size == 0) return filter.ReadEnd() != 0;
        fuzz::Check(records->size() < budget, "each record takes 16 bytes or more");
        fuzz::Check(size >= 1 && size <= filter.GetBlockSize() && data, "record size");
        records->emplace_back(reinterpret_cast<const char*>(data), size_t(size));
        fuzz::Check(!filter.ReadProcess(size + 1), "no reading past the record");
        fuzz::Check(filter.ReadProcess(size), "the record is consumed");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KtUBlowfishFilter::Initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    RegionSink input(data + 1, size - 1, data[0]);
    KtUBlowfishFilter filter(KtUBlowfishFilter::GetChunkKey());
    std::vector<std::string> records;
    bool clean = ReadAll(filter, input, (size - 1) / 16 + 1, &records);
    fuzz::Check(!clean || input.consumed == size - 1, "a clean end has read everything");

    // What was read writes and reads back the same.
    KtUStreamBuffer buffer;
    filter.SetSink(&buffer);
    fuzz::Check(buffer.WriteBegin(nullptr) && filter.WriteBegin(nullptr), "write begins");
    size_t expected = 0;
    for (const std::string& r : records) {
        unsigned char* region;
        int room;
        fuzz::Check(filter.WriteLock(&region, &room) && size_t(room) >= r.size(), "write lock");
        std::memcpy(region, r.data(), r.size());
        fuzz::Check(filter.WriteProcess(static_cast<int>(r.size())), "record written");
        expected += 8 + (r.size() + 7) / 8 * 8;
    }
    fuzz::Check(filter.WriteEnd() && buffer.WriteEnd(), "write ends");
    fuzz::Check(size_t(buffer.GetAlignedUsed()) == expected, "record sizes");
    if (clean) fuzz::Check(expected == input.consumed, "records take what they took");
    std::vector<std::string> again;
    fuzz::Check(ReadAll(filter, buffer, records.size() + 1, &again) && again == records,
                "records read back");
    return 0;
}

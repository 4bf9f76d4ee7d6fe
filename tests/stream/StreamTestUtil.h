//===- StreamTestUtil.h - Writing streams to memory and reading them back -===//
#ifndef KTUTIL_TESTS_STREAM_STREAMTESTUTIL_H
#define KTUTIL_TESTS_STREAM_STREAMTESTUTIL_H

#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStream.h>
#include <ktutil/KtUStreamBuffer.h>
#include <ktutil/KtUWriteStream.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace ktu::test {

/// Initialises the stream component around each test.
class StreamTest : public ::testing::Test {
protected:
    void SetUp() override { KtUStream::Initialise(); }
    void TearDown() override { KtUStream::Terminate(); }
};

/// Stream modes of a test case.
struct Modes {
    int ascii = 0;
    int debug = 0;
    int dbl = 1;
};

inline void Configure(KtUStream& s, Modes m) {
    s.SetAscii(m.ascii);
    s.SetDebug(m.debug);
    s.SetDouble(m.dbl);
}

/// The bytes a writer in modes m produces (with header) when fill runs on it;
/// the writer's End must succeed.
inline std::string Write(Modes m, const std::function<void(KtUWriteStream&)>& fill, int header = 1,
                         int extensions = 0,
                         const std::function<void(KtUWriteStream&)>& configure = {}) {
    KtUStreamBuffer buffer;
    KtUWriteStream out(&buffer);
    Configure(out, m);
    if (configure) configure(out);
    EXPECT_TRUE(out.Begin(header, extensions));
    fill(out);
    EXPECT_TRUE(out.End()) << "writer error " << out.GetError();
    if (!buffer.GetBuffer()) return std::string();
    return std::string(reinterpret_cast<const char*>(buffer.GetAlignedBuffer()),
                       static_cast<size_t>(buffer.GetAlignedUsed()));
}

/// Bytes after the header line and its sync point (binary: padded to 8).
inline std::string Body(const std::string& bytes, Modes m) {
    size_t at = bytes.find('\n') + 1;
    if (m.debug) at += m.ascii ? std::string("  Sync\n").size() : 4;
    if (!m.ascii) at = (at + 7) & ~size_t(7);
    return bytes.substr(at);
}

/// A reader over a copy of bytes; owns its buffer.
struct Reader {
    explicit Reader(const std::string& bytes) : in(&buffer) {
        buffer.SetBuffer(reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
                         static_cast<int>(bytes.size()), KtUStreamBuffer::eCOPY);
    }
    KtUStreamBuffer buffer;
    KtUReadStream in;
};

} // namespace ktu::test

#endif // KTUTIL_TESTS_STREAM_STREAMTESTUTIL_H

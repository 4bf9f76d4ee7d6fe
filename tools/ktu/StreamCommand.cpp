//===- StreamCommand.cpp - "ktu stream dump" and "ktu stream convert" -----===//
//
// Both read a whole stream file (or standard input) into memory. Objects are
// interpreted through a format made up on the spot: every entry index is a
// class of its own, named as the stream names it, so definitions and
// references are shown and copied without the program that wrote them.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"

#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStream.h>
#include <ktutil/KtUStreamBuffer.h>
#include <ktutil/KtUStreamFormat.h>
#include <ktutil/KtUWriteStream.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

namespace ktu::tool {

namespace {

constexpr int kEntries = 1024;

bool ReadAll(const char* path, std::string* out) {
    FILE* f = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "ktu stream: cannot open '%s': %s\n", path, std::strerror(errno));
        return false;
    }
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out->append(buffer, n);
    const bool ok = !std::ferror(f);
    if (f != stdin) std::fclose(f);
    if (!ok) std::fprintf(stderr, "ktu stream: cannot read '%s'\n", path);
    return ok;
}

/// A format with an entry per index, named by the text stream's definitions.
struct AnyFormat {
    std::string name;
    std::set<std::string> names;
    KtUStreamFormat format{nullptr, 0};

    explicit AnyFormat(const std::string& bytes) {
        std::istringstream lines(bytes);
        std::string line;
        std::getline(lines, line);
        std::istringstream words(line);
        std::string word;
        for (int i = 0; i < 6 && words >> word; ++i)
            if (i == 5) name = word;
        while (std::getline(lines, line)) {
            std::istringstream def(line);
            std::string keyword, id, entry;
            // Entries written by index stay indices.
            if (def >> keyword >> id >> entry && keyword == "DEF" &&
                entry.find_first_not_of("0123456789") != std::string::npos)
                names.insert(entry);
        }
        format.SetName(name.c_str());
        format.SetNumEntries(kEntries + static_cast<int>(names.size()));
        for (int i = 0; i < format.GetNumEntries(); ++i)
            format.SetEntry(i, Write, nullptr, nullptr, nullptr, -1);
        int i = kEntries;
        for (const std::string& n : names)
            format.EditEntry(i++)->SetName(n.c_str());
    }
    static int Write(KtUWriteStream*, int, const void*) { return 1; }
};

const char* ErrorText(KtUStream::ErrorId id) {
    switch (id) {
    case KtUStream::eUNKNOWN_CONFIGURATION:
        return "the header names a filter (enciphered?) or format this tool lacks";
    case KtUStream::ePARSE_ERROR:
        return "the data is not as its tokens announce";
    case KtUStream::eUNEXPECTED_END:
        return "the data ends inside a value";
    case KtUStream::eMALFORMED_DATA:
        return "malformed padding";
    default:
        return "the stream cannot be read";
    }
}

// Copies the debug stream in bytes into a new stream of the given encoding.
int Convert(const std::string& bytes, int to_ascii, std::string* out, bool* debug) {
    AnyFormat any(bytes);
    KtUStreamBuffer in_buffer;
    in_buffer.SetBuffer(reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
                        static_cast<int>(bytes.size()), KtUStreamBuffer::eCOPY);
    KtUReadStream in(&in_buffer);
    in.AddAvailableFormat(&any.format);
    if (!in.Begin(1, 0)) {
        std::fprintf(stderr, "ktu stream: not a readable stream (error %d: %s)\n", in.GetError(),
                     ErrorText(in.GetError()));
        return kExitFailure;
    }
    *debug = in.IsDebug();
    if (!in.IsDebug()) {
        in.End(0);
        return kExitOk;
    }
    KtUStreamBuffer out_buffer;
    KtUWriteStream writer(&out_buffer);
    writer.CopyConfig(in);
    writer.SetAscii(to_ascii);
    if (!writer.Begin(1, 0)) return kExitFailure;
    const int copied = in.CopyDebugToEnd(&writer);
    writer.End();
    if (out_buffer.GetBuffer())
        out->assign(reinterpret_cast<const char*>(out_buffer.GetAlignedBuffer()),
                    static_cast<size_t>(out_buffer.GetAlignedUsed()));
    if (!copied) {
        std::fprintf(stderr, "ktu stream: stopped at error %d: %s\n", in.GetError(),
                     ErrorText(in.GetError()));
        return kExitFailure;
    }
    return kExitOk;
}

int Dump(const char* path) {
    std::string bytes;
    if (!ReadAll(path, &bytes)) return kExitFailure;
    const size_t line_end = bytes.find('\n');
    if (bytes.compare(0, 16, "#KtUStream-V1.1 ") != 0 || line_end == std::string::npos) {
        std::fprintf(stderr, "ktu stream: '%s' does not start with a stream header\n", path);
        return kExitFailure;
    }
    std::printf("header: %s\n", bytes.substr(0, line_end).c_str());
    std::printf("size: %zu bytes\n", bytes.size());
    std::string text;
    bool debug = false;
    const int code = Convert(bytes, 1, &text, &debug);
    if (code != kExitOk && text.empty()) return code;
    if (!debug) {
        std::printf("release stream: its values carry no tokens and cannot be shown without the "
                    "program that wrote them\n");
        return code;
    }
    // The text encoding of the copy is the inspector's view: a token per value.
    const size_t body = text.find('\n');
    if (body != std::string::npos) std::fputs(text.c_str() + body + 1, stdout);
    return code;
}

int ConvertCommand(const char* from, const char* to) {
    std::string bytes;
    if (!ReadAll(from, &bytes)) return kExitFailure;
    const bool ascii = bytes.compare(0, 22, "#KtUStream-V1.1 ascii ") == 0;
    std::string converted;
    bool debug = false;
    int code = Convert(bytes, ascii ? 0 : 1, &converted, &debug);
    if (code != kExitOk) return code;
    if (!debug) {
        std::fprintf(stderr, "ktu stream: only debug streams can be converted\n");
        return kExitFailure;
    }
    FILE* out = std::strcmp(to, "-") == 0 ? stdout : std::fopen(to, "wb");
    if (!out) {
        std::fprintf(stderr, "ktu stream: cannot create '%s': %s\n", to, std::strerror(errno));
        return kExitFailure;
    }
    const bool ok = std::fwrite(converted.data(), 1, converted.size(), out) == converted.size();
    if (out != stdout && std::fclose(out) != 0) return kExitFailure;
    return ok ? kExitOk : kExitFailure;
}

} // namespace

int RunStream(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[0], "dump") == 0) {
        KtUStream::Initialise();
        int code = Dump(argv[1]);
        KtUStream::Terminate();
        return code;
    }
    if (argc == 3 && std::strcmp(argv[0], "convert") == 0) {
        KtUStream::Initialise();
        int code = ConvertCommand(argv[1], argv[2]);
        KtUStream::Terminate();
        return code;
    }
    std::fprintf(
        stderr,
        "usage: ktu stream dump FILE | ktu stream convert FROM TO  (see 'ktu help stream')\n");
    return kExitUsage;
}

} // namespace ktu::tool

//===- KtUResourceParser.h - State of one name-file read ------------------===//
//
// A KtUResourceParser carries what KtUResource needs while it reads a name
// file: the line number, the encoding (system code page or UTF-8) and the
// first error. The first error stops the file; the caller reports it.
//
//   KtUResourceParser parser;
//   if (!KtUResource::ReadNameFile(u"/data/en-US/app.name", &parser, nullptr))
//       Report(parser.GetErrorLineNumber(), parser.GetErrorMessage());
//
// Thread safety: one parser per read, used by one thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTURESOURCEPARSER_H
#define KTUTIL_KTURESOURCEPARSER_H

#include <ktutil/KtUMemory.h>
#include <ktutil/KtUStringBuffer.h>

#include <cstdio>

class KtUWideStringBuffer;

/// Line counter, encoding switch and first error of one name-file read.
class KTU_API KtUResourceParser {
public:
    /// Longest line read in one piece, in bytes; a longer line is read as
    /// several lines.
    static constexpr int kMaxLineBytes = 16384;

    KtUResourceParser() = default;
    KtUResourceParser(const KtUResourceParser&) = delete;
    KtUResourceParser& operator=(const KtUResourceParser&) = delete;

    /// Records message at the current line unless an error is already held.
    void SetError(const char* message);
    int HasError() const { return m_error_line != 0; }
    /// Line of the first error (1-based); 0 when there is none.
    int GetErrorLineNumber() const { return m_error_line; }
    /// Message of the first error; empty when there is none.
    const char* GetErrorMessage() const;
    /// Lines read so far; the line just read while parsing.
    int GetLineNumber() const { return m_line; }
    int IsUTF8() const { return m_utf8; }
    void SetUTF8(int on) { m_utf8 = on != 0; }

    /// Reads the next line with its line end into line; 0 at the end of the file.
    int ReadLine(std::FILE* file, KtUStringBuffer* line);
    /// Prepares a line for parsing: a UTF-8 byte-order mark on the first line
    /// (followed by "#", a line end or nothing) switches to UTF-8; trailing
    /// white space goes. Returns 0 when the line is to be skipped (that
    /// byte-order-mark line, comments, empty lines).
    int PreProcessLine(KtUStringBuffer* line);
    /// Handles a line starting with "$": "$utf8" and "$mbcs" switch the
    /// encoding; anything else is the error "Unknown option." and returns 0.
    int ParseOptionLine(const char* line);
    /// Converts bytes in the current encoding; 0 when they are not valid.
    int ReadWideString(const char* text, KtUWideStringBuffer* out) const;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    int m_line = 0;
    int m_error_line = 0;
    bool m_utf8 = false;
    KtUStringBuffer m_error;
};

#endif // KTUTIL_KTURESOURCEPARSER_H

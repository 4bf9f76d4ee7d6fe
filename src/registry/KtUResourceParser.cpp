//===- KtUResourceParser.cpp - Lines, encoding and first error of a name file ===//
#include <ktutil/KtUResourceParser.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <cstring>

namespace {

bool IsTrailingSpace(char c) {
    return c == ' ' || (c >= 9 && c <= 13);
}

} // namespace

void KtUResourceParser::SetError(const char* message) {
    if (HasError()) return;
    // An error before the first line still needs a line number that says "error".
    m_error_line = m_line > 0 ? m_line : 1;
    m_error.SetString(message ? message : "");
}

const char* KtUResourceParser::GetErrorMessage() const {
    return m_error.IsNull() ? "" : m_error.GetString();
}

int KtUResourceParser::ReadLine(std::FILE* file, KtUStringBuffer* line) {
    if (!file || !line) return 0;
    char piece[kMaxLineBytes + 1];
    if (!std::fgets(piece, sizeof piece, file)) return 0;
    ++m_line;
    line->SetString(piece);
    return 1;
}

int KtUResourceParser::PreProcessLine(KtUStringBuffer* line) {
    int length = line->GetLength();
    const char* text = line->GetString();
    if (m_line == 1 && length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        char next = text[3];
        if (next == '\0' || next == '#' || next == '\n' || next == '\r') {
            m_utf8 = true;
            return 0;
        }
    }
    while (length > 0 && IsTrailingSpace(text[length - 1]))
        --length;
    if (length != line->GetLength()) {
        KtUStringBuffer trimmed;
        trimmed.SetString(text, length);
        line->Swap(trimmed);
    }
    return length > 0 && line->GetString()[0] != '#';
}

int KtUResourceParser::ParseOptionLine(const char* line) {
    if (std::strcmp(line, "$utf8") == 0) {
        m_utf8 = true;
        return 1;
    }
    if (std::strcmp(line, "$mbcs") == 0) {
        m_utf8 = false;
        return 1;
    }
    SetError("Unknown option.");
    return 0;
}

int KtUResourceParser::ReadWideString(const char* text, KtUWideStringBuffer* out) const {
    return m_utf8 ? out->SetFromUTF8String(text) : out->SetFromMultiString(text);
}

//===- KtUError.cpp - Formatting front-end of error reporting -------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUErrorLogStream.h>
#include <ktutil/KtUErrorPostStream.h>
#include <ktutil/KtUErrorTraceStream.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "foundation/component.h"
#include "platform/clock.h"
#include "platform/lock.h"
#include "platform/text.h"
#include "text/text_convert.h"
#include "text/text_format.h"
#include "text/text_ops.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kMaxPostUnits = 1999;

KtUComponent s_component;
// Session configuration (product names, data folders) is read by the hosts'
// configuration layer; the component marks its place in the start-up order.
KtUComponent s_session_config;
ktu::sys::RecursiveMutex s_lock;
KtUStringBuffer* s_narrow = nullptr;
KtUWideStringBuffer* s_wide = nullptr;

KtUError::MessageBoxResult DefaultMessageBox(const KtUWChar* text,
                                             KtUError::MessageBoxButtons buttons,
                                             KtUError::MessageBoxIcon icon, int help);
KtUError::MessageBoxFunc s_message_box = DefaultMessageBox;

const char* SeverityTag(int severity) {
    static const char* const kTags[] = {"eERROR", "eWARNING", "ePRECONDITION", "eASSERT", "eDEBUG"};
    return severity >= 0 && severity <= 4 ? kTags[severity] : nullptr;
}

// One log line per post: "<tag>: <component>, "<message>"" and the variants.
void LogPost(KtUSysError::Severity severity, KtUComponent* component, int id, void* data,
             const KtUWChar* message) {
    const char* tag = SeverityTag(severity);
    if (!tag && severity != KtUSysError::eINFO) tag = "UKNOWN";
    const char* name = component && component->GetName() ? component->GetName() : "";
    char head[512];
    if (id == -1 && data == nullptr) {
        if (tag)
            std::snprintf(head, sizeof head, "%s: %s, \"", tag, name);
        else
            std::snprintf(head, sizeof head, "%s, \"", name);
    } else {
        unsigned int data32 = static_cast<unsigned int>(reinterpret_cast<uintptr_t>(data));
        if (tag)
            std::snprintf(head, sizeof head, "%s: %s id(%d), data(%x), \"", tag, name, id, data32);
        else
            std::snprintf(head, sizeof head, "%s id(%d), data(%x), \"", name, id, data32);
    }
    std::string line(head);
    if (message) {
        size_t units = static_cast<size_t>(ktu::text::Length(message));
        size_t start = line.size();
        line.resize(start + ktu::text::Utf8LengthOf(message, units));
        ktu::text::Utf16ToUtf8(message, units, line.data() + start);
    }
    line += "\"\n";
    KtUSysError::LogUTF8String(line.c_str());
}

// Formats into the scratch buffers under the lock and returns a copy of at
// most 1999 units.
struct PostText {
    KtUWChar text[kMaxPostUnits + 1];
};

void CopyCapped(PostText* out, const KtUWChar* text, int length) {
    int n = length < kMaxPostUnits ? length : kMaxPostUnits;
    if (text && n > 0) std::memcpy(out->text, text, static_cast<size_t>(n) * sizeof(KtUWChar));
    out->text[n > 0 ? n : 0] = 0;
}

template <class Fn> void WithScratch(Fn fn) {
    ktu::sys::LockGuard guard(s_lock);
    if (s_narrow && s_wide) {
        fn(*s_narrow, *s_wide);
    } else {
        // Before initialisation: private buffers.
        KtUStringBuffer narrow;
        KtUWideStringBuffer wide;
        fn(narrow, wide);
    }
}

// Trace prefix: "Trace:", then level, time and thread id by flag bits.
void LogTracePrefix(int level, const char* file, int line) {
    char prefix[256];
    int flags = KtUSysError::GetTraceFlag();
    int n = std::snprintf(prefix, sizeof prefix, "Trace:");
    if (flags & 0x1) n += std::snprintf(prefix + n, sizeof prefix - n, "%d:", level);
    if (flags & 0x8) {
        ktu::sys::TimeOfDay utc = ktu::sys::UtcTimeOfDay();
        n += std::snprintf(prefix + n, sizeof prefix - n, "%02d-%02d-%02d:", utc.hour, utc.minute,
                           utc.second);
    }
    if (flags & 0x4)
        n += std::snprintf(prefix + n, sizeof prefix - n,
                           "%d:", static_cast<int>(ktu::sys::CurrentThreadId()));
    if (file && (flags & 0x2)) std::snprintf(prefix + n, sizeof prefix - n, "%s:%d:", file, line);
    KtUSysError::LogUTF8String(prefix);
}

KtUError::MessageBoxResult DefaultMessageBox(const KtUWChar* text,
                                             KtUError::MessageBoxButtons buttons,
                                             KtUError::MessageBoxIcon icon, int help) {
    // No window system: the text goes to standard error and the box is
    // answered with its first button.
    KtUStringBuffer utf8;
    KtUWideString::ExtractUTF8String(text, &utf8);
    std::fprintf(stderr, "Veltracore: %s\n", utf8.GetString() ? utf8.GetString() : "");
    int style = KtUError::ConvertMBFlagsToWin32(buttons, icon, help) & 0xF;
    static const int kFirstButton[] = {1, 1, 3, 6, 6, 4}; // OK, OK, abort, yes, yes, retry
    return KtUError::ConvertWin32MBResult(style < 6 ? kFirstButton[style] : 1);
}

// The common formatter of the stock handlers.
int FormatCommon(KtUSysError::Severity severity, KtUComponent* component, int id, void* data,
                 const KtUWChar* message, KtUWideStringBuffer* out, bool filter) {
    const char* tag = SeverityTag(severity);
    int result = (severity == KtUSysError::eWARNING || severity == KtUSysError::eDEBUG) ? 0 : 1;
    KtUWideStringBuffer text;
    text.SetString(message);
    if (filter && message && message[0] &&
        (severity == KtUSysError::ePRECONDITION || severity == KtUSysError::eASSERT)) {
        const KtUWChar* at = KtUWideString::Find(message + 1, u" at ");
        if (at) text.SetString(message, static_cast<int>(at - message));
    }
    out->Format(u"Handle Severity(%S) component(%S) id(%d), data(%x), msg(%s)",
                tag ? tag : "UNKNOWN",
                component && component->GetName() ? component->GetName() : "", id,
                static_cast<unsigned int>(reinterpret_cast<uintptr_t>(data)),
                text.GetString() ? text.GetString() : u"");
    return result;
}

// Prints through the formatter; returns whether strings were available and
// stores the formatter's result.
bool PrintPost(KtUSysError::Severity severity, KtUComponent* component, int id, void* data,
               const KtUWChar* message, bool filter, int* result) {
    if (!KtUString::IsInitialised()) {
        std::puts("Error while KtUString not available: ");
        char narrow[4 * kMaxPostUnits + 1];
        ktu::sys::U16ToUtf8(message, narrow, sizeof narrow);
        std::puts(narrow);
        return false;
    }
    KtUWideStringBuffer text;
    *result = FormatCommon(severity, component, id, data, message, &text, filter);
    KtUStringBuffer utf8;
    text.ExtractUTF8String(&utf8);
    std::puts(utf8.GetString() ? utf8.GetString() : "");
    return true;
}

} // namespace

// --- Lifecycle -----------------------------------------------------------------

namespace {

// The session configuration has no work here: it starts once the scratch
// buffers exist and stops before they go.
constexpr ktu::detail::ComponentDecl kSessionConfig{
    .component = s_session_config,
    .name = "KtUSessionConfig",
    .info = KTU_COMPONENT_INFO,
};

void SetUp() {
    {
        ktu::sys::LockGuard guard(s_lock);
        s_narrow = new KtUStringBuffer;
        s_wide = new KtUWideStringBuffer;
    }
    KtUSysError::SetLogPostWideStringCB(LogPost);
    ktu::detail::InitialiseComponent(kSessionConfig);
}

bool TearDown() {
    ktu::detail::TerminateComponent(kSessionConfig);
    KtUSysError::SetLogPostWideStringCB(nullptr);
    ktu::sys::LockGuard guard(s_lock);
    delete s_narrow;
    delete s_wide;
    s_narrow = nullptr;
    s_wide = nullptr;
    return true;
}

constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUError",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUSysError, KtUString>,
    .set_up = SetUp,
    .tear_down = TearDown,
};

} // namespace

KTU_COMPONENT_LIFECYCLE(KtUError, kComponent)

// --- Posting ----------------------------------------------------------------------

void KtUError::PostV(Severity severity, KtUComponent* component, int id, void* data,
                     const char* format, va_list args) {
    PostText copy;
    WithScratch([&](KtUStringBuffer& narrow, KtUWideStringBuffer& wide) {
        narrow.FormatV(format, args);
        narrow.MultiToWideString(&wide);
        CopyCapped(&copy, wide.GetString(), wide.GetLength());
    });
    KtUSysError::PostWideString(severity, component, id, data, copy.text);
}

void KtUError::PostV(Severity severity, KtUComponent* component, int id, void* data,
                     const KtUWChar* format, va_list args) {
    PostText copy;
    WithScratch([&](KtUStringBuffer&, KtUWideStringBuffer& wide) {
        wide.FormatV(format, args);
        CopyCapped(&copy, wide.GetString(), wide.GetLength());
    });
    KtUSysError::PostWideString(severity, component, id, data, copy.text);
}

void KtUError::Post(Severity severity, KtUComponent* component, int id, void* data,
                    const char* format, ...) {
    va_list args;
    va_start(args, format);
    PostV(severity, component, id, data, format, args);
    va_end(args);
}

void KtUError::Post(Severity severity, KtUComponent* component, const char* format, ...) {
    va_list args;
    va_start(args, format);
    PostV(severity, component, -1, nullptr, format, args);
    va_end(args);
}

void KtUError::Post(Severity severity, KtUComponent* component, int id, void* data,
                    const KtUWChar* format, ...) {
    va_list args;
    va_start(args, format);
    PostV(severity, component, id, data, format, args);
    va_end(args);
}

void KtUError::Post(Severity severity, KtUComponent* component, const KtUWChar* format, ...) {
    va_list args;
    va_start(args, format);
    PostV(severity, component, -1, nullptr, format, args);
    va_end(args);
}

void KtUError::PostWideString(Severity severity, const KtUWChar* message) {
    KtUSysError::PostWideString(severity, nullptr, -1, nullptr, message);
}

KtUErrorPostStream KtUError::Post(Severity severity, KtUComponent* component) {
    return KtUErrorPostStream(severity, component, -1, nullptr);
}

KtUErrorPostStream KtUError::Post(Severity severity, KtUComponent* component, int id, void* data) {
    return KtUErrorPostStream(severity, component, id, data);
}

// --- Logging ----------------------------------------------------------------------

void KtUError::LogV(const char* format, va_list args) {
    WithScratch([&](KtUStringBuffer& narrow, KtUWideStringBuffer&) {
        narrow.FormatV(format, args);
        if (narrow.GetString()) KtUSysError::LogUTF8String(narrow.GetString());
    });
}

void KtUError::LogV(const KtUWChar* format, va_list args) {
    WithScratch([&](KtUStringBuffer& narrow, KtUWideStringBuffer& wide) {
        wide.FormatV(format, args);
        wide.ExtractUTF8String(&narrow);
        if (narrow.GetString()) KtUSysError::LogUTF8String(narrow.GetString());
    });
}

void KtUError::Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogV(format, args);
    va_end(args);
}

void KtUError::Log(const KtUWChar* format, ...) {
    va_list args;
    va_start(args, format);
    LogV(format, args);
    va_end(args);
}

void KtUError::LogWideString(const KtUWChar* text) {
    WithScratch([&](KtUStringBuffer& narrow, KtUWideStringBuffer&) {
        KtUWideString::ExtractUTF8String(text, &narrow);
        if (narrow.GetString()) KtUSysError::LogUTF8String(narrow.GetString());
    });
}

void KtUError::LogInt32(int value) {
    Log("%d", value);
}
void KtUError::LogInt64(KtUInt64 value) {
    Log("%lld", static_cast<long long>(value));
}
void KtUError::LogNat32(unsigned int value) {
    Log("%u", value);
}
void KtUError::LogNat64(KtUNat64 value) {
    Log("%llu", static_cast<unsigned long long>(value));
}
void KtUError::LogFloat(double value) {
    Log("%g", value);
}
void KtUError::LogPtr(const void* value) {
    // The whole address in upper-case hex, as "%X" gives on 32-bit systems.
    Log("%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(value)));
}

KtUErrorLogStream KtUError::Log() {
    return KtUErrorLogStream();
}

// --- Tracing ----------------------------------------------------------------------

bool KtUError::TraceV(int level, const char* format, va_list args) {
    if (!KtUSysError::ShouldTrace(level)) return false;
    LogTracePrefix(level, nullptr, 0);
    LogV(format, args);
    return true;
}

bool KtUError::TraceV(int level, const KtUWChar* format, va_list args) {
    if (!KtUSysError::ShouldTrace(level)) return false;
    LogTracePrefix(level, nullptr, 0);
    LogV(format, args);
    return true;
}

bool KtUError::Trace(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    bool traced = TraceV(level, format, args);
    va_end(args);
    return traced;
}

bool KtUError::Trace(int level, const KtUWChar* format, ...) {
    va_list args;
    va_start(args, format);
    bool traced = TraceV(level, format, args);
    va_end(args);
    return traced;
}

bool KtUError::TraceWideString(int level, const KtUWChar* text) {
    if (!KtUSysError::ShouldTrace(level)) return false;
    LogTracePrefix(level, nullptr, 0);
    LogWideString(text);
    return true;
}

void KtUError::TraceV(int level, const char* file, int line, const char* format, va_list args) {
    LogTracePrefix(level, file, line);
    LogV(format, args);
}

void KtUError::TraceV(int level, const char* file, int line, const KtUWChar* format, va_list args) {
    LogTracePrefix(level, file, line);
    LogV(format, args);
}

void KtUError::Trace(int level, const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    TraceV(level, file, line, format, args);
    va_end(args);
}

void KtUError::Trace(int level, const char* file, int line, const KtUWChar* format, ...) {
    va_list args;
    va_start(args, format);
    TraceV(level, file, line, format, args);
    va_end(args);
}

KtUErrorTraceStream KtUError::Trace(int level) {
    bool active = KtUSysError::ShouldTrace(level);
    if (active) LogTracePrefix(level, nullptr, 0);
    return KtUErrorTraceStream(active);
}

// --- Message boxes ------------------------------------------------------------------

KtUError::MessageBoxResult KtUError::MessageBoxW(const KtUWChar* text, MessageBoxButtons buttons,
                                                 MessageBoxIcon icon, int help) {
    MessageBoxFunc fn = s_message_box;
    return fn ? fn(text, buttons, icon, help) : eMBR_NONE;
}

KtUError::MessageBoxResult KtUError::MessageBoxW(const KtUWideString& text,
                                                 MessageBoxButtons buttons, MessageBoxIcon icon,
                                                 int help) {
    return MessageBoxW(text.GetString(), buttons, icon, help);
}

KtUError::MessageBoxResult KtUError::MessageBoxW(const KtUWideStringBuffer& text,
                                                 MessageBoxButtons buttons, MessageBoxIcon icon,
                                                 int help) {
    return MessageBoxW(text.GetString(), buttons, icon, help);
}

void KtUError::SetMessageBoxFuncWcs(MessageBoxFunc fn) {
    s_message_box = fn;
}
void KtUError::DisableMessageBox() {
    s_message_box = nullptr;
}

int KtUError::ConvertMBFlagsToWin32(MessageBoxButtons buttons, MessageBoxIcon icon, int help) {
    static const int kStyles[] = {2, 2, 0, 1, 5, 4, 3};
    static const int kIcons[] = {0, 0x40, 0x20, 0x30, 0x10};
    int style = buttons >= 0 && buttons <= 6 ? kStyles[buttons] : 0;
    if (icon >= 1 && icon <= 4) style |= kIcons[icon];
    if (help >= 0) style |= 0x4000;
    return style;
}

KtUError::MessageBoxResult KtUError::ConvertWin32MBResult(int result) {
    switch (result) {
    case 1:
        return eMBR_OK;
    case 2:
        return eMBR_CANCEL;
    case 3:
        return eMBR_ABORT;
    case 4:
        return eMBR_RETRY;
    case 5:
        return eMBR_IGNORE;
    case 6:
        return eMBR_YES;
    case 7:
        return eMBR_NO;
    default:
        return eMBR_ERROR;
    }
}

// --- Stock handlers -------------------------------------------------------------------

int KtUError::FormatError(Severity severity, KtUComponent* component, int id, void* data,
                          const KtUWChar* message, KtUWideStringBuffer* out) {
    return FormatCommon(severity, component, id, data, message, out, false);
}

int KtUError::FilterAndFormatError(Severity severity, KtUComponent* component, int id, void* data,
                                   const KtUWChar* message, KtUWideStringBuffer* out) {
    return FormatCommon(severity, component, id, data, message, out, true);
}

int KtUError::PrintErrorHandler(Severity severity, KtUComponent* component, int id, void* data,
                                const KtUWChar* message) {
    int result = 0;
    PrintPost(severity, component, id, data, message, false, &result);
    return 1;
}

int KtUError::PrintAndFilterErrorHandler(Severity severity, KtUComponent* component, int id,
                                         void* data, const KtUWChar* message) {
    int result = 0;
    PrintPost(severity, component, id, data, message, true, &result);
    return 1;
}

int KtUError::PrintAndExitErrorHandler(Severity severity, KtUComponent* component, int id,
                                       void* data, const KtUWChar* message) {
    int result = 1;
    bool strings = PrintPost(severity, component, id, data, message, false, &result);
    if (strings && result == 0) return 1;
    std::fflush(stdout);
    KtUSysError::ForceExit(1);
}

int KtUError::PrintAndExitIgnoreWarningErrorHandler(Severity severity, KtUComponent* component,
                                                    int id, void* data, const KtUWChar* message) {
    if (severity == KtUSysError::eWARNING) return 1;
    return PrintAndExitErrorHandler(severity, component, id, data, message);
}

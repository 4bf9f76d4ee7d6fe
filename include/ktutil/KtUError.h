//===- KtUError.h - Formatting front-end of error reporting ---------------===//
//
// KtUError is what the rest of the library calls to report: printf-style and
// streaming posts, logging of text and numbers, tracing, message boxes and
// stock handlers.
//
//   KtUError::Post(KtUSysError::eERROR, &s_component, "Can't open \"%s\"", path);
//   KtUError::Post(KtUSysError::eWARNING, &s_component) << "got " << n << " items";
//   KtUError::Log("KtUFoo::Bar: read %d bytes\n", n);
//   if (KtUSysError::ShouldTrace(2)) KtUError::Trace(2, __FILE__, __LINE__, "x=%d\n", x);
//
// The printf-style paths cut messages to 1999 UTF-16 units; a post stream
// posts its whole text once, when it is destroyed (so a copy posts again).
// Once initialised, every post is logged as one line: "<tag>: <component>,
// "<message>"" (with " id(<id>), data(<data>)" when the post has an id).
//
// Thread safety: every function may be called from any thread. Formatting is
// serialised by one lock; posting and handlers run outside it. Trace settings
// and the message-box function are plain variables.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUERROR_H
#define KTUTIL_KTUERROR_H

#include <ktutil/KtUComponent.h>
#include <ktutil/KtUDefs.h>
#include <ktutil/KtUSysError.h>

#include <cstdarg>

class KtUErrorLogStream;
class KtUErrorPostStream;
class KtUErrorTraceStream;
class KtUWideString;
class KtUWideStringBuffer;

/// Formatting front-end of error reporting, logging and tracing (static only).
class KTU_API KtUError {
public:
    /// Buttons of a message box (0 behaves as 1).
    enum MessageBoxButtons : int {
        eMBB_ABORT_RETRY_IGNORE = 1,
        eMBB_OK = 2,
        eMBB_OK_CANCEL = 3,
        eMBB_RETRY_CANCEL = 4,
        eMBB_YES_NO = 5,
        eMBB_YES_NO_CANCEL = 6,
    };
    enum MessageBoxIcon : int {
        eMBI_NONE = 0,
        eMBI_INFORMATION = 1,
        eMBI_QUESTION = 2,
        eMBI_WARNING = 3,
        eMBI_ERROR = 4,
    };
    /// The button that closed a message box; 0 when none was shown.
    enum MessageBoxResult : int {
        eMBR_NONE = 0,
        eMBR_ERROR = 1,
        eMBR_ABORT = 2,
        eMBR_CANCEL = 3,
        eMBR_CONTINUE = 4,
        eMBR_IGNORE = 5,
        eMBR_NO = 6,
        eMBR_OK = 7,
        eMBR_RETRY = 8,
        eMBR_TRY_AGAIN = 9,
        eMBR_YES = 10,
    };
    typedef MessageBoxResult (*MessageBoxFunc)(const KtUWChar* text, MessageBoxButtons buttons,
                                               MessageBoxIcon icon, int help);
    using Severity = KtUSysError::Severity;

    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    // Posting.
    static void Post(Severity severity, KtUComponent* component, int id, void* data,
                     const char* format, ...) KTU_PRINTF(5, 6);
    static void Post(Severity severity, KtUComponent* component, const char* format, ...)
        KTU_PRINTF(3, 4);
    static void Post(Severity severity, KtUComponent* component, int id, void* data,
                     const KtUWChar* format, ...);
    static void Post(Severity severity, KtUComponent* component, const KtUWChar* format, ...);
    static void PostV(Severity severity, KtUComponent* component, int id, void* data,
                      const char* format, va_list args) KTU_PRINTF(5, 0);
    static void PostV(Severity severity, KtUComponent* component, int id, void* data,
                      const KtUWChar* format, va_list args);
    /// Posts message unchanged for no component, id -1.
    static void PostWideString(Severity severity, const KtUWChar* message);
    static KtUErrorPostStream Post(Severity severity, KtUComponent* component);
    static KtUErrorPostStream Post(Severity severity, KtUComponent* component, int id, void* data);

    // Logging (no line end is added).
    static void Log(const char* format, ...) KTU_PRINTF(1, 2);
    static void Log(const KtUWChar* format, ...);
    static void LogV(const char* format, va_list args) KTU_PRINTF(1, 0);
    static void LogV(const KtUWChar* format, va_list args);
    static void LogWideString(const KtUWChar* text);
    static void LogInt32(int value);
    static void LogInt64(KtUInt64 value);
    static void LogNat32(unsigned int value);
    static void LogNat64(KtUNat64 value);
    static void LogFloat(double value);
    static void LogPtr(const void* value);
    static KtUErrorLogStream Log();

    // Tracing: false (and nothing written) when disabled or above the level.
    static bool Trace(int level, const char* format, ...) KTU_PRINTF(2, 3);
    static bool Trace(int level, const KtUWChar* format, ...);
    static bool TraceV(int level, const char* format, va_list args) KTU_PRINTF(2, 0);
    static bool TraceV(int level, const KtUWChar* format, va_list args);
    static bool TraceWideString(int level, const KtUWChar* text);
    /// Always writes (callers test ShouldTrace first); file and line with flag 0x2.
    static void Trace(int level, const char* file, int line, const char* format, ...)
        KTU_PRINTF(4, 5);
    static void Trace(int level, const char* file, int line, const KtUWChar* format, ...);
    static void TraceV(int level, const char* file, int line, const char* format, va_list args)
        KTU_PRINTF(4, 0);
    static void TraceV(int level, const char* file, int line, const KtUWChar* format, va_list args);
    static KtUErrorTraceStream Trace(int level);

    // Message boxes.
    static MessageBoxResult MessageBoxW(const KtUWChar* text, MessageBoxButtons buttons,
                                        MessageBoxIcon icon, int help);
    static MessageBoxResult MessageBoxW(const KtUWideString& text, MessageBoxButtons buttons,
                                        MessageBoxIcon icon, int help);
    static MessageBoxResult MessageBoxW(const KtUWideStringBuffer& text, MessageBoxButtons buttons,
                                        MessageBoxIcon icon, int help);
    static void SetMessageBoxFuncWcs(MessageBoxFunc fn);
    static void DisableMessageBox();
    /// The reference platform's message-box style bits.
    static int ConvertMBFlagsToWin32(MessageBoxButtons buttons, MessageBoxIcon icon, int help);
    /// The reference platform's answer codes mapped to MessageBoxResult.
    static MessageBoxResult ConvertWin32MBResult(int result);

    // Stock handlers (KtUSysError::Handler signature).
    static int PrintErrorHandler(Severity, KtUComponent*, int id, void* data,
                                 const KtUWChar* message);
    static int PrintAndExitErrorHandler(Severity, KtUComponent*, int id, void* data,
                                        const KtUWChar* message);
    static int PrintAndExitIgnoreWarningErrorHandler(Severity, KtUComponent*, int id, void* data,
                                                     const KtUWChar* message);
    static int PrintAndFilterErrorHandler(Severity, KtUComponent*, int id, void* data,
                                          const KtUWChar* message);
    /// "Handle Severity(..) component(..) id(..), data(..), msg(..)" into out;
    /// returns 1 for severities that are fatal when unhandled, else 0.
    static int FormatError(Severity, KtUComponent*, int id, void* data, const KtUWChar* message,
                           KtUWideStringBuffer* out);
    /// As FormatError, but preconditions and assertions keep only the text
    /// before the first " at ".
    static int FilterAndFormatError(Severity, KtUComponent*, int id, void* data,
                                    const KtUWChar* message, KtUWideStringBuffer* out);

private:
    KtUError() = delete;
};

// The streams that Post, Log and Trace return, so that the examples above
// compile with this header alone. They include this header themselves.
#include <ktutil/KtUErrorLogStream.h>
#include <ktutil/KtUErrorPostStream.h>
#include <ktutil/KtUErrorTraceStream.h>

#endif // KTUTIL_KTUERROR_H

//===- KtUSysError.h - Severities, handlers, the process log and dumps ----===//
//
// KtUSysError is the low-level error service under every other class:
//
//   // Route every unnamed error to a handler of the host's.
//   KtUSysError::SetHandler(MyHandler, KtUSysError::eERROR, (KtUComponent*)nullptr, -1);
//   KtUSysError::PostWideString(KtUSysError::eERROR, &s_component, u"Disk full");
//
//   KtUSysError::LogUTF8String("MyHost: loaded model\n");   // the process log
//   KtUSysError::SetDumpOnUnhandledException(u"/tmp/host.dmp", 1, 0, nullptr,
//                                            nullptr, nullptr);
//
// A post is first logged, then offered to the handler slots from the most
// specific (component and error id) to the least (the global handler); the
// first handler that returns non-zero ends it. An unhandled eERROR,
// ePRECONDITION or eASSERT (or unknown severity) ends the process: with a dump
// path set a crash dump is written and the exit code is 1, else abort().
//
// The process log is a static 1 MiB buffer: the first 512 KiB written are kept
// for the life of the process, the second half is a ring holding the most
// recent text. It can be mirrored to standard error and to a log file, and it
// is written into crash dumps.
//
// Thread safety: every function may be called from any thread. One recursive
// process-wide lock guards handler tables, the log and dump settings; handlers
// run without it. Components are registered from one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSERROR_H
#define KTUTIL_KTUSYSERROR_H

#include <ktutil/KtUDefs.h>

class KtUComponent;

/// Error severities, handler tables, the process log, crash dumps and exits.
class KTU_API KtUSysError {
public:
    /// Severity of a post. Any other value is treated as fatal when unhandled.
    enum Severity : int {
        eANY = -1, ///< All severities; only for handler registration and lookup.
        eERROR = 0,
        eWARNING = 1,
        ePRECONDITION = 2,
        eASSERT = 3,
        eDEBUG = 4,
        eINFO = 5, ///< Informational note.
    };

    /// A handler returns non-zero when it handled the post, which ends dispatch.
    typedef int (*Handler)(Severity severity, KtUComponent* component, int id, void* data,
                           const KtUWChar* message);
    /// Called for every post instead of the built-in log line when installed.
    typedef void (*LogPostCB)(Severity severity, KtUComponent* component, int id, void* data,
                              const KtUWChar* message);
    /// The user function behind SetGlobalHandler.
    typedef int (*GlobalHandlerFn)(Severity severity, KtUComponent* component, int id,
                                   const KtUWChar* message, void* user_data);
    /// Receives log text piece by piece.
    typedef void (*OutputFn)(const char* text, void* data);
    typedef int (*BeforeDumpFn)(const KtUWChar* path);
    typedef void (*AfterDumpFn)(const KtUWChar* path);
    /// Asked once per extra range to include in a dump; returns 0 when done.
    typedef int (*ExtraMemoryFn)(void** base, unsigned int* size);
    typedef void (*HookFn)();

    // Lifecycle.
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    // Components.
    static KtUComponent* FindComponent(const char* name);
    static KtUComponent* GetFirstComponent();
    static KtUComponent* GetLastComponent();

    // Handlers.
    static void SetHandler(Handler handler, Severity severity, KtUComponent* component, int id);
    static void SetHandler(Handler handler, Severity severity, const char* component_name, int id);
    static Handler RemoveHandler(Severity severity, KtUComponent* component, int id);
    static Handler RemoveHandler(Severity severity, const char* component_name, int id);
    static Handler GetHandler(Severity severity, KtUComponent* component, int id);
    static void SetGlobalHandler(GlobalHandlerFn fn, void* user_data);
    static void* GetGlobalHandlerData();
    static GlobalHandlerFn GetGlobalHandler();

    // Posting.
    static void PostWideString(Severity severity, KtUComponent* component, const KtUWChar* message);
    static void PostWideString(Severity severity, KtUComponent* component, int id, void* data,
                               const KtUWChar* message);

    // The process log.
    static void LogUTF8String(const char* text);
    static void SetLogPostWideStringCB(LogPostCB cb);
    static void SetLogDir(const KtUWChar* path);
    static const KtUWChar* GetLogDir();
    static void SetLogFile(const KtUWChar* path);
    static const KtUWChar* GetLogFile();
    static void SetLogFileEnable(int on);
    static int IsLogFileEnable();
    static void SetConsoleEnable(int on);
    static int IsConsoleEnable();
    static void OutputLogBuffer(OutputFn fn, void* data);
    static void ClearLogBuffer();

    // Trace settings.
    static void SetTraceEnable(int on);
    static bool ShouldTrace(int level);
    static void SetTraceLevel(int level);
    static int GetTraceLevel();
    static void SetTraceFlag(int flags);
    static int GetTraceFlag();

    // Crash dumps and exits.
    static void SetDumpOnUnhandledException(const KtUWChar* path, int include_log,
                                            unsigned int dump_type, BeforeDumpFn before,
                                            AfterDumpFn after, ExtraMemoryFn extra_memory);
    static int IsDumpOnUnhandledException();
    static const KtUWChar* DumpPath();
    static void WriteDump(const KtUWChar* path, int include_log, unsigned int dump_type);
    static int ReadDump(const KtUWChar* path, OutputFn fn, void* data);
    static void AbortOnException(void (*fn)(void*), void* data);
    [[noreturn]] static void Abort();
    [[noreturn]] static void ForceExit(int code);
    [[noreturn]] static void ForceCleanExit(int code);
    static void SetForceExitCB(HookFn fn);
    static void SetForceCleanExitCB(HookFn fn);
    static void SetDebugBreakCB(HookFn fn);
    static void RequestDebugBreak();
    static void ConfigureForUnitTests(const KtUWChar* dump_path);

private:
    KtUSysError() = delete;
    static Handler* FindHandler(Severity severity, KtUComponent* component, int id,
                                void*& previous_node);
    static void PostFixed(Severity severity, KtUComponent* component, int id, void* data, int depth,
                          const KtUWChar* message);
    // Component list upkeep for KtUComponent.
    static bool IsRegisteringItself();
    static void LinkComponent(KtUComponent* component);
    static void UnlinkComponent(KtUComponent* component);
    friend class KtUComponent;
};

#endif // KTUTIL_KTUSYSERROR_H

//===- fault.h - Crash signal handlers of the platform layer --------------===//
//
// The unhandled-exception filter of the library: handlers for SIGSEGV, SIGBUS,
// SIGFPE, SIGILL and SIGABRT that run on an alternate signal stack (so a stack
// overflow still reaches them). The handler gets the signal's details; when
// it returns, the previous disposition is restored and the fault continues to
// it, as an exception that a filter declines continues to the next handler.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_SYS_FAULT_H
#define KTUTIL_SYS_FAULT_H

namespace ktu::sys {

/// What is known about a fault when the handler runs.
struct Fault {
    int signal;          ///< which fault (SIGSEGV...)
    int code;            ///< the signal's sub-code (si_code)
    const void* address; ///< the faulting address, where the fault has one
    const void* context; ///< the faulting thread's registers (ucontext_t*)
};

/// Called in signal context: may only make async-signal-safe calls.
/// Returning declines the fault.
using CrashHandler = void (*)(const Fault& fault);

/// Installs handler for the crash signals, remembering the previous actions.
/// Replaces the handler when already installed. Returns false on failure.
bool InstallCrashHandlers(CrashHandler handler);
/// Restores the actions that were in place before InstallCrashHandlers.
void RemoveCrashHandlers();
/// True when installed and every crash signal still runs the library's handler.
bool CrashHandlersIntact();
/// Gives the calling thread an alternate signal stack unless it has one.
void EnsureAltStack();

/// An alternate signal stack for the life of a thread the library starts, so
/// that a stack overflow there still reaches the crash handler (threads do
/// not inherit the creator's). Given back when the scope ends.
class ThreadAltStack {
public:
    ThreadAltStack();
    ~ThreadAltStack();
    ThreadAltStack(const ThreadAltStack&) = delete;
    ThreadAltStack& operator=(const ThreadAltStack&) = delete;

private:
    void* m_stack = nullptr;
};

} // namespace ktu::sys

#endif // KTUTIL_SYS_FAULT_H

//===- fault.h - Crash signal handlers of the platform layer --------------===//
//
// The unhandled-exception filter of the library: handlers for SIGSEGV, SIGBUS,
// SIGFPE, SIGILL and SIGABRT that run on an alternate signal stack (so a stack
// overflow still reaches them). The handler gets the signal's details; when
// it returns, the previous disposition is restored and the fault continues to
// it, as an exception that a filter declines continues to the next handler.
//
// The same handler serves guarded runs: a fault raised by the processor in
// a thread that is inside RunGuarded jumps back to that guard first, and
// only faults outside every guard reach the crash handler. Once a guarded
// run has taken place the signal actions stay installed for the life of the
// process; outside a guard they pass each fault on exactly as before.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_SYS_FAULT_H
#define KTUTIL_SYS_FAULT_H

#include "platform/export.h"

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

/// What ended a guarded run early.
struct GuardedFault {
    int signal = 0;                ///< SIGSEGV, SIGBUS, SIGFPE or SIGILL
    int code = 0;                  ///< the signal's sub-code (si_code)
    const void* address = nullptr; ///< the faulting address
    bool stack_overflow = false;   ///< the fault was the thread running out of stack
};

/// Runs body(arg) so that a SIGSEGV, SIGBUS, SIGFPE or SIGILL raised by the
/// processor inside it jumps back here: the signal mask, the floating-point
/// control state (cleared status flags, the masks saved on entry) and, after
/// a stack overflow, the stack's unused pages are then repaired, *fault (when
/// not null) describes the fault, and the result is false. A body that
/// returns false also gets the floating-point state restored. Frames the
/// fault abandoned do not run destructors. Nests; each thread gets an
/// alternate signal stack on its first run unless it has one, freed when
/// the thread ends. No system call on the way in or out when nothing
/// faults, except a thread's first run.
KTU_INTERNAL_API bool RunGuarded(bool (*body)(void*), void* arg, GuardedFault* fault);
/// True when the calling thread is inside RunGuarded.
KTU_INTERNAL_API bool InGuardedRun();

/// The crash signals' actions at one moment, to put back after code that
/// may have changed them (a plug-in's initialisation). Not thread-safe
/// against other code that changes signal actions meanwhile.
class CrashActionSnapshot {
public:
    KTU_INTERNAL_API CrashActionSnapshot();
    /// Puts back every action that differs from the recorded one; true when
    /// any did.
    KTU_INTERNAL_API bool Restore();

private:
    static constexpr int kSignals = 5;
    static constexpr unsigned kActionBytes = 256;
    alignas(16) unsigned char m_actions[kSignals][kActionBytes];
};

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

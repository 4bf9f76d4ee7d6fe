//===- thread.h - Threads, their priorities and the processor count -------===//
//
// Starting, joining and abandoning threads, at one of seven priorities:
// -3 idle (runs only when nothing else wants the processor), -2 and -1 below
// normal, 0 normal, 1 and 2 above normal, 3 time critical. Lowering is always
// allowed; raising may need a privilege the process lacks, in which case the
// thread runs at normal priority and StartThread says so. Every thread
// started here gets an alternate signal stack, so that a stack overflow in it
// still reaches the crash handler (see fault.h). Also per-thread exit hooks
// and handlers around fork(). Thread-safe.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_THREAD_H
#define KTUTIL_PLATFORM_THREAD_H

namespace ktu::sys {

/// A started thread until it is joined or abandoned.
struct ThreadRecord;

/// Starts fn(arg) on a new thread at the given priority (-3..3). Returns once
/// the thread has applied its priority, as if it had been created suspended,
/// given its priority and resumed. Null when no thread could be started, or
/// when the priority could not be applied (then fn never runs). When raising
/// the priority was refused for lack of privilege, *priority_refused is set
/// and the thread runs at normal priority.
ThreadRecord* StartThread(void (*fn)(void*), void* arg, int priority, bool* priority_refused);
/// Waits until the thread has ended and frees the record. False when the
/// wait failed (the record is freed all the same).
bool JoinThread(ThreadRecord* thread);
/// Gives up a thread that will not be joined: its resources go when it ends.
void AbandonThread(ThreadRecord* thread);
/// Ends the calling thread at once.
[[noreturn]] void ExitThread();

/// Processors available to the process (at least 1).
int ProcessorCount();

/// Per-thread clean-up. NewThreadExitHook registers fn once for the life of
/// the process and returns a hook id (-1 when the system has no more). A
/// thread that gives the hook a non-null value with SetThreadExitValue has
/// fn(value) called when it ends, after its C++ thread_local destructors; the
/// process's main thread returning from main does not end that way. Other
/// exit hooks may still run after fn on the same thread. Thread-safe.
int NewThreadExitHook(void (*fn)(void* value));
bool SetThreadExitValue(int hook, void* value);

/// Handlers around fork(): prepare runs in the forking thread just before the
/// process is copied, parent in the parent and child in the child (which has
/// only the forking thread) just after. Handlers registered later run their
/// prepare first and their parent and child last. False when the system
/// refuses. Thread-safe.
bool AtFork(void (*prepare)(), void (*parent)(), void (*child)());

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_THREAD_H

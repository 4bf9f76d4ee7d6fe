//===- KtUExceptionHandler.h - Host code guarded against processor faults -===//
//
// KtUExceptionHandler runs a piece of host code so that a processor fault
// inside it (an invalid memory access, an integer division by zero, a
// floating-point trap, an illegal instruction, running out of stack) does
// not end the process: Try returns 1 and the failure operation runs.
//
//   class ImportStep : public KtUExceptionHandler {
//   public:
//       void Body() override { m_ok = ReadModel(m_file); }
//       void Failure() override { KtUError::Log("ImportStep: reader crashed\n"); }
//       ...
//   };
//   KtUExceptionHandler::Initialise();
//   ImportStep step(file);
//   if (step.Try()) ...                        // 1: the reader faulted
//
// After a fault the thread's signal mask and floating-point control state
// (exception masks, cleared status flags) are as they were when Try began,
// and another overflow of the stack is caught again. Objects with
// destructors on the abandoned frames are not destroyed: locks they held
// stay held, memory they owned is lost. A C++ exception leaving the body
// counts as a failure too. Faults outside every Try still reach the crash
// handling (crash dumps) as before. Try nests and may run on any thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUEXCEPTIONHANDLER_H
#define KTUTIL_KTUEXCEPTIONHANDLER_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

/// Guards a body of host code against processor faults; derive and call Try.
class KTU_API KtUExceptionHandler {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    KtUExceptionHandler() = default;
    virtual ~KtUExceptionHandler();

    /// The work to guard.
    virtual void Body() = 0;
    /// Called after a fault or an exception ended the body.
    virtual void Failure() = 0;

    /// Runs Body under the guard: 0 when it completed, 1 when a fault or an
    /// exception ended it (Failure has then run).
    int Try();

    /// Non-zero when the calling thread is inside a Try.
    static int IsActiveHandler();

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUEXCEPTIONHANDLER_H

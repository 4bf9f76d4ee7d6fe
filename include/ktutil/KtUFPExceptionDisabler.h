//===- KtUFPExceptionDisabler.h - Floating-point traps off for a scope ----===//
//
// KtUFPExceptionDisabler masks floating-point exceptions on the calling
// thread for the life of the object, so that code that must not trap (on an
// invalid operation, a division by zero...) runs safely, and restores the
// previous masks afterwards:
//
//   {
//       KtUFPExceptionDisabler quiet;            // every exception masked
//       double r = std::sqrt(x);                 // a NaN, never a trap
//   }
//
// The control word uses the library's layout: a set bit masks its exception
// (inexact 0x1, underflow 0x2, overflow 0x4, divide-by-zero 0x8, invalid
// 0x10, denormal operand 0x80000; kMask covers them all).
//
// Thread safety: the control word belongs to the calling thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUFPEXCEPTIONDISABLER_H
#define KTUTIL_KTUFPEXCEPTIONDISABLER_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

/// Masks floating-point exceptions for a scope.
class KTU_API KtUFPExceptionDisabler {
public:
    static constexpr int kMask = 0x8001F;

    /// Saves the control word and masks every exception.
    KtUFPExceptionDisabler();
    /// Saves the control word and sets state's bits under mask.
    KtUFPExceptionDisabler(int state, int mask);
    KtUFPExceptionDisabler(const KtUFPExceptionDisabler&) = delete;
    KtUFPExceptionDisabler& operator=(const KtUFPExceptionDisabler&) = delete;
    /// Clears pending exception flags and restores the saved word.
    ~KtUFPExceptionDisabler();

    /// The calling thread's control word.
    static int GetState();
    /// Sets the bits of state under mask (0: only reads) and returns the
    /// control word then in force. A change the processor refuses is logged.
    static int ControlFP(int state, int mask);

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    unsigned int m_saved;
};

#endif // KTUTIL_KTUFPEXCEPTIONDISABLER_H

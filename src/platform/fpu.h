//===- fpu.h - The calling thread's floating-point exception masks --------===//
//
// The floating-point control word in the library's own layout: the mask
// bits of the five standard exceptions and of the denormal-operand
// exception, a set bit meaning the exception is masked (does not trap):
// inexact 0x1, underflow 0x2, overflow 0x4, divide-by-zero 0x8, invalid 0x10,
// denormal 0x80000. The hardware's control registers are read and written
// behind it (SSE's MXCSR and the x87 control word on x86-64).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_FPU_H
#define KTUTIL_PLATFORM_FPU_H

namespace ktu::sys {

constexpr unsigned kFPExceptionMask = 0x8001F;

/// The calling thread's control word, under kFPExceptionMask.
unsigned GetFPControl();
/// Sets the bits of word under mask (within kFPExceptionMask); false when
/// the hardware refused (errno says why).
bool SetFPControl(unsigned word, unsigned mask);
/// Clears the pending exception flags.
void ClearFPStatus();

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_FPU_H

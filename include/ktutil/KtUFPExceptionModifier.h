//===- KtUFPExceptionModifier.h - Chosen floating-point traps for a scope -===//
//
// KtUFPExceptionModifier masks or unmasks chosen floating-point exceptions
// on the calling thread for the life of the object:
//
//   {
//       KtUFPExceptionModifier trap(0x8 | 0x10, KtUFPExceptionModifier::eTRAP);
//       ...                       // a division by zero or invalid operation traps
//   }                             // the previous masks again
//
// Bits use the layout of KtUFPExceptionDisabler. Bits of 0 change nothing.
//
// Thread safety: the control word belongs to the calling thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUFPEXCEPTIONMODIFIER_H
#define KTUTIL_KTUFPEXCEPTIONMODIFIER_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

/// Masks or unmasks chosen floating-point exceptions for a scope.
class KTU_API KtUFPExceptionModifier {
public:
    /// eTRAP (0) clears the mask bits, so the exceptions trap; any other
    /// value sets them, so the exceptions are masked.
    enum ModificationMode : int { eTRAP = 0, eMASK = 1 };

    KtUFPExceptionModifier(unsigned int bits, ModificationMode mode);
    KtUFPExceptionModifier(const KtUFPExceptionModifier&) = delete;
    KtUFPExceptionModifier& operator=(const KtUFPExceptionModifier&) = delete;
    /// Clears pending exception flags and restores the saved word.
    ~KtUFPExceptionModifier();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    unsigned int m_saved;
};

#endif // KTUTIL_KTUFPEXCEPTIONMODIFIER_H

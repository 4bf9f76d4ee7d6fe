//===- KtUSysCPU.h - The machine's processors, for logs and reports -------===//
//
// KtUSysCPU tells how many processors the machine has, how fast each is and
// what it is called, for support reports and logs:
//
//   KtUSysCPU::Initialise();
//   KtUStringBuffer text;
//   for (int n = 0; n < KtUSysCPU::GetNumProcessors(); ++n)
//       if (KtUSysCPU::GetCPUDescription(n, &text))
//           KtUError::Log("CPU %d: %s, %d MHz\n", n, text.GetString(),
//                         KtUSysCPU::GetCPUSpeed(n));
//
// Processors are the logical ones the kernel lists ("present"), numbered as
// it numbers them. The description is "name (identifier)", or the one of the
// two that is known, in ASCII; the speed is the nominal one where the kernel
// reports it (docs/plugins.md says where each figure comes from).
//
// Thread safety: every function may be called from any thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSCPU_H
#define KTUTIL_KTUSYSCPU_H

#include <ktutil/KtUDefs.h>

class KtUStringBuffer;

/// The machine's processors: count, speed, description (static only).
class KTU_API KtUSysCPU {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    /// The number of processors, or 0 when the system does not say.
    static int GetNumProcessors();
    /// Processor n's speed in MHz, or 0 when it cannot be read.
    static int GetCPUSpeed(int n);
    /// Processor n's description ("name (identifier)", or the name alone when
    /// there is no identifier). 0 (and an empty out) when n is unknown.
    static int GetCPUDescription(int n, KtUStringBuffer* out);
};

#endif // KTUTIL_KTUSYSCPU_H

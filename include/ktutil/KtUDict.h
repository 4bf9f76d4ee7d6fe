//===- KtUDict.h - The dictionaries' component and value converters -------===//
//
// Dictionaries store untyped values; KtUDict converts integers to and from
// them with the 32-bit results the interface has always had:
//
//   dict.Enter("count", KtUDict::ConvertInt32ToVoidPtr(-5));
//   int n = KtUDict::ConvertVoidPtrToInt32(value);          // -5
//   KtUDict::ConvertVoidPtrToInt64(p);  // sign-extends the low 32 bits
//
// Thread safety: the converters are pure functions.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUDICT_H
#define KTUTIL_KTUDICT_H

#include <ktutil/KtUDefs.h>

#include <cstdint>

/// Component of the dictionaries, and integer/void* converters (static only).
class KTU_API KtUDict {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    // Values travel in the low 32 bits of the pointer.
    static void* ConvertNat32ToVoidPtr(unsigned int v) { return Ptr(v); }
    static unsigned int ConvertVoidPtrToNat32(void* p) { return Low(p); }
    static void* ConvertInt32ToVoidPtr(int v) { return Ptr(static_cast<uint32_t>(v)); }
    static int ConvertVoidPtrToInt32(void* p) { return static_cast<int>(Low(p)); }
    /// Keeps the low 32 bits.
    static void* ConvertNat64ToVoidPtr(KtUNat64 v) { return Ptr(static_cast<uint32_t>(v)); }
    static void* ConvertInt64ToVoidPtr(KtUInt64 v) { return Ptr(static_cast<uint32_t>(v)); }
    /// Zero-extends the low 32 bits.
    static KtUNat64 ConvertVoidPtrToNat64(void* p) { return Low(p); }
    /// Sign-extends the low 32 bits.
    static KtUInt64 ConvertVoidPtrToInt64(void* p) { return static_cast<int32_t>(Low(p)); }

private:
    KtUDict() = delete;
    static void* Ptr(uint32_t v) { return reinterpret_cast<void*>(static_cast<uintptr_t>(v)); }
    static uint32_t Low(void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
};

#endif // KTUTIL_KTUDICT_H

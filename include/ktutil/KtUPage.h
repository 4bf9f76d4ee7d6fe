//===- KtUPage.h - The process memory budget and page-out ------------------===//
//
// KtUPage keeps the process within its memory budget. From the physical
// memory the process may use and its free address space it derives a process
// memory limit, a zone (where conserving starts) and a target (where paging
// stops), and the same for the bytes allocated through KtUMemory. When a limit
// is crossed it asks every registered KtUPageOut to release memory, pass after
// pass, until enough has been freed.
//
//   KtUPage::Initialise();
//   KtUPage::AddPageOut(&my_cache);              // a KtUPageOut of the host
//   if (KtUPage::ShouldConserveMemory(KtUPage::eCONSERVE_ABOVE_ZONE)) ...
//   KtUPage::PageOutIfNeeded();                  // pages out past the alloc limit
//   KtUPage::RemovePageOut(&my_cache);
//   KtUPage::Terminate();
//
// While initialised, KtUPage is the memory manager's new handler (unless the
// host installed one first): a failed allocation pages out and is retried.
// Sizes are bytes, 64-bit where a process-wide total can pass 4 GiB; offsets
// and the MB getters are 32-bit.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUPAGE_H
#define KTUTIL_KTUPAGE_H

#include <ktutil/KtUDefs.h>

class KtUPageOut;
class KtUPageOutObserver;
class KtUPageOutProgress;

/// The process memory budget and the page-out loop (static members only).
/// No lock of its own: page-outs run on the allocating thread and hosts
/// serialise paging with their own locks.
class KTU_API KtUPage {
public:
    /// Passed through to page-outs; values other than 0 are the hosts'.
    enum Context : int { eCONTEXT_DEFAULT = 0 };
    /// Passed through to page-outs; eACTION_NO_PAGE_OUT makes
    /// KtUPageFile::Read skip the page-out before reading.
    enum Action : int { eACTION_DEFAULT = 0, eACTION_NO_PAGE_OUT = 6 };
    enum PageOutStatus : int { eNOTHING_DONE = 0, eSUCCESS = 1, eFAILURE = 2 };
    enum ConserveAbove : int {
        eCONSERVE_ABOVE_TARGET = 0,
        eCONSERVE_ABOVE_ZONE = 1,
        eCONSERVE_ABOVE_LIMIT = 2
    };

    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    // The machine and the process.
    static KtUNat64 GetPhysicalMemory();
    static unsigned int GetPhysicalMemoryMB();
    /// Where GetPhysicalMemory came from: "machine", "cgroup memory.max",
    /// "cgroup memory.high" or "cgroup memory.limit_in_bytes".
    static const char* GetPhysicalMemorySource();
    /// The machine's physical memory, before any control-group limit.
    static KtUNat64 GetMachineMemory();
    static KtUNat64 GetVirtualAddressSpace();
    static unsigned int GetVirtualAddressSpaceMB();
    /// Private memory of the process (pages plus swap); 0 when unknown.
    static KtUNat64 GetProcessPrivateMemoryUsage();
    /// Walks the address space, logs the classes in MB and returns the total.
    static KtUNat64 CalcProcessAddressSpaceUsage(KtUNat64* private_bytes, KtUNat64* mapped,
                                                 KtUNat64* image, KtUNat64* reserved,
                                                 KtUNat64* free, KtUNat64* max_contiguous_free);
    /// Recomputes the address-space limit and the process memory limit, and
    /// from them the zones and targets. Call after the address space changed
    /// a lot (for example after loading a plug-in).
    static void CalcDefaultProcessMemoryLimit();
    static void LogMemStats();
    static void LogExpensiveMemStats();

    // Limits.
    /// 0 removes the host's limit.
    static void SetProcessMemoryLimit(KtUNat64 limit);
    static KtUNat64 GetProcessMemoryLimit();
    /// True while the host has set no limit.
    static int IsDefaultProcessMemoryLimit();
    static KtUNat64 GetDefaultProcessMemoryLimit();
    static KtUNat64 GetPhysicalMemoryLimit();
    static KtUNat64 GetAddressSpaceMemoryLimit();
    /// The limit raised to the spare malloc region's worth; 0 when none.
    static KtUNat64 GetMallocOverrideLimit();

    // Zones and targets: value = max(limit * factor, limit - offset). A
    // factor outside (0, 1) or an offset of 0 restores the default.
    static void SetProcessMemoryZoneFactor(double factor);
    static double GetProcessMemoryZoneFactor();
    static void SetProcessMemoryZoneOffset(unsigned int offset);
    static unsigned int GetProcessMemoryZoneOffset();
    static void SetProcessMemoryTargetFactor(double factor);
    static double GetProcessMemoryTargetFactor();
    static void SetProcessMemoryTargetOffset(unsigned int offset);
    static unsigned int GetProcessMemoryTargetOffset();
    static void SetAllocMemoryZoneFactor(double factor);
    static double GetAllocMemoryZoneFactor();
    static void SetAllocMemoryZoneOffset(unsigned int offset);
    static unsigned int GetAllocMemoryZoneOffset();
    static void SetAllocMemoryTargetFactor(double factor);
    static double GetAllocMemoryTargetFactor();
    static void SetAllocMemoryTargetOffset(unsigned int offset);
    static unsigned int GetAllocMemoryTargetOffset();
    static KtUNat64 GetProcessMemoryZone();
    static KtUNat64 GetProcessMemoryTarget();
    /// n > 0 fixes the alloc limit; 0 derives it from the process zone again.
    static void SetAllocMemoryLimit(KtUNat64 limit);
    static KtUNat64 GetAllocMemoryLimit();
    static int IsAllocMemoryLimitExplicit();
    static int IsAllocMemoryLimitAdjusted();
    static KtUNat64 GetAllocMemoryZone();
    static KtUNat64 GetAllocMemoryTarget();

    // Registration. Removing a page-out during a page-out is allowed.
    static void AddPageOut(KtUPageOut* page_out);
    static void RemovePageOut(KtUPageOut* page_out);
    static void AddPageOutObserver(KtUPageOutObserver* observer);
    static void RemovePageOutObserver(KtUPageOutObserver* observer);

    // Decisions.
    static int ShouldConserveMemory(ConserveAbove above);
    static int ShouldConserveAddressSpace();
    /// Runs the page-out passes until the criterion (the hard limit, the
    /// stress test, the alloc limit, else `progress`) is met.
    static PageOutStatus PageOut(Context context, Action action, KtUPageOutProgress* progress);
    static PageOutStatus PageOutIfNeeded();
    /// Non-zero while a page-out runs.
    static int GetPageOutDepth();

    // Flags.
    static int IsOutOfMemory();
    static void SetOutOfMemory();
    static void ClearOutOfMemory();
    static int IsStressTest();
    static void SetStressTest(int on);
    static void SetRecoverMallocRegion(int on);
    static int ShouldRecoverMallocRegion();

    // Page-file corruption text (null when none).
    static const KtUWChar* GetPageFileCorrupt();
    static void SetPageFileCorrupt(const KtUWChar* text);
    static void ClearPageFileCorrupt();

private:
    KtUPage() = delete;
};

#endif // KTUTIL_KTUPAGE_H

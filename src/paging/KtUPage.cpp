//===- KtUPage.cpp - The process memory budget and the page-out loop ------===//
//
// Limits, zones and targets of the process and of the memory manager, the
// decisions built on them (ShouldConserveMemory, PageOutIfNeeded) and the
// page-out passes over the registered KtUPageOut objects. The facts about the
// machine come from platform/membudget.h.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUInt32Vector.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUPage.h>
#include <ktutil/KtUPageOut.h>
#include <ktutil/KtUPageOutObserver.h>
#include <ktutil/KtUPtrVector.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUWideString.h>

#include "foundation/component.h"
#include "paging/page_state.h"
#include "platform/membudget.h"

using ktu::page::AllocMemoryLimitProgress;
using ktu::page::HardMemoryLimitProgress;
using ktu::page::RecoverMallocRegionProgress;
using ktu::page::StressTestProgress;

namespace {

constexpr double kZoneFactor = 0.9;
constexpr double kTargetFactor = 0.8;
constexpr unsigned kProcessZoneOffset = 0xA00000;
constexpr unsigned kProcessTargetOffset = 0x1400000;
constexpr unsigned kAllocZoneOffset = 0x500000;
constexpr unsigned kAllocTargetOffset = 0xA00000;
constexpr int kPasses = 10;

KtUComponent s_component;

struct PageState {
    KtUNat64 machine = 0;
    KtUNat64 physical = 0;
    const char* physical_source = "machine";
    KtUNat64 virtual_space = 0;
    KtUNat64 physical_limit = 0;
    KtUNat64 address_space_limit = 0;
    KtUNat64 external_limit = 0;
    KtUNat64 malloc_override = 0;
    KtUNat64 process_limit = 0;
    double process_zone_factor = kZoneFactor;
    unsigned process_zone_offset = kProcessZoneOffset;
    double process_target_factor = kTargetFactor;
    unsigned process_target_offset = kProcessTargetOffset;
    KtUNat64 process_zone = 0;
    KtUNat64 process_target = 0;
    bool alloc_explicit = false;
    KtUNat64 alloc_limit = 0;
    bool alloc_adjusted = false;
    double alloc_zone_factor = kZoneFactor;
    unsigned alloc_zone_offset = kAllocZoneOffset;
    double alloc_target_factor = kTargetFactor;
    unsigned alloc_target_offset = kAllocTargetOffset;
    KtUNat64 alloc_zone = 0;
    KtUNat64 alloc_target = 0;
    KtUNat64 last_checked = 0;
    int out_of_memory = 0;
    int stress_test = 0;
    int recover_malloc_region = 0;
    int depth = 0;
    KtUPtrVector<KtUPageOut>* page_outs = nullptr;
    KtUInt32Vector* exhausted = nullptr; // per page-out slot during a run
    KtUPtrVector<KtUPageOutObserver>* observers = nullptr;
    KtUWideString* corrupt = nullptr;
    HardMemoryLimitProgress* hard = nullptr;
    AllocMemoryLimitProgress* alloc = nullptr;
    StressTestProgress* stress = nullptr;
    RecoverMallocRegionProgress* recover = nullptr;
    bool own_new_handler = false;
};

PageState s;

int MB(KtUNat64 bytes) {
    return static_cast<int>(bytes >> 20);
}

// max(floor(limit * factor), limit - offset).
KtUNat64 Derive(KtUNat64 limit, double factor, unsigned offset) {
    KtUNat64 value = static_cast<KtUNat64>(static_cast<long double>(limit) * factor);
    if (limit >= offset && limit - offset > value) value = limit - offset;
    return value;
}

void DeriveAlloc() {
    s.alloc_zone = Derive(s.alloc_limit, s.alloc_zone_factor, s.alloc_zone_offset);
    s.alloc_target = Derive(s.alloc_limit, s.alloc_target_factor, s.alloc_target_offset);
}

void DeriveZones() {
    s.process_zone = Derive(s.process_limit, s.process_zone_factor, s.process_zone_offset);
    s.process_target = Derive(s.process_limit, s.process_target_factor, s.process_target_offset);
    if (!s.alloc_explicit) {
        s.alloc_limit = s.process_zone;
        s.alloc_adjusted = false;
    }
    DeriveAlloc();
}

// Lowers the alloc limit to what is allocated now (the adjusted state).
void AdjustAllocLimit() {
    s.alloc_limit = KtUMemory::GetMemoryAllocated();
    DeriveAlloc();
    s.alloc_adjusted = true;
}

KtUNat64 PhysicalLimit(KtUNat64 physical) {
    return physical < 0x8000000 ? physical / 2 : physical - 0x4000000;
}

KtUNat64 PrivateMemory(bool fresh) {
    KtUNat64 bytes = 0;
    int error = 0;
    bool ok =
        fresh ? ktu::sys::ReadPrivateMemory(&bytes, &error)
              : ktu::sys::ReadPrivateMemoryCached(ktu::page::kPrivateMemoryMaxAge, &bytes, &error);
    if (!ok) {
        KtUError::Log("GetProcessMemoryInfo failed, last error is %d\n", error);
        return 0;
    }
    return bytes;
}

// The process-memory check: the hard-limit criterion when the process is
// above its limit, else null; moves the alloc limit as private memory crosses
// the target and the zone.
KtUPageOutProgress* ProcessMemoryCheck() {
    if (s.alloc_explicit) return nullptr;
    KtUNat64 priv = PrivateMemory(false);
    if (priv < s.process_target) {
        s.alloc_limit = s.process_zone;
        s.alloc_adjusted = false;
        DeriveAlloc();
        return nullptr;
    }
    if (priv > s.process_limit) return s.hard;
    if (priv > s.process_zone && !s.alloc_adjusted) AdjustAllocLimit();
    return nullptr;
}

// "Process memory ..." and the observers' figures (LogMemStats without the
// address-space line).
void LogProcessStats() {
    KtUNat64 committed = 0, reserved = 0;
    for (unsigned size = KtUMemory::GetHistogramFirstSize(); size != 0;
         size = KtUMemory::GetHistogramNextSize(size)) {
        committed += KtUMemory::GetHistogramCommittedMemory(size);
        reserved += KtUMemory::GetHistogramReservedMemory(size);
    }
    KtUError::Log("Process memory (MB): %u (limit %u), Alloc memory (MB): %u [%u (%uc, %uv) arena, "
                  "%u malloc, %u region] (limit %u), GDI Objects %u\n",
                  unsigned(MB(PrivateMemory(false))), unsigned(MB(s.process_limit)),
                  unsigned(MB(KtUMemory::GetMemoryAllocated())),
                  unsigned(MB(KtUMemory::GetArenaMemoryAllocated())), unsigned(MB(committed)),
                  unsigned(MB(reserved)), unsigned(MB(KtUMemory::GetMallocMemoryAllocated())),
                  unsigned(MB(KtUMemory::GetRegionMemoryAllocated())), unsigned(MB(s.alloc_limit)),
                  0u);
    if (s.observers)
        for (int i = 0; i < s.observers->Size(); ++i)
            (*s.observers)[i]->LogMemStats();
}

void NotifyFinished() {
    for (int i = 0; i < s.observers->Size(); ++i)
        (*s.observers)[i]->PageOutFinished();
}

template <class T> void Delete(T*& p) {
    delete p;
    p = nullptr;
}

void SetUp() {
    ktu::sys::PhysicalMemoryFacts facts = ktu::sys::ReadPhysicalMemoryFacts();
    s = PageState();
    s.machine = facts.machine;
    s.physical = facts.usable;
    switch (facts.source) {
    case ktu::sys::MemorySource::kMachine:
        s.physical_source = "machine";
        break;
    case ktu::sys::MemorySource::kCgroupMax:
        s.physical_source = "cgroup memory.max";
        break;
    case ktu::sys::MemorySource::kCgroupHigh:
        s.physical_source = "cgroup memory.high";
        break;
    case ktu::sys::MemorySource::kCgroupV1Limit:
        s.physical_source = "cgroup memory.limit_in_bytes";
        break;
    }
    s.virtual_space = ktu::sys::AddressSpaceBytes();
    s.physical_limit = PhysicalLimit(s.physical);
    s.page_outs = new KtUPtrVector<KtUPageOut>;
    s.exhausted = new KtUInt32Vector;
    s.observers = new KtUPtrVector<KtUPageOutObserver>;
    s.hard = new HardMemoryLimitProgress;
    s.alloc = new AllocMemoryLimitProgress;
    s.stress = new StressTestProgress;
    s.recover = new RecoverMallocRegionProgress;
    s.corrupt = new KtUWideString;
    KtUPage::CalcDefaultProcessMemoryLimit();
    if (!KtUMemory::GetNewHandler()) {
        KtUMemory::SetNewHandler(ktu::page::PageOutNewHandler);
        s.own_new_handler = true;
    }
}

bool TearDown() {
    if (s.own_new_handler && KtUMemory::GetNewHandler() == ktu::page::PageOutNewHandler)
        KtUMemory::SetNewHandler(nullptr);
    Delete(s.page_outs);
    Delete(s.exhausted);
    Delete(s.observers);
    Delete(s.hard);
    Delete(s.alloc);
    Delete(s.stress);
    Delete(s.recover);
    Delete(s.corrupt);
    return true;
}

constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUPage",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUError, KtUString>,
    .set_up = SetUp,
    .tear_down = TearDown,
};

} // namespace

KTU_COMPONENT_LIFECYCLE(KtUPage, kComponent)

//===----------------------------------------------------------------------===//
// Criteria
//===----------------------------------------------------------------------===//

int ktu::page::HardMemoryLimitProgress::Test(int expensive_ok) {
    return expensive_ok && PrivateMemory(true) < s.process_zone;
}

int ktu::page::AllocMemoryLimitProgress::Test(int) {
    return KtUMemory::GetMemoryAllocated() < s.alloc_target;
}

int ktu::page::RecoverMallocRegionProgress::Test(int expensive_ok) {
    if (!m_reserved && KtUMemory::ReserveSpareMallocRegion()) {
        KtUNat64 priv = PrivateMemory(true);
        // The heap ran out at about this size once: page out before it again.
        if (priv < s.process_limit) {
            s.malloc_override = priv;
            KtUError::Log("Reserved spare malloc region during page out. Updating hard process "
                          "memory limit to %d MB\n",
                          MB(s.malloc_override));
        } else {
            KtUError::Log("Process private memory usage is higher than current process memory "
                          "limit; not updating malloc region process limit\n");
        }
        m_reserved = true;
    }
    if (!m_reserved) return 0;
    if (!m_inner) return 1;
    return m_inner->ShouldStop(expensive_ok);
}

namespace {
// A failed allocation's criterion: the page-outs freed at least its size.
class FreedBytesProgress : public KtUPageOutProgress {
public:
    explicit FreedBytesProgress(unsigned size)
        : KtUPageOutProgress(1), m_start(KtUMemory::GetMemoryAllocated()), m_size(size) {}
    int Test(int) override { return KtUMemory::GetMemoryAllocated() + m_size <= m_start; }

private:
    KtUNat64 m_start;
    unsigned m_size;
};
} // namespace

int ktu::page::PageOutNewHandler(unsigned int size, int) {
    if (s.depth) return 0;
    FreedBytesProgress freed(size);
    if (KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, &freed) ==
        KtUPage::eSUCCESS)
        return 1;
    // Last resort: give the spare region's address space to the heap and
    // win it back at the next page-out.
    if (KtUMemory::HaveReservedSpareMallocRegion() && KtUMemory::ReleaseSpareMallocRegion()) {
        s.recover_malloc_region = 1;
        return 1;
    }
    return 0;
}

//===----------------------------------------------------------------------===//
// Machine, process and limits
//===----------------------------------------------------------------------===//

KtUNat64 KtUPage::GetPhysicalMemory() {
    return s.physical;
}

unsigned int KtUPage::GetPhysicalMemoryMB() {
    return unsigned(s.physical >> 20);
}

const char* KtUPage::GetPhysicalMemorySource() {
    return s.physical_source;
}

KtUNat64 KtUPage::GetMachineMemory() {
    return s.machine;
}

KtUNat64 KtUPage::GetVirtualAddressSpace() {
    return s.virtual_space;
}

unsigned int KtUPage::GetVirtualAddressSpaceMB() {
    return unsigned(s.virtual_space >> 20);
}

KtUNat64 KtUPage::GetProcessPrivateMemoryUsage() {
    return PrivateMemory(false);
}

KtUNat64 KtUPage::CalcProcessAddressSpaceUsage(KtUNat64* private_bytes, KtUNat64* mapped,
                                               KtUNat64* image, KtUNat64* reserved, KtUNat64* free,
                                               KtUNat64* max_contiguous_free) {
    ktu::sys::AddressSpaceUsage u;
    if (!ktu::sys::ReadAddressSpaceUsage(&u)) u = ktu::sys::AddressSpaceUsage();
    KtUNat64 total = u.private_bytes + u.mapped + u.image + u.reserved + u.free;
    if (private_bytes) *private_bytes = u.private_bytes;
    if (mapped) *mapped = u.mapped;
    if (image) *image = u.image;
    if (reserved) *reserved = u.reserved;
    if (free) *free = u.free;
    if (max_contiguous_free) *max_contiguous_free = u.max_free;
    KtUError::Log("KtUPage::CalcProcessAddressSpaceUsage (MB): private(%d), mapped(%d), image(%d), "
                  "reserved(%d), free(%d), max contiguous free(%d), total(%d)\n",
                  MB(u.private_bytes), MB(u.mapped), MB(u.image), MB(u.reserved), MB(u.free),
                  MB(u.max_free), MB(total));
    return total;
}

void KtUPage::CalcDefaultProcessMemoryLimit() {
    if (!s.page_outs) return; // not initialised
    s.address_space_limit = s.physical_limit;
    KtUNat64 mapped = 0, image = 0;
    KtUNat64 total =
        CalcProcessAddressSpaceUsage(nullptr, &mapped, &image, nullptr, nullptr, nullptr);
    if (total >= s.virtual_space) {
        KtUNat64 keep = mapped + image + 0x10000000;
        s.address_space_limit = total > keep ? total - keep : 0;
    } else {
        // The total is a 64-bit byte count here: %lld prints what %d printed.
        KtUError::Post(KtUSysError::eWARNING, &s_component,
                       "CalcProcessAddressSpaceUsage returned %lld", static_cast<long long>(total));
    }
    LogProcessStats();
    if (s.malloc_override) {
        s.process_limit = s.malloc_override;
        KtUError::Log("KtUPage::CalcDefaultProcessMemoryLimit MallocOverride %d MB (%d Memory, %d "
                      "Address Space)\n",
                      MB(s.process_limit), MB(s.physical_limit), MB(s.address_space_limit));
    } else if (s.external_limit) {
        s.process_limit = s.external_limit;
        KtUError::Log("KtUPage::CalcDefaultProcessMemoryLimit External %d MB (%d Memory, %d "
                      "Address Space)\n",
                      MB(s.process_limit), MB(s.physical_limit), MB(s.address_space_limit));
    } else {
        s.process_limit = GetDefaultProcessMemoryLimit();
        KtUError::Log("KtUPage::CalcDefaultProcessMemoryLimit %d MB (%d Memory, %d Address "
                      "Space)\n",
                      MB(s.process_limit), MB(s.physical_limit), MB(s.address_space_limit));
    }
    DeriveZones();
}

void KtUPage::LogMemStats() {
    CalcProcessAddressSpaceUsage(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    LogProcessStats();
}

void KtUPage::LogExpensiveMemStats() {
    KtUError::Log("Num Heaps=%d\n", 1);
    KtUError::Log("Heap\tRgns\tCmt\tRsv\n");
    KtUNat64 committed = 0, reserved = 0;
    for (unsigned size = KtUMemory::GetHistogramFirstSize(); size != 0;
         size = KtUMemory::GetHistogramNextSize(size)) {
        unsigned region = KtUMemory::GetHistogramRegionSize(size);
        KtUNat64 c = KtUMemory::GetHistogramCommittedMemory(size);
        KtUNat64 r = KtUMemory::GetHistogramReservedMemory(size);
        committed += c;
        reserved += r;
        if (r == 0) continue;
        KtUError::Log("%u\t%u\t%u\t%u\n", size, region ? unsigned(r / region) : 0u,
                      unsigned(c >> 10), unsigned(r >> 10));
    }
    KtUNat64 priv = PrivateMemory(false);
    KtUNat64 heap = KtUMemory::GetMallocMemoryAllocated();
    KtUError::Log("PRC:\t%u KB private\n", unsigned(priv >> 10));
    KtUError::Log("CRT:\t%u KB malloc\n", unsigned(heap >> 10));
    KtUError::Log("TOT:\t%u KB committed, %u KB reserved\n", unsigned((committed + heap) >> 10),
                  unsigned(reserved >> 10));
}

void KtUPage::SetProcessMemoryLimit(KtUNat64 limit) {
    s.external_limit = limit;
    CalcDefaultProcessMemoryLimit();
}

KtUNat64 KtUPage::GetProcessMemoryLimit() {
    return s.process_limit;
}

int KtUPage::IsDefaultProcessMemoryLimit() {
    return s.external_limit == 0;
}

KtUNat64 KtUPage::GetDefaultProcessMemoryLimit() {
    return s.physical_limit < s.address_space_limit ? s.physical_limit : s.address_space_limit;
}

KtUNat64 KtUPage::GetPhysicalMemoryLimit() {
    return s.physical_limit;
}

KtUNat64 KtUPage::GetAddressSpaceMemoryLimit() {
    return s.address_space_limit;
}

KtUNat64 KtUPage::GetMallocOverrideLimit() {
    return s.malloc_override;
}

//===----------------------------------------------------------------------===//
// Zones and targets
//===----------------------------------------------------------------------===//

namespace {
double Factor(double f, double fallback) {
    return f > 0.0 && f < 1.0 ? f : fallback;
}
unsigned Offset(unsigned o, unsigned fallback) {
    return o ? o : fallback;
}
} // namespace

void KtUPage::SetProcessMemoryZoneFactor(double factor) {
    s.process_zone_factor = Factor(factor, kZoneFactor);
    DeriveZones();
}
double KtUPage::GetProcessMemoryZoneFactor() {
    return s.process_zone_factor;
}
void KtUPage::SetProcessMemoryZoneOffset(unsigned int offset) {
    s.process_zone_offset = Offset(offset, kProcessZoneOffset);
    DeriveZones();
}
unsigned int KtUPage::GetProcessMemoryZoneOffset() {
    return s.process_zone_offset;
}
void KtUPage::SetProcessMemoryTargetFactor(double factor) {
    s.process_target_factor = Factor(factor, kTargetFactor);
    DeriveZones();
}
double KtUPage::GetProcessMemoryTargetFactor() {
    return s.process_target_factor;
}
void KtUPage::SetProcessMemoryTargetOffset(unsigned int offset) {
    s.process_target_offset = Offset(offset, kProcessTargetOffset);
    DeriveZones();
}
unsigned int KtUPage::GetProcessMemoryTargetOffset() {
    return s.process_target_offset;
}
void KtUPage::SetAllocMemoryZoneFactor(double factor) {
    s.alloc_zone_factor = Factor(factor, kZoneFactor);
    DeriveZones();
}
double KtUPage::GetAllocMemoryZoneFactor() {
    return s.alloc_zone_factor;
}
void KtUPage::SetAllocMemoryZoneOffset(unsigned int offset) {
    s.alloc_zone_offset = Offset(offset, kAllocZoneOffset);
    DeriveZones();
}
unsigned int KtUPage::GetAllocMemoryZoneOffset() {
    return s.alloc_zone_offset;
}
void KtUPage::SetAllocMemoryTargetFactor(double factor) {
    s.alloc_target_factor = Factor(factor, kTargetFactor);
    DeriveZones();
}
double KtUPage::GetAllocMemoryTargetFactor() {
    return s.alloc_target_factor;
}
void KtUPage::SetAllocMemoryTargetOffset(unsigned int offset) {
    s.alloc_target_offset = Offset(offset, kAllocTargetOffset);
    DeriveZones();
}
unsigned int KtUPage::GetAllocMemoryTargetOffset() {
    return s.alloc_target_offset;
}

KtUNat64 KtUPage::GetProcessMemoryZone() {
    return s.process_zone;
}
KtUNat64 KtUPage::GetProcessMemoryTarget() {
    return s.process_target;
}

void KtUPage::SetAllocMemoryLimit(KtUNat64 limit) {
    s.alloc_explicit = limit > 0;
    if (limit) {
        s.alloc_limit = limit;
        s.alloc_adjusted = false;
    }
    DeriveZones();
}

KtUNat64 KtUPage::GetAllocMemoryLimit() {
    return s.alloc_limit;
}
int KtUPage::IsAllocMemoryLimitExplicit() {
    return s.alloc_explicit;
}
int KtUPage::IsAllocMemoryLimitAdjusted() {
    return s.alloc_adjusted;
}
KtUNat64 KtUPage::GetAllocMemoryZone() {
    return s.alloc_zone;
}
KtUNat64 KtUPage::GetAllocMemoryTarget() {
    return s.alloc_target;
}

//===----------------------------------------------------------------------===//
// Registration
//===----------------------------------------------------------------------===//

void KtUPage::AddPageOut(KtUPageOut* page_out) {
    if (!s.page_outs) return; // not initialised
    s.page_outs->PushBack(page_out);
}

void KtUPage::RemovePageOut(KtUPageOut* page_out) {
    if (!s.page_outs) return; // not initialised
    int i = s.page_outs->Find(page_out);
    if (i < 0) return;
    if (s.depth)
        (*s.page_outs)[i] = nullptr;
    else
        s.page_outs->Erase(s.page_outs->Begin() + i);
}

void KtUPage::AddPageOutObserver(KtUPageOutObserver* observer) {
    if (!s.page_outs) return; // not initialised
    s.observers->PushBack(observer);
}

void KtUPage::RemovePageOutObserver(KtUPageOutObserver* observer) {
    if (!s.page_outs) return; // not initialised
    int i = s.observers->Find(observer);
    if (i >= 0) s.observers->Erase(s.observers->Begin() + i);
}

//===----------------------------------------------------------------------===//
// Decisions and the page-out
//===----------------------------------------------------------------------===//

int KtUPage::ShouldConserveMemory(ConserveAbove above) {
    if (s.stress_test || s.depth) return 1;
    KtUNat64 allocated = KtUMemory::GetMemoryAllocated();
    KtUNat64 moved =
        allocated > s.last_checked ? allocated - s.last_checked : s.last_checked - allocated;
    if (moved > s.alloc_zone_offset) {
        if (ProcessMemoryCheck() == s.hard) {
            s.last_checked = 0;
            return 1;
        }
        s.last_checked = allocated;
    }
    switch (above) {
    case eCONSERVE_ABOVE_TARGET:
        return allocated > s.alloc_target;
    case eCONSERVE_ABOVE_ZONE:
        return allocated > s.alloc_zone;
    case eCONSERVE_ABOVE_LIMIT:
        return allocated > s.alloc_limit;
    }
    return 0;
}

int KtUPage::ShouldConserveAddressSpace() {
    if (s.external_limit) return s.address_space_limit < s.process_limit;
    return s.address_space_limit < s.physical_limit;
}

KtUPage::PageOutStatus KtUPage::PageOutIfNeeded() {
    if (ShouldConserveMemory(eCONSERVE_ABOVE_LIMIT))
        return PageOut(eCONTEXT_DEFAULT, eACTION_DEFAULT, nullptr);
    return eNOTHING_DONE;
}

KtUPage::PageOutStatus KtUPage::PageOut(Context context, Action action,
                                        KtUPageOutProgress* progress) {
    if (s.depth || !s.page_outs) return eNOTHING_DONE;
    if (s.out_of_memory) return eFAILURE;

    KtUPageOutProgress* criterion = ProcessMemoryCheck();
    if (s.stress_test) criterion = s.stress;
    if (!criterion && KtUMemory::GetMemoryAllocated() >= s.alloc_limit) criterion = s.alloc;
    if (!criterion) criterion = progress;
    if (s.recover_malloc_region) {
        s.recover->Wrap(criterion);
        criterion = s.recover;
        KtUError::Log("Need to recover spare malloc region, attemping to page out...\n");
    }
    if (!criterion) {
        NotifyFinished();
        return eNOTHING_DONE;
    }

    int veto = 0;
    for (int i = 0; i < s.observers->Size(); ++i)
        if (int answer = (*s.observers)[i]->PageOutStarting()) veto = answer;
    if (veto) {
        if (veto == eFAILURE) s.out_of_memory = 1;
        NotifyFinished();
        return PageOutStatus(veto);
    }

    ++s.depth;
    criterion->Reset();
    if (criterion == s.recover && s.recover->Inner()) s.recover->Inner()->Reset();
    s.exhausted->Clear();
    s.exhausted->SetSize(s.page_outs->Size());
    for (int i = 0; i < s.exhausted->Size(); ++i)
        (*s.exhausted)[i] = 0;

    PageOutStatus status = eFAILURE;
    bool succeeded = false;
    for (int pass = 0; pass < kPasses && !succeeded; ++pass) {
        bool more = false;
        // Page-outs added during the run join at once; their flags grow here.
        for (int i = 0; i < s.page_outs->Size() && !succeeded; ++i) {
            while (s.exhausted->Size() <= i)
                s.exhausted->PushBack(0);
            KtUPageOut* page_out = (*s.page_outs)[i];
            if (!page_out || (*s.exhausted)[i]) continue;
            if (page_out->PageOut(context, action, 0, pass, criterion))
                (*s.exhausted)[i] = 1;
            else
                more = true;
            if (criterion->IsStopped()) {
                if (!s.alloc_explicit && criterion == s.hard) AdjustAllocLimit();
                if (s.recover_malloc_region) {
                    s.recover_malloc_region = 0;
                    CalcDefaultProcessMemoryLimit();
                }
                KtUError::Log("Page out succeeded after pass %d\n", pass);
                status = eSUCCESS;
                succeeded = true;
            }
        }
        if (!more) break;
    }

    bool failed = false;
    if (!succeeded) {
        if (s.stress_test) {
            status = eSUCCESS;
        } else {
            if (criterion == progress) {
                KtUError::Log("Page out to external criteria failed\n");
            } else {
                KtUError::Log("Page out failed - out of memory\n");
                s.out_of_memory = 1;
            }
            status = eFAILURE;
            failed = true;
        }
    }

    // Slots of page-outs removed during the run.
    for (int i = s.page_outs->Size() - 1; i >= 0; --i)
        if (!(*s.page_outs)[i]) s.page_outs->Erase(s.page_outs->Begin() + i);
    --s.depth;
    ktu::sys::InvalidatePrivateMemoryCache();
    NotifyFinished();
    if (failed) LogMemStats();
    return status;
}

int KtUPage::GetPageOutDepth() {
    return s.depth;
}

//===----------------------------------------------------------------------===//
// Flags and the page-file corruption text
//===----------------------------------------------------------------------===//

int KtUPage::IsOutOfMemory() {
    return s.out_of_memory;
}
void KtUPage::SetOutOfMemory() {
    s.out_of_memory = 1;
}
void KtUPage::ClearOutOfMemory() {
    s.out_of_memory = 0;
}
int KtUPage::IsStressTest() {
    return s.stress_test;
}
void KtUPage::SetStressTest(int on) {
    s.stress_test = on != 0;
}
void KtUPage::SetRecoverMallocRegion(int on) {
    s.recover_malloc_region = on != 0;
}
int KtUPage::ShouldRecoverMallocRegion() {
    return s.recover_malloc_region;
}

const KtUWChar* KtUPage::GetPageFileCorrupt() {
    return s.corrupt ? s.corrupt->GetString() : nullptr;
}

void KtUPage::SetPageFileCorrupt(const KtUWChar* text) {
    KtUError::Log(u"Page file corrupt: %s\n", text);
    if (s.corrupt) s.corrupt->SetString(text);
}

void KtUPage::ClearPageFileCorrupt() {
    if (s.corrupt) *s.corrupt = KtUWideString();
}

//===- membudget.h - Memory budget facts of the process and the machine ---===//
//
// What the paging subsystem needs to know about memory: how much physical
// memory the process may use (the machine's, lowered by the limits of its
// control group), how much private memory it uses now, and how its address
// space is laid out. The parsers of the kernel's texts are separate pure
// functions so that recorded texts can be checked.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_MEMBUDGET_H
#define KTUTIL_PLATFORM_MEMBUDGET_H

#include "platform/export.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace ktu::sys {

/// "No limit" in the limit fields below.
constexpr uint64_t kNoMemoryLimit = UINT64_MAX;

/// Where the physical memory a process may use comes from.
enum class MemorySource { kMachine, kCgroupMax, kCgroupHigh, kCgroupV1Limit };

/// The physical memory facts: the machine's memory, the control group's
/// limits (kNoMemoryLimit when unset or not found) and the smaller of them.
struct PhysicalMemoryFacts {
    uint64_t machine = 0;
    uint64_t cgroup_max = kNoMemoryLimit;
    uint64_t cgroup_high = kNoMemoryLimit;
    uint64_t cgroup_v1_limit = kNoMemoryLimit;
    /// The cgroup whose limit applies (the process's own or an ancestor);
    /// empty when no limit was found.
    std::string cgroup;
    uint64_t usable = 0;
    MemorySource source = MemorySource::kMachine;
};

/// Reads the facts from the machine (sysconf) and the process's control
/// group: cgroup v2 memory.max and memory.high of its own cgroup and each
/// ancestor, else cgroup v1 memory.limit_in_bytes. proc_cgroup and root name
/// the files to read, for tests; pass null for /proc/self/cgroup and
/// /sys/fs/cgroup.
KTU_INTERNAL_API PhysicalMemoryFacts ReadPhysicalMemoryFacts(const char* proc_cgroup = nullptr,
                                                             const char* root = nullptr);

/// The cgroup v2 path ("0::<path>" line) of a /proc/<pid>/cgroup text, or
/// empty when there is none (a v1-only system).
KTU_INTERNAL_API std::string CgroupV2Path(const char* text);
/// The path of the cgroup v1 hierarchy that holds `controller` (a line
/// "<n>:<list with controller>:<path>"), or empty.
KTU_INTERNAL_API std::string CgroupV1Path(const char* text, const char* controller);
/// A memory.max / memory.high / memory.limit_in_bytes text: "max" and values
/// of 2^62 and more (v1's "unlimited") are kNoMemoryLimit, as is anything
/// that is not a number.
KTU_INTERNAL_API uint64_t ParseCgroupMemoryLimit(const char* text);
/// Private_Clean + Private_Dirty + Swap of a smaps_rollup text, in bytes;
/// false when none of them is present.
KTU_INTERNAL_API bool ParseSmapsPrivateBytes(const char* text, uint64_t* bytes);

/// Private memory of the process (private pages plus swap) read now. False
/// when it cannot be read, with the errno value in *error.
KTU_INTERNAL_API bool ReadPrivateMemory(uint64_t* bytes, int* error);
/// The same, answered from a copy when there is one at most max_age_ns old,
/// or at most 20 times as old as reading it took (the kernel walks every
/// resident page: about 13 us per MiB), so that polling costs at most 5% of
/// the time. Thread-safe.
KTU_INTERNAL_API bool ReadPrivateMemoryCached(uint64_t max_age_ns, uint64_t* bytes, int* error);
/// Forgets the cached copy (after memory was freed on purpose).
KTU_INTERNAL_API void InvalidatePrivateMemoryCache();

/// The address space in classes, as the page-out decisions see it.
struct AddressSpaceUsage {
    uint64_t private_bytes = 0; // anonymous or private writable mappings
    uint64_t mapped = 0;        // other file and shared mappings
    uint64_t image = 0;         // the executable and shared libraries
    uint64_t reserved = 0;      // inaccessible (PROT_NONE) mappings
    uint64_t free = 0;          // gaps between mappings
    uint64_t max_free = 0;      // the largest gap
};
/// Size of the user address space the walk covers.
KTU_INTERNAL_API uint64_t AddressSpaceBytes();
/// Walks /proc/self/maps; false when it cannot be read.
KTU_INTERNAL_API bool ReadAddressSpaceUsage(AddressSpaceUsage* usage);

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_MEMBUDGET_H

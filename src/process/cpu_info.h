//===- cpu_info.h - Processor facts from the kernel's texts ---------------===//
//
// Pure functions over the texts of /proc/cpuinfo and /sys/devices/system/cpu,
// so that they can be tried on texts recorded on other machines.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PROCESS_CPU_INFO_H
#define KTUTIL_PROCESS_CPU_INFO_H

#include "platform/export.h"

#include <string>
#include <vector>

namespace ktu::process {

/// One processor of /proc/cpuinfo.
struct CpuRecord {
    int number = -1;        ///< the kernel's processor number
    std::string name;       ///< the model name, empty when the text has none
    std::string identifier; ///< family, model and stepping (or the ARM ids)
    int mhz = 0;            ///< the "cpu MHz" line, rounded; 0 when absent
};

/// The processors of a /proc/cpuinfo text, in text order. Fields that some
/// kernels write once for all processors (outside the per-processor blocks)
/// count for every processor.
KTU_INTERNAL_API std::vector<CpuRecord> ParseCpuInfo(const std::string& text);
/// The number of processors in a kernel CPU list ("0-3,6"); -1 when the
/// text is not one.
KTU_INTERNAL_API int CountCpuList(const std::string& text);
/// A frequency file of cpufreq (kHz) in MHz, rounded; 0 when not a number.
KTU_INTERNAL_API int KhzTextToMhz(const std::string& text);
/// "name (identifier)", the name alone without an identifier, the
/// identifier alone without a name; each character outside printable
/// ASCII becomes "?".
KTU_INTERNAL_API std::string DescribeCpu(const CpuRecord& cpu);

} // namespace ktu::process

#endif // KTUTIL_PROCESS_CPU_INFO_H

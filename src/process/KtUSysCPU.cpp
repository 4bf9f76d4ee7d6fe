//===- KtUSysCPU.cpp - Processor count, speed and description -------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysCPU.h>

#include "foundation/component.h"
#include "process/cpu_info.h"

#include <cstdio>
#include <string>

using namespace ktu::process;

namespace {

KtUComponent s_component;

constexpr const char* kCpuInfo = "/proc/cpuinfo";
constexpr const char* kCpuDir = "/sys/devices/system/cpu";

// A whole small text file of the kernel; empty when it cannot be read.
std::string ReadText(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "re")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() < (4u << 20))
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

bool FindCpu(int n, CpuRecord* out) {
    if (n < 0) return false;
    for (const CpuRecord& cpu : ParseCpuInfo(ReadText(kCpuInfo)))
        if (cpu.number == n) {
            *out = cpu;
            return true;
        }
    return false;
}

} // namespace

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUSysCPU",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUString>,
};
KTU_COMPONENT_LIFECYCLE(KtUSysCPU, kComponent)

int KtUSysCPU::GetNumProcessors() {
    int n = CountCpuList(ReadText(std::string(kCpuDir) + "/present"));
    if (n > 0) return n;
    n = static_cast<int>(ParseCpuInfo(ReadText(kCpuInfo)).size());
    return n > 0 ? n : 0;
}

int KtUSysCPU::GetCPUSpeed(int n) {
    if (n < 0) return 0;
    // The nominal speed where cpufreq gives it, else the highest it allows,
    // else what /proc/cpuinfo last saw.
    const std::string freq = std::string(kCpuDir) + "/cpu" + std::to_string(n) + "/cpufreq/";
    for (const char* file : {"base_frequency", "cpuinfo_max_freq"})
        if (int mhz = KhzTextToMhz(ReadText(freq + file))) return mhz;
    CpuRecord cpu;
    return FindCpu(n, &cpu) ? cpu.mhz : 0;
}

int KtUSysCPU::GetCPUDescription(int n, KtUStringBuffer* out) {
    if (!out) return 0;
    CpuRecord cpu;
    if (!FindCpu(n, &cpu)) {
        out->SetEmptyString();
        return 0;
    }
    out->SetString(DescribeCpu(cpu).c_str());
    return 1;
}

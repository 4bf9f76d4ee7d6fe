//===- cpu_info.cpp - Parsing /proc/cpuinfo and CPU lists -----------------===//
#include "process/cpu_info.h"

#include <cmath>
#include <cstdlib>
#include <map>

namespace ktu::process {

namespace {

using Fields = std::map<std::string, std::string>;

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    return s.substr(b, e - b);
}

bool IsNumber(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

const std::string* Lookup(const Fields& own, const Fields& shared, const char* key) {
    auto it = own.find(key);
    if (it != own.end() && !it->second.empty()) return &it->second;
    it = shared.find(key);
    if (it != shared.end() && !it->second.empty()) return &it->second;
    return nullptr;
}

// Appends " <label> <value>" for each key present.
std::string JoinIds(const Fields& own, const Fields& shared, const char* const (*pairs)[2],
                    size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        const std::string* v = Lookup(own, shared, pairs[i][0]);
        if (!v) continue;
        if (!out.empty()) out += ' ';
        out += pairs[i][1];
        out += ' ';
        out += *v;
    }
    return out;
}

CpuRecord MakeRecord(int number, const Fields& own, const Fields& shared) {
    CpuRecord cpu;
    cpu.number = number;
    // x86 and most kernels: "model name"; 32-bit ARM: "Processor" (often
    // once for all); MIPS: "cpu model". 64-bit ARM kernels give no name.
    for (const char* key : {"model name", "Processor", "cpu model"})
        if (const std::string* v = Lookup(own, shared, key)) {
            cpu.name = *v;
            break;
        }
    static const char* const kX86[][2] = {
        {"cpu family", "Family"}, {"model", "Model"}, {"stepping", "Stepping"}};
    static const char* const kArm[][2] = {{"CPU implementer", "Implementer"},
                                          {"CPU architecture", "Architecture"},
                                          {"CPU variant", "Variant"},
                                          {"CPU part", "Part"},
                                          {"CPU revision", "Revision"}};
    if (Lookup(own, shared, "cpu family")) {
        cpu.identifier = JoinIds(own, shared, kX86, 3);
        if (const std::string* vendor = Lookup(own, shared, "vendor_id"))
            cpu.identifier = *vendor + " " + cpu.identifier;
    } else if (Lookup(own, shared, "CPU implementer")) {
        cpu.identifier = JoinIds(own, shared, kArm, 5);
    }
    if (const std::string* mhz = Lookup(own, shared, "cpu MHz")) {
        char* end = nullptr;
        double v = std::strtod(mhz->c_str(), &end);
        if (end != mhz->c_str() && v > 0 && v < 1e7) cpu.mhz = static_cast<int>(std::lround(v));
    }
    return cpu;
}

} // namespace

std::vector<CpuRecord> ParseCpuInfo(const std::string& text) {
    // Blocks are separated by blank lines; a block with a numeric
    // "processor" line is one processor, the others hold shared fields.
    std::vector<Fields> blocks(1);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (Trim(line).empty()) {
            if (!blocks.back().empty()) blocks.emplace_back();
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = Trim(line.substr(0, colon));
        if (!key.empty()) blocks.back().emplace(key, Trim(line.substr(colon + 1)));
    }
    Fields shared;
    for (const Fields& b : blocks) {
        auto p = b.find("processor");
        bool is_cpu = p != b.end() && IsNumber(p->second);
        for (const auto& [key, value] : b)
            if (!is_cpu || key == "Processor") shared.emplace(key, value);
    }
    std::vector<CpuRecord> cpus;
    for (const Fields& b : blocks) {
        auto p = b.find("processor");
        if (p == b.end() || !IsNumber(p->second)) continue;
        cpus.push_back(MakeRecord(std::atoi(p->second.c_str()), b, shared));
    }
    return cpus;
}

int CountCpuList(const std::string& text) {
    std::string list = Trim(text);
    if (list.empty()) return -1;
    int count = 0;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t comma = list.find(',', pos);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(pos, comma - pos);
        size_t dash = item.find('-');
        std::string first = item.substr(0, dash);
        std::string last = dash == std::string::npos ? first : item.substr(dash + 1);
        if (!IsNumber(first) || !IsNumber(last) || first.size() > 6 || last.size() > 6) return -1;
        int a = std::atoi(first.c_str()), b = std::atoi(last.c_str());
        if (b < a) return -1;
        count += b - a + 1;
        pos = comma + 1;
    }
    return count;
}

int KhzTextToMhz(const std::string& text) {
    std::string t = Trim(text);
    if (!IsNumber(t) || t.size() > 12) return 0;
    return static_cast<int>((std::atoll(t.c_str()) + 500) / 1000);
}

std::string DescribeCpu(const CpuRecord& cpu) {
    std::string text;
    if (!cpu.name.empty() && !cpu.identifier.empty())
        text = cpu.name + " (" + cpu.identifier + ")";
    else
        text = cpu.name.empty() ? cpu.identifier : cpu.name;
    // One "?" per UTF-8 character outside printable ASCII.
    std::string ascii;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x80 && u < 0xC0) continue; // continuation byte
        ascii += (u < 0x20 || u > 0x7E) ? '?' : c;
    }
    return ascii;
}

} // namespace ktu::process

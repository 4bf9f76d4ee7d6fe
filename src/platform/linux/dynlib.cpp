//===- dynlib.cpp - dlopen, dlsym and a reader of ELF dynamic sections ----===//
#include "platform/dynlib.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/stat.h>

namespace ktu::sys {

void* OpenLibrary(const char* path, std::string* error) {
    if (!path || !*path) {
        if (error) *error = "empty library path";
        return nullptr;
    }
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library && error) {
        const char* message = dlerror();
        *error = message ? message : "unknown loader error";
    }
    return library;
}

void* FindLibrarySymbol(void* library, const char* name) {
    return library && name ? dlsym(library, name) : nullptr;
}

bool CloseLibrary(void* library) {
    return library && dlclose(library) == 0;
}

bool IsLibraryLoaded(const char* name) {
    if (!name || !*name) return false;
    void* library = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    if (!library) return false;
    dlclose(library);
    return true;
}

bool IsRegularFile(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// Reads size bytes at offset; false on a short read.
bool ReadAt(std::FILE* file, long offset, void* out, size_t size) {
    return std::fseek(file, offset, SEEK_SET) == 0 && std::fread(out, 1, size, file) == size;
}

} // namespace

bool ReadNeededLibraries(const char* path, std::vector<std::string>* names) {
    names->clear();
    std::FILE* file = path ? std::fopen(path, "rbe") : nullptr;
    if (!file) return false;
    bool ok = false;
    ElfW(Ehdr) header;
    do {
        if (!ReadAt(file, 0, &header, sizeof header) ||
            std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
            header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
            header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum > 4096)
            break;
        std::vector<ElfW(Phdr)> segments(header.e_phnum);
        if (!ReadAt(file, static_cast<long>(header.e_phoff), segments.data(),
                    segments.size() * sizeof(ElfW(Phdr))))
            break;
        // The dynamic section names the string table by its address in
        // memory; the load segments map addresses to file offsets.
        const ElfW(Phdr)* dynamic = nullptr;
        for (const auto& s : segments)
            if (s.p_type == PT_DYNAMIC) dynamic = &s;
        if (!dynamic) {
            ok = true; // a static object needs nothing
            break;
        }
        if (dynamic->p_filesz > (1u << 20)) break;
        std::vector<ElfW(Dyn)> entries(dynamic->p_filesz / sizeof(ElfW(Dyn)));
        if (!ReadAt(file, static_cast<long>(dynamic->p_offset), entries.data(),
                    entries.size() * sizeof(ElfW(Dyn))))
            break;
        ElfW(Addr) strtab = 0;
        ElfW(Xword) strsz = 0;
        for (const auto& e : entries) {
            if (e.d_tag == DT_STRTAB) strtab = e.d_un.d_ptr;
            if (e.d_tag == DT_STRSZ) strsz = e.d_un.d_val;
        }
        long strtab_offset = -1;
        for (const auto& s : segments)
            if (s.p_type == PT_LOAD && strtab >= s.p_vaddr && strtab < s.p_vaddr + s.p_filesz)
                strtab_offset = static_cast<long>(strtab - s.p_vaddr + s.p_offset);
        if (strtab_offset < 0 || strsz == 0 || strsz > (16u << 20)) break;
        std::string strings(strsz, '\0');
        if (!ReadAt(file, strtab_offset, strings.data(), strsz)) break;
        ok = true;
        for (const auto& e : entries) {
            if (e.d_tag == DT_NULL) break;
            if (e.d_tag != DT_NEEDED) continue;
            if (e.d_un.d_val >= strsz) {
                ok = false;
                break;
            }
            names->emplace_back(strings.c_str() + e.d_un.d_val);
        }
    } while (false);
    std::fclose(file);
    if (!ok) names->clear();
    return ok;
}

} // namespace ktu::sys

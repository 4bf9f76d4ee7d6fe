//===- file_checksum.cpp - Checksum of a file's content -------------------===//
#include <ktutil/KtUSysFile.h>

#include "platform/file.h"
#include "system/file_paths.h"

#include <cstdint>
#include <string>

using ktu::system::FsPath;

int KtUSysFile::GetChecksum(const KtUWChar* path, int* checksum) {
    std::string p;
    if (!checksum || !FsPath(path, &p)) return 0;
    ktu::sys::FileHandle fd = ktu::sys::OpenForReading(p.c_str());
    if (fd == ktu::sys::kNoFile) return 0;
    // Adler-32, as the stream checksums; 5552 bytes is the longest run whose
    // sums cannot overflow 32 bits before the modulo.
    constexpr std::uint32_t kMod = 65521;
    std::uint32_t a = 1, b = 0;
    unsigned char buf[5552];
    bool ok = true;
    for (;;) {
        long n = ktu::sys::ReadFile(fd, buf, sizeof buf);
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (long i = 0; i < n; ++i) {
            a += buf[i];
            b += a;
        }
        a %= kMod;
        b %= kMod;
    }
    ktu::sys::CloseFile(fd);
    if (ok) *checksum = static_cast<int>((b << 16) | a);
    return ok;
}

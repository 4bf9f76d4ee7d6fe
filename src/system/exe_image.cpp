//===- exe_image.cpp - Which kind of executable image a file holds --------===//
//
// The image type is read from the file's headers: the "MZ" header, at its
// offset 0x3C the position of the "PE\0\0" signature, then the 20-byte COFF
// file header and the optional header, whose first two bytes (the magic) tell
// 32-bit, 64-bit and ROM images apart. Reading uses the C library's streams.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUError.h>
#include <ktutil/KtUSysFile.h>

#include "platform/file.h"
#include "system/file_paths.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void LogPE(const char* message, const std::string& path) {
    KtUError::Log("KtUSysFile::GetPEImageType() : %s%s\n", message, path.c_str());
}

unsigned int Le16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace

KtUSysFile::PEImageType KtUSysFile::GetPEImageType(const KtUWChar* path) {
    std::string p;
    if (!ktu::system::FsPath(path, &p) || !ktu::sys::PathExists(p.c_str())) {
        LogPE("", path ? p + " doesn't exist." : std::string("(null) doesn't exist."));
        return ePE_FAILURE;
    }
    std::FILE* file = std::fopen(p.c_str(), "rbe");
    if (!file) {
        LogPE("Can't open ", p);
        return ePE_FAILURE;
    }
    PEImageType type = ePE_FAILURE;
    unsigned char dos[64];
    unsigned char sig[4];
    // The COFF file header (20 bytes) and the 224-byte optional header are read
    // as one; its first two bytes past the file header are the magic.
    unsigned char nt[20 + 224];
    if (std::fread(dos, 1, sizeof dos, file) != sizeof dos) {
        LogPE("Can't read DOS header from ", p);
    } else if (Le16(dos) != 0x5A4D) { // "MZ"
        LogPE("Not a DOS file: ", p);
    } else if (std::fseek(file, static_cast<long>(Le32(dos + 0x3C)), SEEK_SET) != 0 ||
               std::fread(sig, 1, sizeof sig, file) != sizeof sig) {
        LogPE("Can't read PE signature from ", p);
    } else if (std::memcmp(sig, "PE\0\0", 4) != 0) {
        LogPE("Not a PE file: ", p);
    } else if (std::fread(nt, 1, sizeof nt, file) != sizeof nt) {
        LogPE("Can't read optional header from ", p);
    } else {
        switch (Le16(nt + 20)) {
        case 0x10B:
            type = ePE_32BIT;
            break;
        case 0x20B:
            type = ePE_64BIT;
            break;
        case 0x107:
            type = ePE_ROM;
            break;
        default:
            LogPE("Unknown PE image type found in ", p);
            type = ePE_UNKNOWN;
            break;
        }
    }
    std::fclose(file);
    return type;
}

//===- text_convert_simd.h - Block kernels of the UTF-8/UTF-16 conversions ===//
//
// SSSE3 kernels for the conversions of text_convert.cpp, used when the
// processor has SSSE3 (Ssse3()). Each converts one block or says it cannot,
// so the caller's scalar path keeps every rule and every failure.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_TEXT_CONVERT_SIMD_H
#define KTUTIL_TEXT_CONVERT_SIMD_H

#include <ktutil/KtUDefs.h>

#include <cstddef>

namespace ktu::text::simd {

/// Whether the processor runs the kernels below (read once).
bool Ssse3();

/// Decodes UTF-8 at s (at a character start; 17 bytes readable) whose block
/// holds only one- and two-byte forms, or a run of three-byte forms. Writes
/// at most 16 units at out and returns the bytes consumed (*units gets the
/// units written); 0 when the block does not fit either shape, or holds a
/// form the library rejects.
size_t DecodeBlock(const unsigned char* s, KtUWChar* out, size_t* units);

/// Encodes 8 units as UTF-8 at out; writes up to 28 bytes beyond the result
/// (the caller keeps 12 more units after the 8). Returns the bytes of the 8.
size_t Encode8(const KtUWChar* src, char* out);

} // namespace ktu::text::simd

#endif // KTUTIL_TEXT_CONVERT_SIMD_H

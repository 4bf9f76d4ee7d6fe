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

/// Whether the processor runs the kernels below (SSSE3 and POPCNT; read once).
bool Ssse3();

/// Decodes UTF-8 from s (at a character start; len bytes readable) for as
/// long as whole blocks are ASCII, one- and two-byte forms, or runs of
/// three-byte forms. Returns the bytes consumed (0 when the first block fits
/// no shape or holds a form the library rejects) and the units written in
/// *units; writes at most len units at out.
size_t DecodeRun(const unsigned char* s, size_t len, KtUWChar* out, size_t* units);

/// Encodes 8 units as UTF-8 at out; writes up to 28 bytes beyond the result
/// (the caller keeps 12 more units after the 8). Returns the bytes of the 8.
size_t Encode8(const KtUWChar* src, char* out);

} // namespace ktu::text::simd

#endif // KTUTIL_TEXT_CONVERT_SIMD_H

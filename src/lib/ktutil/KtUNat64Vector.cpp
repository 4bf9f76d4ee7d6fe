//===- KtUNat64Vector.cpp - Vector of unsigned 64-bit integers ------------===//
#include <ktutil/KtUNat64Vector.h>

#include "vector_impl.h"

template class KtUBasicVector<KtUNat64>;

//===- KtUNat64Vector.cpp - Vector of unsigned 64-bit integers ------------===//
#include <ktutil/KtUNat64Vector.h>

#include "containers/vector_impl.h"

template class KtUBasicVector<KtUNat64>;

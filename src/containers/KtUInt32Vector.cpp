//===- KtUInt32Vector.cpp - Vector of 32-bit integers ---------------------===//
#include <ktutil/KtUInt32Vector.h>

#include "containers/vector_impl.h"

template class KtUBasicVector<int>;

//===- KtUFloatVector.cpp - Vector of 32-bit floats -----------------------===//
#include <ktutil/KtUFloatVector.h>

#include "vector_impl.h"

template class KtUBasicVector<float>;

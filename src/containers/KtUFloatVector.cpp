//===- KtUFloatVector.cpp - Vector of 32-bit floats -----------------------===//
#include <ktutil/KtUFloatVector.h>

#include "containers/vector_impl.h"

template class KtUBasicVector<float>;

//===- KtUVoidPtrVector.cpp - Vector of untyped pointers ------------------===//
#include <ktutil/KtUVoidPtrVector.h>

#include "vector_impl.h"

template class KtUBasicVector<void*>;

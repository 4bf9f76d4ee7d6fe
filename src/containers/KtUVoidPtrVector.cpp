//===- KtUVoidPtrVector.cpp - Vector of untyped pointers ------------------===//
#include <ktutil/KtUVoidPtrVector.h>

#include "containers/vector_impl.h"

template class KtUBasicVector<void*>;

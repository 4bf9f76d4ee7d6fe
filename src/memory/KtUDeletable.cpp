//===- KtUDeletable.cpp - Root of objects deleted through a base pointer --===//
#include <ktutil/KtUDeletable.h>

// Out of line so that the class's virtual table lives in the library.
KtUDeletable::~KtUDeletable() = default;

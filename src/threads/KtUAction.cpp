//===- KtUAction.cpp - A unit of work for an action queue -----------------===//
#include <ktutil/KtUAction.h>

// Out of line so that the virtual tables live in the library.
KtUAction::~KtUAction() = default;
void KtUAction::CancelAction() {}

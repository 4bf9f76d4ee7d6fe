//===- KtUAutoLocaleOverride.cpp - Scoped locale and floating-point guards -===//
#include <ktutil/KtUAutoLocaleOverride.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUFPExceptionDisabler.h>
#include <ktutil/KtUFPExceptionModifier.h>

#include "platform/fpu.h"
#include "platform/locale.h"

#include <cerrno>

KtUAutoLocaleOverride::KtUAutoLocaleOverride(int category, const char* locale)
    : m_category(category), m_saved(ktu::sys::GetProcessLocale(category)) {
    ktu::sys::SetProcessLocale(category, locale);
}

KtUAutoLocaleOverride::~KtUAutoLocaleOverride() {
    if (m_saved.GetString()) ktu::sys::SetProcessLocale(m_category, m_saved.GetString());
}

// --- Floating-point control ---------------------------------------------------------

int KtUFPExceptionDisabler::GetState() {
    return static_cast<int>(ktu::sys::GetFPControl());
}

int KtUFPExceptionDisabler::ControlFP(int state, int mask) {
    if (mask && !ktu::sys::SetFPControl(static_cast<unsigned>(state), static_cast<unsigned>(mask)))
        KtUError::Log("KtUFPExceptionDisabler::ControlFP - error # %d setting state %x mask %x\n",
                      errno, static_cast<unsigned>(state), static_cast<unsigned>(mask));
    return GetState();
}

KtUFPExceptionDisabler::KtUFPExceptionDisabler() : KtUFPExceptionDisabler(kMask, kMask) {}

KtUFPExceptionDisabler::KtUFPExceptionDisabler(int state, int mask)
    : m_saved(ktu::sys::GetFPControl()) {
    ControlFP(state, mask);
}

KtUFPExceptionDisabler::~KtUFPExceptionDisabler() {
    ktu::sys::ClearFPStatus();
    ControlFP(static_cast<int>(m_saved), kMask);
}

KtUFPExceptionModifier::KtUFPExceptionModifier(unsigned int bits, ModificationMode mode)
    : m_saved(ktu::sys::GetFPControl()) {
    if (!bits) return;
    ktu::sys::ClearFPStatus();
    const unsigned word = mode != eTRAP ? m_saved | bits : m_saved & ~bits;
    KtUFPExceptionDisabler::ControlFP(static_cast<int>(word), KtUFPExceptionDisabler::kMask);
}

KtUFPExceptionModifier::~KtUFPExceptionModifier() {
    ktu::sys::ClearFPStatus();
    KtUFPExceptionDisabler::ControlFP(static_cast<int>(m_saved), KtUFPExceptionDisabler::kMask);
}

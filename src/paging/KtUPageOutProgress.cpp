//===- KtUPageOutProgress.cpp - Page-out criteria and host interfaces -----===//
#include <ktutil/KtUPageOut.h>
#include <ktutil/KtUPageOutObserver.h>
#include <ktutil/KtUPageOutProgress.h>

KtUPageOutProgress::~KtUPageOutProgress() = default;

int KtUPageOutProgress::ShouldStop(int expensive_ok) {
    if (m_stopped) return 1;
    m_stopped = Test(expensive_ok) ? 1 : 0;
    return m_stopped;
}

KtUPageOut::~KtUPageOut() = default;

KtUPageOutObserver::~KtUPageOutObserver() = default;

void KtUPageOutObserver::LogMemStats() {}

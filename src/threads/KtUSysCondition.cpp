//===- KtUSysCondition.cpp - Operating-system wake-up signal --------------===//
#include <ktutil/KtUSysCondition.h>

#include "platform/event.h"

#include <new>

using ktu::sys::Event;

int KtUSysCondition::Create() {
    if (m_event || ktu::sys::CreationRefusedForTest()) return 0;
    auto* event = new (std::nothrow) Event(false, true);
    if (!event || !event->IsValid()) {
        delete event;
        return 0;
    }
    m_event = event;
    return 1;
}

int KtUSysCondition::Destroy() {
    if (!m_event) return 0;
    delete static_cast<Event*>(m_event);
    m_event = nullptr;
    return 1;
}

int KtUSysCondition::Signal() {
    if (!m_event) return 0;
    static_cast<Event*>(m_event)->Set();
    return 1;
}

int KtUSysCondition::Wait(KtUSysLock& lock) {
    if (!m_event || !lock.Unlock()) return 0;
    bool ok = static_cast<Event*>(m_event)->Wait();
    return lock.Lock() && ok;
}

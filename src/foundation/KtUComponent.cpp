//===- KtUComponent.cpp - Registration record of a service class ----------===//
#include <ktutil/KtUComponent.h>

#include "foundation/component.h"
#include "platform/text.h"

#include <cstring>

static const KtUWChar kDuplicateMessage[] = u"Component with name already registered.";

// Writes "<verb><name>" and, when there is info, " (<info>)\n".
static void LogRegistration(const char* verb, const char* name, const char* info) {
    KtUSysError::LogUTF8String(verb);
    KtUSysError::LogUTF8String(name);
    if (info) {
        KtUSysError::LogUTF8String(" (");
        KtUSysError::LogUTF8String(info);
        KtUSysError::LogUTF8String(")\n");
    }
}

int KtUComponent::Initialise(const char* name, const char* info) {
    if (m_init_count != 0) {
        ++m_init_count;
        return 0;
    }
    if (!KtUSysError::IsRegisteringItself()) {
        LogRegistration("Init: ", name, info);
        if (KtUSysError::FindComponent(name))
            KtUSysError::PostWideString(KtUSysError::eERROR, this, kDuplicateMessage);
    }
    m_name = name;
    m_info = info;
    KtUSysError::LinkComponent(this);
    m_init_count = 1;
    return 1;
}

int KtUComponent::Terminate() {
    if (m_init_count == 0) return 0;
    if (--m_init_count > 0) return 0;
    LogRegistration("Term: ", m_name, m_info);
    DeleteHandlers();
    KtUSysError::UnlinkComponent(this);
    return 1;
}

int KtUComponent::DeleteHandlers() {
    m_any_handler = nullptr;
    for (auto& handler : m_severity_handlers)
        handler = nullptr;
    while (IdHandler* node = m_id_handlers) {
        m_id_handlers = node->next;
        delete node;
    }
    return 1;
}

int KtUComponent::IsName(const char* name) const {
    if (!m_name || !name) return m_name == name;
    return strcoll_l(m_name, name, ktu::sys::DefaultLocale()) == 0;
}

bool ktu::detail::InitialiseComponent(const ComponentDecl& decl) {
    if (!decl.component.Initialise(decl.name, decl.info)) return false;
    if (decl.still_set_up && decl.still_set_up()) return true;
    for (const Need& need : decl.needs)
        need.initialise();
    if (decl.set_up) decl.set_up();
    return true;
}

bool ktu::detail::TerminateComponent(const ComponentDecl& decl) {
    if (!decl.component.Terminate()) return false;
    if (decl.tear_down && !decl.tear_down()) return true;
    for (auto need = decl.needs.rbegin(); need != decl.needs.rend(); ++need)
        need->terminate();
    return true;
}

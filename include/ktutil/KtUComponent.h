//===- KtUComponent.h - Registration record of a service class ------------===//
//
// Every service class owns one static KtUComponent and nests its lifecycle
// through it:
//
//   static KtUComponent s_component;
//   void KtUFoo::Initialise() {
//       if (s_component.Initialise("KtUFoo", "KtUFoo.cpp 0.1")) {
//           KtUBar::Initialise();   // dependencies first
//           ...                     // then KtUFoo's own state
//       }
//   }
//   void KtUFoo::Terminate() {
//       if (s_component.Terminate()) { ...; KtUBar::Terminate(); }
//   }
//
// The first Initialise registers the component in the process-wide list (in
// order of first initialisation) and logs "Init: <name>"; the matching last
// Terminate unregisters it and logs "Term: <name>". Components also carry the
// error handlers registered for them (see KtUSysError).
//
// Components sit below the memory manager (which has one of its own), so a
// component is a static object and has no allocation operators of its own.
//
// Thread safety: components are initialised and terminated from one thread
// at a time; a zero-initialised static component needs no constructor to run.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUCOMPONENT_H
#define KTUTIL_KTUCOMPONENT_H

#include <ktutil/KtUSysError.h>

/// A named, reference-counted registration record of a service class.
class KTU_API KtUComponent {
public:
    constexpr KtUComponent() = default;

    /// Returns 1 on the first (registering) call, 0 on nested calls.
    int Initialise(const char* name, const char* info);
    /// Returns 1 on the call that ends the registration, 0 otherwise.
    int Terminate();

    int IsInitialised() const { return m_init_count; }
    const char* GetName() const { return m_name; }
    const char* GetInfo() const { return m_info; }
    KtUComponent* GetNext() const { return m_next; }
    KtUComponent* GetPrev() const { return m_prev; }

private:
    /// One handler registered for an error id of this component.
    struct IdHandler {
        IdHandler* next;
        int id;
        KtUSysError::Handler handler;
    };

    int DeleteHandlers();
    int IsName(const char* name) const;

    const char* m_name = nullptr;
    const char* m_info = nullptr;
    int m_init_count = 0;
    KtUComponent* m_next = nullptr;
    KtUComponent* m_prev = nullptr;
    KtUSysError::Handler m_any_handler = nullptr;
    KtUSysError::Handler m_severity_handlers[6] = {};
    IdHandler* m_id_handlers = nullptr;

    friend class KtUSysError;
};

#endif // KTUTIL_KTUCOMPONENT_H

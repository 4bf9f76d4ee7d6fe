//===- component.h - A service class's component, declared once -----------===//
//
// A service class declares its component once: the record, the name, the
// info string (its source file and the library version), the components it
// needs and, when it has state of its own, how to set it up and tear it
// down. Initialise, Terminate and IsInitialised follow from the declaration:
//
//   static KtUComponent s_component;
//   static constexpr ktu::detail::ComponentDecl kComponent{
//       .component = s_component, .name = "KtUVector", .info = KTU_COMPONENT_INFO,
//       .needs = ktu::detail::Needs<KtUSysError, KtUMemory>};
//   KTU_COMPONENT_LIFECYCLE(KtUVector, kComponent)
//
// The registering Initialise initialises the needed components in the order
// listed and then runs set_up; the Terminate that ends the registration runs
// tear_down and then terminates the needed components in reverse order.
// Nested calls only count.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_FOUNDATION_COMPONENT_H
#define KTUTIL_FOUNDATION_COMPONENT_H

#include <ktutil/KtUComponent.h>

#include "platform/export.h"

#include <array>
#include <span>

/// The info string of a component declared in this file: "<file> <version>",
/// the version being the project's, set once by the build.
#define KTU_COMPONENT_INFO __FILE_NAME__ " " KTU_VERSION_STRING

/// Defines Class::Initialise, Terminate and IsInitialised from decl.
#define KTU_COMPONENT_LIFECYCLE(Class, decl)                                                       \
    void Class::Initialise() {                                                                     \
        ::ktu::detail::InitialiseComponent(decl);                                                  \
    }                                                                                              \
    void Class::Terminate() {                                                                      \
        ::ktu::detail::TerminateComponent(decl);                                                   \
    }                                                                                              \
    int Class::IsInitialised() {                                                                   \
        return (decl).component.IsInitialised();                                                   \
    }

namespace ktu::detail {

/// A component that another one needs, by its class's lifecycle functions.
struct Need {
    void (*initialise)();
    void (*terminate)();
};

template <class... Classes>
inline constexpr std::array<Need, sizeof...(Classes)> kNeedList{
    {{&Classes::Initialise, &Classes::Terminate}...}};

/// The components a class needs, in the order they are initialised.
template <class... Classes> inline constexpr std::span<const Need> Needs{kNeedList<Classes...>};

struct ComponentDecl {
    KtUComponent& component;
    const char* name;
    const char* info;
    std::span<const Need> needs = {};
    /// Sets up the component's own state once its needs are initialised.
    void (*set_up)() = nullptr;
    /// Releases the component's own state before its needs are terminated.
    /// Returning false keeps the state, and the hold on the needs, in place.
    bool (*tear_down)() = nullptr;
    /// For state that a declining tear_down kept: while this returns true a
    /// new registration reuses it and neither initialises the needs nor
    /// runs set_up again.
    bool (*still_set_up)() = nullptr;
};

/// The Initialise of a declared component; true on the registering call.
KTU_INTERNAL_API bool InitialiseComponent(const ComponentDecl& decl);
/// The Terminate of a declared component; true on the call that ends the
/// registration.
KTU_INTERNAL_API bool TerminateComponent(const ComponentDecl& decl);

} // namespace ktu::detail

#endif // KTUTIL_FOUNDATION_COMPONENT_H

//===- KtUDict.cpp - The dictionaries' component --------------------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUDict.h>
#include <ktutil/KtUString.h>

static KtUComponent s_component;

void KtUDict::Initialise() {
    if (s_component.Initialise("KtUDict", "KtUDict.cpp " KTU_VERSION_STRING))
        KtUString::Initialise();
}

void KtUDict::Terminate() {
    if (s_component.Terminate()) KtUString::Terminate();
}

int KtUDict::IsInitialised() {
    return s_component.IsInitialised();
}

//===- KtUVector.cpp - Component of the vector classes --------------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUVector.h>

static KtUComponent s_component;

void KtUVector::Initialise() {
    if (s_component.Initialise("KtUVector", "KtUVector.cpp " KTU_VERSION_STRING)) {
        KtUSysError::Initialise();
        KtUMemory::Initialise();
    }
}

void KtUVector::Terminate() {
    if (s_component.Terminate()) {
        KtUMemory::Terminate();
        KtUSysError::Terminate();
    }
}

int KtUVector::IsInitialised() {
    return s_component.IsInitialised();
}

KtUComponent* KtUVector::GetComponent() {
    return &s_component;
}

void KtUVector::ReportBadArgument(const KtUWChar* message) {
    KtUSysError::PostWideString(KtUSysError::ePRECONDITION, &s_component, message);
}

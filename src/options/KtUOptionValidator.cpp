//===- KtUOptionValidator.cpp - The library's option validators -----------===//
#include <ktutil/KtUData.h>
#include <ktutil/KtUOptAlwaysDisabled.h>
#include <ktutil/KtUOptCompositeValidator.h>
#include <ktutil/KtUOptFloatRangeValidator.h>
#include <ktutil/KtUOptInt32RangeValidator.h>
#include <ktutil/KtUOptNonemptyStringValidator.h>
#include <ktutil/KtUOptSwigValidator.h>
#include <ktutil/KtUOptValueEnabler.h>
#include <ktutil/KtUOption.h>
#include <ktutil/KtUOptionSet.h>
#include <ktutil/KtUOptionValidator.h>

KtUOptionValidator::~KtUOptionValidator() = default;

int KtUOptionValidator::IsDisabled(KtUOptionSet*, int, KtUData*) {
    return 0;
}

int KtUOptionValidator::GetRange(KtUOptionSet*, int, KtUData*, KtUData*) {
    return 0;
}

int KtUOptionValidator::IsValidValue(KtUOptionSet*, int, const KtUData&, KtUWideStringBuffer*) {
    return 1;
}

int KtUOptFloatRangeValidator::GetRange(KtUOptionSet*, int, KtUData* min, KtUData* max) {
    if (min) min->SetFloat(m_min);
    if (max) max->SetFloat(m_max);
    return 1;
}

int KtUOptFloatRangeValidator::IsValidValue(KtUOptionSet*, int, const KtUData& value,
                                            KtUWideStringBuffer*) {
    if (!value.IsAnyFloat()) return 0;
    double v = value.GetAnyFloat();
    return m_min <= v && v <= m_max; // false for NaN
}

int KtUOptInt32RangeValidator::GetRange(KtUOptionSet*, int, KtUData* min, KtUData* max) {
    if (min) min->SetInt32(m_min);
    if (max) max->SetInt32(m_max);
    return 1;
}

int KtUOptInt32RangeValidator::IsValidValue(KtUOptionSet*, int, const KtUData& value,
                                            KtUWideStringBuffer*) {
    return value.IsInt32() && m_min <= value.GetInt32() && value.GetInt32() <= m_max;
}

int KtUOptNonemptyStringValidator::IsValidValue(KtUOptionSet*, int, const KtUData& value,
                                                KtUWideStringBuffer*) {
    if (value.IsWideString()) return value.GetWideString() && value.GetWideString()[0] != 0;
    if (value.IsString()) return value.GetString() && value.GetString()[0] != 0;
    return 0;
}

int KtUOptAlwaysDisabled::IsDisabled(KtUOptionSet*, int, KtUData*) {
    return 1;
}

KtUOptCompositeValidator::KtUOptCompositeValidator(KtUOptionValidator* first,
                                                   KtUOptionValidator* second) {
    AddValidator(first);
    AddValidator(second);
}

void KtUOptCompositeValidator::AddValidator(KtUOptionValidator* validator) {
    if (validator) m_validators.PushBack(validator);
}

int KtUOptCompositeValidator::IsDisabled(KtUOptionSet* set, int index, KtUData* value) {
    for (int i = 0; i < m_validators.Size(); ++i)
        if (m_validators[i]->IsDisabled(set, index, value)) return 1;
    return 0;
}

int KtUOptCompositeValidator::GetRange(KtUOptionSet* set, int index, KtUData* min, KtUData* max) {
    for (int i = 0; i < m_validators.Size(); ++i)
        if (m_validators[i]->GetRange(set, index, min, max)) return 1;
    return 0;
}

int KtUOptCompositeValidator::IsValidValue(KtUOptionSet* set, int index, const KtUData& value,
                                           KtUWideStringBuffer* message) {
    for (int i = 0; i < m_validators.Size(); ++i)
        if (!m_validators[i]->IsValidValue(set, index, value, message)) return 0;
    return 1;
}

// The binding's base answers are the neutral ones; the overrides exist so
// that a binding sees all three as its own virtual functions.
int KtUOptSwigValidator::IsDisabled(KtUOptionSet* set, int index, KtUData* value) {
    return KtUOptionValidator::IsDisabled(set, index, value);
}

int KtUOptSwigValidator::GetRange(KtUOptionSet* set, int index, KtUData* min, KtUData* max) {
    return KtUOptionValidator::GetRange(set, index, min, max);
}

int KtUOptSwigValidator::IsValidValue(KtUOptionSet* set, int index, const KtUData& value,
                                      KtUWideStringBuffer* message) {
    return KtUOptionValidator::IsValidValue(set, index, value, message);
}

int KtUOptValueEnabler::IsDisabled(KtUOptionSet* set, int, KtUData*) {
    KtUData current;
    if (m_local) {
        if (set) set->GetData(m_path.GetString(), &current);
    } else {
        KtUOption::GetData(m_path.GetString(), &current); // takes the option lock
    }
    return current != m_value;
}

//===- KtUOptionData.cpp - One entry of an option set ---------------------===//
#include <ktutil/KtUOptionData.h>
#include <ktutil/KtUOptionValidator.h>

KtUOptionData::KtUOptionData(const char* name, const KtUData& data) : m_name(name), m_data(data) {}

KtUOptionData::KtUOptionData(const KtUOptionData& other)
    : m_name(other.m_name), m_className(other.m_className), m_flags(other.m_flags),
      m_userFlags(other.m_userFlags), m_profile(other.m_profile), m_data(other.m_data) {
    SetValidator(other.m_validator);
    m_subOptions = other.m_subOptions;
    if (m_subOptions) m_subOptions->Ref();
}

KtUOptionData& KtUOptionData::operator=(const KtUOptionData& other) {
    // New references first, so that assigning a record to itself (or to a
    // record sharing its set) never drops the last one in between.
    SetValidator(other.m_validator);
    KtUOptionSet* set = other.m_subOptions;
    if (set) set->Ref();
    if (m_subOptions) m_subOptions->Unref();
    m_subOptions = set;
    if (this != &other) {
        m_name = other.m_name;
        m_className = other.m_className;
        m_data = other.m_data;
    }
    m_flags = other.m_flags;
    m_userFlags = other.m_userFlags;
    m_profile = other.m_profile;
    return *this;
}

KtUOptionData::~KtUOptionData() {
    if (m_validator) m_validator->Unref();
    if (m_subOptions) m_subOptions->Unref();
}

int KtUOptionData::operator==(const KtUOptionData& other) const {
    return m_name == other.m_name && m_className == other.m_className && m_flags == other.m_flags &&
           m_userFlags == other.m_userFlags && m_profile == other.m_profile &&
           m_subOptions == other.m_subOptions && m_data == other.m_data;
}

void KtUOptionData::SetValidator(KtUOptionValidator* validator) {
    if (validator) validator->Ref();
    if (m_validator) m_validator->Unref();
    m_validator = validator;
}

void KtUOptionData::SetSubOptions(KtUOptionSet* set) {
    if (set) set->Ref();
    if (m_subOptions) m_subOptions->Unref();
    m_subOptions = set;
    m_data.Clear();
}

void KtUOptionData::SetData(const KtUData& value) {
    if (m_subOptions) {
        KtUOptionSet* set = m_subOptions;
        m_subOptions = nullptr;
        set->Unref();
    }
    m_data = value;
}

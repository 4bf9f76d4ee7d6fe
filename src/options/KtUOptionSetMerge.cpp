//===- KtUOptionSetMerge.cpp - Merging, copying, comparing option trees ---===//
#include <ktutil/KtUExOptionSet.h>
#include <ktutil/KtUOptionData.h>
#include <ktutil/KtUOptionSet.h>

namespace {

bool IsArray(KtUOptionSet* set) {
    return set && (set->GetMyFlags() & KtUOptionSet::eMY_ARRAY) != 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Merging
// ---------------------------------------------------------------------------

KtUOptionSet::MergeStatus KtUOptionSet::SetValues(KtUOptionSet* src, unsigned flags) {
    return Merge(src, flags, false);
}

KtUOptionSet::MergeStatus KtUOptionSet::Unite(KtUOptionSet* src, unsigned flags) {
    return Merge(src, flags, true);
}

KtUOptionSet::MergeStatus KtUOptionSet::SetValue(int index, KtUOptionSet* src, int srcIndex,
                                                 unsigned flags) {
    return MergeEntry(index, src, srcIndex, flags, false);
}

KtUOptionSet::MergeStatus KtUOptionSet::Merge(KtUOptionSet* src, unsigned flags, bool unite) {
    if (!src || src == this) return 0;
    MergeStatus status = 0;
    int insertAt = 0; // one past the last matched entry
    int count = src->GetNumOptions();
    for (int s = 0; s < count; ++s) {
        int d = FindOption(src->GetName(s));
        if (d >= 0) {
            status |= MergeEntry(d, src, s, flags, unite);
            insertAt = d + 1;
            continue;
        }
        if (!unite) continue;
        auto* ex = dynamic_cast<KtUExOptionSet*>(this);
        KtUOptionData* copy = ex ? src->CopyOption(s) : nullptr;
        if (!copy) {
            status |= eMS_CANNOT_ADD;
            continue;
        }
        ex->InsertOptionOwn(insertAt++, copy);
    }
    return status;
}

bool KtUOptionSet::ReplaceByCopy(int index, KtUOptionSet* src, int srcIndex) {
    auto* ex = dynamic_cast<KtUExOptionSet*>(this);
    KtUOptionData* copy = ex ? src->CopyOption(srcIndex) : nullptr;
    if (!copy) return false;
    ex->ReplaceOptionOwn(index, copy);
    return true;
}

KtUOptionSet::MergeStatus KtUOptionSet::MergeEntry(int index, KtUOptionSet* src, int srcIndex,
                                                   unsigned flags, bool unite) {
    KtUOptionSet* dSub = GetSubOptions(index);
    KtUOptionSet* sSub = src->GetSubOptions(srcIndex);
    bool dArray = IsArray(dSub), sArray = IsArray(sSub);
    if (dSub && sSub && !dArray && !sArray) return dSub->Merge(sSub, flags, unite);
    if (dSub && sSub && dArray && sArray) {
        MergeStatus status = MergeValues(index, src, srcIndex, flags);
        if (status && unite)
            return ReplaceByCopy(index, src, srcIndex) ? 0u : unsigned(eMS_CANNOT_REPLACE);
        return status;
    }
    if (dSub || sSub) { // set against value, or array against ordinary set
        if (!unite) return eMS_STRUCTURE_DIFFERS;
        return ReplaceByCopy(index, src, srcIndex) ? 0u : unsigned(eMS_CANNOT_REPLACE);
    }
    return MergeValues(index, src, srcIndex, flags);
}

KtUOptionSet::MergeStatus KtUOptionSet::MergeValues(int index, KtUOptionSet* src, int srcIndex,
                                                    unsigned flags) {
    unsigned mine = GetUserFlags(index);
    unsigned theirs = src->GetUserFlags(srcIndex);
    if (flags) {
        if ((flags & eMERGE_SKIP_MARKED) && (mine & eUSER_MARK)) return 0;
        if ((flags & eMERGE_ONLY_MARKED) && !(theirs & eUSER_MARK)) return 0;
    }
    KtUData value, srcValue;
    KtUOptionSet* dArray = GetValue(index, &value);
    KtUOptionSet* sArray = src->GetValue(srcIndex, &srcValue);

    unsigned result = mine;
    if (flags & eMERGE_DEFAULT_KEEP_EQUAL) {
        if (theirs & eUSER_DEFAULT) {
            result |= eUSER_DEFAULT;
        } else if (mine & eUSER_DEFAULT) {
            bool equal = dArray ? dArray->IsEqualValues(sArray) != 0 : value == srcValue;
            if (!equal) result &= ~eUSER_DEFAULT;
        }
    } else if (flags & eMERGE_DEFAULT_COPY) {
        result = (result & ~eUSER_DEFAULT) | (theirs & eUSER_DEFAULT);
    }
    if (flags & eMERGE_MARK_COPY) result = (result & ~eUSER_MARK) | (theirs & eUSER_MARK);

    MergeStatus status = 0;
    if (dArray) {
        int have = dArray->GetNumOptions(), want = sArray->GetNumOptions();
        while (have > want) {
            if (!dArray->ArrayRemove(have - 1)) {
                status |= eMS_NOT_SHRUNK;
                break;
            }
            --have;
        }
        while (have < want) {
            if (!dArray->ArrayInsert(have)) {
                status |= eMS_NOT_GROWN;
                break;
            }
            ++have;
        }
        int common = have < want ? have : want;
        for (int i = 0; i < common; ++i)
            status |=
                dArray->MergeEntry(i, sArray, i, eMERGE_DEFAULT_COPY | eMERGE_MARK_COPY, false);
    } else if (!SetValue(index, srcValue, nullptr)) {
        status |= eMS_VALUE_NOT_SET;
    }
    // After the copy, so that the flags asked for win over SetValue's.
    if (flags) SetUserFlags(index, result);
    return status;
}

// ---------------------------------------------------------------------------
// Copying and comparing
// ---------------------------------------------------------------------------

KtUOptionData* KtUOptionSet::CopyOption(int index) {
    auto* record = new KtUOptionData;
    if (!record) return nullptr;
    record->SetName(GetName(index));
    record->SetClassName(GetClassName(index));
    record->SetFlags(GetFlags(index));
    record->SetUserFlags(GetUserFlags(index));
    record->SetProfile(GetProfile(index));
    KtUData value;
    if (KtUOptionSet* sub = GetValue(index, &value)) {
        KtUExOptionSet* copy = sub->Copy(0);
        if (!copy) {
            delete record;
            return nullptr;
        }
        record->SetSubOptions(copy);
    } else {
        record->SetData(value);
    }
    return record;
}

namespace {

// Whether entry index of set passes every bit of a Copy filter.
bool PassesFilter(KtUOptionSet* set, int index, unsigned filter) {
    using S = KtUOptionSet;
    unsigned user = set->GetUserFlags(index);
    bool isDefault = (user & S::eUSER_DEFAULT) != 0, marked = (user & S::eUSER_MARK) != 0;
    bool isSet = set->GetSubOptions(index) != nullptr;
    bool flagged = isSet && (set->GetFlags(index) & S::eFLAG_SET_IS_OPTION) != 0;
    bool unflagged = isSet && !flagged;
    if ((filter & S::eCOPY_DEFAULT_ONLY) && !isDefault) return false;
    if ((filter & S::eCOPY_NON_DEFAULT_ONLY) && isDefault) return false;
    if ((filter & S::eCOPY_MARKED_ONLY) && !marked) return false;
    if ((filter & S::eCOPY_UNMARKED_ONLY) && marked) return false;
    if ((filter & S::eCOPY_UNFLAGGED_SETS_ONLY) && !unflagged) return false;
    if ((filter & S::eCOPY_NO_UNFLAGGED_SETS) && unflagged) return false;
    if ((filter & S::eCOPY_FLAGGED_SETS_ONLY) && !flagged) return false;
    if ((filter & S::eCOPY_NO_FLAGGED_SETS) && flagged) return false;
    if ((filter & S::eCOPY_NO_SETS) && isSet) return false;
    if ((filter & S::eCOPY_NO_VALUES) && !isSet) return false;
    return true;
}

} // namespace

KtUExOptionSet* KtUOptionSet::Copy(unsigned filter) {
    auto* copy = new KtUExOptionSet;
    if (!copy) return nullptr;
    copy->SetMyFlags(GetMyFlags());
    int count = GetNumOptions();
    for (int i = 0; i < count; ++i) {
        if (!PassesFilter(this, i, filter)) continue;
        KtUOptionData* record = CopyOption(i);
        if (!record) { // out of memory: no half copy
            delete copy;
            return nullptr;
        }
        copy->AddOptionOwn(record);
    }
    return copy;
}

int KtUOptionSet::IsEqualValues(KtUOptionSet* other) {
    if (!other) return 0;
    if (other == this) return 1;
    int count = GetNumOptions();
    if (count != other->GetNumOptions()) return 0;
    for (int i = 0; i < count; ++i) {
        KtUData mine, theirs;
        KtUOptionSet* a = GetValue(i, &mine);
        KtUOptionSet* b = other->GetValue(i, &theirs);
        if ((a == nullptr) != (b == nullptr)) return 0;
        if (a ? !a->IsEqualValues(b) : mine != theirs) return 0;
    }
    return 1;
}

void KtUOptionSet::SetDefaultOnAll(int on) {
    if (GetMyFlags() & eMY_ARRAY) return;
    int count = GetNumOptions();
    for (int i = 0; i < count; ++i) {
        unsigned user = GetUserFlags(i);
        SetUserFlags(i, on ? user | eUSER_DEFAULT : user & ~eUSER_DEFAULT);
        if (KtUOptionSet* sub = GetSubOptions(i)) sub->SetDefaultOnAll(on);
    }
}

// ---------------------------------------------------------------------------
// Profiles and arrays
// ---------------------------------------------------------------------------

int KtUOptionSet::HasOptionsForProfile(Profile profile) {
    unsigned mine = GetMyFlags();
    if (mine & eMY_ARRAY) return 1;
    int count = GetNumOptions();
    for (int i = 0; i < count; ++i) {
        bool option = !GetSubOptions(i) || (GetFlags(i) & eFLAG_SET_IS_OPTION);
        if (option && GetProfile(i) <= profile) return 1;
    }
    return (mine & eMY_CUSTOM_OPTION) ? 1 : 0;
}

int KtUOptionSet::HasSubOptionsForProfile(Profile profile) {
    if (GetMyFlags() & eMY_ARRAY) return 0;
    int count = GetNumOptions();
    for (int i = 0; i < count; ++i) {
        KtUOptionSet* sub = GetSubOptions(i);
        if (!sub || (GetFlags(i) & eFLAG_SET_IS_OPTION)) continue;
        if (sub->HasOptionsForProfile(profile) || sub->HasSubOptionsForProfile(profile)) return 1;
    }
    return 0;
}

int KtUOptionSet::ArrayInsert(int index) {
    return (GetMyFlags() & eMY_ARRAY) ? IArrayInsert(index) : 0;
}

int KtUOptionSet::ArrayRemove(int index) {
    return (GetMyFlags() & eMY_ARRAY) ? IArrayRemove(index) : 0;
}

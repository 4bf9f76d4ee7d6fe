//===- KtUOptionSetIterator.cpp - Depth-first walk over an option tree ----===//
#include <ktutil/KtUOptionSetIterator.h>

KtUOptionSetWalk::KtUOptionSetWalk(KtUOptionSet* root, int step) : m_step(step) {
    if (!root) return;
    m_sets.PushBack(root);
    m_indices.PushBack(step > 0 ? 0 : root->GetNumOptions() - 1);
    Settle(step);
}

bool KtUOptionSetWalk::operator==(const KtUOptionSetWalk& other) const {
    int depth = m_sets.Size();
    if (depth != other.m_sets.Size()) return false;
    for (int i = 0; i < depth; ++i)
        if (m_sets[i] != other.m_sets[i] || m_indices[i] != other.m_indices[i]) return false;
    return true;
}

void KtUOptionSetWalk::Move(int step) {
    int depth = m_sets.Size();
    if (depth == 0) return; // at the end, and staying there
    int direction = step * m_step;
    m_indices[depth - 1] += direction;
    Settle(direction);
}

// From the top position, goes in direction (+1/-1) to the next value entry:
// into nested sets from their near end, out of exhausted ones.
void KtUOptionSetWalk::Settle(int direction) {
    while (int depth = m_sets.Size()) {
        KtUOptionSet* set = m_sets[depth - 1];
        int index = m_indices[depth - 1];
        if (index < 0 || index >= set->GetNumOptions()) {
            m_sets.PopBack();
            m_indices.PopBack();
            if (depth > 1) m_indices[depth - 2] += direction;
            continue;
        }
        if (KtUOptionSet* sub = set->GetSubOptions(index)) {
            m_sets.PushBack(sub);
            m_indices.PushBack(direction > 0 ? 0 : sub->GetNumOptions() - 1);
            continue;
        }
        m_current = KtUOptionWrapper(set, index);
        return;
    }
    m_current = KtUOptionWrapper();
}

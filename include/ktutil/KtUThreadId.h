//===- KtUThreadId.h - Identifier of a thread -----------------------------===//
//
//   if (KtUThread::Self() == KtUThread::Main()) ...
//
// The system's thread id (the kernel's tid), compared by value.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUTHREADID_H
#define KTUTIL_KTUTHREADID_H

#include <ktutil/KtUMemory.h>

/// A thread's system id; a plain value, safe to copy between threads.
class KtUThreadId {
public:
    constexpr KtUThreadId() = default;
    constexpr explicit KtUThreadId(unsigned int id) : m_id(id) {}
    unsigned int GetValue() const { return m_id; }
    bool operator==(const KtUThreadId& other) const { return m_id == other.m_id; }
    bool operator!=(const KtUThreadId& other) const { return m_id != other.m_id; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    unsigned int m_id = 0;
};

#endif // KTUTIL_KTUTHREADID_H

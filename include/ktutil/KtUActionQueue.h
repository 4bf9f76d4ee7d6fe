//===- KtUActionQueue.h - Worker threads running queued actions -----------===//
//
// KtUActionQueue runs KtUAction objects on a fixed set of worker threads. The
// queue is bounded; finished actions come back to the owner's thread only
// through ProcessResults:
//
//   KtUActionQueue queue(50, 2, 0);         // 50 places, 2 workers
//   queue.AddAction(new LoadPart(id), 1, KtUActionQueue::eADD_FAIL_IF_FULL);
//   ...
//   queue.ProcessResults();                 // each finished action's
//                                           // ProcessResult, on this thread
//   {
//       KtUActionQueueLock edit(&queue, KtUActionQueue::eCANCEL_AND_WAIT);
//       queue.EditQueue()->...;             // workers are idle meanwhile
//   }
//
// In auto-delete mode the workers delete finished actions themselves.
//
// Thread safety: AddAction, ProcessResults, Clear and edit locks are the
// owner thread's; actions execute on the workers.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUACTIONQUEUE_H
#define KTUTIL_KTUACTIONQUEUE_H

#include <ktutil/KtUAction.h>
#include <ktutil/KtUActionQueueStatusCB.h>
#include <ktutil/KtUPtrVector.h>

class KtUActionQueueLock;

/// Bounded FIFO of actions run by worker threads.
class KTU_API KtUActionQueue {
public:
    enum EWaitType : int {
        eWAIT_FOR_RUNNING = 0, ///< wait until running actions finish
        eCANCEL_AND_WAIT = 1,  ///< cancel running actions, then wait
        eDO_NOT_WAIT = 2,      ///< lock at once
    };
    enum EAddActionType : int {
        eADD_FAIL_IF_FULL = 0,
        eADD_WAIT_FOR_SPACE = 1,
        eADD_ALWAYS = 2, ///< any other value: add without checking for space
    };

    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    explicit KtUActionQueue(int max_queue_size = 50, int num_threads = 1, int auto_delete = 0);
    /// A new, empty queue with the same size, thread count and mode.
    KtUActionQueue(const KtUActionQueue& other);
    /// Makes this queue what a copy of other would be: it is cleared as by
    /// destruction (running actions cancelled and waited for, queued and
    /// finished ones deleted), its workers stop, and it restarts empty with
    /// other's size, thread count and mode and no status callback. Not while
    /// edit-locked. Assigning a queue to itself changes nothing.
    KtUActionQueue& operator=(const KtUActionQueue& other);
    virtual ~KtUActionQueue();

    /// Queues action (the queue owns it from then on); 0 when refused.
    int AddAction(KtUAction* action, int process_results, EAddActionType type);
    /// Hands finished actions to their ProcessResult; 1 when there were any.
    int ProcessResults();
    /// Cancels and waits for running actions, deletes queued and finished ones.
    void Clear();
    int IsEmpty() const;
    const KtUAction* GetCurrentAction(int thread) const;
    int GetMaxQueueSize() const { return m_max_queue_size; }
    int GetNumThreads() const { return m_num_threads; }
    int IsAutoDeleteMode() const { return m_auto_delete; }
    void SetStatusCB(KtUActionQueueStatusCB* cb);
    /// The pending actions and the finished ones; valid while edit-locked.
    KtUPtrVector<KtUAction>* EditQueue() { return &m_queue; }
    KtUPtrVector<KtUAction>* EditResults() { return &m_results; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    friend class KtUActionQueueLock;
    struct State;

    void Start();
    void Stop();
    void ReportLoad(int percent);
    static void WorkerMain(void* queue);
    void Work(int index);

    KtUPtrVector<KtUAction> m_queue;
    KtUPtrVector<KtUAction> m_results;
    int m_last_load = -1;
    KtUActionQueueStatusCB* m_status_cb = nullptr;
    int m_max_queue_size;
    int m_num_threads;
    int m_start_index = 0;
    KtUActionQueueLock* m_holder = nullptr;
    mutable int m_empty_cached = 0;
    int m_auto_delete;
    State* m_state; // threads, events and the lock
};

#endif // KTUTIL_KTUACTIONQUEUE_H

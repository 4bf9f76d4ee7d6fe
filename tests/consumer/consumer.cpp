// Uses the installed headers and library the way a host does: one class or
// more from every subsystem, built against the installed package only.
#include <ktutil/KtUActionQueue.h>
#include <ktutil/KtUBitArray.h>
#include <ktutil/KtUData.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUFastArena.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUOption.h>
#include <ktutil/KtUOwnPtrVector.h>
#include <ktutil/KtUStrVoidPtrDict.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUSysFile.h>
#include <ktutil/KtUThread.h>
#include <ktutil/KtUVersion.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("consumer: %s FAILED\n", what);
        ++failures;
    }
}

struct Square : KtUAction {
    explicit Square(int v) : value(v) {}
    void Execute(int) override { value *= value; }
    int ProcessResult() override {
        total += value;
        return 1;
    }
    int value;
    static inline int total = 0;
};

void Count(void* counter) {
    static_cast<std::atomic<int>*>(counter)->fetch_add(1);
}

} // namespace

int StreamExamples();
int DataExamples();
int OptionExamples();

int main() {
    KtUMemory::Initialise();
    KtUString::Initialise();
    KtUActionQueue::Initialise();
    KtUSysFile::Initialise();
    // The localised strings under names and values cache the user's folders
    // in KtUSysFile until it terminates: fill that cache now.
    KtUData::Initialise();
    KtUData::Terminate();
    KtUOption::Initialise();
    KtUOption::Terminate();
    // Blocks the components hold themselves; nothing else may stay
    // allocated at the end.
    const KtUNat64 baseline = KtUMemory::GetArenaMemoryAllocated();

    // memory
    void* block = KtUMemory::AllocEx(100, KtUMemory::Alignment(8), 0);
    std::memset(block, 0, 100);
    KtUMemory::Dealloc(block, 100, KtUMemory::Alignment(8));
    {
        KtUFastArena arena(24, 8);
        void* p = arena.Alloc();
        arena.Dealloc(p);
    }
    // text and foundation
    {
        KtUStringBuffer text;
        text.Format("%s %d", "items:", 3);
        Check(std::strcmp(text.GetString(), "items: 3") == 0, "KtUStringBuffer::Format");
    }
    // containers
    {
        KtUStrVoidPtrDict dict;
        dict.Enter("a", reinterpret_cast<void*>(1));
        Check(dict.Size() == 1, "KtUStrVoidPtrDict");
        KtUOwnPtrVector<KtUString> strings;
        strings.PushBackOwn(new KtUString("owned"));
        Check(strings.Size() == 1, "KtUOwnPtrVector");
        KtUBitArray bits(33);
        bits.SetAll();
        Check(bits.GetNumSet() == 33, "KtUBitArray");
    }
    // threads
    {
        KtUActionQueue queue(8, 2, 0);
        for (int i = 1; i <= 3; ++i)
            queue.AddAction(new Square(i), 1, KtUActionQueue::eADD_WAIT_FOR_SPACE);
        while (!queue.IsEmpty() || Square::total != 14)
            queue.ProcessResults();
        Check(Square::total == 14, "KtUActionQueue");
        std::atomic<int> counter{0};
        KtUThread thread;
        thread.Create(Count, &counter, 0);
        thread.WaitForCompletion();
        Check(counter == 1, "KtUThread");
    }
    // system
    {
        KtUWideStringBuffer joined;
        KtUSysFile::PushPathW(u"/tmp", u"model.dat", &joined);
        Check(joined.GetString() && std::char_traits<char16_t>::compare(joined.GetString(),
                                                                        u"/tmp/model.dat", 15) == 0,
              "KtUSysFile::PushPathW");
    }

    // stream: the stream headers' own examples
    Check(StreamExamples() == 0, "stream header examples");
    // data: names and values, as their headers show them
    Check(DataExamples() == 0, "name and value header examples");
    // options: sets, validators and the process-wide trees
    Check(OptionExamples() == 0, "option header examples");

    bool clean = KtUMemory::GetArenaMemoryAllocated() == baseline;
    Check(clean, "no block left allocated");
    // After the check: KtUError keeps its scratch buffers for the next line.
    KtUError::Log("consumer: %d checks failed\n", failures);
    KtUSysFile::Terminate();
    KtUActionQueue::Terminate();
    KtUString::Terminate();
    KtUMemory::Terminate();
    std::printf("consumer against ktutil %s: %s\n", KtUGetVersion(), failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}

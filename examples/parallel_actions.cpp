// parallel_actions: work on worker threads with an action queue. Each action
// counts the words of one text on a worker; its result is collected on the
// main thread by ProcessResults.
//
//   build/examples/parallel_actions
#include <ktutil/KtUActionQueue.h>
#include <ktutil/KtUString.h>

#include <cstdio>

namespace {

int s_total_words = 0;

class CountWords : public KtUAction {
public:
    explicit CountWords(const char* text) : m_text(text) {}

    // On a worker thread: only this action's own data is touched.
    void Execute(int) override {
        bool in_word = false;
        for (const char* p = m_text.GetString(); *p; ++p) {
            bool letter = *p != ' ';
            if (letter && !in_word) ++m_words;
            in_word = letter;
        }
    }
    // On the thread that calls ProcessResults; 1 lets the queue delete us.
    int ProcessResult() override {
        s_total_words += m_words;
        return 1;
    }

private:
    KtUString m_text;
    int m_words = 0;
};

} // namespace

int main() {
    KtUActionQueue::Initialise();
    KtUString::Initialise();
    const char* texts[] = {"a pump with two valves", "the housing", "flange bolt nut washer",
                           "one"};
    {
        KtUActionQueue queue(2, 2, 0); // two places, two workers
        for (const char* text : texts) // blocks while both places are taken
            queue.AddAction(new CountWords(text), 1, KtUActionQueue::eADD_WAIT_FOR_SPACE);
        while (!queue.IsEmpty())
            queue.ProcessResults();
        queue.ProcessResults();
    }
    std::printf("%d words in %d texts\n", s_total_words, int(sizeof texts / sizeof texts[0]));
    KtUString::Terminate();
    KtUActionQueue::Terminate();
    return s_total_words == 12 ? 0 : 1;
}

//===- fault.cpp - Crash signal handlers and guarded runs -----------------===//
#include "platform/fault.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fenv.h>
#include <mutex>
#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace ktu::sys {

static const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof kCrashSignals / sizeof kCrashSignals[0];

static struct sigaction g_previous[kSignalCount];
static std::atomic<CrashHandler> g_handler{nullptr};
static bool g_installed = false;
// Set by the first guarded run: the actions then stay installed.
static std::atomic<bool> g_guards_used{false};
static std::mutex g_install_lock;

namespace {

// One RunGuarded on the calling thread's stack.
struct GuardFrame {
    sigjmp_buf jump;
    GuardFrame* outer;
    sigset_t mask; // the mask at the fault, put back after the jump
    GuardedFault fault;
#if defined(__x86_64__) || defined(__i386__)
    unsigned short x87_control;
    unsigned int mxcsr;
#else
    fenv_t fenv;
#endif
};

// The calling thread's guards. Plain data, so that reaching it costs no
// initialisation check; ready says the rest was set up.
struct ThreadGuard {
    GuardFrame* top;
    uintptr_t stack_low; // lowest usable address of the thread's stack
    bool ready;
};

__thread ThreadGuard t_guard __attribute__((tls_model("initial-exec")));

int SignalIndex(int sig) {
    for (int i = 0; i < kSignalCount; ++i)
        if (kCrashSignals[i] == sig) return i;
    return -1;
}

// A fault a few pages either side of the stack's lowest address is the
// thread running out of stack: the guard page of a thread's stack, or the
// gap the kernel keeps below the main thread's growing stack (1 MiB).
bool IsStackOverflow(int sig, const void* address, uintptr_t low) {
    if (sig != SIGSEGV || !low) return false;
    const uintptr_t a = reinterpret_cast<uintptr_t>(address);
    return a + (256u << 10) >= low && a < low + (1u << 20) + (64u << 10);
}

} // namespace

static void OnCrashSignal(int sig, siginfo_t* info, void* ucontext) {
    // A fault the processor raised (si_code > 0) inside a guard goes back to
    // it. Signals sent by kill() or raise(), and SIGABRT, never do.
    if (sig != SIGABRT && info && info->si_code > 0) {
        if (GuardFrame* frame = t_guard.top) {
            t_guard.top = frame->outer;
            frame->fault.signal = sig;
            frame->fault.code = info->si_code;
            frame->fault.address = info->si_addr;
            frame->fault.stack_overflow = IsStackOverflow(sig, info->si_addr, t_guard.stack_low);
            if (ucontext)
                frame->mask = static_cast<const ucontext_t*>(ucontext)->uc_sigmask;
            else
                pthread_sigmask(SIG_SETMASK, nullptr, &frame->mask);
            siglongjmp(frame->jump, 1);
        }
    }
    if (CrashHandler handler = g_handler.load())
        handler(Fault{sig, info ? info->si_code : 0, info ? info->si_addr : nullptr, ucontext});
    // Declined: hand the fault to whoever had it before us. A fault raised by
    // an instruction repeats on return; one sent by a process is sent again.
    int index = SignalIndex(sig);
    if (index >= 0)
        sigaction(sig, &g_previous[index], nullptr);
    else
        signal(sig, SIG_DFL);
    if (info && info->si_code <= 0) raise(sig);
}

namespace {

constexpr size_t kAltStackSize = 64 * 1024;

// Installs a new alternate stack, large enough for the dump writer, unless
// the thread has one. Returns its memory, or null.
void* NewAltStack() {
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return nullptr;
    size_t size = kAltStackSize;
    if (size < static_cast<size_t>(SIGSTKSZ)) size = SIGSTKSZ;
    stack_t alt{};
    alt.ss_sp = std::malloc(size);
    alt.ss_size = size;
    if (alt.ss_sp && sigaltstack(&alt, nullptr) != 0) {
        std::free(alt.ss_sp);
        return nullptr;
    }
    return alt.ss_sp;
}

void FreeAltStack(void* stack) {
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    if (sigaltstack(&off, nullptr) == 0) std::free(stack);
}

// Needs g_install_lock.
bool InstallActionsLocked() {
    if (g_installed) return true;
    EnsureAltStack();
    struct sigaction action {};
    action.sa_sigaction = OnCrashSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignalCount; ++i)
        if (sigaction(kCrashSignals[i], &action, &g_previous[i]) != 0) return false;
    g_installed = true;
    return true;
}

// Frees the alternate stacks that guarded runs gave threads, when they end.
pthread_key_t g_alt_stack_key;
bool g_alt_stack_key_ok = false;
std::once_flag g_alt_stack_key_once;

// A thread's first guarded run: the signal actions, an alternate stack and
// the stack's bounds.
void PrepareThread(ThreadGuard& t) {
    if (!g_guards_used.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(g_install_lock);
        InstallActionsLocked();
        g_guards_used.store(true, std::memory_order_release);
    }
    std::call_once(g_alt_stack_key_once, [] {
        g_alt_stack_key_ok = pthread_key_create(&g_alt_stack_key, FreeAltStack) == 0;
    });
    if (void* stack = NewAltStack()) {
        if (g_alt_stack_key_ok) pthread_setspecific(g_alt_stack_key, stack);
    }
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* low = nullptr;
        size_t size = 0;
        if (pthread_attr_getstack(&attr, &low, &size) == 0)
            t.stack_low = reinterpret_cast<uintptr_t>(low);
        pthread_attr_destroy(&attr);
    }
    t.ready = true;
}

inline void SaveFloatingPoint(GuardFrame& frame) {
#if defined(__x86_64__) || defined(__i386__)
    __asm__ volatile("fnstcw %0" : "=m"(frame.x87_control));
    frame.mxcsr = _mm_getcsr();
#else
    fegetenv(&frame.fenv);
#endif
}

// A fault leaves the floating-point unit as the signal delivery set it up
// (every exception masked), and a trap leaves status flags behind: reset
// it, then put back the saved masks with clear flags.
void RestoreFloatingPoint(const GuardFrame& frame) {
#if defined(__x86_64__) || defined(__i386__)
    const unsigned short control = frame.x87_control;
    __asm__ volatile("fninit\n\tfldcw %0" : : "m"(control));
    _mm_setcsr(frame.mxcsr & ~0x3Fu); // status flags are the low six bits
#else
    fesetenv(&frame.fenv);
    feclearexcept(FE_ALL_EXCEPT);
#endif
}

// After a stack overflow the pages the body touched below the guard stay
// committed; give them back. Everything below our own frame is dead, less
// a margin for the calls made from here.
[[gnu::noinline]] void ReleaseDeadStack(uintptr_t low) {
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    const uintptr_t start = (low + page - 1) & ~(page - 1);
    const uintptr_t end = ((here & ~(page - 1)) - (64u << 10));
    // Unmapped parts of the range (below the main thread's stack) are skipped.
    if (end > start) (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
}

[[gnu::noinline]] bool Recover(GuardFrame& frame, GuardedFault* fault) {
    pthread_sigmask(SIG_SETMASK, &frame.mask, nullptr);
    RestoreFloatingPoint(frame);
    if (frame.fault.stack_overflow) ReleaseDeadStack(t_guard.stack_low);
    if (fault) *fault = frame.fault;
    return false;
}

} // namespace

bool RunGuarded(bool (*body)(void*), void* arg, GuardedFault* fault) {
    ThreadGuard& t = t_guard;
    if (__builtin_expect(!t.ready, 0)) PrepareThread(t);
    GuardFrame frame;
    frame.outer = t.top;
    frame.fault = GuardedFault{};
    SaveFloatingPoint(frame);
    // No signal mask saved here: that would be a system call on every run.
    if (sigsetjmp(frame.jump, 0) != 0) return Recover(frame, fault);
    t.top = &frame;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const bool ok = body(arg);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guard.top = frame.outer;
    if (!ok) RestoreFloatingPoint(frame);
    return ok;
}

bool InGuardedRun() {
    return t_guard.top != nullptr;
}

CrashActionSnapshot::CrashActionSnapshot() {
    static_assert(sizeof(struct sigaction) <= kActionBytes, "CrashActionSnapshot too small");
    static_assert(kSignals == kSignalCount, "CrashActionSnapshot covers the crash signals");
    std::memset(m_actions, 0, sizeof m_actions);
    for (int i = 0; i < kSignalCount; ++i)
        sigaction(kCrashSignals[i], nullptr, reinterpret_cast<struct sigaction*>(m_actions[i]));
}

bool CrashActionSnapshot::Restore() {
    bool changed = false;
    for (int i = 0; i < kSignalCount; ++i) {
        const auto* saved = reinterpret_cast<const struct sigaction*>(m_actions[i]);
        struct sigaction now;
        if (sigaction(kCrashSignals[i], nullptr, &now) != 0) continue;
        // The C library adds its restorer flag to every action it sets.
        constexpr int kRestorer = 0x04000000;
        const bool same = (now.sa_flags | kRestorer) == (saved->sa_flags | kRestorer) &&
                          ((now.sa_flags & SA_SIGINFO) ? now.sa_sigaction == saved->sa_sigaction
                                                       : now.sa_handler == saved->sa_handler);
        if (same) continue;
        changed = true;
        sigaction(kCrashSignals[i], saved, nullptr);
    }
    return changed;
}

void EnsureAltStack() {
    // Never freed: the thread's signal handling refers to it for its life.
    (void)NewAltStack();
}

ThreadAltStack::ThreadAltStack() : m_stack(NewAltStack()) {}

ThreadAltStack::~ThreadAltStack() {
    if (m_stack) FreeAltStack(m_stack);
}

bool InstallCrashHandlers(CrashHandler handler) {
    std::lock_guard<std::mutex> lock(g_install_lock);
    g_handler.store(handler);
    return InstallActionsLocked();
}

void RemoveCrashHandlers() {
    std::lock_guard<std::mutex> lock(g_install_lock);
    g_handler.store(nullptr);
    // Guarded runs still need the actions; outside a guard they now pass
    // every fault straight on to the previous actions.
    if (!g_installed || g_guards_used.load()) return;
    for (int i = 0; i < kSignalCount; ++i)
        sigaction(kCrashSignals[i], &g_previous[i], nullptr);
    g_installed = false;
}

bool CrashHandlersIntact() {
    if (!g_installed || !g_handler.load()) return false;
    for (int sig : kCrashSignals) {
        struct sigaction current;
        if (sigaction(sig, nullptr, &current) != 0 || current.sa_sigaction != OnCrashSignal)
            return false;
    }
    return true;
}

} // namespace ktu::sys

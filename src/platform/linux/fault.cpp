//===- fault.cpp - Crash signal handlers ----------------------------------===//
#include "platform/fault.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace ktu::sys {

static const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof kCrashSignals / sizeof kCrashSignals[0];

static struct sigaction g_previous[kSignalCount];
static std::atomic<CrashHandler> g_handler{nullptr};
static bool g_installed = false;

static int SignalIndex(int sig) {
    for (int i = 0; i < kSignalCount; ++i)
        if (kCrashSignals[i] == sig) return i;
    return -1;
}

static void OnCrashSignal(int sig, siginfo_t* info, void* ucontext) {
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

// Installs a new alternate stack, large enough for the dump writer, unless
// the thread has one. Returns its memory, or null.
void* NewAltStack() {
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return nullptr;
    size_t size = 64 * 1024;
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

} // namespace

void EnsureAltStack() {
    // Never freed: the thread's signal handling refers to it for its life.
    (void)NewAltStack();
}

ThreadAltStack::ThreadAltStack() : m_stack(NewAltStack()) {}

ThreadAltStack::~ThreadAltStack() {
    if (!m_stack) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    if (sigaltstack(&off, nullptr) == 0) std::free(m_stack);
}

bool InstallCrashHandlers(CrashHandler handler) {
    g_handler.store(handler);
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

void RemoveCrashHandlers() {
    if (!g_installed) return;
    for (int i = 0; i < kSignalCount; ++i)
        sigaction(kCrashSignals[i], &g_previous[i], nullptr);
    g_installed = false;
    g_handler.store(nullptr);
}

bool CrashHandlersIntact() {
    if (!g_installed) return false;
    for (int sig : kCrashSignals) {
        struct sigaction current;
        if (sigaction(sig, nullptr, &current) != 0 || current.sa_sigaction != OnCrashSignal)
            return false;
    }
    return true;
}

} // namespace ktu::sys

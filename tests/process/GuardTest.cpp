//===- GuardTest.cpp - Faults inside KtUExceptionHandler::Try -------------===//
#include <ktutil/KtUExceptionHandler.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUThread.h>

#include "platform/fault.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <csignal>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class Guard : public KtUExceptionHandler {
public:
    explicit Guard(std::function<void()> body) : m_body(std::move(body)) {}
    void Body() override {
        active_inside = IsActiveHandler();
        m_body();
    }
    void Failure() override { ++failures; }

    int failures = 0;
    int active_inside = 0;

private:
    std::function<void()> m_body;
};

volatile int g_sink;
volatile int g_zero = 0;
volatile int g_never = -1;

void NullRead() {
    volatile int* p = nullptr;
    g_sink = *p;
}

// Not left to the undefined-behaviour checker, which would stop first.
__attribute__((no_sanitize("undefined"))) void IntegerDivide() {
    g_sink = 7 / g_zero;
}

void FloatTrap() {
    feenableexcept(FE_DIVBYZERO);
    volatile double zero = 0.0;
    volatile double r = 1.0 / zero;
    (void)r;
}

__attribute__((noinline)) int Recurse(int depth) {
    volatile char frame[512];
    frame[depth % 512] = static_cast<char>(depth);
    if (depth == g_never) return 0;
    return Recurse(depth + 1) + frame[depth % 512];
}

void Overflow() {
    g_sink = Recurse(0);
}

struct Case {
    const char* name;
    void (*fault)();
};
const Case kCases[] = {{"null read", NullRead},
#if defined(__x86_64__) || defined(__i386__)
                       {"integer division by zero", IntegerDivide},
#endif
                       {"floating-point trap", FloatTrap},
                       {"stack overflow", Overflow}};

// Runs every fault twice on the calling thread; the mistakes, as text.
std::string RunFaults() {
    std::string errors;
    for (const Case& c : kCases) {
        for (int round = 0; round < 2; ++round) {
            Guard guard(c.fault);
            const int result = guard.Try();
            if (result != 1 || guard.failures != 1)
                errors += std::string(c.name) + ": result " + std::to_string(result) +
                          ", failures " + std::to_string(guard.failures) + "\n";
            sigset_t mask;
            pthread_sigmask(SIG_SETMASK, nullptr, &mask);
            if (sigismember(&mask, SIGSEGV) || sigismember(&mask, SIGFPE))
                errors += std::string(c.name) + ": fault signal still blocked\n";
            if (fegetexcept() != 0 || fetestexcept(FE_ALL_EXCEPT) != 0)
                errors += std::string(c.name) + ": floating-point state not restored\n";
        }
    }
    Guard fine([] { g_sink = 1; });
    if (fine.Try() != 0 || fine.failures != 0) errors += "a clean body failed after the faults\n";
    return errors;
}

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override { KtUExceptionHandler::Initialise(); }
    void TearDown() override { KtUExceptionHandler::Terminate(); }
};

TEST_F(GuardTest, FaultsFailTwiceInARowOnTheMainThread) {
    EXPECT_EQ("", RunFaults());
}

TEST_F(GuardTest, FaultsFailOnAKtUThreadAndOnAPlainThread) {
    KtUThread::Initialise();
    std::string errors = "not run";
    KtUThread thread;
    thread.Create([](void* out) { *static_cast<std::string*>(out) = RunFaults(); }, &errors, 0);
    thread.WaitForCompletion();
    EXPECT_EQ("", errors);
    KtUThread::Terminate();

    // A thread the library did not start gets its alternate stack from the
    // guard, twice over: the second thread after the first one freed it.
    for (int i = 0; i < 2; ++i) {
        std::string plain = "not run";
        std::thread([&] { plain = RunFaults(); }).join();
        EXPECT_EQ("", plain);
    }
}

TEST_F(GuardTest, FloatingPointMasksComeBackAsTheyWereBeforeTry) {
    feenableexcept(FE_INVALID);
    Guard guard(FloatTrap);
    EXPECT_EQ(1, guard.Try());
    EXPECT_EQ(FE_INVALID, fegetexcept());
    EXPECT_EQ(0, fetestexcept(FE_ALL_EXCEPT));
    fedisableexcept(FE_ALL_EXCEPT);
}

TEST_F(GuardTest, ActiveOnlyInsideAndNestsAndExceptionsFail) {
    EXPECT_EQ(0, KtUExceptionHandler::IsActiveHandler());
    int inner_result = -1, active_after_inner = 0;
    Guard outer([&] {
        Guard inner(NullRead);
        inner_result = inner.Try();
        active_after_inner = KtUExceptionHandler::IsActiveHandler();
    });
    EXPECT_EQ(0, outer.Try());
    EXPECT_EQ(1, outer.active_inside);
    EXPECT_EQ(1, inner_result);
    EXPECT_EQ(1, active_after_inner);
    EXPECT_EQ(0, outer.failures);
    EXPECT_EQ(0, KtUExceptionHandler::IsActiveHandler());

    // A fault after a nested guard has come and gone fails the outer one.
    Guard late([] {
        Guard inner([] { g_sink = 2; });
        inner.Try();
        NullRead();
    });
    EXPECT_EQ(1, late.Try());
    EXPECT_EQ(1, late.failures);

    Guard throwing([] { throw 42; });
    EXPECT_EQ(1, throwing.Try());
    EXPECT_EQ(1, throwing.failures);
}

TEST_F(GuardTest, PlatformGuardTellsWhichFault) {
    auto run = [](void (*fault)()) {
        ktu::sys::GuardedFault info;
        bool ok = ktu::sys::RunGuarded(
            [](void* f) {
                reinterpret_cast<void (*)()>(f)();
                return true;
            },
            reinterpret_cast<void*>(fault), &info);
        EXPECT_FALSE(ok);
        return info;
    };
    ktu::sys::GuardedFault f = run(NullRead);
    EXPECT_EQ(SIGSEGV, f.signal);
    EXPECT_EQ(nullptr, f.address);
    EXPECT_FALSE(f.stack_overflow);
    f = run(Overflow);
    EXPECT_EQ(SIGSEGV, f.signal);
    EXPECT_TRUE(f.stack_overflow);
    f = run(FloatTrap);
    EXPECT_EQ(SIGFPE, f.signal);
    EXPECT_EQ(FPE_FLTDIV, f.code);
#if defined(__x86_64__) || defined(__i386__)
    f = run(IntegerDivide);
    EXPECT_EQ(SIGFPE, f.signal);
    EXPECT_EQ(FPE_INTDIV, f.code);
#endif
}

TEST_F(GuardTest, FaultOutsideAnyGuardStillWritesTheCrashDump) {
    const std::string path = "/tmp/ktu-guard-dump-" + std::to_string(getpid()) + ".dmp";
    unlink(path.c_str());
    std::u16string wpath(path.begin(), path.end());
    EXPECT_EXIT(
        {
            KtUSysError::ConfigureForUnitTests(wpath.c_str());
            Guard guard(NullRead);
            if (guard.Try() == 1) NullRead(); // the same fault, unguarded
        },
        ::testing::ExitedWithCode(4), "");
    struct stat st;
    EXPECT_EQ(0, stat(path.c_str(), &st));
    EXPECT_GT(st.st_size, 0);
    unlink(path.c_str());
}

} // namespace

#include "engine/base/ssThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace {

// What a started thread saw of itself.
struct Observed {
    std::atomic<bool> ran{false};
    int policy = -1;
    int priority = -1;
    size_t stackSize = 0;
};

void* observe(void* argument)
{
    auto* observed = static_cast<Observed*>(argument);
    sched_param parameter{};
    pthread_getschedparam(pthread_self(), &observed->policy, &parameter);
    observed->priority = parameter.sched_priority;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        pthread_attr_getstacksize(&attributes, &observed->stackSize);
        pthread_attr_destroy(&attributes);
    }
    observed->ran = true;
    return nullptr;
}

// Runs the thread to its end and returns what it saw.
void runOnce(int priority, Observed& observed)
{
    ssThread thread;
    ASSERT_EQ(thread.Create(priority, &observed, observe, ssEngineThreadStackSize), 0);
    EXPECT_TRUE(thread.IsJoinable());
    EXPECT_EQ(thread.Join(), 0);
    EXPECT_TRUE(observed.ran.load());
}

bool mayUseRealTime()
{
    sched_param parameter{};
    parameter.sched_priority = 1;
    pthread_t self = pthread_self();
    int policy = 0;
    sched_param saved{};
    pthread_getschedparam(self, &policy, &saved);
    if (pthread_setschedparam(self, SCHED_RR, &parameter) != 0)
        return false;
    pthread_setschedparam(self, policy, &saved);
    return true;
}

// Child-process body: asks for an engine thread at priority 80 and exits 0 when it ran under
// the time-sharing policy. The log's sink writes to stderr, where the death-test matcher looks.
[[noreturn]] void createAt80AndExit()
{
    Observed observed;
    ssThread thread;
    const int result = thread.Create(80, &observed, observe, ssEngineThreadStackSize);
    thread.Join();
    _exit(result == 0 && observed.ran && observed.policy == SCHED_OTHER ? 0 : 1);
}

} // namespace

TEST(ssThread, UpTo50RunsTimeSharing)
{
    for (int priority : {0, 40, 50}) {
        Observed observed;
        runOnce(priority, observed);
        EXPECT_EQ(observed.policy, SCHED_OTHER) << priority;
        EXPECT_EQ(observed.priority, 0) << priority;
    }
}

TEST(ssThread, EngineStacksAreAtLeastOneMebibyte)
{
    Observed observed;
    runOnce(40, observed);
    EXPECT_GE(observed.stackSize, ssMinimumThreadStackSize);
    EXPECT_EQ(ssEngineThreadStackSize, 0x20020);
}

TEST(ssThread, Priority80RunsRoundRobinWhenAllowed)
{
    const char* noRealTime = getenv("KLV_NO_RT");
    const std::string saved = noRealTime ? noRealTime : "";
    unsetenv("KLV_NO_RT");
    const bool allowed = mayUseRealTime();
    Observed observed;
    runOnce(80, observed);
    if (noRealTime)
        setenv("KLV_NO_RT", saved.c_str(), 1);
    if (!allowed)
        GTEST_SKIP() << "this process may not use real-time scheduling";
    EXPECT_EQ(observed.policy, SCHED_RR);
    EXPECT_EQ(observed.priority, 80);
}

TEST(ssThreadDeathTest, Priority80WithNoRealTimeSetRunsAndLogs)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("KLV_NO_RT", "1", 1);
            createAt80AndExit();
        },
        testing::ExitedWithCode(0), "Real-time scheduling unavailable \\(KLV_NO_RT is set\\)");
}

TEST(ssThreadDeathTest, Priority80UnprivilegedRunsAndLogs)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("KLV_NO_RT");
            // As root, become an ordinary user first; without the right to real-time
            // scheduling the request is refused and the thread falls back.
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(2);
            createAt80AndExit();
        },
        testing::ExitedWithCode(0), "Real-time scheduling unavailable \\(not permitted\\)");
}

TEST(ssThread, JoinAndDetachAreSafeInAnyState)
{
    ssThread never;
    EXPECT_EQ(never.Join(), 0);
    EXPECT_EQ(never.Detach(), 0);

    Observed observed;
    ssThread thread;
    ASSERT_EQ(thread.Create(40, &observed, observe, ssEngineThreadStackSize), 0);
    // A running thread is not replaced behind its owner's back.
    EXPECT_EQ(thread.Create(40, &observed, observe, ssEngineThreadStackSize), EBUSY);
    EXPECT_EQ(thread.Join(), 0);
    EXPECT_FALSE(thread.IsJoinable());
    EXPECT_EQ(thread.Join(), 0);
    EXPECT_EQ(thread.Detach(), 0);

    // The engine detaches an old thread object before replacing it; after a join that is a no-op,
    // and the object can start a new thread.
    Observed again;
    ASSERT_EQ(thread.Create(60, &again, observe, ssEngineThreadStackSize), 0);
    EXPECT_EQ(thread.Detach(), 0);
    EXPECT_EQ(thread.Join(), 0);
    while (!again.ran.load())
        sched_yield();
}

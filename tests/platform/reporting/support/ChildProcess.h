#pragma once
// Runs a function in a forked child and reports how the child ended. The child never returns
// into the test: it ends with _exit(0) after the function, or dies of whatever the function does.

#include <functional>

namespace testsupport {

struct ChildExit {
    bool finished = false;  // the child ended within the time-out
    bool signaled = false;
    int signal = 0;
    int exitCode = -1;
};

// Kills the child (SIGKILL) when it has not ended after timeoutMillis.
ChildExit runInChild(const std::function<void()>& body, int timeoutMillis = 20000);

// Starts the child and returns its pid at once (for tests that kill it themselves).
int startChild(const std::function<void()>& body);
ChildExit waitForChild(int pid, int timeoutMillis = 20000);

// True in builds instrumented by AddressSanitizer or ThreadSanitizer, whose own signal
// handling changes how a crashing child ends.
constexpr bool kSanitizedBuild =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

} // namespace testsupport

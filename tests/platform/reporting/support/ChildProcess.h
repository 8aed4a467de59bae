#pragma once
// Child processes for tests that crash, stop or change what a process can only have once.
// They run as GoogleTest death tests in the "threadsafe" style: the test binary is started
// again for the one test, so the child is a fresh single-threaded process (a fork of the
// multi-threaded test process is not something every sanitizer supports). The child re-runs
// the test body up to the death statement; fixtures give it the parent's folder through
// kParentFolderVariable, so what it leaves behind can be checked by the parent.

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace testsupport {

inline constexpr const char* kParentFolderVariable = "KLV_TEST_PARENT_FOLDER";

// True in builds instrumented by AddressSanitizer or ThreadSanitizer, whose own signal
// handling may change how a crashing child ends (the report it leaves is the same).
constexpr bool kSanitizedBuild =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

// Exit predicate: killed by the signal (any ending at all in sanitizer builds).
inline auto diedOf(int signal)
{
    return [signal](int status) { return kSanitizedBuild || (WIFSIGNALED(status) && WTERMSIG(status) == signal); };
}

// Selects the re-executing death-test style for the calling test.
inline void useFreshChildProcesses()
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
}

} // namespace testsupport

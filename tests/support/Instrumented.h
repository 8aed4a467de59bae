#pragma once
// How much slower a sanitizer build runs than the plain one, as the suite's time limits assume
// (cmake/KlvTargets.cmake scales each test's limit by the same factor).

namespace testsupport {

#if defined(__SANITIZE_THREAD__)
inline constexpr int kSlowdown = 5;
#elif defined(__SANITIZE_ADDRESS__)
inline constexpr int kSlowdown = 3;
#else
inline constexpr int kSlowdown = 1;
#endif

// Frames a decoder running in real time skips or repeats say nothing of the program in an
// instrumented build: there, real-time figures are not held to the plain build's slack.
inline constexpr bool kInstrumented = kSlowdown > 1;

} // namespace testsupport

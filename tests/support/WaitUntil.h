#pragma once

#include <functional>

namespace testsupport {

// Runs the Qt event loop of the calling thread until predicate() holds (true) or timeoutMs passes
// (false). Time-outs are generous on purpose: they only bound a failing test, never measure; a
// sanitizer build stretches them by its slowdown (tests/support/Instrumented.h).
//   EXPECT_TRUE(waitUntil([&] { return spy.count() == 1; }));
bool waitUntil(const std::function<bool()>& predicate, int timeoutMs = 10000);

// Runs the event loop for `ms` (to see that something does NOT happen).
void pumpEvents(int ms);

} // namespace testsupport

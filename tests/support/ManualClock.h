#pragma once

// The clock tests step by hand is the one the virtual devices pace themselves by.
#include "platform/clock/ManualClock.h"

namespace testsupport {
using platform::ManualClock;
} // namespace testsupport

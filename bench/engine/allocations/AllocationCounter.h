#pragma once

#include <cstdint>

// Heap allocations made by the process so far (see AllocationCounter.cpp).
uint64_t klvAllocationCount();

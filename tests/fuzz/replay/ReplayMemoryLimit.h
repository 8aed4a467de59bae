#pragma once
// The largest single allocation a replayed input may make, as libFuzzer's -malloc_limit_mb holds
// its runs to: an input that makes the program ask for more stops the replay with its name, so a
// corpus run catches what the fuzzer would report as out-of-memory.
#include <cstddef>

namespace fuzzreplay {

// 0: no limit (the default until main sets one).
void setMallocLimit(std::size_t bytes);

} // namespace fuzzreplay

#pragma once
// Bounded random-input runs for the protocol decoders: a couple of seconds in the normal suite,
// KLV_FUZZ_SECONDS to run longer. Seeded, and the seed is printed, so a failure can be replayed
// with KLV_FUZZ_SEED.
#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>

namespace deckfuzz {

class Source {
public:
    Source();
    std::uint32_t seed() const { return seed_; }
    int below(int n) { return int(engine_() % std::uint32_t(n)); }
    QByteArray bytes(int maxLength);
    // A valid message cut short or with one byte changed, or pure noise.
    QByteArray mutate(const QByteArray& valid);

private:
    std::uint32_t seed_;
    std::mt19937 engine_;
};

// Runs step until the fuzz time is over; answers the number of steps.
std::uint64_t runFor(const std::function<void(Source&)>& step);

} // namespace deckfuzz

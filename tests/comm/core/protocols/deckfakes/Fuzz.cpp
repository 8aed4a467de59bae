#include "tests/comm/core/protocols/deckfakes/Fuzz.h"

#include "platform/foundation/Log.h"

#include <QByteArray>
#include <QCoreApplication>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace deckfuzz {

namespace {

double fuzzSeconds()
{
    const char* text = std::getenv("KLV_FUZZ_SECONDS");
    double seconds = 2.0;
    if (text)
        std::from_chars(text, text + std::strlen(text), seconds);
    return seconds > 0 ? seconds : 2.0;
}

std::uint32_t fuzzSeed()
{
    std::uint32_t seed = std::random_device{}();
    if (const char* text = std::getenv("KLV_FUZZ_SEED"))
        std::from_chars(text, text + std::strlen(text), seed);
    return seed;
}

} // namespace

Source::Source() : seed_(fuzzSeed()), engine_(seed_)
{
    std::printf("fuzz seed %u\n", seed_);
}

QByteArray Source::bytes(int maxLength)
{
    QByteArray out(below(maxLength + 1), '\0');
    for (char& c : out)
        c = char(engine_());
    return out;
}

QByteArray Source::mutate(const QByteArray& valid)
{
    switch (below(3)) {
    case 0:
        return valid.left(below(int(valid.size()) + 1));
    case 1: {
        QByteArray changed = valid;
        if (!changed.isEmpty())
            changed[below(int(changed.size()))] = char(engine_());
        return changed;
    }
    default:
        return bytes(32);
    }
}

std::uint64_t runFor(const std::function<void(Source&)>& step)
{
    Source source;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(fuzzSeconds());
    std::uint64_t steps = 0;
    // Bad input is logged on purpose; keep it out of the test output.
    platform::LogCapture quiet;
    while (std::chrono::steady_clock::now() < end) {
        for (int i = 0; i < 64; ++i, ++steps)
            step(source);
        quiet.clear();
        // Main-thread hand-offs the steps posted run here, so they never pile up.
        QCoreApplication::processEvents();
    }
    return steps;
}

} // namespace deckfuzz

#pragma once
// Engines playing to virtual cards on a manual clock: the test moves the cards' shared reference
// one period at a time, and before each period waits (real time, bounded) until every engine has
// rendered the frame it may need, so what goes on air does not depend on how fast this machine
// decodes. Every period each card's barcode on air is recorded by reference period.

#include "EngineHarness.h"

#include "platform/decklink/virtual/VirtualCardControl.h"
#include "tests/engine/output/CardsForOutputs.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ssOutputFinder;

class CardRig {
public:
    // One card per channel, each with the one progressive mode of frameDuration / timeScale at
    // width x height; every engine renders for its card and takes its audio clock from it.
    CardRig(int channels, int64_t frameDuration, int64_t timeScale, int width = 320, int height = 240);
    ~CardRig();

    ssMediaDecoder3& engine(int channel) { return harnesses_[size_t(channel)]->engine(); }
    EngineHarness& harness(int channel) { return *harnesses_[size_t(channel)]; }
    // Opens a clip on a channel and waits until its queues are full.
    bool open(int channel, const std::string& clip);
    // Moves the reference on by `count` periods.
    void run(int count);
    // The same without waiting for the engines' frames: the periods pass as fast as the card
    // takes them, as they would while a decoder is busy.
    void runAhead(int count);
    // The barcode on air on a channel in each period from `fromPeriod` on (-1: no clip frame).
    std::vector<int64_t> onAir(int channel, int64_t fromPeriod = INT64_MIN);
    // The reference period the next run() starts with.
    int64_t nextPeriod() const { return period_; }

private:
    struct Tap;
    void waitForFrames();

    int64_t frameDuration_;
    int64_t timeScale_;
    testsupport::VirtualCards cards_;
    std::unique_ptr<ssOutputFinder> finder_;
    std::vector<std::unique_ptr<EngineHarness>> harnesses_;
    std::vector<std::unique_ptr<Tap>> taps_;
    int64_t period_ = 0;
};

#pragma once
// A transport target: one channel's movie controller, or the application sending the same
// operation to every channel in column order.

class KLVMovieDelegate {
public:
    virtual ~KLVMovieDelegate() = default;
    virtual void play() = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual void rewind() = 0;
    virtual void fastForward() = 0;
    virtual void stepForward() = 0;
    virtual void stepBackward() = 0;
    virtual void goToBeginning() = 0;
    virtual void goToEnd() = 0;
    // Plays at a rate: rate < 0 rewinds at that speed, rate > 1 fast-forwards, 0 pauses; any other
    // rate plays normally. A reverse rate never plays forwards.
    virtual void playAtRate(float rate) = 0;
};

#pragma once
// The transport target for every channel at once: each operation goes, unconditionally and
// with the same arguments, to every channel's movie controller in column order. Remote
// commands that address no channel, sleep and screen changes reach the channels through it.
// The three time queries answer zero without asking any channel. Main thread.

#include "comm/core/app/KLVMovieDelegate.h"
#include "comm/timecode/QMTimeCode.h"

#include <QList>

#include <functional>

class KLVChannelController;
class KLVMovieController;

class KLVAllChannelsTransport final : public KLVMovieDelegate {
public:
    using Channels = std::function<QList<KLVChannelController*>()>;
    explicit KLVAllChannelsTransport(Channels channels) : channels_(std::move(channels)) {}

    void seekToSeconds(double seconds, int scrubMode) override;
    void seekToTimeCode(const QMTimeCode& timeCode) override;
    void goToBeginning() override;
    void rewind() override;
    void stepBackward() override;
    void play() override;
    void stop() override;
    void playAtRate(float rate) override;
    void pause() override;
    void stepForward() override;
    void fastForward() override;
    void goToEnd() override;
    // Sent to every channel; true when every channel took the point.
    bool setInPoint(const QMTimeCode& inPoint) override;
    bool setOutPoint(const QMTimeCode& outPoint) override;
    bool setOutPointAsDurationFromInPoint(const QMTimeCode& duration) override;
    QMTimeCode currentTime() const override { return QMTimeCode::zeroTime(); }
    QMTimeCode remainingTime() const override { return QMTimeCode::zeroTime(); }
    QMTimeCode duration() const override { return QMTimeCode::zeroTime(); }

    // The main window's transport buttons: the command code (a segmented control's selected
    // segment + 1, a button's tag, else -1) goes to every channel whose control buttons and
    // output device are both enabled.
    enum class SenderKind { SegmentedControl, Button, Other };
    static long commandForSender(SenderKind kind, int selectedSegment, long tag);
    void deckControl(long command);

private:
    template <class Operation>
    void each(Operation operation);

    Channels channels_;
};

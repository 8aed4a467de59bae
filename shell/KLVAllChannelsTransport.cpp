#include "shell/KLVAllChannelsTransport.h"

#include "app/moviecontroller/KLVMovieController.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"

template <class Operation>
void KLVAllChannelsTransport::each(Operation operation)
{
    for (KLVChannelController* channel : channels_())
        if (channel)
            operation(channel->movie());
}

void KLVAllChannelsTransport::seekToSeconds(double seconds, int scrubMode)
{
    each([&](KLVMovieController& m) { m.seekToSeconds(seconds, scrubMode); });
}

void KLVAllChannelsTransport::seekToTimeCode(const QMTimeCode& timeCode)
{
    each([&](KLVMovieController& m) { m.seekToTimeCode(timeCode); });
}

void KLVAllChannelsTransport::goToBeginning() { each([](KLVMovieController& m) { m.goToBeginning(); }); }
void KLVAllChannelsTransport::rewind() { each([](KLVMovieController& m) { m.rewind(); }); }
void KLVAllChannelsTransport::stepBackward() { each([](KLVMovieController& m) { m.stepBackward(); }); }
void KLVAllChannelsTransport::play() { each([](KLVMovieController& m) { m.play(); }); }
void KLVAllChannelsTransport::stop() { each([](KLVMovieController& m) { m.stop(); }); }
void KLVAllChannelsTransport::pause() { each([](KLVMovieController& m) { m.pause(); }); }
void KLVAllChannelsTransport::stepForward() { each([](KLVMovieController& m) { m.stepForward(); }); }
void KLVAllChannelsTransport::fastForward() { each([](KLVMovieController& m) { m.fastForward(); }); }
void KLVAllChannelsTransport::goToEnd() { each([](KLVMovieController& m) { m.goToEnd(); }); }

void KLVAllChannelsTransport::playAtRate(float rate)
{
    each([&](KLVMovieController& m) { m.playAtRate(rate); });
}

bool KLVAllChannelsTransport::setInPoint(const QMTimeCode& inPoint)
{
    bool all = true;
    each([&](KLVMovieController& m) { all = m.setInPoint(inPoint) && all; });
    return all;
}

bool KLVAllChannelsTransport::setOutPoint(const QMTimeCode& outPoint)
{
    bool all = true;
    each([&](KLVMovieController& m) { all = m.setOutPoint(outPoint) && all; });
    return all;
}

bool KLVAllChannelsTransport::setOutPointAsDurationFromInPoint(const QMTimeCode& duration)
{
    bool all = true;
    each([&](KLVMovieController& m) { all = m.setOutPointAsDurationFromInPoint(duration) && all; });
    return all;
}

long KLVAllChannelsTransport::commandForSender(SenderKind kind, int selectedSegment, long tag)
{
    switch (kind) {
    case SenderKind::SegmentedControl:
        return selectedSegment + 1;
    case SenderKind::Button:
        return tag;
    case SenderKind::Other:
        break;
    }
    return -1;
}

void KLVAllChannelsTransport::deckControl(long command)
{
    for (KLVChannelController* channel : channels_())
        if (channel && channel->controlButtonsEnabled() && channel->output().deviceEnabled())
            channel->movie().executeCommand(command);
}

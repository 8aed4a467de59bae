#include "ui/logic/channel/KLVChannelNextCue.h"

#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/moviecontroller/KLVPlaybackEngine.h"
#include "app/ports/KLVTimerSource.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelLoadedCue.h"
#include "ui/logic/channel/KLVChannelTransport.h"

namespace {
// How often a prepared choice is checked against the playlist: an edit made in the last moments
// of a cue may come too late for the cue after it, as a hand on a console would.
constexpr int kWatchIntervalMs = 250;
constexpr int64_t kBehaviourNextCue = 2;
} // namespace

bool KLVChannelNextCue::playable(const NodePtr& node)
{
    return node && !node->isStub() && node->sourceIsPlayableFile();
}

bool KLVChannelNextCue::Choice::operator==(const Choice& other) const
{
    return node == other.node && path == other.path && in == other.in && out == other.out &&
           behaviour == other.behaviour;
}

KLVChannelNextCue::KLVChannelNextCue(KLVChannelController& channel) : channel_(channel) {}
KLVChannelNextCue::~KLVChannelNextCue() = default;

long KLVChannelNextCue::followingIndex(const std::vector<NodePtr>& items, long start)
{
    const long count = long(items.size());
    start = start >= 0 && start < count ? start : 0;
    for (long k = 0; k < count; ++k)
        if (playable(items[size_t((start + k) % count)]))
            return (start + k) % count;
    return -1;
}

KLVChannelNextCue::Choice KLVChannelNextCue::wanted() const
{
    Choice choice;
    const NodePtr current = channel_.currentPlaylistNode();
    if (!channel_.movieController_ || !channel_.channel() || !current || channel_.isMaster() ||
        channel_.linkedController() || current->playbackBehavior() != kBehaviourNextCue)
        return choice;
    const auto items = channel_.channel()->playlistItems();
    const long next = followingIndex(items, channel_.transport().loadedCue().followingStart(items));
    if (next < 0)
        return choice;
    choice.node = items[size_t(next)];
    choice.path = choice.node->plnSourcePath().value_or(QString()).toStdString();
    choice.in = choice.node->inPoint();
    choice.out = choice.node->outPoint();
    choice.behaviour = int32_t(choice.node->playbackBehavior());
    return choice;
}

void KLVChannelNextCue::loaded()
{
    prepared_ = Choice();
    if (KLVPlaybackEngine* engine = channel_.movieController_ ? channel_.movie().movie() : nullptr)
        handOversSeen_ = engine->HandOvers();
    refresh();
}

void KLVChannelNextCue::refresh()
{
    KLVPlaybackEngine* engine = channel_.movieController_ ? channel_.movie().movie() : nullptr;
    const Choice choice = engine ? wanted() : Choice();
    if (!(choice == prepared_) && engine) {
        if (choice.node)
            engine->PrepareNext(choice.path, choice.in, choice.out, choice.behaviour);
        else
            engine->ClearNext();
    }
    prepared_ = choice;
    if (!choice.node)
        watch_.reset();
    else if (!watch_)
        watch_ = channel_.delegate().timers().schedule(kWatchIntervalMs, true, [this] { refresh(); });
}

KLVChannelNextCue::NodePtr KLVChannelNextCue::takeHandedOver()
{
    KLVPlaybackEngine* engine = channel_.movieController_ ? channel_.movie().movie() : nullptr;
    if (!engine || engine->HandOvers() == handOversSeen_)
        return nullptr;
    handOversSeen_ = engine->HandOvers();
    NodePtr node = prepared_.node;
    // The engine has taken it: the next one is chosen from the cue now on air.
    prepared_ = Choice();
    return node;
}

#include "ui/logic/channel/KLVChannelLoadedCue.h"

#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/moviecontroller/KLVPlaybackEngine.h"
#include "app/ports/KLVTimerSource.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelTransport.h"

#include <algorithm>

namespace {
constexpr int64_t kBehaviourLoop = 1;
constexpr int32_t kBehaviourStop = 0;
} // namespace

KLVChannelLoadedCue::KLVChannelLoadedCue(KLVChannelController& channel) : channel_(channel) {}
KLVChannelLoadedCue::~KLVChannelLoadedCue() = default;

void KLVChannelLoadedCue::loaded(const NodePtr& node)
{
    node_ = node;
    removed_ = false;
    pending_ = false;
    settle_.reset();
    after_.clear();
    if (!node_ || !channel_.channel())
        return;
    const NodeList items = channel_.channel()->playlistItems();
    const auto at = std::find(items.begin(), items.end(), node_);
    if (at != items.end())
        remember(items, long(at - items.begin()));
}

void KLVChannelLoadedCue::remember(const NodeList& items, long row)
{
    after_.assign(items.begin() + row + 1, items.end());
}

void KLVChannelLoadedCue::playlistChanged(bool midStep)
{
    if (!midStep) {
        check();
        return;
    }
    // Decided when the step ends; an edit without an undo stack ends with this turn.
    pending_ = true;
    if (!settle_)
        settle_ = channel_.delegate().timers().schedule(0, false, [this] { check(); });
}

void KLVChannelLoadedCue::stepEnded()
{
    if (pending_)
        check();
}

void KLVChannelLoadedCue::check()
{
    pending_ = false;
    settle_.reset();
    if (node_) {
        const NodeList items = channel_.channel() ? channel_.channel()->playlistItems() : NodeList();
        KLVPlaybackEngine* engine = channel_.movieController() ? channel_.movie().movie() : nullptr;
        const auto at = std::find(items.begin(), items.end(), node_);
        if (at != items.end()) {
            remember(items, long(at - items.begin()));
            // Put back (an undo) while it played out: its own End holds again.
            if (std::exchange(removed_, false) && engine)
                engine->SetPlaybackBehavior(int32_t(node_->playbackBehavior()));
        } else if (!removed_ && !channel_.isPlaying()) {
            channel_.transport().loadNode(nullptr, false);
            return; // the load has brought the next cue in step
        } else if (!removed_) {
            removed_ = true;
            if (engine && node_->playbackBehavior() == kBehaviourLoop)
                engine->SetPlaybackBehavior(kBehaviourStop);
        }
    }
    // The engine never goes on into a cue that has just left the list.
    channel_.transport().refreshNextCue();
}

long KLVChannelLoadedCue::followingStart(const NodeList& items) const
{
    const auto rowOf = [&items](const NodePtr& node) {
        const auto at = std::find(items.begin(), items.end(), node);
        return at == items.end() ? -1L : long(at - items.begin());
    };
    if (!removed_) {
        const long row = rowOf(node_);
        return row >= 0 && row + 1 < long(items.size()) ? row + 1 : 0;
    }
    for (const NodePtr& next : after_)
        if (const long row = rowOf(next); row >= 0)
            return row;
    return 0;
}

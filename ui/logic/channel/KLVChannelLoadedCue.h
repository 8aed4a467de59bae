#pragma once
// The loaded cue against the playlist it came from. A cue the operator deleted (or a smart
// folder took away) never airs again: one that is not playing is unloaded at once; one that is
// playing plays on to its end, without looping, and then goes, and the next cue is the one that
// followed it. A cue that only moves (taken out and put back within one undo step) stays loaded.
// Main thread.

#include <memory>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;
class KLVTimer;

class KLVChannelLoadedCue {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    using NodeList = std::vector<NodePtr>;

    explicit KLVChannelLoadedCue(KLVChannelController& channel);
    ~KLVChannelLoadedCue();
    KLVChannelLoadedCue(const KLVChannelLoadedCue&) = delete;
    KLVChannelLoadedCue& operator=(const KLVChannelLoadedCue&) = delete;

    // The channel loaded this cue (null: none).
    void loaded(const NodePtr& node);
    // The channel's list changed. midStep: by an undo step still running, which may put the
    // cue back before it ends (stepEnded), as a move does.
    void playlistChanged(bool midStep);
    void stepEnded();

    // The loaded cue has left the playlist and is playing out.
    bool removed() const { return removed_; }
    // Where the search for the cue after the loaded one starts in `items`: the row after it, or
    // for a cue that left, the row the first cue still there that followed it has now (0 when
    // none is left).
    long followingStart(const NodeList& items) const;

private:
    void check();
    void remember(const NodeList& items, long row);

    KLVChannelController& channel_;
    NodePtr node_;
    // The cues that followed the loaded one when the list was last seen with it.
    NodeList after_;
    bool removed_ = false;
    bool pending_ = false;
    std::unique_ptr<KLVTimer> settle_;
};

#pragma once
// The cue that follows the loaded one when its End is "Next Cue": the channel has the engine open
// it ahead, so that it follows the loaded cue's last frame without a gap, and keeps that choice in
// step with the playlist (edits, moves, deletions, another End) while the loaded cue plays. Linked
// channels start their next cues together from the end of range, so they prepare none.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;
class KLVTimer;

class KLVChannelNextCue {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;

    explicit KLVChannelNextCue(KLVChannelController& channel);
    ~KLVChannelNextCue();
    KLVChannelNextCue(const KLVChannelNextCue&) = delete;
    KLVChannelNextCue& operator=(const KLVChannelNextCue&) = delete;

    // A cue that can be loaded: not a stub, its file there.
    static bool playable(const NodePtr& node);
    // The index of the first cue from row `start` on that can play (wrapping; -1: none). Cues
    // whose file is gone are passed over.
    static long followingIndex(const std::vector<NodePtr>& items, long start);

    // A cue was loaded: what the engine had prepared went with the file it followed.
    void loaded();
    // Prepares, replaces or drops the engine's next cue as the playlist now says.
    void refresh();
    // The cue the engine went on into by itself since the last call, or null.
    NodePtr takeHandedOver();

private:
    struct Choice {
        NodePtr node;
        std::string path;
        double in = 0;
        double out = 0;
        int32_t behaviour = 0;
        bool operator==(const Choice& other) const;
    };
    Choice wanted() const;

    KLVChannelController& channel_;
    Choice prepared_;
    uint64_t handOversSeen_ = 0;
    // While a cue is prepared, the playlist is looked at again now and then.
    std::unique_ptr<KLVTimer> watch_;
};

#pragma once
// Cue loading, play/pause/stop/seek together with linked slave channels, the end-of-clip
// behaviours, per-cue offsets, the jump-to-time field and the channel's preview drawing.
//
// A master's transport reaches every channel linked below it (a slave's slaves too, as
// KLVChannelController::linkedBelow lists them), each taking part by its own device and mode:
// a chain plays, pauses, stops, seeks and goes round its head's loop as one.
//
// A master's start: when every engine taking part has its buffers ready the master and then its
// slaves play in the same turn; otherwise one pending 0.1 s poll waits until they are, and after
// kStartWaitTicks ticks starts them anyway (the engines keep slaves in step once they fill).
// Slaves without media are not waited for.

#include "comm/timecode/QMTimeCode.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVChannelLoadedCue;
class KLVChannelNextCue;
class KLVPlaybackEngine;
class KLVPlaylistNode;
class KLVTimer;

class KLVChannelTransport {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    // 5 s of 0.1 s ticks.
    static constexpr int kStartWaitTicks = 50;
    static constexpr int kStartWaitIntervalMs = 100;

    explicit KLVChannelTransport(KLVChannelController& channel);
    ~KLVChannelTransport();
    KLVChannelTransport(const KLVChannelTransport&) = delete;
    KLVChannelTransport& operator=(const KLVChannelTransport&) = delete;

    // Loads a cue into the channel's engine (null or a stub: closes the media; a missing file:
    // closes the media, so a later play cannot replay the previous cue).
    void loadNode(const NodePtr& node, bool allowSlate);

    // --- master transport (also the command interpreter's) ---
    void playMaster(void* sender);
    // Always stops this channel and its slaves, and leaves them ready to play again.
    void stopMaster(void* sender);
    void pauseMaster(void* sender);
    void seekMasterToTimeCode(const QMTimeCode& timeCode);
    void rewindMaster();
    // Re-attaches every channel below taking part to its own master's engine with its cue's offset.
    void sync();
    bool masterPlayButtonOn() const { return masterPlayButtonOn_; }
    // The loaded media carries source time code.
    bool hasTimeCode() const;

    // --- the movie controller's delegate ---
    void seekToSeconds(double seconds, int scrubMode);
    void pauseForSeek();
    void playFromSeek();
    void endpointReached();

    // Plays this channel alone once its buffers are ready (bounded; one pending at a time).
    void playWhenBuffersReady();
    void cancelPendingStarts();

    // --- next cue ---
    void triggerNextNode(bool allowSlate = true);
    // Prepares, replaces or drops the engine's next cue as the playlist now says.
    void refreshNextCue();

    // The loaded cue against the playlist (a deleted one plays out and goes).
    KLVChannelLoadedCue& loadedCue() const { return *loadedCue_; }

    // --- transport buttons, unchanged to the movie controller ---
    void rewind();
    void fastForward();
    void resumePlayRate();
    void deckControl(long code);

    // --- a slave's offset ---
    // tag != 0: one frame earlier; 0: one frame later.
    void updateOffset(long tag);
    void setOffsetString(const QString& text);
    void setOffsetFromPositions();
    static double offsetFromText(const QString& text, double fps);

    // --- options ---
    void updateAudioDelay();
    void setAnamorphicPlaybackBehavior(bool checkboxOn);
    bool showSlate() const { return showSlate_; }
    void setShowSlate(bool show);
    bool mutePreview() const { return mutePreview_; }
    void setMutePreview(bool mute);

    // --- jump to time ---
    // The text the jump field opens with (the position from the in point).
    QString jumpToTimeText() const;
    // Seeks to the typed position in the file ("s;f", "h:m:s" or "h:m:s;f").
    void jumpToTime(const QString& text);
    static double secondsFromJumpText(const QString& text, double fps);

    // Preview thread.
    void drawPreview();

    // A slave takes part in its master's transport when it has a device and plays back.
    static bool takesPart(const KLVChannelController& slave);
    // The engine's frame rate, 30 when it has none (times become frames with it).
    static double framesPerSecond(double fps) { return fps > 0 ? fps : 30.0; }

private:
    KLVPlaybackEngine* engine() const;
    // Where a channel below stands against this one: the offsets of the links between summed.
    double offsetBelow(const KLVChannelController& slave) const;
    void startMasterWhenReady();
    bool allReady() const;
    void startMasterNow();
    void markStopped();
    // The engine went on into the prepared cue by itself: the channel shows it as the loaded one.
    void adoptHandedOver(const NodePtr& node);

    bool showSlate_ = true;
    bool mutePreview_ = false;
    bool masterPlayButtonOn_ = false;
    bool nextCueSlateAllowed_ = true;
    std::unique_ptr<KLVTimer> pendingMasterStart_;
    std::unique_ptr<KLVTimer> pendingStart_;
    KLVChannelController& channel_;
    std::unique_ptr<KLVChannelNextCue> nextCue_;
    std::unique_ptr<KLVChannelLoadedCue> loadedCue_;
};

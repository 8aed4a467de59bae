#pragma once
// One channel's transport front end: turns transport requests into engine calls, loads a cue with
// its range, behaviour and slate, keeps the progress bar and the time labels current every 0.1 s,
// steps for rewind and fast forward, and draws the channel's preview. Main thread, except
// drawPreview (the preview thread).

#include "app/moviecontroller/KLVMovieControllerDelegate.h"
#include "app/moviecontroller/KLVPlaybackEngine.h"
#include "app/moviecontroller/KLVTransportViews.h"
#include "comm/core/app/KLVMovieControlling.h"

#include <QImage>
#include <QRectF>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

class KLVPlaylistNode;
class KLVTimer;
class KLVTimerSource;

class KLVMovieController final : public KLVMovieControlling, public QMProgressViewDelegate {
public:
    // type 0: a channel's transport; 1: the cue inspector's.
    KLVMovieController(std::unique_ptr<KLVPlaybackEngine> engine, KLVTimerSource& timers, long type = 0);
    ~KLVMovieController() override;
    KLVMovieController(const KLVMovieController&) = delete;
    KLVMovieController& operator=(const KLVMovieController&) = delete;

    // --- KLVMovieDelegate ---
    void seekToSeconds(double seconds, int scrubMode) override;
    void seekToTimeCode(const QMTimeCode& timeCode) override;
    void play() override;
    void stop() override;
    void pause() override;
    void rewind() override;
    void fastForward() override;
    void stepForward() override;
    void stepBackward() override;
    void goToBeginning() override;
    void goToEnd() override;
    // rate < 0 rewinds, > 1 fast-forwards, 0 pauses, any other rate plays.
    void playAtRate(float rate) override;
    bool setInPoint(const QMTimeCode& inPoint) override;
    bool setOutPoint(const QMTimeCode& outPoint) override;
    bool setOutPointAsDurationFromInPoint(const QMTimeCode& duration) override;
    void restoreCueRange() override;
    QMTimeCode currentTime() const override;
    QMTimeCode remainingTime() const override;
    QMTimeCode duration() const override;
    // --- KLVMovieControlling ---
    void updateTimeCode() override;
    bool isPlaying() const override { return isPlaying_; }

    void resumePlayRate();
    void adjustBackward();
    void adjustForward();
    // Transport codes: 1 beginning, 2 step back, 3 pause, 4 play, 5 step forward, 6 end, 7 stop.
    void executeCommand(long code);
    // A transport segment (0-based) as a command code; the one mapping for every segmented
    // transport control (the all-channel transport uses it too).
    static long commandForSegment(int segment) { return segment + 1; }
    // The transport controls' action: a segmented control's selected segment, or a button's tag.
    void deckControlFromSegment(int selectedSegment) { executeCommand(commandForSegment(selectedSegment)); }
    void deckControlFromButton(long tag) { executeCommand(tag); }

    // --- loading and display ---
    // Null node closes the media.
    void loadMovieForNode(const std::shared_ptr<KLVPlaylistNode>& node, bool withSlateScreen, bool hasPreview);
    void updateSlateImageForNode(const std::shared_ptr<KLVPlaylistNode>& node);
    // The engine went on from the loaded cue into the prepared one (node) by itself: the
    // controller takes it as loaded.
    void adoptHandedOverCue(const std::shared_ptr<KLVPlaylistNode>& node);
    // A cue is being loaded or moved to its position: the channel has taken it and the engine
    // does not stand there yet.
    bool isCueing() const override { return loading_ || positioning_; }
    // The loaded file carries source time code (known once its load has finished).
    bool hasTimeCode() const { return hasTimeCode_; }
    void drawPreview(); // preview thread
    // Preview thread, without drawing: changes whenever drawPreview would draw something else
    // (the engine's picture and meters, the preview's place). Keeps the reference light current.
    uint64_t previewStamp();
    void startUpdater();
    void stopUpdater();
    void updateProgress();
    void setIsPlaying(bool playing);
    bool showTimeCode() const { return showTimeCode_; }
    void setShowTimeCode(bool show);

    // --- QMProgressViewDelegate ---
    void playFromSeek() override;
    void updateInOutPoints(QMProgressBar& bar) override;
    void pauseForSeek() override;
    void seek(double value, bool optionHeld) override;

    // --- properties ---
    KLVPlaybackEngine* movie() const { return engine_.get(); }
    KLVMovieControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(KLVMovieControllerDelegate* delegate) { delegate_ = delegate; }
    // The bar (and the labels) must outlive the controller or be unset before they go.
    void setProgressBar(QMProgressBar* bar);
    QMProgressBar* progressBar() const { return progressBar_; }
    void setTimeIn(KLVTimeLabel* label);
    void setTimeOut(KLVTimeLabel* label);
    KLVTimeLabel* timeIn() const { return timeIn_; }
    KLVTimeLabel* timeOut() const { return timeOut_; }
    // The preview view's frame and its parent's, in backing pixels (set on main, read by the
    // preview thread).
    void setPreviewFrames(const QRectF& frame, const QRectF& superviewFrame);
    float fps() const { return fps_; }
    void setFps(float fps) { fps_ = fps; }
    bool didPauseForSeek() const { return didPauseForSeek_; }
    void setDidPauseForSeek(bool v) { didPauseForSeek_ = v; }
    long type() const { return type_; }
    double ffBoost() const { return ffBoost_; }
    // The play/pause button's picture (set by the shell from any thread) and the channel label.
    QImage playPauseButtonImage() const;
    void setPlayPauseButtonImage(const QImage& image);
    KLVTimeLabel* channelLabel() const { return channelLabel_; }
    void setChannelLabel(KLVTimeLabel* label) { channelLabel_ = label; }

private:
    struct SlatePixels {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> rgba;
    };
    // What the engine's thread needs to find and convert a cue's slate.
    struct SlateSource {
        QImage image; // the cue's own, when it has one
        std::optional<QString> uuid;
        QString name;
        std::weak_ptr<KLVPlaylistNode> node;
    };
    struct LoadRequest {
        std::string path;
        bool hasPreview = false;
        int32_t anamorphic = 1;
        int32_t behaviour = 0;
        double in = 0;
        double out = 0;
        bool showFirstFrame = true;
        std::optional<SlateSource> slate;
    };
    struct LoadOutcome {
        int32_t result = -1;
        double timeCodeOffset = 0;
        bool hasTimeCode = false;
        double in = 0;
        double out = 0;
        double duration = 0;
        float frameRate = 0;
    };
    void finishLoad(const LoadOutcome& outcome);
    // Progress bar and time labels at zero: no cue, or one whose file did not open.
    void showNothingLoaded(double frameRate);
    // Completes an outcome from what the engine holds and hands it to the controller on main
    // (dropped when a later load replaced this one, or the controller has gone).
    static void reportLoad(KLVPlaybackEngine& e, LoadOutcome outcome,
                           const std::weak_ptr<std::atomic<KLVMovieController*>>& alive, uint64_t generation);
    static SlateSource slateSource(const std::shared_ptr<KLVPlaylistNode>& node);
    // The cue's slate as RGBA bytes (false, logged, when it has none).
    static bool slatePixels(const SlateSource& source, SlatePixels& out);
    // The cue's own range on the engine.
    static void applyCueRange(KLVPlaybackEngine& engine, double in, double out);
    void startFastTimer(bool forward);
    void rewindTick();
    void fastForwardTick();
    void cancelPendingPlay();
    void cancelShuttle();
    QMTimeCode timeCodeFor(double seconds) const;
    double secondsFor(const QMTimeCode& timeCode) const;
    // Shows the engine's range on the bar (after a refused change the bar keeps no range of its own).
    void showEngineRange(QMProgressBar& bar);

    std::unique_ptr<KLVPlaybackEngine> engine_;
    KLVTimerSource& timers_;
    long type_;
    KLVMovieControllerDelegate* delegate_ = nullptr;
    QMProgressBar* progressBar_ = nullptr;
    KLVTimeLabel* timeIn_ = nullptr;
    KLVTimeLabel* timeOut_ = nullptr;
    KLVTimeLabel* channelLabel_ = nullptr;
    mutable std::mutex imageLock_;
    QImage playPauseButtonImage_;
    std::unique_ptr<KLVTimer> fastControlTimer_;
    std::unique_ptr<KLVTimer> timeUpdater_;
    std::unique_ptr<KLVTimer> playWhenReady_;
    double lastFFPos_ = -1;
    double ffBoost_ = 0;
    // The loaded cue's own range, as loading gave it to the engine.
    double cueInPoint_ = 0;
    double cueOutPoint_ = 0;
    double timeCodeOffset_ = 0;
    bool isPlaying_ = false;
    bool showTimeCode_ = false;
    bool didPauseForSeek_ = false;
    bool loading_ = false;
    // A seek to a time code has not reached the engine's position yet (see positionGeneration_).
    bool positioning_ = false;
    // Counts those seeks: only the end of the latest one ends the positioning.
    uint64_t positionGeneration_ = 0;
    bool hasTimeCode_ = false;
    // Counts loads, so the end of one that a later load replaced changes nothing.
    uint64_t loadGeneration_ = 0;
    float fps_ = 0;
    mutable std::mutex previewLock_;
    QRectF previewFrameRect_;
    QRectF previewSuperviewFrameRect_;
    // Lets the engine's end-of-range notice, queued to main, find out whether this controller is gone.
    std::shared_ptr<std::atomic<KLVMovieController*>> alive_;
};

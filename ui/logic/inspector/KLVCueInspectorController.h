#pragma once
// The cue inspector without its window: one cue previewed outside the channels with its own
// movie controller (type 1) and engine, transport by buttons and keys, in and out points typed
// or taken from the position, and the cue's slate made again after its range changed. An edit
// is saved with the document, re-applied to any channel that has the cue loaded, shown in the
// channels' tables and is one step on the undo stack (a handle drag is one step, taken at its
// release). The progress bar's handles report to the inspector, which passes scrubbing on to its
// movie controller. Main thread.

#include "app/moviecontroller/KLVPlaybackEngine.h"
#include "app/moviecontroller/KLVTransportViews.h"
#include "platform/foundation/ObserverList.h"

#include <QString>

#include <memory>
#include <optional>

class KLVChannelControllerDelegate;
class KLVDVIOutput;
class ssDVIOutput;
class KLVMovieController;
class KLVPlaylistNode;
class QMProgressBar;
class KLVTimeLabel;

class KLVCueInspectorController final : public QMProgressViewDelegate {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    // Key codes of the inspector's keys.
    enum Key { KeySpace = 49, KeyLeft = 123, KeyRight = 124 };

    KLVCueInspectorController(KLVChannelControllerDelegate& delegate, std::unique_ptr<KLVPlaybackEngine> engine);
    ~KLVCueInspectorController() override;
    KLVCueInspectorController(const KLVCueInspectorController&) = delete;
    KLVCueInspectorController& operator=(const KLVCueInspectorController&) = delete;

    KLVMovieController& movieController() const { return *movieController_; }
    // The window's views (progress bar with in/out handles, the two time fields' labels).
    void setViews(QMProgressBar* progressBar, KLVTimeLabel* timeIn, KLVTimeLabel* timeOut);

    // The private screen output "CueInspector" (one mode of the render view's size) the engine
    // draws to; the render view draws it through the answered handle. Made once.
    KLVDVIOutput* attachPrivateOutput(int width, int height);
    ssDVIOutput* privateOutput() const { return dviOutput_.get(); }

    void inspectCue(const NodePtr& node, bool withSlateScreen);
    NodePtr currentNode() const { return currentNode_; }
    bool durationDidChange() const { return durationDidChange_; }

    // --- transport ---
    void goToBeginningAction();
    void rewindAction();
    void pauseAction();
    void playAction();
    void fastforwardAction();
    void goToEndAction();
    // True when the key was the inspector's (it is not passed on either way).
    bool keyDown(int keyCode, bool shift);

    // --- range ---
    // A typed time for the in (outField false) or out point: false, changing nothing, for a
    // time that cannot be read or would not leave the out point after the in point.
    bool updateProgressBar(bool outField, const QString& text);
    // The current position as the in or out point; false when refused as above.
    bool setInOutValue(bool outPoint);
    void resetInOutPoints();
    // The handles follow the cue's in and out points.
    void refreshProgressBar();
    void showInFinder();

    // The window closes: pause, remake the slate when the range changed, let the cue go.
    void windowWillClose();

    // --- QMProgressViewDelegate: handle drags change the cue; the rest is the movie controller's ---
    void playFromSeek() override;
    void updateInOutPoints(QMProgressBar& bar) override;
    void pauseForSeek() override;
    void seek(double value, bool optionHeld) override;

private:
    struct Range {
        double in = 0;
        double out = 0;
    };
    bool applyRange(bool outPoint, double seconds);
    Range currentRange() const;
    // After an accepted edit: saved, played, shown, and (from `before`) one undo step.
    void rangeEdited(const Range& before);
    // The cue's range as it now is: into the engines playing it, the document and the tables.
    void rangeChanged(const NodePtr& node);
    void pushUndoStep(const Range& before);
    // Puts a range back (undo and redo).
    void restoreRange(const NodePtr& node, const Range& range);
    void recalculateSlateForChange(const NodePtr& node);

    KLVChannelControllerDelegate& delegate_;
    std::unique_ptr<ssDVIOutput> dviOutput_;
    std::unique_ptr<KLVDVIOutput> dviHandle_;
    std::unique_ptr<KLVMovieController> movieController_;
    QMProgressBar* progressBar_ = nullptr;
    NodePtr currentNode_;
    bool durationDidChange_ = false;
    // The range when the running handle drag began.
    std::optional<Range> dragStart_;
    platform::Subscription nodeSubscription_;
    // Lets queued slate work find out whether the inspector is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

#pragma once
// The controller of one output channel (one per channel column, tag 1..N). It owns the channel's
// movie controller, shows the channel's document data, restores and saves its settings and links
// it to a master. The work is split into one component per concern; this facade holds the
// state they share and forwards the operations others call. Main thread, except the preview
// drawing.
//
//   output()    device, mode, audio and time-code output              KLVChannelOutput
//   transport() cue loading, transport with linked slaves, end of clip KLVChannelTransport
//   import()    media import, metadata/thumbnail/slate requests, cue selection   KLVChannelImport
//   table()     the playlist table model, undoable edits, stub rows    KLVChannelTableEdits
//   dragDrop()  playlist drag and drop                                 KLVChannelDragDrop
//   record()    record mode                                            KLVChannelRecord
//   overlay()   the graphic overlay                                    KLVChannelOverlay

#include "app/document/KLVChannel.h"
#include "app/moviecontroller/KLVMovieControllerDelegate.h"
#include "comm/core/app/KLVChannelControlling.h"
#include "platform/foundation/ObserverList.h"

#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class KLVChannelControllerDelegate;
class KLVChannelDragDrop;
class KLVChannelImport;
class KLVChannelOutput;
class KLVChannelOverlay;
class KLVChannelPlaylistView;
class KLVChannelRecord;
class KLVChannelTableEdits;
class KLVChannelTransport;
class KLVMovieController;
class KLVPlaybackEngine;
class KLVPlaylistNode;

class KLVChannelController : public QObject,
                             public KLVChannelControlling,
                             public KLVMovieControllerDelegate,
                             public KLVChannelDelegate {
    Q_OBJECT

public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;

    // engine: this channel's playback engine (the real one in the application, a fake in tests).
    KLVChannelController(KLVChannelControllerDelegate& delegate, long tag, std::unique_ptr<KLVPlaybackEngine> engine);
    ~KLVChannelController() override;

    KLVChannelControllerDelegate& delegate() const { return delegate_; }

    // --- components ---
    KLVChannelOutput& output() const { return *output_; }
    KLVChannelTransport& transport() const { return *transport_; }
    KLVChannelImport& import() const { return *import_; }
    KLVChannelTableEdits& table() const { return *table_; }
    KLVChannelDragDrop& dragDrop() const { return *dragDrop_; }
    KLVChannelRecord& record() const { return *record_; }
    KLVChannelOverlay& overlay() const { return *overlay_; }

    // --- life cycle (the application delegate) ---
    void setupInitialUI();
    void updateUI();
    void setChannelData(std::shared_ptr<KLVChannel> channel);
    std::shared_ptr<KLVChannel> channel() const { return channelData_; }
    KLVMovieController& movie() const { return *movieController_; }

    // --- KLVChannelControlling (the command interpreter) ---
    long tag() const override { return tag_; }
    QString channelName() const override;
    KLVMovieControlling* movieController() override;
    KLVChannelPlaylist* channelData() override;
    bool isMaster() const override;
    void playMaster(void* sender) override;
    void stopMaster(void* sender) override;
    void pauseMaster(void* sender) override;
    void seekMasterToTimeCode(const QMTimeCode& timeCode) override;
    std::shared_ptr<KLVPlaylistItem> currentNode() const override;
    long selectedIndex() const override;
    void selectPlaylistItemAtIndex(long index) override;
    void scrollToSelection() override;
    std::shared_ptr<KLVPlaylistItem> nodeWithName(const QString& name) const override;

    // The loaded cue as a document node.
    NodePtr currentPlaylistNode() const { return currentNode_; }
    void setCurrentNode(const NodePtr& node);

    // --- KLVMovieControllerDelegate ---
    void endpointReached() override;
    void seekToSeconds(double seconds, int scrubMode) override;
    void pauseForSeek() override;
    void playFromSeek() override;
    void setHasReference(bool hasReference) override;
    bool showSlate() const override;
    void movieDidLoad() override;

    // --- KLVChannelDelegate ---
    QList<QObject*> channelControllers() const override;

    // --- links ---
    KLVChannelController* linkedController() const { return linkedController_; }
    QList<KLVChannelController*> linkedControllers() const { return linkedControllerArray_; }
    // Every channel linked below this one, directly or through others: each once, a master before
    // its slaves. Rings are refused when linked; the walk still stops at a channel met before and
    // after as many channels as there are.
    QList<KLVChannelController*> linkedBelow() const;
    void establishLinkedChannel();
    void addLinkedChannel(KLVChannelController* slave);
    void removeLinkedChannel(KLVChannelController* slave);
    // The link menu: "None", then "Channel 1".."Channel N"; the own channel's item is disabled.
    QStringList linkMenuTitles() const;
    long selectedLinkIndex() const;
    // The link menu's choice (0 none, k channel k), stored in the document, then linked.
    void selectLinkSetting(long index);

    // --- shared state ---
    bool controlButtonsEnabled() const { return controlButtonsEnabled_; }
    void setControlButtonsEnabled(bool enabled);
    bool isPlaying() const;
    // Read back from the user defaults (main thread); each read also refreshes the copy the
    // preview thread uses.
    long operationMode() const;
    // The record component calls this after it stored a new operation mode: the device claim
    // moves to that mode.
    void operationModeDidChange(long mode);
    QString noDeviceSelectedMenuItemTitle() const;
    void setShowTimeCode(bool show);
    bool hasReference() const { return hasReference_.load(); }
    void selectAlphaSetting(const QString& title);

    // --- preview (the preview display-link thread) ---
    // The preview view's frame and its parent's, in backing pixels (main thread).
    void setPreviewFrames(const QRectF& frame, const QRectF& superviewFrame);
    void drawPreview();
    // Preview thread, without drawing: changes whenever drawPreview would draw something else.
    uint64_t previewStamp();
    // Held for the whole preview drawing; record mode takes it around building and tearing down
    // its input and encoder.
    std::mutex& previewLock() { return previewLock_; }

    // What record mode adds to the output switch and the preview; the record component installs
    // them. enterRecordMode(affectingEncoder) builds the capture input (false: it failed).
    struct RecordHooks {
        std::function<bool(bool affectingEncoder)> enterRecordMode;
        std::function<void()> drawPreview; // called with previewLock() held
        // The record encoder's audio monitor (on: the preview is heard).
        std::function<void(bool on)> setAudioMonitor;
        std::function<uint64_t()> previewStamp; // what drawPreview would draw; previewLock() held
    };
    void setRecordHooks(RecordHooks hooks) { recordHooks_ = std::move(hooks); }
    const RecordHooks& recordHooks() const { return recordHooks_; }

signals:
    // Widgets re-read the controller's state when these fire.
    void stateChanged();
    void menusChanged();
    void currentNodeChanged();
    void playlistChanged();
    // The channel asks for its configuration popover (no output device chosen, or a recording
    // could not be prepared).
    void configurationRequested();

private:
    friend class KLVChannelOutput;
    friend class KLVChannelTransport;
    friend class KLVChannelNextCue;
    friend class KLVChannelImport;
    friend class KLVChannelTableEdits;
    friend class KLVChannelDragDrop;
    friend class KLVChannelRecord;
    friend class KLVChannelOverlay;
    friend struct KLVChannelControllerTestAccess; // tests wire links without the link menu

    KLVChannelControllerDelegate& delegate_;
    long tag_;
    std::shared_ptr<KLVChannel> channelData_;
    std::unique_ptr<KLVChannelPlaylistView> playlistView_;
    std::unique_ptr<KLVMovieController> movieController_;
    NodePtr currentNode_;
    platform::Subscription currentNodeObservation_;
    platform::Subscription devicesObservation_;
    platform::Subscription channelObservation_;
    std::atomic<bool> menusRebuildPending_{false};
    KLVChannelController* linkedController_ = nullptr;
    QList<KLVChannelController*> linkedControllerArray_;
    bool controlButtonsEnabled_ = true;
    bool linkRefused(KLVChannelController* target) const;
    void refuseLink();
    mutable std::atomic<long> cachedOperationMode_{0};
    std::atomic<bool> hasReference_{false};
    std::atomic<bool> referenceNoticePending_{false};
    std::mutex previewLock_;
    RecordHooks recordHooks_;

    std::unique_ptr<KLVChannelOutput> output_;
    std::unique_ptr<KLVChannelTransport> transport_;
    std::unique_ptr<KLVChannelImport> import_;
    std::unique_ptr<KLVChannelTableEdits> table_;
    std::unique_ptr<KLVChannelDragDrop> dragDrop_;
    std::unique_ptr<KLVChannelRecord> record_;
    std::unique_ptr<KLVChannelOverlay> overlay_;
};

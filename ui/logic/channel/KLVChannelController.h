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

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

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

    // --- KLVChannelDelegate ---
    QList<QObject*> channelControllers() const override;

    // --- links ---
    KLVChannelController* linkedController() const { return linkedController_; }
    QList<KLVChannelController*> linkedControllers() const { return linkedControllerArray_; }
    void establishLinkedChannel();
    void addLinkedChannel(KLVChannelController* slave);
    void removeLinkedChannel(KLVChannelController* slave);

    // --- shared state ---
    bool controlButtonsEnabled() const { return controlButtonsEnabled_; }
    void setControlButtonsEnabled(bool enabled);
    bool isPlaying() const;
    long operationMode() const;

signals:
    // Widgets re-read the controller's state when these fire.
    void stateChanged();
    void menusChanged();
    void currentNodeChanged();
    void playlistChanged();
    // The channel asks for its configuration popover (a recording could not be prepared).
    void configurationRequested();

private:
    friend class KLVChannelOutput;
    friend class KLVChannelTransport;
    friend class KLVChannelImport;
    friend class KLVChannelTableEdits;
    friend class KLVChannelDragDrop;
    friend class KLVChannelRecord;
    friend class KLVChannelOverlay;

    KLVChannelControllerDelegate& delegate_;
    long tag_;
    std::shared_ptr<KLVChannel> channelData_;
    std::unique_ptr<KLVChannelPlaylistView> playlistView_;
    std::unique_ptr<KLVMovieController> movieController_;
    NodePtr currentNode_;
    KLVChannelController* linkedController_ = nullptr;
    QList<KLVChannelController*> linkedControllerArray_;
    bool controlButtonsEnabled_ = true;

    std::unique_ptr<KLVChannelOutput> output_;
    std::unique_ptr<KLVChannelTransport> transport_;
    std::unique_ptr<KLVChannelImport> import_;
    std::unique_ptr<KLVChannelTableEdits> table_;
    std::unique_ptr<KLVChannelDragDrop> dragDrop_;
    std::unique_ptr<KLVChannelRecord> record_;
    std::unique_ptr<KLVChannelOverlay> overlay_;
};

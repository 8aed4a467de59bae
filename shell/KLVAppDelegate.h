#pragma once
// The application delegate: it builds the system in order at launch, owns the document, the
// channel controllers, the communications module's interpreter, the media-helper connection,
// the output windows and the main window, and reacts to sleep, wake, screen changes and quit.
// It is what every channel asks of the application (KLVChannelControllerDelegate); its channel
// directory is what the command interpreter asks for the channels, with the all-channel transport
// as the target of commands that address no channel. Main thread.
//
// Launch: applicationWillFinishLaunching (defaults, appearance) before the event loop runs,
// applicationDidFinishLaunching on its first turn. Quit: quitApplication asks first; any quit
// (the menu, SIGTERM, the session ending) ends in applicationWillTerminate, which saves.

#include "app/mediaclient/KLVMediaHelperClient.h"
#include "shell/KLVAllChannelsTransport.h"
#include "shell/KLVChannelDirectory.h"
#include "shell/KLVDataFile.h"
#include "shell/KLVMainWindow.h"
#include "shell/KLVPreviewStrip.h"
#include "ui/widgets/prefs/KLVPreferencesController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelOutput.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QUndoStack>

#include <functional>
#include <memory>
#include <vector>

class AboutWindowController;
class KLVCueInspectorController;
class KLVCueInspectorWindow;
class KLVChannelController;
class KLVInstanceGuard;
class KLVOutputScreens;

class KLVPreviewStrip;
class KLVPlaybackEngine;
class KLVScreenWatcher;
class KLVSleepWatcher;
class QMCommModuleConnectionManager;
class QMCommunicationModuleController;
class QOpenGLContext;

class KLVAppDelegate : public QObject, public KLVChannelControllerDelegate {
    Q_OBJECT
public:
    // What the running program plugs in; tests plug in fakes.
    struct Services {
        KLVPrompter* prompter = nullptr;
        KLVFilePicker* filePicker = nullptr;
        KLVTimerSource* timers = nullptr;
        // The engine of the channel with this tag.
        std::function<std::unique_ptr<KLVPlaybackEngine>(long tag)> engineFactory;
        // Draw a preview strip over the columns (needs OpenGL).
        bool previewStrip = true;
        QOpenGLContext* shareContext = nullptr;
        int channelCount = 4;
        bool outputWindows = true;   // make screen output windows
        bool watchSleep = true;      // logind on the system bus
        // The manual's address; empty: the installed manual (installedManualPath()).
        QString manualUrl;
        // Where Check for Updates sends the user; empty: the package manager's word.
        QString updateFeedUrl;
        // Opens a web page or a local document for the user (the desktop's handler when unset).
        std::function<bool(const QUrl&)> openUrl;
        // Keeps one program per document; none in tests that make no claim.
        KLVInstanceGuard* instanceGuard = nullptr;
    };

    explicit KLVAppDelegate(Services services, QObject* parent = nullptr);
    ~KLVAppDelegate() override;

    // --- launch ---
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    void continueStartupProcedure();
    bool hasFinishedLaunching() const { return launched_; }

    // --- the document ---
    KLVDataFile& dataFile() { return dataFile_; }
    static QString appDataDirectory();
    bool openFileAtURL(const QString& path);
    // Documents another start of the program handed over: opened in turn (the last one stays
    // open, as on the command line), and the window comes to the front.
    void openDocumentsHandedOver(const QStringList& documents);
    void openFile();
    void newFile();
    void save() { saveLocalData(); }

    // --- KLVChannelControllerDelegate ---
    std::shared_ptr<KLVChannel> playlistDataForChannelNumber(long tag) override;
    KLVChannelController* channelControllerForTag(long tag) const override;
    QList<KLVChannelController*> channelControllers() const override;
    void saveLocalData() override;
    void requestMetadataForNode(const NodePtr& node, CompletionBlock completion) override;
    void requestThumbForNode(const NodePtr& node, CompletionBlock completion) override;
    void requestSlateForNode(const NodePtr& node, CompletionBlock completion) override;
    void showInspectorForPlaylistNode(const NodePtr& node, bool withSlateScreen) override;
    float spaceOnVolumeForChannel(KLVChannelController* controller) override;
    void updateRecordingFiles(const QString& path) override;
    void removeThumbnailGeneratorConstraintForFilePath(const QString& path) override;
    bool shouldSurpressFilePathThumbnailGenerator(const QString& path) const override;
    QUndoStack* undoManager() override { return &undo_; }
    KLVPrompter& prompter() override { return *services_.prompter; }
    KLVFilePicker& filePicker() override { return *services_.filePicker; }
    KLVTimerSource& timers() override { return *services_.timers; }

    // --- the channels for the command interpreter ---
    KLVChannelProviding& channelDirectory() { return directory_; }
    KLVAllChannelsTransport& allChannels() { return transport_; }

    // --- communications ---
    QMCommunicationModuleController& commModuleController();
    QMCommModuleConnectionManager& commModuleConnectionManager();
    std::shared_ptr<QMCommModuleConnectionManager> sharedConnectionManager() const { return connectionManager_; }
    // Made on first use; toggles: hidden when it is the active window, else shown in front.
    void preferencesMenuAction();
    KLVPreferencesController* prefsController() const { return prefs_; }
    KLVCueInspectorWindow* inspectorWindow() const { return inspectorWindow_; }

    // --- windows and outputs ---
    KLVMainWindow* mainWindow() const { return mainWindow_; }
    KLVOutputScreens* outputScreens() const { return outputs_.get(); }
    KLVPreviewStrip* previewStrip() const { return preview_; }
    AboutWindowController& aboutWindowController();
    void showAboutWindow();
    void getManual();
    // The manual installed with the program (<bin>/../share/doc/kalvanto/manual.html, so the
    // build tree's too); empty when it is not there.
    static QString installedManualPath(const QString& binDirectory);
    QUrl manualUrl() const;
    void checkForUpdates();
    // The feed address this build was configured with (empty by default).
    static QString configuredUpdateFeedUrl();
    bool isQuadTestMode() const { return quadTestMode_; }
    void setIsQuadTestMode(bool quad);
    bool outputsEnabled() const { return outputsEnabled_; }
    void setOutputsEnabled(bool enabled);
    void toggleConfidenceMonitor() { setOutputsEnabled(!outputsEnabled_); }
    void enableOutputWindows();
    void disableOutputWindows();
    void populateChannelsWithAvailableDVIOutputs();

    // --- the preview strip (display-link thread) ---
    void drawPreview();
    // What drawPreview would draw, as a stamp (the strip draws only when it changes).
    uint64_t previewStamp();
    bool doNotDrawPreview() const { return doNotDrawPreview_.load(); }
    // A channel's state changed (GUI thread): the strip and the output windows look at the
    // channels at the refresh rate again, so a picture that follows is drawn at once.
    void wakePreviews();

    // --- sleep, wake, screens, quit ---
    void machineWillSleep();
    void machineDidWake();
    void machineResolutionDidChange();
    // Asks; true when the user chose to quit (the event loop is then told to end).
    bool quitApplication();
    void applicationWillTerminate();

    bool isPlaying() const { return isPlaying_; }
    void setIsPlaying(bool playing) { isPlaying_ = playing; }

private:
    void initCommModule();
    void initChannelUI();
    // Shows the main window and returns once it is drawn (or after a short bound).
    void showMainWindow();
    void initPreview();
    void initPreviewThread();
    void connectMenus();
    void reloadChannels();
    bool openUrl(const QUrl& url);
    // One program per document: take the new data file before switching to it, let go of the old
    // one after (alerts and answers false when another program holds it).
    bool claimDocument(const QString& path);
    void releaseDocument(const QString& path);
    void forgetRemovedScreen(QScreen* screen);

    Services services_;
    KLVDataFile dataFile_;
    KLVAllChannelsTransport transport_;
    KLVChannelDirectory directory_;
    QUndoStack undo_;
    KLVMediaHelperClient mediaHelper_;
    std::vector<std::unique_ptr<KLVChannelController>> channels_;
    QStringList recordingFiles_;
    bool haveRecordingFiles_ = false;

    QMCommunicationModuleController* commModuleController_ = nullptr;
    std::shared_ptr<QMCommModuleConnectionManager> connectionManager_;

    QPointer<KLVMainWindow> mainWindow_;
    QPointer<KLVPreviewStrip> preview_;
    std::unique_ptr<KLVOutputScreens> outputs_;
    std::unique_ptr<AboutWindowController> about_;
    QPointer<KLVPreferencesController> prefs_;
    std::unique_ptr<KLVCueInspectorController> inspector_;
    KLVCueInspectorWindow* inspectorWindow_ = nullptr;
    KLVSleepWatcher* sleepWatcher_ = nullptr;
    KLVScreenWatcher* screenWatcher_ = nullptr;

    std::atomic<bool> doNotDrawPreview_{false};
    bool quadTestMode_ = false;
    // What each channel played to before the quad test lent it to a quadrant, given back when the
    // test ends (and stored back when the program quits during it).
    struct LentChannel {
        long tag = 0;
        QVariant operationMode;
        KLVChannelOutput::StoredChoice choice;
    };
    std::vector<LentChannel> lentChannels_;
    void lendChannelsToQuadTest();
    void storeLentChoices();
    void giveChannelsBack();
    bool outputsEnabled_ = false;
    bool isPlaying_ = false;
    bool showMainTransportControls_ = false;
    bool launched_ = false;
    bool terminated_ = false;
};

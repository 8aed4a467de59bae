#include "shell/KLVAppDelegate.h"

#include "app/about/AboutWindowController.h"
#include "app/devices/KLVDeviceController.h"
#include "app/devices/KLVOutputWindow.h"
#include "app/moviecontroller/KLVPlaybackEngine.h"
#include "shell/KLVAppearance.h"
#include "shell/KLVInstanceGuard.h"
#include "shell/KLVLocalized.h"
#include "shell/KLVOutputScreens.h"
#include "shell/KLVPreviewStrip.h"
#include "shell/KLVScreenWatcher.h"
#include "shell/KLVSleepWatcher.h"
#include "shell/KLVStartup.h"
#include "engine/base/ssChangeStamp.h"
#include "app/util/KLVFileReveal.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"
#include "ui/logic/channel/KLVChannelTransport.h"
#include "app/defaults/KLVDefaultsKeys.h"
#include "app/ports/KLVFilePicker.h"
#include "app/ports/KLVPrompter.h"
#include "ui/logic/inspector/KLVCueInspectorController.h"
#include "ui/widgets/channel/KLVChannelColumn.h"
#include "ui/widgets/inspector/KLVCueInspectorWindow.h"
#include "ui/widgets/overlay/KLVGraphicOverlayWindow.h"
#include "ui/widgets/playlist/KLVPlaylistPanel.h"
#include "ui/widgets/record/KLVRecordPane.h"
#include "ui/widgets/record/KLVRecordSettingsControls.h"
#include "ui/widgets/channel/KLVChannelConfigPopover.h"
#include "ui/widgets/prefs/KLVPreferencesController.h"
#include "ui/widgets/prefs/KLVSetupViews.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <utility>

namespace {

constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "app";

void logInfo(const QString& text)
{
    platform::log(kSubsystem, kCategory, platform::LogLevel::Info, text);
}

// How long start-up waits for the main window to be drawn before going on regardless.
constexpr int kFirstExposeBoundMs = 500;

// Calls back once, when the window is first exposed (and so drawn).
class KLVFirstExposeWatch : public QObject {
public:
    KLVFirstExposeWatch(QWindow* window, std::function<void()> exposed)
        : window_(window), exposed_(std::move(exposed))
    {
        if (window_)
            window_->installEventFilter(this);
    }
    ~KLVFirstExposeWatch() override
    {
        if (window_)
            window_->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && exposed_ && window_ && window_->isExposed())
            std::exchange(exposed_, nullptr)();
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWindow> window_;
    std::function<void()> exposed_;
};

} // namespace

KLVAppDelegate::KLVAppDelegate(Services services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      dataFile_(*services_.prompter, services_.channelCount),
      transport_([this] { return channelControllers(); }),
      directory_([this] { return channelControllers(); }, [this](long tag) { return channelControllerForTag(tag); }, transport_)
{
}

KLVAppDelegate::~KLVAppDelegate()
{
    // Drawing threads first, then the windows, then the channels they show.
    doNotDrawPreview_.store(true);
    if (preview_)
        preview_->stopDisplayLink();
    outputs_.reset();
    if (commModuleController_)
        commModuleController_->setCommandInterpreter(nullptr);
    if (launched_)
        KLVFileReveal::resetHooks(); // its alert reaches this delegate's prompter
    delete prefs_.data(); // it edits the connection manager's devices
    delete inspectorWindow_;
    inspector_.reset();
    connectionManager_.reset();
    // The columns refer to their channels: they go first.
    delete mainWindow_.data();
    channels_.clear();
}

// --- launch ---

void KLVAppDelegate::applicationWillFinishLaunching()
{
    KLVStartup::registerDefaults();
    KLVAppearance::updateApplicationAppearance();
}

void KLVAppDelegate::applicationDidFinishLaunching()
{
    KLVStartup::setApplicationVersion();
    KLVStartup::startDiagnostics();
    KLVStartup::installPrivilegedHelper(prompter());
    // A file to show that is gone is said in an alert, not only in the log.
    KLVFileReveal::Hooks reveal;
    reveal.alert = [this](const QString& message, const QString& button) {
        KLVAlert alert;
        alert.messageText = message;
        alert.buttons = {button};
        prompter().runModal(alert);
    };
    KLVFileReveal::setHooks(std::move(reveal));

    connect(&platform::UserDefaults::sharedDefaults(), &platform::UserDefaults::changed, this, [](const QString& key) {
        if (key == QLatin1String(KLVAppearance::userAppearanceKey()))
            KLVAppearance::updateApplicationAppearance();
    });
    showMainTransportControls_ = false;
    doNotDrawPreview_.store(false);

    if (services_.watchSleep) {
        sleepWatcher_ = new KLVSleepWatcher(this);
        connect(sleepWatcher_, &KLVSleepWatcher::willSleep, this, &KLVAppDelegate::machineWillSleep);
        connect(sleepWatcher_, &KLVSleepWatcher::didWake, this, &KLVAppDelegate::machineDidWake);
        sleepWatcher_->start();
    }
    screenWatcher_ = new KLVScreenWatcher(this);
    connect(screenWatcher_, &KLVScreenWatcher::screensChanged, this, &KLVAppDelegate::machineResolutionDidChange);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &KLVAppDelegate::forgetRemovedScreen);
    // The session ending (logout) saves like every other way out.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { saveLocalData(); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &KLVAppDelegate::applicationWillTerminate);

    continueStartupProcedure();
    launched_ = true;
    KLVStartup::markLaunchCompleted();
}

void KLVAppDelegate::continueStartupProcedure()
{
    mainWindow_ = new KLVMainWindow;
    mainWindow_->setWindowTitle(QStringLiteral("Kalvanto"));
    // Four columns of their natural width, as high as the screen allows.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int available = screen ? screen->availableGeometry().height() : 900;
    mainWindow_->resize(1280, std::clamp(available - 60, 600, 900));
    connectMenus();
    if (services_.outputWindows) {
        outputs_ = std::make_unique<KLVOutputScreens>(KLVDeviceController::sharedController(), services_.shareContext);
        outputs_->setStopOutputDevices([this] {
            for (KLVChannelController* channel : channelControllers())
                channel->output().stopOutputDevice();
        });
    }
    // The operator sees the window first; what does not draw it (output windows and cards, the
    // communications module, each channel's device, the preview strip) comes after.
    initChannelUI();
    showMainWindow();
    if (!quadTestMode_)
        setIsQuadTestMode(false);
    initCommModule();
    for (auto& channel : channels_)
        channel->setupInitialUI();
    initPreview();
    initPreviewThread();
    // The media helper is ready before the first import asks it for anything.
    QTimer::singleShot(0, this, [this] { mediaHelper_.startService(); });
}

void KLVAppDelegate::showMainWindow()
{
    mainWindow_->show();
    mainWindow_->activateWindow();
    mainWindow_->raise();
    // Until the window is on the screen and drawn, only it is served: no input reaches the
    // channels being set up, sockets (a quit signal, another start handing over documents) wait
    // for the event loop proper, and a window that is never exposed (another desktop) holds
    // start-up for a moment at most.
    constexpr QEventLoop::ProcessEventsFlags kWindowOnly =
        QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers;
    QWindow* window = mainWindow_->windowHandle();
    QEventLoop drawn;
    QTimer bound;
    bound.setSingleShot(true);
    connect(&bound, &QTimer::timeout, &drawn, &QEventLoop::quit);
    bound.start(kFirstExposeBoundMs);
    KLVFirstExposeWatch watch(window, [&drawn] { QTimer::singleShot(0, &drawn, &QEventLoop::quit); });
    if (window && !window->isExposed())
        drawn.exec(kWindowOnly);
    QCoreApplication::processEvents(kWindowOnly);
}

void KLVAppDelegate::initCommModule()
{
    if (commModuleController_)
        return;
    // Every parser class must be known before the module maps its type numbers and before the
    // device file names them.
    KLVStartup::registerClasses();
    // Each link's configuration sheet shows its setup view; without them no port, address or
    // line could be chosen from the window.
    KLVSetupViews::install();
    QMCommunicationModuleController& module = QMCommunicationModuleController::sharedController();
    if (!module.availableParsers()) // the module starts once per process
        module.startupWithAvailableTypes(KLVStartup::availableParserTypes());
    commModuleController_ = &module;
    QMCommModuleConnectionManager& manager = commModuleConnectionManager();
    module.setCommandInterpreter(connectionManager_);
    manager.setCommModuleController(&module);
}

QMCommunicationModuleController& KLVAppDelegate::commModuleController()
{
    if (!commModuleController_)
        initCommModule();
    return *commModuleController_;
}

QMCommModuleConnectionManager& KLVAppDelegate::commModuleConnectionManager()
{
    if (!connectionManager_) {
        connectionManager_ = std::make_shared<QMCommModuleConnectionManager>(appDataDirectory());
        connectionManager_->setDelegate(&directory_);
    }
    return *connectionManager_;
}

void KLVAppDelegate::preferencesMenuAction()
{
    if (!prefs_) {
        prefs_ = new KLVPreferencesController(commModuleConnectionManager(), commModuleController());
        prefs_->setWindowTitle(tr("Control Devices"));
    }
    if (prefs_->isVisible() && prefs_->isActiveWindow()) {
        prefs_->hide();
        return;
    }
    prefs_->show();
    prefs_->raise();
    prefs_->activateWindow();
}

void KLVAppDelegate::initChannelUI()
{
    KLVStartup::registerClasses(); // the document classes, before the document is read
    std::vector<KLVMainWindow::Column> columns;
    QWidget* firstPlaylist = nullptr;
    for (long tag = 1; tag <= services_.channelCount; ++tag) {
        std::unique_ptr<KLVPlaybackEngine> engine = services_.engineFactory ? services_.engineFactory(tag) : nullptr;
        auto channel = std::make_unique<KLVChannelController>(*this, tag, std::move(engine));
        auto* column = new KLVChannelColumn(*channel);
        auto* playlist = new KLVPlaylistPanel(*channel);
        if (!firstPlaylist)
            firstPlaylist = playlist;
        column->setPlaylistWidget(playlist);
        column->setRecordView(new KLVRecordPane(*channel));
        column->configurationPopover()->setRecordSettings(new KLVRecordSettingsControls(*channel));
        KLVGraphicOverlayWindow::install(*channel);
        columns.push_back({column, column->previewFrame()});
        connect(channel.get(), &KLVChannelController::stateChanged, this, &KLVAppDelegate::wakePreviews);
        channels_.push_back(std::move(channel));
    }
    mainWindow_->setColumns(columns);
    // The keyboard starts in the first channel's cues, not in the first text field (its name).
    if (firstPlaylist)
        firstPlaylist->setFocus(Qt::OtherFocusReason);
}

void KLVAppDelegate::initPreview()
{
    if (!mainWindow_)
        return;
    if (!mainWindow_->preview() && services_.previewStrip)
        preview_ = new KLVPreviewStrip([this] { drawPreview(); }, [this] { return previewStamp(); });
    mainWindow_->setPreview(preview_);
}

void KLVAppDelegate::initPreviewThread()
{
    if (preview_)
        preview_->startDisplayLink();
}

void KLVAppDelegate::connectMenus()
{
    KLVMainWindow* w = mainWindow_;
    connect(w->aboutAction, &QAction::triggered, this, &KLVAppDelegate::showAboutWindow);
    connect(w->preferencesAction, &QAction::triggered, this, &KLVAppDelegate::preferencesMenuAction);
    connect(w->quitAction, &QAction::triggered, this, &KLVAppDelegate::quitApplication);
    connect(w->newAction, &QAction::triggered, this, &KLVAppDelegate::newFile);
    connect(w->openAction, &QAction::triggered, this, &KLVAppDelegate::openFile);
    connect(w->saveAction, &QAction::triggered, this, &KLVAppDelegate::save);
    connect(w->outputsAction, &QAction::triggered, this, [this](bool on) { setOutputsEnabled(on); });
    connect(w->quadTestAction, &QAction::triggered, this, [this](bool on) { setIsQuadTestMode(on); });
    connect(w->manualAction, &QAction::triggered, this, &KLVAppDelegate::getManual);
    w->manualAction->setEnabled(!manualUrl().isEmpty());
    connect(w->updatesAction, &QAction::triggered, this, &KLVAppDelegate::checkForUpdates);
    w->setUndoStack(&undo_);
}

// --- the document ---

QString KLVAppDelegate::appDataDirectory()
{
    return platform::applicationDataFolder();
}

std::shared_ptr<KLVChannel> KLVAppDelegate::playlistDataForChannelNumber(long tag)
{
    return dataFile_.playlistDataForChannelNumber(tag);
}

void KLVAppDelegate::saveLocalData()
{
    dataFile_.saveLocalData();
}

bool KLVAppDelegate::openFileAtURL(const QString& path)
{
    KLVStartup::registerClasses(); // a document named at start is read before the channels are made
    const QString previous = KLVDataFile::dataFilePath();
    if (!claimDocument(path))
        return false;
    if (!dataFile_.openFileAtURL(path)) {
        releaseDocument(path);
        return false;
    }
    releaseDocument(previous);
    reloadChannels();
    return true;
}

void KLVAppDelegate::openDocumentsHandedOver(const QStringList& documents)
{
    if (!launched_) {
        QTimer::singleShot(100, this, [this, documents] { openDocumentsHandedOver(documents); });
        return;
    }
    for (const QString& document : documents)
        openFileAtURL(document);
    if (mainWindow_) {
        mainWindow_->show();
        mainWindow_->raise();
        mainWindow_->activateWindow();
    }
}

bool KLVAppDelegate::claimDocument(const QString& path)
{
    KLVInstanceGuard* guard = services_.instanceGuard;
    if (!guard || guard->acquire(path))
        return true;
    KLVAlert alert;
    alert.messageText = KLVLocalized::text("QM_DOCUMENT_OPEN_ELSEWHERE");
    alert.informativeText = path;
    alert.buttons = {KLVLocalized::text("QM_OK")};
    prompter().runModal(alert);
    return false;
}

void KLVAppDelegate::releaseDocument(const QString& path)
{
    KLVInstanceGuard* guard = services_.instanceGuard;
    if (guard && KLVInstanceGuard::serverName(path) != KLVInstanceGuard::serverName(KLVDataFile::dataFilePath()))
        guard->release(path);
}

void KLVAppDelegate::reloadChannels()
{
    for (auto& channel : channels_)
        channel->setChannelData(playlistDataForChannelNumber(channel->tag()));
    for (auto& channel : channels_) {
        channel->establishLinkedChannel();
        channel->table().reloadTable();
    }
}

void KLVAppDelegate::openFile()
{
    KLVOpenPanelOptions options;
    options.directory = QFileInfo(KLVDataFile::dataFilePath()).absolutePath();
    options.fileExtensions = {QStringLiteral("klv3")};
    const QStringList chosen = filePicker().runOpenPanel(options);
    if (!chosen.isEmpty())
        openFileAtURL(chosen.first());
}

void KLVAppDelegate::newFile()
{
    const QString path = filePicker().runSavePanel(QString(), KLVDataFile::dataFilePath());
    if (path.isEmpty())
        return;
    const QString previous = KLVDataFile::dataFilePath();
    if (!claimDocument(path))
        return;
    if (!dataFile_.newFile(path)) {
        releaseDocument(path);
        return;
    }
    releaseDocument(previous);
    reloadChannels();
}

// --- channels ---

KLVChannelController* KLVAppDelegate::channelControllerForTag(long tag) const
{
    if (tag >= 1 && tag <= long(channels_.size()) && channels_[size_t(tag - 1)]->tag() == tag)
        return channels_[size_t(tag - 1)].get();
    for (const auto& channel : channels_)
        if (channel->tag() == tag)
            return channel.get();
    return nullptr;
}

QList<KLVChannelController*> KLVAppDelegate::channelControllers() const
{
    QList<KLVChannelController*> list;
    for (const auto& channel : channels_)
        list.append(channel.get());
    return list;
}

void KLVAppDelegate::requestMetadataForNode(const NodePtr& node, CompletionBlock completion)
{
    mediaHelper_.requestMetadataForNode(node, std::move(completion));
}

void KLVAppDelegate::requestThumbForNode(const NodePtr& node, CompletionBlock completion)
{
    mediaHelper_.requestThumbForNode(node, std::move(completion));
}

void KLVAppDelegate::requestSlateForNode(const NodePtr& node, CompletionBlock completion)
{
    mediaHelper_.requestSlateForNode(node, std::move(completion));
}

void KLVAppDelegate::showInspectorForPlaylistNode(const NodePtr& node, bool withSlateScreen)
{
    if (!inspector_) {
        inspector_ = std::make_unique<KLVCueInspectorController>(
            *this, services_.engineFactory ? services_.engineFactory(0) : nullptr);
        // The picture needs OpenGL, as the preview strip does.
        inspectorWindow_ = new KLVCueInspectorWindow(*inspector_, services_.previewStrip);
    }
    inspectorWindow_->inspectCue(node, withSlateScreen);
}

float KLVAppDelegate::spaceOnVolumeForChannel(KLVChannelController* controller)
{
    if (!controller)
        return 0;
    const QString volume = controller->record().getVolume();
    float sum = 0;
    for (const auto& channel : channels_)
        if (channel.get() != controller)
            sum += channel->record().spaceNeededOnVolume(volume);
    return sum;
}

void KLVAppDelegate::updateRecordingFiles(const QString& path)
{
    haveRecordingFiles_ = true;
    if (!recordingFiles_.contains(path))
        recordingFiles_.append(path);
    logInfo(QStringLiteral("add filePath: %1").arg(recordingFiles_.join(QStringLiteral(", "))));
}

void KLVAppDelegate::removeThumbnailGeneratorConstraintForFilePath(const QString& path)
{
    if (!haveRecordingFiles_)
        return;
    recordingFiles_.removeAll(path);
    logInfo(QStringLiteral("remove filePath: %1").arg(recordingFiles_.join(QStringLiteral(", "))));
}

bool KLVAppDelegate::shouldSurpressFilePathThumbnailGenerator(const QString& path) const
{
    return haveRecordingFiles_ && !recordingFiles_.isEmpty() && recordingFiles_.contains(path);
}

// --- windows and outputs ---

AboutWindowController& KLVAppDelegate::aboutWindowController()
{
    if (!about_)
        about_ = std::make_unique<AboutWindowController>(mainWindow_);
    return *about_;
}

void KLVAppDelegate::showAboutWindow()
{
    aboutWindowController().showWindow();
}

QString KLVAppDelegate::installedManualPath(const QString& binDirectory)
{
    const QString path = QDir::cleanPath(binDirectory + QStringLiteral("/../share/doc/kalvanto/manual.html"));
    return QFileInfo(path).isFile() ? path : QString();
}

QUrl KLVAppDelegate::manualUrl() const
{
    if (!services_.manualUrl.isEmpty())
        return QUrl(services_.manualUrl);
    const QString installed = installedManualPath(QCoreApplication::applicationDirPath());
    return installed.isEmpty() ? QUrl() : QUrl::fromLocalFile(installed);
}

void KLVAppDelegate::getManual()
{
    const QUrl url = manualUrl();
    if (!url.isEmpty() && !openUrl(url))
        logInfo(QStringLiteral("could not open the manual at %1").arg(url.toString()));
}

bool KLVAppDelegate::openUrl(const QUrl& url)
{
    return services_.openUrl ? services_.openUrl(url) : QDesktopServices::openUrl(url);
}

QString KLVAppDelegate::configuredUpdateFeedUrl()
{
    return QStringLiteral(KLV_UPDATE_FEED_URL);
}

void KLVAppDelegate::checkForUpdates()
{
    if (!services_.updateFeedUrl.isEmpty()) {
        const QUrl feed(services_.updateFeedUrl);
        if (!openUrl(feed))
            logInfo(QStringLiteral("could not open the update page at %1").arg(feed.toString()));
        return;
    }
    // Installed from a package: the package manager that installed it also updates it.
    KLVAlert alert;
    alert.messageText = KLVLocalized::text("QM_CHECK_FOR_UPDATES");
    alert.informativeText = KLVLocalized::text("QM_UPDATES_FROM_PACKAGE").replace(QStringLiteral("%@"), QCoreApplication::applicationVersion());
    alert.buttons = {KLVLocalized::text("QM_OK")};
    alert.style = KLVAlert::Style::Informational;
    prompter().runModal(alert);
}

void KLVAppDelegate::setIsQuadTestMode(bool quad)
{
    if (quad && !quadTestMode_)
        lendChannelsToQuadTest();
    quadTestMode_ = quad;
    if (mainWindow_)
        mainWindow_->quadTestAction->setChecked(quad);
    if (outputs_) {
        if (quad) {
            QScreen* mainScreen = mainWindow_ && mainWindow_->windowHandle() ? mainWindow_->windowHandle()->screen()
                                                                             : QGuiApplication::primaryScreen();
            outputs_->configureQuadTestOutput(mainScreen);
            QTimer::singleShot(500, this, &KLVAppDelegate::populateChannelsWithAvailableDVIOutputs);
        } else {
            outputs_->configureStandardOutput();
        }
    }
    if (!quad)
        giveChannelsBack();
    if (outputsEnabled_)
        enableOutputWindows();
    else
        disableOutputWindows();
}

void KLVAppDelegate::lendChannelsToQuadTest()
{
    lentChannels_.clear();
    auto& defaults = platform::UserDefaults::sharedDefaults();
    for (KLVChannelController* channel : channelControllers())
        lentChannels_.push_back(
            {channel->tag(),
             defaults.objectForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedOperationMode, channel->tag())),
             channel->output().storedChoice()});
}

void KLVAppDelegate::storeLentChoices()
{
    auto& defaults = platform::UserDefaults::sharedDefaults();
    for (const LentChannel& lent : lentChannels_) {
        const QString modeKey = KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedOperationMode, lent.tag);
        if (lent.operationMode.isValid())
            defaults.setObject(lent.operationMode, modeKey);
        else
            defaults.removeObjectForKey(modeKey);
        KLVChannelOutput::storeChoice(lent.tag, lent.choice);
    }
}

void KLVAppDelegate::giveChannelsBack()
{
    // The standard outputs (cards included) exist again: each channel returns to its own mode,
    // device and format, and its cue is loaded again so the output shows it.
    const std::vector<LentChannel> lent = std::move(lentChannels_);
    lentChannels_.clear();
    for (const LentChannel& entry : lent) {
        KLVChannelController* channel = channelControllerForTag(entry.tag);
        if (!channel)
            continue;
        const long mode = entry.operationMode.isValid() ? long(entry.operationMode.toLongLong()) : 0;
        if (channel->operationMode() != mode)
            channel->record().setOperationMode(mode, false);
        channel->output().restoreChoice(entry.choice);
        QPointer<KLVChannelController> guard(channel);
        QTimer::singleShot(0, this, [guard] {
            if (guard && guard->output().deviceEnabled())
                guard->import().reselectPlaylistItem();
        });
    }
}

void KLVAppDelegate::populateChannelsWithAvailableDVIOutputs()
{
    if (!outputs_ || outputs_->numDVIOutputs() < 1)
        return;
    // Outputs beyond the channel count have no channel to go to.
    const int n = KLVChannelLayout::channelsWithOutputs(outputs_->numDVIOutputs(), int(channels_.size()));
    for (int j = 0; j < n; ++j)
        channels_[size_t(j)]->output().unselectDevice();
    for (int j = 0; j < n; ++j) {
        KLVChannelController* channel = channels_[size_t(j)].get();
        channel->record().setOperationMode(0, true);
        channel->output().selectDeviceByName(outputs_->outputName(j));
        QPointer<KLVChannelController> guard(channel);
        QTimer::singleShot(0, this, [guard] {
            if (guard)
                guard->import().reselectPlaylistItem();
        });
    }
}

void KLVAppDelegate::setOutputsEnabled(bool enabled)
{
    outputsEnabled_ = enabled;
    if (mainWindow_)
        mainWindow_->outputsAction->setChecked(enabled);
    if (enabled)
        enableOutputWindows();
    else
        disableOutputWindows();
}

void KLVAppDelegate::enableOutputWindows()
{
    if (quadTestMode_) {
        if (outputs_)
            outputs_->showQuadWindows(true);
        return;
    }
    for (auto& channel : channels_)
        channel->output().setOutputIsEnabled(true);
}

void KLVAppDelegate::disableOutputWindows()
{
    if (quadTestMode_) {
        if (outputs_)
            outputs_->showQuadWindows(false);
        return;
    }
    for (auto& channel : channels_)
        channel->output().setOutputIsEnabled(false);
}

// --- preview ---

void KLVAppDelegate::drawPreview()
{
    if (doNotDrawPreview_.load())
        return;
    if (QOpenGLContext* context = QOpenGLContext::currentContext()) {
        QOpenGLFunctions* gl = context->functions();
        gl->glClearColor(0, 0, 0, 1);
        gl->glClear(GL_COLOR_BUFFER_BIT);
    }
    for (const auto& channel : channels_)
        channel->transport().drawPreview();
}

uint64_t KLVAppDelegate::previewStamp()
{
    ssChangeStamp stamp;
    stamp.Add(doNotDrawPreview_.load());
    for (const auto& channel : channels_)
        stamp.Add(channel->previewStamp());
    return stamp.Value();
}

void KLVAppDelegate::wakePreviews()
{
    if (preview_)
        preview_->invalidate();
    if (outputs_)
        for (int i = 0; i < outputs_->numDVIOutputs(); ++i)
            if (KLVOutputWindow* window = outputs_->window(i))
                window->wakeRendering();
}

// --- sleep, wake, screens, quit ---

void KLVAppDelegate::machineWillSleep()
{
    transport_.stop();
    doNotDrawPreview_.store(true);
}

void KLVAppDelegate::machineDidWake()
{
    doNotDrawPreview_.store(false);
}

void KLVAppDelegate::forgetRemovedScreen(QScreen* screen)
{
    if (outputs_)
        outputs_->screenRemoved(screen);
}

void KLVAppDelegate::machineResolutionDidChange()
{
    transport_.stop();
    doNotDrawPreview_.store(true);
    setOutputsEnabled(false);
    if (mainWindow_)
        mainWindow_->relayoutChannels(int(channels_.size()));
    initPreview();
    doNotDrawPreview_.store(false);
}

bool KLVAppDelegate::quitApplication()
{
    if (mainWindow_) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget == mainWindow_ || widget->parentWidget() != mainWindow_ || !widget->isWindow())
                continue;
            widget->setWindowOpacity(0.0);
            widget->hide();
        }
    }
    KLVAlert alert;
    alert.messageText = KLVLocalized::text("QM_QUIT_CONFIRMATION");
    alert.buttons = {KLVLocalized::text("QM_OK"), KLVLocalized::text("QM_CANCEL")};
    alert.style = KLVAlert::Style::Warning;
    if (prompter().runModal(alert) != 0)
        return false;
    QCoreApplication::quit();
    return true;
}

void KLVAppDelegate::applicationWillTerminate()
{
    if (terminated_)
        return;
    terminated_ = true;
    // The preview's drawing thread stops before any window is taken down: a swap into a window
    // going away on the main thread ends the program at quit.
    doNotDrawPreview_.store(true);
    if (preview_)
        preview_->stopDisplayLink();
    // The quadrants are gone with the program: the next start finds each channel's own choice.
    if (quadTestMode_)
        storeLentChoices();
    saveLocalData();
    disableOutputWindows();
    platform::UserDefaults::sharedDefaults().synchronize();
}

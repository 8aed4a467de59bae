#include "ui/logic/channel/KLVChannelRecord.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/devices/KLVDeviceController.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/ports/KLVFilePicker.h"
#include "app/ports/KLVPrompter.h"
#include "app/ports/KLVTimerSource.h"
#include "app/util/KLVUtilities.h"
#include "engine/base/ssChangeStamp.h"
#include "engine/output/ssBaseOutput.h"
#include "platform/foundation/UserDefaults.h"
#include "resources/strings/KLVLocalized.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelTexts.h"
#include "ui/logic/channel/KLVChannelTransport.h"
#include "ui/logic/record/KLVDeckLinkRecorder.h"
#include "ui/logic/record/KLVRecordingPath.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QUrl>

namespace {


platform::UserDefaults& defaults()
{
    return platform::UserDefaults::sharedDefaults();
}

QString nowText()
{
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +0000"));
}

bool writableDirectory(const QString& dir)
{
    const QFileInfo info(dir);
    return !dir.isEmpty() && info.isDir() && info.isWritable();
}

double storageFreeBytes(const QString& path)
{
    const QStorageInfo storage(path);
    return storage.isValid() ? double(storage.bytesAvailable()) : 0.0;
}

} // namespace

KLVChannelRecord::KLVChannelRecord(KLVChannelController& channel)
    : channel_(channel), factory_(KLVDeckLinkRecorder::factory()), freeSpace_(storageFreeBytes),
      previewLock_(channel.previewLock())
{
    KLVChannelController::RecordHooks hooks;
    // The output's device switch builds without a file, before it marks the device enabled.
    hooks.enterRecordMode = [this](bool) {
        inDeviceSwitch_ = true;
        const bool built = enterRecordMode(false);
        inDeviceSwitch_ = false;
        return built;
    };
    hooks.drawPreview = [this] { drawPreviewLocked(); };
    hooks.previewStamp = [this] { return previewStampLocked(); };
    hooks.setAudioMonitor = [this](bool on) {
        std::lock_guard lock(previewLock_);
        if (recorder_)
            recorder_->setAudioMonitor(on);
    };
    channel_.setRecordHooks(std::move(hooks));
}

KLVChannelRecord::~KLVChannelRecord()
{
    // A running recording is finished by the encoder as it goes.
    std::lock_guard lock(previewLock_);
    destroyRecorderLocked();
}

// --- settings ---

long KLVChannelRecord::operationMode() const
{
    return long(defaults().integerForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedOperationMode, channel_.tag())));
}

int KLVChannelRecord::compressionCodec() const
{
    return int(defaults().integerForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastCodec, channel_.tag())));
}

int KLVChannelRecord::audioChannelCount() const
{
    return int(defaults().integerForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastAudioChannelCount, channel_.tag())));
}

QString KLVChannelRecord::recordingDirectory() const
{
    return defaults().stringForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastRecordingDirectory, channel_.tag()));
}

QString KLVChannelRecord::recordingFileName() const
{
    return defaults().stringForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastRecordingFileName, channel_.tag()));
}

QString KLVChannelRecord::recordingDurationText() const
{
    return defaults().stringForKey(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastRecordingDuration, channel_.tag()));
}

void KLVChannelRecord::setCompressionCodec(int codec)
{
    defaults().setObject(codec, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastCodec, channel_.tag()));
    changed();
}

void KLVChannelRecord::setAudioChannelCount(int count)
{
    defaults().setObject(std::clamp(count, 2, 16),
                         KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastAudioChannelCount, channel_.tag()));
    changed();
}

void KLVChannelRecord::setRecordingDirectory(const QString& dir)
{
    defaults().setObject(dir, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastRecordingDirectory, channel_.tag()));
    checkIfRecordingLocationIsValid();
}

void KLVChannelRecord::setRecordingFileName(const QString& name)
{
    defaults().setObject(name, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastRecordingFileName, channel_.tag()));
    changed();
}

void KLVChannelRecord::setRecordingDuration(const QString& text)
{
    defaults().setObject(text, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastRecordingDuration, channel_.tag()));
    updateFileSizeDescription(true);
}

int KLVChannelRecord::recordingDurationInSeconds() const
{
    return KLVRecordFormat::durationInSeconds(recordingDurationText());
}

// --- mode and device ---

bool KLVChannelRecord::setOperationMode(long mode, bool affectingEncoder)
{
    // Switching would tear the encoder down under a running file.
    if (isRecording())
        return false;
    setIsReadyToRecord(false);
    defaults().setObject(qlonglong(mode), KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedOperationMode, channel_.tag()));
    const long stored = operationMode();
    channel_.operationModeDidChange(stored);
    if (stored == 0) {
        if (affectingEncoder && hasRecorder())
            leaveRecordMode();
    } else if (stored == 1) {
        if (affectingEncoder) {
            enterRecordMode(false);
        } else {
            // A channel restored in record mode checks its setup as an edit of the location
            // does, rather than showing the folder as unusable until one.
            checkIfRecordingLocationIsValid();
            updateFileSizeDescription(false);
        }
    }
    emit channel_.menusChanged();
    changed();
    return true;
}

bool KLVChannelRecord::enterRecordMode(bool withPath)
{
    if (isRecording()) {
        lastError_ = QStringLiteral("The channel is recording; stop the recording first.");
        return false;
    }
    // The previous build (and any prepared recording) is gone after this.
    setIsReadyToRecord(false);
    bool ok = false;
    {
        std::lock_guard lock(previewLock_);
        ok = enterLocked(withPath);
    }
    checkIfRecordingLocationIsValid();
    updateFileSizeDescription(false);
    changed();
    return ok;
}

bool KLVChannelRecord::enterLocked(bool withPath)
{
    lastError_.clear();
    ssBaseOutput* device = channel_.output().outputDevice();
    const int modeIndex = int(channel_.output().outputMode());
    if (!inputChosen()) {
        lastError_ = missingInputText();
        return false;
    }
    destroyRecorderLocked();
    if (KLVPlaybackEngine* engine = channel_.movie().movie())
        engine->SetOutputDevice(nullptr, -1);

    recorder_ = factory_();
    const int channels = KLVRecordFormat::inputAudioChannels(audioChannelCount());
    if (!recorder_ || recorder_->openInput(device, modeIndex, channels) != 0) {
        // A half-opened input is of no use to anyone: free it now.
        destroyRecorderLocked();
        inputFailed_ = true;
        lastError_ = KLVChannelTexts::localized("NO_INPUT_DEVICE_SELECTED");
        emit channel_.menusChanged();
        return false;
    }
    inputFailed_ = false;
    const KLVInputFormat format = recorder_->inputFormat();
    recordingRate_ = format.frameRate;
    const int codec = compressionCodec();

    QString path;
    if (withPath) {
        QString error;
        KLVChannelControllerDelegate& delegate = channel_.delegate();
        path = KLVRecordingPath::createRecordingFile(
            recordingDirectory(), recordingFileName(),
            [&delegate](const QString& p) { return delegate.shouldSurpressFilePathThumbnailGenerator(p); }, &error);
        if (path.isEmpty()) {
            destroyRecorderLocked();
            lastError_ = QStringLiteral("The recording file could not be created in %1: %2")
                             .arg(recordingDirectory(), error);
            return false;
        }
        recordingVideoPath_ = path;
        createdPath_ = path;
        createdFileUsed_ = false;
        delegate.updateRecordingFiles(path);
        recorder_->setFilePath(QFile::encodeName(path).toStdString());
    }
    recorder_->setAudioMonitor(!channel_.transport().mutePreview());
    KLVEncoderSettings settings;
    settings.format = format;
    settings.audioChannels = channels;
    settings.durationLimit = recordingDurationInSeconds();
    settings.codec = codec;
    const int opened = recorder_->openEncoder(settings);
    // Without a file the encoder answers -1 and still encodes for the preview; with one, -1 means
    // nothing would be written.
    if (opened != 0 && (withPath || opened != -1)) {
        destroyRecorderLocked();
        if (withPath) {
            discardUnusedFile();
            lastError_ = QStringLiteral("The recording \"%1\" could not be prepared (codec %2, %3 s).")
                             .arg(QFileInfo(path).fileName())
                             .arg(codec)
                             .arg(settings.durationLimit);
        } else {
            lastError_ = QStringLiteral("The encoder could not start (%1).").arg(opened);
        }
        return false;
    }
    recorderHasFile_ = withPath;
    recorder_->start();
    startPreviewKeepAlive();
    return true;
}

void KLVChannelRecord::destroyRecorderLocked()
{
    previewKeepAlive_.reset();
    recorder_.reset();
    recorderHasFile_ = false;
}

bool KLVChannelRecord::hasRecorder() const
{
    std::lock_guard lock(previewLock_);
    return recorder_ != nullptr;
}

void KLVChannelRecord::leaveRecordMode()
{
    if (isRecording())
        stopRecording();
    {
        std::lock_guard lock(previewLock_);
        if (recorder_)
            recorder_->stopInput();
        destroyRecorderLocked();
    }
    discardUnusedFile();
    ssBaseOutput* device = channel_.output().outputDevice();
    if (KLVPlaybackEngine* engine = channel_.movie().movie())
        engine->SetOutputDevice(device, device ? int32_t(channel_.output().outputMode()) : -1);
    changed();
}

// --- the operator's actions ---

void KLVChannelRecord::alert(const QString& message, const QString& informative)
{
    KLVAlert a;
    a.messageText = message;
    a.informativeText = informative;
    a.buttons = {KLVChannelTexts::localized("QM_OK")};
    channel_.delegate().prompter().runModal(a);
}

void KLVChannelRecord::failPrepare(const QString& key, const QString& informative)
{
    alert(KLVChannelTexts::localized(key.toLatin1().constData()), informative);
}

bool KLVChannelRecord::prepareRecordSession()
{
    if (isRecording())
        return false;
    log_.clear();
    const QString duration = recordingDurationText();
    if (recordingDirectory().isEmpty()) {
        failPrepare(QStringLiteral("QM_SELECT_LOCATION"));
        return false;
    }
    if (recordingFileName().isEmpty()) {
        failPrepare(QStringLiteral("QM_SELECT_FILENAME"));
        return false;
    }
    if (!KLVRecordFormat::isValidFileName(recordingFileName())) {
        failPrepare(QStringLiteral("QM_NAME_INVALID"));
        return false;
    }
    // A duration that reads as no time at all would record nothing.
    if (duration.trimmed().isEmpty() || recordingDurationInSeconds() <= 0) {
        failPrepare(QStringLiteral("QM_SELECT_DURATION"));
        return false;
    }
    updateFileSizeDescription(false);
    if (fileSizeWarning_) {
        failPrepare(QStringLiteral("QM_FILE_SIZE_TOO_BIG"));
        return false;
    }
    compressionLabel_ = KLVChannelTexts::localized(KLVRecordFormat::codecLabelKey(compressionCodec()).toLatin1().constData());
    audioChannelsLabel_ = QStringLiteral("%1 Channel(s)").arg(audioChannelCount());
    if (!enterRecordMode(true)) {
        const QString name = recordingVideoPath_.isEmpty() ? QString() : QFileInfo(recordingVideoPath_).fileName();
        if (inputFailed_)
            alert(KLVChannelTexts::localized("QM_NO_INPUT_DEVICE"), name);
        else
            alert(lastError_);
        emit channel_.configurationRequested();
        return false;
    }
    didStopRecording_ = false;
    const QString text = KLVRecordFormat::durationText(recordingDurationInSeconds());
    defaults().setObject(text, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastRecordingDuration, channel_.tag()));
    durationLabel_ = text;
    int64_t capacity = 0;
    {
        std::lock_guard lock(previewLock_);
        capacity = recorder_ ? recorder_->frameCapacity() : 0;
    }
    showRecordingTimes(0, capacity);
    updateFileSizeDescription(false);
    setIsReadyToRecord(true);
    return true;
}

void KLVChannelRecord::recordButtonAction()
{
    const bool stopping = isRecording();
    QList<KLVChannelController*> channels{&channel_};
    for (KLVChannelController* slave : channel_.linkedControllers())
        if (slave && slave != &channel_ && slave->operationMode() == 1)
            channels.append(slave);
    for (KLVChannelController* c : channels) {
        if (stopping)
            c->record().stopRecording();
        else
            c->record().startRecording();
    }
}

void KLVChannelRecord::recordingStopButtonAction()
{
    if (isRecording())
        stopRecording();
}

void KLVChannelRecord::cancelCurrentRecording()
{
    if (!isRecording() && !didStopRecording_)
        discardUnusedFile();
    stopRecording();
    setIsReadyToRecord(false);
}

void KLVChannelRecord::discardUnusedFile()
{
    if (createdPath_.isEmpty() || createdFileUsed_)
        return;
    // Only the empty file this channel made itself.
    QFile::remove(createdPath_);
    channel_.delegate().removeThumbnailGeneratorConstraintForFilePath(createdPath_);
    createdPath_.clear();
}

void KLVChannelRecord::startRecording()
{
    if (isRecording())
        return;
    if (didStopRecording_) {
        if (!prepareRecordSession())
            return;
    } else if (!isReadyToRecord_) {
        // Never prepared (a linked channel in record mode): nothing to record into.
        return;
    }
    {
        std::lock_guard lock(previewLock_);
        if (!recorder_ || !recorderHasFile_)
            return;
        recorder_->resetBuffer();
        recorder_->startRecording();
        createdFileUsed_ = true;
        stopQueued_.store(false);
        writeQueue_ = {};
        videoQueue_ = {};
        isRecording_.store(true);
    }
    startUpdatingTextFields();
    addRecordLog(QStringLiteral("Start Recording at %1").arg(nowText()));
    thumbnailTimer_ = channel_.delegate().timers().schedule(5000, false, [this] { removeThumbnailGeneratorConstraint(); });
    changed();
}

void KLVChannelRecord::stopRecording()
{
    if (!isRecording())
        return;
    {
        std::lock_guard lock(previewLock_);
        if (recorder_)
            recorder_->stopRecording();
        isRecording_.store(false);
    }
    stopUpdatingTextFields();
    // The fields end on the frames the file holds, not on the last tick's.
    updateRecordingProgressFields();
    addRecordLog(QStringLiteral("Stopped Recording at %1").arg(nowText()));
    didStopRecording_ = true;
    changed();
}

void KLVChannelRecord::setLocationOfRecordingFile()
{
    const QString key = KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastRecordingDirectory, channel_.tag());
    if (recordingDirectory().isEmpty())
        defaults().setObject(QDir::homePath() + QStringLiteral("/Movies"), key);
    KLVOpenPanelOptions options;
    options.directory = recordingDirectory();
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = false;
    const QStringList chosen = channel_.delegate().filePicker().runOpenPanel(options);
    if (chosen.isEmpty())
        return;
    QString dir = chosen.first();
    while (dir.size() > 1 && dir.endsWith(u'/'))
        dir.chop(1);
    if (writableDirectory(dir)) {
        defaults().setObject(dir, key);
        updateFileSizeDescription(false);
        checkIfRecordingLocationIsValid();
        return;
    }
    KLVAlert a;
    a.messageText = KLVChannelTexts::localized("UNWRITABLE_PATH_ALERT");
    a.informativeText = dir;
    a.buttons = {KLVChannelTexts::localized("QM_OK"), KLVChannelTexts::localized("QM_CANCEL")};
    if (channel_.delegate().prompter().runModal(a) == 0)
        QMetaObject::invokeMethod(&channel_, [this] { setLocationOfRecordingFile(); }, Qt::QueuedConnection);
    checkIfRecordingLocationIsValid();
}

void KLVChannelRecord::checkIfRecordingLocationIsValid()
{
    prepareEnabled_ = writableDirectory(recordingDirectory());
    changed();
}

void KLVChannelRecord::revealInFinder()
{
    if (!recordingVideoPath_.isEmpty())
        KLVUtilities::selectFileInFinder({QUrl::fromLocalFile(recordingVideoPath_)});
}

void KLVChannelRecord::removeThumbnailGeneratorConstraint()
{
    if (!recordingVideoPath_.isEmpty())
        channel_.delegate().removeThumbnailGeneratorConstraintForFilePath(recordingVideoPath_);
}

void KLVChannelRecord::setIsReadyToRecord(bool ready)
{
    if (!ready && isReadyToRecord_ && !isRecording() && !didStopRecording_)
        discardUnusedFile(); // a prepared recording given up before it started
    isReadyToRecord_ = ready;
    changed();
}

// --- the space line ---

void KLVChannelRecord::updateFileSizeDescription(bool fromDurationField)
{
    const int seconds = recordingDurationInSeconds();
    if (seconds <= 0) {
        fileSizeDescription_ = QString::fromLatin1(KLVRecordFormat::kNoDurationDescription);
        changed();
        return;
    }
    if (fromDurationField)
        defaults().setObject(KLVRecordFormat::durationText(seconds),
                             KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kLastRecordingDuration, channel_.tag()));
    const QString dir = recordingDirectory();
    const double free = dir.isEmpty() ? 0.0 : freeSpace_(dir);
    const double others = channel_.delegate().spaceOnVolumeForChannel(&channel_);
    const double available = free - others;
    double needed = 0;
    {
        std::lock_guard lock(previewLock_);
        if (recorder_)
            needed = recorder_->estimatedFileSize(compressionCodec(), seconds);
    }
    fileSizeWarning_ = KLVRecordFormat::sizeWarning(needed, available);
    fileSizeDescription_ = KLVRecordFormat::sizeDescription(needed, available);
    changed();
}

float KLVChannelRecord::spaceNeededOnVolume(const QString& volume) const
{
    if (operationMode() != 1 || recordingDirectory().isEmpty() || volume.isEmpty() || volume != getVolume())
        return 0;
    std::lock_guard lock(previewLock_);
    return recorder_ ? float(recorder_->estimatedFileSize(compressionCodec(), recordingDurationInSeconds())) : 0.0f;
}

QString KLVChannelRecord::getVolume() const
{
    const QString dir = recordingDirectory();
    if (dir.isEmpty())
        return {};
    const QStorageInfo storage(dir);
    return storage.isValid() ? storage.rootPath() : QString();
}

QString KLVChannelRecord::setUpFileName() const
{
    KLVChannelControllerDelegate& delegate = channel_.delegate();
    return KLVRecordingPath::nextFreePath(recordingDirectory(), recordingFileName(), [&delegate](const QString& p) {
        return delegate.shouldSurpressFilePathThumbnailGenerator(p);
    });
}

// --- progress and log ---

void KLVChannelRecord::startUpdatingTextFields()
{
    stopUpdatingTextFields();
    progressUpdater_ = channel_.delegate().timers().scheduleDisplay(100, [this] { updateRecordingProgressFields(); });
}

void KLVChannelRecord::stopUpdatingTextFields()
{
    progressUpdater_.reset();
}

void KLVChannelRecord::updateRecordingProgressFields()
{
    int64_t frames = 0, capacity = 0;
    {
        std::lock_guard lock(previewLock_);
        if (!recorder_)
            return;
        frames = recorder_->framesWritten();
        capacity = recorder_->frameCapacity();
        // The recording's own checks, the duration limit among them, run here as well as with
        // each drawn preview: a hidden or unchanged preview is not drawn.
        pollLocked();
    }
    showRecordingTimes(frames, capacity);
    changed();
}

void KLVChannelRecord::showRecordingTimes(int64_t frames, int64_t capacity)
{
    elapsedText_ = KLVRecordFormat::framesAsTime(frames, recordingRate_);
    remainingText_ = KLVRecordFormat::framesAsTime(std::max<int64_t>(capacity - frames, 0), recordingRate_);
}

bool KLVChannelRecord::inputChosen() const
{
    const KLVChannelOutput& output = channel_.output();
    const ssBaseOutput* device = output.outputDevice();
    const bool enabled = inDeviceSwitch_ || output.deviceEnabled();
    return enabled && device && output.outputMode() >= 0 && !output.isDVI() && device->Kind_ != ssBaseOutput::kKindScreen;
}

QString KLVChannelRecord::inputProblem() const
{
    if (operationMode() != 1)
        return {};
    if (inputFailed_)
        return lastError_;
    return inputChosen() ? QString() : missingInputText();
}

QString KLVChannelRecord::missingInputText() const
{
    const KLVChannelOutput& output = channel_.output();
    // A card chosen in the menu whose format is still to be chosen: say which.
    if (output.selectedDeviceTag() >= 0 && output.selectedModePosition() < 0 && !output.isDVI()) {
        for (const KLVChannelOutput::MenuItem& item : output.deviceItems())
            if (item.tag == output.selectedDeviceTag())
                return KLVLocalized::text("QM_NO_INPUT_FORMAT", {item.title});
    }
    return KLVChannelTexts::localized("NO_INPUT_DEVICE_SELECTED");
}

void KLVChannelRecord::addRecordLog(const QString& line)
{
    log_ += line + u'\r';
    changed();
}

void KLVChannelRecord::postRecordLog(const QString& line)
{
    QMetaObject::invokeMethod(&channel_, [this, line] { addRecordLog(line); }, Qt::QueuedConnection);
}

void KLVChannelRecord::startPreviewKeepAlive()
{
    // The encoder's preview is a reader of the input ring, and the card may only reuse a slot
    // once every reader has taken it: while no preview is drawn (a hidden column) the
    // recording would stall. Take the preview's frames here whenever drawing has paused.
    KLVTimerSource& timers = channel_.delegate().timers();
    lastDrawMs_.store(timers.nowMs());
    previewKeepAlive_ = timers.schedule(kKeepAliveMs, true, [this, &timers] {
        if (timers.nowMs() - lastDrawMs_.load() < 2 * kKeepAliveMs)
            return;
        std::lock_guard lock(previewLock_);
        if (recorder_)
            recorder_->pollPreview();
    });
}

void KLVChannelRecord::setPreviewFrames(const QRect& frame, const QRect& superviewFrame)
{
    std::lock_guard lock(framesLock_);
    previewFrame_ = frame;
    previewSuperviewFrame_ = superviewFrame;
}

void KLVChannelRecord::drawPreviewLocked()
{
    if (!recorder_)
        return;
    lastDrawMs_.store(channel_.delegate().timers().nowMs());
    QRect frame, superviewFrame;
    {
        std::lock_guard lock(framesLock_);
        frame = previewFrame_;
        superviewFrame = previewSuperviewFrame_;
    }
    const QRect inset = frame.adjusted(2, 2, -2, -2);
    recorder_->drawPreview(float(superviewFrame.x() + 2), 2.0f, float(inset.width()), float(inset.height()));
    pollLocked();
}

uint64_t KLVChannelRecord::previewStampLocked()
{
    if (!recorder_)
        return 0;
    ssChangeStamp stamp;
    {
        std::lock_guard lock(framesLock_);
        stamp.Add(int32_t(previewFrame_.width())).Add(int32_t(previewFrame_.height()));
        stamp.Add(int32_t(previewSuperviewFrame_.x()));
    }
    // While recording the encoder is polled once per drawn frame (its counters and limit).
    stamp.Add(recorder_->previewStamp()).Add(isRecording());
    return stamp.Value();
}

void KLVChannelRecord::pollLocked()
{
    if (!recorder_ || !isRecording())
        return;
    if (const int n = recorder_->repeatedFrameCount())
        postRecordLog(QStringLiteral("Repeated %1 frames").arg(n));
    if (const int n = recorder_->noSignalFrameCount())
        postRecordLog(QStringLiteral("Source Lost %1 frames").arg(n));
    if (const int n = recorder_->oversizeFrameCount())
        postRecordLog(QStringLiteral("Overflow %1 frames").arg(n));
    // The limit, or a file that takes no more frames (the input may stop before the frame
    // that would carry the elapsed time past the limit).
    const int64_t capacity = recorder_->frameCapacity();
    const bool full = capacity > 0 && recorder_->framesWritten() >= capacity;
    if ((full || recorder_->elapsedTime() >= recorder_->maxDuration()) && !stopQueued_.exchange(true))
        QMetaObject::invokeMethod(&channel_, [this] { stopRecording(); }, Qt::QueuedConnection);
    using Notice = KLVRecordFormat::QueueMonitor::Notice;
    switch (writeQueue_.update(recorder_->writeBufferHeadroom())) {
    case Notice::Warning: postRecordLog(QStringLiteral("Warning: Write Queue")); break;
    case Notice::Danger: postRecordLog(QStringLiteral("Danger: Write Queue overflow")); break;
    case Notice::None: break;
    }
    switch (videoQueue_.update(recorder_->inputBufferHeadroom())) {
    case Notice::Warning: postRecordLog(QStringLiteral("Warning: Video Queue")); break;
    case Notice::Danger: postRecordLog(QStringLiteral("Danger: Video Queue overflow")); break;
    case Notice::None: break;
    }
}

void KLVChannelRecord::changed()
{
    emit channel_.stateChanged();
}

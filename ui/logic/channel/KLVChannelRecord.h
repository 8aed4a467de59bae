#pragma once
// Record mode: the operation-mode switch, building the card input and the encoder, the record
// settings (per-channel user defaults), the checks before a recording, the destination file, the
// free-space line, start/stop/cancel, the elapsed and remaining times, the record log and the
// record preview. Main thread, except drawPreview (the preview thread).

#include "ui/logic/record/KLVRecordFormat.h"
#include "ui/logic/record/KLVRecorder.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;
class KLVTimer;
class ssBaseOutput;

class KLVChannelRecord {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    explicit KLVChannelRecord(KLVChannelController& channel);
    ~KLVChannelRecord();
    KLVChannelRecord(const KLVChannelRecord&) = delete;
    KLVChannelRecord& operator=(const KLVChannelRecord&) = delete;

    // How recorders are made (the card one by default) and how free space is measured.
    void setRecorderFactory(KLVRecorderFactory factory) { factory_ = std::move(factory); }
    void setFreeSpaceSource(std::function<double(const QString& path)> source) { freeSpace_ = std::move(source); }

    // --- settings (stored per channel) ---
    long operationMode() const;
    int compressionCodec() const;
    int audioChannelCount() const;
    QString recordingDirectory() const;
    QString recordingFileName() const;
    QString recordingDurationText() const;
    void setCompressionCodec(int codec);
    void setAudioChannelCount(int count);
    void setRecordingDirectory(const QString& dir);
    void setRecordingFileName(const QString& name);
    void setRecordingDuration(const QString& text);
    int recordingDurationInSeconds() const;

    // --- mode and device ---
    // Switches mode and view; refused (false, nothing changes) while recording.
    bool setOperationMode(long mode, bool affectingEncoder);
    // Builds the input and the encoder for the channel's stored device and mode, with the
    // destination file when withPath. False when it cannot (screen or no device, the input does
    // not open, the encoder refuses), with the reason in lastError(); refused while recording.
    bool enterRecordMode(bool withPath);
    void leaveRecordMode();
    // Device or mode changes must wait until the recording ends.
    bool deviceChangeAllowed() const { return !isRecording(); }

    // --- the operator's actions ---
    bool prepareRecordSession();
    void recordButtonAction();
    void recordingStopButtonAction();
    void cancelCurrentRecording();
    void startRecording();
    void stopRecording();
    void setLocationOfRecordingFile();
    void checkIfRecordingLocationIsValid();
    void revealInFinder();
    void removeThumbnailGeneratorConstraint();

    // --- the space line ---
    // fromDurationField: the duration field's own edit (its text is normalised).
    void updateFileSizeDescription(bool fromDurationField);
    // Bytes this channel's recording needs on the volume (0 unless it records there).
    float spaceNeededOnVolume(const QString& volume) const;
    // The root of the file system holding the location, empty when there is none.
    QString getVolume() const;
    // The first free destination for the current location and name (not created).
    QString setUpFileName() const;

    // --- progress and log ---
    void updateRecordingProgressFields();
    void addRecordLog(const QString& line);
    // Any thread: the line reaches the log on the main thread.
    void postRecordLog(const QString& line);

    // The preview view's frame and its parent's, in backing pixels (main thread). Until they are
    // given, the preview fills the current viewport.
    void setPreviewFrames(const QRect& frame, const QRect& superviewFrame);
    // Preview thread, with the channel's preview lock held: draws the encoder's preview into the
    // stored preview frame and polls it (counters, the duration limit, the queue notices; the
    // 0.1 s progress tick polls as well, so a recording stops at its limit undrawn).
    void drawPreviewLocked();
    // Preview thread, with the preview lock held: what drawPreviewLocked would draw, as a stamp.
    uint64_t previewStampLocked();

    // --- state the record panes show ---
    bool isRecording() const { return isRecording_.load(); }
    bool isReadyToRecord() const { return isReadyToRecord_; }
    void setIsReadyToRecord(bool ready);
    bool didStopRecording() const { return didStopRecording_; }
    bool hasRecorder() const;
    bool fileSizeWarning() const { return fileSizeWarning_; }
    QString fileSizeDescription() const { return fileSizeDescription_; }
    QString recordingVideoPath() const { return recordingVideoPath_; }
    QString compressionLabel() const { return compressionLabel_; }
    QString audioChannelsLabel() const { return audioChannelsLabel_; }
    QString durationLabel() const { return durationLabel_; }
    QString elapsedText() const { return elapsedText_; }
    QString remainingText() const { return remainingText_; }
    QString recordLog() const { return log_; }
    bool prepareEnabled() const { return prepareEnabled_; }
    QString lastError() const { return lastError_; }
    bool inputFailed() const { return inputFailed_; }
    // In record mode, why there is nothing to record: the input did not open, or no card or no
    // format of it is chosen (the texts Prepare would show). Empty otherwise.
    QString inputProblem() const;

private:
    bool enterLocked(bool withPath);
    void destroyRecorderLocked();
    void pollLocked();
    // Elapsed and remaining as time codes of the recording's frames at its own rate.
    void showRecordingTimes(int64_t frames, int64_t capacity);
    // A card input and format are chosen and enabled (a screen has no input).
    bool inputChosen() const;
    // Why there is no input to record: no device, or a card without a format.
    QString missingInputText() const;
    void startPreviewKeepAlive();
    void alert(const QString& message, const QString& informative = {});
    void failPrepare(const QString& key, const QString& informative = {});
    // Deletes the destination file this channel created when nothing was recorded into it.
    void discardUnusedFile();
    void startUpdatingTextFields();
    void stopUpdatingTextFields();
    void changed();

    KLVChannelController& channel_;
    KLVRecorderFactory factory_;
    std::function<double(const QString&)> freeSpace_;
    // The channel's preview lock: building and tearing down the recorder against the preview.
    std::mutex& previewLock_;
    mutable std::mutex framesLock_;
    QRect previewFrame_, previewSuperviewFrame_;
    std::unique_ptr<KLVRecorder> recorder_;
    bool recorderHasFile_ = false;
    double recordingRate_ = 0; // the input's frame rate
    bool inDeviceSwitch_ = false;
    std::atomic<bool> isRecording_{false};
    bool isReadyToRecord_ = false;
    bool didStopRecording_ = false;
    bool fileSizeWarning_ = false;
    bool prepareEnabled_ = false;
    bool inputFailed_ = false;
    QString fileSizeDescription_;
    QString recordingVideoPath_;
    QString createdPath_; // the file this channel made for the prepared recording
    bool createdFileUsed_ = false;
    QString compressionLabel_, audioChannelsLabel_, durationLabel_, elapsedText_, remainingText_;
    QString log_;
    QString lastError_;
    std::unique_ptr<KLVTimer> progressUpdater_;
    std::unique_ptr<KLVTimer> thumbnailTimer_;
    static constexpr int kKeepAliveMs = 100;
    std::unique_ptr<KLVTimer> previewKeepAlive_;
    std::atomic<double> lastDrawMs_{0};
    std::atomic<bool> stopQueued_{false};
    KLVRecordFormat::QueueMonitor writeQueue_, videoQueue_;
};

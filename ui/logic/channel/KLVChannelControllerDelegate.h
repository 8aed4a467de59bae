#pragma once
// What a channel controller asks of the application (the application delegate implements it;
// tests supply a fake). Main thread.

#include "app/mediaclient/KLVMediaHelperClient.h"

#include <QList>
#include <QString>

#include <memory>

class KLVChannel;
class KLVChannelController;
class KLVFilePicker;
class KLVPlaylistNode;
class KLVPrompter;
class KLVTimerSource;
class QUndoStack;

class KLVChannelControllerDelegate {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    using CompletionBlock = KLVMediaHelperClient::CompletionBlock;

    virtual ~KLVChannelControllerDelegate() = default;

    // --- the document and the channels ---
    // The document's channel for the tag (made on demand).
    virtual std::shared_ptr<KLVChannel> playlistDataForChannelNumber(long tag) = 0;
    virtual KLVChannelController* channelControllerForTag(long tag) const = 0;
    // Column order.
    virtual QList<KLVChannelController*> channelControllers() const = 0;
    // Saves the whole document; a failure is reported by the delegate, never thrown.
    virtual void saveLocalData() = 0;

    // --- media helper (completions on the main thread) ---
    virtual void requestMetadataForNode(const NodePtr& node, CompletionBlock completion) = 0;
    virtual void requestThumbForNode(const NodePtr& node, CompletionBlock completion) = 0;
    virtual void requestSlateForNode(const NodePtr& node, CompletionBlock completion) = 0;

    // --- the cue inspector ---
    virtual void showInspectorForPlaylistNode(const NodePtr& node, bool withSlateScreen) = 0;

    // --- recording: files being written get no thumbnail; the list also keeps paths unique ---
    virtual float spaceOnVolumeForChannel(KLVChannelController* controller) = 0;
    virtual void updateRecordingFiles(const QString& path) = 0;
    virtual void removeThumbnailGeneratorConstraintForFilePath(const QString& path) = 0;
    virtual bool shouldSurpressFilePathThumbnailGenerator(const QString& path) const = 0;

    // --- services ---
    // The main window's one undo stack.
    virtual QUndoStack* undoManager() = 0;
    virtual KLVPrompter& prompter() = 0;
    virtual KLVFilePicker& filePicker() = 0;
    virtual KLVTimerSource& timers() = 0;
};

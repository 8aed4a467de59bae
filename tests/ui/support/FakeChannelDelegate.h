#pragma once
// The application side of channel controllers for tests: an in-memory document of channels, the
// controllers registered with it, a recording of saves and inspector requests, media-helper
// requests answered by a test-supplied function (or kept waiting), and fake prompts, pickers
// and manual timers.

#include "tests/ui/support/FakePrompts.h"
#include "tests/ui/support/ManualTimerSource.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"

#include <QUndoStack>

#include <functional>
#include <map>
#include <vector>

namespace testsupport {

class FakeChannelDelegate : public KLVChannelControllerDelegate {
public:
    // kind: "metadata", "thumb" or "slate". Null: requests wait in pending.
    std::function<void(const char* kind, const NodePtr& node, CompletionBlock& completion)> mediaHelper;
    struct Pending {
        const char* kind;
        NodePtr node;
        CompletionBlock completion;
    };
    std::vector<Pending> pending;
    std::map<long, std::shared_ptr<KLVChannel>> channels;
    QList<KLVChannelController*> controllers;
    int saves = 0;
    std::vector<std::pair<NodePtr, bool>> inspected;
    QStringList recordingFiles;
    FakePrompter prompts;
    FakeFilePicker picker;
    ManualTimerSource clock;
    QUndoStack undo;

    std::shared_ptr<KLVChannel> playlistDataForChannelNumber(long tag) override;
    KLVChannelController* channelControllerForTag(long tag) const override;
    QList<KLVChannelController*> channelControllers() const override { return controllers; }
    void saveLocalData() override { ++saves; }
    void requestMetadataForNode(const NodePtr& node, CompletionBlock completion) override;
    void requestThumbForNode(const NodePtr& node, CompletionBlock completion) override;
    void requestSlateForNode(const NodePtr& node, CompletionBlock completion) override;
    void showInspectorForPlaylistNode(const NodePtr& node, bool withSlateScreen) override
    {
        inspected.emplace_back(node, withSlateScreen);
    }
    float spaceOnVolumeForChannel(KLVChannelController* controller) override;
    void updateRecordingFiles(const QString& path) override;
    void removeThumbnailGeneratorConstraintForFilePath(const QString& path) override { recordingFiles.removeAll(path); }
    bool shouldSurpressFilePathThumbnailGenerator(const QString& path) const override
    {
        return recordingFiles.contains(path);
    }
    QUndoStack* undoManager() override { return &undo; }
    KLVPrompter& prompter() override { return prompts; }
    KLVFilePicker& filePicker() override { return picker; }
    KLVTimerSource& timers() override { return clock; }

private:
    void request(const char* kind, const NodePtr& node, CompletionBlock completion);
};

} // namespace testsupport

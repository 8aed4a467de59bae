#pragma once
// Cue loading, play/pause/stop/seek together with linked slave channels, the end-of-clip
// behaviours, per-cue offsets and the channel's preview drawing.

#include "comm/timecode/QMTimeCode.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;

class KLVChannelTransport {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    explicit KLVChannelTransport(KLVChannelController& channel) : channel_(channel) {}
    KLVChannelTransport(const KLVChannelTransport&) = delete;
    KLVChannelTransport& operator=(const KLVChannelTransport&) = delete;

    // Loads a cue into the channel's engine (null: closes the media).
    void loadNode(const NodePtr& node, bool allowSlate);
    void playMaster(void* sender);
    void stopMaster(void* sender);
    void pauseMaster(void* sender);
    void seekMasterToTimeCode(const QMTimeCode& timeCode);
    void seekToSeconds(double seconds, int scrubMode);
    void pauseForSeek();
    void playFromSeek();
    void endpointReached();
    bool showSlate() const { return showSlate_; }
    void setShowSlate(bool show);
    bool mutePreview() const { return mutePreview_; }
    void setMutePreview(bool mute);
    // Preview thread.
    void drawPreview();

private:
    bool showSlate_ = true;
    bool mutePreview_ = false;
    KLVChannelController& channel_;
};

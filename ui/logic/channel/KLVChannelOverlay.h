#pragma once
// The channel's graphic overlay: its image, rectangle, opacity and fades through the engine.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;

class KLVChannelOverlay {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    explicit KLVChannelOverlay(KLVChannelController& channel) : channel_(channel) {}
    KLVChannelOverlay(const KLVChannelOverlay&) = delete;
    KLVChannelOverlay& operator=(const KLVChannelOverlay&) = delete;

    // The document's overlay image or rectangle changed.
    void graphicOverlayChanged();

private:
    KLVChannelController& channel_;
};

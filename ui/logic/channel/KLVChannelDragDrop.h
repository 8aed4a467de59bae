#pragma once
// Drag and drop of cues within and between channels and of files into a channel.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;

class KLVChannelDragDrop {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    explicit KLVChannelDragDrop(KLVChannelController& channel) : channel_(channel) {}
    KLVChannelDragDrop(const KLVChannelDragDrop&) = delete;
    KLVChannelDragDrop& operator=(const KLVChannelDragDrop&) = delete;


private:
    KLVChannelController& channel_;
};

#include "ui/logic/channel/KLVChannelTableEdits.h"

#include "ui/logic/channel/KLVChannelController.h"

long KLVChannelTableEdits::playlistItemCount() const { return long(channel_.channel()->playlistItems().size()); }
void KLVChannelTableEdits::addStubItemsToPlaylist(long) {}
std::vector<KLVChannelTableEdits::NodePtr> KLVChannelTableEdits::stubsArrayWithCount(long) const { return {}; }
void KLVChannelTableEdits::insertNodes(const std::vector<NodePtr>&, const std::vector<long>&) {}
void KLVChannelTableEdits::removeNodesAtIndexes(const std::vector<long>&) {}
void KLVChannelTableEdits::replaceNodesAtIndexes(const std::vector<long>&, const std::vector<NodePtr>&) {}
void KLVChannelTableEdits::reloadTable() {}
void KLVChannelTableEdits::scrollToSelection() {}

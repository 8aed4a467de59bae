#include "ui/logic/channel/KLVChannelImport.h"

#include "ui/logic/channel/KLVChannelController.h"

void KLVChannelImport::importFilesWithPaths(const QStringList&, long, bool) {}
void KLVChannelImport::selectPlaylistItemAtIndex(long index) { selectedIndex_ = index; }
void KLVChannelImport::reselectPlaylistItem() {}
KLVChannelImport::NodePtr KLVChannelImport::nodeWithName(const QString&) const { return nullptr; }
void KLVChannelImport::doTableViewActionAllowingSlateScreen(bool) {}

#include "ui/logic/channel/KLVChannelRecord.h"

#include "ui/logic/channel/KLVChannelController.h"

#include "platform/foundation/UserDefaults.h"
#include "ui/logic/defaults/KLVDefaultsKeys.h"

long KLVChannelRecord::operationMode() const
{
    return long(platform::UserDefaults::sharedDefaults().integerForKey(
        KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedOperationMode, channel_.tag())));
}
void KLVChannelRecord::setOperationMode(long, bool) {}
void KLVChannelRecord::updateFileSizeDescription(bool) {}
float KLVChannelRecord::spaceNeededOnVolume(const QString&) const { return 0; }
QString KLVChannelRecord::getVolume() const { return {}; }

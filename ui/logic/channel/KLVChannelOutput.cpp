#include "ui/logic/channel/KLVChannelOutput.h"

#include "ui/logic/channel/KLVChannelController.h"

bool KLVChannelOutput::enableDevice(const QString&, long) { return false; }
void KLVChannelOutput::unselectDevice() {}
void KLVChannelOutput::selectDeviceByName(const QString&) {}
void KLVChannelOutput::setOutputIsEnabled(bool enabled) { outputIsEnabled_ = enabled; }
void KLVChannelOutput::stopOutputDevice() {}
void KLVChannelOutput::updateModeListForTag(long) {}
void KLVChannelOutput::setSyncMode(long mode) { syncMode_ = mode; }
void KLVChannelOutput::restoreOutputDevice() {}
void KLVChannelOutput::updateMenus() {}

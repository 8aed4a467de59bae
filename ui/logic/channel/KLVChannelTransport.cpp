#include "ui/logic/channel/KLVChannelTransport.h"

#include "ui/logic/channel/KLVChannelController.h"

void KLVChannelTransport::loadNode(const NodePtr&, bool) {}
void KLVChannelTransport::playMaster(void*) {}
void KLVChannelTransport::stopMaster(void*) {}
void KLVChannelTransport::pauseMaster(void*) {}
void KLVChannelTransport::seekMasterToTimeCode(const QMTimeCode&) {}
void KLVChannelTransport::seekToSeconds(double, int) {}
void KLVChannelTransport::pauseForSeek() {}
void KLVChannelTransport::playFromSeek() {}
void KLVChannelTransport::endpointReached() {}
void KLVChannelTransport::setShowSlate(bool show) { showSlate_ = show; }
void KLVChannelTransport::setMutePreview(bool mute) { mutePreview_ = mute; }
void KLVChannelTransport::drawPreview() {}

#include "ui/logic/channel/KLVChannelOverlay.h"

#include "ui/logic/channel/KLVChannelController.h"

void KLVChannelOverlay::graphicOverlayChanged() {}

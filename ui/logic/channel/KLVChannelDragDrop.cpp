#include "ui/logic/channel/KLVChannelDragDrop.h"

#include "ui/logic/channel/KLVChannelController.h"



#pragma once
// Wires a master and a slave the way a completed link leaves them, for tests of what links
// change (stub rows, linked deletes and drops) without going through the link menu.

#include "ui/logic/channel/KLVChannelController.h"

struct KLVChannelControllerTestAccess {
    static void link(KLVChannelController& master, KLVChannelController& slave)
    {
        if (!master.linkedControllerArray_.contains(&slave))
            master.linkedControllerArray_.append(&slave);
        slave.linkedController_ = &master;
    }
};

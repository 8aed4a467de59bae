#pragma once
#include "platform/clock/Ticks.h"
#include "engine/base/ssEvent.h"

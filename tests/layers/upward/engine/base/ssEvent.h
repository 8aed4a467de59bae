#pragma once
#include "platform/clock/Clock.h"

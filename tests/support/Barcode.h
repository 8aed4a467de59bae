#pragma once

// The frame-index barcode every generated clip carries; tests read it back from decoded frames.
#include "platform/testpattern/FrameBarcode.h"

namespace testsupport {
using platform::BarcodePixels;
using platform::FrameBarcode;
} // namespace testsupport

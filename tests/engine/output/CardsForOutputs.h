#pragma once
// The process-wide card API pointed at the virtual card plugin before anything loads it, so the
// device list and the tests' card controls see the same cards.

#include "tests/platform/decklink/VirtualCards.h"

#include <cstdlib>

namespace testsupport {

inline const bool kCardPluginSelected = [] {
    setenv("KLV_DECKLINK_PLUGIN", KLV_DECKLINK_VIRTUAL_PLUGIN_PATH, 1);
    return true;
}();

// Two cards: "Out A" plays out (two modes), "Capture B" only captures.
inline const char* kTwoCards = R"({"cards": [
  {"name": "Out A", "modes": [
     {"name": "Test 64x36p25", "width": 64, "height": 36, "frameDuration": 1, "timeScale": 25},
     {"name": "Test 64x36p50", "width": 64, "height": 36, "frameDuration": 1, "timeScale": 50},
     {"name": "Test 64x36i25", "width": 64, "height": 36, "frameDuration": 1, "timeScale": 25,
      "field": "upper"},
     "HD 720p 59.94"]},
  {"name": "Capture B", "output": false, "modes": ["HD 1080p 25", "PAL"]}]})";

} // namespace testsupport

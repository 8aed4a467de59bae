#pragma once

#include <cstdlib>

// Every test runs without real-time scheduling, with Qt on the offscreen platform (unless the caller
// chose one, as scripts/test does with Xvfb for GL tests) and knows where the tree and its generated
// fixtures are. Values already in the environment win, so a developer can point a test elsewhere.
inline void klvSetTestEnvironment()
{
    setenv("KLV_NO_RT", "1", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KLV_TEST_DATA", KLV_TEST_DATA_DIR, 0);
    setenv("KLV_SOURCE_DIR", KLV_SOURCE_DIR_PATH, 0);
    setenv("KLV_BINARY_DIR", KLV_BINARY_DIR_PATH, 0);
}
